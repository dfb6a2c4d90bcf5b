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
    {"ZALUpdateClickHelp", "Need help? Click Help."},
    {"ZALUpdateSuccessMessage", "Your device has been updated. You can disconnect it and play."},
    {"ZALUpdateSuccessMessageBoth",
     "Your Ventaro and your Ruvo receiver have both been updated. You can disconnect them and play."},
    {"ZALUpdateSuccessMessageWithCounterpart",
     "Your device has been updated. This update also holds firmware for your %s: connect it now to update it too."},
    {"ZALUpdateCancelMessage",
     "The update was stopped before the end. Your device will start in its updater: run the update again to finish "
     "it."},
    {"ZALUpdateErrorMessage",
     "Disconnect your device, connect it again and run the update once more: it will finish the job. If it still "
     "fails, click Troubleshooting."},
    {"ZALIsThisVentaroTitle", "Which device is connected?"},
    {"ZALIsThisVentaroMessage",
     "This device is waiting for its firmware but does not say which one it is. Choose the device you connected."},
    {"ZALTroubleshootingURL", "https://support.zalmir.example/ventaro/update-troubleshooting"},
    {"ZALAboutText",
     "Updates the firmware of the Ventaro and of its Ruvo receiver.\n\nVersion %@\n"
     "© 2026 Zalmir Instruments. Free software under the MIT licence."},
    {"ZALNoPackageHint",
     "No update is open. Open the update file (its name ends in .zalmirupdate) that you downloaded for your Ventaro "
     "or your Ruvo receiver."},
    {"ZALNoBrowser", "No web browser could be opened. The troubleshooting page is at:\n%s"},
    {"ZALQuitDuringUpdateTitle", "An update is running. Quit anyway?"},
    {"ZALQuitDuringUpdateMessage", "The device will finish its update the next time you run Update."},
    {"ZALFailureDisconnected", "The connection with your device was lost: it may have been unplugged or turned off."},
    {"ZALFailureSilent", "Your device stopped answering during the update."},
    {"ZALFailureNoFirmware", "This update holds no firmware that fits the connected device."},
    {"ZALFailureDevice", "Your device reported a problem during the update."},
    {"ZALChangedPackage", "This package was changed after it was signed. Download it again from the maker's web site."},
    {"ZALUnsignedRefused",
     "This package is not signed by a trusted key, and this computer accepts only signed packages."},
};

// The engine's failures as a user would say them; what it reports word for
// word stays in the log and the alert's details.
struct failure_t {
    const char* starts;
    const char* key;
};
const failure_t failures[] = {
    {"Device disconnected.", "ZALFailureDisconnected"},
    {"Could not write a HID report.", "ZALFailureDisconnected"},
    {"Could not read a HID report.", "ZALFailureDisconnected"},
    {"Unable to connect to HID device.", "ZALFailureDisconnected"},
    {"Could not send a MIDI SysEx.", "ZALFailureDisconnected"},
    {"Could not connect to MIDI device.", "ZALFailureDisconnected"},
    {"No HID packet received after timeout.", "ZALFailureSilent"},
    {"Wrong response in HID report.", "ZALFailureSilent"},
    {"The device does not answer.", "ZALFailureSilent"},
    {"L'appareil ne répond pas.", "ZALFailureSilent"},
    {"No firmware found.", "ZALFailureNoFirmware"},
    {"Firmware data does not fit the target product.", "ZALFailureNoFirmware"},
    {"The update would overwrite the device's bootloader.", "ZALFailureNoFirmware"},
};

}  // namespace

const char* plain_failure_key(const std::string& message) {
    for (const failure_t& f : failures)
        if (message.rfind(f.starts, 0) == 0) return f.key;
    return "ZALFailureDevice";  // the stage-2 firmware's own report
}

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

QString format(const QString& pattern, const QString& a) {
    QString text = pattern;
    return text.replace(QStringLiteral("%s"), a);
}

QString format(const QString& pattern, const QString& a, const QString& b) {
    QString text = pattern;
    const qsizetype first = text.indexOf(QStringLiteral("%s"));
    if (first >= 0) text.replace(first, 2, a);
    const qsizetype second = text.indexOf(QStringLiteral("%s"), first >= 0 ? first + a.size() : 0);
    if (second >= 0) text.replace(second, 2, b);
    return text;
}

}  // namespace zal::gui
