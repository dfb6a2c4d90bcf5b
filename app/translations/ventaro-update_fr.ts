<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>Cli</name>
    <message>
        <source>Update succeeded: </source>
        <translation>Mise à jour réussie : </translation>
    </message>
    <message>
        <source>Update cancelled.</source>
        <translation>Mise à jour annulée.</translation>
    </message>
    <message>
        <source>The connected bootloader does not tell which device it belongs to.
Is it a Ventaro (v) or a Ruvo receiver (r)? Any other answer cancels: </source>
        <translation>Le bootloader branché ne dit pas à quel appareil il appartient.
Est-ce un Ventaro (v) ou un boîtier Ruvo (r) ? Toute autre réponse annule : </translation>
    </message>
    <message>
        <source>No Ventaro or Ruvo that this package has firmware for is connected.</source>
        <translation>Aucun Ventaro ni Ruvo pour lequel ce paquet contient un firmware n&apos;est branché.</translation>
    </message>
    <message>
        <source>No recorded run has the number</source>
        <translation>Aucune mise à jour enregistrée ne porte le numéro</translation>
    </message>
    <message>
        <source>Support report written to</source>
        <translation>Rapport d’assistance écrit dans</translation>
    </message>
    <message>
        <source>Give --allow-older to install it all the same.</source>
        <translation>Ajoutez --allow-older pour l’installer malgré tout.</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>Waiting for the Ventaro...</source>
        <translation>En attente du Ventaro...</translation>
    </message>
    <message>
        <source>Waiting for the Ruvo...</source>
        <translation>En attente du Ruvo...</translation>
    </message>
    <message>
        <source>Please do not move, turn off, or disconnect the device until the update ends.</source>
        <translation>Veuillez éviter de déplacer, éteindre ou déconnecter l&apos;appareil avant la fin de la mise à jour.</translation>
    </message>
    <message>
        <source>The update will continue in a few moments.</source>
        <translation>La mise à jour va continuer dans quelques instants.</translation>
    </message>
    <message>
        <source>Updating internal components...</source>
        <translation>Mise à jour des composants internes...</translation>
    </message>
    <message>
        <source>The device does not answer. Turn it off, then on again, and run the update again.</source>
        <translation>L&apos;appareil ne répond pas. Éteignez-le puis rallumez-le, et relancez la mise à jour.</translation>
    </message>
    <message>
        <source>Still waiting. You can wait, or cancel, turn the device off and on again, and run the update again: it will finish the job.</source>
        <translation>Toujours en attente. Vous pouvez patienter, ou annuler, éteindre puis rallumer l&apos;appareil et relancer la mise à jour : elle ira jusqu&apos;au bout.</translation>
    </message>
    <message>
        <source>Connect your Ventaro</source>
        <translation>Branchez votre Ventaro</translation>
    </message>
    <message>
        <source>Please connect your Ventaro to your computer using a USB cable, and turn it on.</source>
        <translation>Veuillez brancher votre Ventaro à votre ordinateur à l&apos;aide d&apos;un câble USB puis l&apos;allumer.</translation>
    </message>
    <message>
        <source>Connect your Ruvo receiver</source>
        <translation>Branchez votre boîtier Ruvo</translation>
    </message>
    <message>
        <source>Please connect your Ruvo receiver to your computer using a USB cable, and turn it on.</source>
        <translation>Veuillez brancher votre boîtier Ruvo à votre ordinateur à l&apos;aide d&apos;un câble USB puis l&apos;allumer.</translation>
    </message>
    <message>
        <source>Connect your Ventaro or your Ruvo receiver</source>
        <translation>Branchez votre Ventaro ou votre boîtier Ruvo</translation>
    </message>
    <message>
        <source>Please connect your Ventaro or your Ruvo receiver to your computer using a USB cable, and turn it on.</source>
        <translation>Veuillez brancher votre Ventaro ou votre boîtier Ruvo à votre ordinateur à l&apos;aide d&apos;un câble USB puis l&apos;allumer.</translation>
    </message>
    <message>
        <source>Rebooting the Ventaro...</source>
        <translation>Redémarrage du Ventaro...</translation>
    </message>
    <message>
        <source>Rebooting the Ruvo...</source>
        <translation>Redémarrage du Ruvo...</translation>
    </message>
    <message>
        <source>Your device will be rebooted now in order to update it.</source>
        <translation>Votre appareil va être redémarré pour pouvoir le mettre à jour.</translation>
    </message>
    <message>
        <source>The update will start in a few moments.</source>
        <translation>La mise à jour va commencer dans quelques instants.</translation>
    </message>
    <message>
        <source>Preparing to update internal components...</source>
        <translation>Préparation de la mise à jour des composants internes...</translation>
    </message>
    <message>
        <source>Please do not move, turn off, or disconnect the device.</source>
        <translation>Veuillez éviter de déplacer, éteindre ou déconnecter l&apos;appareil.</translation>
    </message>
    <message>
        <source>Updating...</source>
        <translation>Mise à jour...</translation>
    </message>
    <message>
        <source>Could not access USB HID devices.</source>
        <translation>Impossible d&apos;accéder aux périphériques USB HID.</translation>
    </message>
    <message>
        <source>Could not access MIDI devices.</source>
        <translation>Impossible d&apos;accéder aux périphériques MIDI.</translation>
    </message>
    <message>
        <source>Signed by key %1.</source>
        <translation>Signé par la clé %1.</translation>
    </message>
    <message>
        <source>Signed by %1 (key %2).</source>
        <translation>Signé par %1 (clé %2).</translation>
    </message>
    <message>
        <source>This package is not signed by a trusted key (it is signed by key %1).</source>
        <translation>Ce paquet n&apos;est pas signé par une clé de confiance (il est signé par la clé %1).</translation>
    </message>
    <message>
        <source>This package is not signed.</source>
        <translation>Ce paquet n&apos;est pas signé.</translation>
    </message>
    <message>
        <source>This package was changed after it was signed. Download it again from the maker&apos;s web site.</source>
        <translation>Ce paquet a été modifié après sa signature. Téléchargez-le de nouveau depuis le site du fabricant.</translation>
    </message>
    <message>
        <source>This package is not signed by a trusted key, and this computer accepts only signed packages.</source>
        <translation>Ce paquet n&apos;est pas signé par une clé de confiance, et cet ordinateur n&apos;accepte que les paquets signés.</translation>
    </message>
    <message>
        <source>The update history cannot be read, so an older firmware cannot be ruled out: %1.</source>
        <translation>L’historique des mises à jour ne peut pas être lu ; un firmware plus ancien ne peut donc pas être exclu : %1.</translation>
    </message>
    <message>
        <source>This package is older than the firmware installed on %1 (%2).</source>
        <translation>Ce paquet est plus ancien que le firmware installé le %1 (%2).</translation>
    </message>
    <message>
        <source>Older firmware is refused on this computer.</source>
        <translation>Un firmware plus ancien est refusé sur cet ordinateur.</translation>
    </message>
    <message>
        <source>The connection with your device was lost: it may have been unplugged or turned off.</source>
        <translation>La connexion avec votre appareil a été perdue : il a peut-être été débranché ou éteint.</translation>
    </message>
    <message>
        <source>Your device stopped answering during the update.</source>
        <translation>Votre appareil a cessé de répondre pendant la mise à jour.</translation>
    </message>
    <message>
        <source>Your device did not accept what the updater sent it.</source>
        <translation>Votre appareil n&apos;a pas accepté ce que le programme de mise à jour lui a envoyé.</translation>
    </message>
    <message>
        <source>The device waiting for its firmware is not one this updater can write.</source>
        <translation>L&apos;appareil qui attend son firmware n&apos;est pas un appareil que ce programme sait mettre à jour.</translation>
    </message>
    <message>
        <source>This update holds no firmware that fits the connected device.</source>
        <translation>Cette mise à jour ne contient pas de firmware adapté à l&apos;appareil branché.</translation>
    </message>
    <message>
        <source>This update does not fit the connected device: it would overwrite the part that lets the device be updated. Nothing was written.</source>
        <translation>Cette mise à jour ne convient pas à l&apos;appareil branché : elle écraserait la partie qui permet de le mettre à jour. Rien n&apos;a été écrit.</translation>
    </message>
    <message>
        <source>This computer does not let the updater use your device. Install Ventaro Update from its package (it installs the device rules), then disconnect the device and connect it again.</source>
        <translation>Cet ordinateur n&apos;autorise pas le programme de mise à jour à utiliser votre appareil. Installez Ventaro Update depuis son paquet (il installe les règles des appareils), puis débranchez l&apos;appareil et rebranchez-le.</translation>
    </message>
    <message>
        <source>This computer&apos;s MIDI sequencer is not available, so the updater cannot reach your device. Load it (sudo modprobe snd-seq), or restart the computer, then run the update again.</source>
        <translation>Le séquenceur MIDI de cet ordinateur n&apos;est pas disponible : le programme de mise à jour ne peut pas joindre votre appareil. Chargez-le (sudo modprobe snd-seq) ou redémarrez l&apos;ordinateur, puis relancez la mise à jour.</translation>
    </message>
    <message>
        <source>This computer&apos;s USB HID devices cannot be listed, so the updater cannot reach your device. Restart the computer, then run the update again.</source>
        <translation>Les périphériques USB HID de cet ordinateur ne peuvent pas être listés : le programme de mise à jour ne peut pas joindre votre appareil. Redémarrez l&apos;ordinateur, puis relancez la mise à jour.</translation>
    </message>
    <message>
        <source>Your device reported a problem during the update.</source>
        <translation>Votre appareil a signalé un problème pendant la mise à jour.</translation>
    </message>
    <message>
        <source>No update recorded on this computer yet.</source>
        <translation>Aucune mise à jour n’a encore été enregistrée sur cet ordinateur.</translation>
    </message>
    <message>
        <source>The update history cannot be read: %1.</source>
        <translation>L’historique des mises à jour ne peut pas être lu : %1.</translation>
    </message>
    <message>
        <source>No list of firmware is configured on this computer. An administrator can name one with feed-url= in /etc/ventaro-update/ventaro-update.conf.</source>
        <translation>Aucune liste de firmwares n&apos;est configurée sur cet ordinateur. Un administrateur peut en indiquer une avec feed-url= dans /etc/ventaro-update/ventaro-update.conf.</translation>
    </message>
    <message>
        <source>The list of firmware was not fetched: its address, or one the server sent the updater to, is not a secure (https://) address. Ask the maker or your administrator for the right address.</source>
        <translation>La liste des firmwares n&apos;a pas été récupérée : son adresse, ou celle vers laquelle le serveur a renvoyé, n&apos;est pas une adresse sécurisée (https://). Demandez la bonne adresse au fabricant ou à votre administrateur.</translation>
    </message>
    <message>
        <source>The maker&apos;s server could not prove who it is, so nothing was fetched from it. Check this computer&apos;s date and time and its network (some networks intercept secure connections), then check again.</source>
        <translation>Le serveur du fabricant n&apos;a pas pu prouver son identité : rien n&apos;en a été récupéré. Vérifiez la date et l&apos;heure de cet ordinateur et son réseau (certains réseaux interceptent les connexions sécurisées), puis vérifiez à nouveau.</translation>
    </message>
    <message>
        <source>The maker&apos;s server stopped sending, or sent too slowly. Check your network connection, then check again.</source>
        <translation>Le serveur du fabricant a cessé d&apos;envoyer, ou envoyait trop lentement. Vérifiez votre connexion réseau, puis vérifiez à nouveau.</translation>
    </message>
    <message>
        <source>The maker&apos;s server sent more than expected, so the transfer was stopped and nothing was kept. Check again later; if this stays, tell the maker.</source>
        <translation>Le serveur du fabricant a envoyé plus que prévu : le transfert a été arrêté et rien n&apos;a été gardé. Vérifiez à nouveau plus tard ; si cela persiste, prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The list of firmware is not signed by a key this computer trusts for it, so it was not believed. Check again later; if this stays, tell the maker.</source>
        <translation>La liste des firmwares n&apos;est pas signée par une clé en laquelle cet ordinateur a confiance pour elle : elle n&apos;a pas été crue. Vérifiez à nouveau plus tard ; si cela persiste, prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The list of firmware cannot be read. Check again later; if this stays, tell the maker.</source>
        <translation>La liste des firmwares est illisible. Vérifiez à nouveau plus tard ; si cela persiste, prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The update history cannot be read, so an old list of firmware could not be told from a new one. See ventaro-update-cli history for why, then check again.</source>
        <translation>L&apos;historique des mises à jour est illisible : une ancienne liste de firmwares ne peut pas être distinguée d&apos;une nouvelle. Voyez pourquoi avec ventaro-update-cli history, puis vérifiez à nouveau.</translation>
    </message>
    <message>
        <source>The downloaded package is not the one the list of firmware describes, so it was deleted. Try again later; if this stays, tell the maker.</source>
        <translation>Le paquet téléchargé n&apos;est pas celui que décrit la liste des firmwares : il a été supprimé. Réessayez plus tard ; si cela persiste, prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The downloaded package is not signed by a key this computer trusts, so it was deleted. Tell the maker.</source>
        <translation>Le paquet téléchargé n&apos;est pas signé par une clé en laquelle cet ordinateur a confiance : il a été supprimé. Prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The downloaded package could not be kept in this user&apos;s cache folder (~/.cache/ventaro-update). Check that the folder is yours and the disk has room, then try again.</source>
        <translation>Le paquet téléchargé n&apos;a pas pu être gardé dans le dossier de cache de cet utilisateur (~/.cache/ventaro-update). Vérifiez que ce dossier est le vôtre et que le disque a de la place, puis réessayez.</translation>
    </message>
    <message>
        <source>The download was cancelled; nothing was kept.</source>
        <translation>Le téléchargement a été annulé ; rien n&apos;a été gardé.</translation>
    </message>
    <message>
        <source>The maker&apos;s server could not be reached, or the transfer broke off. Check your network connection, then check again.</source>
        <translation>Le serveur du fabricant est injoignable, ou le transfert s&apos;est interrompu. Vérifiez votre connexion réseau, puis vérifiez à nouveau.</translation>
    </message>
    <message>
        <source>%1 firmware %2 (%3) is available.</source>
        <translation>Le firmware %1 %2 (%3) est disponible.</translation>
    </message>
    <message>
        <source>Your firmware is up to date: the maker lists nothing newer than what this computer installed.</source>
        <translation>Votre firmware est à jour : le fabricant ne propose rien de plus récent que ce que cet ordinateur a installé.</translation>
    </message>
    <message>
        <source>The list of firmware was refused: it is older (number %1) than one already read (number %2), so someone may be sending an old list again. Check again later; if this stays, tell the maker.</source>
        <translation>La liste des firmwares a été refusée : elle est plus ancienne (numéro %1) qu&apos;une liste déjà lue (numéro %2) ; quelqu&apos;un renvoie peut-être une ancienne liste. Vérifiez à nouveau plus tard ; si cela persiste, prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The list of firmware is out of date (it expired on %1); the maker&apos;s server may be stale or held back.</source>
        <translation>La liste des firmwares est périmée (elle a expiré le %1) ; le serveur du fabricant n&apos;est peut-être pas à jour, ou est retenu.</translation>
    </message>
    <message>
        <source>The list of firmware says it was made on %1, more than a day from now: this computer&apos;s clock may be wrong. Set its date and time, then check again.</source>
        <translation>La liste des firmwares dit avoir été faite le %1, plus d&apos;un jour après maintenant : l&apos;horloge de cet ordinateur est peut-être fausse. Réglez sa date et son heure, puis vérifiez à nouveau.</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>About %1</source>
        <translation>À propos de %1</translation>
    </message>
    <message>
        <source>Quit %1</source>
        <translation>Quitter %1</translation>
    </message>
    <message>
        <source>Close Window</source>
        <translation>Fermer la fenêtre</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Rétablir</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Couper</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copier</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Coller</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Supprimer</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Tout sélectionner</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <source>%1 Help</source>
        <translation>Aide de %1</translation>
    </message>
    <message>
        <source>Log Console</source>
        <translation>Journal</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Mettre à jour</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Open another update…</source>
        <translation>Ouvrir une autre mise à jour…</translation>
    </message>
    <message>
        <source>Preparing the update…</source>
        <translation>Préparation de la mise à jour…</translation>
    </message>
    <message>
        <source>%1 v%2 Update</source>
        <translation>Mise à jour %1 v%2</translation>
    </message>
    <message>
        <source>Version %1 (%2)</source>
        <translation>Version %1 (%2)</translation>
    </message>
    <message>
        <source>Unable to read the contents of the update</source>
        <translation>Impossible de lire le contenu de la mise à jour</translation>
    </message>
    <message>
        <source>The update file is invalid or could have been corrupted. Please download it again from https://www.zalmir.example.</source>
        <translation>Le fichier de mise à jour n&apos;est pas valide ou a pu être endommagé. Veuillez le télécharger de nouveau depuis https://www.zalmir.example.</translation>
    </message>
    <message>
        <source>Update successful</source>
        <translation>Mise à jour réussie</translation>
    </message>
    <message>
        <source>Update my %1</source>
        <translation>Mettre à jour mon %1</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Terminer</translation>
    </message>
    <message>
        <source>Update canceled</source>
        <translation>Mise à jour annulée</translation>
    </message>
    <message>
        <source>Update failed</source>
        <translation>Échec de la mise à jour</translation>
    </message>
    <message>
        <source>Need help? Click Help.</source>
        <comment>ZALUpdateClickHelp</comment>
        <translation>Besoin d&apos;aide ? Cliquez sur Aide.</translation>
    </message>
    <message>
        <source>Your device has been updated. You can disconnect it and play.</source>
        <comment>ZALUpdateSuccessMessage</comment>
        <translation>Votre appareil a été mis à jour. Vous pouvez le débrancher et jouer.</translation>
    </message>
    <message>
        <source>Your Ventaro and your Ruvo receiver have both been updated. You can disconnect them and play.</source>
        <comment>ZALUpdateSuccessMessageBoth</comment>
        <translation>Votre Ventaro et votre boîtier Ruvo ont tous deux été mis à jour. Vous pouvez les débrancher et jouer.</translation>
    </message>
    <message>
        <source>Your device has been updated. This update also holds firmware for your %1: connect it now to update it too.</source>
        <comment>ZALUpdateSuccessMessageWithCounterpart</comment>
        <translation>Votre appareil a été mis à jour. Cette mise à jour contient aussi le firmware de votre %1 : branchez-le maintenant pour le mettre à jour lui aussi.</translation>
    </message>
    <message>
        <source>The update was stopped before the end. Your device will start in its updater: run the update again to finish it.</source>
        <comment>ZALUpdateCancelMessage</comment>
        <translation>La mise à jour a été interrompue avant la fin. Votre appareil démarrera dans son programme de mise à jour : relancez la mise à jour pour la terminer.</translation>
    </message>
    <message>
        <source>Disconnect your device, connect it again and run the update once more: it will finish the job. If it still fails, click Troubleshooting.</source>
        <comment>ZALUpdateErrorMessage</comment>
        <translation>Débranchez votre appareil, rebranchez-le et relancez la mise à jour : elle ira jusqu&apos;au bout. Si l&apos;échec persiste, cliquez sur Dépannage.</translation>
    </message>
    <message>
        <source>Which device is connected?</source>
        <comment>ZALIsThisVentaroTitle</comment>
        <translation>Quel appareil est branché ?</translation>
    </message>
    <message>
        <source>This device is waiting for its firmware but does not say which one it is. Choose the device you connected.</source>
        <comment>ZALIsThisVentaroMessage</comment>
        <translation>Cet appareil attend son firmware mais n&apos;indique pas de quel appareil il s&apos;agit. Choisissez l&apos;appareil que vous avez branché.</translation>
    </message>
    <message>
        <source>https://support.zalmir.example/ventaro/update-troubleshooting</source>
        <comment>ZALTroubleshootingURL</comment>
        <translation>https://support.zalmir.example/fr/ventaro/depannage-mise-a-jour</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>À propos de Qt</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progression</translation>
    </message>
    <message>
        <source>Release notes</source>
        <translation>Notes de version</translation>
    </message>
    <message>
        <source>Updates the firmware of the Ventaro and of its Ruvo receiver.

Version %1
© 2026 Zalmir Instruments. Free software under the MIT licence.</source>
        <comment>ZALAboutText</comment>
        <translation>Met à jour le firmware du Ventaro et de son boîtier Ruvo.

Version %1
© 2026 Zalmir Instruments. Logiciel libre sous licence MIT.</translation>
    </message>
    <message>
        <source>No update is open. Open the update file (its name ends in .zalmirupdate) that you downloaded for your Ventaro or your Ruvo receiver.</source>
        <comment>ZALNoPackageHint</comment>
        <translation>Aucune mise à jour n&apos;est ouverte. Ouvrez le fichier de mise à jour (son nom se termine par .zalmirupdate) que vous avez téléchargé pour votre Ventaro ou votre boîtier Ruvo.</translation>
    </message>
    <message>
        <source>Open Update Package…</source>
        <translation>Ouvrir une mise à jour…</translation>
    </message>
    <message>
        <source>Ventaro update packages (*.zalmirupdate)</source>
        <translation>Mises à jour Ventaro (*.zalmirupdate)</translation>
    </message>
    <message>
        <source>Troubleshooting</source>
        <translation>Dépannage</translation>
    </message>
    <message>
        <source>No web browser could be opened. The troubleshooting page is at:
%1</source>
        <comment>ZALNoBrowser</comment>
        <translation>Aucun navigateur web n&apos;a pu être ouvert. La page de dépannage se trouve à l&apos;adresse :
%1</translation>
    </message>
    <message>
        <source>An update is running. Quit anyway?</source>
        <comment>ZALQuitDuringUpdateTitle</comment>
        <translation>Une mise à jour est en cours. Quitter quand même ?</translation>
    </message>
    <message>
        <source>The device will finish its update the next time you run Update.</source>
        <comment>ZALQuitDuringUpdateMessage</comment>
        <translation>L&apos;appareil terminera sa mise à jour la prochaine fois que vous lancerez Mettre à jour.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Signed</source>
        <translation>Signé</translation>
    </message>
    <message>
        <source>Not signed</source>
        <translation>Non signé</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>É&amp;dition</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>Save Support Report…</source>
        <translation>Enregistrer un rapport d’assistance…</translation>
    </message>
    <message>
        <source>Text files (*.txt)</source>
        <translation>Fichiers texte (*.txt)</translation>
    </message>
    <message>
        <source>The support report could not be saved</source>
        <translation>Le rapport d’assistance n’a pas pu être enregistré</translation>
    </message>
    <message>
        <source>Update History</source>
        <translation>Historique des mises à jour</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Appareil</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Résultat</translation>
    </message>
    <message>
        <source>Updates made on this computer</source>
        <translation>Mises à jour faites sur cet ordinateur</translation>
    </message>
    <message>
        <source>Log of the selected update</source>
        <translation>Journal de la mise à jour choisie</translation>
    </message>
    <message>
        <source>Kept in %1</source>
        <translation>Conservé dans %1</translation>
    </message>
    <message>
        <source>Succeeded</source>
        <translation>Réussie</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Annulée</translation>
    </message>
    <message>
        <source>In progress</source>
        <translation>En cours</translation>
    </message>
    <message>
        <source>Interrupted (the program was stopped)</source>
        <translation>Interrompue (le programme a été arrêté)</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Échouée : %1</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Échouée</translation>
    </message>
    <message>
        <source>Not found</source>
        <translation>Non trouvé</translation>
    </message>
    <message>
        <source>%1 (USB port %2)</source>
        <translation>%1 (port USB %2)</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation>Fe&amp;nêtre</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Historique</translation>
    </message>
    <message>
        <source>Install this firmware all the same?</source>
        <translation>Installer ce firmware malgré tout ?</translation>
    </message>
    <message>
        <source>Install Anyway</source>
        <translation>Installer malgré tout</translation>
    </message>
    <message>
        <source>(The release notes go on beyond 256 KiB; the rest is not shown.)</source>
        <translation>(Les notes de version dépassent 256 Kio ; la suite n’est pas affichée.)</translation>
    </message>
    <message>
        <source>Could not check for firmware updates</source>
        <translation>Impossible de vérifier les mises à jour du firmware</translation>
    </message>
    <message>
        <source>No newer firmware</source>
        <translation>Aucun firmware plus récent</translation>
    </message>
    <message>
        <source>The open package holds the newest firmware the maker lists.</source>
        <translation>Le paquet ouvert contient le firmware le plus récent que le fabricant propose.</translation>
    </message>
    <message>
        <source>The firmware could not be downloaded</source>
        <translation>Le firmware n’a pas pu être téléchargé</translation>
    </message>
    <message>
        <source>Check for firmware updates automatically?</source>
        <translation>Rechercher automatiquement les mises à jour du firmware ?</translation>
    </message>
    <message>
        <source>Once a day, the maker&apos;s list of firmware is read, and this window tells you when newer firmware is available. Nothing about you or your devices is sent.</source>
        <translation>Une fois par jour, la liste des firmwares du fabricant est lue, et cette fenêtre vous indique quand un firmware plus récent est disponible. Rien sur vous ni sur vos appareils n’est envoyé.</translation>
    </message>
    <message>
        <source>Check Daily</source>
        <translation>Vérifier chaque jour</translation>
    </message>
    <message>
        <source>Only When I Ask</source>
        <translation>Seulement quand je le demande</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Télécharger</translation>
    </message>
    <message>
        <source>Check for Firmware Updates…</source>
        <translation>Rechercher des mises à jour du firmware…</translation>
    </message>
</context>
</TS>
