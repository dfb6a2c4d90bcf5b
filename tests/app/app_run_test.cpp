// SPDX-License-Identifier: MIT
// Runs from the window: cancels, failures, the kind question, the counterpart offer, quitting by a signal, the progress
// bar.
#include "tests/app/app_fixture.hpp"

using namespace zal;
using namespace zal::gui;
using namespace zal::gui::app_tests;

class AppRunTest : public AppFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(set_up()); }
    void cleanup() { clean_up(); }

    void cancelBeforeProgressShowsNoAlert() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        QVERIFY(click(d.updateWindow()->updateButton()));
        QVERIFY(d.updateSheet()->isVisible());
        QTRY_COMPARE(d.updateSheet()->title(), QStringLiteral("Connect your Ventaro"));
        QVERIFY(d.updateSheet()->indeterminate());
        QVERIFY(click(d.updateSheet()->cancelButton()));
        QVERIFY(!d.updateSheet()->isVisible());
        QTest::qWait(300);
        QVERIFY(!visible_alert());
        QVERIFY(d.updateWindow()->updateButton()->isEnabled());
    }

    void cancelAfterProgressWarns() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false, true));
        Application& d = launch();
        // The stage-2 firmware falls silent after its first report: the run waits there.
        auto o = options_for(d.update(), kind_t::ventaro);
        o.faults = {{devices::fault_t::type_t::stage2_stall}};
        plug(o);
        QVERIFY(click(d.updateWindow()->updateButton()));
        QTRY_VERIFY_WITH_TIMEOUT(
            d.updateSheet()->title() == "Updating internal components..." && d.updateSheet()->progress() >= 0.2, 20000);
        QVERIFY(click(d.updateSheet()->cancelButton()));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Update canceled"));
        QCOMPARE(alert->informativeText(), localized("ZALUpdateCancelMessage"));
    }

    void failedRunShowsItsDetails() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.faults = {{devices::fault_t::type_t::wrong_answer, 1}};
        plug(o);
        QVERIFY(click(d.updateWindow()->updateButton()));
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), QStringLiteral("Update failed"));
        QCOMPARE(alert->detailedText(), QStringLiteral("Wrong response in HID report."));
        QVERIFY(!d.updateWindow()->updateButton()->isEnabled());  // while the alert shows
        QVERIFY(click(alert->buttons().first()));
        QTRY_VERIFY(d.updateWindow()->updateButton()->isEnabled());
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
        Application& d = launch();
        const auto sequence = updater::hid::make_programming_sequence(make_update_plan(d.update().ventaro->main));
        const auto erase =
            std::find_if(sequence.begin(), sequence.end(), [](auto& r) { return r.leaves_sector0_erased; });
        QVERIFY(erase != sequence.end());
        devices::simulated_device_t& device = plug(options_for(d.update(), kind_t::ventaro, true));
        device.pause_at_roundtrip(uint64_t(erase - sequence.begin()) + 1);  // erased, not yet written again
        QVERIFY(click(d.updateWindow()->updateButton()));
        QTRY_VERIFY_WITH_TIMEOUT(device.paused(), 30000);

        quitSignal = 0;
        std::raise(signal);
        QTRY_COMPARE(quitSignal, signal);
        d.quitWithoutAsking();  // what the application's handler does: nobody is there to answer
        QVERIFY(!visible_alert() && !d.updateWindow()->isVisible());
        // What the application does once its loop has ended.
        async_main([&device] { device.resume(); }, 200);
        d.updateRun().engine().shut_down();
        QVERIFY(!d.inUpdate() || !d.updateRun().engine().running());
        const std::vector<uint8_t> flash = device.flash();
        QVERIFY2(devices::flash_model_t(flash).reset_start() != devices::flash_model_t::start_t::nothing,
                 "sector 0 was left erased");
        QVERIFY2(device.roundtrips() < sequence.size(), "the update was cancelled, not finished");
    }

    void wholeUpdateWithTheCounterpart() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true, true));
        Application& d = launch();
        plug(options_for(d.update(), kind_t::ventaro));
        QVERIFY(click(d.updateWindow()->updateButton()));
        const QPointer<QMessageBox> offer = wait_for_alert(60000);
        QVERIFY(offer);
        QVERIFY2(offer->text() == QStringLiteral("Update successful"), qPrintable(offer->informativeText()));
        QCOMPARE(offer->informativeText(), localized("ZALUpdateSuccessMessageWithCounterpart").arg("Ruvo"));
        QVERIFY(button_titled(offer, "Update my Ruvo"));
        QCOMPARE(offer->escapeButton(), button_titled(offer, "End"));
        plug(options_for(d.update(), kind_t::ruvo));
        QVERIFY(click(button_titled(offer, "Update my Ruvo")));
        QTRY_VERIFY(d.inUpdate());
        QCOMPARE(d.lastCounterpartUpdated(), kind_t::ventaro);
        QMessageBox* done = wait_for_alert_after(offer, 60000);
        QVERIFY(done);
        QCOMPARE(done->text(), QStringLiteral("Update successful"));
        QCOMPARE(done->informativeText(), localized("ZALUpdateSuccessMessageBoth"));
        QCOMPARE(d.lastCounterpartUpdated(), kind_t::any);
    }

    void kindQuestionAnswered() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true));
        Application& d = launch();
        auto o = options_for(d.update(), kind_t::ruvo, true);
        o.first_generation_bootloader = true;
        plug(o);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (QMessageBox* box = visible_alert(); box && box->text() == localized("ZALIsThisVentaroTitle"))
                button_titled(box, "Ruvo")->click();
        });
        answer.start(20);
        QVERIFY(click(d.updateWindow()->updateButton()));
        // The question does not hold the run: the next alert is the offer.
        QMessageBox* offer = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (offer = visible_alert()) != nullptr && offer->text() != localized("ZALIsThisVentaroTitle"), 60000);
        answer.stop();
        QVERIFY(button_titled(offer, "Update my Ventaro"));  // the Ruvo was updated
    }

    // A run that ends as the question is declined leaves no run behind.
    void kindQuestionDeclined() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true));
        Application& d = launch();
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.first_generation_bootloader = true;
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
        QVERIFY(click(d.updateWindow()->updateButton()));
        QTRY_VERIFY(!d.inUpdate());
        answer.stop();
        QCOMPARE(asked, 1);
        QVERIFY(!d.updateSheet()->isVisible());
        QVERIFY(d.updateWindow()->updateAction()->isEnabled());
        QTest::qWait(300);
        QVERIFY(!visible_alert());
    }

    // The question goes, unanswered, once its moment has passed: the run
    // ended, or the device went on to its own firmware and the run with it.
    void kindQuestionGoesWithItsMoment_data() {
        QTest::addColumn<bool>("deviceGoesOn");
        QTest::newRow("the run ends") << false;
        QTest::newRow("the device goes on") << true;
    }

    void kindQuestionGoesWithItsMoment() {
        QFETCH(bool, deviceGoesOn);
        write_package(bundle, "a.zalmirupdate", package_bytes(true, true));
        Application& d = launch();
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.first_generation_bootloader = true;
        plug(o);
        QVERIFY(click(d.updateWindow()->updateButton()));
        QPointer<QMessageBox> question;
        QTRY_VERIFY_WITH_TIMEOUT((question = visible_alert()), 30000);
        simulation->remove_all();
        deviceGoesOn ? (void)plug(options_for(d.update(), kind_t::ventaro)) : d.cancelUpdate();
        QTRY_VERIFY_WITH_TIMEOUT(!question, 30000);
        QCOMPARE(d.inUpdate(), deviceGoesOn);  // closing it cancelled nothing
    }

    // A failed run says in plain words what happened, in the user's language;
    // the engine's own text, translated too, is the alert's detail; Troubleshooting opens the
    // page, or says where it is when no browser opens.
    void failuresSpeakPlainly_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("why");
        QTest::addColumn<QString>("details");
        for (int language : {int(lang_t::en), int(lang_t::fr)}) {
            const char* name = language == int(lang_t::fr) ? "fr" : "en";
            QTest::addRow("%s unplugged", name) << language << int(devices::fault_t::type_t::unplug_at_roundtrip)
                                                << int(failure_kind_t::disconnected) << "Could not write a HID report.";
            QTest::addRow("%s wrong answer", name) << language << int(devices::fault_t::type_t::wrong_answer)
                                                   << int(failure_kind_t::refused) << "Wrong response in HID report.";
            QTest::addRow("%s no answer", name)
                << language << int(devices::fault_t::type_t::no_answer) << int(failure_kind_t::silent)
                << "No HID packet received after timeout.";
        }
    }

    void failuresSpeakPlainly() {
        QFETCH(int, language);
        QFETCH(int, fault);
        QFETCH(int, why);
        QFETCH(QString, details);
        use_language(language == int(lang_t::fr) ? QStringLiteral("fr") : QStringLiteral("en"));
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        auto o = options_for(d.update(), kind_t::ventaro, true);
        o.faults = {{devices::fault_t::type_t(fault), 5}};
        plug(o);
        QVERIFY(click(d.updateWindow()->updateButton()));
        const QPointer<QMessageBox> alert = wait_for_alert();
        QVERIFY(alert);
        QCOMPARE(alert->text(), localized("Update failed"));
        QCOMPARE(alert->informativeText(), engine_text(failure_sentence(failure_kind_t(why))) + QStringLiteral("\n\n") +
                                               localized("ZALUpdateErrorMessage"));
        QVERIFY(!alert->informativeText().contains(details));
        QCOMPARE(alert->detailedText(), engine_text(details.toUtf8().constData()));
        QVERIFY(!d.updateWindow()->updateButton()->isEnabled());  // while the alert shows
        // No browser here: xdg-open fails, and the address is shown instead.
        QTemporaryDir bin;
        QFile fake(bin.filePath("xdg-open"));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\nexit 3\n");
        fake.close();
        fake.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ':' + path);
        QVERIFY(click(button_titled(alert, localized("Troubleshooting"))));
        QMessageBox* notice = wait_for_alert_after(alert);
        QVERIFY(notice);
        qputenv("PATH", path);
        QVERIFY2(notice->informativeText().contains(localized("ZALTroubleshootingURL")),
                 qPrintable(notice->informativeText()));
        QVERIFY(over_window(notice, d.updateWindow()));
        notice->done(0);
        QTRY_VERIFY(d.updateWindow()->updateButton()->isEnabled());
        use_language(QStringLiteral("en"));
    }

    void progressBarStates() {
        UpdateSheet sheet;
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
        Application& d = launch();
        d.updateRun().showProgress(0.4f);
        d.updateRun().showProgress(std::nanf(""));
        d.updateRun().showProgress(INFINITY);
        QCOMPARE(d.updateSheet()->progress(), double(0.4f));
        QCOMPARE(d.updateSheet()->progressIndicator()->fraction(), double(0.4f));
    }

    // After an alert the keyboard is back on Update, not in the notes.
    // While shown, the sheet is its window's child: whichever goes first, the
    // sheet is deleted once (an earlier owner deleted it twice at exit, which
    // AddressSanitizer reports as a double free).
    void theSheetGoesOnceWithTheApplication() {
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        Application& d = launch();
        const QPointer<UpdateSheet> sheet = d.updateSheet();
        sheet->showOver(d.updateWindow());
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->parentWidget(), static_cast<QWidget*>(d.updateWindow()));
        delegate.reset();
        QVERIFY(!sheet);
    }
};

QTEST_MAIN(AppRunTest)
#include "app_run_test.moc"
