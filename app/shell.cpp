// SPDX-License-Identifier: MIT
#include "app/quit_on_signals.hpp"
#include "app/shell.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QIconEngine>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>

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
#include "common/text/printable.hpp"
#include "update/update.hpp"
#include "updater/updater.hpp"

// The resources live in a static library, which the linker would drop
// without a reference from the program.
static void init_app_resources() { Q_INIT_RESOURCE(app); }

namespace zal::gui {

namespace {

main_menu_t the_main_menu;
Application* the_application = nullptr;

QAction* item(QMenu* menu, const QString& title, QKeySequence key = {}) {
    QAction* action = menu->addAction(title);
    if (!key.isEmpty()) action->setShortcut(key);
    return action;
}

// Runs `f` when the action is triggered, for as long as the action lives.
template <typename F>
void on_triggered(QAction* action, F f) {
    QObject::connect(action, &QAction::triggered, action, std::move(f));
}

}  // namespace

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

void show_about_box() {
    QWidget* parent = the_application ? the_application->updateWindow() : nullptr;
    QMessageBox box(QMessageBox::NoIcon, Messages::tr("About %1").arg(app_name(QStringLiteral("Ventaro Update"))),
                    app_name(QStringLiteral("Ventaro Update")), QMessageBox::Ok, parent);
    box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    box.setInformativeText(localized("ZALAboutText").arg(QStringLiteral(ZAL_VERSION)));
    box.exec();
}

namespace {

// Menu titles carry their Alt key in each language's own text, one letter per
// menu and no two alike (F10 then opens the first menu).

QMenu* make_file_menu() {
    auto* menu = new QMenu(Messages::tr("&File"));
    QAction* close = item(menu, Messages::tr("Close Window"), QKeySequence(Qt::CTRL | Qt::Key_W));
    on_triggered(close, [] {
        if (QWidget* window = QApplication::activeWindow()) window->close();
    });
    QAction* quit = menu->addAction(Messages::tr("Quit %1").arg(app_name(QString())));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // QKeySequence::Quit is empty on some desktops
    quit->setShortcutContext(Qt::ApplicationShortcut);
    on_triggered(quit, [] {
        if (the_application && !the_application->confirmQuit()) return;
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    return menu;
}

QMenu* make_edit_menu() {
    auto* menu = new QMenu(Messages::tr("&Edit"));
    // Edit actions go to the focused widget, as a first responder would.
    auto forward = [](const char* slot) {
        return [slot] {
            if (QWidget* focus = QApplication::focusWidget()) QMetaObject::invokeMethod(focus, slot);
        };
    };
    on_triggered(item(menu, Messages::tr("Undo"), QKeySequence::Undo), forward("undo"));
    on_triggered(item(menu, Messages::tr("Redo"), QKeySequence::Redo), forward("redo"));
    menu->addSeparator();
    on_triggered(item(menu, Messages::tr("Cut"), QKeySequence::Cut), forward("cut"));
    on_triggered(item(menu, Messages::tr("Copy"), QKeySequence::Copy), forward("copy"));
    on_triggered(item(menu, Messages::tr("Paste"), QKeySequence::Paste), forward("paste"));
    // Delete removes the selection, and never in read-only text (`clear` would
    // empty a read-only view as well).
    on_triggered(item(menu, Messages::tr("Delete"), QKeySequence::Delete), [] {
        QWidget* focus = QApplication::focusWidget();
        if (auto* line = qobject_cast<QLineEdit*>(focus); line && !line->isReadOnly() && line->hasSelectedText()) {
            line->del();
        } else if (auto* text = qobject_cast<QTextEdit*>(focus); text && !text->isReadOnly()) {
            text->textCursor().removeSelectedText();
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus); plain && !plain->isReadOnly()) {
            plain->textCursor().removeSelectedText();
        }
    });
    on_triggered(item(menu, Messages::tr("Select All"), QKeySequence::SelectAll), forward("selectAll"));
    for (QAction* a : menu->actions()) a->setShortcutContext(Qt::WidgetShortcut);  // the widgets' own keys stay theirs
    return menu;
}

QMenu* make_window_menu() {
    auto* menu = new QMenu(Messages::tr("&Window"));
    QAction* history = item(menu, Messages::tr("History"), QKeySequence(Qt::CTRL | Qt::Key_H));
    history->setShortcutContext(Qt::ApplicationShortcut);
    on_triggered(history, [] {
        if (the_application) the_application->showHistory();
    });
    return menu;
}

QMenu* make_help_menu() {
    auto* menu = new QMenu(Messages::tr("&Help"));
    QAction* help = menu->addAction(Messages::tr("%1 Help").arg(app_name(QStringLiteral("Get"))));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    help->setShortcutContext(Qt::ApplicationShortcut);
    on_triggered(help, [] {
        if (the_application) the_application->showWebHelp();
    });
    menu->addSeparator();
    QAction* about = menu->addAction(Messages::tr("About %1").arg(app_name(QString())));
    on_triggered(about, [] { show_about_box(); });
    QAction* about_qt = menu->addAction(Messages::tr("About Qt"));
    on_triggered(about_qt, [] { QMessageBox::aboutQt(the_application ? the_application->updateWindow() : nullptr); });
    return menu;
}

}  // namespace

const main_menu_t& setup_main_menu() {
    auto* bar = new QMenuBar;
    bar->setObjectName(QStringLiteral("MainMenu"));
    the_main_menu = {bar, make_file_menu(), make_edit_menu(), make_window_menu(), make_help_menu()};
    for (QMenu* menu : {the_main_menu.file, the_main_menu.edit, the_main_menu.window, the_main_menu.help}) {
        menu->setParent(bar, menu->windowFlags());  // the bar owns its menus
        bar->addMenu(menu);
    }
    return the_main_menu;
}

const main_menu_t& main_menu() { return the_main_menu; }

QString app_name(const QString& fallback) {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? fallback : name;
}

Application* running_application() { return the_application; }

void set_running_application(Application* app) { the_application = app; }

void share_application_keys(QWidget* modal) {
    if (modal->property("application_keys").toBool()) return;
    modal->setProperty("application_keys", true);
    if (QMenu* menu = the_main_menu.help) {
        for (QAction* action : menu->actions()) {
            if (action->shortcut().isEmpty()) continue;
            auto* key = new QShortcut(action->shortcut(), modal);
            QObject::connect(key, &QShortcut::activated, action, &QAction::trigger);
        }
    }
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
            std::thread([pid, failed = std::move(failed)] {
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

std::unique_ptr<Application> launch(const platform_t& platform, const QStringList& paths, trust_t trust) {
    main_queue::drive_with_qt();
    if (platform.set_up) platform.set_up();
    setup_main_menu();
    auto app = std::make_unique<Application>(Application::settings_t{.trust = std::move(trust),
                                                                      .bundle_directory = platform.bundle_directory,
                                                                      .records_history = platform.records_history});
    the_application = app.get();
    for (const QString& path : paths) app->openFile(path);
    app->prepareLaunch();
    app->finishLaunch();
    if (platform.on_launched) platform.on_launched(*app);
    return app;
}

namespace {

// The keys this computer trusts, and the platform's own.
trust_t computer_trust(const platform_t& platform) {
    std::vector<std::string> problems;
    trust_t trust = load_trust("", problems);
    if (!platform.extra_trusted_key.isEmpty()) {
        std::string error;
        const std::optional<public_key_t> parsed =
            read_public_key(QFile::encodeName(platform.extra_trusted_key).toStdString(), error);
        if (parsed)
            trust.keys.push_back(*parsed);
        else
            problems.push_back(platform.extra_trusted_key.toStdString() + ": " + error);
    }
    for (const std::string& problem : problems) write_line(stderr, "Trusted keys: " + problem);
    return trust;
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
    const char* what = path.isEmpty() ? "its window was brought to the front"
                       : handover == SingleInstance::handover_t::too_long
                           ? "the package's path is too long to hand over; open the package from its window"
                       : refused
                           ? "it is updating a device and did not take the package; open it once the update has ended"
                           : "the package was handed to it";
    std::fprintf(stderr, "%s is already running; %s.\n", qPrintable(QApplication::applicationDisplayName()), what);
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

int main(int argc, char** argv, const platform_t& platform) {
    if (!desktop_named(argv[0])) return 1;
    const QtMessageHandler previous = explain_unreachable_desktop(argv[0]);
    QApplication application(argc, argv);
    qInstallMessageHandler(previous);
    quit_on_termination_signals();
    name_application();

    const QString path = package_argument();
    // Named after the program, so that a package opened from the file manager
    // never reaches the demo instead of the real application.
    SingleInstance instance(QFileInfo(QApplication::applicationFilePath()).fileName());
    if (!instance.claim(path)) return handed_over(instance, path);

    use_language(preferred_language());
    const std::unique_ptr<Application> app =
        launch(platform, path.isEmpty() ? QStringList() : QStringList{path}, computer_trust(platform));
    take_later_launches(instance, *app);
    const int status = application.exec();
    // Quitting during programming must not leave the device unable to start.
    app->engine().shut_down();
    return status;
}

}  // namespace zal::gui
