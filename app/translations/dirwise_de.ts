<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>dirwise::AboutBox</name>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Product Title</source>
        <translation>Produktname</translation>
    </message>
    <message>
        <source>Product Description</source>
        <translation>Produktbeschreibung</translation>
    </message>
    <message>
        <source>Author Info</source>
        <translation>Angaben zum Autor</translation>
    </message>
    <message>
        <source>&amp;System Info...</source>
        <translation>S&amp;ysteminfo...</translation>
    </message>
    <message>
        <source>System Information</source>
        <translation>Systeminformationen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>No System Information program was found.</source>
        <translation>Es wurde kein Programm für Systeminformationen gefunden.</translation>
    </message>
    <message>
        <source>The System Information program could not be started:
%1</source>
        <translation>Das Programm für Systeminformationen konnte nicht gestartet werden:
%1</translation>
    </message>
    <message>
        <source>Disclaimer:<byte value="xd"/>
<byte value="xd"/>
The Author, or anyone associated in <byte value="xd"/>
partnership, is not liable for any financial or <byte value="xd"/>
resource burden that may occur due to <byte value="xd"/>
software malfunctions or data loss during <byte value="xd"/>
use of this application.  This application <byte value="xd"/>
provides no warranty and must not be used <byte value="xd"/>
under business critical circumstances.<byte value="xd"/>
<byte value="xd"/>
</source>
        <translation>Haftungsausschluss:<byte value="xd"/>
<byte value="xd"/>
Der Autor und alle, die mit ihm <byte value="xd"/>
verbunden sind, haften nicht für finanzielle <byte value="xd"/>
oder sonstige Belastungen, die durch <byte value="xd"/>
Fehlfunktionen der Software oder Datenverlust <byte value="xd"/>
bei der Benutzung dieser Anwendung <byte value="xd"/>
entstehen.  Diese Anwendung bietet keine <byte value="xd"/>
Gewährleistung und darf nicht unter <byte value="xd"/>
geschäftskritischen Umständen benutzt werden.<byte value="xd"/>
<byte value="xd"/>
</translation>
    </message>
</context>
<context>
    <name>dirwise::CellTexts</name>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 d</source>
        <translation>%1 T</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 h</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 byte</source>
        <translation>%1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>compare newer by %1</source>
        <translation>Vergleichsdatei neuer um %1</translation>
    </message>
    <message>
        <source>compare older by %1</source>
        <translation>Vergleichsdatei älter um %1</translation>
    </message>
    <message>
        <source>%1 (whole hours: time zone or daylight saving?)</source>
        <translation>%1 (volle Stunden: Zeitzone oder Sommerzeit?)</translation>
    </message>
    <message>
        <source>%1 (FAT rounding?)</source>
        <translation>%1 (FAT-Rundung?)</translation>
    </message>
    <message>
        <source>within tolerance (%1)</source>
        <translation>innerhalb der Toleranz (%1)</translation>
    </message>
    <message>
        <source>%1-hour shift ignored</source>
        <translation>Versatz um %1 Stunden ignoriert</translation>
    </message>
    <message>
        <source>%1; same content</source>
        <translation>%1; gleicher Inhalt</translation>
    </message>
    <message>
        <source>%1; content differs</source>
        <translation>%1; Inhalt verschieden</translation>
    </message>
    <message>
        <source>contents differ (their sha256 digests differ)</source>
        <translation>Inhalte verschieden (ihre sha256-Prüfsummen unterscheiden sich)</translation>
    </message>
    <message>
        <source>contents differ from offset %1</source>
        <translation>Inhalte verschieden ab Byte %1</translation>
    </message>
    <message>
        <source>not in the compare directory</source>
        <translation>nicht im Vergleichsverzeichnis</translation>
    </message>
    <message>
        <source>not in the master directory</source>
        <translation>nicht im Master-Verzeichnis</translation>
    </message>
    <message>
        <source>cannot read the master file: %1</source>
        <translation>Master-Datei nicht lesbar: %1</translation>
    </message>
    <message>
        <source>cannot read the master folder: %1</source>
        <translation>Master-Ordner nicht lesbar: %1</translation>
    </message>
    <message>
        <source>cannot read the compare file: %1</source>
        <translation>Vergleichsdatei nicht lesbar: %1</translation>
    </message>
    <message>
        <source>cannot read the compare folder: %1</source>
        <translation>Vergleichsordner nicht lesbar: %1</translation>
    </message>
    <message>
        <source>master folder went away</source>
        <translation>Master-Ordner verschwunden</translation>
    </message>
    <message>
        <source>compare folder went away</source>
        <translation>Vergleichsordner verschwunden</translation>
    </message>
    <message>
        <source>already compared as %1</source>
        <translation>schon verglichen als %1</translation>
    </message>
</context>
<context>
    <name>dirwise::FilePropertiesDialog</name>
    <message>
        <source>Regular file</source>
        <translation>Normale Datei</translation>
    </message>
    <message>
        <source>Directory</source>
        <translation>Verzeichnis</translation>
    </message>
    <message>
        <source>Symbolic link</source>
        <translation>Symbolische Verknüpfung</translation>
    </message>
    <message>
        <source>Named pipe (FIFO)</source>
        <translation>Benannte Pipe (FIFO)</translation>
    </message>
    <message>
        <source>Socket</source>
        <translation>Socket</translation>
    </message>
    <message>
        <source>Character device</source>
        <translation>Zeichenorientiertes Gerät</translation>
    </message>
    <message>
        <source>Block device</source>
        <translation>Blockorientiertes Gerät</translation>
    </message>
    <message>
        <source>Unknown kind</source>
        <translation>Unbekannte Art</translation>
    </message>
    <message>
        <source>Cannot be examined: not a valid file name</source>
        <translation>Kann nicht untersucht werden: kein gültiger Dateiname</translation>
    </message>
    <message>
        <source>Cannot be examined: %1</source>
        <translation>Kann nicht untersucht werden: %1</translation>
    </message>
    <message>
        <source> to </source>
        <translation> auf </translation>
    </message>
    <message>
        <source>1 byte</source>
        <translation>1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>%1, group %2</source>
        <translation>%1, Gruppe %2</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Master file</source>
        <translation>Master-Datei</translation>
    </message>
    <message>
        <source>Compare file</source>
        <translation>Vergleichsdatei</translation>
    </message>
    <message>
        <source>File %1</source>
        <translation>Datei %1</translation>
    </message>
    <message>
        <source>Path:</source>
        <translation>Pfad:</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>Art:</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Größe:</translation>
    </message>
    <message>
        <source>Modified:</source>
        <translation>Geändert:</translation>
    </message>
    <message>
        <source>Permissions:</source>
        <translation>Berechtigungen:</translation>
    </message>
    <message>
        <source>Owner:</source>
        <translation>Eigentümer:</translation>
    </message>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Properties of %1</source>
        <translation>Eigenschaften von %1</translation>
    </message>
</context>
<context>
    <name>dirwise::FilterBar</name>
    <message>
        <source>Show the &quot;%1&quot; rows</source>
        <translation>Die Zeilen „%1“ zeigen</translation>
    </message>
    <message>
        <source>Show %1 rows</source>
        <translation>Zeilen %1 zeigen</translation>
    </message>
    <message>
        <source>Filter by path</source>
        <translation>Nach Pfad filtern</translation>
    </message>
    <message>
        <source>Show only the rows whose path contains this text (Ctrl+F)</source>
        <translation>Nur die Zeilen zeigen, deren Pfad diesen Text enthält (Strg+F)</translation>
    </message>
</context>
<context>
    <name>dirwise::MainWindow</name>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Select Directory</source>
        <translation>Verzeichnis auswählen</translation>
    </message>
    <message>
        <source>Master Di&amp;rectory  (This is the directory that contains the correct files)</source>
        <translation>&amp;Master-Verzeichnis  (Dieses Verzeichnis enthält die richtigen Dateien)</translation>
    </message>
    <message>
        <source>&amp;Compare Directory  (This is the directory that contains the questionable files)</source>
        <translation>&amp;Vergleichsverzeichnis  (Dieses Verzeichnis enthält die fraglichen Dateien)</translation>
    </message>
    <message>
        <source>Include S&amp;ubdirectories</source>
        <translation>&amp;Unterverzeichnisse einbeziehen</translation>
    </message>
    <message>
        <source>Match File Si&amp;ze</source>
        <translation>Datei&amp;größe vergleichen</translation>
    </message>
    <message>
        <source>Match File &amp;Date</source>
        <translation>Dateida&amp;tum vergleichen</translation>
    </message>
    <message>
        <source>Don&apos;t Show Files that &amp;Match</source>
        <translation>Übereinstimmende Dateien ausbl&amp;enden</translation>
    </message>
    <message>
        <source>&amp;Exclude Extentions &gt;</source>
        <translation>E&amp;ndungen ausschließen &gt;</translation>
    </message>
    <message>
        <source>&amp;Include Extentions &gt;</source>
        <translation>Endungen e&amp;inschließen &gt;</translation>
    </message>
    <message>
        <source>Save on E&amp;xit</source>
        <translation>Beim Beenden spei&amp;chern</translation>
    </message>
    <message>
        <source>&amp;Save List...</source>
        <translation>Liste &amp;speichern...</translation>
    </message>
    <message>
        <source>Save Results</source>
        <translation>Ergebnisse speichern</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>&amp;Programminfo...</translation>
    </message>
    <message>
        <source>About This Program</source>
        <translation>Über dieses Programm</translation>
    </message>
    <message>
        <source>He&amp;lp...</source>
        <translation>Hi&amp;lfe...</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>&amp;Begin</source>
        <translation>&amp;Beginnen</translation>
    </message>
    <message>
        <source>Begin Compare</source>
        <translation>Vergleich beginnen</translation>
    </message>
    <message>
        <source>Stop Compare</source>
        <translation>Vergleich anhalten</translation>
    </message>
    <message>
        <source>&amp;About %1...</source>
        <translation>Ü&amp;ber %1...</translation>
    </message>
    <message>
        <source>Select Master Directory...</source>
        <translation>Master-Verzeichnis auswählen...</translation>
    </message>
    <message>
        <source>Select Compare Directory...</source>
        <translation>Vergleichsverzeichnis auswählen...</translation>
    </message>
    <message>
        <source>Invalid Path</source>
        <translation>Ungültiger Pfad</translation>
    </message>
    <message>
        <source>Cannot specify same directory as compare directory.</source>
        <translation>Das Vergleichsverzeichnis kann nicht zugleich Master-Verzeichnis sein.</translation>
    </message>
    <message>
        <source>Cannot specify same directory as master directory.</source>
        <translation>Das Master-Verzeichnis kann nicht zugleich Vergleichsverzeichnis sein.</translation>
    </message>
    <message>
        <source>No program was found to show the help page. Install xdg-utils and a web browser, or open %1 in a browser.</source>
        <translation>Es wurde kein Programm gefunden, das die Hilfeseite anzeigt. Installieren Sie xdg-utils und einen Webbrowser, oder öffnen Sie %1 in einem Browser.</translation>
    </message>
    <message>
        <source>%1 - By %2</source>
        <translation>%1 – von %2</translation>
    </message>
    <message>
        <source>Master folder</source>
        <translation>Master-Ordner</translation>
    </message>
    <message>
        <source>The directory that contains the correct files</source>
        <translation>Das Verzeichnis mit den richtigen Dateien</translation>
    </message>
    <message>
        <source>Compare folder</source>
        <translation>Vergleichsordner</translation>
    </message>
    <message>
        <source>The directory that contains the questionable files</source>
        <translation>Das Verzeichnis mit den fraglichen Dateien</translation>
    </message>
    <message>
        <source>Choose master folder…</source>
        <translation>Master-Ordner wählen…</translation>
    </message>
    <message>
        <source>Choose compare folder…</source>
        <translation>Vergleichsordner wählen…</translation>
    </message>
    <message>
        <source>Master folder picture</source>
        <translation>Bild des Master-Ordners</translation>
    </message>
    <message>
        <source>Compare folder picture</source>
        <translation>Bild des Vergleichsordners</translation>
    </message>
    <message>
        <source>Extension %1</source>
        <translation>Endung %1</translation>
    </message>
    <message>
        <source>A file extension the options above include or exclude</source>
        <translation>Eine Dateiendung, die die Optionen darüber ein- oder ausschließen</translation>
    </message>
    <message>
        <source>Results</source>
        <translation>Ergebnisse</translation>
    </message>
    <message>
        <source>One row a file; View, Sort By sorts it by a column</source>
        <translation>Eine Zeile je Datei; Ansicht, Sortieren nach sortiert nach einer Spalte</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Commands</source>
        <translation>Befehle</translation>
    </message>
    <message>
        <source>Separator</source>
        <translation>Trennlinie</translation>
    </message>
    <message>
        <source>Directories and options</source>
        <translation>Verzeichnisse und Optionen</translation>
    </message>
    <message>
        <source>Too Many Folders</source>
        <translation>Zu viele Ordner</translation>
    </message>
    <message>
        <source>%1 folders were dropped. Drop one folder on a directory box or its picture, or two on the window: the master folder, then the compare folder.</source>
        <translation>Es wurden %1 Ordner abgelegt. Legen Sie einen Ordner auf einem Verzeichnisfeld oder seinem Bild ab, oder zwei auf dem Fenster: zuerst den Master-Ordner, dann den Vergleichsordner.</translation>
    </message>
    <message>
        <source>Text File (*.txt)</source>
        <translation>Textdatei (*.txt)</translation>
    </message>
    <message>
        <source>CSV File, all columns (*.csv)</source>
        <translation>CSV-Datei, alle Spalten (*.csv)</translation>
    </message>
    <message>
        <source>Save Results As...</source>
        <translation>Ergebnisse speichern unter...</translation>
    </message>
    <message>
        <source>Cannot Save File</source>
        <translation>Datei kann nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Complete</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>File save complete</source>
        <translation>Die Datei wurde gespeichert</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Help Contents...</source>
        <translation>&amp;Hilfethemen...</translation>
    </message>
    <message>
        <source>Help on the &amp;Web...</source>
        <translation>Hilfe im &amp;Web...</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>&amp;Remove From List</source>
        <translation>Aus der Liste &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>&amp;Time Tolerance</source>
        <translation>&amp;Zeittoleranz</translation>
    </message>
    <message>
        <source>&amp;Exact</source>
        <translation>&amp;Exakt</translation>
    </message>
    <message>
        <source>&amp;1 Second</source>
        <translation>&amp;1 Sekunde</translation>
    </message>
    <message>
        <source>&amp;2 Seconds (FAT)</source>
        <translation>&amp;2 Sekunden (FAT)</translation>
    </message>
    <message>
        <source>Ignore 1-Hour &amp;Shifts (Daylight Saving)</source>
        <translation>&amp;Stundenversatz ignorieren (Sommerzeit)</translation>
    </message>
    <message>
        <source>&amp;List Files Only in Compare Directory</source>
        <translation>Nur im Vergleichsverzeichnis vorhandene Dateien &amp;auflisten</translation>
    </message>
    <message>
        <source>&amp;Verify Contents</source>
        <translation>&amp;Inhalte prüfen</translation>
    </message>
    <message>
        <source>&amp;Follow Links to Directories</source>
        <translation>Verknüpfungen zu Verzeichnissen &amp;folgen</translation>
    </message>
    <message>
        <source>Sort &amp;By</source>
        <translation>&amp;Sortieren nach</translation>
    </message>
    <message>
        <source>&amp;Result</source>
        <translation>&amp;Ergebnis</translation>
    </message>
    <message>
        <source>Compare &amp;Path</source>
        <translation>&amp;Vergleichspfad</translation>
    </message>
    <message>
        <source>File &amp;Name</source>
        <translation>Datei&amp;name</translation>
    </message>
    <message>
        <source>&amp;Master Size</source>
        <translation>&amp;Mastergröße</translation>
    </message>
    <message>
        <source>C&amp;ompare Size</source>
        <translation>Vergleichs&amp;größe</translation>
    </message>
    <message>
        <source>Master &amp;Date</source>
        <translation>Master&amp;datum</translation>
    </message>
    <message>
        <source>Compare D&amp;ate</source>
        <translation>Vergleichsda&amp;tum</translation>
    </message>
    <message>
        <source>Di&amp;fference</source>
        <translation>&amp;Unterschied</translation>
    </message>
    <message>
        <source>Starting...</source>
        <translation>Wird gestartet...</translation>
    </message>
    <message>
        <source>Out of memory</source>
        <translation>Kein Speicher mehr</translation>
    </message>
    <message>
        <source>Out of Memory</source>
        <translation>Nicht genügend Speicher</translation>
    </message>
    <message>
        <source>There was not enough memory to finish the compare. The list has been cleared.</source>
        <translation>Der Speicher reichte nicht, um den Vergleich abzuschließen. Die Liste wurde geleert.</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Dirwise stopped.</source>
        <translation>Dirwise wurde angehalten.</translation>
    </message>
    <message>
        <source>Total Files: %1</source>
        <translation>Dateien gesamt: %1</translation>
    </message>
    <message>
        <source>Matching Files: %1</source>
        <translation>Übereinstimmende Dateien: %1</translation>
    </message>
    <message>
        <source>Different Files: %1</source>
        <translation>Abweichende Dateien: %1</translation>
    </message>
    <message>
        <source>Extra Files: %1</source>
        <translation>Zusätzliche Dateien: %1</translation>
    </message>
    <message>
        <source>Not Compared: %1</source>
        <translation>Nicht verglichen: %1</translation>
    </message>
    <message>
        <source>Listing: %1 files found</source>
        <translation>Auflisten: %1 Dateien gefunden</translation>
    </message>
    <message>
        <source>Comparing: %1 of %2 files</source>
        <translation>Vergleichen: %1 von %2 Dateien</translation>
    </message>
    <message>
        <source>, %1 verified</source>
        <translation>, %1 geprüft</translation>
    </message>
    <message>
        <source>Listing compare directory: %1 files found</source>
        <translation>Vergleichsverzeichnis auflisten: %1 Dateien gefunden</translation>
    </message>
    <message>
        <source>Dirwise complete.</source>
        <translation>Dirwise ist fertig.</translation>
    </message>
    <message>
        <source>S&amp;kip Folders and Files…</source>
        <translation>Ordner und Dateien ü&amp;berspringen…</translation>
    </message>
    <message>
        <source>Skip This &amp;Folder</source>
        <translation>Diesen &amp;Ordner überspringen</translation>
    </message>
    <message>
        <source>Skip This F&amp;ile</source>
        <translation>Diese &amp;Datei überspringen</translation>
    </message>
    <message>
        <source>Skipped Folders: %1</source>
        <translation>Übersprungene Ordner: %1</translation>
    </message>
    <message>
        <source>Skipped Files: %1</source>
        <translation>Übersprungene Dateien: %1</translation>
    </message>
    <message>
        <source>Stop (Esc)</source>
        <translation>Anhalten (Esc)</translation>
    </message>
    <message>
        <source>HTML page (*.html)</source>
        <translation>HTML-Seite (*.html)</translation>
    </message>
    <message>
        <source> (%1 of %2 rows)</source>
        <translation> (%1 von %2 Zeilen)</translation>
    </message>
    <message>
        <source>Edi&amp;t</source>
        <translation>Bea&amp;rbeiten</translation>
    </message>
    <message>
        <source>&amp;Filter</source>
        <translation>&amp;Filtern</translation>
    </message>
    <message>
        <source>Master directory</source>
        <translation>Master-Verzeichnis</translation>
    </message>
    <message>
        <source>Compare directory</source>
        <translation>Vergleichsverzeichnis</translation>
    </message>
    <message>
        <source>%1 not found: %2</source>
        <translation>%1 nicht gefunden: %2</translation>
    </message>
    <message>
        <source>%1 is not a folder: %2</source>
        <translation>%1 ist kein Ordner: %2</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2: %3</source>
        <translation>%1 kann nicht gelesen werden: %2: %3</translation>
    </message>
    <message>
        <source>The places not compared are listed as &quot;Not Compared&quot; rows.</source>
        <translation>Die nicht verglichenen Stellen stehen als Zeilen „Not Compared“ in der Liste.</translation>
    </message>
    <message>
        <source>&amp;Recent Pairs</source>
        <translation>&amp;Zuletzt verglichene Paare</translation>
    </message>
    <message>
        <source>Compare Fil&amp;es</source>
        <translation>Dateien &amp;vergleichen</translation>
    </message>
    <message>
        <source>Open &amp;Master File</source>
        <translation>&amp;Masterdatei öffnen</translation>
    </message>
    <message>
        <source>Open C&amp;ompare File</source>
        <translation>Ver&amp;gleichsdatei öffnen</translation>
    </message>
    <message>
        <source>Open Containing Fol&amp;der</source>
        <translation>Ordner mit der Datei ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Co&amp;py Path</source>
        <translation>&amp;Pfad kopieren</translation>
    </message>
    <message>
        <source>Copy F&amp;ull Path</source>
        <translation>Vollständigen Pfad &amp;kopieren</translation>
    </message>
    <message>
        <source>S&amp;wap</source>
        <translation>&amp;Tauschen</translation>
    </message>
    <message>
        <source>Exchange the master and the compare directory</source>
        <translation>Master- und Vergleichsverzeichnis tauschen</translation>
    </message>
    <message>
        <source>Rows shown</source>
        <translation>Angezeigte Zeilen</translation>
    </message>
    <message>
        <source>How many rows the list shows, and of how many</source>
        <translation>Wie viele Zeilen die Liste zeigt, und von wie vielen</translation>
    </message>
    <message>
        <source>Clear the text</source>
        <translation>Den Text löschen</translation>
    </message>
    <message>
        <source>Recent Pairs: compare one of the last directory pairs again</source>
        <translation>Zuletzt verglichene Paare: eines der letzten Verzeichnispaare erneut vergleichen</translation>
    </message>
    <message>
        <source>No diff tool is installed. Install one of %1, or name one in the DiffTool setting.</source>
        <translation>Es ist kein Vergleichsprogramm installiert. Installieren Sie eines von %1, oder nennen Sie eines in der Einstellung DiffTool.</translation>
    </message>
    <message>
        <source>The diff tool &quot;%1&quot; of the DiffTool setting cannot be found.</source>
        <translation>Das Vergleichsprogramm „%1“ der Einstellung DiffTool wurde nicht gefunden.</translation>
    </message>
    <message>
        <source>Compare Files</source>
        <translation>Dateien vergleichen</translation>
    </message>
    <message>
        <source>The diff tool %1 could not be started.</source>
        <translation>Das Vergleichsprogramm %1 konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>1 row</source>
        <translation>1 Zeile</translation>
    </message>
    <message>
        <source>%1 rows</source>
        <translation>%1 Zeilen</translation>
    </message>
    <message>
        <source>%1 of %2 rows</source>
        <translation>%1 von %2 Zeilen</translation>
    </message>
    <message>
        <source>No directories compared yet</source>
        <translation>Noch keine Verzeichnisse verglichen</translation>
    </message>
    <message>
        <source>Choose M&amp;aster Snapshot...</source>
        <translation>M&amp;aster-Snapshot wählen...</translation>
    </message>
    <message>
        <source>Choose Compare Snaps&amp;hot...</source>
        <translation>Vergleichs-Snaps&amp;hot wählen...</translation>
    </message>
    <message>
        <source>Save &amp;Snapshot...</source>
        <translation>&amp;Snapshot speichern...</translation>
    </message>
    <message>
        <source>Save the master directory as a snapshot file</source>
        <translation>Das Master-Verzeichnis als Snapshot-Datei speichern</translation>
    </message>
    <message>
        <source>Snapshot (*.mtree)</source>
        <translation>Snapshot (*.mtree)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>%1 is neither a folder nor a snapshot: %2</source>
        <translation>%1 ist weder ein Ordner noch ein Snapshot: %2</translation>
    </message>
    <message>
        <source>The snapshot %1 cannot be read: line %2: %3</source>
        <translation>Der Snapshot %1 kann nicht gelesen werden: Zeile %2: %3</translation>
    </message>
    <message>
        <source>The snapshot %1 cannot be read: %2</source>
        <translation>Der Snapshot %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>The snapshot %1 has no sha256 digest for some files, which Verify Contents needs. Save a snapshot with Verify Contents on (File &gt; Save Snapshot...).</source>
        <translation>Der Snapshot %1 enthält nicht für alle Dateien eine sha256-Prüfsumme, die „Inhalte prüfen“ braucht. Speichern Sie einen Snapshot mit eingeschaltetem „Inhalte prüfen“ (Datei &gt; Snapshot speichern...).</translation>
    </message>
    <message>
        <source>The snapshot %1 has no modification time for some entries, which Match File Date needs. Save a new snapshot of the folder (File &gt; Save Snapshot...).</source>
        <translation>Der Snapshot %1 enthält nicht für alle Einträge eine Änderungszeit, die „Dateidatum vergleichen“ braucht. Speichern Sie einen neuen Snapshot des Ordners (Datei &gt; Snapshot speichern...).</translation>
    </message>
    <message>
        <source>Remote directory %1: %2</source>
        <translation>Entferntes Verzeichnis %1: %2</translation>
    </message>
    <message>
        <source>The remote shell command of DWC_RSH has an open quote.</source>
        <translation>Der Befehl für die entfernte Shell in DWC_RSH hat ein offenes Anführungszeichen.</translation>
    </message>
    <message>
        <source>Remote directory %1: the remote side ended with status %2</source>
        <translation>Entferntes Verzeichnis %1: die Gegenseite endete mit Status %2</translation>
    </message>
    <message>
        <source>Reading the remote directory %1...</source>
        <translation>Das entfernte Verzeichnis %1 wird gelesen...</translation>
    </message>
    <message>
        <source>Reading the snapshot %1...</source>
        <translation>Der Snapshot %1 wird gelesen...</translation>
    </message>
    <message>
        <source>Choose Master Snapshot...</source>
        <translation>Master-Snapshot wählen...</translation>
    </message>
    <message>
        <source>Choose Compare Snapshot...</source>
        <translation>Vergleichs-Snapshot wählen...</translation>
    </message>
    <message>
        <source>Save Snapshot</source>
        <translation>Snapshot speichern</translation>
    </message>
    <message>
        <source>A snapshot is saved of the master directory, which must be a folder on this computer.</source>
        <translation>Ein Snapshot wird vom Master-Verzeichnis gespeichert, das dafür ein Ordner auf diesem Computer sein muss.</translation>
    </message>
    <message>
        <source>The master directory cannot be read: %1: %2</source>
        <translation>Das Master-Verzeichnis kann nicht gelesen werden: %1: %2</translation>
    </message>
    <message>
        <source>Save Snapshot As...</source>
        <translation>Snapshot speichern unter...</translation>
    </message>
    <message>
        <source>The snapshot would be written inside the folder it describes: %1</source>
        <translation>Der Snapshot läge in dem Ordner, den er beschreibt: %1</translation>
    </message>
    <message>
        <source>Saving snapshot: %1 entries</source>
        <translation>Snapshot wird gespeichert: %1 Einträge</translation>
    </message>
    <message>
        <source>The snapshot was stopped; nothing was saved.</source>
        <translation>Der Snapshot wurde angehalten; es wurde nichts gespeichert.</translation>
    </message>
    <message>
        <source>The snapshot of %1 was saved to %2: %3 entries.</source>
        <translation>Der Snapshot von %1 wurde in %2 gespeichert: %3 Einträge.</translation>
    </message>
    <message>
        <source>Every file&apos;s sha256 digest is in it.</source>
        <translation>Er enthält die sha256-Prüfsumme jeder Datei.</translation>
    </message>
    <message>
        <source>%1 places could not be read and are missing from it (see the details).</source>
        <translation>%1 Stellen konnten nicht gelesen werden und fehlen darin (siehe Details).</translation>
    </message>
    <message>
        <source>Snapshot saved: %1 entries</source>
        <translation>Snapshot gespeichert: %1 Einträge</translation>
    </message>
    <message>
        <source>%1 is inside the master directory. Save the list outside both directories, so that no compared file is changed.</source>
        <translation>%1 liegt im Masterverzeichnis. Speichern Sie die Liste außerhalb beider Verzeichnisse, damit keine verglichene Datei verändert wird.</translation>
    </message>
    <message>
        <source>%1 is inside the compare directory. Save the list outside both directories, so that no compared file is changed.</source>
        <translation>%1 liegt im Vergleichsverzeichnis. Speichern Sie die Liste außerhalb beider Verzeichnisse, damit keine verglichene Datei verändert wird.</translation>
    </message>
    <message>
        <source>Opens a chooser for the master folder; its arrow offers a snapshot file</source>
        <translation>Öffnet die Auswahl für den Master-Ordner; sein Pfeil bietet auch eine Snapshot-Datei an</translation>
    </message>
    <message>
        <source>Opens a chooser for the compare folder; its arrow offers a snapshot file</source>
        <translation>Öffnet die Auswahl für den Vergleichsordner; sein Pfeil bietet auch eine Snapshot-Datei an</translation>
    </message>
    <message>
        <source>Click to choose the master folder, or drop a folder or a snapshot file here</source>
        <translation>Klicken, um den Master-Ordner zu wählen, oder einen Ordner oder eine Snapshot-Datei hier ablegen</translation>
    </message>
    <message>
        <source>Click to choose the compare folder, or drop a folder or a snapshot file here</source>
        <translation>Klicken, um den Vergleichsordner zu wählen, oder einen Ordner oder eine Snapshot-Datei hier ablegen</translation>
    </message>
    <message>
        <source>Master &amp;Folder...</source>
        <translation>Master-&amp;Ordner...</translation>
    </message>
    <message>
        <source>Compare &amp;Folder...</source>
        <translation>Vergleichs&amp;ordner...</translation>
    </message>
    <message>
        <source>Master &amp;Snapshot File...</source>
        <translation>Master-&amp;Snapshot-Datei...</translation>
    </message>
    <message>
        <source>Compare &amp;Snapshot File...</source>
        <translation>Vergleichs-&amp;Snapshot-Datei...</translation>
    </message>
</context>
<context>
    <name>dirwise::Prompts</name>
    <message>
        <source>The folder &quot;%1&quot; does not exist.
Choose an existing folder.</source>
        <translation>Der Ordner „%1“ existiert nicht.
Wählen Sie einen vorhandenen Ordner.</translation>
    </message>
</context>
<context>
    <name>dirwise::ResultsModel</name>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Compare Path</source>
        <translation>Vergleichspfad</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Master Size</source>
        <translation>Mastergröße</translation>
    </message>
    <message>
        <source>Compare Size</source>
        <translation>Vergleichsgröße</translation>
    </message>
    <message>
        <source>Master Date</source>
        <translation>Masterdatum</translation>
    </message>
    <message>
        <source>Compare Date</source>
        <translation>Vergleichsdatum</translation>
    </message>
    <message>
        <source>Difference</source>
        <translation>Unterschied</translation>
    </message>
</context>
<context>
    <name>dirwise::SkipRulesDialog</name>
    <message>
        <source>Skip Folders and Files</source>
        <translation>Ordner und Dateien überspringen</translation>
    </message>
    <message>
        <source>&amp;Rules, one a line, for both trees:</source>
        <translation>&amp;Regeln, eine je Zeile, für beide Bäume:</translation>
    </message>
    <message>
        <source>Skip rules</source>
        <translation>Regeln zum Überspringen</translation>
    </message>
    <message>
        <source>Each line is a pattern as in a .gitignore file, taken from the master directory: * and ? match within a name, [a-z] one character of a set, ** any number of folders. A / at the start or in the middle ties a pattern to the master directory, a / at the end matches folders only, ! takes a match back, \ takes the next character as it is, and # starts a comment.
Example:  build/   *.o   !keep.o   /docs/**/*.tmp</source>
        <translation>Jede Zeile ist ein Muster wie in einer .gitignore-Datei, vom Masterverzeichnis aus: * und ? passen innerhalb eines Namens, [a-z] auf ein Zeichen einer Menge, ** auf beliebig viele Ordner. Ein / am Anfang oder in der Mitte bindet ein Muster an das Masterverzeichnis, ein / am Ende passt nur auf Ordner, ! nimmt einen Treffer zurück, \ nimmt das nächste Zeichen, wie es ist, und # beginnt einen Kommentar.
Beispiel:  build/   *.o   !keep.o   /docs/**/*.tmp</translation>
    </message>
    <message>
        <source>Use .&amp;gitignore files</source>
        <translation>.&amp;gitignore-Dateien verwenden</translation>
    </message>
    <message>
        <source>Use .gitignore files</source>
        <translation>.gitignore-Dateien verwenden</translation>
    </message>
    <message>
        <source>Also honour the master directory&apos;s .gitignore files, each for its own folder, and pass over .git folders</source>
        <translation>Auch die .gitignore-Dateien des Masterverzeichnisses beachten, jede für ihren Ordner, und .git-Ordner übergehen</translation>
    </message>
</context>
<context>
    <name>dirwise::Startup</name>
    <message>
        <source>Usage: dw [MASTER [COMPARE]]
       dw /?
       dw --help | --version
Compare two directory trees file by file, in a window.

  MASTER     the master directory to show, in place of the saved one
  COMPARE    the compare directory to show, in place of the saved one
  /?         show only the About box
  -h, --help show this text and exit
  --version  show the version and exit
  --         end of the options: what follows are directories

Qt&apos;s own options, such as -platform NAME or -style NAME, are also accepted.
</source>
        <translation>Aufruf: dw [MASTER [VERGLEICH]]
       dw /?
       dw --help | --version
Vergleicht zwei Verzeichnisbäume Datei für Datei, in einem Fenster.

  MASTER     das anzuzeigende Master-Verzeichnis, statt des gespeicherten
  VERGLEICH  das anzuzeigende Vergleichsverzeichnis, statt des gespeicherten
  /?         nur das Info-Fenster zeigen
  -h, --help diesen Text zeigen und beenden
  --version  die Version zeigen und beenden
  --         Ende der Optionen: was folgt, sind Verzeichnisse

Qts eigene Optionen wie -platform NAME oder -style NAME werden ebenfalls angenommen.
</translation>
    </message>
    <message>
        <source>dw: unknown option &quot;%1&quot;
</source>
        <translation>dw: unbekannte Option „%1“
</translation>
    </message>
    <message>
        <source>dw: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); dwc compares without one
</source>
        <translation>dw: keine Anzeige für das Fenster (weder DISPLAY noch WAYLAND_DISPLAY ist gesetzt); dwc vergleicht ohne Anzeige
</translation>
    </message>
    <message>
        <source>dw: cannot open the display to show the window on (%1); dwc compares without one
</source>
        <translation>dw: die Anzeige für das Fenster kann nicht geöffnet werden (%1); dwc vergleicht ohne Anzeige
</translation>
    </message>
    <message>
        <source> : Error</source>
        <translation> : Fehler</translation>
    </message>
    <message>
        <source>Error loading main form: </source>
        <translation>Fehler beim Laden des Hauptfensters: </translation>
    </message>
    <message>
        <source>dw: too many arguments
</source>
        <translation>dw: zu viele Argumente
</translation>
    </message>
    <message>
        <source>Dirwise compares two folders at a time and was given %1. Give it one or two: the master folder, then the compare folder.</source>
        <translation>Dirwise vergleicht zwei Ordner auf einmal und hat %1 erhalten. Geben Sie einen oder zwei an: zuerst den Master-Ordner, dann den Vergleichsordner.</translation>
    </message>
</context>
<context>
    <name>dirwise::SystemAbout</name>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
</context>
<context>
    <name>dirwise::WindowSettings</name>
    <message>
        <source>which is not a number</source>
        <translation>was keine Zahl ist</translation>
    </message>
    <message>
        <source>which is out of range for a 16-bit integer</source>
        <translation>was außerhalb des Bereichs einer 16-Bit-Ganzzahl liegt</translation>
    </message>
    <message>
        <source>which is not %1</source>
        <translation>was nicht %1 ist</translation>
    </message>
    <message>
        <source>a check box value (0, 1 or 2)</source>
        <translation>ein Kontrollkästchenwert (0, 1 oder 2)</translation>
    </message>
    <message>
        <source>which is out of range for a single-precision number</source>
        <translation>was außerhalb des Bereichs einer Zahl einfacher Genauigkeit liegt</translation>
    </message>
    <message>
        <source>the setting &quot;%1&quot; holds &quot;%2&quot;, %3 (settings file %4)</source>
        <translation>die Einstellung „%1“ enthält „%2“, %3 (Einstellungsdatei %4)</translation>
    </message>
    <message>
        <source>the settings file %1 cannot be read: %2</source>
        <translation>die Einstellungsdatei %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>sie ist keine normale Datei</translation>
    </message>
    <message>
        <source>it is larger than 1 MiB</source>
        <translation>sie ist größer als 1 MiB</translation>
    </message>
    <message>
        <source>it is not in the settings format</source>
        <translation>sie hat nicht das Format der Einstellungen</translation>
    </message>
    <message>
        <source>a time tolerance (0, 1 or 2 seconds)</source>
        <translation>eine Zeittoleranz (0, 1 oder 2 Sekunden)</translation>
    </message>
    <message>
        <source>0 or 1</source>
        <translation>0 oder 1</translation>
    </message>
</context>
</TS>
