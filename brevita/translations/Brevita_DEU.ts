<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>Brevita</name>
    <message>
        <source>Error %1 (%2) in procedure %3 of Form %4</source>
        <translation>Fehler %1 (%2) in Prozedur %3 von Formular %4</translation>
    </message>
    <message>
        <source>(error):%1 (%2) in procedure %3 of Module %4</source>
        <translation>(Fehler):%1 (%2) in Prozedur %3 von Modul %4</translation>
    </message>
    <message>
        <source>Trim process complete.  %1 voice names updated and %2 greetings updated.
%3 error(s) encountered.
View log file now?</source>
        <translation>Kürzen abgeschlossen.  %1 Namensansagen und %2 Begrüßungen geändert.
%3 Fehler aufgetreten.
Protokolldatei jetzt anzeigen?</translation>
    </message>
    <message>
        <source>File silence trimmed - the resulting trimmed WAV file can be found at %1</source>
        <translation>Stille der Datei gekürzt - die gekürzte WAV-Datei liegt unter %1</translation>
    </message>
    <message>
        <source>No silence detected on file - the resulting WAV file can be found at %1</source>
        <translation>Keine Stille in der Datei erkannt - die WAV-Datei liegt unter %1</translation>
    </message>
    <message>
        <source>You must enter a number between %1 and %2</source>
        <translation>Geben Sie eine Zahl zwischen %1 und %2 ein</translation>
    </message>
    <message>
        <source>could not find stream files folder: %1</source>
        <translation>Ordner „Stream Files“ nicht gefunden: %1</translation>
    </message>
    <message>
        <source>Error in MyIsNumber function:%1</source>
        <translation>Fehler in der Funktion MyIsNumber:%1</translation>
    </message>
    <message>
        <source>Error in InitalizeLanguages: %1</source>
        <translation>Fehler in InitalizeLanguages: %1</translation>
    </message>
    <message>
        <source>Error in FormLoad routine:%1</source>
        <translation>Fehler in der Routine FormLoad:%1</translation>
    </message>
    <message>
        <source>No field named %1</source>
        <translation>Kein Feld namens %1</translation>
    </message>
    <message>
        <source>Invalid procedure name %1</source>
        <translation>Ungültiger Prozedurname %1</translation>
    </message>
    <message>
        <source>No procedure named %1 with parameters</source>
        <translation>Keine Prozedur namens %1 mit Parametern</translation>
    </message>
    <message>
        <source>Procedure %1 has no parameter %2</source>
        <translation>Prozedur %1 hat keinen Parameter %2</translation>
    </message>
    <message>
        <source>This tool only works with Corvox 4.0(2) or later</source>
        <translation>Dieses Programm arbeitet nur mit Corvox 4.0(2) oder neuer</translation>
    </message>
    <message>
        <source>This tool cannot be run via a Terminal Services session since it accesses a WAV driver.  You will need to run it locally.</source>
        <translation>Dieses Programm kann nicht in einer Terminaldienste-Sitzung laufen, da es auf einen WAV-Treiber zugreift.  Starten Sie es direkt am Server.</translation>
    </message>
    <message>
        <source>Could not find install path for local Corvox install.</source>
        <translation>Der Installationspfad der lokalen Corvox-Installation wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>You must select to trim either voice names or greetings or both</source>
        <translation>Wählen Sie Namensansagen, Begrüßungen oder beides zum Kürzen aus</translation>
    </message>
    <message>
        <source>You must select a backup destination for prompts and greetings</source>
        <translation>Wählen Sie ein Sicherungsziel für Ansagen und Begrüßungen aus</translation>
    </message>
    <message>
        <source>Are you sure you want to trim silence on all voice names and/or greetings on the local system?</source>
        <translation>Soll die Stille in allen Namensansagen und/oder Begrüßungen auf diesem System wirklich gekürzt werden?</translation>
    </message>
    <message>
        <source>Since one or more voice names were updated, synchronizations to the directory were requested for those users.  This process may take a while to complete in the background.</source>
        <translation>Da Namensansagen geändert wurden, wurde für diese Teilnehmer ein Abgleich mit dem Verzeichnis angefordert.  Er kann im Hintergrund eine Weile dauern.</translation>
    </message>
    <message>
        <source>No subscribers with voice names found on the local server</source>
        <translation>Auf dem lokalen Server wurden keine Teilnehmer mit Namensansage gefunden</translation>
    </message>
    <message>
        <source>No greetings found on the local server</source>
        <translation>Auf dem lokalen Server wurden keine Begrüßungen gefunden</translation>
    </message>
    <message>
        <source>There are greetings and voice names already in that directory - write over them?</source>
        <translation>In diesem Ordner liegen schon Begrüßungen und Namensansagen - überschreiben?</translation>
    </message>
    <message>
        <source>You must select a backup folder to restore from</source>
        <translation>Wählen Sie den Sicherungsordner aus, aus dem wiederhergestellt werden soll</translation>
    </message>
    <message>
        <source>The backup folder selected does not contain any files to restore</source>
        <translation>Der gewählte Sicherungsordner enthält keine Dateien zum Wiederherstellen</translation>
    </message>
    <message>
        <source>The selected backup folder does not contain the Stream Files directory to restore</source>
        <translation>Der gewählte Sicherungsordner enthält keinen Ordner „Stream Files“ zum Wiederherstellen</translation>
    </message>
    <message>
        <source>Are you sure you want to restore the greetings and voice names from the backup directory onto the live system?</source>
        <translation>Sollen die Begrüßungen und Namensansagen wirklich aus dem Sicherungsordner auf das laufende System zurückgespielt werden?</translation>
    </message>
    <message>
        <source>Restore complete.  A full directory synch has been requested - it may take a while to run.</source>
        <translation>Wiederherstellung abgeschlossen.  Ein vollständiger Verzeichnisabgleich wurde angefordert - er kann eine Weile dauern.</translation>
    </message>
    <message>
        <source>Error, file could not be opened</source>
        <translation>Fehler: Die Datei konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>There was an error encountered during the file trim process</source>
        <translation>Beim Kürzen der Datei ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>Another trim is already running on this server.</source>
        <translation>Auf diesem Server läuft bereits ein anderer Kürzungslauf.</translation>
    </message>
    <message>
        <source>Updating voice names</source>
        <translation>Namensansagen werden bearbeitet</translation>
    </message>
    <message>
        <source>Updating greeting files</source>
        <translation>Begrüßungsdateien werden bearbeitet</translation>
    </message>
    <message>
        <source>Complete</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Select WAV file to trim silence from</source>
        <translation>WAV-Datei zum Kürzen der Stille auswählen</translation>
    </message>
    <message>
        <source>File not found</source>
        <translation>Datei nicht gefunden</translation>
    </message>
    <message>
        <source>Path not found</source>
        <translation>Pfad nicht gefunden</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Zugriff verweigert</translation>
    </message>
    <message>
        <source>Disk full</source>
        <translation>Datenträger voll</translation>
    </message>
    <message>
        <source>Path/File access error</source>
        <translation>Fehler beim Zugriff auf Pfad/Datei</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>Nicht genügend Arbeitsspeicher</translation>
    </message>
    <message>
        <source>Internal error</source>
        <translation>Interner Fehler</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>Überlauf</translation>
    </message>
    <message>
        <source>Type mismatch</source>
        <translation>Typen unverträglich</translation>
    </message>
    <message>
        <source>Invalid use of Null</source>
        <translation>Unzulässige Verwendung von Null</translation>
    </message>
    <message>
        <source>Object variable or With block variable not set</source>
        <translation>Objektvariable oder With-Blockvariable nicht festgelegt</translation>
    </message>
    <message>
        <source>Unable to create the registry key</source>
        <translation>Der Registrierungsschlüssel kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Unsupported value type</source>
        <translation>Nicht unterstützter Werttyp</translation>
    </message>
    <message>
        <source>Unable to allocate an ODBC handle</source>
        <translation>Kein ODBC-Handle verfügbar</translation>
    </message>
    <message>
        <source>No current record</source>
        <translation>Kein aktueller Datensatz</translation>
    </message>
    <message>
        <source>The backup folder %1 and the stream files folder %2 lie one inside the other. Choose a backup destination outside the stream files folder, and a stream files folder outside it.</source>
        <translation>Der Sicherungsordner %1 und der Ordner der Stream-Dateien %2 liegen ineinander. Wählen Sie ein Sicherungsziel außerhalb des Ordners der Stream-Dateien und einen Ordner der Stream-Dateien außerhalb davon.</translation>
    </message>
    <message>
        <source>Brevita cannot reach the database on server %1: %2. Name the server with &quot;DatabaseServer&quot; (or the whole connection with &quot;ConnectionString&quot;) in %3. Nothing was changed.</source>
        <translation>Brevita erreicht die Datenbank auf dem Server %1 nicht: %2. Geben Sie den Server mit &quot;DatabaseServer&quot; (oder die ganze Verbindung mit &quot;ConnectionString&quot;) in %3 an. Es wurde nichts geändert.</translation>
    </message>
    <message>
        <source>The registry file %1 does not exist. Install it (the package puts one in /etc/brevita) or name the server&apos;s registry file in BREVITA_REGISTRY.</source>
        <translation>Die Registrierungsdatei %1 existiert nicht. Installieren Sie sie (das Paket legt eine in /etc/brevita ab) oder geben Sie die Registrierungsdatei des Servers in BREVITA_REGISTRY an.</translation>
    </message>
    <message>
        <source>The registry file %1 cannot be read (%2). Make it readable to the administrators who run Brevita.</source>
        <translation>Die Registrierungsdatei %1 kann nicht gelesen werden (%2). Machen Sie sie für die Administratoren lesbar, die Brevita ausführen.</translation>
    </message>
    <message>
        <source>Brevita keeps its files in %1, which only members of the group %2 may write: ask an administrator to add you to that group, then log in again.</source>
        <translation>Brevita legt seine Dateien in %1 ab, das nur Mitglieder der Gruppe %2 beschreiben dürfen: Bitten Sie einen Administrator, Sie in diese Gruppe aufzunehmen, und melden Sie sich dann neu an.</translation>
    </message>
    <message>
        <source>The file %1 is not a registry file: it does not begin with &quot;Windows Registry Editor Version 5.00&quot; or &quot;REGEDIT4&quot;. Name the server&apos;s registry file in BREVITA_REGISTRY.</source>
        <translation>Die Datei %1 ist keine Registrierungsdatei: Sie beginnt nicht mit &quot;Windows Registry Editor Version 5.00&quot; oder &quot;REGEDIT4&quot;. Geben Sie die Registrierungsdatei des Servers in BREVITA_REGISTRY an.</translation>
    </message>
    <message>
        <source>Line %1 of the registry file %2 cannot be read: %3. Brevita reads nothing of the file until the line is corrected.</source>
        <translation>Zeile %1 der Registrierungsdatei %2 kann nicht gelesen werden: %3. Brevita liest nichts aus der Datei, bis die Zeile berichtigt ist.</translation>
    </message>
    <message>
        <source>Cannot lock %1: it is a symbolic link, which Brevita does not follow. Remove it; the next run makes a new one.</source>
        <translation>%1 kann nicht gesperrt werden: Es ist eine symbolische Verknüpfung, der Brevita nicht folgt. Entfernen Sie sie; der nächste Lauf legt eine neue Datei an.</translation>
    </message>
    <message>
        <source>Cannot lock %1: %2</source>
        <translation>%1 kann nicht gesperrt werden: %2</translation>
    </message>
    <message>
        <source>the key name is not valid</source>
        <translation>der Schlüsselname ist ungültig</translation>
    </message>
    <message>
        <source>it is no key, value or comment</source>
        <translation>sie ist weder Schlüssel noch Wert noch Kommentar</translation>
    </message>
    <message>
        <source>a value under a key that is deleted</source>
        <translation>ein Wert unter einem Schlüssel, der gelöscht wird</translation>
    </message>
    <message>
        <source>a value before the first key</source>
        <translation>ein Wert vor dem ersten Schlüssel</translation>
    </message>
    <message>
        <source>the value goes on past the end of the file</source>
        <translation>der Wert reicht über das Ende der Datei hinaus</translation>
    </message>
    <message>
        <source>the value is not valid</source>
        <translation>der Wert ist ungültig</translation>
    </message>
    <message>
        <source>Dry run complete.  %1 voice names would be updated and %2 greetings would be updated, cutting %3 seconds of audio.
%4 error(s) encountered.
View log file now?</source>
        <translation>Probelauf abgeschlossen.  %1 Namensansagen und %2 Begrüßungen würden geändert, %3 Sekunden Audio würden gekürzt.
%4 Fehler aufgetreten.
Protokolldatei jetzt anzeigen?</translation>
    </message>
    <message>
        <source>The log file %1 could not be opened: no program to show it was found. Open it with a text editor.</source>
        <translation>Die Protokolldatei %1 konnte nicht geöffnet werden: Es wurde kein Programm gefunden, das sie anzeigt. Öffnen Sie sie mit einem Texteditor.</translation>
    </message>
</context>
<context>
    <name>QPlatformTheme</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Ja</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;Nein</translation>
    </message>
</context>
<context>
    <name>UpDown</name>
    <message>
        <source>Up</source>
        <translation>Auf</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Ab</translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>Trims the silence at the start and end of the voice names and greetings of a Corvox voicemail server.</source>
        <translation>Kürzt die Stille am Anfang und Ende der Namensansagen und Begrüßungen eines Corvox-Voicemail-Servers.</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>Change Language</source>
        <translation>Sprache ändern</translation>
    </message>
    <message>
        <source>Trimming rewrites the recordings in place. Back up the Stream Files folder first; this program comes without warranty of any kind.</source>
        <translation>Das Kürzen überschreibt die Aufnahmen. Sichern Sie zuvor den Ordner „Stream Files“; für dieses Programm wird keinerlei Gewähr übernommen.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>no languages loaded</source>
        <translation>keine Sprachen geladen</translation>
    </message>
    <message>
        <source>Select Language</source>
        <translation>Sprache wählen</translation>
    </message>
</context>
<context>
    <name>frmHelp</name>
    <message>
        <source>Brevita Help</source>
        <translation>Brevita-Hilfe</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>Files to trim</source>
        <translation>Zu kürzende Dateien</translation>
    </message>
    <message>
        <source>Trim silence for voice names.  This only trims silence on subscriber voice names on the local Corvox server.</source>
        <translation>Stille in Namensansagen kürzen.  Betrifft nur die Namensansagen der Teilnehmer auf dem lokalen Corvox-Server.</translation>
    </message>
    <message>
        <source>Trim silence for greeting files.  This trims silence for all greeting files including both subscriber and call handler greetings.</source>
        <translation>Stille in Begrüßungsdateien kürzen.  Betrifft alle Begrüßungen, die der Teilnehmer wie die der Anrufbehandlungen.</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>dB level to consider silence (-120 dB=pure silence):</source>
        <translation>Pegel in dB, der als Stille gilt (-120 dB = völlige Stille):</translation>
    </message>
    <message>
        <source>-45 dB recommended</source>
        <translation>-45 dB empfohlen</translation>
    </message>
    <message>
        <source>Amount of silence that must be present before trimming (ms):</source>
        <translation>Mindestdauer der Stille, ab der gekürzt wird (ms):</translation>
    </message>
    <message>
        <source>Amount of silence to leave on the WAV file start/end (ms):</source>
        <translation>Stille, die am Anfang/Ende der WAV-Datei bleibt (ms):</translation>
    </message>
    <message>
        <source>250 recommended</source>
        <translation>250 empfohlen</translation>
    </message>
    <message>
        <source>Maximum voice names to update:</source>
        <translation>Höchstzahl zu ändernder Namensansagen:</translation>
    </message>
    <message>
        <source>0 means update all voice names</source>
        <translation>0 heißt: alle Namensansagen ändern</translation>
    </message>
    <message>
        <source>Backup files</source>
        <translation>Sicherung</translation>
    </message>
    <message>
        <source>Backup WAV files before starting</source>
        <translation>WAV-Dateien vor dem Start sichern</translation>
    </message>
    <message>
        <source>Backup destination:</source>
        <translation>Sicherungsziel:</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Durchsuchen</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>%v of %m</source>
        <translation>%v von %m</translation>
    </message>
    <message>
        <source>T&amp;est One File</source>
        <translation>Eine Datei &amp;testen</translation>
    </message>
    <message>
        <source>&amp;Trim Silence</source>
        <translation>&amp;Stille kürzen</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Restore WAV Files From Backup</source>
        <translation>WAV-Dateien aus Sicherung wiederherstellen</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Follow each recording&apos;s line &amp;noise</source>
        <translation>Dem &amp;Leitungsrauschen jeder Aufnahme folgen</translation>
    </message>
    <message>
        <source>Cut a closing &amp;key press</source>
        <translation>&amp;Abschließenden Tastendruck abschneiden</translation>
    </message>
</context>
<context>
    <name>frmSplashScreen</name>
    <message>
        <source>Copying voice names and greetings...</source>
        <translation>Namensansagen und Begrüßungen werden kopiert...</translation>
    </message>
</context>
</TS>
