// SPDX-License-Identifier: MIT
#include "app/strings.hpp"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstring>

#include "update/update.hpp"

namespace zal::gui {

namespace {

struct symbolic_t {
    const char* key;
    const char* english;
};

// The English entries of the symbolic keys; the French ones live in the catalogue.
const symbolic_t symbolic[] = {
    {"ZALUpdateClickHelp", "Need help? Click the question mark."},
    {"ZALUpdateSuccessMessage", "Your device has been updated. You can disconnect it and play."},
    {"ZALUpdateSuccessMessageBoth",
     "Your Ventaro and your Ruvo receiver have both been updated. You can disconnect them and play."},
    {"ZALUpdateSuccessMessageWithCounterpart",
     "Your device has been updated. This update also holds firmware for your %s: connect it now to update it too."},
    {"ZALUpdateCancelMessage",
     "The update was stopped before the end. Your device will start in its updater: run the update again to finish "
     "it."},
    {"ZALUpdateErrorMessage",
     "The update could not finish. Disconnect your device, connect it again and run the update once more. If it still "
     "fails, "
     "our troubleshooting page can help."},
    {"ZALIsThisVentaroTitle", "Which device is connected?"},
    {"ZALIsThisVentaroMessage",
     "This device is waiting for its firmware but does not say which one it is. Choose the device you connected."},
    {"ZALTroubleshootingURL", "https://support.zalmir.example/ventaro/update-troubleshooting"},
    {"ZALAboutText",
     "Updates the firmware of the Ventaro and of its Ruvo receiver.\n\nVersion %@\n"
     "© 2026 Zalmir Instruments. Free software under the MIT licence."},
};

}  // namespace

const char* english_text_of(const char* key) {
    for (const symbolic_t& s : symbolic)
        if (std::strcmp(s.key, key) == 0) return s.english;
    return nullptr;
}

const char* invalid_package_key() {
    return "The update file is invalid or could have been corrupted. Please download it again from "
           "https://www.zalmir.example.";
}

QString localized(const char* key) {
    if (const char* english = english_text_of(key)) return QCoreApplication::translate("Messages", english, key);
    return QCoreApplication::translate("Messages", key);
}

void install_translations() {
    // The catalogues of the language chosen last, replacing those of the one before.
    static QTranslator* ours = nullptr;
    static QTranslator* qt = nullptr;
    for (QTranslator** translator : {&ours, &qt}) {
        if (*translator) QCoreApplication::removeTranslator(*translator);
        delete *translator;
        *translator = nullptr;
    }
    ours = new QTranslator(QCoreApplication::instance());
    const QString name = lang == lang_t::fr ? QStringLiteral(":/i18n/ventaro-update_fr.qm")
                                            : QStringLiteral(":/i18n/ventaro-update_en.qm");
    if (ours->load(name)) QCoreApplication::installTranslator(ours);
    // Qt's own texts (the open panel, context menus, standard buttons) in the
    // same language, from the system's Qt catalogues.
    if (lang == lang_t::fr) {
        qt = new QTranslator(QCoreApplication::instance());
        if (qt->load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
    }
}

}  // namespace zal::gui
