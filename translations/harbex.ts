<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" sourcelanguage="en">
<context>
    <name>HXFormExtract</name>
    <message>
        <source>Replace File : </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With File: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HXdlgCookies</name>
    <message>
        <source>Session</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HXdlgEditProfile</name>
    <message>
        <source>Current directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current site</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Anywhere</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HXdlgEditTask</name>
    <message>
        <source>Edit Task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add a Task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create New Task</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HXdlgEditTaskDialogs</name>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All PAGE links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All RESOURCE links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> MUST contain all of the following characters, words or phrases.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> MUST NOT contain any of the following characters, words or phrases.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Separate each with a comma.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All links must contain all of the following characters, words or phrases. Separate each with a comma.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HXwizFileZip</name>
    <message>
        <source>Zip file (*.zip)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Browse for Folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TBrowserMissingPage</name>
    <message>
        <source>Harbex&apos;s internal browser needs Qt WebEngine, which this build does not have (or which was switched off with HARBEX_NO_WEBENGINE=1). You can browse a copy in your default browser: right click a web page and choose &apos;View in&apos; &gt; &apos;Default Browser&apos;, or use the button below.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open in Default Browser</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TExploreModel</name>
    <message>
        <source>Mark</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last Modified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Result</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Referrer</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFileTypeTree</name>
    <message>
        <source>Filetypes: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;New...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to delete the %1 file type?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to delete the %1 file type group?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormBrowser</name>
    <message>
        <source>Back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forward</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Home</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opening Page...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Done.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormDownloader</name>
    <message>
        <source>Downloader</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connections:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Media files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Priority:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connections</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormExplore</name>
    <message>
        <source>Mark for download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All errors</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All unmarked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mark for update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mark for mapping</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unmark</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>On Internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Internet Explorer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Netscape Navigator</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip file does not exist</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormExtract</name>
    <message>
        <source>Unzip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unzip To:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Selected Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Options:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use path names</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Overwrite existing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Unzip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormHarbex</name>
    <message>
        <source>New</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Task...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open zip file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloads</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Downloads folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a profile to specify what,
and how much, should be retrieved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Intranet Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add To Zip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add future downloads to currently selected zip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Go</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex Home</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tasks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Explore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connections</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip Properties</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Click twice to toggle wide-view</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Personal Intranet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Custom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set Default: Personal Intranet Mode.
Downloaded websites are stored directly
on your hard disk within  
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set Default: Harbex Mode.
Downloaded websites are stored within a single compressed
Zip file which is saved on your hard disk within  
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid URL.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Harbex</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copies web sites for offline use.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removing temporary Harbex files...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New - My Harbex&apos;s for </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Integrated &amp;Browser (default browser)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Containing &amp;Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to &amp;Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to send %1 to the trash?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 could not be moved to the trash.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;New</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;File Zip...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Download Task...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Special</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Reopen</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Undo        Ctrl+Z</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cu&amp;t            Ctrl+X</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy         Ctrl+C</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Paste        Ctrl+V</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paste URL...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Zip Pane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Split &amp;Horizontally</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Split &amp;Vertically</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Downloads Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profiles Editor...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Preferences...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Select Skin...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Zip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Web Zip...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Add...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Unzip...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rena&amp;me</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Internet Explorer...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Netscape Navigator...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Notepad</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;New...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedu&amp;le...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Unschedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Page URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Page URL (local)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>On &amp;Internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Netscape Navigator...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Integrated &amp;Browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xplore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Contents...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Online Help...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Harbex News...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex &amp;Tour...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tavrolin Home &amp;Page...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New &amp;File Zip...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New &amp;Download Task...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Personal Intranet Website</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>GO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Download Task...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Map</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add To Current Zip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Paste URL and download...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browser Properties...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version %1 (Build %2) (22 January 1999)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The help pages were not found in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to write the reports: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormScheduler</name>
    <message>
        <source>Active Tasks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task categories</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Category...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reports</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Explore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;New...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create a new task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit selected task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete selected task(s)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start selected task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort selected task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedu&amp;le...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule selected task...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Unschedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unschedule selected task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Page URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Page URL (local)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Offline</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>On &amp;Internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Internet Explorer...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Netscape Navigator...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Integrated &amp;Browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browser Properties...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>E&amp;xplore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task Summary</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page Index</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ImageIndex</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Errors</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create Reports</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to create the folder %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormStatus</name>
    <message>
        <source>Ready</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pages:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Media Files:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Errors:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kb</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kb/sec</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Transfer Rate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time (secs)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>( KB/sec )</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Total Bytes Transferred</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connections</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download chart</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TFormZip</name>
    <message>
        <source>Total: %1 files  </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Total: %1 files  %2 / %3 bytes (%4%)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Selected %1 files </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Selected %1 files  %2 / %3 bytes</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TRenderBox</name>
    <message>
        <source>Rendering:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Render Pages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load every page again in an offscreen browser, with its scripts, and keep what they built: the rendered page is saved, and the data files and pictures it used are copied. For sites whose pages are built by scripts.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Render Time Out (seconds):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A page is taken as it shows once its network has been idle for half a second, or when this time has passed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Scripts</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep the page&apos;s scripts in the saved page. Off, the copy shows the rendered content instead of running the site&apos;s application again without its data.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Render Pages needs harbex-render (Qt WebEngine), which is not installed. Pages are copied as the site sends them.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TSocketListModel</name>
    <message>
        <source>Retrieving</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HTTP Socket: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TTaskListModel</name>
    <message>
        <source>Running in another Harbex process (PID %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Page Title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resources</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Errors</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Destination</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Method</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TURLFilterList</name>
    <message>
        <source>URL&apos;s MUST contain one of the following characters, words or phrases.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL&apos;s MUST NOT contain any of the following characters, words or phrases.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL&apos;s to include</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL&apos;s to exclude</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> must contain...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> must not contain...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resource links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Include:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exclude:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TZipContentsModel</name>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Packed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ratio</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Path</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TZipPane</name>
    <message>
        <source>Zips</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Zip File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip file (*.zip *.ZIP);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>More...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Adding: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updating: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Extracting &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deleting: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Zip component is busy: try again in a moment.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opening Zip: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opening Zip File...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to delete %1?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to delete the folder %1 and all its contents?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to send %1 to the trash?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The trash cannot take %1. Delete it for good?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to delete %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unzipped: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No such browser is installed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to start %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file %1 no longer exists.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgAutoHarbex</name>
    <message>
        <source>Auto-Harbex</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use Harbex Wizard...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgCookies</name>
    <message>
        <source>Cookies</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cookies of this task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Domain</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Path</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Expires</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Import...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add the cookies of a cookies.txt file (Netscape format, as wget, curl and browser extensions write it).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete &amp;All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1

This file holds no cookie that can be used: it is not a cookies.txt file in the Netscape format, or all its cookies have expired.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import Cookies</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cookie files (*.txt);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditFileType</name>
    <message>
        <source>New File Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Type:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Extensions:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit File Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter one or more file extensions (separated by semicolons):</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditProfile</name>
    <message>
        <source>Profiles Editor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Profiles ( Download Methods)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile Name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Types:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retrieve the following filetypes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>How many levels of this site would you like to retrieve?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This page only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This page and</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>level/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All levels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page Location:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pages must be within:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resource Location:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL Filter - Include:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL&apos;s MUST contain characters, words or phrases from at least one of the following groups.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL Filter - Exclude:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sitemaps:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use Sitemaps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Also copy the pages the site lists in its sitemaps (robots.txt &quot;Sitemap:&quot; lines and /sitemap.xml), within the rules above, even those no link leads to.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto-Rename:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Automatically rename Zip files to Start Page Title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upon completion Harbex will rename the zip file to the title of the first web page.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save changes to profile: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL&apos;s MUST NOT contain characters, words or phrases from at least one of the following groups.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Depth of retrieval:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resources (images, sounds etc.) must be within:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditTask</name>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task Name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Category:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Task settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter the starting address (URL) for the page or website you wish to download.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex gives you two methods of saving downloaded websites and files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filetypes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select Filetypes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select the filetypes you wish to retrieve during this download task.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed Links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed Links - levels &amp; location</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose how many levels Harbex should follow links into, and in what websites or directories, followed links should be confined.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed Links (Adv)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed Links - Advanced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you want Harbex to extract and follow links from script code within HTML pages?  Note that Harbex does not interpret Javascript or VBScript, so some links may be invalid or incorrect.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>URL Filters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filter URLs which do or don&apos;t contain particular characters, words or phrases.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Link Conversion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex can convert links on downloaded pages so they work on a local offline environment.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule Task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule this task to start:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Site requires a password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User Name/Password...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cookies...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The cookies this task sends to the site: import a cookies.txt file, look at them or delete them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to the site in the integrated browser; the task keeps the cookies the site sets.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download this Website to your Personal Intranet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download and save files directly to this location without compression. This can be your default Personal  Intranet or any other directory on your system.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Personal Intranet folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download and Zip this Website</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter a name for the zip file including its full path.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Zip File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Zip File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename zip file to start page title</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upon completion Harbex will rename the zip file to the title of the first web page.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download and compress files to this Zip file:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse for Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip file (*.zip);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed page links - Location:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Within current directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Within current site</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Anywhere</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed links - Levels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This page only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This page and</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>level/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All levels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed media links - Location</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current site</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Aggressive Parser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Aggressively extract and follow links from within &lt;SCRIPT&gt; tags only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Aggressively extract and follow all possible links from the entire page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Followed Links: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do NOT convert ANY followed links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Convert ALL followed links to relative links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unfollowed Links: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do NOT convert ANY unfollowed links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Convert unfollowed links within the current website to relative links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Convert ALL unfollowed links to relative links</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>At:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Don&apos;t schedule this task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A valid Internet address (URL) is required</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A name for this Harbex task is required.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A Task with this name already exists. Do you want to replace it?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A valid Zip filename is required.
Hint:  Harbex requires the full path and filename.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A valid Intranet Folder is required.
Hint:  Harbex requires the full path to the Intranet Folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Custom</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter the full path of your local Intranet Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep every request and answer, as sent and received, in this WARC file (full path; leave empty for none).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WARC file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a WARC file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Also archive the exchanges in this WARC file (for replay tools):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WARC File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WARC file (*.warc.gz);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sitemaps:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use Sitemaps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Also copy the pages the site lists in its sitemaps (robots.txt &quot;Sitemap:&quot; lines and /sitemap.xml), within the rules above, even those no link leads to.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A valid WARC file name is required.
Hint:  Harbex requires the full path and filename, or an empty field for none.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgEditURLFilter</name>
    <message>
        <source>Add URL Filter</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgOptions</name>
    <message>
        <source>General</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Personal Intranet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex - Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General Settings </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max. URL&apos;s in recently typed URL&apos;s list:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max. files in recently opened files list:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip files only after download has completed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Turn off banner ad insertion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display Task Screen at startup</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Beep on task completion</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Temporary Harbex Files </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Specify a location in which to store temporary files:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NOTE: Temporary files are automatically deleted on exit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default Downloads Folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Specify the default folder for all Harbexes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default Unzip Folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last Unzip Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default Zip Folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Last Zip Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Proxy Server: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect to the Internet using a proxy server</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Authorization (If proxy server requires a password):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Username:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Agent Identity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Some websites serve different pages for different browsing agents (Web Browsers)
Use this option to &apos;trick&apos; the web server into giving you the page you require.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Secure Sites (https)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check the certificates of secure sites</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(only the system&apos;s certificates)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a file of trusted certificates (PEM)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CA File:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time-outs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect Time Out:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>seconds (looking a host up and connecting to it)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local Intranet Folder:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Specify the default folder to use for your personal Intranet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Web Browser: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a browser program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use your current system default browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex has determined that Internet Explorer uses the following proxy server to access the Internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex will most likely also need to use this proxy server to access the Internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Do you want to set this proxy server for Harbex also?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear all items in your recently typed URL&apos;s list?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear all items in your recently opened files list?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse for Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CA File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Certificates (*.pem *.crt);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identify Harbex as:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crawling</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fast: fetch and parse as soon as there is work</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Classic: the steady one-second cadence</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Obey the sites&apos; robots.txt files (Fast pacing)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pacing:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Host Delay:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>milliseconds between two requests to one host</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max Page Size:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MB (a larger page is kept, its links not followed)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use HTTP/2 where the server offers it (Fast pacing)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Renderers:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>offscreen browsers at once for profiles that render pages</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgRunTask</name>
    <message>
        <source>&amp;Run</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Summary  </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download action:  </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgSchedule</name>
    <message>
        <source>Schedule Task</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next Run:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule (Once-off): </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>At</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Schedule (recurring): </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hours</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Minutes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Daily at</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Weekly at</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Harbex</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>on</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgSelectSkin</name>
    <message>
        <source>Select Skin</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgSignIn</name>
    <message>
        <source>Sign In</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to the site as you always do, then press Done: the cookies the site sets are kept with this task.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign In - </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgTaskReport</name>
    <message>
        <source>Task Reports</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Creating Task Summary</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Progress</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TdlgUserNamePassword</name>
    <message>
        <source>Account/Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Account:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password:</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>hx::TwizFileZip</name>
    <message>
        <source>&lt;  &amp;Back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Next  &gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This wizard will help you create a zip file containing one or more compressed files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip Filename: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create or open an existing zip file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create a new Zip file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open an existing Zip file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Action:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>How should files be added to the zip file?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add &amp;&amp; replace files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Freshen existing files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update and add files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Files:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create a list of files that you want to add in your zip file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save path names in zip file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Recurse Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zip Compression: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select the amount of compression you would like.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Zip File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Zip File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A valid Zip filename is required.
Hint:  Harbex requires the full path and filename.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Zip Wizard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Zip Wizard - %1 file dropped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File Zip Wizard - %1 files dropped.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Finish</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
