// SPDX-License-Identifier: MIT
#pragma once

// The frame around the application: language, the application object and its
// event loop, one instance per user.

#include <QCommandLineOption>
#include <QList>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    QString feed_url;                               // the maker's list of firmware, instead of the computer's
    QString extra_feed_key;                         // a feed key file trusted beyond the computer's own
    bool records_history = true;                    // whether runs go into the update history
    // The program's own, which it reads itself: for --help, described once the language is chosen.
    std::function<QList<QCommandLineOption>()> options;
};

// Where the maker's list of firmware is, and the keys that may sign it.
struct feed_source_t {
    std::string url;  // empty: none is configured
    std::vector<public_key_t> keys;
    bool check_automatically = false;  // the administrator turned automatic checks on
};

// The entry point: returns the process exit status.
int main(int argc, char** argv, const platform_t& platform);

// The application's launch once its QApplication exists and its language is
// chosen (use_language): the main queue on Qt's loop and the platform's
// devices; then the application, trusting `trust` and checking `feed`, with
// `paths` open, launches. The shipped programs start this way, and so do the
// screenshot taker, the benchmarks and the tests.
std::unique_ptr<Application> launch(const platform_t& platform, const QStringList& paths = {}, trust_t trust = {},
                                    feed_source_t feed = {});

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
// A window-modal panel that saves a text file, proposing `file_name` in the home folder.
QFileDialog* save_text_panel(QWidget* parent, const QString& file_name);

// The application's icon, for its windows and its About box.
void set_application_icon();

}  // namespace zal::gui
