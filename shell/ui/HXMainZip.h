#pragma once

// TZipPane: the main window's archive side. It holds the Zips tree (the open
// archives with their folders and files), the Pages tree (the HTML pages of the
// selected archive) and the Zip contents list of the Zip Properties view, and runs
// every archive command on the one Zip component the task runner also feeds:
// open, list, add (File Zip Wizard), delete, unzip, rename, close, browse, send,
// the day's "Special" archive, the Downloads menus and the recent archives.
//
// The component processes window events while it works. TZipGate keeps the zip
// feed and the tree's selection changes from starting a second operation
// meanwhile; every operation here marks it and gives the component its settings
// and handlers back when it ends (TZipSettingsKeeper).
//
// Threads: window thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDate>
#include <QObject>
#include <QPointer>

#include "archive/ui/HXIconCache.h"
#include "shell/HXZipTree.h"

class QListView;
class QMenu;
class QModelIndex;
class QTabWidget;
class QTreeView;
class QWidget;

namespace hx
{

class THXApp;
class TFormZip;
class TZipPagesModel;
class TZipTreeModel;

// What the pane needs of the main window.
class TZipPaneHost
{
public:
    virtual ~TZipPaneHost() = default;
    // The status line, with a progress when `maximum` is not 0.
    virtual void ZipStatus(const std::string& text, std::int64_t position = 0, std::int64_t maximum = 0) = 0;
    // Shows the Zip Properties view (unless `unlessTasks` and the Tasks view is shown).
    virtual void ShowZipProperties(bool unlessTasks) = 0;
    // The message box of a Zip result code; 0 success, 1 success with a notice, 2 failure.
    virtual int ZipResult(int code, std::string_view operationWord) = 0;
    virtual void ZipError(const std::string& message) = 0;
    // The recent-archive list: a path joins it (first) or leaves it; both save it.
    virtual void RememberZipFile(const std::string& path) = 0;
    virtual void ForgetZipFile(const std::string& path) = 0;
    // Opens a file or folder with the desktop's program.
    virtual void OpenWithDesktop(const std::string& target) = 0;
    // Opens a page in the browser the settings name.
    virtual void OpenPage(const std::string& target) = 0;
    // Starts a program with one argument; false when it could not start.
    virtual bool StartProgram(const std::string& program, const std::string& argument) = 0;
    // Opens a file in the desktop's text editor (its default application for plain
    // text), telling why when there is none.
    virtual void OpenWithTextEditor(const std::string& file) = 0;
    // Refreshes the enabling of the commands (menus, toggle).
    virtual void ZipCommandsChanged() = 0;
    // A rename moved an archive that a task writes to (task file follows).
    virtual void ZipFileMoved(const std::string& oldPath, const std::string& newPath) = 0;
};

// How an archive file is browsed.
enum class TZipBrowser
{
    Default,
    InternetExplorer,
    NetscapeNavigator,
    TextEditor
};

class TZipPane final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TZipPane)

public:
    // The trees go into the first two tabs of `tabs`; the contents list is made
    // as a child of `contentsParent`.
    TZipPane(THXApp& app, TXceedZip& zip, TZipGate& gate, TZipPaneHost& host, QTabWidget* tabs,
             QWidget* contentsParent);
    ~TZipPane() override;

    QTreeView* tvZip = nullptr;
    QListView* tvPages = nullptr;
    TFormZip* Contents() const { return m_contents; }
    TZipTreeModel& Model() const { return *m_model; }
    TZipPagesModel& PagesModel() const { return *m_pages; }
    TIconCache& Icons() { return m_icons; }

    // --- Operations ---

    // A root for the archive, selected, not listed (a new archive of the wizard).
    TZipArchive& AddZipNode(const std::string& path, bool keepTasksView = false);
    // Shows the Zip Properties view (unless `keepTasksView` and the Tasks view is
    // shown), then selects the archive when it is open, else adds and lists it.
    TZipArchive* OpenZip(const std::string& path, bool keepTasksView = false);
    // The zip feed added a file to an archive: its node, when the archive is open.
    void AddEntryNode(const std::string& archivePath, const std::string& storedName, const std::string& comment);
    // The files into the selected archive in one add, with their paths as given
    // (the component's use of paths and recursion as set); false when nothing was added.
    bool AddFilesToZip(const std::vector<std::string>& files);
    // Unpacks the archive into the temporary folder once (the extracted-for-browsing
    // flag); false when that failed now or before.
    bool ExtractZipToTemp(TZipArchive& archive);
    // The zip feed is done with an archive: when it is the selected one, the
    // contents list shows what it holds now.
    void RefreshContents(const std::string& archivePath);
    // A rename done elsewhere (the runner) moved an open archive.
    void ArchiveRenamed(const std::string& oldPath, const std::string& newPath);

    // --- Commands ---

    void FileZip(const std::vector<std::string>& droppedFiles = {}, bool presetSelected = false);
    void OpenDialog();
    void CloseSelected();
    void DeleteSelected();
    void UnzipSelected();
    void RenameSelected();
    void Browse(TZipBrowser browser);
    void Send();
    void OpenRecent(const std::string& path);
    void OpenSpecial(const QDate& day);
    // The Downloads folder's archives (the first 25 by name), a separator and "More...".
    void FillDownloadsMenu(QMenu* menu);
    void OpenDownloadsFolder();

    // --- State ---

    TZipTreeNode* SelectedNode() const;
    TZipArchive* SelectedArchive() const;
    void Select(const TZipTreeNode& node);
    // The archive commands apply: a node is selected and the Zips tree or the
    // contents list has the focus.
    bool CommandsApply() const;
    bool Idle() const { return m_gate.Idle(); }
    // Where the user can mail archives from (xdg-email), empty when nowhere.
    static std::string MailProgram();

    // Replaceable for tests: the file dialogs and questions of the commands.
    std::function<std::string()> ChooseArchiveToOpen;
    std::function<bool(const std::string& question)> Confirm;

signals:
    void SelectionMoved();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ListZip(TZipArchive& archive);
    void ListZipFolder();
    void ListPages();
    void CurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    void ShowTotals(int archiveFileCount);
    void ShowSelectionText();
    int Extract(const std::vector<std::string>& entries, const std::string& folder, bool usePaths,
                TXcdOverwrite overwrite);
    // The target of a browse: the selected node's pattern, the first page for a
    // root, or the contents list's row; empty when none.
    std::string BrowseTarget() const;
    std::vector<std::string> ExtractForDrag(const std::vector<std::string>& entries);
    bool RenameArchive(TZipArchive& archive, const std::string& newName);
    // Prepares the component for one window operation: events processed while it works.
    void PrepareComponent();

    THXApp& m_app;
    TXceedZip& m_zip;
    TZipGate& m_gate;
    TZipPaneHost& m_host;
    TIconCache m_icons;
    TZipTreeModel* m_model = nullptr;
    TZipPagesModel* m_pages = nullptr;
    TFormZip* m_contents = nullptr;
    QTabWidget* m_tabs = nullptr;
    // The listing total: the archive's file count, taken when it is opened.
    int m_listingTotal = 0;
    bool m_reverting = false;
    bool m_selecting = false;
};

} // namespace hx
