<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<!-- A third language for the tests, partly translated: adding a language is
     adding its catalogue beside the others in app/translations. -->
<context>
    <name>Engine</name>
    <message>
        <source>Connect your Ventaro</source>
        <translation>Schließen Sie Ihren Ventaro an</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>%1 version %2</source>
        <translation>%1 Version %2</translation>
    </message>
    <message>
        <source>Need help? Click Help.</source>
        <comment>ZALUpdateClickHelp</comment>
        <translation>Hilfe nötig? Klicken Sie auf Hilfe.</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
</context>
</TS>
