// SPDX-License-Identifier: MIT
#pragma once

// The frame around the application: language, main menu, the
// application object and its event loop, one instance per user.

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

#include "update/signature.hpp"

namespace zal::gui {

class Application;
class SingleInstance;

// The main menu, as Linux desktops have it: File, Edit and Help, made once.
struct main_menu_t {
    QMenuBar* bar = nullptr;
    QMenu* file = nullptr;
    QMenu* edit = nullptr;
    QMenu* window = nullptr;
    QMenu* help = nullptr;
};
const main_menu_t& setup_main_menu();
// The menu made last; all null before.
const main_menu_t& main_menu();

QString app_name(const QString& fallback);
// The launched application, which the menus reach; null once it is gone.
Application* running_application();
void set_running_application(Application* app);

// What the program links as its devices: set up before the application starts.
struct platform_t {
    std::function<void()> set_up;                   // MIDI service and HID backend
    std::function<void(Application&)> on_launched;  // e.g. the demo's simulated devices
    QString bundle_directory;                       // where a package shipped with this build lies, if any
    QString extra_trusted_key;                      // a public key file trusted beyond the computer's own
    bool records_history = true;                    // whether runs go into the update history
};

// The entry point: returns the process exit status.
int main(int argc, char** argv, const platform_t& platform);

// The application's launch once its QApplication exists and its language is
// chosen (use_language): the main queue on Qt's loop, the platform's devices
// and the main menu; then the application, trusting `trust`, with `paths` open,
// launches. The shipped programs start this way, and so do the screenshot
// taker, the benchmarks and the tests.
std::unique_ptr<Application> launch(const platform_t& platform, const QStringList& paths = {}, trust_t trust = {});

// The first instance hears later launches: each brings the window to the
// front, and the package it names is opened when no update runs, one at a
// time however many come.
void take_later_launches(SingleInstance& instance, Application& app);

// Gives a modal window (the progress sheet, an alert) the application's own
// keys: the update window and its menu bar are blocked while it is shown, but
// the log console, help and quitting must stay at hand.
void share_application_keys(QWidget* modal);

// Opens a web page or a mail in the desktop's program for it, which gets the
// standard error the application started with, not the log console's pipe.
// `failed` runs on the main thread when no program could open it.
void open_url(const QUrl& url, std::function<void()> failed = {});

// The application's icon, for its windows and its About box.
void set_application_icon();

// The application's own About box: name, version, icon, copyright and licence.
void show_about_box();

}  // namespace zal::gui
