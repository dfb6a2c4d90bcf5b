// SPDX-License-Identifier: MIT
// The windows themselves: sizes and texts in both languages and at every scale, About, the icon, the log console.
#include "tests/app/app_fixture.hpp"

#include <QLibraryInfo>
#include <QTranslator>

using namespace zal;
using namespace zal::gui;
using namespace zal::gui::app_tests;

class AppWindowTest : public AppFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(set_up()); }
    void cleanup() { clean_up(); }

    // About shows the application itself; Qt's own box is an item of its own.
    void aboutShowsTheApplication() {
        Application& d = launch();
        QStringList items;
        for (QAction* a : d.updateWindow()->helpMenu()->actions()) items << a->text();
        QVERIFY2(items.contains(QStringLiteral("About Qt")), qPrintable(items.join(u'|')));
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text() + u'\n' + box->informativeText();
                box->done(0);
            }
        });
        d.updateWindow()->about();
        QVERIFY2(shown.contains(QStringLiteral("Version 1.0.0")) && shown.contains(QStringLiteral("MIT")),
                 qPrintable(shown));
    }

    // The content is 600 by 300 below the menu bar, and Update is as wide as its title needs.
    void windowContentAndButtonSizes() {
        Application& d = launch();
        QWidget* content = d.updateWindow()->centralWidget();
        d.updateWindow()->show();
        QTRY_COMPARE(content->size(), QSize(600, 300));
        QVERIFY(d.updateWindow()->updateButton()->width() >= d.updateWindow()->updateButton()->sizeHint().width());
        if (QWidget* panel = QApplication::activeModalWidget()) panel->close();
    }

    // Each language's texts and date, the engine's texts among them; German is
    // the tests' own catalogue, a third language added as one file.
    void textsAndDateInEachLanguage_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("update");
        QTest::addColumn<QString>("windowTitle");
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("help");
        QTest::newRow("en") << "en"
                            << "3/5/21"
                            << "Update"
                            << "Ventaro version 2.1.0"
                            << "Connect your Ventaro"
                            << "Need help? Click Help.";
        QTest::newRow("fr") << "fr"
                            << "05/03/2021"
                            << "Mettre à jour"
                            << "Ventaro version 2.1.0"
                            << "Branchez votre Ventaro"
                            << "Besoin d'aide ? Cliquez sur Aide.";
        QTest::newRow("de") << "de"
                            << "05.03.21"
                            << "Aktualisieren"
                            << "Ventaro Version 2.1.0"
                            << "Schließen Sie Ihren Ventaro an"
                            << "Hilfe nötig? Klicken Sie auf Hilfe.";
    }

    void textsAndDateInEachLanguage() {
        QFETCH(QString, language);
        QFETCH(QString, date);
        QVERIFY(has_catalogue(language));  // nothing but the catalogue says German exists
        use_language(language);
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false, false, ""));
        Application& d = launch();
        QCOMPARE(d.updateWindow()->secondaryTitle(), QStringLiteral("Version 2.1.0 (%1)").arg(date));
        QTEST(d.updateWindow()->updateButton()->text(), "update");
        QTEST(d.updateWindow()->windowTitle(), "windowTitle");
        // The package's notes are English and French; others read the English.
        QCOMPARE(d.updateWindow()->textView()->toPlainText(), QStringLiteral("Release notes\nSee this."));
        QVERIFY(click(d.updateWindow()->updateButton()));
        QFETCH(QString, connect);
        QTRY_COMPARE(d.updateSheet()->title(), connect);
        QTEST(d.updateSheet()->help(), "help");
        // Qt's own texts follow, as Qt's catalogue of that release words them
        // (Qt 6.8's French has a no-break space before a colon).
        QString lookIn = QStringLiteral("Look in:");
        if (language != QStringLiteral("en")) {
            QTranslator qt;
            QVERIFY(qt.load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
            lookIn = qt.translate("QFileDialog", "Look in:");
            QVERIFY(!lookIn.isEmpty() && lookIn != QStringLiteral("Look in:"));
        }
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), lookIn);
        QVERIFY(click(d.updateSheet()->cancelButton()));
        use_language(QStringLiteral("en"));
    }

    void aLanguageWithoutCatalogueIsEnglish() {
        QVERIFY(!has_catalogue(QStringLiteral("xx")));
        use_language(QStringLiteral("xx"));
        QCOMPARE(language(), QStringLiteral("en"));
        QCOMPARE(notes_language(), lang_t::en);
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
        use_language(language == int(lang_t::fr) ? QStringLiteral("fr") : QStringLiteral("en"));
        Application& d = launch();
        QWidget* window = d.updateWindow();
        QTest::qWait(20);
        QStringList cut = cut_texts(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'|')));
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        QVERIFY(d.openBundledPackage());
        QTest::qWait(20);
        cut = cut_texts(window);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'|')));
        // The sheet with its longest texts.
        QVERIFY(click(d.updateWindow()->updateButton()));
        UpdateSheet* sheet = d.updateSheet();
        QTRY_VERIFY(sheet->cancelButton()->isEnabled());
        d.updateRun().showPhase(
            gui::notes_language() == lang_t::fr ? QStringLiteral("Mise à jour des composants internes...")
                                                : QStringLiteral("Updating internal components..."),
            gui::notes_language() == lang_t::fr
                ? QStringLiteral("Toujours en attente. Vous pouvez patienter, ou annuler, éteindre puis "
                                 "rallumer l'appareil et relancer la mise à jour : elle ira jusqu'au "
                                 "bout.")
                : QStringLiteral("Still waiting. You can wait, or cancel, turn the device off and on "
                                 "again, and run the update again: it will finish the job."));
        d.updateRun().showProgress(0.5f);
        QTest::qWait(20);
        cut = cut_texts(sheet->window());
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'|')));
        QVERIFY(click(sheet->cancelButton()));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        alert->done(0);
        QApplication::setFont(original);
        use_language(QStringLiteral("en"));
    }

    void theApplicationHasItsIcon() {
        set_application_icon();
        const QIcon icon = QApplication::windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(64, 64)));
        QVERIFY(!icon.pixmap(64, 64).isNull());
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
};

QTEST_MAIN(AppWindowTest)
#include "app_window_test.moc"
