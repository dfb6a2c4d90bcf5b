// SPDX-License-Identifier: MIT
// The keyboard: the application's keys during a run, Return and the focus, held keys, menus, quitting.
#include "tests/app/app_fixture.hpp"

using namespace zal;
using namespace zal::gui;
using namespace zal::gui::app_tests;

class AppKeyboardTest : public AppFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(set_up()); }
    void cleanup() { clean_up(); }

    // While the sheet is shown, the application's keys still reach the log
    // console, help and quitting.
    void applicationKeysWorkDuringARun() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        // An application key like Log Console's.
        QAction* probe = d.updateWindow()->helpMenu()->addAction(QStringLiteral("Probe"));
        probe->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
        probe->setShortcutContext(Qt::ApplicationShortcut);
        int triggered = 0;
        connect(probe, &QAction::triggered, this, [&triggered] { ++triggered; });
        QVERIFY(click(d.updateWindow()->updateButton()));
        QWidget* sheet = d.updateSheet();
        QTRY_VERIFY(sheet->isVisible());
        make_active(sheet);
        QTest::keyClick(sheet, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(triggered, 1);
        QVERIFY(click(d.updateSheet()->cancelButton()));
    }

    // Return acts on what has focus: a link in the notes, not a firmware update;
    // in the sheet, the focused Cancel button, not help.
    void returnFollowsTheFocus() {
        write_package(bundle, "a.zalmirupdate",
                      package_with_notes("See [the manual](https://ventaro.example/manual)."));
        Application& d = launch();
        QWidget* window = d.updateWindow();
        make_active(window);
        QTextBrowser* notes = d.updateWindow()->textView();
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
        QVERIFY(!d.updateSheet()->isVisible());

        QVERIFY(click(d.updateWindow()->updateButton()));
        QWidget* sheet = d.updateSheet();
        QTRY_VERIFY(sheet->isVisible());
        QTRY_VERIFY(d.updateSheet()->cancelButton()->isEnabled());
        make_active(sheet);
        d.updateSheet()->cancelButton()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.updateSheet()->cancelButton()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_VERIFY(!sheet->isVisible());
        QVERIFY(!d.inUpdate());
        // After the run, the focus is on Update again (the window manager gives
        // the window back its activation).
        make_active(window);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.updateWindow()->updateButton()));
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

    void sheetKeysAndWindowLimits() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QMainWindow* window = d.updateWindow();
        window->show();
        window->resize(900, 600);
        QTest::qWait(20);
        // Update stays at the top right and the notes take the rest.
        QWidget* content = window->centralWidget();
        QCOMPARE(
            d.updateWindow()->updateButton()->mapTo(content, QPoint()).x() + d.updateWindow()->updateButton()->width(),
            content->width() - 5);
        QCOMPARE(d.updateWindow()->textView()->width(), content->width());
        QVERIFY(d.updateWindow()->textView()->mapTo(content, QPoint()).y() + d.updateWindow()->textView()->height() >=
                content->height() - 1);

        UpdateSheet sheet;
        int cancels = 0;
        connect(&sheet, &UpdateSheet::cancelRequested, this, [&cancels] { ++cancels; });
        sheet.reject();  // Escape
        QCOMPARE(cancels, 1);
        sheet.setCancelable(false);
        sheet.reject();
        QCOMPARE(cancels, 1);
        sheet.dismiss();  // not shown: harmless
    }

    void focusReturnsToUpdateAfterAnAlert() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QWidget* window = d.updateWindow();
        make_active(window);
        d.updateWindow()->textView()->setFocus();
        d.showAlert(QStringLiteral("Update successful"), QStringLiteral("Done."));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QVERIFY(click(alert->buttons().first()));
        make_active(window);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.updateWindow()->updateButton()));
    }

    // A held Return repeats its key press: only the first may start a run or
    // accept an alert, whatever has the focus while the key stays down.
    void heldReturnStartsOneRunOnly() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true));
        Application& d = launch();
        plug(options_for(d.update(), kind_t::ventaro));
        int runs = 0;
        connect(&d, &Application::runStarted, this, [&runs] { ++runs; });
        QWidget* window = d.updateWindow();
        make_active(window);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d.updateWindow()->updateButton()));
        // Where the key goes: the focused widget of the window in front.
        const auto target = [&]() -> QWidget* {
            QWidget* front = visible_alert();
            if (!front && d.updateSheet()->isVisible()) front = d.updateSheet();
            if (!front) front = window;
            make_active(front);
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
        Application& none = launch();
        QVERIFY(!none.updateWindow()->updateAction()->isEnabled());
        cleanup();
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QVERIFY(d.updateWindow()->updateAction()->isEnabled());
        QWidget* window = d.updateWindow();
        make_active(window);
        QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
        QTRY_VERIFY(d.inUpdate());
        QVERIFY(!d.updateWindow()->updateAction()->isEnabled());
        QVERIFY(!d.updateWindow()->openAction()->isEnabled());
        QVERIFY(click(d.updateSheet()->cancelButton()));
        QVERIFY(d.updateWindow()->updateAction()->isEnabled());
        QVERIFY(d.updateWindow()->openAction()->isEnabled());
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
        Application& d = launch();
        QVERIFY(d.confirmQuit());
        QVERIFY(click(d.updateWindow()->updateButton()));
        QTRY_VERIFY(d.inUpdate());
        QString asked;
        bool cancelIsDefault = false, over = false;
        QTimer::singleShot(100, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text() + u'\n' + box->informativeText();
                cancelIsDefault = box->defaultButton() == button_titled(box, "Cancel");
                over = over_window(box, d.updateWindow());
                QTest::keyClick(box, Qt::Key_Return);  // the default
            }
        });
        QWidget* window = d.updateWindow();
        if (byCloseButton) {
            QVERIFY(!window->close());
        } else {
            QAction* quit = nullptr;
            for (QAction* a : d.updateWindow()->fileMenu()->actions())
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
        QVERIFY(d.confirmQuit());
        QVERIFY(d.confirmQuit());
        QVERIFY(click(d.updateSheet()->cancelButton()));
        // A run that ends while it is asked takes the question with it.
        QVERIFY(click(d.updateWindow()->updateButton()));
        QTRY_VERIFY(d.inUpdate());
        QTimer::singleShot(100, [&d] { d.updateRun().engine().cancel(); });
        QVERIFY(!d.confirmQuit());
    }
};

QTEST_MAIN(AppKeyboardTest)
#include "app_keyboard_test.moc"
