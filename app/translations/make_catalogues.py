#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the English and French Qt Linguist catalogues of the application.

The English text is each message's source; symbolic "ZAL" keys ride in the
disambiguation. Edit the table below, run this script, commit both .ts files.
"""
from xml.sax.saxutils import escape
import pathlib

INVALID = ("The update file is invalid or could have been corrupted. Please download it again from "
           "https://www.zalmir.example.")

# (key or None, English, French)
MESSAGES = [
    (None, "About %@", "À propos de %@"),
    (None, "Quit %@", "Quitter %@"),
    (None, "File", "Fichier"),
    (None, "Close Window", "Fermer la fenêtre"),
    (None, "Edit", "Édition"),
    (None, "Undo", "Annuler"),
    (None, "Redo", "Rétablir"),
    (None, "Cut", "Couper"),
    (None, "Copy", "Copier"),
    (None, "Paste", "Coller"),
    (None, "Delete", "Supprimer"),
    (None, "Select All", "Tout sélectionner"),
    (None, "Help", "Aide"),
    (None, "%@ Help", "Aide de %@"),
    (None, "Log Console", "Journal"),
    (None, "Update", "Mettre à jour"),
    (None, "Cancel", "Annuler"),
    (None, "Open another update…", "Ouvrir une autre mise à jour…"),
    (None, "Preparing the update…", "Préparation de la mise à jour…"),
    (None, "Error", "Erreur"),
    (None, "An error has occurred during the update.", "Une erreur est survenue pendant la mise à jour."),
    (None, "%s v%s Update", "Mise à jour %s v%s"),
    (None, "Version %s (%s)", "Version %s (%s)"),
    (None, "Unable to read the contents of the update", "Impossible de lire le contenu de la mise à jour"),
    (None, INVALID,
     "Le fichier de mise à jour n'est pas valide ou a pu être endommagé. Veuillez le télécharger de nouveau "
     "depuis https://www.zalmir.example."),
    (None, "Update successful", "Mise à jour réussie"),
    (None, "Update my %s", "Mettre à jour mon %s"),
    (None, "End", "Terminer"),
    (None, "Update canceled", "Mise à jour annulée"),
    (None, "Update failed", "Échec de la mise à jour"),
    ("ZALUpdateClickHelp", "Need help? Click Help.", "Besoin d'aide ? Cliquez sur Aide."),
    ("ZALUpdateSuccessMessage", "Your device has been updated. You can disconnect it and play.",
     "Votre appareil a été mis à jour. Vous pouvez le débrancher et jouer."),
    ("ZALUpdateSuccessMessageBoth",
     "Your Ventaro and your Ruvo receiver have both been updated. You can disconnect them and play.",
     "Votre Ventaro et votre boîtier Ruvo ont tous deux été mis à jour. Vous pouvez les débrancher et jouer."),
    ("ZALUpdateSuccessMessageWithCounterpart",
     "Your device has been updated. This update also holds firmware for your %s: connect it now to update it too.",
     "Votre appareil a été mis à jour. Cette mise à jour contient aussi le firmware de votre %s : "
     "branchez-le maintenant pour le mettre à jour lui aussi."),
    ("ZALUpdateCancelMessage",
     "The update was stopped before the end. Your device will start in its updater: run the update again to finish it.",
     "La mise à jour a été interrompue avant la fin. Votre appareil démarrera dans son programme de mise à jour : "
     "relancez la mise à jour pour la terminer."),
    ("ZALUpdateErrorMessage",
     "Disconnect your device, connect it again and run the update once more: it will finish the job. If it still "
     "fails, click Troubleshooting.",
     "Débranchez votre appareil, rebranchez-le et relancez la mise à jour : elle ira jusqu'au bout. "
     "Si l'échec persiste, cliquez sur Dépannage."),
    ("ZALIsThisVentaroTitle", "Which device is connected?", "Quel appareil est branché ?"),
    ("ZALIsThisVentaroMessage",
     "This device is waiting for its firmware but does not say which one it is. Choose the device you connected.",
     "Cet appareil attend son firmware mais n'indique pas de quel appareil il s'agit. Choisissez l'appareil que "
     "vous avez branché."),
    ("ZALTroubleshootingURL", "https://support.zalmir.example/ventaro/update-troubleshooting",
     "https://support.zalmir.example/fr/ventaro/depannage-mise-a-jour"),
    (None, "About Qt", "À propos de Qt"),
    (None, "Progress", "Progression"),
    (None, "Release notes", "Notes de version"),
    ("ZALAboutText",
     "Updates the firmware of the Ventaro and of its Ruvo receiver.\n\nVersion %@\n"
     "© 2026 Zalmir Instruments. Free software under the MIT licence.",
     "Met à jour le firmware du Ventaro et de son boîtier Ruvo.\n\nVersion %@\n"
     "© 2026 Zalmir Instruments. Logiciel libre sous licence MIT."),
    ("ZALNoPackageHint",
     "No update is open. Open the update file (its name ends in .zalmirupdate) that you downloaded for your Ventaro "
     "or your Ruvo receiver.",
     "Aucune mise à jour n'est ouverte. Ouvrez le fichier de mise à jour (son nom se termine par .zalmirupdate) que "
     "vous avez téléchargé pour votre Ventaro ou votre boîtier Ruvo."),
    (None, "Open Update Package…", "Ouvrir une mise à jour…"),
    (None, "Ventaro update packages (*.zalmirupdate)", "Mises à jour Ventaro (*.zalmirupdate)"),
    (None, "Troubleshooting", "Dépannage"),
    ("ZALNoBrowser", "No web browser could be opened. The troubleshooting page is at:\n%s",
     "Aucun navigateur web n'a pu être ouvert. La page de dépannage se trouve à l'adresse :\n%s"),
    ("ZALQuitDuringUpdateTitle", "An update is running. Quit anyway?",
     "Une mise à jour est en cours. Quitter quand même ?"),
    ("ZALQuitDuringUpdateMessage", "The device will finish its update the next time you run Update.",
     "L'appareil terminera sa mise à jour la prochaine fois que vous lancerez Mettre à jour."),
    (None, "Quit", "Quitter"),
    ("ZALFailureDisconnected",
     "The connection with your device was lost: it may have been unplugged or turned off.",
     "La connexion avec votre appareil a été perdue : il a peut-être été débranché ou éteint."),
    ("ZALFailureSilent", "Your device stopped answering during the update.",
     "Votre appareil a cessé de répondre pendant la mise à jour."),
    ("ZALFailureNoFirmware", "This update holds no firmware that fits the connected device.",
     "Cette mise à jour ne contient pas de firmware adapté à l'appareil branché."),
    ("ZALFailureDevice", "Your device reported a problem during the update.",
     "Votre appareil a signalé un problème pendant la mise à jour."),
    ("ZALChangedPackage",
     "This package was changed after it was signed. Download it again from the maker's web site.",
     "Ce paquet a été modifié après sa signature. Téléchargez-le de nouveau depuis le site du fabricant."),
    ("ZALUnsignedRefused",
     "This package is not signed by a trusted key, and this computer accepts only signed packages.",
     "Ce paquet n'est pas signé par une clé de confiance, et cet ordinateur n'accepte que les paquets signés."),
    (None, "Signed", "Signé"),
    (None, "Not signed", "Non signé"),
    (None, "Signed by %s", "Signé par %s"),
    (None, "key %s", "clé %s"),
    (None, "This package is not signed.", "Ce paquet n'est pas signé."),
]


def catalogue(language, column):
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<!DOCTYPE TS>",
             f'<TS version="2.1" language="{language}" sourcelanguage="en">', "<context>",
             "    <name>Messages</name>"]
    for key, english, french in MESSAGES:
        text = english if column == 1 else french
        lines.append("    <message>")
        lines.append(f"        <source>{escape(english)}</source>")
        if key:
            lines.append(f"        <comment>{key}</comment>")
        lines.append(f"        <translation>{escape(text)}</translation>")
        lines.append("    </message>")
    lines += ["</context>", "</TS>", ""]
    return "\n".join(lines)


here = pathlib.Path(__file__).parent
(here / "ventaro-update_en.ts").write_text(catalogue("en", 1), encoding="utf-8")
(here / "ventaro-update_fr.ts").write_text(catalogue("fr", 2), encoding="utf-8")
