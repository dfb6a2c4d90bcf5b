// SPDX-License-Identifier: MIT
#pragma once

// The application controller: owns the loaded package, the update window and
// the progress sheet; loads packages, runs the update engine and shows its
// outcome.

#include <QAction>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <future>
#include <memory>

#include "app/session/session_inhibitor.hpp"
#include "app/update_sheet_controller.hpp"
#include "app/update_window_controller.hpp"
#include "update/update.hpp"
#include "updater/updater.hpp"

namespace zal::gui {

class PXMarkdownParser;

class AppDelegate : public QObject, public UpdateWindowControllerDelegate, public UpdateSheetControllerDelegate {
    Q_OBJECT

public:
    // Notes longer than this (in bytes) are rendered on a worker.
    static constexpr std::size_t large_notes = 256 * 1024;
    AppDelegate();
    ~AppDelegate() override;

    // --- application
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    bool applicationOpenFile(const QString& path);
    // Asks first while a device is being written; true when quitting may go on.
    bool applicationShouldTerminate();

    // --- menu actions
    void open();
    void runUpdate();
    void showWebHelp();
    bool validateUserInterfaceItem(const QAction* item) const;
    void completeMainMenu();

    // --- delegates of the window and the sheet
    void updateWindowControllerDidClickUpdate(UpdateWindowController* controller) override;
    void updateWindowControllerDidClickOpen(UpdateWindowController* controller) override;
    void updateSheetControllerDidClickCancel(UpdateSheetController* controller) override;
    void updateSheetControllerDidClickHelp(UpdateSheetController* controller) override;

    // --- the controller's own steps
    bool openFileWithURL(const QUrl& url);
    // A package file read and decoded, on any thread: the update, or why none.
    struct package_read_t {
        std::optional<update_t> update;
        QString unreadable;  // why the file could not be read, naming it
        QString invalid;     // the reader's words on why it holds no package
        bool empty = false;  // the file holds nothing
    };
    static package_read_t readPackage(const QString& path, const trust_t& trusted);
    bool showPackage(package_read_t read, const QUrl& url);
    bool readBundledUpdate();
    void runUpdateWithKind(kind_t kind);
    void endUpdate();
    void disableControls();
    void enableControls();
    // A warning by default; a success is news, not a warning.
    void runErrorAlertWithTitle(const QString& title, const QString& message,
                                QMessageBox::Icon icon = QMessageBox::Warning);
    // A failure in plain words, with the technical text as its details and a
    // button to the troubleshooting page.
    void runFailureAlertWithTitle(const QString& title, const QString& message, const QString& details);
    void askForCounterpartUpdateIfNeededWithKind(kind_t kind);
    void counterpartAlertDidEnd(int returnCode, kind_t updated, kind_t counterpart);

    // --- the engine's callbacks, application side. Titles come translated;
    // a failure's message comes as the engine said it, in English.
    void updaterOnAnnounce(const QString& title, const QString& subtitle);
    void updaterOnProgress(float progress);
    void updaterOnEnd(const updater::outcome_t& outcome);
    void askKind(std::function<void(std::optional<kind_t>)> answer);

    // --- state, for the shell and tests
    UpdateWindowController* windowCtrl() const { return windowCtrl_.get(); }
    UpdateSheetController* sheetCtrl() const { return sheetCtrl_.get(); }
    const update_t& update() const { return update_; }
    bool inUpdate() const { return inUpdate_; }
    kind_t lastCounterpartUpdated() const { return lastCounterpartUpdated_; }
    QAction* updateMenuItem() const { return updateItem_; }
    QAction* openMenuItem() const { return openItem_; }
    updater::engine_t& engine() { return engine_; }

    // Where the package shipped with the application is looked for: the
    // installed data folder, then `bundleDirectory` (set by the program).
    static QStringList bundleDirectories();
    static inline QString bundleDirectory;
    // The keys packages may be signed with, and whether unsigned ones are refused.
    static inline trust_t trust;

    // Called when a run has started; the demo plugs its simulated devices here.
    std::function<void(kind_t)> onRunStarted;
    // Called when a run has ended, after its alert is shown (scripted runs).
    std::function<void(end_t)> onRunEnded;

protected:
    // Held keys and the update window's closing.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The first button's place in an alert's return code.
    static constexpr int first_button = 1000;
    // `didEnd` gets the clicked button's place (first_button for the first) and the button.
    void presentAlert(QMessageBox* alert, std::function<void(int, QAbstractButton*)> didEnd);
    // Every dialog: over the update window, titled and named after what it says.
    void decorateAlert(QMessageBox* alert);
    void focusMainControl();
    void validateMenus();
    void readErrorAlert(const QString& error);

    update_t update_;
    kind_t lastCounterpartUpdated_ = kind_t::any;
    bool cancelHasConsequences_ = false;
    bool hasLaunched_ = false;
    bool hasAlreadyLoadedFirstUpdate_ = false;
    bool inUpdate_ = false;
    bool hasUpdate_ = false;  // a package has been read
    bool quitConfirmed_ = false;
    QUrl urlToLoad_;
    // The package named at start-up, read while the window is made.
    std::future<package_read_t> prefetched_;
    QUrl prefetchedUrl_;
    session::SessionInhibitor inhibitor_{true};  // held while the engine writes a device
    std::unique_ptr<UpdateWindowController> windowCtrl_;
    std::unique_ptr<UpdateSheetController> sheetCtrl_;
    std::unique_ptr<PXMarkdownParser> parser_;
    uint64_t notesGeneration_ = 0;  // advanced by every package read
    void renderLargeNotes(QString markdown, const text_attributes_t& base);
    QPointer<QAction> updateItem_, openItem_;
    // Last, so that it stops before what its callbacks use goes.
    updater::engine_t engine_;
};

}  // namespace zal::gui
