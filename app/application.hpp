// SPDX-License-Identifier: MIT
#pragma once

// The application: owns the loaded package, the update window, its alerts
// and the history window; loads packages, starts runs when the package and the
// history allow, and tells the user how they ended.

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <future>
#include <memory>

#include "app/history_window.hpp"
#include "app/shell.hpp"
#include "app/update_run.hpp"
#include "app/update_window.hpp"
#include "update/update.hpp"
#include "updater/feed.hpp"
#include "updater/history.hpp"

namespace zal::gui {

class MarkdownParser;

class Application : public QObject {
    Q_OBJECT

public:
    // Notes longer than this (in bytes) are parsed on a worker; longer than the most
    // shown, they are cut, with a word that says so.
    static constexpr std::size_t large_notes = 64 * 1024;
    static constexpr std::size_t most_notes_shown = 256 * 1024;
    // How long after a package shows the history is asked whether it is older
    // than the installed firmware: after the window's first paint.
    static constexpr std::chrono::milliseconds history_check_delay{250};
    // What the program decides for its application before launching it.
    struct settings_t {
        trust_t trust;                // the keys packages may be signed with; whether unsigned ones are refused
        QString bundle_directory;     // looked in for a shipped package after the installed data folder
        bool records_history = true;  // runs go into the update history (the demo's only when asked)
        feed_source_t feed;           // the maker's list of firmware
    };
    explicit Application(settings_t settings);
    ~Application() override;

    // --- application
    void finishLaunch();
    bool openFile(const QString& path);
    // Asks first while a device is being written; true when quitting may go on.
    bool confirmQuit();

    // --- menu actions
    void open();
    void runUpdate();
    void showWebHelp();
    // Every window closes and the application ends, once confirmQuit allows.
    void quit();
    // The same, already decided (a termination signal): a run being written
    // is stopped once the device can start again.
    void quitWithoutAsking();
    // The sheet's Cancel: ends the run, and says what that means once the device was written.
    void cancelUpdate();

    // --- its own steps
    bool openPackage(const QUrl& url);
    // A package file read and decoded, on any thread: the update, or why none.
    struct package_read_t {
        std::optional<update_t> update;
        QString unreadable;  // why the file could not be read, naming it
        QString invalid;     // the reader's words on why it holds no package
        bool empty = false;  // the file holds nothing
    };
    static package_read_t readPackage(const QString& path, const trust_t& trusted);
    // `fromFeed`: downloaded from the maker's list, so it must be signed.
    bool showPackage(package_read_t read, const QUrl& url, bool fromFeed = false);
    bool openBundledPackage();
    void startUpdate(kind_t kind);
    // The run itself, once the package's checks have let it through.
    void beginRun(kind_t kind);
    // Cancel is the default: the user takes a decision the computer could not.
    void askToInstallAnyway(const QString& why, std::function<void()> install);
    void endUpdate();
    void disableControls();
    void enableControls();
    // A warning by default; a success is news, not a warning.
    void showAlert(const QString& title, const QString& message, QMessageBox::Icon icon = QMessageBox::Warning);
    // A failure in plain words, with the technical text as its details and a
    // button to the troubleshooting page.
    // `offerReport`: a run failed, and a support report can tell what happened.
    void showFailureAlert(const QString& title, const QString& message, const QString& details,
                          bool offerReport = false);
    void offerCounterpartUpdate(kind_t kind);
    void counterpartAnswered(bool accepted, kind_t updated, kind_t counterpart);

    // How the run ended, in an alert.
    void showOutcome(const updater::outcome_t& outcome);

    // --- the update history
    void showHistory();
    // Asks where, then writes the report; `writeSupportReport` does the writing.
    void saveSupportReport();
    bool writeSupportReport(const QString& path);
    // Says where a file went, with a button that shows its folder.
    void showSaved(const QString& title, const QString& path);
    // Tells of a package older than the firmware this computer installed last.
    void checkOlderFirmware();
    HistoryWindow* historyWindow() const { return historyWindow_.data(); }
    updater::history_t& history() { return history_; }
    // From the next package read or run on.
    void setTrust(trust_t trust) { settings_.trust = std::move(trust); }

    // --- the maker's list of firmware
    // Checks it on a thread of its own; only a check the user asked for tells
    // of a failure or of nothing newer.
    void checkForFirmware(bool asked);
    // Downloads what the bar offers, then opens it as the user would.
    void downloadFirmware();
    void cancelDownload();
    // The administrator's or the user's yes to a check once a day.
    bool checksAutomatically() const;
    // A check or a download is under way.
    bool feedBusy() const { return feedJob_ != nullptr; }

    // --- state, for the shell and tests
    UpdateWindow* updateWindow() const { return window_.get(); }
    UpdateSheet* updateSheet() const { return run_.sheet(); }
    UpdateRun& updateRun() { return run_; }
    const update_t& update() const { return update_; }
    bool inUpdate() const { return inUpdate_; }
    kind_t lastCounterpartUpdated() const { return lastCounterpartUpdated_; }

signals:
    // A run has started; the demo plugs its simulated devices here.
    void runStarted(kind_t kind);
    // A run has ended, after its alert is shown (scripted runs).
    void runEnded(end_t end);

protected:
    // Held keys, wherever they go.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // `didEnd` gets the clicked button, or null when the alert went without one.
    void presentAlert(QMessageBox* alert, std::function<void(QAbstractButton*)> didEnd);
    void focusMainControl();
    void updateActions();
    void readErrorAlert(const QString& error);
    void renderLargeNotes(QString markdown, const text_attributes_t& base);
    // The trust a package is read and installed with: signed only, from the feed.
    trust_t trustFor(bool fromFeed) const;
    struct feed_job_t;
    std::shared_ptr<feed_job_t> startFeedJob();
    void endFeedJob();
    void checkEnded(result_t<updater::check_t> checked, bool asked);
    void downloadEnded(result_t<updater::downloaded_t> downloaded);
    void showOffer(const updater::feed_package_t& package);
    bool newerThanOpen(const updater::feed_package_t& package) const;
    void askAboutAutomaticChecks();
    void scheduleAutomaticCheck();

    settings_t settings_;
    update_t update_;
    kind_t lastCounterpartUpdated_ = kind_t::any;
    bool hasLaunched_ = false;
    bool inUpdate_ = false;
    bool hasUpdate_ = false;  // a package has been read
    bool quitConfirmed_ = false;
    QUrl urlToLoad_;
    // The package named at start-up, read while the window is made.
    std::future<package_read_t> prefetched_;
    QUrl prefetchedUrl_;
    std::unique_ptr<UpdateWindow> window_;
    std::unique_ptr<MarkdownParser> parser_;
    uint64_t notesGeneration_ = 0;  // advanced by every package read
    updater::history_t history_{updater::default_history_path()};
    QPointer<HistoryWindow> historyWindow_;
    bool packageFromFeed_ = false;
    std::shared_ptr<feed_job_t> feedJob_;             // shared with the thread it runs on
    std::optional<updater::feed_package_t> offered_;  // what the bar offers
    QTimer automaticCheck_;
    // Last, so that it stops before what its callbacks use goes.
    UpdateRun run_{history_, settings_.records_history};
};

}  // namespace zal::gui
