// SPDX-License-Identifier: MIT
// What both front ends tell a user comes from one table: for each signature
// and version case, the window and the terminal reach the same verdict and
// say it in the same words, in each language the application speaks.
#include <QApplication>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

#include "app/strings.hpp"
#include "cli/catalogue.hpp"
#include "updater/package_verdict.hpp"

using namespace zal;

namespace {

enum class history_case_t { empty, newer_installed, unreadable };

void use_both(const QString& language) {
    gui::use_language(language);
    ::setenv("LC_ALL", language == QLatin1String("fr") ? "fr_FR.UTF-8" : "C", 1);
    cli::use_language_of_locale();
}

// Both front ends' words for one sentence; they must agree, and a language
// other than English must have its own.
void compare_words(const std::optional<sentence_t>& sentence, const QString& language) {
    if (!sentence) return;
    const QString window = gui::said(*sentence);
    QCOMPARE(window, QString::fromStdString(cli::said(*sentence)));
    if (language != QLatin1String("en"))
        QVERIFY2(!window.startsWith(QString::fromUtf8(sentence->english).left(12)), qPrintable(window));
}

}  // namespace

class VerdictWordsTest : public QObject {
    Q_OBJECT

private slots:
    void bothFrontEndsSayTheSame_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("require");
        QTest::addColumn<bool>("refuseDowngrade");
        QTest::addColumn<int>("history");
        QTest::addColumn<int>("decision");
        using s = signature_status_t;
        using h = history_case_t;
        using d = updater::decision_t;
        struct row_t {
            const char* name;
            s status;
            bool require, refuse_downgrade;
            h history;
            d decision;
        } rows[] = {
            {"signed", s::signed_package, false, false, h::empty, d::install},
            {"unknown signer", s::unknown_signer, false, false, h::empty, d::install},
            {"unsigned", s::unsigned_package, false, false, h::empty, d::install},
            {"changed", s::changed, false, false, h::empty, d::refuse},
            {"unsigned, signatures required", s::unsigned_package, true, false, h::empty, d::refuse},
            {"unknown signer, signatures required", s::unknown_signer, true, true, h::empty, d::refuse},
            {"older, asked", s::signed_package, false, true, h::newer_installed, d::ask},
            {"older, refused", s::signed_package, true, true, h::newer_installed, d::refuse},
            {"older, refused only with signatures", s::unsigned_package, false, true, h::newer_installed, d::ask},
            {"history unreadable", s::signed_package, false, false, h::unreadable, d::install},
            {"history unreadable, downgrades refused", s::signed_package, true, true, h::unreadable, d::ask},
        };
        for (const char* language : {"en", "fr"})
            for (const row_t& r : rows)
                QTest::addRow("%s, %s", language, r.name) << QString::fromLatin1(language) << int(r.status) << r.require
                                                          << r.refuse_downgrade << int(r.history) << int(r.decision);
    }

    void bothFrontEndsSayTheSame() {
        QFETCH(QString, language);
        QFETCH(int, status);
        QFETCH(bool, require);
        QFETCH(bool, refuseDowngrade);
        QFETCH(int, history);
        QFETCH(int, decision);
        use_both(language);
        update_t package;
        package.version_string = "2.1.0";
        package.release_date = {2026, 12, 1};
        package.ventaro.emplace();
        package.signature = {signature_status_t(status), "1A2B3C4D", {}, "Zalmir \x1b[2JInstruments", "notes-en.txt"};
        QTemporaryDir dir;
        updater::history_t recorded(history == int(history_case_t::unreadable)
                                        ? std::string()
                                        : dir.filePath(QStringLiteral("history.sqlite")).toStdString());
        if (history == int(history_case_t::newer_installed)) {
            updater::run_record_t run;
            run.program = "cli";
            run.started_ms = 1796000000000;
            run.kind = "ventaro";
            run.version = "9.0.0\x1b]0;%2";
            run.release_date = "2026-12-01";
            const int64_t id = recorded.begin(run);
            run.ended_ms = run.started_ms + 1000;
            run.outcome = "success";
            recorded.update(id, run, "");
        }
        // The terminal's --require-signature and the computer's setting are one policy.
        const trust_t trust{{}, require, refuseDowngrade};
        const updater::package_verdict_t verdict = updater::package_verdict(package, trust, false, &recorded);
        const updater::package_verdict_t asked =
            updater::package_verdict(package, {{}, false, refuseDowngrade}, require, &recorded);
        QCOMPARE(int(verdict.decision), decision);
        QCOMPARE(int(asked.decision), decision);
        // What the user is asked is the refusal, or else the older firmware.
        QCOMPARE(verdict.refusal || verdict.older, decision != int(updater::decision_t::install));
        QCOMPARE(verdict.older.has_value(), history == int(history_case_t::newer_installed));
        for (const auto& sentence : {verdict.signature, verdict.older, verdict.refusal})
            compare_words(sentence, language);
        // Outside text stays plain and fills only its own placeholder.
        for (const auto& sentence : {verdict.signature, verdict.older})
            if (sentence) QVERIFY(!gui::said(*sentence).contains(QChar(0x1b)));
        if (verdict.older) QVERIFY(gui::said(*verdict.older).endsWith(QStringLiteral("(9.0.0\\x1b]0;%2).")));
    }

    void everyFailureHasItsSentence() {
        for (const char* language : {"en", "fr"}) {
            use_both(QString::fromLatin1(language));
            QSet<QString> sentences;
            for (const failure_kind_t kind : failure_kinds) {
                compare_words(sentence_t{failure_sentence(kind), {}}, QString::fromLatin1(language));
                sentences.insert(gui::said({failure_sentence(kind), {}}));
            }
            QCOMPARE(sentences.size(), int(std::size(failure_kinds)));
        }
    }
};

QTEST_MAIN(VerdictWordsTest)
#include "verdict_words_test.moc"
