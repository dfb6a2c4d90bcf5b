// SPDX-License-Identifier: MIT
#include "app/quit_on_signals.hpp"
#include "app/shell.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIconEngine>
#include <QPainter>
#include <QPushButton>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <thread>

#include "app/application.hpp"
#include "app/launch_queue.hpp"
#include "app/log_window.hpp"
#include "app/single_instance.hpp"
#include "app/strings.hpp"
#include "common/async/async.hpp"
#include "common/async/qt_driver.hpp"
#include "common/async/thread.hpp"
#include "common/text/printable.hpp"
#include "update/update.hpp"
#include "updater/feed.hpp"
#include "updater/updater.hpp"

// The resources live in a static library, which the linker would drop
// without a reference from the program.
static void init_app_resources() { Q_INIT_RESOURCE(app); }

namespace zal::gui {

namespace {

// The application's icon, from PNG files of several sizes (Qt's SVG plugin is
// not part of a minimal desktop), each read when first asked for: Qt's own
// engine reads them all at once, a tenth of start-up, and a window on Wayland
// or off screen never asks for them.
class png_icon_engine_t final : public QIconEngine {
public:
    explicit png_icon_engine_t(std::map<int, QString> files) : files_(std::move(files)) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const auto file = best_for(size);
        QPixmap& image = read_[file->first];
        if (image.isNull()) image.load(file->second);
        if (image.isNull() || image.size() == size) return image;
        return image.scaled(size.boundedTo(image.size()), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min({best_for(size)->first, size.width(), size.height()});
        return {side, side};
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const auto& [side, file] : files_) sizes.append({side, side});
        return sizes;
    }
    QIconEngine* clone() const override { return new png_icon_engine_t(*this); }

private:
    // The smallest image at least as large as asked for, else the largest.
    std::map<int, QString>::const_iterator best_for(const QSize& size) const {
        const auto file = files_.lower_bound(std::max(size.width(), size.height()));
        return file != files_.end() ? file : std::prev(files_.end());
    }

    std::map<int, QString> files_;  // by side
    std::map<int, QPixmap> read_;
};

}  // namespace

void set_application_icon() {
    init_app_resources();
    std::map<int, QString> files;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        files[side] = QStringLiteral(":/icons/ventaro-update-%1.png").arg(side);
    QApplication::setWindowIcon(QIcon(new png_icon_engine_t(std::move(files))));
}

QString app_name(const QString& fallback) {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? fallback : name;
}

void open_url(const QUrl& url, std::function<void()> failed) {
    const int original = LogWindow::originalStandardError();
    if (original >= 0) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, original, STDERR_FILENO);
        const QByteArray target = url.toString(QUrl::FullyEncoded).toUtf8();
        char program[] = "xdg-open";
        char* arguments[] = {program, const_cast<char*>(target.constData()), nullptr};
        pid_t pid = 0;
        const int status = posix_spawnp(&pid, program, &actions, nullptr, arguments, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (status == 0) {
            // xdg-open says by its status whether a program took the address.
            named_thread("xdg-open wait", [pid, failed = std::move(failed)] {
                int exit_status = 0;
                const bool opened =
                    ::waitpid(pid, &exit_status, 0) == pid && WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0;
                if (!opened && failed) async_main(failed);
            }).detach();
            return;
        }
    }
    if (!QDesktopServices::openUrl(url) && failed) failed();
}

QFileDialog* save_text_panel(QWidget* parent, const QString& file_name) {
    auto* panel = new QFileDialog(parent);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setNameFilter(Messages::tr("Text files (*.txt)"));
    panel->setDefaultSuffix(QStringLiteral("txt"));
    panel->selectFile(QDir::home().filePath(file_name));
    panel->setWindowModality(Qt::WindowModal);
    return panel;
}

QMessageBox* saved_alert(const QString& title, const QString& path, QWidget* parent) {
    auto* alert = new QMessageBox(QMessageBox::Information, app_name(QString()), title, QMessageBox::NoButton, parent);
    const QFileInfo file(path);
    alert->setInformativeText(
        Messages::tr("It is in %1.")
            .arg(printable_text(QDir::toNativeSeparators(file.absoluteFilePath()).toStdString())));
    QPushButton* ok = alert->addButton(QMessageBox::Ok);
    QPushButton* show = alert->addButton(Messages::tr("Show in Folder"), QMessageBox::ActionRole);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    QObject::connect(show, &QPushButton::clicked, alert,
                     [folder = file.absolutePath()] { open_url(QUrl::fromLocalFile(folder)); });
    return alert;
}

std::unique_ptr<Application> launch(const platform_t& platform, const QStringList& paths, trust_t trust,
                                    feed_source_t feed) {
    main_queue::drive_with_qt();
    if (platform.set_up) platform.set_up();
    auto app = std::make_unique<Application>(Application::settings_t{.trust = std::move(trust),
                                                                     .bundle_directory = platform.bundle_directory,
                                                                     .records_history = platform.records_history,
                                                                     .feed = std::move(feed)});
    for (const QString& path : paths) app->openFile(path);
    app->finishLaunch();
    if (platform.on_launched) platform.on_launched(*app);
    return app;
}

namespace {

// The key in FILE, if one is named, added to KEYS.
void add_key(const QString& file, std::vector<public_key_t>& keys, std::vector<std::string>& problems) {
    if (file.isEmpty()) return;
    const result_t<public_key_t> parsed = read_public_key(QFile::encodeName(file).toStdString());
    if (parsed)
        keys.push_back(*parsed);
    else
        problems.push_back(file.toStdString() + ": " + parsed.failure().text);
}

// The keys this computer trusts, and the platform's own.
trust_t computer_trust(const platform_t& platform) {
    std::vector<std::string> problems;
    trust_t trust = load_trust("", problems);
    add_key(platform.extra_trusted_key, trust.keys, problems);
    for (const std::string& problem : problems) write_line(stderr, "Trusted keys: " + problem);
    return trust;
}

// The computer's feed and its keys, and the platform's own.
feed_source_t computer_feed(const platform_t& platform) {
    const updater::feed_settings_t settings = updater::load_feed_settings("");
    std::vector<std::string> problems;
    feed_source_t feed{.url = platform.feed_url.isEmpty() ? settings.url : platform.feed_url.toStdString(),
                       .keys = updater::load_feed_keys("", problems),
                       .check_automatically = settings.check_automatically};
    add_key(platform.extra_feed_key, feed.keys, problems);
    for (const std::string& problem : problems) write_line(stderr, "Feed keys: " + problem);
    return feed;
}

// False, having said what to do, when no graphical desktop is named.
bool desktop_named(const char* program) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    std::fprintf(stderr,
                 "%s needs a graphical desktop, and none was found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                 "On a machine without a screen, run it under a virtual one: xvfb-run -a %s\n",
                 program, program);
    return false;
}

// A display that cannot be reached makes Qt abort with a message of its own:
// while the application object is made, say what to do instead, plainly.
// Returns the handler to put back once it is made.
QtMessageHandler explain_unreachable_desktop(const char* program) {
    static const char* name = nullptr;
    static QtMessageHandler previous = nullptr;
    name = program;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        // Qt's own lines before the fatal one still say what it tried.
        if (type == QtFatalMsg) {
            std::fprintf(stderr,
                         "%s could not reach the graphical desktop (DISPLAY=%s, WAYLAND_DISPLAY=%s).\n"
                         "On a machine without a screen, run it under a virtual one: xvfb-run -a %s\n",
                         name, qgetenv("DISPLAY").constData(), qgetenv("WAYLAND_DISPLAY").constData(), name);
            std::_Exit(1);
        }
        if (previous) previous(type, context, message);
    });
    return previous;
}

void name_application() {
    QApplication::setApplicationName(QStringLiteral("ventaro-update"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ventaro Update"));
    QApplication::setDesktopFileName(QStringLiteral("ventaro-update"));
    set_application_icon();
}

// The package named on the command line, absolute; empty when none is.
QString package_argument() {
    const QStringList arguments = QApplication::arguments();
    QString path;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (!arguments[i].startsWith(u'-')) path = QFileInfo(arguments[i]).absoluteFilePath();
    return path;
}

// Says what the instance already running did with this start; the exit status.
int handed_over(const SingleInstance& instance, const QString& path) {
    const SingleInstance::handover_t handover = instance.handover();
    const bool refused =
        handover == SingleInstance::handover_t::refused || handover == SingleInstance::handover_t::too_long;
    const QString what =
        path.isEmpty() ? Messages::tr("%1 is already running; its window was brought to the front.")
        : handover == SingleInstance::handover_t::too_long
            ? Messages::tr(
                  "%1 is already running; the package's path is too long to hand over; open the package "
                  "from its window.")
        : refused ? Messages::tr(
                        "%1 is already running; it is updating a device and did not take the package; open "
                        "it once the update has ended.")
                  : Messages::tr("%1 is already running; the package was handed to it.");
    write_line(stderr, what.arg(app_name(QString())).toStdString());
    return refused ? 1 : 0;
}

}  // namespace

// A later start of the application brings this window to the front, with the
// package it names when no update runs.
void take_later_launches(SingleInstance& instance, Application& app) {
    instance.setAcceptsPaths([&app] { return !app.inUpdate(); });
    auto* queue = new LaunchQueue([&app](const QString& path) { app.openFile(path); }, &app);
    QObject::connect(&instance, &SingleInstance::launched, &app, [&app, queue](const QString& launched_path) {
        if (!launched_path.isEmpty()) queue->add(launched_path);
        QWidget* window = app.updateWindow();
        window->show();
        window->raise();
        window->activateWindow();
    });
}

// Qt's own French catalogue has only the older texts of its help options.
[[maybe_unused]] constexpr const char* qt_help_texts[] = {
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help on commandline options."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help including Qt specific options."),
};

// --help and --version print and end the program before a desktop is needed:
// QCommandLineParser exits once it has printed.
void answer_help_or_version(int argc, char** argv, const platform_t& platform) {
    const bool asked = std::any_of(argv + 1, argv + argc, [](const char* arg) {
        return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "-?") == 0 ||
               std::strcmp(arg, "--help-all") == 0 || std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-v") == 0;
    });
    if (!asked) return;
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(ZAL_VERSION));
    use_language(preferred_language());
    QCommandLineParser parser;
    parser.setApplicationDescription(Messages::tr("Updates the firmware of the Ventaro and of its Ruvo receiver."));
    parser.addHelpOption();
    parser.addVersionOption();
    if (platform.options) parser.addOptions(platform.options());
    parser.addPositionalArgument(QStringLiteral("PACKAGE"), Messages::tr("The update package to open."),
                                 QStringLiteral("[PACKAGE]"));
    parser.process(core);
}

int main(int argc, char** argv, const platform_t& platform) {
    answer_help_or_version(argc, argv, platform);
    if (!desktop_named(argv[0])) return 1;
    const QtMessageHandler previous = explain_unreachable_desktop(argv[0]);
    QApplication application(argc, argv);
    qInstallMessageHandler(previous);
    name_application();

    const QString path = package_argument();
    // Named after the program, so that a package opened from the file manager
    // never reaches the demo instead of the real application.
    use_language(preferred_language());  // a second launch's message too
    SingleInstance instance(QFileInfo(QApplication::applicationFilePath()).fileName());
    if (!instance.claim(path)) return handed_over(instance, path);

    const std::unique_ptr<Application> app = launch(platform, path.isEmpty() ? QStringList() : QStringList{path},
                                                    computer_trust(platform), computer_feed(platform));
    take_later_launches(instance, *app);
    // Before now a signal ends the program at once: nothing is being written yet.
    quit_on_termination_signals([&app](int) { app->quitWithoutAsking(); });
    const int status = application.exec();
    // Quitting during programming must not leave the device unable to start.
    app->updateRun().engine().shut_down();
    return status;
}

}  // namespace zal::gui
