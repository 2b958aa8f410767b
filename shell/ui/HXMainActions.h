#pragma once

// THXMainActions: the main window's commands, made once when its menus are built
// (HXMainMenus.cpp) and reached through these members from then on. Each action
// keeps the object name of its menu item, which is also its member's name.

class QAction;

namespace hx
{

// The Internet Explorer, Netscape Navigator and integrated-browser items of one
// Browse submenu.
struct TBrowseActions
{
    QAction* IE = nullptr;
    QAction* Netscape = nullptr;
    QAction* Integrated = nullptr;
};

struct THXMainActions
{
    // File
    QAction* miFileNewFileZip = nullptr;
    QAction* miFileNewDownloadTask = nullptr;
    QAction* miFileOpen = nullptr;
    QAction* miFileClose = nullptr;
    QAction* miFileExit = nullptr;
    // Edit
    QAction* miEditUndo = nullptr;
    QAction* miEditCut = nullptr;
    QAction* miEditCopy = nullptr;
    QAction* miEditPaste = nullptr;
    QAction* miPasteURL = nullptr;
    // View
    QAction* miSplitHorizontally = nullptr;
    QAction* miSplitVertically = nullptr;
    QAction* miProfilesEditor = nullptr;
    QAction* miPreferences = nullptr;
    QAction* miSelectSkin = nullptr;
    // Zip
    QAction* miZipNewFileZip = nullptr;
    QAction* miZipNewWebZip = nullptr;
    QAction* miZipOpen = nullptr;
    QAction* miZipClose = nullptr;
    QAction* miZipAdd = nullptr;
    QAction* miZipDelete = nullptr;
    QAction* miZipUnzip = nullptr;
    QAction* miZipRename = nullptr;
    QAction* miZipSend = nullptr;
    QAction* miZipBrowseIE = nullptr;
    QAction* miZipBrowseNetscape = nullptr;
    QAction* miZipBrowseNotepad = nullptr;
    // Task
    QAction* miTaskNew = nullptr;
    QAction* miTaskEdit = nullptr;
    QAction* miTaskDelete = nullptr;
    QAction* miTaskRun = nullptr;
    QAction* miTaskStop = nullptr;
    QAction* miTaskSchedule = nullptr;
    QAction* miTaskUnschedule = nullptr;
    QAction* miTaskCopyURL = nullptr;
    QAction* miTaskCopyLocalURL = nullptr;
    // Task > Browse > Offline and On Internet.
    TBrowseActions miTaskBrowseOffline;
    TBrowseActions miTaskBrowseOnline;
    QAction* miTaskExplore = nullptr;
    // Help
    QAction* miHelpContents = nullptr;
    QAction* miOnlineHelp = nullptr;
    QAction* miHarbexNews = nullptr;
    QAction* miHarbexTour = nullptr;
    QAction* miVendorHome = nullptr;
    QAction* miAbout = nullptr;
    // The New button's menu.
    QAction* pmiNewFileZip = nullptr;
    QAction* pmiNewDownloadTask = nullptr;
    QAction* pmiNewIntranet = nullptr;
    // The Go button's menu.
    QAction* pmiGo = nullptr;
    QAction* pmiGoNewTask = nullptr;
    QAction* pmiGoMap = nullptr;
    // The tray menu.
    QAction* pmiAddToCurrentZip = nullptr;
    QAction* pmiPasteURL = nullptr;
    QAction* pmiOptions = nullptr;
    QAction* pmiRestore = nullptr;
    QAction* pmiExit = nullptr;
};

} // namespace hx
