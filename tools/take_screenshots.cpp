// SPDX-License-Identifier: MIT
// Takes the README's screenshots of the application, in English or French, on
// a real (virtual) X server or a Wayland compositor: the window before any
// package is open, the update window with its notes, the progress sheet while
// programming, the success alert with the counterpart offer, the log console,
// the open panel, a failure alert and the About box with the application's
// icon. Usage: take-screenshots en|fr OUTPUT_DIR PACKAGE
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QMessageBox>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>

#include "app/application.hpp"
#include "app/log_window.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/async/qt_driver.hpp"
#include "devices/simulation.hpp"

using namespace zal;

namespace {

QMessageBox* visible_alert() {
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

// The window with its sheet or alert drawn over it, as a user sees them.
QImage compose(QWidget* window, QWidget* over) {
    QImage image = window->grab().toImage();
    if (over && over->isVisible()) {
        QPainter painter(&image);
        const QPixmap top = over->grab();
        painter.drawPixmap((image.width() - top.width()) / 2, 24, top);
    }
    return image;
}

bool save(const QImage& image, const QString& path) {
    if (image.save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

// With ZAL_SCREENSHOT_COMMAND set (scripts/wayland-screenshots.sh), the
// compositor takes each picture, decorations and all; the command gets the file
// to write.
bool shoot(QWidget* window, QWidget* over, const QString& path) {
    const QString command = qEnvironmentVariable("ZAL_SCREENSHOT_COMMAND");
    if (command.isEmpty()) return save(compose(window, over), path);
    QTest::qWait(500);  // the compositor has shown the last frame
    if (QProcess::execute(command, {path}) == 0) return true;
    std::fprintf(stderr, "%s could not take %s\n", qPrintable(command), qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: take-screenshots en|fr OUTPUT_DIR PACKAGE\n");
        return 2;
    }
    // The runs photographed are recorded in a history of their own.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Ventaro Update"));
    gui::set_application_icon();
    const QString language = QString::fromLocal8Bit(argv[1]);
    // Absolute: the open panel's picture changes the current folder.
    const QString package = QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath();
    const QDir out(QDir(QString::fromLocal8Bit(argv[2])).absolutePath());
    gui::use_language(language);
    devices::simulation_t simulation;
    // The sample package is signed with the test key, which the demo trusts.
    trust_t trust;
    {
        if (auto key = read_public_key(ZAL_TEST_KEY)) trust.keys.push_back(*key);
    }
    gui::platform_t platform;
    platform.set_up = [&simulation] { simulation.install(); };
    const std::unique_ptr<gui::Application> launched = gui::launch(platform, {}, std::move(trust));
    gui::Application& delegate = *launched;
    // Started without a bundled package, the window says what to do.
    QMainWindow* window = delegate.updateWindow();
    window->resize(720, 480);
    QTest::qWait(300);
    const QString suffix = u'-' + language + QStringLiteral(".png");
    bool ok = shoot(window, nullptr, out.filePath(QStringLiteral("no-package") + suffix));
    if (!delegate.openPackage(QUrl::fromLocalFile(package))) return 1;
    QTest::qWait(300);
    ok = ok && shoot(window, nullptr, out.filePath(QStringLiteral("update-window") + suffix));

    devices::device_options_t options = devices::simulation_t::options_for(delegate.update(), kind_t::ventaro);
    options.faults = {{devices::fault_t::type_t::stage2_stall, 6}};  // holds still while the sheet is photographed
    devices::simulated_device_t& device = simulation.add(options);
    device.plug();
    delegate.runUpdate();
    const bool programming = QTest::qWaitFor(
        [&] { return delegate.updateSheet()->progress() > 0.4 && delegate.updateSheet()->progress() <= 1; }, 30000);
    QTest::qWait(200);
    ok = ok && programming &&
         shoot(window, delegate.updateSheet(), out.filePath(QStringLiteral("progress-sheet") + suffix));

    // Let the run finish: the stalled stage-2 firmware is replugged and completes.
    delegate.endUpdate();
    devices::device_options_t healthy = options;
    healthy.faults.clear();
    healthy.start_in_bootloader = true;
    devices::simulated_device_t& fresh = simulation.add(healthy);
    device.unplug();
    fresh.plug();
    QTest::qWait(300);
    delegate.runUpdate();
    QMessageBox* offer = nullptr;
    const bool offered = QTest::qWaitFor([&] { return (offer = visible_alert()) != nullptr; }, 60000);
    QTest::qWait(200);
    ok = ok && offered && shoot(window, offer, out.filePath(QStringLiteral("success-alert") + suffix));
    if (offer) offer->done(0);

    // The console over the window: its lines are the engine's, in English, but
    // the window around it speaks the user's language.
    gui::LogWindow* console = gui::LogWindow::logWindow();
    console->resize(560, 260);
    console->toggle();
    QTest::qWait(300);
    ok = ok && shoot(window, console, out.filePath(QStringLiteral("log-console") + suffix));
    console->toggle();

    // The open panel, whose own texts come from Qt's catalogue, in a folder
    // that holds a package and nothing else.
    QTemporaryDir folder;
    QFile::copy(package, folder.filePath(QStringLiteral("ventaro-2.1.0.zalmirupdate")));
    QDir::setCurrent(folder.path());
    delegate.open();
    QFileDialog* panel = nullptr;
    const bool opened = QTest::qWaitFor(
        [&] { return (panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) != nullptr; }, 5000);
    QTest::qWait(300);
    ok = ok && opened && shoot(window, panel, out.filePath(QStringLiteral("open-panel") + suffix));
    if (panel) panel->close();

    // A device unplugged while it is written: the alert says so plainly.
    devices::device_options_t unplugged = devices::simulation_t::options_for(delegate.update(), kind_t::ventaro);
    unplugged.start_in_bootloader = true;
    unplugged.faults = {{devices::fault_t::type_t::unplug_at_roundtrip, 40}};
    simulation.remove_all();
    simulation.add(unplugged).plug();
    QTest::qWait(300);
    delegate.runUpdate();
    QMessageBox* failure = nullptr;
    const bool failed = QTest::qWaitFor([&] { return (failure = visible_alert()) != nullptr; }, 60000);
    QTest::qWait(200);
    ok = ok && failed && shoot(window, failure, out.filePath(QStringLiteral("failure-alert") + suffix));
    if (failure) failure->done(0);
    QTest::qWait(100);

    // Window > History: the runs above, the failure selected with its log.
    delegate.showHistory();
    gui::HistoryWindow* history = delegate.historyWindow();
    history->resize(640, 420);
    QTest::qWait(300);
    ok = ok && shoot(window, history, out.filePath(QStringLiteral("history-window") + suffix));
    history->close();
    QTest::qWait(100);

    // The same package without its signature, and with other notes after it was signed.
    QTemporaryDir variants;
    const QString unsigned_path = variants.filePath(QStringLiteral("unsigned.zalmirupdate"));
    const QString changed_path = variants.filePath(QStringLiteral("changed.zalmirupdate"));
    const int rewritten = QProcess::execute(
        QStringLiteral("python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys, zipfile\n"
                        "a = zipfile.ZipFile(sys.argv[1])\n"
                        "u = zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED)\n"
                        "c = zipfile.ZipFile(sys.argv[3], 'w', zipfile.ZIP_DEFLATED)\n"
                        "for i in a.infolist():\n"
                        "    d = a.read(i)\n"
                        "    if not i.filename.startswith('manifest'): u.writestr(i.filename, d)\n"
                        "    c.writestr(i.filename, d + b' ' if i.filename.startswith('notes') else d)\n"
                        "u.close(); c.close()\n"),
         package, unsigned_path, changed_path});
    const bool opened_unsigned = rewritten == 0 && delegate.openPackage(QUrl::fromLocalFile(unsigned_path));
    if (!opened_unsigned) std::fprintf(stderr, "take-screenshots: the unsigned package did not open\n");
    QTest::qWait(300);
    ok = shoot(window, nullptr, out.filePath(QStringLiteral("unsigned") + suffix)) && opened_unsigned && ok;
    QTimer::singleShot(500, [] {
        if (QMessageBox* alert = visible_alert()) alert->done(0);
    });
    bool refused = false;
    QTimer::singleShot(300, [&] {
        if (QMessageBox* alert = visible_alert())
            refused = shoot(window, alert, out.filePath(QStringLiteral("changed-refused") + suffix));
    });
    const bool kept_out = !delegate.openPackage(QUrl::fromLocalFile(changed_path));
    QTest::qWait(700);
    ok = ok && kept_out && refused;

    // The About box, with the application's icon.
    bool about = false;
    QTimer::singleShot(300, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            about = shoot(window, box, out.filePath(QStringLiteral("about") + suffix));
            box->close();
        }
    });
    delegate.updateWindow()->about();
    ok = ok && about;
    return ok ? 0 : 1;
}
