// SPDX-License-Identifier: MIT
#pragma once

// The frame around the application: language, the application object and its
// event loop, one instance per user.

#include <QCommandLineOption>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

#include "update/signature.hpp"

namespace zal::gui {

class Application;
class SingleInstance;

QString app_name(const QString& fallback);

// What the program links as its devices: set up before the application starts.
struct platform_t {
    std::function<void()> set_up;                   // MIDI service and HID backend
    std::function<void(Application&)> on_launched;  // e.g. the demo's simulated devices
    QString bundle_directory;                       // where a package shipped with this build lies, if any
    QString extra_trusted_key;                      // a public key file trusted beyond the computer's own
    bool records_history = true;                    // whether runs go into the update history
    // The program's own, which it reads itself: for --help, described once the language is chosen.
    std::function<QList<QCommandLineOption>()> options;
};

// The entry point: returns the process exit status.
int main(int argc, char** argv, const platform_t& platform);

// The application's launch once its QApplication exists and its language is
// chosen (use_language): the main queue on Qt's loop and the platform's
// devices; then the application, trusting `trust`, with `paths` open,
// launches. The shipped programs start this way, and so do the screenshot
// taker, the benchmarks and the tests.
std::unique_ptr<Application> launch(const platform_t& platform, const QStringList& paths = {}, trust_t trust = {});

// The first instance hears later launches: each brings the window to the
// front, and the package it names is opened when no update runs, one at a
// time however many come.
void take_later_launches(SingleInstance& instance, Application& app);

// Opens a web page or a mail in the desktop's program for it, which gets the
// standard error the application started with, not the log console's pipe.
// `failed` runs on the main thread when no program could open it.
void open_url(const QUrl& url, std::function<void()> failed = {});

// An alert that says where a file was saved, with a button that shows its
// folder in the file manager; OK is the default.
QMessageBox* saved_alert(const QString& title, const QString& path, QWidget* parent);

// The application's icon, for its windows and its About box.
void set_application_icon();

}  // namespace zal::gui
