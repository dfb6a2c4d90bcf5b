// SPDX-License-Identifier: MIT
// Why a run failed, as both front ends say it: every failure kind has its own
// plain sentence, the same in the application and on the terminal, in each
// language the application speaks.
#include <QApplication>
#include <QSet>
#include <QTest>

#include <cstdlib>

#include "app/strings.hpp"
#include "cli/catalogue.hpp"
#include "cli/failure_text.hpp"

using namespace zal;

class FailureTextsTest : public QObject {
    Q_OBJECT

private slots:
    void everyKindHasItsSentence_data() {
        QTest::addColumn<QString>("language");
        for (const char* language : {"en", "fr"}) QTest::newRow(language) << QString::fromLatin1(language);
    }

    void everyKindHasItsSentence() {
        QFETCH(QString, language);
        gui::use_language(language);
        ::setenv("LC_ALL", language == QLatin1String("fr") ? "fr_FR.UTF-8" : "C", 1);
        cli::use_language_of_locale();

        QSet<QString> sentences;
        for (const failure_kind_t kind : failure_kinds) {
            const char* key = gui::plain_failure_key(kind);
            const QString app = gui::localized(key);
            const QString terminal = QString::fromUtf8(cli::plain_failure(kind));
            QVERIFY2(!app.isEmpty() && app != QLatin1String(key), key);
            QCOMPARE(terminal, app);
            sentences.insert(app);
            if (language != QLatin1String("en"))
                QVERIFY2(app != QString::fromUtf8(gui::english_text_of(key)), qPrintable(language + ": " + app));
        }
        QCOMPARE(sentences.size(), int(std::size(failure_kinds)));
        QCOMPARE(QString::fromUtf8(failure_word(failure_kind_t::would_overwrite_bootloader)),
                 QStringLiteral("would-overwrite-bootloader"));
    }
};

QTEST_MAIN(FailureTextsTest)
#include "failure_texts_test.moc"
