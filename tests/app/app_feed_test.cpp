// SPDX-License-Identifier: MIT
// The maker's list of firmware from the window, against a file:// feed signed
// with the test feed key: the bar, its download opened, failures said plainly.
#include "tests/app/app_fixture.hpp"
#include "update/package_file.hpp"
#include "updater/feed.hpp"

using namespace zal;
using namespace zal::gui;
using namespace zal::gui::app_tests;

namespace {

const QTemporaryDir config_and_cache;
const bool config_set = qputenv("XDG_CONFIG_HOME", config_and_cache.filePath("config").toUtf8()) &&
                        qputenv("XDG_CACHE_HOME", config_and_cache.filePath("cache").toUtf8());

enum class fault_t { none, no_feed, package_key_unknown, expired };

}  // namespace

class AppFeedTest : public AppFixture {
    Q_OBJECT

    // A signed Ventaro 2.3.0 in `dir` and the feed that lists it, signed with the feed key.
    std::string publish(const QTemporaryDir& dir, const std::string& notes_en, fault_t fault = fault_t::none) {
        const QString package =
            write_package(dir, "ventaro-2.3.0.zalmirupdate",
                          tools::make_package_zip({.version = "2.3.0", .release_date = "2026-12-01"}));
        QProcess::execute(QStringLiteral(ZAL_SIGN_TOOL),
                          {QStringLiteral(ZAL_TEST_KEY_DIR "/ventaro-test.key"), package});
        const std::vector<unsigned char> bytes = *read_whole_file(package.toStdString());
        const updater::feed_t listed{
            .serial = 1,
            .issued = fault == fault_t::expired ? 1577836800 : QDateTime::currentSecsSinceEpoch() - 60,
            .expires = fault == fault_t::expired ? 1577923200 : QDateTime::currentSecsSinceEpoch() + 86400,
            .packages = {{.kind = kind_t::ventaro,
                          .version = "2.3.0",
                          .release_date = "2026-12-01",
                          .url = "ventaro-2.3.0.zalmirupdate",
                          .size = uint64_t(bytes.size()),
                          .sha256 = sha256_of({reinterpret_cast<const char*>(bytes.data()), bytes.size()}),
                          .notes = {{"en", notes_en}, {"fr", "Démarrage plus rapide."}}}},
            .lowest_safe = {}};
        const std::string text = updater::feed_text(listed);
        const QString path = write_package(dir, "feed.json", {text.begin(), text.end()});
        QProcess::execute("minisign", {"-S", "-s", ZAL_TEST_KEY_DIR "/feed-test.key", "-m", path});
        return QUrl::fromLocalFile(path).toString().toStdString();
    }

    // Launched on the Ventaro 2.1.0 package, trusting the test keys, with the feed `url`.
    Application& launchWithFeed(const std::string& url, fault_t fault) {
        if (fault != fault_t::package_key_unknown)
            trust.keys = {*read_public_key(ZAL_TEST_KEY_DIR "/ventaro-test.pub")};
        if (fault != fault_t::no_feed) feed.url = url;
        feed.keys = {*read_public_key(ZAL_TEST_KEY_DIR "/feed-test.pub")};
        write_package(bundle, "a.zalmirupdate", package_bytes(true, false));
        return launch();
    }

private slots:
    void initTestCase() { QVERIFY(set_up() && config_set); }
    void cleanup() {
        clean_up();
        QSettings(QStringLiteral("ventaro-update"), QStringLiteral("application")).clear();
    }

    void newerFirmwareIsOfferedThenOpens_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("offer");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("answer");
        QTest::newRow("en, control characters escaped, checks daily")
            << "en"
            << "Ventaro firmware 2.3.0 (1 December 2026) is available."
            << "Faster start-up.\\x1b[31m\nFewer notes lost."
            << "Check Daily";
        QTest::newRow("fr, only when asked") << "fr"
                                             << "Le firmware Ventaro 2.3.0 (1 décembre 2026) est disponible."
                                             << "Démarrage plus rapide."
                                             << "Seulement quand je le demande";
    }
    void newerFirmwareIsOfferedThenOpens() {
        QFETCH(QString, language);
        QFETCH(QString, offer);
        QFETCH(QString, notes);
        QFETCH(QString, answer);
        use_language(language);
        QTemporaryDir dir;
        Application& d = launchWithFeed(publish(dir, "Faster start-up.\x1b[31m\nFewer notes lost."), fault_t::none);
        d.updateWindow()->checkAction()->trigger();
        FeedBar* bar = d.updateWindow()->feedBar();
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->offerLabel()->text(), offer);
        QCOMPARE(bar->notesLabel()->text(), notes);
        QMessageBox* question = wait_for_alert();  // asked once, after the first check
        QVERIFY(question && click(button_titled(question, answer)));
        QCOMPARE(d.checksAutomatically(), answer == u"Check Daily");
        QVERIFY(click(bar->downloadButton()));
        QTRY_COMPARE(d.update().version_string, std::string("2.3.0"));
        QVERIFY(!bar->isVisible());
        QCOMPARE(d.update().signature.status, signature_status_t::signed_package);
        d.updateWindow()->checkAction()->trigger();  // nothing newer than what is open now, and not asked again
        QTRY_VERIFY(visible_alert() && visible_alert()->buttons().size() == 1);
    }

    void failuresAreSaidPlainly_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<fault_t>("fault");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("says");
        const auto rows = [](const char* name, fault_t fault, const char* title_en, const char* en,
                             const char* title_fr, const char* fr) {
            QTest::newRow((name + QStringLiteral(", en")).toUtf8()) << "en" << fault << title_en << en;
            QTest::newRow((name + QStringLiteral(", fr")).toUtf8()) << "fr" << fault << title_fr << fr;
        };
        rows("no feed configured", fault_t::no_feed, "Could not check for firmware updates",
             "No list of firmware is configured on this computer.",
             "Impossible de vérifier les mises à jour du firmware", "Aucune liste de firmwares n'est configurée");
        rows("package signed by an unknown key", fault_t::package_key_unknown, "The firmware could not be downloaded",
             "The downloaded package is not signed by a key this computer trusts",
             "Le firmware n’a pas pu être téléchargé", "Le paquet téléchargé n'est pas signé");
        rows("expired feed", fault_t::expired, "Could not check for firmware updates",
             "The list of firmware is out of date (it expired on 2 January 2020)",
             "Impossible de vérifier les mises à jour du firmware",
             "La liste des firmwares est périmée (elle a expiré le 2 janvier 2020)");
    }
    void failuresAreSaidPlainly() {
        QFETCH(QString, language);
        QFETCH(fault_t, fault);
        QFETCH(QString, title);
        QFETCH(QString, says);
        use_language(language);
        QTemporaryDir dir;
        Application& d = launchWithFeed(publish(dir, "Faster start-up.", fault), fault);
        d.updateWindow()->checkAction()->trigger();
        if (fault == fault_t::package_key_unknown) {
            QVERIFY(wait_for_alert());  // whether to check daily
            close_alerts();
            QVERIFY(click(d.updateWindow()->feedBar()->downloadButton()));
        }
        QMessageBox* alert = wait_for_alert();
        QVERIFY(alert && alert->text() == title);
        QVERIFY2(alert->informativeText().startsWith(says), qPrintable(alert->informativeText()));
        QCOMPARE(d.update().version_string, std::string("2.1.0"));  // the open package stays
    }
};

QTEST_MAIN(AppFeedTest)
#include "app_feed_test.moc"
