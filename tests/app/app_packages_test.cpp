// SPDX-License-Identifier: MIT
// Reading packages: the bundled one, the open panel, invalid and signed packages, and release notes.
#include "tests/app/app_fixture.hpp"

#include "app/single_instance.hpp"

#include <QTextBlock>

#include <atomic>
#include <thread>

#include "devices/flash_model.hpp"

using namespace zal;
using namespace zal::gui;
using namespace zal::gui::app_tests;

class AppPackagesTest : public AppFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(set_up()); }
    void cleanup() { clean_up(); }

    // Long notes are rendered on a worker: reading the package returns at once,
    // the notes follow, and a package read meanwhile wins over them.
    void longNotesArriveWithoutHoldingTheWindow() {
        std::string notes;
        while (notes.size() <= Application::large_notes) notes += "- item with **bold** and `code`\n";
        write_package(bundle, "a.zalmirupdate", package_with_notes(notes));
        Application& d = launch();
        QVERIFY(d.updateWindow()->updateButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(
            d.updateWindow()->textView()->toPlainText().startsWith(QStringLiteral("\u2022\titem with bold")), 20000);
        // They reach the view in slices, and all of them.
        QTRY_COMPARE_WITH_TIMEOUT(d.updateWindow()->textView()->toPlainText().size(),
                                  d.updateWindow()->details().length(), 20000);

        QTemporaryDir other;
        const QString small = write_package(other, "b.zalmirupdate", package_bytes(true, false));
        const QString large = write_package(other, "c.zalmirupdate", package_with_notes(notes));
        QVERIFY(d.openPackage(QUrl::fromLocalFile(large)));
        QVERIFY(d.openPackage(QUrl::fromLocalFile(small)));
        // Once the large notes are rendered, their hand-over is queued: run it.
        QTRY_VERIFY_WITH_TIMEOUT(main_queue::background_tasks() == 0, 20000);
        QTest::qWait(50);
        QCOMPARE(d.updateWindow()->textView()->toPlainText(), QStringLiteral("Release notes\nSee this."));
    }

    // Notes of a megabyte shaped to make Qt's layout slow: cut at 256 KiB with
    // a word that says so, in paragraphs and words short enough to lay out
    // at once (time is measured in bench/notes_bench, not here).
    void hostileNotesAreCutAndBroken_data() {
        QTest::addColumn<QByteArray>("unit");
        for (const char* unit : {"x", "`", "[", "*", "_", "# ", "https://ventaro.example/"})
            QTest::newRow(unit) << QByteArray(unit);
    }

    void hostileNotesAreCutAndBroken() {
        QFETCH(QByteArray, unit);
        std::string notes;
        while (notes.size() + std::size_t(unit.size()) < (1u << 20)) notes += unit.toStdString();
        write_package(bundle, "a.zalmirupdate", package_with_notes(notes));
        Application& d = launch();
        QTextDocument* document = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((document = d.updateWindow()->textView()->document())
                                     ->lastBlock()
                                     .text()
                                     .contains(u"the rest is not shown"),
                                 30000);
        QVERIFY(document->characterCount() < int(Application::most_notes_shown) * 11 / 10);
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            QVERIFY2(block.length() <= 2 * 1024 + 2, qPrintable(QString::number(block.length())));
            qsizetype word = 0;
            for (const QChar c : block.text()) {
                word = c.isSpace() || c == QChar(0x200B) ? 0 : word + 1;
                QVERIFY(word <= 200);
            }
        }
    }

    void startupLoadsTheBundledPackage() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QCOMPARE(d.updateWindow()->title(), QStringLiteral("Ventaro"));
        QCOMPARE(d.updateWindow()->secondaryTitle(), QStringLiteral("Version 2.1.0 (3/5/21)"));
        QCOMPARE(d.updateWindow()->windowTitle(), QStringLiteral("Ventaro version 2.1.0"));
        QVERIFY(d.updateWindow()->windowFilePath().endsWith("a.zalmirupdate"));
        QCOMPARE(d.updateWindow()->textView()->toPlainText(), QStringLiteral("Release notes\nSee this."));
        QVERIFY(d.updateWindow()->updateButton()->isEnabled());
        QCOMPARE(d.updateWindow()->menuBar()->actions().size(), 4);  // File, Edit, Window, Help
        QCOMPARE(d.updateWindow()->updateAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QCOMPARE(d.updateWindow()->openAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(d.updateWindow()->fileMenu()->actions().at(2), d.updateWindow()->checkAction());
        QCOMPARE(d.updateWindow()->fileMenu()->actions().at(3)->isSeparator(), true);

        // Return clicks "Update".
        make_active(d.updateWindow());
        QVERIFY(QTest::qWaitForWindowActive(d.updateWindow()));
        QTest::keyClick(d.updateWindow(), Qt::Key_Return);
        QVERIFY(d.inUpdate());
        QVERIFY(click(d.updateSheet()->cancelButton()));
    }

    // Without a bundle the window says what a package is; Open shows the panel.
    void withoutBundleOpenShowsThePanel() {
        LogWindow::logWindow();
        const int before = LogWindow::logWindow()->text().count("Bundled update not found.");
        Application& d = launch();
        QTRY_VERIFY(LogWindow::logWindow()->text().count("Bundled update not found.") > before);
        QVERIFY(!QApplication::activeModalWidget());
        // The window's focus child: a compositor may activate the window later.
        QCOMPARE(d.updateWindow()->focusWidget(), d.updateWindow()->openButton());
        QVERIFY(click(d.updateWindow()->openButton()));
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
        QPointer<QFileDialog> closing(panel);
        QString said;
        QTimer answer;  // the user, answering the alert
        connect(&answer, &QTimer::timeout, this, [&said] {
            if (QMessageBox* alert = visible_alert()) {
                said = alert->informativeText();
                alert->done(0);
            }
        });
        answer.start(20);
        QMetaObject::invokeMethod(panel, "accept");
        QTRY_VERIFY(!said.isEmpty());
        QVERIFY2(said.startsWith(QDir::toNativeSeparators(typed.fileName())), qPrintable(said));
        QTRY_VERIFY(!closing);  // the panel deleted itself, after accept() returned
    }

    // With nothing loaded, Update (button, menu, Return) does nothing: a run
    // would reboot the device and then fail for want of firmware.
    void updateNeedsAPackage() {
        Application& d = launch();
        QTest::qWait(50);
        QVERIFY(!d.updateWindow()->updateButton()->isEnabled());
        QVERIFY(!d.updateWindow()->updateAction()->isEnabled());
        d.runUpdate();
        QVERIFY(!d.inUpdate());
        d.showAlert(QStringLiteral("t"), QStringLiteral("m"));  // any alert ends by enabling controls
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        alert->done(0);
        QTest::qWait(50);
        QVERIFY(!d.updateWindow()->updateButton()->isEnabled());
    }

    // Edit > Delete removes a selection, and never text the user cannot edit.
    void deleteLeavesTheReleaseNotesAlone() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QTextBrowser* notes = d.updateWindow()->textView();
        const QString before = notes->toPlainText();
        QVERIFY(!before.isEmpty());
        notes->setFocus();
        notes->selectAll();
        make_active(d.updateWindow());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(notes));
        QAction* remove = nullptr;
        for (QAction* a : d.updateWindow()->editMenu()->actions())
            if (a->text() == QStringLiteral("Delete")) remove = a;
        QVERIFY(remove);
        remove->trigger();
        QCOMPARE(notes->toPlainText(), before);
    }

    void invalidPackagesKeepThePreviousOne() {
        write_package(bundle, "a.zalmirupdate", {'n', 'o', 't'});
        Application& d = launch();
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Unable to read the contents of the update"));
        QCOMPARE(alert->detailedText(), QStringLiteral("Could not unzip the data."));
        alert->done(0);

        QTemporaryDir other;
        d.openPackage(QUrl::fromLocalFile(write_package(other, "good.zalmirupdate", package_bytes(true, true))));
        QCOMPARE(d.updateWindow()->title(), QStringLiteral("Ventaro"));
        QVERIFY(!d.openPackage(QUrl::fromLocalFile(
            write_package(other, "bad.zalmirupdate", tools::make_zip({{"info.txt", "[general]\nproduct=X\n"}})))));
        QCOMPARE(wait_for_alert()->detailedText(), QStringLiteral("No version info found."));
        QCOMPARE(d.updateWindow()->title(), QStringLiteral("Ventaro"));
        QVERIFY(d.updateWindow()->windowFilePath().endsWith("good.zalmirupdate"));
        QVERIFY(d.update().ruvo.has_value());
    }

    void openRequestsBeforeLaunchAndDuringARun() {
        write_package(bundle, "bundled.zalmirupdate", package_bytes(true, false));
        QTemporaryDir other;
        const QString first = write_package(other, "first.zalmirupdate", package_bytes(true, false));
        const QString last = write_package(other, "last.zalmirupdate", package_bytes(false, true));
        Application& d = launch({first, last});
        QVERIFY(d.updateWindow()->windowFilePath().endsWith("last.zalmirupdate"));
        QVERIFY(!d.update().ventaro && d.update().ruvo);

        QVERIFY(click(d.updateWindow()->updateButton()));
        QVERIFY(d.inUpdate());
        QVERIFY(!d.openFile(first));
        QVERIFY(d.updateWindow()->windowFilePath().endsWith("last.zalmirupdate"));
        QVERIFY(!d.updateWindow()->updateAction()->isEnabled());
        QVERIFY(!d.updateWindow()->openAction()->isEnabled());
        QVERIFY(!d.updateWindow()->updateButton()->isEnabled());
        QVERIFY(click(d.updateSheet()->cancelButton()));
        QVERIFY(!d.inUpdate());
        QVERIFY(d.updateWindow()->updateAction()->isEnabled());
        QVERIFY(d.updateWindow()->openAction()->isEnabled());
    }

    // Without a package the window says what to do, in the user's language,
    // and its button opens the panel.
    void withoutAPackageTheWindowSaysWhatToDo_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("source");  // where a package comes from
        QTest::newRow("en") << int(lang_t::en) << "the maker's web site";
        QTest::newRow("fr") << int(lang_t::fr) << "le site web du fabricant";
    }

    void withoutAPackageTheWindowSaysWhatToDo() {
        QFETCH(int, language);
        use_language(language == int(lang_t::fr) ? QStringLiteral("fr") : QStringLiteral("en"));
        Application& d = launch();
        QVERIFY(!d.updateWindow()->hasPackage());
        QVERIFY(d.updateWindow()->noPackagePage()->isVisibleTo(d.updateWindow()));
        QCOMPARE(d.updateWindow()->openButton()->text(), language == int(lang_t::fr)
                                                             ? QStringLiteral("Ouvrir une mise à jour…")
                                                             : QStringLiteral("Open Update Package…"));
        QLabel* hint = d.updateWindow()->noPackagePage()->findChild<QLabel*>();
        QCOMPARE(hint->text(), localized("ZALNoPackageHint"));
        QVERIFY(hint->text().startsWith(language == int(lang_t::fr) ? u"Aucune" : u"No update"));
        QFETCH(QString, source);
        QVERIFY(hint->text().contains(source) && hint->text().contains(u".zalmirupdate"));
        QVERIFY(!d.updateWindow()->updateButton()->isVisibleTo(d.updateWindow()));  // nothing to update yet
        QVERIFY(click(d.updateWindow()->openButton()));
        QTRY_VERIFY(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()));
        QApplication::activeModalWidget()->close();
        d.openPackage(QUrl::fromLocalFile(write_package(bundle, "b.zalmirupdate", package_bytes(true, false))));
        QVERIFY(d.updateWindow()->hasPackage());
        QVERIFY(d.updateWindow()->updateButton()->isVisibleTo(d.updateWindow()));
        use_language(QStringLiteral("en"));
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
        use_language(language == int(lang_t::fr) ? QStringLiteral("fr") : QStringLiteral("en"));
        const bool fr = language == int(lang_t::fr);
        QFile key(QStringLiteral(ZAL_TEST_KEY_DIR "/ventaro-test.pub"));
        QVERIFY(key.open(QIODevice::ReadOnly));
        trust = trust_t{{*parse_public_key(key.readAll().toStdString())}, false};
        QTemporaryDir dir;
        const QString signed_path = write_package(dir, "signed.zalmirupdate", package_bytes(true, false));
        QCOMPARE(QProcess::execute(QStringLiteral(ZAL_SIGN_TOOL), {QStringLiteral(ZAL_TEST_KEY_DIR "/ventaro-test.key"),
                                                                   signed_path, QStringLiteral("Zalmir Instruments")}),
                 0);
        Application& d = launch();

        QVERIFY(d.openPackage(QUrl::fromLocalFile(signed_path)));
        QVERIFY(d.updateWindow()->signatureLabel()->text().startsWith(
            fr ? QStringLiteral("Signé par Zalmir Instruments (clé ")
               : QStringLiteral("Signed by Zalmir Instruments (key ")));
        QCOMPARE(QAccessible::queryAccessibleInterface(d.updateWindow()->signatureIcon())->text(QAccessible::Name),
                 fr ? QStringLiteral("Signé") : QStringLiteral("Signed"));
        QVERIFY(d.updateWindow()->signatureLabel()->isVisibleTo(d.updateWindow()));

        QVERIFY(
            d.openPackage(QUrl::fromLocalFile(write_package(dir, "unsigned.zalmirupdate", package_bytes(true, true)))));
        QCOMPARE(d.updateWindow()->signatureLabel()->text(),
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
        QVERIFY(!d.openPackage(QUrl::fromLocalFile(dir.filePath(QStringLiteral("changed.zalmirupdate")))));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(
            alert->informativeText(),
            engine_text("This package was changed after it was signed. Download it again from the maker's web site."));
        QVERIFY(alert->informativeText().startsWith(fr ? u"Ce paquet a été modifié" : u"This package was changed"));
        QVERIFY(alert->detailedText().contains(QStringLiteral("notes-en.txt")));
        alert->done(0);
        QVERIFY(d.update().ruvo.has_value());  // still the unsigned package read before
        // The console reads standard error on a thread of its own.
        QTRY_VERIFY(LogWindow::logWindow()->text().contains(QStringLiteral("was changed after it was signed")));

        // Only signed packages, by the administrator's choice.
        trust.require_signature = true;
        d.setTrust(trust);
        QVERIFY(!d.openPackage(
            QUrl::fromLocalFile(write_package(dir, "unsigned2.zalmirupdate", package_bytes(true, false)))));
        alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->informativeText(),
                 engine_text(
                     "This package is not signed by a trusted key, and this computer accepts only signed packages."));
        alert->done(0);
        QVERIFY(d.openPackage(QUrl::fromLocalFile(signed_path)));
        use_language(QStringLiteral("en"));
    }

    // Another process floods the single-instance socket with 20,000 hand-overs
    // of packages that cannot be read: one alert at a time, never one inside
    // another's loop, and only the newest path waits while one is shown.
    void aFloodOfHandOversOpensOneAlertAtATime() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        SingleInstance first(QStringLiteral("ventaro-update-flood-%1").arg(QCoreApplication::applicationPid()));
        QVERIFY(first.claim({}));
        take_later_launches(first, d);
        int most = 0, shown = 0;
        QTimer closer;  // the user, answering each alert: runs inside an alert's own loop too
        connect(&closer, &QTimer::timeout, this, [&most, &shown] {
            int visible = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++visible;
            most = std::max(most, visible);
            if (QMessageBox* box = visible_alert()) {
                ++shown;
                box->done(0);
            }
        });
        closer.start(20);
        QProcess flood;
        flood.start(QStringLiteral("python3"), {QStringLiteral(ZAL_FLOOD_SCRIPT), first.socketPath()});
        QVERIFY(flood.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(flood.state() == QProcess::NotRunning && shown > 0, 60000);
        QCOMPARE(flood.exitCode(), 0);
        QTest::qWait(500);  // the newest path, opened once the first alert is gone
        QCOMPARE(most, 1);
        QVERIFY2(shown <= 3, qPrintable(QString::number(shown)));
        QVERIFY(d.updateWindow()->isVisible());
    }

    // A run goes on untouched beside what another program can do meanwhile:
    // a 42-byte archive and notes of a megabyte handed over, a flood on the
    // socket. It ends as without them, the main image's sectors exact.
    void aRunGoesOnBesideHostileLaunches() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        const QString name = QStringLiteral("ventaro-update-beside-%1").arg(QCoreApplication::applicationPid());
        SingleInstance first(name);
        QVERIFY(first.claim({}));
        take_later_launches(first, d);
        devices::simulated_device_t& device = plug(options_for(d.update(), kind_t::ventaro));
        QVERIFY(click(d.updateWindow()->updateButton()));
        QTRY_VERIFY(d.inUpdate());

        QTemporaryDir other;
        QFile tiny(other.filePath(QStringLiteral("tiny.zalmirupdate")));
        QVERIFY(tiny.open(QIODevice::WriteOnly));
        tiny.write(QByteArray::fromHex("504b06070000000000000000000000400100000050"
                                       "4b0506000000000000ffffffffffffffffffff0000")
                       .left(42));
        tiny.close();
        const QString notes = write_package(other, QStringLiteral("notes.zalmirupdate"),
                                            package_with_notes(std::string((1u << 20) - 1, '`')));
        for (const QString& path : {tiny.fileName(), notes}) {
            std::atomic<SingleInstance::handover_t> result{SingleInstance::handover_t::none};
            std::thread later([&] {
                SingleInstance instance(name);
                if (!instance.claim(path)) result = instance.handover();
            });
            QTRY_VERIFY_WITH_TIMEOUT(result != SingleInstance::handover_t::none, 10000);
            later.join();
            QCOMPARE(result.load(), SingleInstance::handover_t::refused);  // it is updating a device
        }
        QProcess flood;
        flood.start(QStringLiteral("python3"), {QStringLiteral(ZAL_FLOOD_SCRIPT), first.socketPath()});
        QVERIFY(flood.waitForStarted());

        QMessageBox* done = wait_for_alert(60000);
        QVERIFY(done);
        QCOMPARE(done->text(), QStringLiteral("Update successful"));
        QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QProcess::NotRunning, 30000);
        QVERIFY(device.flash() == devices::expected_flash(device.flash(), d.update().ventaro->main));
        done->done(0);
    }

    // Texts from files are plain text: a file name written as markup shows as
    // written and opens nothing; a mail link in the notes reaches the mail
    // program with its address and subject only.
    void textsFromFilesAreShownAsPlainText() {
        write_package(bundle, "a.zalmirupdate",
                      package_with_notes("[mail us](mailto:help@ventaro.example?subject=Hi&attach=/etc/passwd)"));
        Application& d = launch();
        const recording_xdg_open_t xdg_open;
        const QString record = xdg_open.record();

        QTemporaryDir folder;
        const QString name = folder.filePath(
            QStringLiteral("<a href=\"mailto:x@evil.example\"><font size=7>Download the fixed update.zalmirupdate"));
        QFile large(name);
        QVERIFY(large.open(QIODevice::WriteOnly) && large.resize(qint64(max_package_size) + 1));
        large.close();
        QStringList shown;
        bool plain = true;
        QVERIFY(!d.openPackage(QUrl::fromLocalFile(name)));
        QMessageBox* box = wait_for_alert(10000);
        QVERIFY(box);
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text().isEmpty()) continue;
            shown << label->text();
            plain = plain && label->textFormat() == Qt::PlainText && !label->openExternalLinks();
            QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, label->height() / 2));
        }
        box->done(0);
        QVERIFY(plain);
        QVERIFY2(shown.join(u'\n').contains(QStringLiteral("<font size=7>Download the fixed update")),
                 qPrintable(shown.join(u'\n')));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(record));

        QTextBrowser* notes = d.updateWindow()->textView();
        QString href;
        for (QTextBlock b = notes->document()->begin(); b.isValid() && href.isEmpty(); b = b.next())
            for (auto f = b.begin(); !f.atEnd(); ++f)
                if (f.fragment().charFormat().isAnchor()) href = f.fragment().charFormat().anchorHref();
        QVERIFY(!href.isEmpty());
        emit notes->anchorClicked(QUrl(href));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 5000);
        QTest::qWait(200);
        QCOMPARE(xdg_open.opened(), QByteArray("mailto:help@ventaro.example?subject=Hi\n"));
    }
};

QTEST_MAIN(AppPackagesTest)
#include "app_packages_test.moc"
