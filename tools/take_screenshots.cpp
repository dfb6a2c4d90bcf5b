// SPDX-License-Identifier: MIT
// Takes the README's screenshots of the application, in English or French, on
// a real (virtual) X server: the update window with its notes, the progress
// sheet while programming, the success alert with the counterpart offer, and
// the log console. Usage: take-screenshots en|fr OUTPUT_DIR PACKAGE
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <cstdio>
#include <memory>

#include "app/app_delegate.hpp"
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: take-screenshots en|fr OUTPUT_DIR PACKAGE\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Ventaro Update"));
    const QString language = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    if (language == u"fr") lang = lang_t::fr;
    gui::install_translations();
    main_queue::drive_with_qt();
    devices::simulation_t simulation;
    simulation.install();
    gui::setup_main_menu();

    gui::AppDelegate delegate;
    gui::set_app_delegate(&delegate);
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    if (!delegate.openFileWithURL(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[3])))) return 1;
    QMainWindow* window = delegate.windowCtrl()->window();
    window->resize(720, 480);
    QTest::qWait(300);
    const QString suffix = u'-' + language + QStringLiteral(".png");
    bool ok = save(window->grab().toImage(), out.filePath(QStringLiteral("update-window") + suffix));

    devices::device_options_t options = devices::simulation_t::options_for(delegate.update(), kind_t::ventaro);
    options.faults = {{devices::fault_t::type_t::stage2_stall, 6}};  // holds still while the sheet is photographed
    devices::simulated_device_t& device = simulation.add(options);
    device.plug();
    delegate.runUpdate();
    const bool programming = QTest::qWaitFor(
        [&] { return delegate.sheetCtrl()->progress() > 0.4 && delegate.sheetCtrl()->progress() <= 1; }, 30000);
    QTest::qWait(200);
    ok = ok && programming &&
         save(compose(window, delegate.sheetCtrl()->window()), out.filePath(QStringLiteral("progress-sheet") + suffix));

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
    ok = ok && offered && save(compose(window, offer), out.filePath(QStringLiteral("success-alert") + suffix));
    if (offer) offer->done(0);

    gui::LogWindow* console = gui::LogWindow::logWindow();
    console->resize(640, 300);
    console->toggle();
    QTest::qWait(300);
    ok = ok && save(console->grab().toImage(), out.filePath(QStringLiteral("log-console") + suffix));
    gui::set_app_delegate(nullptr);
    return ok ? 0 : 1;
}
