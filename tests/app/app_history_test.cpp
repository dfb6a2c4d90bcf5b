// SPDX-License-Identifier: MIT
// The update history from the window: Window > History, the support report
// offered after a failure, and the notice before going back to older firmware.
#include <QRegularExpression>

#include "tests/app/app_fixture.hpp"
#include "updater/history.hpp"
#include "updater/package_verdict.hpp"

using namespace zal;
using namespace zal::gui;
using namespace zal::gui::app_tests;

class AppHistoryTest : public AppFixture {
    Q_OBJECT

    // Each test records in a history of its own.
    std::unique_ptr<QTemporaryDir> state_;

    QString historyPath() const { return state_->filePath(QStringLiteral("ventaro-update/history.sqlite")); }

    void useLanguage(const QString& language) { use_language(language); }

    // A successful update of a Ventaro to `version`, recorded now; its time.
    int64_t installedOnThisComputer(const char* version) {
        updater::history_t history(historyPath().toStdString());
        updater::run_record_t installed;
        installed.program = "cli";
        installed.kind = "ventaro";
        installed.version = version;
        installed.release_date = "2026-12-01";
        const int64_t id = history.begin(installed);
        installed.ended_ms = QDateTime::currentMSecsSinceEpoch();
        installed.outcome = "success";
        history.update(id, installed, "");
        return *installed.ended_ms;
    }

    // One run from the window, to its alert.
    QPointer<QMessageBox> runOnce(Application& d, std::vector<devices::fault_t> faults = {}) {
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.faults = std::move(faults);
        plug(o);
        if (!click(d.updateWindow()->updateButton())) return nullptr;
        QPointer<QMessageBox> alert = wait_for_alert(60000);
        simulation->remove_all();
        return alert;
    }

private slots:
    void initTestCase() { QVERIFY(set_up()); }
    void init() {
        state_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", state_->path().toUtf8());
    }
    void cleanup() { clean_up(); }

    void theHistoryWindowShowsEachRunAndItsLog_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QString>("succeeded");
        QTest::addColumn<QString>("started");  // as the language writes a date and time
        QTest::newRow("en") << "en" << QStringList{"Date", "Device", "Version", "Result"} << "Succeeded"
                            << R"(^\d{1,2}/\d{1,2}/\d\d \d{1,2}:\d\d.[AP]M$)";
        QTest::newRow("fr") << "fr" << QStringList{"Date", "Appareil", "Version", "Résultat"} << "Réussie"
                            << R"(^\d\d/\d\d/\d{4} \d\d:\d\d$)";
    }

    void theHistoryWindowShowsEachRunAndItsLog() {
        QFETCH(QString, language);
        QFETCH(QStringList, headers);
        QFETCH(QString, succeeded);
        useLanguage(language);
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QPointer<QMessageBox> alert = runOnce(d);
        QVERIFY(alert);
        alert->done(0);
        alert = runOnce(d, {{devices::fault_t::type_t::no_answer, 3}});
        QVERIFY(alert);
        alert->done(0);
        QTRY_VERIFY(d.updateWindow()->updateButton()->isEnabled());

        // Window > History, from the keyboard.
        QAction* history = d.updateWindow()->windowMenu()->actions().value(0);
        QVERIFY(history);
        QCOMPARE(history->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
        history->trigger();
        HistoryWindow* window = d.historyWindow();
        QVERIFY(window);
        QTRY_VERIFY(window->isVisible());
        QTableWidget* table = window->table();
        QCOMPARE(table->rowCount(), 2);
        QStringList shown;
        for (int c = 0; c < table->columnCount(); ++c) shown << table->horizontalHeaderItem(c)->text();
        QCOMPARE(shown, headers);
        // Newest first: the failed run, in plain words.
        QCOMPARE(table->item(0, 1)->text(), language == "fr" ? "Ventaro (port USB 1-1)" : "Ventaro (USB port 1-1)");
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("2.1.0"));
        QFETCH(QString, started);
        QVERIFY2(QRegularExpression(started).match(table->item(0, 0)->text()).hasMatch(),
                 qPrintable(table->item(0, 0)->text()));
        const QString failed = table->item(0, 3)->text();
        QCOMPARE(failed, engine_text("Failed: %1").arg(engine_text(failure_sentence(failure_kind_t::silent))));
        QVERIFY(failed.startsWith(language == "fr" ? "Échouée : " : "Failed: "));
        QCOMPARE(table->item(1, 3)->text(), succeeded);
        QVERIFY(window->logView()->toPlainText().contains("Error on roundtrip #3"));

        // The keyboard moves from run to run, and the log follows.
        QTRY_COMPARE(window->focusWidget(), table);  // the window manager gives the window the keyboard
        QTest::keyClick(table, Qt::Key_Down);
        QCOMPARE(table->currentRow(), 1);
        QVERIFY(!window->logView()->toPlainText().contains("Error on roundtrip"));
        QVERIFY(window->logView()->toPlainText().contains("[1-1 Ventaro] Will execute"));
        // What a screen reader is told: the table's name, its headers and cells.
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(table);
        QVERIFY(reader);
        QCOMPARE(reader->text(QAccessible::Name),
                 language == "fr" ? "Mises à jour faites sur cet ordinateur" : "Updates made on this computer");
        QAccessibleTableInterface* cells = reader->tableInterface();
        QVERIFY(cells);
        QCOMPARE(cells->rowCount(), 2);
        QCOMPARE(cells->cellAt(1, 3)->text(QAccessible::Name), succeeded);
        QCOMPARE(cells->columnDescription(3), headers.at(3));
        QCOMPARE(QAccessible::queryAccessibleInterface(window->logView())->text(QAccessible::Name),
                 language == "fr" ? "Journal de la mise à jour choisie" : "Log of the selected update");
        QVERIFY(window->logView()->isReadOnly());
        window->close();
    }

    // Texts recorded from a package and a device (its version, its port, the
    // engine's words) never reach a widget, tool tip or item as markup: an
    // image of /dev/zero would take every byte of memory on hover.
    void outsideTextsStayPlainInEveryWindow() {
        const std::string hostile = "<img src=\"/dev/zero\"><font size=7 color=red>Succeeded</font>";
        {
            updater::history_t history(historyPath().toStdString());
            updater::run_record_t run;
            run.program = "cli";
            run.kind = "ventaro";
            run.usb_port = hostile;
            run.version = hostile;
            const int64_t id = history.begin(run);
            run.ended_ms = QDateTime::currentMSecsSinceEpoch();
            run.outcome = "failure";
            run.message = hostile;
            history.update(id, run, hostile + "\n");
        }
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        d.updateWindow()->windowMenu()->actions().value(0)->trigger();
        QTRY_VERIFY(d.historyWindow() && d.historyWindow()->isVisible());
        const auto raw = [](const QString& text) { return text.contains("<img") || text.contains("<font"); };
        for (QWidget* widget : QApplication::allWidgets()) {
            QVERIFY2(!raw(widget->toolTip()), qPrintable(widget->objectName()));
            if (auto* label = qobject_cast<QLabel*>(widget); label && raw(label->text()))
                QCOMPARE(label->textFormat(), Qt::PlainText);
            if (auto* table = qobject_cast<QTableWidget*>(widget))
                for (int row = 0; row < table->rowCount(); ++row)
                    for (int column = 0; column < table->columnCount(); ++column)
                        QVERIFY2(!raw(table->item(row, column)->toolTip()),
                                 qPrintable(table->item(row, column)->toolTip()));
        }
        QVERIFY(d.historyWindow()->table()->item(0, 2)->text().contains("<img"));  // shown, as text
        d.historyWindow()->close();
    }

    void theDemoRecordsNothingUnlessAsked() {
        recordsHistory = false;
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QPointer<QMessageBox> alert = runOnce(d);
        QVERIFY(alert);
        alert->done(0);
        QVERIFY(d.history().runs({})->empty());
    }

    void aFailureOffersASupportReport() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        const QPointer<QMessageBox> alert = runOnce(d, {{devices::fault_t::type_t::no_answer, 3}});
        QVERIFY(alert);
        QVERIFY(button_titled(alert, "Troubleshooting"));
        QVERIFY(click(button_titled(alert, "Save Support Report…")));
        QFileDialog* panel = nullptr;
        auto shownPanel = [&panel] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if ((panel = qobject_cast<QFileDialog*>(w)) && panel->isVisible()) return true;
            return false;
        };
        QTRY_VERIFY(shownPanel());
        QVERIFY(panel->selectedFiles().value(0).endsWith("ventaro-update-report.txt"));
        const QString path = state_->filePath("report.txt");
        panel->selectFile(path);
        QMetaObject::invokeMethod(panel, "accept");
        QFile report(path);
        QTRY_VERIFY(report.exists());
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(report.readAll());
        for (const char* section :
             {"Ventaro updater support report", "\nSystem\n", "\nDevices\n", "\nSession\n", "\nTrusted keys\n",
              "Inhibitor: desktop portal: ", "Qt: ", "Error on roundtrip #3", "ventaro-update 1.0.0"})
            QVERIFY2(text.contains(QString::fromUtf8(section)), section);
        QVERIFY(!text.contains(QDir::homePath() + "/"));
        // Where it went is said, and its folder offered.
        QMessageBox* saved = wait_for_alert_after(alert);
        QVERIFY(saved && saved->informativeText() == "It is in " + QDir::toNativeSeparators(path) + ".");
        QVERIFY(button_titled(saved, "Show in Folder"));
    }

    // With signatures required, an administrator may refuse going back.
    void anAdministratorMayRefuseOlderFirmware() {
        installedOnThisComputer("9.0.0");
        QFile key(QStringLiteral(ZAL_TEST_KEY_DIR "/ventaro-test.pub"));
        QVERIFY(key.open(QIODevice::ReadOnly));
        trust = trust_t{{*parse_public_key(key.readAll().toStdString())}, true, true};
        QTemporaryDir dir;
        const QString path = write_package(dir, "signed.zalmirupdate", package_bytes(true, false));
        QCOMPARE(QProcess::execute(QStringLiteral(ZAL_SIGN_TOOL),
                                   {QStringLiteral(ZAL_TEST_KEY_DIR "/ventaro-test.key"), path, QStringLiteral("Z")}),
                 0);
        Application& d = launch();
        QVERIFY(d.openPackage(QUrl::fromLocalFile(path)));
        plug(options_for(d.update(), kind_t::ventaro, true));
        QVERIFY(click(d.updateWindow()->updateButton()));
        QMessageBox* alert = wait_for_alert(5000);
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Older firmware is refused on this computer."));
        QVERIFY(alert->informativeText().startsWith("This package is older than the firmware installed on "));
        QVERIFY(!d.inUpdate());
        QVERIFY(d.history().runs({})->size() == 1);  // no run began
    }

    // Every window in French says nothing in English: none of the words any
    // of its English sentences would have shows in its titles, labels,
    // buttons, menus or table. The notes and the log are the package's and
    // the support person's.
    void everyWindowIsFrenchInFrench() {
        useLanguage(QStringLiteral("fr"));
        installedOnThisComputer("9.0.0");  // the older-firmware notice shows
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QTRY_VERIFY(d.updateWindow()->noticeLabel()->isVisible());
        const QRegularExpression english(
            // A word, not a part of a path or a program's name.
            R"((?<![\w/.-])(the|your|is|are|was|and|not|no|of|to|with|cannot|update|help|about|quit|history|failed|succeeded)(?![\w/.-]))",
            QRegularExpression::CaseInsensitiveOption);
        auto check = [&](const char* window, QWidget* root) {
            QVERIFY2(root, window);
            QStringList texts{root->windowTitle()};
            for (const QLabel* label : root->findChildren<QLabel*>()) texts << label->text();
            for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) texts << button->text();
            for (const QAction* action : root->findChildren<QAction*>()) texts << action->text();
            for (const QTableWidget* table : root->findChildren<QTableWidget*>())
                for (int row = -1; row < table->rowCount(); ++row)
                    for (int column = 0; column < table->columnCount(); ++column)
                        texts << (row < 0 ? table->horizontalHeaderItem(column) : table->item(row, column))->text();
            for (const QString& text : texts) {
                const QRegularExpressionMatch found = english.match(text);
                QVERIFY2(
                    !found.hasMatch(),
                    qPrintable(
                        QStringLiteral("%1: \"%2\" in \"%3\"").arg(QLatin1String(window), found.captured(), text)));
            }
        };
        check("update window", d.updateWindow());
        QPointer<QMessageBox> alert = runOnce(d, {{devices::fault_t::type_t::no_answer, 3}});
        check("failure alert", alert);
        check("progress sheet", d.updateSheet());
        alert->done(0);
        d.updateWindow()->windowMenu()->actions().value(0)->trigger();
        QTRY_VERIFY(d.historyWindow() && d.historyWindow()->isVisible());
        check("history", d.historyWindow());
        check("log console", LogWindow::logWindow());
    }

    // Named with its device, then asked about, Cancel being the default.
    void anOlderPackageIsAskedAboutBeforeUpdate_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("question");
        QTest::newRow("en") << "en"
                            << "This package is older than the firmware installed on your Ventaro on %1 (9.0.0)."
                            << "Install this firmware all the same?";
        QTest::newRow("fr") << "fr"
                            << "Ce paquet est plus ancien que le firmware installé sur votre Ventaro le %1 (9.0.0)."
                            << "Installer ce firmware malgré tout ?";
    }

    void anOlderPackageIsAskedAboutBeforeUpdate() {
        QFETCH(QString, language);
        QFETCH(QString, notice);
        QFETCH(QString, question);
        useLanguage(language);
        const int64_t installedAt = installedOnThisComputer("9.0.0");

        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QLabel* label = d.updateWindow()->noticeLabel();
        QTRY_VERIFY(label->isVisible());
        const QString day =
            QLocale(language).toString(QDateTime::fromMSecsSinceEpoch(installedAt).date(), QLocale::ShortFormat);
        QCOMPARE(label->text(), notice.arg(day));
        QCOMPARE(label->accessibleName(), label->text());
        QVERIFY(cut_texts(d.updateWindow()).isEmpty());
        for (const bool anyway : {false, true}) {  // Return takes the default, Cancel
            QVERIFY(click(d.updateWindow()->updateButton()));
            QMessageBox* asked = wait_for_alert(5000);
            QVERIFY(asked && asked->text() == question && asked->informativeText() == label->text());
            QCOMPARE(asked->defaultButton(), asked->escapeButton());
            anyway ? (void)click(asked->buttons().first()) : QTest::keyClick(asked, Qt::Key_Return);
            QTRY_COMPARE(d.inUpdate(), anyway);
        }
    }
};

QTEST_MAIN(AppHistoryTest)
#include "app_history_test.moc"
