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
        <source>No Ventaro or Ruvo that this package has firmware for is connected.</source>
        <translation>Aucun Ventaro ni Ruvo pour lequel ce paquet contient un firmware n&apos;est branché.</translation>
    </message>
    <message>
        <source>usage: ventaro-update-cli inspect [--trust PUBLIC_KEY]... [--compact] PACKAGE
Describes an update package as one JSON object: product, version, release date, texts
by language, for each device its images and the plan of erase and write actions, and
its signature.

  --trust PUBLIC_KEY   trust this minisign public key too (may be repeated)
  --compact            on one line (the default when the output is not a terminal)
</source>
        <translation>utilisation : ventaro-update-cli inspect [--trust CLÉ_PUBLIQUE]... [--compact] PAQUET
Décrit un paquet de mise à jour en un objet JSON : produit, version, date de publication,
textes par langue, pour chaque appareil ses images et le plan des effacements et des
écritures, et sa signature.

  --trust CLÉ_PUBLIQUE fait aussi confiance à cette clé publique minisign (répétable)
  --compact            sur une ligne (par défaut quand la sortie n&apos;est pas un terminal)
</translation>
    </message>
    <message>
        <source>usage: ventaro-update-cli list [--json] [--simulate DEVICE]...
Lists every connected Ventaro and Ruvo: its kind, its state and its USB port.

  --json               as one JSON object
  --simulate DEVICE    lists simulated devices instead (may be repeated)
</source>
        <translation>utilisation : ventaro-update-cli list [--json] [--simulate APPAREIL]...
Liste chaque Ventaro et chaque Ruvo branché : son type, son état et son port USB.

  --json               en un objet JSON
  --simulate APPAREIL  liste plutôt des appareils simulés (répétable)
</translation>
    </message>
    <message>
        <source>usage: ventaro-update-cli history [--json] [--kind ventaro|ruvo] [--limit N]
       ventaro-update-cli history --log RUN
Lists the updates recorded on this computer, newest first, or prints one run&apos;s log.

  --json               as JSON
  --kind ventaro|ruvo  only the runs on this kind of device
  --limit N            at most N runs (20 by default, up to 1000)
  --log RUN            the whole log of run RUN (its number, as history shows it)
</source>
        <translation>utilisation : ventaro-update-cli history [--json] [--kind ventaro|ruvo] [--limit N]
              ventaro-update-cli history --log NUMÉRO
Liste les mises à jour enregistrées sur cet ordinateur, la plus récente d&apos;abord, ou affiche le journal de l&apos;une d&apos;elles.

  --json               en JSON
  --kind ventaro|ruvo  seulement les mises à jour de ce type d&apos;appareil
  --limit N            au plus N mises à jour (20 par défaut, jusqu&apos;à 1000)
  --log NUMÉRO         le journal entier de la mise à jour NUMÉRO (tel que history le montre)
</translation>
    </message>
    <message>
        <source>usage: ventaro-update-cli report [-o FILE]
Writes a support report: versions, the connected devices, the last runs and their logs.

  -o, --output FILE    into FILE, readable by you only, rather than on standard output
</source>
        <translation>utilisation : ventaro-update-cli report [-o FICHIER]
Écrit un rapport d&apos;assistance : versions, appareils branchés, dernières mises à jour et leurs journaux.

  -o, --output FICHIER dans FICHIER, lisible par vous seul, plutôt que sur la sortie standard
</translation>
    </message>
    <message>
        <source>Try &apos;ventaro-update-cli %1 --help&apos;.</source>
        <translation>Essayez « ventaro-update-cli %1 --help ».</translation>
    </message>
    <message>
        <source>No recorded run has the number %1: history lists them.</source>
        <translation>Aucune mise à jour enregistrée ne porte le numéro %1 : history les liste.</translation>
    </message>
    <message>
        <source>Check that this is the update package you downloaded, or download it again from the maker&apos;s web site.</source>
        <translation>Vérifiez qu&apos;il s&apos;agit bien du paquet de mise à jour téléchargé, ou téléchargez-le de nouveau depuis le site du fabricant.</translation>
    </message>
    <message>
        <source>unknown command</source>
        <translation>commande inconnue</translation>
    </message>
    <message>
        <source>left alone: the system does not tell its USB port, which a run follows.</source>
        <translation>laissé tel quel : le système ne dit pas son port USB, que suit une mise à jour.</translation>
    </message>
    <message>
        <source>left alone: a first-generation bootloader does not tell which device it is; give --kind ventaro or --kind ruvo to update it.</source>
        <translation>laissé tel quel : un bootloader de première génération ne dit pas de quel appareil il s&apos;agit ; ajoutez --kind ventaro ou --kind ruvo pour le mettre à jour.</translation>
    </message>
    <message>
        <source>left alone (%1): this package has no firmware for it.</source>
        <translation>laissé tel quel (%1) : ce paquet n&apos;a pas de firmware pour lui.</translation>
    </message>
    <message>
        <source>Connect one, turn it on, and run the update again.</source>
        <translation>Branchez-en un, allumez-le et relancez la mise à jour.</translation>
    </message>
    <message>
        <source>A first-generation bootloader is connected: it does not tell whether it is a Ventaro or a Ruvo receiver.</source>
        <translation>Un bootloader de première génération est branché : il ne dit pas s&apos;il s&apos;agit d&apos;un Ventaro ou d&apos;un boîtier Ruvo.</translation>
    </message>
    <message>
        <source>Give --kind ventaro or --kind ruvo to say which, and run the update again.</source>
        <translation>Ajoutez --kind ventaro ou --kind ruvo pour le dire, et relancez la mise à jour.</translation>
    </message>
    <message>
        <source>Is it a Ventaro (v) or a Ruvo receiver (r)? Any other answer cancels: </source>
        <translation>Est-ce un Ventaro (v) ou un boîtier Ruvo (r) ? Toute autre réponse annule : </translation>
    </message>
    <message>
        <source>Older firmware is installed only when you say so: run the update again with --allow-older.</source>
        <translation>Un firmware plus ancien n’est installé que si vous le demandez : relancez la mise à jour avec --allow-older.</translation>
    </message>
    <message>
        <source>%1.%2 s</source>
        <translation>%1,%2 s</translation>
    </message>
    <message>
        <source>--kind is ventaro or ruvo</source>
        <translation>--kind vaut ventaro ou ruvo</translation>
    </message>
    <message>
        <source>--limit takes a number from 1 to 1000</source>
        <translation>--limit prend un nombre de 1 à 1000</translation>
    </message>
    <message>
        <source>--log takes a run&apos;s number, as history shows it</source>
        <translation>--log prend le numéro d’une mise à jour, tel que history l’affiche</translation>
    </message>
    <message>
        <source>RUN</source>
        <translation>N°</translation>
    </message>
    <message>
        <source>STARTED</source>
        <translation>DÉBUT</translation>
    </message>
    <message>
        <source>DEVICE</source>
        <translation>APPAREIL</translation>
    </message>
    <message>
        <source>PORT</source>
        <translation>PORT</translation>
    </message>
    <message>
        <source>VERSION</source>
        <translation>VERSION</translation>
    </message>
    <message>
        <source>DURATION</source>
        <translation>DURÉE</translation>
    </message>
    <message>
        <source>OUTCOME</source>
        <translation>RÉSULTAT</translation>
    </message>
    <message>
        <source>%Y-%m-%d %H:%M</source>
        <translation>%d/%m/%Y %H:%M</translation>
    </message>
    <message>
        <source>unknown argument %1</source>
        <translation>argument inconnu %1</translation>
    </message>
    <message>
        <source>Support report written to %1</source>
        <translation>Rapport d’assistance écrit dans %1</translation>
    </message>
    <message>
        <source>Trusted keys: %1</source>
        <translation>Clés de confiance : %1</translation>
    </message>
    <message>
        <source>no package given</source>
        <translation>aucun paquet indiqué</translation>
    </message>
    <message>
        <source>list takes no --fault</source>
        <translation>list ne prend pas de --fault</translation>
    </message>
    <message>
        <source>No Ventaro or Ruvo is connected.</source>
        <translation>Aucun Ventaro ni Ruvo n’est branché.</translation>
    </message>
    <message>
        <source>(a first-generation bootloader: a Ventaro or a Ruvo; update it with --kind and --port)</source>
        <translation>(un bootloader de première génération : un Ventaro ou un Ruvo ; mettez-le à jour avec --kind et --port)</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 demande une valeur</translation>
    </message>
    <message>
        <source>--port takes a USB port path such as 1-1.4 (see list), not &apos;%1&apos;</source>
        <translation>--port prend le chemin d’un port USB, tel que 1-1.4 (voir list), et non « %1 »</translation>
    </message>
    <message>
        <source>unknown option %1</source>
        <translation>option inconnue %1</translation>
    </message>
    <message>
        <source>one package at a time</source>
        <translation>un seul paquet à la fois</translation>
    </message>
    <message>
        <source>--all and --port exclude each other</source>
        <translation>--all et --port s’excluent</translation>
    </message>
    <message>
        <source>--flash-in and --flash-out take one device</source>
        <translation>--flash-in et --flash-out ne valent que pour un appareil</translation>
    </message>
    <message>
        <source>--fault needs a --simulate before it</source>
        <translation>--fault demande un --simulate avant lui</translation>
    </message>
    <message>
        <source>several --simulate need --all</source>
        <translation>plusieurs --simulate demandent --all</translation>
    </message>
    <message>
        <source>--fault, --flash-in and --flash-out need --simulate</source>
        <translation>--fault, --flash-in et --flash-out demandent --simulate</translation>
    </message>
    <message>
        <source>--simulate %1 is not a %2</source>
        <translation>--simulate %1 n’est pas un %2</translation>
    </message>
    <message>
        <source>a flash image is exactly 1048576 bytes</source>
        <translation>une image de la flash fait exactement 1048576 octets</translation>
    </message>
    <message>
        <source>%Y-%m-%d</source>
        <translation>%d/%m/%Y</translation>
    </message>
    <message>
        <source>%1 needs a file</source>
        <translation>%1 attend un fichier</translation>
    </message>
    <message>
        <source>unexpected argument %1</source>
        <translation>argument inattendu %1</translation>
    </message>
    <message>
        <source>--verbose and --quiet exclude each other</source>
        <translation>--verbose et --quiet s’excluent</translation>
    </message>
    <message>
        <source>usage: ventaro-update-cli check [--json] [--feed URL] [--trust-feed PUBLIC_KEY]... [--ca-file FILE]
Tells which newer firmware the maker&apos;s feed lists for the Ventaro and the Ruvo.

  --json                  as one JSON object
  --feed URL              this feed rather than the computer&apos;s feed-url setting
  --trust-feed PUBLIC_KEY trust this minisign feed key too (may be repeated)
  --ca-file FILE          the certificate authority of a local mirror
Exit status: 0 nothing newer, 100 newer firmware is listed, 1 the feed could not be
checked or was refused, 2 usage error.
</source>
        <translation>utilisation : ventaro-update-cli check [--json] [--feed URL] [--trust-feed CLÉ_PUBLIQUE]... [--ca-file FICHIER]
Dit quel firmware plus récent le flux du fabricant liste pour le Ventaro et le Ruvo.

  --json                  en un objet JSON
  --feed URL              ce flux plutôt que le réglage feed-url de l&apos;ordinateur
  --trust-feed CLÉ_PUBLIQUE fait aussi confiance à cette clé de flux minisign (répétable)
  --ca-file FICHIER       l&apos;autorité de certification d&apos;un miroir local
Code de sortie : 0 rien de plus récent, 100 un firmware plus récent est listé, 1 le flux n&apos;a pas
pu être vérifié ou a été refusé, 2 erreur d&apos;utilisation.
</translation>
    </message>
    <message>
        <source>usage: ventaro-update-cli update [OPTION]... PACKAGE | --latest
Updates a connected Ventaro or Ruvo receiver with the firmware in PACKAGE.

  --kind ventaro|ruvo  the device to update; says what a first-generation bootloader is
  --port USB-PORT      the device plugged into this port, as list shows it (1-1.4)
  --all                every connected device the package has firmware for, at once
  --trust PUBLIC_KEY   trust this minisign public key too (may be repeated)
  --require-signature  refuse unsigned packages and unknown signers
  --allow-older        install firmware older than the one installed
  --latest             the newest firmware the maker&apos;s feed lists, downloaded and checked,
                       instead of PACKAGE (with check&apos;s --feed, --trust-feed, --ca-file)
  --json               one JSON event per line on standard output
  --verbose            the update&apos;s log too, on standard error
  --quiet              nothing but errors
Exit status: 0 success, 1 failure, 2 usage error, 130 cancelled.

Simulation, to try the updater without a device:
  --simulate DEVICE    a simulated device on USB port 1-1 rather than the computer&apos;s;
                       with --all, repeated: 1-1, 1-2...
  --fault FAULT        a fault of the simulated device named before it (may be repeated)
  --flash-in FILE      the simulated device&apos;s 1 MiB flash, read before the run
  --flash-out FILE     and written after it
  --record             records the simulated run in the update history too
DEVICE: ventaro, ruvo, ruvo-unnamed, ventaro-bootloader, ruvo-bootloader, v1-bootloader
FAULT: unplug-at-request, unplug-at-stage2, unplug-at-roundtrip:K, no-answer:K, wrong-answer:K,
       power-cut:K, late-answer:K, duplicate-answer:K, short-answer:K, short-info,
       slow-erase:MS, slow-enumeration:MS, refuse-open:MS, stage2-error:TEXT, stage2-stall[:K],
       refuse-send (K: a HID roundtrip counted from 0, MS: milliseconds)
</source>
        <translation>utilisation : ventaro-update-cli update [OPTION]... PAQUET | --latest
Met à jour un Ventaro ou un boîtier Ruvo branché avec le firmware du PAQUET.

  --kind ventaro|ruvo  l&apos;appareil à mettre à jour ; dit ce qu&apos;est un bootloader de première génération
  --port PORT-USB      l&apos;appareil branché sur ce port, tel que list le montre (1-1.4)
  --all                tous les appareils branchés pour lesquels le paquet a un firmware, à la fois
  --trust CLÉ_PUBLIQUE fait aussi confiance à cette clé publique minisign (répétable)
  --require-signature  refuse les paquets non signés et les signataires inconnus
  --allow-older        installe un firmware plus ancien que celui installé
  --latest             le firmware le plus récent que liste le flux du fabricant, téléchargé et vérifié,
                       au lieu du PAQUET (avec --feed, --trust-feed, --ca-file, comme pour check)
  --json               un événement JSON par ligne sur la sortie standard
  --verbose            le journal de la mise à jour aussi, sur la sortie d&apos;erreur
  --quiet              rien d&apos;autre que les erreurs
Code de sortie : 0 réussite, 1 échec, 2 erreur d&apos;utilisation, 130 annulation.

Simulation, pour essayer le programme sans appareil :
  --simulate APPAREIL  un appareil simulé sur le port USB 1-1 au lieu de ceux de l&apos;ordinateur ;
                       avec --all, répétable : 1-1, 1-2...
  --fault DÉFAUT       un défaut de l&apos;appareil simulé nommé avant lui (répétable)
  --flash-in FICHIER   la mémoire flash de 1 Mio de l&apos;appareil simulé, lue avant la mise à jour
  --flash-out FICHIER  et écrite après
  --record             enregistre aussi la mise à jour simulée dans l&apos;historique
APPAREIL : ventaro, ruvo, ruvo-unnamed, ventaro-bootloader, ruvo-bootloader, v1-bootloader
DÉFAUT : unplug-at-request, unplug-at-stage2, unplug-at-roundtrip:K, no-answer:K, wrong-answer:K,
         power-cut:K, late-answer:K, duplicate-answer:K, short-answer:K, short-info,
         slow-erase:MS, slow-enumeration:MS, refuse-open:MS, stage2-error:TEXTE, stage2-stall[:K],
         refuse-send (K : un aller-retour HID compté depuis 0, MS : des millisecondes)
</translation>
    </message>
    <message>
        <source>usage: ventaro-update-cli COMMAND [OPTION]...
Updates the firmware of the Ventaro and of its Ruvo receiver.

Commands:
  inspect   describes an update package
  list      lists the connected Ventaro and Ruvo
  check     tells which newer firmware the maker&apos;s feed lists
  update    updates a connected device
  history   lists the updates recorded on this computer, or prints one&apos;s log
  report    writes a support report

&apos;ventaro-update-cli COMMAND --help&apos; describes a command; --version prints the version.
</source>
        <translation>utilisation : ventaro-update-cli COMMANDE [OPTION]...
Met à jour le firmware du Ventaro et de son boîtier Ruvo.

Commandes :
  inspect   décrit un paquet de mise à jour
  list      liste les Ventaro et Ruvo branchés
  check     dit quel firmware plus récent le flux du fabricant liste
  update    met à jour un appareil branché
  history   liste les mises à jour enregistrées sur cet ordinateur, ou affiche le journal de l&apos;une d&apos;elles
  report    écrit un rapport d&apos;assistance

« ventaro-update-cli COMMANDE --help » décrit une commande ; --version affiche la version.
</translation>
    </message>
    <message>
        <source>give a package or --latest, not both</source>
        <translation>donnez un paquet ou --latest, pas les deux</translation>
    </message>
    <message>
        <source>--latest updates one device</source>
        <translation>--latest met à jour un seul appareil</translation>
    </message>
    <message>
        <source>Trusted feed keys: %1</source>
        <translation>Clés de confiance du flux : %1</translation>
    </message>
    <message>
        <source>This key could not be read: %1</source>
        <translation>Cette clé n&apos;a pas pu être lue : %1</translation>
    </message>
    <message>
        <source>Check the name of the key file given with --trust or --trust-feed, or ask the maker for the key again.</source>
        <translation>Vérifiez le nom du fichier de clé donné avec --trust ou --trust-feed, ou redemandez la clé au fabricant.</translation>
    </message>
    <message>
        <source>The support report could not be written to %1 (%2).</source>
        <translation>Le rapport d&apos;assistance n&apos;a pas pu être écrit dans %1 (%2).</translation>
    </message>
    <message>
        <source>Choose a folder you can write to with -o, or leave -o out to print the report.</source>
        <translation>Choisissez avec -o un dossier où vous pouvez écrire, ou omettez -o pour afficher le rapport.</translation>
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
        <source>Disconnect your device, connect it again and run the update once more: it will finish the job.</source>
        <translation>Débranchez votre appareil, rebranchez-le et relancez la mise à jour : elle terminera le travail.</translation>
    </message>
    <message>
        <source>The update succeeded.</source>
        <translation>La mise à jour a réussi.</translation>
    </message>
    <message>
        <source>The update was cancelled.</source>
        <translation>La mise à jour a été annulée.</translation>
    </message>
    <message>
        <source>The update is still running.</source>
        <translation>La mise à jour est encore en cours.</translation>
    </message>
    <message>
        <source>The update was interrupted: the program was stopped.</source>
        <translation>La mise à jour a été interrompue : le programme a été arrêté.</translation>
    </message>
    <message>
        <source>This package is older than the firmware installed on your %1 (USB port %2) on %3 (%4).</source>
        <translation>Ce paquet est plus ancien que le firmware installé sur votre %1 (port USB %2) le %3 (%4).</translation>
    </message>
    <message>
        <source>This package is older than the firmware installed on your %1 on %2 (%3).</source>
        <translation>Ce paquet est plus ancien que le firmware installé sur votre %1 le %2 (%3).</translation>
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
        <source>Firmware does not fit the target product.</source>
        <translation>Le firmware ne convient pas au produit visé.</translation>
    </message>
    <message>
        <source>Could not unzip the data.</source>
        <translation>Impossible de décompresser les données.</translation>
    </message>
    <message>
        <source>The update package is larger than 32 MiB.</source>
        <translation>Le paquet de mise à jour dépasse 32 Mio.</translation>
    </message>
    <message>
        <source>The package holds more than 64 MiB of data.</source>
        <translation>Le paquet contient plus de 64 Mio de données.</translation>
    </message>
    <message>
        <source>No info file found in update.</source>
        <translation>Aucun fichier d’informations dans la mise à jour.</translation>
    </message>
    <message>
        <source>Could not parse the INI text.</source>
        <translation>Impossible de lire le texte INI.</translation>
    </message>
    <message>
        <source>Wrong format for info file in update.</source>
        <translation>Le fichier d’informations de la mise à jour est mal formé.</translation>
    </message>
    <message>
        <source>No product info found.</source>
        <translation>Aucune information de produit trouvée.</translation>
    </message>
    <message>
        <source>No version info found.</source>
        <translation>Aucune information de version trouvée.</translation>
    </message>
    <message>
        <source>No update data found.</source>
        <translation>Aucune donnée de mise à jour trouvée.</translation>
    </message>
    <message>
        <source>Firmware data does not fit the target product.</source>
        <translation>Les données du firmware ne conviennent pas au produit visé.</translation>
    </message>
    <message>
        <source>The update would overwrite the device&apos;s bootloader.</source>
        <translation>La mise à jour écraserait le bootloader de l’appareil.</translation>
    </message>
    <message>
        <source>Could not write a HID report.</source>
        <translation>Impossible d’écrire un rapport HID.</translation>
    </message>
    <message>
        <source>Could not read a HID report.</source>
        <translation>Impossible de lire un rapport HID.</translation>
    </message>
    <message>
        <source>No HID packet received after timeout.</source>
        <translation>Aucun paquet HID reçu dans le délai.</translation>
    </message>
    <message>
        <source>Unable to connect to HID device.</source>
        <translation>Impossible de se connecter au périphérique HID.</translation>
    </message>
    <message>
        <source>Invalid bootloader info data.</source>
        <translation>Données d’informations du bootloader invalides.</translation>
    </message>
    <message>
        <source>Invalid bootloader info.</source>
        <translation>Informations du bootloader invalides.</translation>
    </message>
    <message>
        <source>Wrong response in HID report.</source>
        <translation>Réponse erronée dans un rapport HID.</translation>
    </message>
    <message>
        <source>Could not connect to MIDI device.</source>
        <translation>Impossible de se connecter au périphérique MIDI.</translation>
    </message>
    <message>
        <source>Could not send a MIDI SysEx.</source>
        <translation>Impossible d’envoyer un SysEx MIDI.</translation>
    </message>
    <message>
        <source>No firmware found.</source>
        <translation>Aucun firmware trouvé.</translation>
    </message>
    <message>
        <source>Device disconnected.</source>
        <translation>Appareil débranché.</translation>
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
        <source>The list of firmware is out of date (it expired on %1); the maker&apos;s server may be stale or held back. Check again later; if this stays, tell the maker.</source>
        <translation>La liste des firmwares est périmée (elle a expiré le %1) ; le serveur du fabricant n&apos;est peut-être pas à jour, ou est retenu. Vérifiez à nouveau plus tard ; si cela persiste, prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The list of firmware says it was made on %1, more than a day from now: this computer&apos;s clock may be wrong. Set its date and time, then check again.</source>
        <translation>La liste des firmwares dit avoir été faite le %1, plus d&apos;un jour après maintenant : l&apos;horloge de cet ordinateur est peut-être fausse. Réglez sa date et son heure, puis vérifiez à nouveau.</translation>
    </message>
    <message>
        <source>The list of firmware was changed after the maker signed it, or its signature is damaged, so it was not believed. Check again later; if this stays, tell the maker.</source>
        <translation>La liste des firmwares a été modifiée après que le fabricant l&apos;a signée, ou sa signature est abîmée : elle n&apos;a pas été crue. Vérifiez à nouveau plus tard ; si cela persiste, prévenez le fabricant.</translation>
    </message>
    <message>
        <source>The list of firmware, or a package it names, is not where its address says. Check its address (feed-url= in /etc/ventaro-update/ventaro-update.conf), then check again; if this stays, tell the maker.</source>
        <translation>La liste des firmwares, ou un paquet qu&apos;elle nomme, n&apos;est pas là où son adresse le dit. Vérifiez son adresse (feed-url= dans /etc/ventaro-update/ventaro-update.conf), puis vérifiez à nouveau ; si cela persiste, prévenez le fabricant.</translation>
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
        <source>The simulated device: %1.</source>
        <translation>L&apos;appareil simulé : %1.</translation>
    </message>
    <message>
        <source>A fault of the simulated device (ventaro-update-cli update --help lists them).</source>
        <translation>Un défaut de l&apos;appareil simulé (ventaro-update-cli update --help les liste).</translation>
    </message>
    <message>
        <source>Starts an update at once, and quits two seconds after it ends (status 0 for a success).</source>
        <translation>Lance une mise à jour aussitôt, et quitte deux secondes après sa fin (code 0 pour une réussite).</translation>
    </message>
    <message>
        <source>Writes the simulated device&apos;s flash into FILE at the end.</source>
        <translation>Écrit à la fin la mémoire flash de l&apos;appareil simulé dans FILE.</translation>
    </message>
    <message>
        <source>Records the simulated runs in the update history.</source>
        <translation>Enregistre les mises à jour simulées dans l&apos;historique.</translation>
    </message>
    <message>
        <source>Updates the firmware of the Ventaro and of its Ruvo receiver.</source>
        <translation>Met à jour le firmware du Ventaro et de son boîtier Ruvo.</translation>
    </message>
    <message>
        <source>The update package to open.</source>
        <translation>Le paquet de mise à jour à ouvrir.</translation>
    </message>
    <message>
        <source>Support report saved</source>
        <translation>Rapport d’assistance enregistré</translation>
    </message>
    <message>
        <source>%1 version %2</source>
        <translation>%1 version %2</translation>
    </message>
    <message>
        <source>Save…</source>
        <translation>Enregistrer…</translation>
    </message>
    <message>
        <source>Log saved</source>
        <translation>Journal enregistré</translation>
    </message>
    <message>
        <source>The log could not be saved</source>
        <translation>Le journal n’a pas pu être enregistré</translation>
    </message>
    <message>
        <source>It is in %1.</source>
        <translation>Il se trouve dans %1.</translation>
    </message>
    <message>
        <source>Show in Folder</source>
        <translation>Afficher dans le dossier</translation>
    </message>
    <message>
        <source>No update is open. An update package is the file, its name ending in .zalmirupdate, that holds new firmware for your Ventaro and your Ruvo receiver: download it from the maker&apos;s web site, then open it here.</source>
        <comment>ZALNoPackageHint</comment>
        <translation>Aucune mise à jour n’est ouverte. Une mise à jour est le fichier, dont le nom se termine par .zalmirupdate, qui contient le nouveau firmware de votre Ventaro et de votre boîtier Ruvo : téléchargez-la sur le site web du fabricant, puis ouvrez-la ici.</translation>
    </message>
    <message>
        <source>Ventaro Update</source>
        <translation>Mise à jour Ventaro</translation>
    </message>
    <message>
        <source>%1 is already running; its window was brought to the front.</source>
        <translation>%1 est déjà ouvert ; sa fenêtre a été mise au premier plan.</translation>
    </message>
    <message>
        <source>%1 is already running; the package&apos;s path is too long to hand over; open the package from its window.</source>
        <translation>%1 est déjà ouvert ; le chemin du paquet est trop long pour lui être transmis ; ouvrez le paquet depuis sa fenêtre.</translation>
    </message>
    <message>
        <source>%1 is already running; it is updating a device and did not take the package; open it once the update has ended.</source>
        <translation>%1 est déjà ouvert ; il met à jour un appareil et n’a pas pris le paquet ; ouvrez-le une fois la mise à jour terminée.</translation>
    </message>
    <message>
        <source>%1 is already running; the package was handed to it.</source>
        <translation>%1 est déjà ouvert ; le paquet lui a été transmis.</translation>
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
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Displays help on commandline options.</source>
        <translation>Affiche l&apos;aide des options de la ligne de commande.</translation>
    </message>
    <message>
        <source>Displays help including Qt specific options.</source>
        <translation>Affiche l&apos;aide, options propres à Qt comprises.</translation>
    </message>
</context>
</TS>
