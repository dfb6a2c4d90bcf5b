// SPDX-License-Identifier: MIT
#include "app/strings.hpp"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>

#include "common/text/printable.hpp"
#include "update/update.hpp"

namespace zal::gui {

namespace {

struct symbolic_t {
    const char* english;
    const char* key;
};

// The English texts of the symbolic keys, which ride in the catalogues as the
// messages' disambiguation.
const symbolic_t symbolic[] = {
    QT_TRANSLATE_NOOP3("Messages", "Need help? Click Help.", "ZALUpdateClickHelp"),
    QT_TRANSLATE_NOOP3("Messages", "Your device has been updated. You can disconnect it and play.",
                       "ZALUpdateSuccessMessage"),
    QT_TRANSLATE_NOOP3("Messages",
                       "Your Ventaro and your Ruvo receiver have both been updated. You can disconnect them and play.",
                       "ZALUpdateSuccessMessageBoth"),
    QT_TRANSLATE_NOOP3(
        "Messages",
        "Your device has been updated. This update also holds firmware for your %1: connect it now to update it too.",
        "ZALUpdateSuccessMessageWithCounterpart"),
    QT_TRANSLATE_NOOP3(
        "Messages",
        "The update was stopped before the end. Your device will start in its updater: run the update again to finish "
        "it.",
        "ZALUpdateCancelMessage"),
    QT_TRANSLATE_NOOP3(
        "Messages",
        "Disconnect your device, connect it again and run the update once more: it will finish the job. If it still "
        "fails, click Troubleshooting.",
        "ZALUpdateErrorMessage"),
    QT_TRANSLATE_NOOP3("Messages", "Which device is connected?", "ZALIsThisVentaroTitle"),
    QT_TRANSLATE_NOOP3(
        "Messages",
        "This device is waiting for its firmware but does not say which one it is. Choose the device you connected.",
        "ZALIsThisVentaroMessage"),
    QT_TRANSLATE_NOOP3("Messages", "https://support.zalmir.example/ventaro/update-troubleshooting",
                       "ZALTroubleshootingURL"),
    QT_TRANSLATE_NOOP3("Messages",
                       "Updates the firmware of the Ventaro and of its Ruvo receiver.\n\nVersion %1\n"
                       "© 2026 Zalmir Instruments. Free software under the MIT licence.",
                       "ZALAboutText"),
    QT_TRANSLATE_NOOP3(
        "Messages",
        "No update is open. An update package is the file, its name ending in .zalmirupdate, that holds new firmware "
        "for your Ventaro and your Ruvo receiver: download it from the maker's web site, then open it here.",
        "ZALNoPackageHint"),
    QT_TRANSLATE_NOOP3("Messages", "No web browser could be opened. The troubleshooting page is at:\n%1",
                       "ZALNoBrowser"),
    QT_TRANSLATE_NOOP3("Messages", "An update is running. Quit anyway?", "ZALQuitDuringUpdateTitle"),
    QT_TRANSLATE_NOOP3("Messages", "The device will finish its update the next time you run Update.",
                       "ZALQuitDuringUpdateMessage"),
};

}  // namespace

const char* english_text_of(const char* key) {
    for (const symbolic_t& s : symbolic)
        if (std::strcmp(s.key, key) == 0) return s.english;
    return nullptr;
}

const char* invalid_package_key() {
    return QT_TRANSLATE_NOOP("Messages",
                             "The update file is invalid or could have been corrupted. Please download it again from "
                             "https://www.zalmir.example.");
}

QString localized(const char* key) {
    if (const char* english = english_text_of(key)) return QCoreApplication::translate("Messages", english, key);
    return QCoreApplication::translate("Messages", key);
}

QString engine_text(const char* english) { return QCoreApplication::translate("Engine", english); }

QString older_notice_text(const updater::package_verdict_t& verdict) {
    const QDate day = QDateTime::fromMSecsSinceEpoch(verdict.newer->installed.ended_ms).date();
    return said(
        updater::older_notice(*verdict.newer, QLocale(language()).toString(day, QLocale::ShortFormat).toStdString()));
}

QString printable_text(const std::string& text) { return QString::fromStdString(printable(text)); }

QString said(const sentence_t& sentence) {
    return QString::fromStdString(fill(engine_text(sentence.english).toStdString(), sentence.values));
}

namespace {

QString chosen_language = QStringLiteral("en");

QString catalogue_of(const QString& language) { return QStringLiteral(":/i18n/ventaro-update_%1.qm").arg(language); }

}  // namespace

bool has_catalogue(const QString& language) {
    return language == QStringLiteral("en") || QFile::exists(catalogue_of(language));
}

QString preferred_language() {
    for (const QString& name : QLocale::system().uiLanguages()) {
        const QString language = name.section(u'-', 0, 0).section(u'_', 0, 0);
        if (has_catalogue(language)) return language;
    }
    return QStringLiteral("en");
}

QString language() { return chosen_language; }

lang_t notes_language() { return chosen_language == QStringLiteral("fr") ? lang_t::fr : lang_t::en; }

void use_language(const QString& language) {
    chosen_language = has_catalogue(language) ? language : QStringLiteral("en");
    // Packages carry their notes in English and French.
    // The catalogues of the language chosen last, replacing those of the one before.
    static QTranslator* ours = nullptr;
    static QTranslator* qt = nullptr;
    for (QTranslator** translator : {&ours, &qt}) {
        if (*translator) QCoreApplication::removeTranslator(*translator);
        delete *translator;
        *translator = nullptr;
    }
    // English is the texts' own language: it has no catalogue.
    if (chosen_language != QStringLiteral("en")) {
        ours = new QTranslator(QCoreApplication::instance());
        if (ours->load(catalogue_of(chosen_language))) QCoreApplication::installTranslator(ours);
    }
    // The program's one name in this language, for titles, menus and About.
    QGuiApplication::setApplicationDisplayName(QCoreApplication::translate("Messages", "Ventaro Update"));
    if (chosen_language == QStringLiteral("en")) return;
    // Qt's own texts (the open panel, context menus, standard buttons) in the
    // same language, from the system's Qt catalogues.
    qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(QStringLiteral("qtbase_") + chosen_language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
}

}  // namespace zal::gui
