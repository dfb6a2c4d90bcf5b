<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>Messages</name>
    <message>
        <source>About %@</source>
        <translation>About %@</translation>
    </message>
    <message>
        <source>Quit %@</source>
        <translation>Quit %@</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Close Window</source>
        <translation>Close Window</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>%@ Help</source>
        <translation>%@ Help</translation>
    </message>
    <message>
        <source>Log Console</source>
        <translation>Log Console</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Open another update…</source>
        <translation>Open another update…</translation>
    </message>
    <message>
        <source>Preparing the update…</source>
        <translation>Preparing the update…</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>An error has occurred during the update.</source>
        <translation>An error has occurred during the update.</translation>
    </message>
    <message>
        <source>%s v%s Update</source>
        <translation>%s v%s Update</translation>
    </message>
    <message>
        <source>Version %s (%s)</source>
        <translation>Version %s (%s)</translation>
    </message>
    <message>
        <source>Unable to read the contents of the update</source>
        <translation>Unable to read the contents of the update</translation>
    </message>
    <message>
        <source>The update file is invalid or could have been corrupted. Please download it again from https://www.zalmir.example.</source>
        <translation>The update file is invalid or could have been corrupted. Please download it again from https://www.zalmir.example.</translation>
    </message>
    <message>
        <source>Update successful</source>
        <translation>Update successful</translation>
    </message>
    <message>
        <source>Update my %s</source>
        <translation>Update my %s</translation>
    </message>
    <message>
        <source>End</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Update canceled</source>
        <translation>Update canceled</translation>
    </message>
    <message>
        <source>Update failed</source>
        <translation>Update failed</translation>
    </message>
    <message>
        <source>Need help? Click Help.</source>
        <comment>ZALUpdateClickHelp</comment>
        <translation>Need help? Click Help.</translation>
    </message>
    <message>
        <source>Your device has been updated. You can disconnect it and play.</source>
        <comment>ZALUpdateSuccessMessage</comment>
        <translation>Your device has been updated. You can disconnect it and play.</translation>
    </message>
    <message>
        <source>Your Ventaro and your Ruvo receiver have both been updated. You can disconnect them and play.</source>
        <comment>ZALUpdateSuccessMessageBoth</comment>
        <translation>Your Ventaro and your Ruvo receiver have both been updated. You can disconnect them and play.</translation>
    </message>
    <message>
        <source>Your device has been updated. This update also holds firmware for your %s: connect it now to update it too.</source>
        <comment>ZALUpdateSuccessMessageWithCounterpart</comment>
        <translation>Your device has been updated. This update also holds firmware for your %s: connect it now to update it too.</translation>
    </message>
    <message>
        <source>The update was stopped before the end. Your device will start in its updater: run the update again to finish it.</source>
        <comment>ZALUpdateCancelMessage</comment>
        <translation>The update was stopped before the end. Your device will start in its updater: run the update again to finish it.</translation>
    </message>
    <message>
        <source>Disconnect your device, connect it again and run the update once more: it will finish the job. If it still fails, click Troubleshooting.</source>
        <comment>ZALUpdateErrorMessage</comment>
        <translation>Disconnect your device, connect it again and run the update once more: it will finish the job. If it still fails, click Troubleshooting.</translation>
    </message>
    <message>
        <source>Which device is connected?</source>
        <comment>ZALIsThisVentaroTitle</comment>
        <translation>Which device is connected?</translation>
    </message>
    <message>
        <source>This device is waiting for its firmware but does not say which one it is. Choose the device you connected.</source>
        <comment>ZALIsThisVentaroMessage</comment>
        <translation>This device is waiting for its firmware but does not say which one it is. Choose the device you connected.</translation>
    </message>
    <message>
        <source>https://support.zalmir.example/ventaro/update-troubleshooting</source>
        <comment>ZALTroubleshootingURL</comment>
        <translation>https://support.zalmir.example/ventaro/update-troubleshooting</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>About Qt</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Release notes</source>
        <translation>Release notes</translation>
    </message>
    <message>
        <source>Updates the firmware of the Ventaro and of its Ruvo receiver.

Version %@
© 2026 Zalmir Instruments. Free software under the MIT licence.</source>
        <comment>ZALAboutText</comment>
        <translation>Updates the firmware of the Ventaro and of its Ruvo receiver.

Version %@
© 2026 Zalmir Instruments. Free software under the MIT licence.</translation>
    </message>
    <message>
        <source>No update is open. Open the update file (its name ends in .zalmirupdate) that you downloaded for your Ventaro or your Ruvo receiver.</source>
        <comment>ZALNoPackageHint</comment>
        <translation>No update is open. Open the update file (its name ends in .zalmirupdate) that you downloaded for your Ventaro or your Ruvo receiver.</translation>
    </message>
    <message>
        <source>Open Update Package…</source>
        <translation>Open Update Package…</translation>
    </message>
    <message>
        <source>Ventaro update packages (*.zalmirupdate)</source>
        <translation>Ventaro update packages (*.zalmirupdate)</translation>
    </message>
    <message>
        <source>Troubleshooting</source>
        <translation>Troubleshooting</translation>
    </message>
    <message>
        <source>No web browser could be opened. The troubleshooting page is at:
%s</source>
        <comment>ZALNoBrowser</comment>
        <translation>No web browser could be opened. The troubleshooting page is at:
%s</translation>
    </message>
    <message>
        <source>An update is running. Quit anyway?</source>
        <comment>ZALQuitDuringUpdateTitle</comment>
        <translation>An update is running. Quit anyway?</translation>
    </message>
    <message>
        <source>The device will finish its update the next time you run Update.</source>
        <comment>ZALQuitDuringUpdateMessage</comment>
        <translation>The device will finish its update the next time you run Update.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>The connection with your device was lost: it may have been unplugged or turned off.</source>
        <comment>ZALFailureDisconnected</comment>
        <translation>The connection with your device was lost: it may have been unplugged or turned off.</translation>
    </message>
    <message>
        <source>Your device stopped answering during the update.</source>
        <comment>ZALFailureSilent</comment>
        <translation>Your device stopped answering during the update.</translation>
    </message>
    <message>
        <source>This update holds no firmware that fits the connected device.</source>
        <comment>ZALFailureNoFirmware</comment>
        <translation>This update holds no firmware that fits the connected device.</translation>
    </message>
    <message>
        <source>Your device reported a problem during the update.</source>
        <comment>ZALFailureDevice</comment>
        <translation>Your device reported a problem during the update.</translation>
    </message>
    <message>
        <source>This package was changed after it was signed. Download it again from the maker's web site.</source>
        <comment>ZALChangedPackage</comment>
        <translation>This package was changed after it was signed. Download it again from the maker's web site.</translation>
    </message>
    <message>
        <source>This package is not signed by a trusted key, and this computer accepts only signed packages.</source>
        <comment>ZALUnsignedRefused</comment>
        <translation>This package is not signed by a trusted key, and this computer accepts only signed packages.</translation>
    </message>
    <message>
        <source>Signed</source>
        <translation>Signed</translation>
    </message>
    <message>
        <source>Not signed</source>
        <translation>Not signed</translation>
    </message>
    <message>
        <source>Signed by %s</source>
        <translation>Signed by %s</translation>
    </message>
    <message>
        <source>key %s</source>
        <translation>key %s</translation>
    </message>
    <message>
        <source>This package is not signed.</source>
        <translation>This package is not signed.</translation>
    </message>
</context>
</TS>
