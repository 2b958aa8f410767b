<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>HXFormExtract</name>
    <message>
        <source>Replace File : </source>
        <translation>Datei ersetzen : </translation>
    </message>
    <message>
        <source>With File: </source>
        <translation>Durch Datei: </translation>
    </message>
</context>
<context>
    <name>HXdlgCookies</name>
    <message>
        <source>Session</source>
        <translation>Sitzung</translation>
    </message>
</context>
<context>
    <name>HXdlgEditProfile</name>
    <message>
        <source>Current directory</source>
        <translation>Aktuelles Verzeichnis</translation>
    </message>
    <message>
        <source>Current site</source>
        <translation>Aktuelle Website</translation>
    </message>
    <message>
        <source>Anywhere</source>
        <translation>Überall</translation>
    </message>
</context>
<context>
    <name>HXdlgEditTask</name>
    <message>
        <source>Edit Task</source>
        <translation>Aufgabe bearbeiten</translation>
    </message>
    <message>
        <source>Add a Task</source>
        <translation>Aufgabe hinzufügen</translation>
    </message>
    <message>
        <source>Create New Task</source>
        <translation>Neue Aufgabe anlegen</translation>
    </message>
</context>
<context>
    <name>HXdlgEditTaskDialogs</name>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>All links</source>
        <translation>Alle Links</translation>
    </message>
    <message>
        <source>All PAGE links</source>
        <translation>Alle SEITEN-Links</translation>
    </message>
    <message>
        <source>All RESOURCE links</source>
        <translation>Alle RESSOURCEN-Links</translation>
    </message>
    <message>
        <source> MUST contain all of the following characters, words or phrases.</source>
        <translation> MÜSSEN alle folgenden Zeichen, Wörter oder Ausdrücke enthalten.</translation>
    </message>
    <message>
        <source> MUST NOT contain any of the following characters, words or phrases.</source>
        <translation> DÜRFEN keines der folgenden Zeichen, Wörter oder Ausdrücke enthalten.</translation>
    </message>
    <message>
        <source> Separate each with a comma.</source>
        <translation> Trennen Sie die Einträge durch Kommas.</translation>
    </message>
    <message>
        <source>All links must contain all of the following characters, words or phrases. Separate each with a comma.</source>
        <translation>Alle Links müssen alle folgenden Zeichen, Wörter oder Ausdrücke enthalten. Trennen Sie die Einträge durch Kommas.</translation>
    </message>
</context>
<context>
    <name>HXwizFileZip</name>
    <message>
        <source>Zip file (*.zip)</source>
        <translation>Zip-Datei (*.zip)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Browse for Folder</source>
        <translation>Ordner suchen</translation>
    </message>
</context>
<context>
    <name>hx::TBrowserMissingPage</name>
    <message>
        <source>Harbex&apos;s internal browser needs Qt WebEngine, which this build does not have (or which was switched off with HARBEX_NO_WEBENGINE=1). You can browse a copy in your default browser: right click a web page and choose &apos;View in&apos; &gt; &apos;Default Browser&apos;, or use the button below.</source>
        <translation>Der eingebaute Browser von Harbex braucht Qt WebEngine, das dieser Build nicht enthält (oder das mit HARBEX_NO_WEBENGINE=1 abgeschaltet wurde). Sie können eine Kopie in Ihrem Standardbrowser ansehen: Klicken Sie mit der rechten Maustaste auf eine Webseite und wählen Sie &apos;View in&apos; &gt; &apos;Default Browser&apos;, oder benutzen Sie die Schaltfläche unten.</translation>
    </message>
    <message>
        <source>Open in Default Browser</source>
        <translation>Im Standardbrowser öffnen</translation>
    </message>
</context>
<context>
    <name>hx::TExploreModel</name>
    <message>
        <source>Mark</source>
        <translation>Markierung</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>URL</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Last Modified</source>
        <translation>Zuletzt geändert</translation>
    </message>
    <message>
        <source>Download Result</source>
        <translation>Download-Ergebnis</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Ebene</translation>
    </message>
    <message>
        <source>Referrer</source>
        <translation>Verweisende Seite</translation>
    </message>
</context>
<context>
    <name>hx::TFileTypeTree</name>
    <message>
        <source>Filetypes: </source>
        <translation>Dateitypen: </translation>
    </message>
    <message>
        <source>All</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>&amp;New...</source>
        <translation>&amp;Neu...</translation>
    </message>
    <message>
        <source>&amp;Edit...</source>
        <translation>&amp;Bearbeiten...</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the %1 file type?</source>
        <translation>Möchten Sie den Dateityp %1 wirklich löschen?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the %1 file type group?</source>
        <translation>Möchten Sie die Dateitypgruppe %1 wirklich löschen?</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
</context>
<context>
    <name>hx::TFormBrowser</name>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Vorwärts</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Startseite</translation>
    </message>
    <message>
        <source>Opening Page...</source>
        <translation>Seite wird geöffnet...</translation>
    </message>
    <message>
        <source>Done.</source>
        <translation>Fertig.</translation>
    </message>
</context>
<context>
    <name>hx::TFormDownloader</name>
    <message>
        <source>Downloader</source>
        <translation>Downloader</translation>
    </message>
    <message>
        <source>Connections:</source>
        <translation>Verbindungen:</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Seiten</translation>
    </message>
    <message>
        <source>Media files</source>
        <translation>Mediendateien</translation>
    </message>
    <message>
        <source>Download Priority:</source>
        <translation>Download-Priorität:</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
</context>
<context>
    <name>hx::TFormExplore</name>
    <message>
        <source>Mark for download</source>
        <translation>Zum Download markieren</translation>
    </message>
    <message>
        <source>Selected</source>
        <translation>Ausgewählte</translation>
    </message>
    <message>
        <source>All</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>All errors</source>
        <translation>Alle Fehler</translation>
    </message>
    <message>
        <source>All unmarked</source>
        <translation>Alle nicht markierten</translation>
    </message>
    <message>
        <source>Mark for update</source>
        <translation>Zum Aktualisieren markieren</translation>
    </message>
    <message>
        <source>Mark for mapping</source>
        <translation>Zum Verknüpfen markieren</translation>
    </message>
    <message>
        <source>Unmark</source>
        <translation>Markierung entfernen</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Ansehen</translation>
    </message>
    <message>
        <source>&amp;Offline</source>
        <translation>&amp;Offline</translation>
    </message>
    <message>
        <source>On Internet</source>
        <translation>Im Internet</translation>
    </message>
    <message>
        <source>&amp;Internet Explorer</source>
        <translation>&amp;Internet Explorer</translation>
    </message>
    <message>
        <source>&amp;Netscape Navigator</source>
        <translation>&amp;Netscape Navigator</translation>
    </message>
    <message>
        <source>Zip file does not exist</source>
        <translation>Die Zip-Datei existiert nicht</translation>
    </message>
</context>
<context>
    <name>hx::TFormExtract</name>
    <message>
        <source>Unzip</source>
        <translation>Entpacken</translation>
    </message>
    <message>
        <source>Unzip To:</source>
        <translation>Entpacken nach:</translation>
    </message>
    <message>
        <source>Files:</source>
        <translation>Dateien:</translation>
    </message>
    <message>
        <source>All Files</source>
        <translation>Alle Dateien</translation>
    </message>
    <message>
        <source>Selected Files</source>
        <translation>Ausgewählte Dateien</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Optionen:</translation>
    </message>
    <message>
        <source>Use path names</source>
        <translation>Pfadnamen verwenden</translation>
    </message>
    <message>
        <source>Overwrite existing files</source>
        <translation>Vorhandene Dateien überschreiben</translation>
    </message>
    <message>
        <source>&amp;Unzip</source>
        <translation>&amp;Entpacken</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>hx::TFormHarbex</name>
    <message>
        <source>New</source>
        <translation>Neu</translation>
    </message>
    <message>
        <source>New Task...</source>
        <translation>Neue Aufgabe...</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Open zip file...</source>
        <translation>Zip-Datei öffnen...</translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>Downloads folder</source>
        <translation>Downloads-Ordner</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>Profil:</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>Profil</translation>
    </message>
    <message>
        <source>Select a profile to specify what,
and how much, should be retrieved</source>
        <translation>Wählen Sie ein Profil, um festzulegen,
was und wie viel geholt werden soll</translation>
    </message>
    <message>
        <source>Zip Mode</source>
        <translation>Zip-Modus</translation>
    </message>
    <message>
        <source>Intranet Mode</source>
        <translation>Intranet-Modus</translation>
    </message>
    <message>
        <source>Add To Zip</source>
        <translation>Zum Zip</translation>
    </message>
    <message>
        <source>Add future downloads to currently selected zip</source>
        <translation>Künftige Downloads zur ausgewählten Zip-Datei hinzufügen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Adresse:</translation>
    </message>
    <message>
        <source>Go</source>
        <translation>Los</translation>
    </message>
    <message>
        <source>Harbex Home</source>
        <translation>Harbex-Start</translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation>Aufgaben</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Ansehen</translation>
    </message>
    <message>
        <source>Explore</source>
        <translation>Erkunden</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
    <message>
        <source>Zip Properties</source>
        <translation>Zip-Eigenschaften</translation>
    </message>
    <message>
        <source>Click twice to toggle wide-view</source>
        <translation>Zweimal klicken schaltet die Breitansicht um</translation>
    </message>
    <message>
        <source>Personal Intranet</source>
        <translation>Persönliches Intranet</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Benutzerdefiniert</translation>
    </message>
    <message>
        <source>Set Default: Personal Intranet Mode.
Downloaded websites are stored directly
on your hard disk within  
</source>
        <translation>Standard: Modus Persönliches Intranet.
Heruntergeladene Websites werden direkt
auf Ihrer Festplatte gespeichert, in  
</translation>
    </message>
    <message>
        <source>Set Default: Harbex Mode.
Downloaded websites are stored within a single compressed
Zip file which is saved on your hard disk within  
</source>
        <translation>Standard: Harbex-Modus.
Heruntergeladene Websites werden in einer einzigen komprimierten
Zip-Datei gespeichert, die auf Ihrer Festplatte liegt, in  
</translation>
    </message>
    <message>
        <source>Invalid URL.</source>
        <translation>Ungültige URL.</translation>
    </message>
    <message>
        <source>About Harbex</source>
        <translation>Über Harbex</translation>
    </message>
    <message>
        <source>Copies web sites for offline use.</source>
        <translation>Kopiert Websites zur Offline-Nutzung.</translation>
    </message>
    <message>
        <source>Removing temporary Harbex files...</source>
        <translation>Temporäre Harbex-Dateien werden entfernt...</translation>
    </message>
    <message>
        <source>New - My Harbex&apos;s for </source>
        <translation>Neu - Meine Harbex-Kopien vom </translation>
    </message>
    <message>
        <source>Integrated &amp;Browser (default browser)</source>
        <translation>Eingebauter &amp;Browser (Standardbrowser)</translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation>&amp;Öffnen</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Ansehen</translation>
    </message>
    <message>
        <source>Open Containing &amp;Folder</source>
        <translation>&amp;Ordner öffnen</translation>
    </message>
    <message>
        <source>Move to &amp;Trash</source>
        <translation>In den &amp;Papierkorb</translation>
    </message>
    <message>
        <source>Are you sure you want to send %1 to the trash?</source>
        <translation>Möchten Sie %1 wirklich in den Papierkorb verschieben?</translation>
    </message>
    <message>
        <source>%1 could not be moved to the trash.</source>
        <translation>%1 konnte nicht in den Papierkorb verschoben werden.</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;New</source>
        <translation>&amp;Neu</translation>
    </message>
    <message>
        <source>&amp;File Zip...</source>
        <translation>&amp;Datei-Zip...</translation>
    </message>
    <message>
        <source>&amp;Download Task...</source>
        <translation>Do&amp;wnload-Aufgabe...</translation>
    </message>
    <message>
        <source>&amp;Special</source>
        <translation>&amp;Spezial</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>Ö&amp;ffnen...</translation>
    </message>
    <message>
        <source>&amp;Reopen</source>
        <translation>&amp;Zuletzt geöffnet</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Undo        Ctrl+Z</source>
        <translation>&amp;Rückgängig        Strg+Z</translation>
    </message>
    <message>
        <source>Cu&amp;t            Ctrl+X</source>
        <translation>&amp;Ausschneiden     Strg+X</translation>
    </message>
    <message>
        <source>&amp;Copy         Ctrl+C</source>
        <translation>&amp;Kopieren         Strg+C</translation>
    </message>
    <message>
        <source>&amp;Paste        Ctrl+V</source>
        <translation>E&amp;infügen          Strg+V</translation>
    </message>
    <message>
        <source>Paste URL...</source>
        <translation>URL einfügen...</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Zip Pane</source>
        <translation>&amp;Zip-Bereich</translation>
    </message>
    <message>
        <source>Split &amp;Horizontally</source>
        <translation>&amp;Horizontal teilen</translation>
    </message>
    <message>
        <source>Split &amp;Vertically</source>
        <translation>&amp;Vertikal teilen</translation>
    </message>
    <message>
        <source>&amp;Downloads Folder</source>
        <translation>&amp;Downloads-Ordner</translation>
    </message>
    <message>
        <source>Profiles Editor...</source>
        <translation>Profil-Editor...</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;Preferences...</source>
        <translation>&amp;Einstellungen...</translation>
    </message>
    <message>
        <source>&amp;Select Skin...</source>
        <translation>&amp;Skin wählen...</translation>
    </message>
    <message>
        <source>&amp;Zip</source>
        <translation>&amp;Zip</translation>
    </message>
    <message>
        <source>&amp;Web Zip...</source>
        <translation>&amp;Web-Zip...</translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation>&amp;Hinzufügen...</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>&amp;Unzip...</source>
        <translation>&amp;Entpacken...</translation>
    </message>
    <message>
        <source>Rena&amp;me</source>
        <translation>&amp;Umbenennen</translation>
    </message>
    <message>
        <source>Send...</source>
        <translation>Senden...</translation>
    </message>
    <message>
        <source>&amp;Internet Explorer...</source>
        <translation>&amp;Internet Explorer...</translation>
    </message>
    <message>
        <source>Netscape Navigator...</source>
        <translation>Netscape Navigator...</translation>
    </message>
    <message>
        <source>Notepad</source>
        <translation>Texteditor</translation>
    </message>
    <message>
        <source>&amp;Task</source>
        <translation>Auf&amp;gabe</translation>
    </message>
    <message>
        <source>&amp;New...</source>
        <translation>&amp;Neu...</translation>
    </message>
    <message>
        <source>&amp;Edit...</source>
        <translation>&amp;Bearbeiten...</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>&amp;Starten</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>S&amp;toppen</translation>
    </message>
    <message>
        <source>Schedu&amp;le...</source>
        <translation>&amp;Planen...</translation>
    </message>
    <message>
        <source>&amp;Unschedule</source>
        <translation>Planung a&amp;ufheben</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Start Page URL</source>
        <translation>URL der Startseite</translation>
    </message>
    <message>
        <source>Start Page URL (local)</source>
        <translation>URL der Startseite (lokal)</translation>
    </message>
    <message>
        <source>&amp;Offline</source>
        <translation>&amp;Offline</translation>
    </message>
    <message>
        <source>On &amp;Internet</source>
        <translation>Im &amp;Internet</translation>
    </message>
    <message>
        <source>&amp;Netscape Navigator...</source>
        <translation>&amp;Netscape Navigator...</translation>
    </message>
    <message>
        <source>Integrated &amp;Browser</source>
        <translation>Eingebauter &amp;Browser</translation>
    </message>
    <message>
        <source>E&amp;xplore</source>
        <translation>E&amp;rkunden</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Contents...</source>
        <translation>&amp;Inhalt...</translation>
    </message>
    <message>
        <source>Online Help...</source>
        <translation>Online-Hilfe...</translation>
    </message>
    <message>
        <source>&amp;Harbex News...</source>
        <translation>&amp;Harbex-Neuigkeiten...</translation>
    </message>
    <message>
        <source>Harbex &amp;Tour...</source>
        <translation>Harbex-&amp;Rundgang...</translation>
    </message>
    <message>
        <source>Tavrolin Home &amp;Page...</source>
        <translation>Tavrolin-Home&amp;page...</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>Ü&amp;ber...</translation>
    </message>
    <message>
        <source>New &amp;File Zip...</source>
        <translation>Neue &amp;Datei-Zip...</translation>
    </message>
    <message>
        <source>New &amp;Download Task...</source>
        <translation>Neue Do&amp;wnload-Aufgabe...</translation>
    </message>
    <message>
        <source>New Personal Intranet Website</source>
        <translation>Neue Website im Persönlichen Intranet</translation>
    </message>
    <message>
        <source>GO</source>
        <translation>LOS</translation>
    </message>
    <message>
        <source>New Download Task...</source>
        <translation>Neue Download-Aufgabe...</translation>
    </message>
    <message>
        <source>Map</source>
        <translation>Verknüpfen</translation>
    </message>
    <message>
        <source>Add To Current Zip</source>
        <translation>Zur aktuellen Zip hinzufügen</translation>
    </message>
    <message>
        <source>Paste URL and download...</source>
        <translation>URL einfügen und herunterladen...</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>&amp;Optionen...</translation>
    </message>
    <message>
        <source>Browser Properties...</source>
        <translation>Browser-Eigenschaften...</translation>
    </message>
    <message>
        <source>&amp;Restore</source>
        <translation>&amp;Wiederherstellen</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Version %1 (Build %2) (22 January 1999)</source>
        <translation>Version %1 (Build %2) (22. Januar 1999)</translation>
    </message>
    <message>
        <source>The help pages were not found in %1</source>
        <translation>Die Hilfeseiten wurden in %1 nicht gefunden</translation>
    </message>
    <message>
        <source>Unable to write the reports: %1</source>
        <translation>Die Berichte können nicht geschrieben werden: %1</translation>
    </message>
</context>
<context>
    <name>hx::TFormScheduler</name>
    <message>
        <source>Active Tasks</source>
        <translation>Aktive Aufgaben</translation>
    </message>
    <message>
        <source>Task categories</source>
        <translation>Aufgabenkategorien</translation>
    </message>
    <message>
        <source>New Category...</source>
        <translation>Neue Kategorie...</translation>
    </message>
    <message>
        <source>Task list</source>
        <translation>Aufgabenliste</translation>
    </message>
    <message>
        <source>Reports</source>
        <translation>Berichte</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>Ansehen</translation>
    </message>
    <message>
        <source>Explore</source>
        <translation>Erkunden</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation>Planen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>&amp;New...</source>
        <translation>&amp;Neu...</translation>
    </message>
    <message>
        <source>Create a new task</source>
        <translation>Neue Aufgabe anlegen</translation>
    </message>
    <message>
        <source>&amp;Edit...</source>
        <translation>&amp;Bearbeiten...</translation>
    </message>
    <message>
        <source>Edit selected task</source>
        <translation>Ausgewählte Aufgabe bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Delete selected task(s)</source>
        <translation>Ausgewählte Aufgabe(n) löschen</translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation>&amp;Starten</translation>
    </message>
    <message>
        <source>Start selected task</source>
        <translation>Ausgewählte Aufgabe starten</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>S&amp;toppen</translation>
    </message>
    <message>
        <source>Abort selected task</source>
        <translation>Ausgewählte Aufgabe abbrechen</translation>
    </message>
    <message>
        <source>Schedu&amp;le...</source>
        <translation>&amp;Planen...</translation>
    </message>
    <message>
        <source>Schedule selected task...</source>
        <translation>Ausgewählte Aufgabe planen...</translation>
    </message>
    <message>
        <source>&amp;Unschedule</source>
        <translation>Planung a&amp;ufheben</translation>
    </message>
    <message>
        <source>Unschedule selected task</source>
        <translation>Planung der ausgewählten Aufgabe aufheben</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Start Page URL</source>
        <translation>URL der Startseite</translation>
    </message>
    <message>
        <source>Start Page URL (local)</source>
        <translation>URL der Startseite (lokal)</translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation>&amp;Ansehen</translation>
    </message>
    <message>
        <source>&amp;Offline</source>
        <translation>&amp;Offline</translation>
    </message>
    <message>
        <source>On &amp;Internet</source>
        <translation>Im &amp;Internet</translation>
    </message>
    <message>
        <source>&amp;Internet Explorer...</source>
        <translation>&amp;Internet Explorer...</translation>
    </message>
    <message>
        <source>&amp;Netscape Navigator...</source>
        <translation>&amp;Netscape Navigator...</translation>
    </message>
    <message>
        <source>Integrated &amp;Browser</source>
        <translation>Eingebauter &amp;Browser</translation>
    </message>
    <message>
        <source>Browser Properties...</source>
        <translation>Browser-Eigenschaften...</translation>
    </message>
    <message>
        <source>E&amp;xplore</source>
        <translation>E&amp;rkunden</translation>
    </message>
    <message>
        <source>Task Summary</source>
        <translation>Aufgabenübersicht</translation>
    </message>
    <message>
        <source>Page Index</source>
        <translation>Seitenverzeichnis</translation>
    </message>
    <message>
        <source>ImageIndex</source>
        <translation>Bilderverzeichnis</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Create Reports</source>
        <translation>Berichte erstellen</translation>
    </message>
    <message>
        <source>Unable to create the folder %1: %2</source>
        <translation>Der Ordner %1 kann nicht angelegt werden: %2</translation>
    </message>
</context>
<context>
    <name>hx::TFormStatus</name>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Pages:</source>
        <translation>Seiten:</translation>
    </message>
    <message>
        <source>Media Files:</source>
        <translation>Mediendateien:</translation>
    </message>
    <message>
        <source>Errors:</source>
        <translation>Fehler:</translation>
    </message>
    <message>
        <source>Kb</source>
        <translation>KB</translation>
    </message>
    <message>
        <source>Kb/sec</source>
        <translation>KB/s</translation>
    </message>
    <message>
        <source>Transfer Rate</source>
        <translation>Übertragungsrate</translation>
    </message>
    <message>
        <source>Time (secs)</source>
        <translation>Zeit (s)</translation>
    </message>
    <message>
        <source>( KB/sec )</source>
        <translation>( KB/s )</translation>
    </message>
    <message>
        <source>Total Bytes Transferred</source>
        <translation>Übertragene Bytes gesamt</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
    <message>
        <source>Download chart</source>
        <translation>Download-Diagramm</translation>
    </message>
</context>
<context>
    <name>hx::TFormZip</name>
    <message>
        <source>Total: %1 files  </source>
        <translation>Gesamt: %1 Dateien  </translation>
    </message>
    <message>
        <source>Total: %1 files  %2 / %3 bytes (%4%)</source>
        <translation>Gesamt: %1 Dateien  %2 / %3 Bytes (%4%)</translation>
    </message>
    <message>
        <source>Selected %1 files </source>
        <translation>%1 Dateien ausgewählt </translation>
    </message>
    <message>
        <source>Selected %1 files  %2 / %3 bytes</source>
        <translation>%1 Dateien ausgewählt  %2 / %3 Bytes</translation>
    </message>
</context>
<context>
    <name>hx::TRenderBox</name>
    <message>
        <source>Rendering:</source>
        <translation>Rendern:</translation>
    </message>
    <message>
        <source>Render Pages</source>
        <translation>Seiten rendern</translation>
    </message>
    <message>
        <source>Load every page again in an offscreen browser, with its scripts, and keep what they built: the rendered page is saved, and the data files and pictures it used are copied. For sites whose pages are built by scripts.</source>
        <translation>Jede Seite mit ihren Skripten noch einmal in einem unsichtbaren Browser laden und behalten, was sie aufgebaut haben: Die gerenderte Seite wird gespeichert, und die Datendateien und Bilder, die sie verwendet hat, werden kopiert. Für Websites, deren Seiten von Skripten aufgebaut werden.</translation>
    </message>
    <message>
        <source>Render Time Out (seconds):</source>
        <translation>Zeitlimit für das Rendern (Sekunden):</translation>
    </message>
    <message>
        <source>A page is taken as it shows once its network has been idle for half a second, or when this time has passed.</source>
        <translation>Eine Seite wird so übernommen, wie sie sich zeigt, sobald ihr Netzwerk eine halbe Sekunde lang ruht oder wenn diese Zeit abgelaufen ist.</translation>
    </message>
    <message>
        <source>Keep Scripts</source>
        <translation>Skripte behalten</translation>
    </message>
    <message>
        <source>Keep the page&apos;s scripts in the saved page. Off, the copy shows the rendered content instead of running the site&apos;s application again without its data.</source>
        <translation>Die Skripte der Seite in der gespeicherten Seite behalten. Ohne diese Option zeigt die Kopie den gerenderten Inhalt, statt die Anwendung der Website ohne ihre Daten erneut auszuführen.</translation>
    </message>
    <message>
        <source>Render Pages needs harbex-render (Qt WebEngine), which is not installed. Pages are copied as the site sends them.</source>
        <translation>„Seiten rendern“ benötigt harbex-render (Qt WebEngine), das nicht installiert ist. Die Seiten werden so kopiert, wie die Website sie sendet.</translation>
    </message>
</context>
<context>
    <name>hx::TSocketListModel</name>
    <message>
        <source>Retrieving</source>
        <translation>Wird geholt</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>HTTP Socket: %1</source>
        <translation>HTTP-Socket: %1</translation>
    </message>
</context>
<context>
    <name>hx::TTaskListModel</name>
    <message>
        <source>Running in another Harbex process (PID %1)</source>
        <translation>Läuft in einem anderen Harbex-Prozess (PID %1)</translation>
    </message>
    <message>
        <source>Task Name</source>
        <translation>Aufgabenname</translation>
    </message>
    <message>
        <source>Start Page Title</source>
        <translation>Titel der Startseite</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation>Planen</translation>
    </message>
    <message>
        <source>Last Run</source>
        <translation>Letzter Lauf</translation>
    </message>
    <message>
        <source>Next Run</source>
        <translation>Nächster Lauf</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Seiten</translation>
    </message>
    <message>
        <source>Resources</source>
        <translation>Ressourcen</translation>
    </message>
    <message>
        <source>Errors</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Starting URL</source>
        <translation>Start-URL</translation>
    </message>
    <message>
        <source>Destination</source>
        <translation>Ziel</translation>
    </message>
    <message>
        <source>Download Method</source>
        <translation>Download-Methode</translation>
    </message>
</context>
<context>
    <name>hx::TURLFilterList</name>
    <message>
        <source>URL&apos;s MUST contain one of the following characters, words or phrases.</source>
        <translation>URLs MÜSSEN eines der folgenden Zeichen, Wörter oder Ausdrücke enthalten.</translation>
    </message>
    <message>
        <source>URL&apos;s MUST NOT contain any of the following characters, words or phrases.</source>
        <translation>URLs DÜRFEN keines der folgenden Zeichen, Wörter oder Ausdrücke enthalten.</translation>
    </message>
    <message>
        <source>URL&apos;s to include</source>
        <translation>Einzuschließende URLs</translation>
    </message>
    <message>
        <source>URL&apos;s to exclude</source>
        <translation>Auszuschließende URLs</translation>
    </message>
    <message>
        <source>Edit...</source>
        <translation>Bearbeiten...</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source> must contain...</source>
        <translation> müssen enthalten...</translation>
    </message>
    <message>
        <source> must not contain...</source>
        <translation> dürfen nicht enthalten...</translation>
    </message>
    <message>
        <source>All links</source>
        <translation>Alle Links</translation>
    </message>
    <message>
        <source>Page links</source>
        <translation>Seiten-Links</translation>
    </message>
    <message>
        <source>Resource links</source>
        <translation>Ressourcen-Links</translation>
    </message>
    <message>
        <source>Include:</source>
        <translation>Einschließen:</translation>
    </message>
    <message>
        <source>Exclude:</source>
        <translation>Ausschließen:</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
</context>
<context>
    <name>hx::TZipContentsModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Packed</source>
        <translation>Gepackt</translation>
    </message>
    <message>
        <source>Ratio</source>
        <translation>Rate</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
</context>
<context>
    <name>hx::TZipPane</name>
    <message>
        <source>Zips</source>
        <translation>Zips</translation>
    </message>
    <message>
        <source>Pages</source>
        <translation>Seiten</translation>
    </message>
    <message>
        <source>Open Zip File</source>
        <translation>Zip-Datei öffnen</translation>
    </message>
    <message>
        <source>Zip file (*.zip *.ZIP);;All files (*)</source>
        <translation>Zip-Datei (*.zip *.ZIP);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>More...</source>
        <translation>Weitere...</translation>
    </message>
    <message>
        <source>Adding: %1</source>
        <translation>Hinzufügen: %1</translation>
    </message>
    <message>
        <source>Updating: %1</source>
        <translation>Aktualisieren: %1</translation>
    </message>
    <message>
        <source>Extracting &quot;%1&quot;.</source>
        <translation>„%1“ wird entpackt.</translation>
    </message>
    <message>
        <source>Deleting: %1</source>
        <translation>Löschen: %1</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>The Zip component is busy: try again in a moment.</source>
        <translation>Die Zip-Komponente ist beschäftigt: Versuchen Sie es gleich noch einmal.</translation>
    </message>
    <message>
        <source>Opening Zip: %1</source>
        <translation>Zip wird geöffnet: %1</translation>
    </message>
    <message>
        <source>Opening Zip File...</source>
        <translation>Zip-Datei wird geöffnet...</translation>
    </message>
    <message>
        <source>Are you sure you want to delete %1?</source>
        <translation>Möchten Sie %1 wirklich löschen?</translation>
    </message>
    <message>
        <source>Are you sure you want to delete the folder %1 and all its contents?</source>
        <translation>Möchten Sie den Ordner %1 mit seinem ganzen Inhalt wirklich löschen?</translation>
    </message>
    <message>
        <source>Are you sure you want to send %1 to the trash?</source>
        <translation>Möchten Sie %1 wirklich in den Papierkorb verschieben?</translation>
    </message>
    <message>
        <source>The trash cannot take %1. Delete it for good?</source>
        <translation>Der Papierkorb kann %1 nicht aufnehmen. Endgültig löschen?</translation>
    </message>
    <message>
        <source>Unable to delete %1</source>
        <translation>%1 kann nicht gelöscht werden</translation>
    </message>
    <message>
        <source>Unzipped: %1.</source>
        <translation>Entpackt: %1.</translation>
    </message>
    <message>
        <source>No such browser is installed.</source>
        <translation>Dieser Browser ist nicht installiert.</translation>
    </message>
    <message>
        <source>Unable to start %1</source>
        <translation>%1 kann nicht gestartet werden</translation>
    </message>
    <message>
        <source>The file %1 no longer exists.</source>
        <translation>Die Datei %1 existiert nicht mehr.</translation>
    </message>
</context>
<context>
    <name>hx::TdlgAutoHarbex</name>
    <message>
        <source>Auto-Harbex</source>
        <translation>Auto-Harbex</translation>
    </message>
    <message>
        <source>Starting Address:</source>
        <translation>Startadresse:</translation>
    </message>
    <message>
        <source>Use Harbex Wizard...</source>
        <translation>Harbex-Assistent verwenden...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>hx::TdlgCookies</name>
    <message>
        <source>Cookies</source>
        <translation>Cookies</translation>
    </message>
    <message>
        <source>Cookies of this task</source>
        <translation>Cookies dieser Aufgabe</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Domain</source>
        <translation>Domain</translation>
    </message>
    <message>
        <source>Path</source>
        <translation>Pfad</translation>
    </message>
    <message>
        <source>Expires</source>
        <translation>Läuft ab</translation>
    </message>
    <message>
        <source>&amp;Import...</source>
        <translation>&amp;Importieren...</translation>
    </message>
    <message>
        <source>Add the cookies of a cookies.txt file (Netscape format, as wget, curl and browser extensions write it).</source>
        <translation>Die Cookies einer cookies.txt-Datei hinzufügen (Netscape-Format, wie es wget, curl und Browser-Erweiterungen schreiben).</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Delete &amp;All</source>
        <translation>&amp;Alle löschen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>%1

This file holds no cookie that can be used: it is not a cookies.txt file in the Netscape format, or all its cookies have expired.</source>
        <translation>%1

Diese Datei enthält kein verwendbares Cookie: Sie ist keine cookies.txt-Datei im Netscape-Format, oder alle ihre Cookies sind abgelaufen.</translation>
    </message>
    <message>
        <source>Import Cookies</source>
        <translation>Cookies importieren</translation>
    </message>
    <message>
        <source>Cookie files (*.txt);;All files (*)</source>
        <translation>Cookie-Dateien (*.txt);;Alle Dateien (*)</translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditFileType</name>
    <message>
        <source>New File Type</source>
        <translation>Neuer Dateityp</translation>
    </message>
    <message>
        <source>File Type:</source>
        <translation>Dateityp:</translation>
    </message>
    <message>
        <source>File Extensions:</source>
        <translation>Dateiendungen:</translation>
    </message>
    <message>
        <source>Edit File Type</source>
        <translation>Dateityp bearbeiten</translation>
    </message>
    <message>
        <source>Enter one or more file extensions (separated by semicolons):</source>
        <translation>Geben Sie eine oder mehrere Dateiendungen ein (durch Semikolons getrennt):</translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditProfile</name>
    <message>
        <source>Profiles Editor</source>
        <translation>Profil-Editor</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source> Profiles ( Download Methods)</source>
        <translation> Profile ( Download-Methoden)</translation>
    </message>
    <message>
        <source>New</source>
        <translation>Neu</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Profile Name:</source>
        <translation>Profilname:</translation>
    </message>
    <message>
        <source>File Types:</source>
        <translation>Dateitypen:</translation>
    </message>
    <message>
        <source>Retrieve the following filetypes</source>
        <translation>Folgende Dateitypen holen</translation>
    </message>
    <message>
        <source>How many levels of this site would you like to retrieve?</source>
        <translation>Wie viele Ebenen dieser Website möchten Sie holen?</translation>
    </message>
    <message>
        <source>This page only</source>
        <translation>Nur diese Seite</translation>
    </message>
    <message>
        <source>This page and</source>
        <translation>Diese Seite und</translation>
    </message>
    <message>
        <source>level/s</source>
        <translation>Ebene(n)</translation>
    </message>
    <message>
        <source>All levels</source>
        <translation>Alle Ebenen</translation>
    </message>
    <message>
        <source>Page Location:</source>
        <translation>Ort der Seiten:</translation>
    </message>
    <message>
        <source>Pages must be within:</source>
        <translation>Seiten müssen liegen in:</translation>
    </message>
    <message>
        <source>Resource Location:</source>
        <translation>Ort der Ressourcen:</translation>
    </message>
    <message>
        <source>URL Filter - Include:</source>
        <translation>URL-Filter - Einschließen:</translation>
    </message>
    <message>
        <source>URL&apos;s MUST contain characters, words or phrases from at least one of the following groups.</source>
        <translation>URLs MÜSSEN Zeichen, Wörter oder Ausdrücke aus mindestens einer der folgenden Gruppen enthalten.</translation>
    </message>
    <message>
        <source>URL Filter - Exclude:</source>
        <translation>URL-Filter - Ausschließen:</translation>
    </message>
    <message>
        <source>Sitemaps:</source>
        <translation>Sitemaps:</translation>
    </message>
    <message>
        <source>Use Sitemaps</source>
        <translation>Sitemaps verwenden</translation>
    </message>
    <message>
        <source>Also copy the pages the site lists in its sitemaps (robots.txt &quot;Sitemap:&quot; lines and /sitemap.xml), within the rules above, even those no link leads to.</source>
        <translation>Auch die Seiten kopieren, die die Website in ihren Sitemaps aufführt (Zeilen „Sitemap:“ in robots.txt und /sitemap.xml), im Rahmen der Regeln oben, selbst solche, zu denen kein Link führt.</translation>
    </message>
    <message>
        <source>Auto-Rename:</source>
        <translation>Automatisch umbenennen:</translation>
    </message>
    <message>
        <source>Automatically rename Zip files to Start Page Title</source>
        <translation>Zip-Dateien automatisch nach dem Titel der Startseite benennen</translation>
    </message>
    <message>
        <source>Upon completion Harbex will rename the zip file to the title of the first web page.</source>
        <translation>Nach Abschluss benennt Harbex die Zip-Datei nach dem Titel der ersten Webseite.</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Bestätigen</translation>
    </message>
    <message>
        <source>Save changes to profile: </source>
        <translation>Änderungen am Profil speichern: </translation>
    </message>
    <message>
        <source>URL&apos;s MUST NOT contain characters, words or phrases from at least one of the following groups.</source>
        <translation>URLs DÜRFEN KEINE Zeichen, Wörter oder Ausdrücke aus mindestens einer der folgenden Gruppen enthalten.</translation>
    </message>
    <message>
        <source>Depth of retrieval:</source>
        <translation>Abruftiefe:</translation>
    </message>
    <message>
        <source>Resources (images, sounds etc.) must be within:</source>
        <translation>Ressourcen (Bilder, Klänge usw.) müssen liegen innerhalb von:</translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditTask</name>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation>&amp;Zurücksetzen</translation>
    </message>
    <message>
        <source>Task Name:</source>
        <translation>Aufgabenname:</translation>
    </message>
    <message>
        <source>Category:</source>
        <translation>Kategorie:</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>Profil:</translation>
    </message>
    <message>
        <source>Task settings</source>
        <translation>Aufgabeneinstellungen</translation>
    </message>
    <message>
        <source>Starting address</source>
        <translation>Startadresse</translation>
    </message>
    <message>
        <source>Starting Address</source>
        <translation>Startadresse</translation>
    </message>
    <message>
        <source>Enter the starting address (URL) for the page or website you wish to download.</source>
        <translation>Geben Sie die Startadresse (URL) der Seite oder Website ein, die Sie herunterladen möchten.</translation>
    </message>
    <message>
        <source>Save to</source>
        <translation>Speichern in</translation>
    </message>
    <message>
        <source>Harbex gives you two methods of saving downloaded websites and files.</source>
        <translation>Harbex bietet Ihnen zwei Arten, heruntergeladene Websites und Dateien zu speichern.</translation>
    </message>
    <message>
        <source>Filetypes</source>
        <translation>Dateitypen</translation>
    </message>
    <message>
        <source>Select Filetypes</source>
        <translation>Dateitypen wählen</translation>
    </message>
    <message>
        <source>Select the filetypes you wish to retrieve during this download task.</source>
        <translation>Wählen Sie die Dateitypen, die diese Download-Aufgabe holen soll.</translation>
    </message>
    <message>
        <source>Followed Links</source>
        <translation>Verfolgte Links</translation>
    </message>
    <message>
        <source>Followed Links - levels &amp; location</source>
        <translation>Verfolgte Links - Ebenen &amp; Ort</translation>
    </message>
    <message>
        <source>Choose how many levels Harbex should follow links into, and in what websites or directories, followed links should be confined.</source>
        <translation>Wählen Sie, wie viele Ebenen tief Harbex Links folgen soll und auf welche Websites oder Verzeichnisse verfolgte Links beschränkt werden sollen.</translation>
    </message>
    <message>
        <source>Followed Links (Adv)</source>
        <translation>Verfolgte Links (Erw.)</translation>
    </message>
    <message>
        <source>Followed Links - Advanced</source>
        <translation>Verfolgte Links - Erweitert</translation>
    </message>
    <message>
        <source>Do you want Harbex to extract and follow links from script code within HTML pages?  Note that Harbex does not interpret Javascript or VBScript, so some links may be invalid or incorrect.</source>
        <translation>Soll Harbex Links aus Skriptcode in HTML-Seiten herauslesen und ihnen folgen?  Beachten Sie, dass Harbex Javascript und VBScript nicht ausführt; manche Links können daher ungültig oder falsch sein.</translation>
    </message>
    <message>
        <source>URL Filters</source>
        <translation>URL-Filter</translation>
    </message>
    <message>
        <source>Filter URLs which do or don&apos;t contain particular characters, words or phrases.</source>
        <translation>URLs danach filtern, ob sie bestimmte Zeichen, Wörter oder Ausdrücke enthalten oder nicht.</translation>
    </message>
    <message>
        <source>Link Conversion</source>
        <translation>Link-Umwandlung</translation>
    </message>
    <message>
        <source>Harbex can convert links on downloaded pages so they work on a local offline environment.</source>
        <translation>Harbex kann die Links heruntergeladener Seiten so umwandeln, dass sie lokal ohne Internet funktionieren.</translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation>Planen</translation>
    </message>
    <message>
        <source>Schedule Task</source>
        <translation>Aufgabe planen</translation>
    </message>
    <message>
        <source>Schedule this task to start:</source>
        <translation>Diese Aufgabe planen, Start:</translation>
    </message>
    <message>
        <source>Site requires a password</source>
        <translation>Website verlangt ein Passwort</translation>
    </message>
    <message>
        <source>User Name/Password...</source>
        <translation>Benutzername/Passwort...</translation>
    </message>
    <message>
        <source>Starting URL:</source>
        <translation>Start-URL:</translation>
    </message>
    <message>
        <source>Cookies...</source>
        <translation>Cookies...</translation>
    </message>
    <message>
        <source>The cookies this task sends to the site: import a cookies.txt file, look at them or delete them.</source>
        <translation>Die Cookies, die diese Aufgabe an die Website sendet: eine cookies.txt-Datei importieren, sie ansehen oder löschen.</translation>
    </message>
    <message>
        <source>Sign In...</source>
        <translation>Anmelden...</translation>
    </message>
    <message>
        <source>Sign in to the site in the integrated browser; the task keeps the cookies the site sets.</source>
        <translation>Im eingebauten Browser bei der Website anmelden; die Aufgabe behält die Cookies, die die Website setzt.</translation>
    </message>
    <message>
        <source>Download this Website to your Personal Intranet</source>
        <translation>Diese Website in Ihr Persönliches Intranet herunterladen</translation>
    </message>
    <message>
        <source>Download and save files directly to this location without compression. This can be your default Personal  Intranet or any other directory on your system.</source>
        <translation>Dateien ohne Komprimierung direkt an diesem Ort speichern. Das kann Ihr Standard-Intranet (Persönliches  Intranet) oder ein beliebiges anderes Verzeichnis Ihres Systems sein.</translation>
    </message>
    <message>
        <source>Personal Intranet folder</source>
        <translation>Ordner des Persönlichen Intranets</translation>
    </message>
    <message>
        <source>Select a folder.</source>
        <translation>Wählen Sie einen Ordner.</translation>
    </message>
    <message>
        <source>Download and Zip this Website</source>
        <translation>Diese Website herunterladen und zippen</translation>
    </message>
    <message>
        <source>Enter a name for the zip file including its full path.</source>
        <translation>Geben Sie einen Namen für die Zip-Datei mit vollständigem Pfad ein.</translation>
    </message>
    <message>
        <source>New Zip File</source>
        <translation>Neue Zip-Datei</translation>
    </message>
    <message>
        <source>Open Zip File</source>
        <translation>Zip-Datei öffnen</translation>
    </message>
    <message>
        <source>Rename zip file to start page title</source>
        <translation>Zip-Datei nach dem Titel der Startseite benennen</translation>
    </message>
    <message>
        <source>Upon completion Harbex will rename the zip file to the title of the first web page.</source>
        <translation>Nach Abschluss benennt Harbex die Zip-Datei nach dem Titel der ersten Webseite.</translation>
    </message>
    <message>
        <source>Download and compress files to this Zip file:</source>
        <translation>Dateien herunterladen und in diese Zip-Datei komprimieren:</translation>
    </message>
    <message>
        <source>Browse for Folder</source>
        <translation>Ordner suchen</translation>
    </message>
    <message>
        <source>Zip file (*.zip);;All files (*)</source>
        <translation>Zip-Datei (*.zip);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Followed page links - Location:</source>
        <translation>Verfolgte Seiten-Links - Ort:</translation>
    </message>
    <message>
        <source>Within current directory</source>
        <translation>Im aktuellen Verzeichnis</translation>
    </message>
    <message>
        <source>Within current site</source>
        <translation>Auf der aktuellen Website</translation>
    </message>
    <message>
        <source>Anywhere</source>
        <translation>Überall</translation>
    </message>
    <message>
        <source>Followed links - Levels</source>
        <translation>Verfolgte Links - Ebenen</translation>
    </message>
    <message>
        <source>This page only</source>
        <translation>Nur diese Seite</translation>
    </message>
    <message>
        <source>This page and</source>
        <translation>Diese Seite und</translation>
    </message>
    <message>
        <source>level/s</source>
        <translation>Ebene(n)</translation>
    </message>
    <message>
        <source>All levels</source>
        <translation>Alle Ebenen</translation>
    </message>
    <message>
        <source>Followed media links - Location</source>
        <translation>Verfolgte Medien-Links - Ort</translation>
    </message>
    <message>
        <source>Current directory</source>
        <translation>Aktuelles Verzeichnis</translation>
    </message>
    <message>
        <source>Current site</source>
        <translation>Aktuelle Website</translation>
    </message>
    <message>
        <source>Aggressive Parser</source>
        <translation>Gründlicher Parser</translation>
    </message>
    <message>
        <source>Aggressively extract and follow links from within &lt;SCRIPT&gt; tags only</source>
        <translation>Links nur aus &lt;SCRIPT&gt;-Tags gründlich herauslesen und ihnen folgen</translation>
    </message>
    <message>
        <source>Aggressively extract and follow all possible links from the entire page</source>
        <translation>Alle möglichen Links der ganzen Seite gründlich herauslesen und ihnen folgen</translation>
    </message>
    <message>
        <source>Followed Links: </source>
        <translation>Verfolgte Links: </translation>
    </message>
    <message>
        <source>Do NOT convert ANY followed links</source>
        <translation>KEINE verfolgten Links umwandeln</translation>
    </message>
    <message>
        <source>Convert ALL followed links to relative links</source>
        <translation>ALLE verfolgten Links in relative Links umwandeln</translation>
    </message>
    <message>
        <source>Unfollowed Links: </source>
        <translation>Nicht verfolgte Links: </translation>
    </message>
    <message>
        <source>Do NOT convert ANY unfollowed links</source>
        <translation>KEINE nicht verfolgten Links umwandeln</translation>
    </message>
    <message>
        <source>Convert unfollowed links within the current website to relative links</source>
        <translation>Nicht verfolgte Links innerhalb der aktuellen Website in relative Links umwandeln</translation>
    </message>
    <message>
        <source>Convert ALL unfollowed links to relative links</source>
        <translation>ALLE nicht verfolgten Links in relative Links umwandeln</translation>
    </message>
    <message>
        <source>Schedule:</source>
        <translation>Zeitplan:</translation>
    </message>
    <message>
        <source>Now</source>
        <translation>Jetzt</translation>
    </message>
    <message>
        <source>At:</source>
        <translation>Um:</translation>
    </message>
    <message>
        <source>Don&apos;t schedule this task</source>
        <translation>Diese Aufgabe nicht planen</translation>
    </message>
    <message>
        <source>A valid Internet address (URL) is required</source>
        <translation>Eine gültige Internetadresse (URL) ist erforderlich</translation>
    </message>
    <message>
        <source>A name for this Harbex task is required.</source>
        <translation>Ein Name für diese Harbex-Aufgabe ist erforderlich.</translation>
    </message>
    <message>
        <source>A Task with this name already exists. Do you want to replace it?</source>
        <translation>Eine Aufgabe mit diesem Namen gibt es schon. Möchten Sie sie ersetzen?</translation>
    </message>
    <message>
        <source>A valid Zip filename is required.
Hint:  Harbex requires the full path and filename.</source>
        <translation>Ein gültiger Zip-Dateiname ist erforderlich.
Hinweis:  Harbex braucht den vollständigen Pfad und Dateinamen.</translation>
    </message>
    <message>
        <source>A valid Intranet Folder is required.
Hint:  Harbex requires the full path to the Intranet Folder.</source>
        <translation>Ein gültiger Intranet-Ordner ist erforderlich.
Hinweis:  Harbex braucht den vollständigen Pfad zum Intranet-Ordner.</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Benutzerdefiniert</translation>
    </message>
    <message>
        <source>Enter the full path of your local Intranet Folder</source>
        <translation>Geben Sie den vollständigen Pfad Ihres lokalen Intranet-Ordners ein</translation>
    </message>
    <message>
        <source>Keep every request and answer, as sent and received, in this WARC file (full path; leave empty for none).</source>
        <translation>Jede Anfrage und Antwort so, wie sie gesendet und empfangen wurde, in dieser WARC-Datei aufbewahren (vollständiger Pfad; leer lassen für keine).</translation>
    </message>
    <message>
        <source>WARC file</source>
        <translation>WARC-Datei</translation>
    </message>
    <message>
        <source>Select a WARC file.</source>
        <translation>Wählen Sie eine WARC-Datei.</translation>
    </message>
    <message>
        <source>Also archive the exchanges in this WARC file (for replay tools):</source>
        <translation>Den Datenverkehr auch in dieser WARC-Datei archivieren (für Wiedergabeprogramme):</translation>
    </message>
    <message>
        <source>WARC File</source>
        <translation>WARC-Datei</translation>
    </message>
    <message>
        <source>WARC file (*.warc.gz);;All files (*)</source>
        <translation>WARC-Datei (*.warc.gz);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Sitemaps:</source>
        <translation>Sitemaps:</translation>
    </message>
    <message>
        <source>Use Sitemaps</source>
        <translation>Sitemaps verwenden</translation>
    </message>
    <message>
        <source>Also copy the pages the site lists in its sitemaps (robots.txt &quot;Sitemap:&quot; lines and /sitemap.xml), within the rules above, even those no link leads to.</source>
        <translation>Auch die Seiten kopieren, die die Website in ihren Sitemaps aufführt (Zeilen „Sitemap:“ in robots.txt und /sitemap.xml), im Rahmen der Regeln oben, auch solche, zu denen kein Link führt.</translation>
    </message>
    <message>
        <source>A valid WARC file name is required.
Hint:  Harbex requires the full path and filename, or an empty field for none.</source>
        <translation>Ein gültiger WARC-Dateiname ist erforderlich.
Tipp:  Harbex benötigt den vollständigen Pfad und Dateinamen oder ein leeres Feld für keine.</translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditURLFilter</name>
    <message>
        <source>Add URL Filter</source>
        <translation>URL-Filter hinzufügen</translation>
    </message>
</context>
<context>
    <name>hx::TdlgOptions</name>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Zip Folders</source>
        <translation>Zip-Ordner</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Personal Intranet</source>
        <translation>Persönliches Intranet</translation>
    </message>
    <message>
        <source>Browser</source>
        <translation>Browser</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Harbex - Preferences</source>
        <translation>Harbex - Einstellungen</translation>
    </message>
    <message>
        <source>General Settings </source>
        <translation>Allgemeine Einstellungen </translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Max. URL&apos;s in recently typed URL&apos;s list:</source>
        <translation>Max. URLs in der Liste zuletzt eingegebener URLs:</translation>
    </message>
    <message>
        <source>Max. files in recently opened files list:</source>
        <translation>Max. Dateien in der Liste zuletzt geöffneter Dateien:</translation>
    </message>
    <message>
        <source>Zip files only after download has completed</source>
        <translation>Dateien erst nach Abschluss des Downloads zippen</translation>
    </message>
    <message>
        <source>Turn off banner ad insertion</source>
        <translation>Einfügen von Werbebannern abschalten</translation>
    </message>
    <message>
        <source>Display Task Screen at startup</source>
        <translation>Aufgabenansicht beim Start zeigen</translation>
    </message>
    <message>
        <source>Beep on task completion</source>
        <translation>Signalton nach Abschluss einer Aufgabe</translation>
    </message>
    <message>
        <source>Temporary Harbex Files </source>
        <translation>Temporäre Harbex-Dateien </translation>
    </message>
    <message>
        <source>Specify a location in which to store temporary files:</source>
        <translation>Ort für temporäre Dateien angeben:</translation>
    </message>
    <message>
        <source>NOTE: Temporary files are automatically deleted on exit.</source>
        <translation>HINWEIS: Temporäre Dateien werden beim Beenden automatisch gelöscht.</translation>
    </message>
    <message>
        <source>Default Downloads Folder:</source>
        <translation>Standard-Downloads-Ordner:</translation>
    </message>
    <message>
        <source>Specify the default folder for all Harbexes</source>
        <translation>Standardordner für alle Harbex-Kopien angeben</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Default Unzip Folder:</source>
        <translation>Standardordner zum Entpacken:</translation>
    </message>
    <message>
        <source>Last Unzip Folder</source>
        <translation>Zuletzt zum Entpacken benutzter Ordner</translation>
    </message>
    <message>
        <source>Default Zip Folder:</source>
        <translation>Standardordner zum Zippen:</translation>
    </message>
    <message>
        <source>Last Zip Folder</source>
        <translation>Zuletzt zum Zippen benutzter Ordner</translation>
    </message>
    <message>
        <source>Proxy Server: </source>
        <translation>Proxyserver: </translation>
    </message>
    <message>
        <source>Connect to the Internet using a proxy server</source>
        <translation>Über einen Proxyserver mit dem Internet verbinden</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Adresse:</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Authorization (If proxy server requires a password):</source>
        <translation>Anmeldung (falls der Proxyserver ein Passwort verlangt):</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Agent Identity</source>
        <translation>Agent-Kennung</translation>
    </message>
    <message>
        <source>Some websites serve different pages for different browsing agents (Web Browsers)
Use this option to &apos;trick&apos; the web server into giving you the page you require.</source>
        <translation>Manche Websites liefern verschiedenen Agenten (Webbrowsern) verschiedene Seiten.
Mit dieser Option &apos;überlisten&apos; Sie den Webserver, damit er Ihnen die gewünschte Seite liefert.</translation>
    </message>
    <message>
        <source>Secure Sites (https)</source>
        <translation>Sichere Websites (https)</translation>
    </message>
    <message>
        <source>Check the certificates of secure sites</source>
        <translation>Zertifikate sicherer Websites prüfen</translation>
    </message>
    <message>
        <source>(only the system&apos;s certificates)</source>
        <translation>(nur die Zertifikate des Systems)</translation>
    </message>
    <message>
        <source>Choose a file of trusted certificates (PEM)</source>
        <translation>Datei mit vertrauenswürdigen Zertifikaten (PEM) wählen</translation>
    </message>
    <message>
        <source>CA File:</source>
        <translation>CA-Datei:</translation>
    </message>
    <message>
        <source>Time-outs</source>
        <translation>Zeitlimits</translation>
    </message>
    <message>
        <source>Connect Time Out:</source>
        <translation>Zeitlimit für Verbindung:</translation>
    </message>
    <message>
        <source>seconds (looking a host up and connecting to it)</source>
        <translation>Sekunden (Host nachschlagen und verbinden)</translation>
    </message>
    <message>
        <source>Local Intranet Folder:</source>
        <translation>Lokaler Intranet-Ordner:</translation>
    </message>
    <message>
        <source>Specify the default folder to use for your personal Intranet</source>
        <translation>Standardordner für Ihr Persönliches Intranet angeben</translation>
    </message>
    <message>
        <source>Web Browser: </source>
        <translation>Webbrowser: </translation>
    </message>
    <message>
        <source>Choose a browser program</source>
        <translation>Browserprogramm wählen</translation>
    </message>
    <message>
        <source>Use your current system default browser</source>
        <translation>Den Standardbrowser des Systems verwenden</translation>
    </message>
    <message>
        <source>Harbex</source>
        <translation>Harbex</translation>
    </message>
    <message>
        <source>Harbex has determined that Internet Explorer uses the following proxy server to access the Internet</source>
        <translation>Harbex hat festgestellt, dass Internet Explorer für den Internetzugang folgenden Proxyserver verwendet</translation>
    </message>
    <message>
        <source>Harbex will most likely also need to use this proxy server to access the Internet</source>
        <translation>Harbex braucht für den Internetzugang sehr wahrscheinlich ebenfalls diesen Proxyserver</translation>
    </message>
    <message>
        <source>Do you want to set this proxy server for Harbex also?</source>
        <translation>Möchten Sie diesen Proxyserver auch für Harbex einstellen?</translation>
    </message>
    <message>
        <source>Clear all items in your recently typed URL&apos;s list?</source>
        <translation>Alle Einträge der Liste zuletzt eingegebener URLs löschen?</translation>
    </message>
    <message>
        <source>Clear all items in your recently opened files list?</source>
        <translation>Alle Einträge der Liste zuletzt geöffneter Dateien löschen?</translation>
    </message>
    <message>
        <source>Browse for Folder</source>
        <translation>Ordner suchen</translation>
    </message>
    <message>
        <source>CA File</source>
        <translation>CA-Datei</translation>
    </message>
    <message>
        <source>Certificates (*.pem *.crt);;All files (*)</source>
        <translation>Zertifikate (*.pem *.crt);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <source>Identify Harbex as:</source>
        <translation>Harbex ausweisen als:</translation>
    </message>
    <message>
        <source>Crawling</source>
        <translation>Abruf</translation>
    </message>
    <message>
        <source>Fast: fetch and parse as soon as there is work</source>
        <translation>Schnell: abrufen und auswerten, sobald Arbeit da ist</translation>
    </message>
    <message>
        <source>Classic: the steady one-second cadence</source>
        <translation>Klassisch: der gleichmäßige Sekundentakt</translation>
    </message>
    <message>
        <source>Obey the sites&apos; robots.txt files (Fast pacing)</source>
        <translation>robots.txt-Dateien der Websites befolgen (schnelles Tempo)</translation>
    </message>
    <message>
        <source>Pacing:</source>
        <translation>Tempo:</translation>
    </message>
    <message>
        <source>Host Delay:</source>
        <translation>Host-Pause:</translation>
    </message>
    <message>
        <source>milliseconds between two requests to one host</source>
        <translation>Millisekunden zwischen zwei Anfragen an einen Host</translation>
    </message>
    <message>
        <source>Max Page Size:</source>
        <translation>Max. Seitengröße:</translation>
    </message>
    <message>
        <source>MB (a larger page is kept, its links not followed)</source>
        <translation>MB (eine größere Seite wird behalten, ihren Links wird nicht gefolgt)</translation>
    </message>
    <message>
        <source>Use HTTP/2 where the server offers it (Fast pacing)</source>
        <translation>HTTP/2 verwenden, wo der Server es anbietet (schnelles Tempo)</translation>
    </message>
    <message>
        <source>Renderers:</source>
        <translation>Renderer:</translation>
    </message>
    <message>
        <source>offscreen browsers at once for profiles that render pages</source>
        <translation>unsichtbare Browser gleichzeitig für Profile, die Seiten rendern</translation>
    </message>
</context>
<context>
    <name>hx::TdlgRunTask</name>
    <message>
        <source>&amp;Run</source>
        <translation>&amp;Starten</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Download Summary  </source>
        <translation>Download-Übersicht  </translation>
    </message>
    <message>
        <source>Download action:  </source>
        <translation>Download-Aktion:  </translation>
    </message>
</context>
<context>
    <name>hx::TdlgSchedule</name>
    <message>
        <source>Schedule Task</source>
        <translation>Aufgabe planen</translation>
    </message>
    <message>
        <source>Schedule:</source>
        <translation>Zeitplan:</translation>
    </message>
    <message>
        <source>Next Run:</source>
        <translation>Nächster Lauf:</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Schedule (Once-off): </source>
        <translation>Zeitplan (einmalig): </translation>
    </message>
    <message>
        <source>At</source>
        <translation>Am</translation>
    </message>
    <message>
        <source>Schedule (recurring): </source>
        <translation>Zeitplan (wiederkehrend): </translation>
    </message>
    <message>
        <source>Every</source>
        <translation>Alle</translation>
    </message>
    <message>
        <source>Hours</source>
        <translation>Stunden</translation>
    </message>
    <message>
        <source>Minutes</source>
        <translation>Minuten</translation>
    </message>
    <message>
        <source>Daily at</source>
        <translation>Täglich um</translation>
    </message>
    <message>
        <source>Weekly at</source>
        <translation>Wöchentlich um</translation>
    </message>
    <message>
        <source>Harbex</source>
        <translation>Harbex</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>on</source>
        <translation>am</translation>
    </message>
</context>
<context>
    <name>hx::TdlgSelectSkin</name>
    <message>
        <source>Select Skin</source>
        <translation>Skin wählen</translation>
    </message>
    <message>
        <source>&amp;Download</source>
        <translation>&amp;Herunterladen</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation>&amp;OK</translation>
    </message>
</context>
<context>
    <name>hx::TdlgSignIn</name>
    <message>
        <source>Sign In</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Sign in to the site as you always do, then press Done: the cookies the site sets are kept with this task.</source>
        <translation>Melden Sie sich wie gewohnt bei der Website an und drücken Sie dann auf Fertig: Die Cookies, die die Website setzt, werden bei dieser Aufgabe gespeichert.</translation>
    </message>
    <message>
        <source>&amp;Done</source>
        <translation>&amp;Fertig</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Adresse:</translation>
    </message>
    <message>
        <source>Sign In - </source>
        <translation>Anmelden - </translation>
    </message>
</context>
<context>
    <name>hx::TdlgTaskReport</name>
    <message>
        <source>Task Reports</source>
        <translation>Aufgabenberichte</translation>
    </message>
    <message>
        <source>Creating Task Summary</source>
        <translation>Aufgabenübersicht wird erstellt</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
</context>
<context>
    <name>hx::TdlgUserNamePassword</name>
    <message>
        <source>Account/Password</source>
        <translation>Konto/Passwort</translation>
    </message>
    <message>
        <source>Account:</source>
        <translation>Konto:</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
</context>
<context>
    <name>hx::TwizFileZip</name>
    <message>
        <source>&lt;  &amp;Back</source>
        <translation>&lt;  &amp;Zurück</translation>
    </message>
    <message>
        <source>&amp;Next  &gt;</source>
        <translation>&amp;Weiter  &gt;</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>This wizard will help you create a zip file containing one or more compressed files.</source>
        <translation>Dieser Assistent hilft Ihnen, eine Zip-Datei mit einer oder mehreren komprimierten Dateien anzulegen.</translation>
    </message>
    <message>
        <source>Zip Filename: </source>
        <translation>Zip-Dateiname: </translation>
    </message>
    <message>
        <source>Create or open an existing zip file.</source>
        <translation>Eine Zip-Datei anlegen oder eine vorhandene öffnen.</translation>
    </message>
    <message>
        <source>Create a new Zip file</source>
        <translation>Neue Zip-Datei anlegen</translation>
    </message>
    <message>
        <source>Open an existing Zip file</source>
        <translation>Vorhandene Zip-Datei öffnen</translation>
    </message>
    <message>
        <source>Action:</source>
        <translation>Aktion:</translation>
    </message>
    <message>
        <source>How should files be added to the zip file?</source>
        <translation>Wie sollen Dateien zur Zip-Datei hinzugefügt werden?</translation>
    </message>
    <message>
        <source>Add &amp;&amp; replace files</source>
        <translation>Dateien hinzufügen &amp;&amp; ersetzen</translation>
    </message>
    <message>
        <source>Freshen existing files</source>
        <translation>Vorhandene Dateien auffrischen</translation>
    </message>
    <message>
        <source>Update and add files</source>
        <translation>Dateien aktualisieren und hinzufügen</translation>
    </message>
    <message>
        <source>Add Files:</source>
        <translation>Dateien hinzufügen:</translation>
    </message>
    <message>
        <source>Create a list of files that you want to add in your zip file.</source>
        <translation>Stellen Sie eine Liste der Dateien zusammen, die in Ihre Zip-Datei sollen.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>Save path names in zip file</source>
        <translation>Pfadnamen in der Zip-Datei speichern</translation>
    </message>
    <message>
        <source>Recurse Folders</source>
        <translation>Unterordner einbeziehen</translation>
    </message>
    <message>
        <source>Zip Compression: </source>
        <translation>Zip-Komprimierung: </translation>
    </message>
    <message>
        <source>Select the amount of compression you would like.</source>
        <translation>Wählen Sie, wie stark komprimiert werden soll.</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>Max.</translation>
    </message>
    <message>
        <source>New Zip File</source>
        <translation>Neue Zip-Datei</translation>
    </message>
    <message>
        <source>Open Zip File</source>
        <translation>Zip-Datei öffnen</translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>A valid Zip filename is required.
Hint:  Harbex requires the full path and filename.</source>
        <translation>Ein gültiger Zip-Dateiname ist erforderlich.
Hinweis:  Harbex braucht den vollständigen Pfad und Dateinamen.</translation>
    </message>
    <message>
        <source>File Zip Wizard</source>
        <translation>Datei-Zip-Assistent</translation>
    </message>
    <message>
        <source>File Zip Wizard - %1 file dropped.</source>
        <translation>Datei-Zip-Assistent - %1 Datei abgelegt.</translation>
    </message>
    <message>
        <source>File Zip Wizard - %1 files dropped.</source>
        <translation>Datei-Zip-Assistent - %1 Dateien abgelegt.</translation>
    </message>
    <message>
        <source>&amp;Finish</source>
        <translation>&amp;Fertigstellen</translation>
    </message>
</context>
</TS>
