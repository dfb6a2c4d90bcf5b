// SPDX-License-Identifier: MIT
// What assistive technologies get: names, roles, the tree, announcements and their pace.
#include "tests/app/app_fixture.hpp"

using namespace zal;
using namespace zal::gui;
using namespace zal::gui::app_tests;

class AppAccessibilityTest : public AppFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(set_up()); }
    void cleanup() { clean_up(); }

    // What a screen reader announces, and the menus' Alt keys, in each language.
    void namesForScreenReadersAndMenuKeys_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("progress");
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("helpHint");
        QTest::newRow("en") << "en"
                            << "Release notes"
                            << "Progress"
                            << "Help"
                            << "Need help? Click Help.";
        QTest::newRow("fr") << "fr"
                            << "Notes de version"
                            << "Progression"
                            << "Aide"
                            << "Besoin d'aide ? Cliquez sur Aide.";
    }

    void namesForScreenReadersAndMenuKeys() {
        QFETCH(QString, language);
        const QString program = QApplication::applicationDisplayName();
        QApplication::setApplicationDisplayName(QStringLiteral("Ventaro Update"));  // as the application names itself
        use_language(language);
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        auto name = [](QObject* o) { return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name); };
        QTEST(name(d.updateWindow()->textView()), "notes");
        QVERIFY(click(d.updateWindow()->updateButton()));
        QTRY_VERIFY(d.updateSheet()->isVisible());
        QTRY_VERIFY(!d.updateSheet()->title().isEmpty());
        QCOMPARE(name(d.updateSheet()), d.updateSheet()->title());
        QCOMPARE(QAccessible::queryAccessibleInterface(d.updateSheet())->text(QAccessible::Description),
                 d.updateSheet()->subtitle());
        QTEST(name(d.updateSheet()->progressIndicator()), "progress");
        if (d.updateSheet()->indeterminate()) {  // waiting: no "-1 of 0"
            QAccessibleValueInterface* value =
                QAccessible::queryAccessibleInterface(d.updateSheet()->progressIndicator())->valueInterface();
            QVERIFY(value);
            QCOMPARE(value->currentValue().toInt(), 0);
        }
        QTEST(name(d.updateSheet()->helpButton()), "help");
        // The hint names the button as the eye sees it, in a readable size.
        QTEST(d.updateSheet()->helpButton()->text(), "help");
        QFETCH(QString, helpHint);
        QTRY_COMPARE(d.updateSheet()->helpLabel()->text(), helpHint);
        QVERIFY(d.updateSheet()->helpLabel()->font().pointSizeF() >= QApplication::font().pointSizeF() * 0.8);
        QVERIFY(click(d.updateSheet()->cancelButton()));
        // Alerts are modal dialogs of the window, never sheets (undecorated on Wayland).
        d.showAlert(QStringLiteral("t"), QStringLiteral("m"));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->windowType(), Qt::Dialog);
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(d.updateSheet()->windowType(), Qt::Dialog);
        QVERIFY(!(d.updateSheet()->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        alert->done(0);
        // Every menu has an Alt key of its own, in the catalogue's text.
        QSet<QChar> keys;
        QStringList titles;
        for (QAction* menu : d.updateWindow()->menuBar()->actions()) {
            const qsizetype amp = menu->text().indexOf(u'&');
            QVERIFY2(amp >= 0 && amp + 1 < menu->text().size(), qPrintable(menu->text()));
            keys.insert(menu->text().at(amp + 1).toLower());
            titles << menu->text();
        }
        QVERIFY2(keys.size() == titles.size(), qPrintable(titles.join(u'|')));
        QApplication::setApplicationDisplayName(program);
        use_language(QStringLiteral("en"));
    }

    // The tree a screen reader walks: roles, states and actions of the window,
    // the notes and their links, the sheet, an alert and the console; and F10
    // opens the menu bar.
    void accessibilityTreeAndMenuKey() {
        write_package(bundle, "a.zalmirupdate",
                      package_with_notes("Read [the manual](https://ventaro.example/manual) or "
                                         "[write to us](mailto:support@ventaro.example)."));
        Application& d = launch();
        auto tree = [](QObject* o) { return QAccessible::queryAccessibleInterface(o); };
        QCOMPARE(tree(d.updateWindow())->role(), QAccessible::Window);
        QAccessibleInterface* update = tree(d.updateWindow()->updateButton());
        QCOMPARE(update->role(), QAccessible::Button);
        QVERIFY(update->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

        QTextBrowser* view = d.updateWindow()->textView();
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
        {
            const recording_xdg_open_t xdg_open;
            manual->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(xdg_open.record()), 5000);
            QTest::qWait(200);
            QCOMPARE(xdg_open.opened(), QByteArray("https://ventaro.example/manual\n"));
        }
        // Focusing selects the link, where Return then opens it.
        notes->child(1)->actionInterface()->doAction(QAccessibleActionInterface::setFocusAction());
        QCOMPARE(view->textCursor().selectedText(), QStringLiteral("write to us"));
        QCOMPARE(notes->child(1)->text(QAccessible::Value), QStringLiteral("mailto:support@ventaro.example"));
        // New notes, new links.
        QVERIFY(
            d.openPackage(QUrl::fromLocalFile(write_package(bundle, "b.zalmirupdate", package_bytes(true, false)))));
        QTRY_COMPARE(tree(view)->childCount(), 0);

        // F10 opens the first menu.
        QWidget* window = d.updateWindow();
        make_active(window);
        QTest::keyClick(window, Qt::Key_F10);
        QMenuBar* bar = window->findChild<QMenuBar*>();
        QTRY_VERIFY(bar->actions().first()->menu()->isVisible());
        bar->actions().first()->menu()->close();

        QVERIFY(click(d.updateWindow()->updateButton()));
        QAccessibleInterface* sheet = tree(d.updateSheet());
        QTRY_VERIFY(d.updateSheet()->isVisible());
        QCOMPARE(sheet->role(), QAccessible::Dialog);
        QCOMPARE(tree(d.updateSheet()->progressIndicator())->role(), QAccessible::ProgressBar);
        QAccessibleInterface* cancel = tree(d.updateSheet()->cancelButton());
        QTRY_VERIFY(cancel->state().disabled == false);
        cancel->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!d.inUpdate());

        d.showAlert(QStringLiteral("Title"), QStringLiteral("Message"));
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

    // Each new phase reaches a screen reader as one announcement, whatever has
    // the focus; the same phase set again says nothing new.
    void phasesAreAnnouncedOnce() {
        if (!accessibility_events_t::available()) QSKIP("no accessibility bridge on this platform");
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        accessibility_events_t events;
        QVERIFY(click(d.updateWindow()->updateButton()));
        UpdateSheet* sheet = d.updateSheet();
        QTRY_COMPARE(sheet->title(), QStringLiteral("Connect your Ventaro"));
        QTRY_COMPARE(sheet->announcer()->text(), sheet->title() + u'\n' + sheet->subtitle());
        const int before = sheet->announcer()->announcements();
        d.updateRun().showPhase(QStringLiteral("Waiting for the Ventaro..."), QStringLiteral("Keep it connected."));
        d.updateRun().showPhase(QStringLiteral("Waiting for the Ventaro..."), QStringLiteral("Keep it connected."));
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
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        QCOMPARE(events.count(QAccessible::Announcement, sheet->announcer()), sheet->announcer()->announcements());
#else
        // Shown with the sheet, then once per announcement.
        QCOMPARE(events.count(QAccessible::ObjectShow, sheet->announcer()), sheet->announcer()->announcements() + 1);
#endif
        QVERIFY(click(sheet->cancelButton()));
    }

    // Thousands of progress steps reach assistive technologies as a few whole
    // per cents; the bar itself draws every step. A busy bar says busy.
    void progressReachesScreenReadersAtAPace() {
        if (!accessibility_events_t::available()) QSKIP("no accessibility bridge on this platform");
        UpdateSheet sheet;
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
        Application& d = launch();
        d.showFailureAlert(localized("Update failed"), QStringLiteral("What happened."), QStringLiteral("x"));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(alert);
        QCOMPARE(a11y->text(QAccessible::Name), QStringLiteral("Update failed"));
        QCOMPARE(a11y->text(QAccessible::Description), QStringLiteral("What happened."));
        QCOMPARE(alert->windowTitle(), QStringLiteral("Update failed"));
        QVERIFY(alert->width() >= alert->fontMetrics().horizontalAdvance(alert->windowTitle()) + 160);
        QVERIFY(over_window(alert, d.updateWindow()));
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        alert->done(0);
    }
};

QTEST_MAIN(AppAccessibilityTest)
#include "app_accessibility_test.moc"
