// SPDX-License-Identifier: MIT
// The application driven through its real windows, sheets and alerts, against
// simulated devices on the virtual MIDI service and the simulated hidapi.
#include <QAccessible>
#include <QElapsedTimer>
#include <QWindow>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QShortcut>
#include <QTextBrowser>
#include <QTextCursor>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <memory>

#include "app/app_delegate.hpp"
#include "app/log_window.hpp"
#include "app/quit_on_signals.hpp"
#include "app/shell.hpp"
#include "app/strings.hpp"
#include "common/async/async.hpp"
#include "common/async/qt_driver.hpp"
#include "common/midi_io/midi_io.hpp"
#include "common/midi_io/virtual/virtual_service.hpp"
#include "devices/simulation.hpp"
#include "tools/package_writer.hpp"
#include "update/update_plan.hpp"
#include "updater/hid.hpp"

#include <csignal>

using namespace zal;
using namespace zal::gui;

namespace {

devices::simulation_t* simulation = nullptr;

// A Ventaro 2.1.0 package with release notes.
std::vector<unsigned char> package_bytes(bool ventaro, bool ruvo, bool stage2 = false,
                                         const char* notes_fr = "# Notes") {
    std::vector<tools::zip_entry_t> notes = {{"notes-en.txt", "# Release notes\nSee **this**."}};
    if (notes_fr) notes.push_back({"notes-fr.txt", notes_fr});
    return tools::make_package_zip({.ventaro = ventaro,
                                    .ventaro_stage2 = ventaro && stage2,
                                    .ruvo = ruvo,
                                    .main_size = 40000,
                                    .stage2_size = 12000,
                                    .product = "Ventaro",
                                    .version = "2.1.0",
                                    .release_date = "2021-03-05",
                                    .extra = notes});
}

// A Ventaro 2.1.0 package of a small image with these English notes.
std::vector<unsigned char> package_with_notes(const std::string& notes_en) {
    return tools::make_package_zip({.ventaro_stage2 = false,
                                    .main_size = 4000,
                                    .product = "Ventaro",
                                    .version = "2.1.0",
                                    .release_date = "2021-03-05",
                                    .extra = {{"notes-en.txt", notes_en}}});
}

QString write_package(const QTemporaryDir& dir, const QString& name, const std::vector<unsigned char>& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    return path;
}

// The alert shown on the update window now, if any.
QMessageBox* visible_alert() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

QAbstractButton* button_titled(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text().remove(u'&') == text) return b;
    return nullptr;
}

// What assistive technologies are told while it lives: each event's type and object.
class accessibility_events_t {
public:
    // Without a platform bridge (offscreen) no event is sent at all.
    // Qt's bridge switches on once it has reached the accessibility bus.
    static bool available() {
        if (QGuiApplication::platformName() == u"offscreen") return false;
        return QTest::qWaitFor([] { return QAccessible::isActive(); }, 5000);
    }
    accessibility_events_t() {
        events_ = &events;
        QAccessible::setActive(true);
        previous_ = QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
            if (events_) events_->push_back({event->type(), event->object()});
        });
    }
    ~accessibility_events_t() {
        QAccessible::installUpdateHandler(previous_);
        QAccessible::setActive(false);
        events_ = nullptr;
    }
    int count(QAccessible::Event type, const QObject* object) const {
        return int(std::count_if(events.begin(), events.end(),
                                 [&](const auto& e) { return e.first == type && e.second == object; }));
    }
    int countFor(const QObject* object) const {
        return int(std::count_if(events.begin(), events.end(), [&](const auto& e) { return e.second == object; }));
    }
    std::vector<std::pair<QAccessible::Event, QObject*>> events;

private:
    static inline std::vector<std::pair<QAccessible::Event, QObject*>>* events_ = nullptr;
    QAccessible::UpdateHandler previous_ = nullptr;
};

// A dialog a compositor can place over the update window.
bool over_window(QWidget* dialog, QWidget* window) {
    return dialog->windowHandle() && dialog->windowHandle()->transientParent() == window->windowHandle();
}

// Every text of `root` shows whole: wrapped labels have the height their text
// needs at their width, others the width; buttons the width of their title.
QStringList cut_texts(QWidget* root) {
    QStringList cut;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(root) || label->text().isEmpty()) continue;
        const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                            : label->sizeHint().width() <= label->width();
        if (!fits) cut << QStringLiteral("%1 (%2x%3)").arg(label->text()).arg(label->width()).arg(label->height());
    }
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(root) || button->text().isEmpty()) continue;
        if (button->sizeHint().width() > button->width())
            cut << QStringLiteral("%1 (%2)").arg(button->text()).arg(button->width());
    }
    return cut;
}

devices::device_options_t options_for(const update_t& u, kind_t kind, bool bootloader = false) {
    devices::device_options_t o = devices::simulation_t::options_for(u, kind);
    o.start_in_bootloader = bootloader;
    return o;
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppDelegate> delegate;
    QTemporaryDir bundle;
    int quitSignal = 0;

    // The shipped launch, on the simulated devices, with the bundled package
    // looked for in `bundle`.
    AppDelegate& launch(const QStringList& paths = {}) {
        platform_t platform;
        platform.bundle_directory = bundle.path();
        delegate = gui::launch(platform, paths);
        return *delegate;
    }

    devices::simulated_device_t& plug(const devices::device_options_t& o) {
        devices::simulated_device_t& device = simulation->add(o);
        device.plug();
        return device;
    }

    void click(QAbstractButton* button) {
        QVERIFY(button);
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QMessageBox* wait_for_alert(int timeout = 30000) {
        QMessageBox* box = nullptr;
        (void)QTest::qWaitFor([&] { return (box = visible_alert()) != nullptr; }, timeout);
        return box;
    }

    void close_alerts() {
        while (QMessageBox* box = visible_alert()) {
            box->done(0);
            QTest::qWait(10);
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(bundle.isValid());
        main_queue::drive_with_qt();
        quit_on_termination_signals([this](int signal) { quitSignal = signal; });
        simulation = new devices::simulation_t;
        simulation->install();
    }

    void cleanup() {
        if (delegate && delegate->inUpdate()) delegate->endUpdate();
        close_alerts();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QFileDialog*>(w)) w->close();
        simulation->remove_all();
        delegate.reset();
        QDir(bundle.path()).removeRecursively();
        QDir().mkpath(bundle.path());
        lang = lang_t::en;
        QTest::qWait(50);
    }

    // Long notes are rendered on a worker: reading the package returns at once,
    // the notes follow, and a package read meanwhile wins over them.
    void longNotesArriveWithoutHoldingTheWindow() {
        std::string notes;
        while (notes.size() <= AppDelegate::large_notes) notes += "- item with **bold** and `code`\n";
        write_package(bundle, "a.zalmirupdate", package_with_notes(notes));
        AppDelegate& d = launch();
        QVERIFY(d.windowCtrl()->updateButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(
            d.windowCtrl()->textView()->toPlainText().startsWith(QStringLiteral("\u2022\titem with bold")), 20000);
        QCOMPARE(d.windowCtrl()->details().length(), d.windowCtrl()->textView()->toPlainText().size());

        QTemporaryDir other;
        const QString small = write_package(other, "b.zalmirupdate", package_bytes(true, false));
        const QString large = write_package(other, "c.zalmirupdate", package_with_notes(notes));
        QVERIFY(d.openFileWithURL(QUrl::fromLocalFile(large)));
        QVERIFY(d.openFileWithURL(QUrl::fromLocalFile(small)));
        QTest::qWait(3000);
        QCOMPARE(d.windowCtrl()->textView()->toPlainText(), QStringLiteral("Release notes\nSee this."));
    }

    void startupLoadsTheBundledPackage() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        QCOMPARE(d.windowCtrl()->title(), QStringLiteral("Ventaro"));
        QCOMPARE(d.windowCtrl()->secondaryTitle(), QStringLiteral("Version 2.1.0 (2021-03-05)"));
        QCOMPARE(d.windowCtrl()->window()->windowTitle(), QStringLiteral("Ventaro v2.1.0 Update"));
        QVERIFY(d.windowCtrl()->window()->windowFilePath().endsWith("a.zalmirupdate"));
        QCOMPARE(d.windowCtrl()->textView()->toPlainText(), QStringLiteral("Release notes\nSee this."));
        QVERIFY(d.windowCtrl()->updateButton()->isEnabled());
        QCOMPARE(d.windowCtrl()->window()->menuBar()->actions().size(), 3);  // File, Edit, Help
        QCOMPARE(d.updateMenuItem()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QCOMPARE(d.openMenuItem()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(menu_with_tag(2)->actions().at(2)->isSeparator(), true);

        // Return clicks "Update".
        QApplication::setActiveWindow(d.windowCtrl()->window());
        QVERIFY(QTest::qWaitForWindowActive(d.windowCtrl()->window()));
        QTest::keyClick(d.windowCtrl()->window(), Qt::Key_Return);
        QVERIFY(d.inUpdate());
        click(d.sheetCtrl()->cancelButton());
    }

    void withoutBundleTheOpenPanelShows() {
        LogWindow::logWindow();
        const int before = LogWindow::logWindow()->text().count("Bundled update not found.");
        launch();
        QTRY_VERIFY(LogWindow::logWindow()->text().count("Bundled update not found.") > before);
        QFileDialog* panel = nullptr;
        QTRY_VERIFY((panel = QApplication::activeModalWidget()
                                 ? qobject_cast<QFileDialog*>(QApplication::activeModalWidget())
                                 : nullptr));
        QCOMPARE(panel->nameFilters(), QStringList{"Ventaro update packages (*.zalmirupdate)"});
        QCOMPARE(panel->windowModality(), Qt::WindowModal);
        QVERIFY(panel->testOption(QFileDialog::ReadOnly));  // no "New Folder"

        // A name typed past the filter is refused with a word, not read.
        QTemporaryDir other;
        QFile typed(other.filePath("notes.txt"));
        QVERIFY(typed.open(QIODevice::WriteOnly));
        typed.close();
        auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(typed.fileName());  // typed, as a user may
        QString said;
        QTimer::singleShot(100, [&said] {  // the alert runs its own loop
            if (QMessageBox* alert = visible_alert()) {
                said = alert->informativeText();
                alert->done(0);
            }
        });
        QMetaObject::invokeMethod(panel, "accept");
        QVERIFY2(said.startsWith(QDir::toNativeSeparators(typed.fileName())), qPrintable(said));
    }

    // With nothing loaded, Update (button, menu, Return) does nothing: a run
    // would reboot the device and then fail for want of firmware.
    void updateNeedsAPackage() {
        AppDelegate& d = launch();
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
        QApplication::activeModalWidget()->close();
        QTest::qWait(50);
        QVERIFY(!d.windowCtrl()->updateButton()->isEnabled());
        QVERIFY(!d.validateUserInterfaceItem(d.updateMenuItem()));
        d.runUpdate();
        QVERIFY(!d.inUpdate());
        d.runErrorAlertWithTitle(QStringLiteral("t"), QStringLiteral("m"));  // any alert ends by enabling controls
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        alert->done(0);
        QTest::qWait(50);
        QVERIFY(!d.windowCtrl()->updateButton()->isEnabled());
    }

    // Edit > Delete removes a selection, and never text the user cannot edit.
    void deleteLeavesTheReleaseNotesAlone() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        QTextBrowser* notes = d.windowCtrl()->textView();
        const QString before = notes->toPlainText();
        QVERIFY(!before.isEmpty());
        notes->setFocus();
        notes->selectAll();
        QApplication::setActiveWindow(d.windowCtrl()->window());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(notes));
        QAction* remove = nullptr;
        for (QAction* a : menu_with_tag(3)->actions())
            if (a->text() == QStringLiteral("Delete")) remove = a;
        QVERIFY(remove);
        remove->trigger();
        QCOMPARE(notes->toPlainText(), before);
    }

    // A program the application starts (the browser, for help or a link) gets
    // the original standard error, and none of the log console's pipe.
    void startedProgramsHoldNoneOfTheConsolePipe() {
        LogWindow::logWindow();
        QTemporaryDir bin;
        const QString record = bin.filePath("fds");
        QFile script(bin.filePath("xdg-open"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            QStringLiteral("#!/bin/sh\nfor f in /proc/$$/fd/*; do readlink \"$f\"; done > '%1.tmp'; mv '%1.tmp' '%1'\n")
                .arg(record)
                .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + path);
        open_url(QUrl(QStringLiteral("https://ventaro.example/help")));
        qputenv("PATH", path);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 5000);
        QFile fds(record);
        QVERIFY(fds.open(QIODevice::ReadOnly));
        const QString children = QString::fromUtf8(fds.readAll());
        const QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/2"));
        const QString console = target.mid(target.indexOf(QStringLiteral("pipe:")));
        QVERIFY2(console.startsWith(QStringLiteral("pipe:")), qPrintable(console));
        QVERIFY2(!children.contains(console), qPrintable(children));
    }

    void invalidPackagesKeepThePreviousOne() {
        write_package(bundle, "a.zalmirupdate", {'n', 'o', 't'});
        AppDelegate& d = launch();
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Unable to read the contents of the update"));
        QCOMPARE(alert->detailedText(), QStringLiteral("Could not unzip the data."));
        alert->done(0);

        QTemporaryDir other;
        d.openFileWithURL(QUrl::fromLocalFile(write_package(other, "good.zalmirupdate", package_bytes(true, true))));
        QCOMPARE(d.windowCtrl()->title(), QStringLiteral("Ventaro"));
        QVERIFY(!d.openFileWithURL(QUrl::fromLocalFile(
            write_package(other, "bad.zalmirupdate", tools::make_zip({{"info.txt", "[general]\nproduct=X\n"}})))));
        QCOMPARE(wait_for_alert()->detailedText(), QStringLiteral("No version info found."));
        QCOMPARE(d.windowCtrl()->title(), QStringLiteral("Ventaro"));
        QVERIFY(d.windowCtrl()->window()->windowFilePath().endsWith("good.zalmirupdate"));
        QVERIFY(d.update().ruvo.has_value());
    }

    void openRequestsBeforeLaunchAndDuringARun() {
        write_package(bundle, "bundled.zalmirupdate", package_bytes(true, false));
        QTemporaryDir other;
        const QString first = write_package(other, "first.zalmirupdate", package_bytes(true, false));
        const QString last = write_package(other, "last.zalmirupdate", package_bytes(false, true));
        AppDelegate& d = launch({first, last});
        QVERIFY(d.windowCtrl()->window()->windowFilePath().endsWith("last.zalmirupdate"));
        QVERIFY(!d.update().ventaro && d.update().ruvo);

        click(d.windowCtrl()->updateButton());
        QVERIFY(d.inUpdate());
        QVERIFY(!d.applicationOpenFile(first));
        QVERIFY(d.windowCtrl()->window()->windowFilePath().endsWith("last.zalmirupdate"));
        QVERIFY(!d.updateMenuItem()->isEnabled());
        QVERIFY(!d.openMenuItem()->isEnabled());
        QVERIFY(!d.windowCtrl()->updateButton()->isEnabled());
        click(d.sheetCtrl()->cancelButton());
        QVERIFY(!d.inUpdate());
        QVERIFY(d.updateMenuItem()->isEnabled());
        QVERIFY(d.openMenuItem()->isEnabled());
    }

    void cancelBeforeProgressShowsNoAlert() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        click(d.windowCtrl()->updateButton());
        QVERIFY(d.sheetCtrl()->window()->isVisible());
        QTRY_COMPARE(d.sheetCtrl()->title(), QStringLiteral("Connect your Ventaro"));
        QVERIFY(d.sheetCtrl()->indeterminate());
        click(d.sheetCtrl()->cancelButton());
        QVERIFY(!d.sheetCtrl()->window()->isVisible());
        QTest::qWait(300);
        QVERIFY(!visible_alert());
        QVERIFY(d.windowCtrl()->updateButton()->isEnabled());
    }

    // While the sheet is shown, the application's keys still reach the log
    // console, help and quitting.
    void applicationKeysWorkDuringARun() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        // An application key like Log Console's (which the first launch of this
        // test program put into an earlier menu bar).
        QAction* probe = menu_with_tag(5)->addAction(QStringLiteral("Probe"));
        probe->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
        probe->setShortcutContext(Qt::ApplicationShortcut);
        int triggered = 0;
        connect(probe, &QAction::triggered, this, [&triggered] { ++triggered; });
        click(d.windowCtrl()->updateButton());
        QWidget* sheet = d.sheetCtrl()->window();
        QTRY_VERIFY(sheet->isVisible());
        QApplication::setActiveWindow(sheet);
        QTest::keyClick(sheet, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(triggered, 1);
        click(d.sheetCtrl()->cancelButton());
    }

    // Return acts on what has focus: a link in the notes, not a firmware update;
    // in the sheet, the focused Cancel button, not help.
    void returnFollowsTheFocus() {
        write_package(bundle, "a.zalmirupdate",
                      package_with_notes("See [the manual](https://ventaro.example/manual)."));
        AppDelegate& d = launch();
        QWidget* window = d.windowCtrl()->window();
        QApplication::setActiveWindow(window);
        QTextBrowser* notes = d.windowCtrl()->textView();
        QTRY_VERIFY(notes->toPlainText().contains(QStringLiteral("the manual")));
        // The link as Tab leaves it: selected, with the focus in the notes.
        notes->setFocus();
        QTextCursor link(notes->document());
        const int at = notes->toPlainText().indexOf(QStringLiteral("the manual"));
        link.setPosition(at);
        link.setPosition(at + 10, QTextCursor::KeepAnchor);
        notes->setTextCursor(link);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(notes));
        QTest::keyClick(window, Qt::Key_Return);
        QTest::qWait(50);
        QVERIFY(!d.inUpdate());
        QVERIFY(!d.sheetCtrl()->window()->isVisible());

        click(d.windowCtrl()->updateButton());
        QWidget* sheet = d.sheetCtrl()->window();
        QTRY_VERIFY(sheet->isVisible());
        QTRY_VERIFY(d.sheetCtrl()->cancelButton()->isEnabled());
        QApplication::setActiveWindow(sheet);
        d.sheetCtrl()->cancelButton()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.sheetCtrl()->cancelButton()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!sheet->isVisible());
        QVERIFY(!d.inUpdate());
        // After the run, the focus is on Update again (the window manager gives
        // the window back its activation).
        QApplication::setActiveWindow(window);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.windowCtrl()->updateButton()));
    }

    // What a screen reader announces, and the menus' Alt keys, in both languages.
    void namesForScreenReadersAndMenuKeys() {
        const QString program = QApplication::applicationDisplayName();
        QApplication::setApplicationDisplayName(QStringLiteral("Ventaro Update"));  // as the application names itself
        for (const lang_t language : {lang_t::en, lang_t::fr}) {
            lang = language;
            install_translations();
            write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
            AppDelegate& d = launch();
            const bool fr = language == lang_t::fr;
            auto name = [](QObject* o) { return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name); };
            QCOMPARE(name(d.windowCtrl()->textView()),
                     fr ? QStringLiteral("Notes de version") : QStringLiteral("Release notes"));
            click(d.windowCtrl()->updateButton());
            QTRY_VERIFY(d.sheetCtrl()->window()->isVisible());
            QTRY_VERIFY(!d.sheetCtrl()->title().isEmpty());
            QCOMPARE(name(d.sheetCtrl()->window()), d.sheetCtrl()->title());
            QCOMPARE(QAccessible::queryAccessibleInterface(d.sheetCtrl()->window())->text(QAccessible::Description),
                     d.sheetCtrl()->subtitle());
            QCOMPARE(name(d.sheetCtrl()->progressIndicator()),
                     fr ? QStringLiteral("Progression") : QStringLiteral("Progress"));
            if (d.sheetCtrl()->indeterminate()) {  // waiting: no "-1 of 0"
                QAccessibleValueInterface* value =
                    QAccessible::queryAccessibleInterface(d.sheetCtrl()->progressIndicator())->valueInterface();
                QVERIFY(value);
                QCOMPARE(value->currentValue().toInt(), 0);
            }
            QCOMPARE(name(d.sheetCtrl()->helpButton()), fr ? QStringLiteral("Aide") : QStringLiteral("Help"));
            // The hint names the button as the eye sees it, in a readable size.
            QCOMPARE(d.sheetCtrl()->helpButton()->text(), fr ? QStringLiteral("Aide") : QStringLiteral("Help"));
            QTRY_COMPARE(d.sheetCtrl()->helpLabel()->text(), fr ? QStringLiteral("Besoin d'aide ? Cliquez sur Aide.")
                                                                : QStringLiteral("Need help? Click Help."));
            QVERIFY(d.sheetCtrl()->helpLabel()->font().pointSizeF() >= QApplication::font().pointSizeF() * 0.8);
            click(d.sheetCtrl()->cancelButton());
            // Alerts are modal dialogs of the window, never sheets (undecorated on Wayland).
            d.runErrorAlertWithTitle(QStringLiteral("t"), QStringLiteral("m"));
            QMessageBox* alert = wait_for_alert();
            QVERIFY(alert);
            QCOMPARE(alert->windowType(), Qt::Dialog);
            QCOMPARE(alert->windowModality(), Qt::WindowModal);
            QCOMPARE(d.sheetCtrl()->window()->windowType(), Qt::Dialog);
            QVERIFY(!(d.sheetCtrl()->window()->windowFlags() &
                      (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
            alert->done(0);
            QSet<QChar> keys;
            for (QAction* menu : d.windowCtrl()->window()->menuBar()->actions()) {
                const qsizetype amp = menu->text().indexOf(u'&');
                QVERIFY2(amp >= 0 && amp + 1 < menu->text().size(), qPrintable(menu->text()));
                keys.insert(menu->text().at(amp + 1).toLower());
            }
            QStringList titles;
            for (QAction* menu : d.windowCtrl()->window()->menuBar()->actions()) titles << menu->text();
            QVERIFY2(keys.size() == titles.size(), qPrintable(titles.join(u'|')));
        }
        QApplication::setApplicationDisplayName(program);
        lang = lang_t::en;
        install_translations();
    }

    // The tree a screen reader walks: roles, states and actions of the window,
    // the notes and their links, the sheet, an alert and the console; and F10
    // opens the menu bar.
    void accessibilityTreeAndMenuKey() {
        write_package(bundle, "a.zalmirupdate",
                      package_with_notes("Read [the manual](https://ventaro.example/manual) or "
                                         "[write to us](mailto:support@ventaro.example)."));
        AppDelegate& d = launch();
        auto tree = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
        QCOMPARE(tree(d.windowCtrl()->window())->role(), QAccessible::Window);
        QAccessibleInterface* update = tree(d.windowCtrl()->updateButton());
        QCOMPARE(update->role(), QAccessible::Button);
        QVERIFY(update->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

        QTextBrowser* view = d.windowCtrl()->textView();
        QTRY_VERIFY(view->toPlainText().contains(QStringLiteral("write to us")));
        QAccessibleInterface* notes = tree(view);
        QVERIFY(notes->state().readOnly && notes->state().multiLine);
        QVERIFY(notes->textInterface());
        QCOMPARE(notes->textInterface()->text(0, 4), QStringLiteral("Read"));
        QCOMPARE(notes->childCount(), 2);
        QAccessibleInterface* manual = notes->child(0);
        QCOMPARE(manual->role(), QAccessible::Link);
        QCOMPARE(manual->text(QAccessible::Name), QStringLiteral("the manual"));
        QCOMPARE(manual->text(QAccessible::Value), QStringLiteral("https://ventaro.example/manual"));
        QCOMPARE(manual->parent(), notes);
        QCOMPARE(notes->indexOfChild(notes->child(1)), 1);
        QVERIFY(!manual->rect().isEmpty());
        // Pressing opens the link the way a click does.
        QTemporaryDir bin;
        const QString record = bin.filePath("opened");
        QFile script(bin.filePath("xdg-open"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(record).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + path);
        manual->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        qputenv("PATH", path);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 5000);
        QTest::qWait(200);
        QFile opened(record);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll(), QByteArray("https://ventaro.example/manual\n"));
        // Focusing selects the link, where Return then opens it.
        notes->child(1)->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
        QCOMPARE(view->textCursor().selectedText(), QStringLiteral("write to us"));
        QCOMPARE(notes->child(1)->text(QAccessible::Value), QStringLiteral("mailto:support@ventaro.example"));
        // New notes, new links.
        QVERIFY(d.openFileWithURL(
            QUrl::fromLocalFile(write_package(bundle, "b.zalmirupdate", package_bytes(true, false)))));
        QTRY_COMPARE(tree(view)->childCount(), 0);

        // F10 opens the first menu.
        QWidget* window = d.windowCtrl()->window();
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, Qt::Key_F10);
        QMenuBar* bar = window->findChild<QMenuBar*>();
        QTRY_VERIFY(bar->actions().first()->menu()->isVisible());
        bar->actions().first()->menu()->close();

        click(d.windowCtrl()->updateButton());
        QAccessibleInterface* sheet = tree(d.sheetCtrl()->window());
        QTRY_VERIFY(d.sheetCtrl()->window()->isVisible());
        QCOMPARE(sheet->role(), QAccessible::Dialog);
        QCOMPARE(tree(d.sheetCtrl()->progressIndicator())->role(), QAccessible::ProgressBar);
        QAccessibleInterface* cancel = tree(d.sheetCtrl()->cancelButton());
        QTRY_VERIFY(cancel->state().disabled == false);
        cancel->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!d.inUpdate());

        d.runErrorAlertWithTitle(QStringLiteral("Title"), QStringLiteral("Message"));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(tree(alert)->role(), QAccessible::AlertMessage);
        QAccessibleInterface* ok = tree(alert->buttons().first());
        QCOMPARE(ok->role(), QAccessible::Button);
        const QPointer<QMessageBox> shown = alert;  // an answered alert goes away
        ok->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!shown || !shown->isVisible());

        LogWindow* console = LogWindow::logWindow();
        QCOMPARE(tree(console)->role(), QAccessible::Window);
        QCOMPARE(tree(console)->text(QAccessible::Name), QStringLiteral("Log Console"));
        QVERIFY(tree(console->textView())->state().readOnly);
    }

    // Showing the console gives it the keyboard; Escape and Ctrl+W close it.
    void logConsoleFromTheKeyboard() {
        LogWindow* console = LogWindow::logWindow();
        if (console->isVisible()) console->toggle();
        console->toggle();
        QTRY_VERIFY(console->isVisible());
        QCOMPARE(console->focusWidget(), static_cast<QWidget*>(console->textView()));
        if (!QTest::qWaitFor([console] { return console->isActiveWindow(); }, 1000)) {
            console->toggle();
            QSKIP("the compositor decides which window is active (Wayland)");
        }
        QTest::keyClick(console->textView(), Qt::Key_Escape);
        QTRY_VERIFY(!console->isVisible());
        console->toggle();
        QTRY_VERIFY(console->isVisible());
        QTest::keyClick(console->textView(), Qt::Key_W, Qt::ControlModifier);
        QTRY_VERIFY(!console->isVisible());
    }

    void cancelAfterProgressWarns() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false, true));
        AppDelegate& d = launch();
        // The stage-2 firmware falls silent after its first report: the run waits there.
        auto o = options_for(d.update(), kind_t::ventaro);
        o.faults = {{devices::fault_t::type_t::stage2_stall}};
        plug(o);
        click(d.windowCtrl()->updateButton());
        QTRY_VERIFY_WITH_TIMEOUT(
            d.sheetCtrl()->title() == "Updating internal components..." && d.sheetCtrl()->progress() >= 0.2, 20000);
        click(d.sheetCtrl()->cancelButton());
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Update canceled"));
        QCOMPARE(alert->informativeText(), localized("ZALUpdateCancelMessage"));
    }

    void failedRunShowsItsDetails() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.faults = {{devices::fault_t::type_t::wrong_answer, 1}};
        plug(o);
        click(d.windowCtrl()->updateButton());
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Update failed"));
        QCOMPARE(alert->detailedText(), QStringLiteral("Wrong response in HID report."));
        QVERIFY(!d.windowCtrl()->updateButton()->isEnabled());  // while the alert shows
        click(alert->buttons().first());
        QTRY_VERIFY(d.windowCtrl()->updateButton()->isEnabled());
    }

    // A logout, a shutdown or Ctrl+C while sector 0 is erased: the application
    // ends as Quit ends it, once the device can start again.
    void aSignalWhileSectorZeroIsErasedWaitsForIt_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void aSignalWhileSectorZeroIsErasedWaitsForIt() {
        QFETCH(int, signal);
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        const auto sequence = updater::hid::make_programming_sequence(make_update_plan(d.update().ventaro->main));
        const auto erase =
            std::find_if(sequence.begin(), sequence.end(), [](auto& r) { return r.leaves_sector0_erased; });
        QVERIFY(erase != sequence.end());
        devices::simulated_device_t& device = plug(options_for(d.update(), kind_t::ventaro, true));
        device.pause_at_roundtrip(uint64_t(erase - sequence.begin()) + 1);  // erased, not yet written again
        click(d.windowCtrl()->updateButton());
        QTRY_VERIFY_WITH_TIMEOUT(device.paused(), 30000);

        quitSignal = 0;
        std::raise(signal);
        QTRY_COMPARE(quitSignal, signal);
        // What the application does once its loop has ended.
        async_main([&device] { device.resume(); }, 200);
        d.engine().shut_down();
        QVERIFY(!d.inUpdate() || !d.engine().running());
        const std::vector<uint8_t> flash = device.flash();
        QVERIFY2(devices::flash_model_t(flash).reset_start() != devices::flash_model_t::start_t::nothing,
                 "sector 0 was left erased");
        QVERIFY2(device.roundtrips() < sequence.size(), "the update was cancelled, not finished");
    }

    void wholeUpdateWithTheCounterpart() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true, true));
        AppDelegate& d = launch();
        plug(options_for(d.update(), kind_t::ventaro));
        click(d.windowCtrl()->updateButton());
        QMessageBox* offer = wait_for_alert(60000);
        QVERIFY(offer);
        QVERIFY2(offer->text() == QStringLiteral("Update successful"), qPrintable(offer->informativeText()));
        QCOMPARE(offer->informativeText(), localized("ZALUpdateSuccessMessageWithCounterpart").replace("%s", "Ruvo"));
        QVERIFY(button_titled(offer, "Update my Ruvo"));
        QCOMPARE(offer->escapeButton(), button_titled(offer, "End"));
        plug(options_for(d.update(), kind_t::ruvo));
        click(button_titled(offer, "Update my Ruvo"));
        QTRY_VERIFY(d.inUpdate());
        QCOMPARE(d.lastCounterpartUpdated(), kind_t::ventaro);
        QMessageBox* done = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((done = visible_alert()) != nullptr && done != offer, 60000);
        QCOMPARE(done->text(), QStringLiteral("Update successful"));
        QCOMPARE(done->informativeText(), localized("ZALUpdateSuccessMessageBoth"));
        QCOMPARE(d.lastCounterpartUpdated(), kind_t::any);
    }

    void kindQuestionAnswered() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true));
        AppDelegate& d = launch();
        auto o = options_for(d.update(), kind_t::ruvo, true);
        o.v1_bootloader = true;
        plug(o);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (QMessageBox* box = visible_alert(); box && box->text() == localized("ZALIsThisVentaroTitle"))
                button_titled(box, "Ruvo")->click();
        });
        answer.start(20);
        click(d.windowCtrl()->updateButton());
        QMessageBox* offer = wait_for_alert(60000);
        answer.stop();
        QVERIFY(offer);
        QVERIFY(button_titled(offer, "Update my Ventaro"));  // the Ruvo was updated
    }

    // A run that ends inside start (the question declined) leaves no run behind.
    void kindQuestionDeclined() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true));
        AppDelegate& d = launch();
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.v1_bootloader = true;
        plug(o);
        QTimer answer;
        int asked = 0;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (QMessageBox* box = visible_alert(); box && box->text() == localized("ZALIsThisVentaroTitle")) {
                ++asked;
                QTest::keyClick(box, Qt::Key_Escape);
            }
        });
        answer.start(20);
        click(d.windowCtrl()->updateButton());
        answer.stop();
        QCOMPARE(asked, 1);
        QVERIFY(!d.inUpdate());
        QVERIFY(!d.sheetCtrl()->window()->isVisible());
        QVERIFY(d.updateMenuItem()->isEnabled());
        QTest::qWait(300);
        QVERIFY(!visible_alert());
    }

    // About shows the application itself; Qt's own box is an item of its own.
    void aboutShowsTheApplication() {
        launch();
        QStringList items;
        for (QAction* a : menu_with_tag(5)->actions()) items << a->text();
        QVERIFY2(items.contains(QStringLiteral("About Qt")), qPrintable(items.join(u'|')));
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text() + u'\n' + box->informativeText();
                box->done(0);
            }
        });
        show_about_box();
        QVERIFY2(shown.contains(QStringLiteral("Version 1.0.0")) && shown.contains(QStringLiteral("MIT")),
                 qPrintable(shown));
    }

    // The content is 600 by 300 below the menu bar, and Update is as wide as its title needs.
    void windowContentAndButtonSizes() {
        AppDelegate& d = launch();
        QWidget* content = d.windowCtrl()->window()->centralWidget();
        d.windowCtrl()->window()->show();
        QTRY_COMPARE(content->size(), QSize(600, 300));
        QVERIFY(d.windowCtrl()->updateButton()->width() >= d.windowCtrl()->updateButton()->sizeHint().width());
        if (QWidget* panel = QApplication::activeModalWidget()) panel->close();
    }

    void frenchTextsAndDate() {
        lang = lang_t::fr;
        install_translations();
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false, false, ""));
        AppDelegate& d = launch();
        QCOMPARE(d.windowCtrl()->secondaryTitle(), QStringLiteral("Version 2.1.0 (05/03/2021)"));
        QCOMPARE(d.windowCtrl()->updateButton()->text(), QStringLiteral("Mettre à jour"));
        QCOMPARE(d.windowCtrl()->window()->windowTitle(), QStringLiteral("Mise à jour Ventaro v2.1.0"));
        QCOMPARE(d.windowCtrl()->textView()->toPlainText(),
                 QStringLiteral("Release notes\nSee this."));  // English fallback
        click(d.windowCtrl()->updateButton());
        QTRY_COMPARE(d.sheetCtrl()->title(), QStringLiteral("Branchez votre Ventaro"));
        QCOMPARE(d.sheetCtrl()->help(), localized("ZALUpdateClickHelp"));
        QVERIFY(d.sheetCtrl()->help().startsWith("Besoin d'aide"));
        // Qt's own texts follow: the open panel's labels, the standard buttons.
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Voir dans :"));
        click(d.sheetCtrl()->cancelButton());
        lang = lang_t::en;
        install_translations();
    }

    void logConsoleShowsStandardError() {
        LogWindow* console = LogWindow::logWindow();
        std::fprintf(stderr, "a line for the console \xC3\xA9\n");
        QTRY_VERIFY(console->text().contains(QStringLiteral("a line for the console é")));
        QVERIFY(!console->isVisible());
        console->toggle();
        QVERIFY(console->isVisible());
        console->toggle();
        QVERIFY(!console->isVisible());
    }

    // A long wait logs without end; the console keeps the last lines.
    void logConsoleKeepsTheLastLines() {
        LogWindow* console = LogWindow::logWindow();
        QString lines;
        for (int i = 0; i < LogWindow::max_lines + 500; ++i) lines += QStringLiteral("examined port %1\n").arg(i);
        console->append(lines);
        console->append(QStringLiteral("the last line\n"));
        QVERIFY(console->text().count(u'\n') <= LogWindow::max_lines);
        QVERIFY(console->text().contains(QStringLiteral("the last line")));
        QVERIFY(!console->text().contains(QStringLiteral("examined port 0\n")));
    }

    void logConsoleFollowsTheEndOnlyAtTheEnd() {
        LogWindow* console = LogWindow::logWindow();
        console->show();
        QScrollBar* bar = console->textView()->verticalScrollBar();
        for (int i = 0; i < 200; ++i) console->append(QStringLiteral("line %1\n").arg(i));
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(bar->maximum() - 10);  // scrolled up by far more than 25 points
        const int kept = bar->value();
        console->append(QStringLiteral("one more\n"));
        QCOMPARE(bar->value(), kept);
        bar->setValue(bar->maximum());
        console->append(QStringLiteral("and another\n"));
        QCOMPARE(bar->value(), bar->maximum());
        console->hide();
    }

    // A character split between two reads loses nothing; bad bytes show as U+FFFD.
    void logConsoleDecodesSplitCharacters() {
        utf8_stream_decoder_t decoder;
        QCOMPARE(decoder.decode("caf\xC3", 4), QStringLiteral("caf"));
        QCOMPARE(decoder.decode("\xA9 ok", 4), QStringLiteral("é ok"));
        QCOMPARE(decoder.decode("\xE2\x82", 2), QString());
        QCOMPARE(decoder.decode("\xAC!", 2), QStringLiteral("€!"));
        QCOMPARE(decoder.decode("a\xFF"
                                "b",
                                3),
                 QStringLiteral("a\uFFFDb"));
    }

    void progressBarStates() {
        UpdateSheetController sheet;
        progress_bar_t* bar = sheet.progressIndicator();
        QVERIFY(bar->isHidden());
        sheet.setProgress(0);
        QVERIFY(!bar->isHidden());
        QVERIFY(!bar->busy());
        QCOMPARE(bar->fraction(), 0.0);
        sheet.setProgress(0.5);
        QCOMPARE(bar->fraction(), 0.5);
        sheet.setProgress(1);
        QCOMPARE(bar->fraction(), 1.0);
        QVERIFY(!sheet.indeterminate());
        sheet.setProgress(2);
        QVERIFY(sheet.indeterminate());
        QVERIFY(bar->busy());
        sheet.setProgress(0.3);
        QVERIFY(!bar->busy());
        QCOMPARE(bar->fraction(), 0.3);
        QTRY_COMPARE(bar->reportedPercent(), 30);
        sheet.setProgress(-1);
        QVERIFY(bar->isHidden());
    }

    void progressThatIsNoNumberIsIgnored() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        d.updaterOnProgress(0.4f);
        d.updaterOnProgress(std::nanf(""));
        d.updaterOnProgress(INFINITY);
        QCOMPARE(d.sheetCtrl()->progress(), double(0.4f));
        QCOMPARE(d.sheetCtrl()->progressIndicator()->fraction(), double(0.4f));
    }

    void sheetKeysAndWindowLimits() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        QMainWindow* window = d.windowCtrl()->window();
        window->show();
        window->resize(900, 600);
        QTest::qWait(20);
        // Update stays at the top right and the notes take the rest.
        QWidget* content = window->centralWidget();
        QCOMPARE(d.windowCtrl()->updateButton()->mapTo(content, QPoint()).x() + d.windowCtrl()->updateButton()->width(),
                 content->width() - 5);
        QCOMPARE(d.windowCtrl()->textView()->width(), content->width());
        QVERIFY(d.windowCtrl()->textView()->mapTo(content, QPoint()).y() + d.windowCtrl()->textView()->height() >=
                content->height() - 1);

        UpdateSheetController sheet;
        int cancels = 0;
        struct counting_t final : UpdateSheetControllerDelegate {
            int* n;
            void updateSheetControllerDidClickCancel(UpdateSheetController*) override { ++*n; }
            void updateSheetControllerDidClickHelp(UpdateSheetController*) override {}
        } counter;
        counter.n = &cancels;
        sheet.delegate = &counter;
        sheet.window()->reject();  // Escape
        QCOMPARE(cancels, 1);
        sheet.setCancelable(false);
        sheet.window()->reject();
        QCOMPARE(cancels, 1);
        sheet.endSheetModalForWindow(window);  // not attached: harmless
    }

    // Each new phase reaches a screen reader as one announcement, whatever has
    // the focus; the same phase set again says nothing new.
    void phasesAreAnnouncedOnce() {
        if (!accessibility_events_t::available()) QSKIP("no accessibility bridge on this platform");
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        accessibility_events_t events;
        click(d.windowCtrl()->updateButton());
        UpdateSheetController* sheet = d.sheetCtrl();
        QTRY_COMPARE(sheet->title(), QStringLiteral("Connect your Ventaro"));
        QTRY_COMPARE(sheet->announcer()->text(), sheet->title() + u'\n' + sheet->subtitle());
        const int before = sheet->announcer()->announcements();
        d.updaterOnAnnounce(QStringLiteral("Waiting for the Ventaro..."), QStringLiteral("Keep it connected."));
        d.updaterOnAnnounce(QStringLiteral("Waiting for the Ventaro..."), QStringLiteral("Keep it connected."));
        QTRY_COMPARE(sheet->announcer()->announcements(), before + 1);
        QTest::qWait(50);
        QCOMPARE(sheet->announcer()->announcements(), before + 1);
        QCOMPARE(sheet->announcer()->text(), QStringLiteral("Waiting for the Ventaro...\nKeep it connected."));
        QAccessibleInterface* announcer = QAccessible::queryAccessibleInterface(sheet->announcer());
        QCOMPARE(announcer->role(), QAccessible::Notification);
        QCOMPARE(announcer->text(QAccessible::Name), sheet->announcer()->text());
        // One name change per title ("Preparing…", "Connect…", "Waiting…"), one
        // description change per subtitle (the first one is empty, as before).
        QCOMPARE(events.count(QAccessible::NameChanged, sheet->window()), 3);
        QCOMPARE(events.count(QAccessible::DescriptionChanged, sheet->window()), 2);
        // Shown with the sheet, then once per announcement.
        QCOMPARE(events.count(QAccessible::ObjectShow, sheet->announcer()), sheet->announcer()->announcements() + 1);
        click(sheet->cancelButton());
    }

    // Thousands of progress steps reach assistive technologies as a few whole
    // per cents; the bar itself draws every step. A busy bar says busy.
    void progressReachesScreenReadersAtAPace() {
        if (!accessibility_events_t::available()) QSKIP("no accessibility bridge on this platform");
        UpdateSheetController sheet;
        sheet.window()->show();
        progress_bar_t* bar = sheet.progressIndicator();
        accessibility_events_t events;
        sheet.setProgress(2);
        QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(bar);
        QVERIFY(a11y->state().busy);
        QCOMPARE(a11y->valueInterface()->maximumValue().toInt(), 0);
        QElapsedTimer clock;
        clock.start();
        // A step count, not a time: a loaded machine only stretches the run.
        int steps = 0;
        while (steps <= 2000) {
            sheet.setProgress(steps++ / 2000.0);
            QCOMPARE(bar->fraction(), (steps - 1) / 2000.0);
            if (steps % 10 == 0) QTest::qWait(1);
        }
        QTRY_COMPARE(bar->reportedPercent(), int(std::floor(bar->fraction() * 100 + 1e-9)));
        QVERIFY(!a11y->state().busy);
        QCOMPARE(a11y->valueInterface()->currentValue().toInt(), bar->reportedPercent());
        const int values = events.count(QAccessible::ValueChanged, bar);
        QVERIFY2(steps > 100, qPrintable(QString::number(steps)));
        // About four a second, and a last one with the final value.
        QVERIFY2(values >= 2 && values <= 2 + int(clock.elapsed() / progress_bar_t::report_interval_ms),
                 qPrintable(QStringLiteral("%1 reports for %2 steps").arg(values).arg(steps)));
    }

    // A hidden log console tells assistive technologies nothing of its text.
    void hiddenConsoleSendsNoTextEvents() {
        if (!accessibility_events_t::available()) QSKIP("no accessibility bridge on this platform");
        LogWindow* console = LogWindow::logWindow();
        console->hide();
        accessibility_events_t events;
        console->append(QStringLiteral("a line nobody is reading\n"));
        QVERIFY(console->text().contains(QStringLiteral("a line nobody is reading")));
        // A console never shown has no view at all; one shown before keeps quiet.
        if (auto* view = console->findChild<QPlainTextEdit*>())
            QCOMPARE(events.countFor(view) + events.countFor(view->viewport()), 0);
        console->show();
        QVERIFY(console->textView()->toPlainText().contains(QStringLiteral("a line nobody is reading")));
        console->hide();
    }

    // Alerts are named by their own title, read by their text, titled so that
    // a narrow title bar still shows it, and placed over the update window.
    void alertsSayWhatTheyAre() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        d.runFailureAlertWithTitle(localized("Update failed"), QStringLiteral("What happened."), QStringLiteral("x"));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(alert);
        QCOMPARE(a11y->text(QAccessible::Name), QStringLiteral("Update failed"));
        QCOMPARE(a11y->text(QAccessible::Description), QStringLiteral("What happened."));
        QCOMPARE(alert->windowTitle(), QStringLiteral("Update failed"));
        QVERIFY(alert->width() >= alert->fontMetrics().horizontalAdvance(alert->windowTitle()) + 160);
        QVERIFY(over_window(alert, d.windowCtrl()->window()));
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        alert->done(0);
    }

    // After an alert the keyboard is back on Update, not in the notes.
    // While shown, the sheet is its window's child: a window deleted first (at
    // exit) takes the sheet's dialog with it, and the sheet must not delete it
    // again (it did, which AddressSanitizer reports as a double free).
    void theSheetMayOutliveItsWindow() {
        auto window = std::make_unique<UpdateWindowController>();
        auto sheet = std::make_unique<UpdateSheetController>();
        sheet->beginSheetModalForWindow(window->window());
        QVERIFY(sheet->window()->isVisible());
        window.reset();
        QCOMPARE(sheet->window(), nullptr);
        sheet.reset();
    }

    void focusReturnsToUpdateAfterAnAlert() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        QWidget* window = d.windowCtrl()->window();
        QApplication::setActiveWindow(window);
        d.windowCtrl()->textView()->setFocus();
        d.runErrorAlertWithTitle(QStringLiteral("Update successful"), QStringLiteral("Done."));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        click(alert->buttons().first());
        QApplication::setActiveWindow(window);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.windowCtrl()->updateButton()));
    }

    // A held Return repeats its key press: only the first may start a run or
    // accept an alert, whatever has the focus while the key stays down.
    void heldReturnStartsOneRunOnly() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true));
        AppDelegate& d = launch();
        plug(options_for(d.update(), kind_t::ventaro));
        int runs = 0;
        d.onRunStarted = [&runs](kind_t) { ++runs; };
        QWidget* window = d.windowCtrl()->window();
        QApplication::setActiveWindow(window);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.windowCtrl()->updateButton()));
        // Where the key goes: the focused widget of the window in front.
        const auto target = [&]() -> QWidget* {
            QWidget* front = visible_alert();
            if (!front && d.sheetCtrl()->window()->isVisible()) front = d.sheetCtrl()->window();
            if (!front) front = window;
            QApplication::setActiveWindow(front);
            return front->focusWidget() ? front->focusWidget() : front;
        };
        QTest::simulateEvent(target(), true, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), false);
        QCOMPARE(runs, 1);
        QTimer held;
        QObject::connect(&held, &QTimer::timeout, [&] {
            QTest::simulateEvent(target(), true, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
        });
        held.start(30);
        QMessageBox* offer = wait_for_alert(60000);
        QVERIFY(offer);
        QTest::qWait(1000);  // still held over the offer
        held.stop();
        QCOMPARE(runs, 1);
        QCOMPARE(visible_alert(), offer);
        QVERIFY(!d.inUpdate());
        QVERIFY(button_titled(offer, "Update my Ruvo"));
    }

    // File > Update and its key follow the application's state at once, from
    // start-up on, without the menu being opened.
    void menuActionsFollowTheState() {
        AppDelegate& none = launch();
        QVERIFY(!none.updateMenuItem()->isEnabled());
        cleanup();
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        QVERIFY(d.updateMenuItem()->isEnabled());
        QWidget* window = d.windowCtrl()->window();
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
        QTRY_VERIFY(d.inUpdate());
        QVERIFY(!d.updateMenuItem()->isEnabled());
        QVERIFY(!d.openMenuItem()->isEnabled());
        click(d.sheetCtrl()->cancelButton());
        QVERIFY(d.updateMenuItem()->isEnabled());
        QVERIFY(d.openMenuItem()->isEnabled());
    }

    // Quitting or closing the window during a run asks first, Cancel being
    // the default; outside a run nothing is asked.
    void quittingDuringARunAsksFirst_data() {
        QTest::addColumn<bool>("byCloseButton");
        QTest::newRow("Quit") << false;
        QTest::newRow("close button") << true;
    }
    void quittingDuringARunAsksFirst() {
        QFETCH(bool, byCloseButton);
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        QVERIFY(d.applicationShouldTerminate());
        click(d.windowCtrl()->updateButton());
        QTRY_VERIFY(d.inUpdate());
        QString asked;
        bool cancelIsDefault = false, over = false;
        QTimer::singleShot(100, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text() + u'\n' + box->informativeText();
                cancelIsDefault = box->defaultButton() == button_titled(box, "Cancel");
                over = over_window(box, d.windowCtrl()->window());
                QTest::keyClick(box, Qt::Key_Return);  // the default
            }
        });
        QWidget* window = d.windowCtrl()->window();
        if (byCloseButton) {
            QVERIFY(!window->close());
        } else {
            QAction* quit = nullptr;
            for (QAction* a : menu_with_tag(2)->actions())
                if (a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Q)) quit = a;
            QVERIFY(quit);
            quit->trigger();
        }
        QCOMPARE(asked, QStringLiteral("An update is running. Quit anyway?\nThe device will finish its update the "
                                       "next time you run Update."));
        QVERIFY(cancelIsDefault);
        QVERIFY(over);
        QVERIFY(window->isVisible());
        QVERIFY(d.inUpdate());
        // Quit chosen: the question is not asked twice.
        QTimer::singleShot(100, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                button_titled(box, "Quit")->click();
        });
        QVERIFY(d.applicationShouldTerminate());
        QVERIFY(d.applicationShouldTerminate());
        click(d.sheetCtrl()->cancelButton());
    }

    // Without a package the window says what to do, in the user's language,
    // and its button opens the panel.
    void withoutAPackageTheWindowSaysWhatToDo_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("en") << int(lang_t::en);
        QTest::newRow("fr") << int(lang_t::fr);
    }
    void withoutAPackageTheWindowSaysWhatToDo() {
        QFETCH(int, language);
        lang = lang_t(language);
        install_translations();
        AppDelegate& d = launch();
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
        QApplication::activeModalWidget()->close();
        QVERIFY(!d.windowCtrl()->hasPackage());
        QVERIFY(d.windowCtrl()->noPackagePage()->isVisibleTo(d.windowCtrl()->window()));
        QCOMPARE(d.windowCtrl()->openButton()->text(), language == int(lang_t::fr)
                                                           ? QStringLiteral("Ouvrir une mise à jour…")
                                                           : QStringLiteral("Open Update Package…"));
        QLabel* hint = d.windowCtrl()->noPackagePage()->findChild<QLabel*>();
        QCOMPARE(hint->text(), localized("ZALNoPackageHint"));
        QVERIFY(hint->text().startsWith(language == int(lang_t::fr) ? u"Aucune" : u"No update"));
        click(d.windowCtrl()->openButton());
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
        QApplication::activeModalWidget()->close();
        d.openFileWithURL(QUrl::fromLocalFile(write_package(bundle, "b.zalmirupdate", package_bytes(true, false))));
        QVERIFY(d.windowCtrl()->hasPackage());
        lang = lang_t::en;
        install_translations();
    }

    // A failed run says in plain words what happened, in the user's language;
    // the engine's own text is the alert's detail; Troubleshooting opens the
    // page, or says where it is when no browser opens.
    void failuresSpeakPlainly_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("details");
        for (int language : {int(lang_t::en), int(lang_t::fr)}) {
            const char* name = language == int(lang_t::fr) ? "fr" : "en";
            QTest::addRow("%s unplugged", name)
                << language << int(devices::fault_t::type_t::unplug_at_roundtrip) << "ZALFailureDisconnected"
                << "Could not write a HID report.";
            QTest::addRow("%s wrong answer", name)
                << language << int(devices::fault_t::type_t::wrong_answer) << "ZALFailureSilent"
                << "Wrong response in HID report.";
        }
    }
    void failuresSpeakPlainly() {
        QFETCH(int, language);
        QFETCH(int, fault);
        QFETCH(QString, key);
        QFETCH(QString, details);
        lang = lang_t(language);
        install_translations();
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        AppDelegate& d = launch();
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.faults = {{devices::fault_t::type_t(fault), 5}};
        plug(o);
        click(d.windowCtrl()->updateButton());
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), localized("Update failed"));
        QCOMPARE(alert->informativeText(),
                 localized(key.toUtf8().constData()) + QStringLiteral("\n\n") + localized("ZALUpdateErrorMessage"));
        QVERIFY(!alert->informativeText().contains(details));
        QCOMPARE(alert->detailedText(), details);
        QVERIFY(!d.windowCtrl()->updateButton()->isEnabled());  // while the alert shows
        // No browser here: xdg-open fails, and the address is shown instead.
        QTemporaryDir bin;
        QFile fake(bin.filePath("xdg-open"));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\nexit 3\n");
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ':' + path);
        click(button_titled(alert, localized("Troubleshooting")));
        QMessageBox* notice = nullptr;
        QTRY_VERIFY((notice = visible_alert()) && notice != alert);
        qputenv("PATH", path);
        QVERIFY2(notice->informativeText().contains(localized("ZALTroubleshootingURL")),
                 qPrintable(notice->informativeText()));
        QVERIFY(over_window(notice, d.windowCtrl()->window()));
        notice->done(0);
        QTRY_VERIFY(d.windowCtrl()->updateButton()->isEnabled());
        lang = lang_t::en;
        install_translations();
    }

    // Every text fits its widget in both languages and with larger fonts;
    // ctest runs this at 150 % and 200 % scale as well.
    void textsFitTheirWidgets_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("points");
        for (int language : {int(lang_t::en), int(lang_t::fr)})
            for (int points : {10, 14, 20})
                QTest::addRow("%s %d pt", language == int(lang_t::fr) ? "fr" : "en", points) << language << points;
    }
    void textsFitTheirWidgets() {
        QFETCH(int, language);
        QFETCH(int, points);
        const QFont original = QApplication::font();
        QFont font = original;
        font.setPointSize(points);
        QApplication::setFont(font);
        lang = lang_t(language);
        install_translations();
        AppDelegate& d = launch();
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
        QApplication::activeModalWidget()->close();
        QWidget* window = d.windowCtrl()->window();
        QTest::qWait(20);
        QStringList cut = cut_texts(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'|')));
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        QVERIFY(d.readBundledUpdate());
        QTest::qWait(20);
        cut = cut_texts(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'|')));
        // The sheet with its longest texts.
        click(d.windowCtrl()->updateButton());
        UpdateSheetController* sheet = d.sheetCtrl();
        QTRY_VERIFY(sheet->cancelButton()->isEnabled());
        d.updaterOnAnnounce(
            lang == lang_t::fr ? QStringLiteral("Mise à jour des composants internes...")
                               : QStringLiteral("Updating internal components..."),
            lang == lang_t::fr ? QStringLiteral("Toujours en attente. Vous pouvez patienter, ou annuler, éteindre puis "
                                                "rallumer l'appareil et relancer la mise à jour : elle ira jusqu'au "
                                                "bout.")
                               : QStringLiteral("Still waiting. You can wait, or cancel, turn the device off and on "
                                                "again, and run the update again: it will finish the job."));
        d.updaterOnProgress(0.5f);
        QTest::qWait(20);
        cut = cut_texts(sheet->window());
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'|')));
        click(sheet->cancelButton());
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        alert->done(0);
        QApplication::setFont(original);
        lang = lang_t::en;
        install_translations();
    }

    void theApplicationHasItsIcon() {
        set_application_icon();
        const QIcon icon = QApplication::windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(64, 64)));
        QVERIFY(!icon.pixmap(64, 64).isNull());
    }

    // A signed package names its signer; an unsigned one says so; a changed
    // one is refused, and so is an unsigned one where only signed ones are
    // accepted. In both languages.
    void signaturesInTheWindow_data() {
        QTest::addColumn<int>("language");
        QTest::newRow("en") << int(lang_t::en);
        QTest::newRow("fr") << int(lang_t::fr);
    }
    void signaturesInTheWindow() {
        QFETCH(int, language);
        lang = lang_t(language);
        install_translations();
        const bool fr = language == int(lang_t::fr);
        std::string error;
        QFile key(QStringLiteral(ZAL_TEST_KEY_DIR "/ventaro-test.pub"));
        QVERIFY(key.open(QIODevice::ReadOnly));
        AppDelegate::trust = trust_t{{*parse_public_key(key.readAll().toStdString(), error)}, false};
        QTemporaryDir dir;
        const QString signed_path = write_package(dir, "signed.zalmirupdate", package_bytes(true, false));
        QCOMPARE(QProcess::execute(QStringLiteral(ZAL_SIGN_TOOL), {QStringLiteral(ZAL_TEST_KEY_DIR "/ventaro-test.key"),
                                                                   signed_path, QStringLiteral("Zalmir Instruments")}),
                 0);
        AppDelegate& d = launch();
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
        QApplication::activeModalWidget()->close();

        QVERIFY(d.openFileWithURL(QUrl::fromLocalFile(signed_path)));
        QCOMPARE(d.windowCtrl()->signatureLabel()->text(),
                 fr ? QStringLiteral("Signé par Zalmir Instruments") : QStringLiteral("Signed by Zalmir Instruments"));
        QCOMPARE(QAccessible::queryAccessibleInterface(d.windowCtrl()->signatureIcon())->text(QAccessible::Name),
                 fr ? QStringLiteral("Signé") : QStringLiteral("Signed"));
        QVERIFY(d.windowCtrl()->signatureLabel()->isVisibleTo(d.windowCtrl()->window()));

        QVERIFY(d.openFileWithURL(
            QUrl::fromLocalFile(write_package(dir, "unsigned.zalmirupdate", package_bytes(true, true)))));
        QCOMPARE(d.windowCtrl()->signatureLabel()->text(),
                 fr ? QStringLiteral("Ce paquet n'est pas signé.") : QStringLiteral("This package is not signed."));
        QVERIFY(d.update().ruvo.has_value());

        // The signed package with other notes: refused, the window unchanged.
        QCOMPARE(
            QProcess::execute(QStringLiteral("python3"),
                              {QStringLiteral("-c"),
                               QStringLiteral("import sys, zipfile\n"
                                              "a = zipfile.ZipFile(sys.argv[1])\n"
                                              "b = zipfile.ZipFile(sys.argv[2], 'w')\n"
                                              "for i in a.infolist():\n"
                                              "    d = a.read(i)\n"
                                              "    b.writestr(i, d + b'!' if i.filename == 'notes-en.txt' else d)\n"
                                              "b.close()\n"),
                               signed_path, dir.filePath(QStringLiteral("changed.zalmirupdate"))}),
            0);
        QVERIFY(!d.openFileWithURL(QUrl::fromLocalFile(dir.filePath(QStringLiteral("changed.zalmirupdate")))));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->informativeText(), localized("ZALChangedPackage"));
        QVERIFY(alert->informativeText().startsWith(fr ? u"Ce paquet a été modifié" : u"This package was changed"));
        QVERIFY(alert->detailedText().contains(QStringLiteral("notes-en.txt")));
        alert->done(0);
        QVERIFY(d.update().ruvo.has_value());  // still the unsigned package read before
        // The console reads standard error on a thread of its own.
        QTRY_VERIFY(LogWindow::logWindow()->text().contains(QStringLiteral("was changed after it was signed")));

        // Only signed packages, by the administrator's choice.
        AppDelegate::trust.require_signature = true;
        QVERIFY(!d.openFileWithURL(
            QUrl::fromLocalFile(write_package(dir, "unsigned2.zalmirupdate", package_bytes(true, false)))));
        alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->informativeText(), localized("ZALUnsignedRefused"));
        alert->done(0);
        QVERIFY(d.openFileWithURL(QUrl::fromLocalFile(signed_path)));
        AppDelegate::trust = {};
        lang = lang_t::en;
        install_translations();
    }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
