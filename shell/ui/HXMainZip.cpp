#include "shell/ui/HXMainZip.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QTabWidget>
#include <QTreeView>

#include <algorithm>

#include "archive/ui/HXFormExtract.h"
#include "archive/ui/HXFormZip.h"
#include "archive/ui/HXwizFileZip.h"
#include "core/HXApp.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"
#include "core/ui/HXQtText.h"
#include "archive/HXZipTemp.h"
#include "shell/ui/HXZipTreeModel.h"

namespace hx
{

namespace
{

constexpr std::size_t kDownloadsMenuArchives = 25;
constexpr int kZipsTab = 0;
constexpr int kPagesTab = 1;

// A translated message with a name (an entry, a file) put in for its %1, as engine text.
std::string Said(const QString& message, const std::string& name)
{
    return Std(message.arg(Text(name)));
}

// The window cursor for the length of a listing.
class TWaitCursor
{
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Marks the gate for one operation and clears it at the end, whatever happens.
class TGateMark
{
public:
    TGateMark(int& field, int value)
        : m_field(field)
    {
        m_field = value;
    }
    ~TGateMark() { m_field = 0; }
    TGateMark(const TGateMark&) = delete;
    TGateMark& operator=(const TGateMark&) = delete;

private:
    int& m_field;
};

std::string WithBackslashesAsSlashes(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool SamePathIgnoringCase(const std::string& a, const std::string& b)
{
    return LowerCase(a) == LowerCase(b);
}

} // namespace

TZipPane::TZipPane(THXApp& app, TXceedZip& zip, TZipGate& gate, TZipPaneHost& host, QTabWidget* tabs,
                   QWidget* contentsParent)
    : QObject(tabs)
    , m_app(app)
    , m_zip(zip)
    , m_gate(gate)
    , m_host(host)
    , m_tabs(tabs)
{
    m_model = new TZipTreeModel(m_icons, this);
    m_model->RenameArchive = [this](TZipArchive& archive, const std::string& name)
    { return RenameArchive(archive, name); };
    m_pages = new TZipPagesModel(m_icons, this);

    tvZip = new QTreeView(tabs);
    tvZip->setObjectName("tvZip");
    tvZip->setHeaderHidden(true);
    tvZip->setModel(m_model);
    // Long names with their titles scroll sideways instead of being cut.
    tvZip->header()->setStretchLastSection(false);
    tvZip->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tvZip->setEditTriggers(QAbstractItemView::EditKeyPressed);
    tvZip->setContextMenuPolicy(Qt::CustomContextMenu);
    tvZip->installEventFilter(this);
    tvPages = new QListView(tabs);
    tvPages->setObjectName("tvPages");
    tvPages->setModel(m_pages);
    tvPages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabs->insertTab(kZipsTab, tvZip, tr("Zips"));
    tabs->insertTab(kPagesTab, tvPages, tr("Pages"));

    m_contents = new TFormZip(m_icons, contentsParent);
    m_contents->setObjectName("FormZip");
    m_contents->lvZip->installEventFilter(this);
    m_contents->SetDragExtractor([this](const std::vector<std::string>& entries) { return ExtractForDrag(entries); });

    connect(tvZip->selectionModel(), &QItemSelectionModel::currentChanged, this, &TZipPane::CurrentChanged);
    connect(tvPages->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this]
            {
                if (m_gate.ListingMode != kListingPages && m_tabs->currentIndex() == kPagesTab)
                    tvPages->setFocus();
            });
    connect(m_contents, &TFormZip::CommandsChanged, this,
            [this]
            {
                ShowSelectionText();
                m_host.ZipCommandsChanged();
            });
    connect(m_contents, &TFormZip::SelectionChangedTotals, this, [this] { ShowSelectionText(); });
    connect(m_contents, &TFormZip::OpenEntry, this, [this] { Browse(TZipBrowser::Default); });
    connect(tabs, &QTabWidget::currentChanged, this,
            [this](int tab)
            {
                if (tab == kPagesTab)
                {
                    tvPages->setFocus();
                    ListPages();
                }
                else if (tab == kZipsTab)
                    tvZip->setFocus();
            });
}

TZipPane::~TZipPane() = default;

// ---- State ----

TZipTreeNode* TZipPane::SelectedNode() const
{
    return m_model->Node(tvZip->currentIndex());
}

TZipArchive* TZipPane::SelectedArchive() const
{
    TZipTreeNode* node = SelectedNode();
    return node ? node->Archive : nullptr;
}

void TZipPane::Select(const TZipTreeNode& node)
{
    const QModelIndex index = m_model->IndexOf(node);
    // The pane's own moves are not the user's: the busy rules do not refuse them.
    m_selecting = true;
    tvZip->setCurrentIndex(index);
    m_selecting = false;
    tvZip->scrollTo(index);
}

bool TZipPane::CommandsApply() const
{
    if (!SelectedNode())
        return false;
    const QWidget* focus = QApplication::focusWidget();
    return focus == tvZip || (focus && m_contents->isAncestorOf(focus));
}

std::string TZipPane::MailProgram()
{
    return FindProgramOnPath("xdg-email");
}

void TZipPane::PrepareComponent()
{
    m_zip.ProcessEvents = [] { QApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    m_zip.OnAdding = [this](const std::string& name)
    {
        m_gate.ZipBusy = kZipAdding;
        m_host.ZipStatus(Said(tr("Adding: %1"), name));
    };
    m_zip.OnUpdating = [this](const std::string& name)
    {
        m_gate.ZipBusy = kZipUpdating;
        m_host.ZipStatus(Said(tr("Updating: %1"), name));
    };
    m_zip.OnExtracting = [this](const std::string& name)
    {
        m_gate.ZipBusy = kZipExtracting;
        m_host.ZipStatus(Said(tr("Extracting \"%1\"."), name));
    };
    m_zip.OnDeleting = [this](const std::string& name) { m_host.ZipStatus(Said(tr("Deleting: %1"), name)); };
    m_zip.OnStatus = [this](int percent, std::int64_t processed, std::int64_t total)
    {
        if (processed >= total)
            m_host.ZipStatus(Std(tr("Ready")));
        else
            m_host.ZipStatus(Std(tr("Ready")), percent, 100);
    };
}

// ---- Selection ----

void TZipPane::CurrentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (m_reverting)
        return;
    TZipTreeNode* node = m_model->Node(current);
    const TZipTreeNode* before = m_model->Node(previous);
    const bool otherArchive = node && before && node->Archive != before->Archive;
    // No change while an operation or a listing runs, nor to another archive while
    // the zip feed has the selected one.
    if (!m_selecting && previous.isValid() && current.isValid() &&
        (!m_gate.Idle() || (otherArchive && m_gate.ZipTreeLocked)))
    {
        m_reverting = true;
        tvZip->setCurrentIndex(previous);
        m_reverting = false;
        return;
    }
    // A person's choice in the tree (not the pane's own moves) takes the focus and the view.
    if (!m_selecting)
    {
        if (m_tabs->currentIndex() == kZipsTab && !tvZip->hasFocus() && tvZip->isVisible())
            tvZip->setFocus();
        if (otherArchive || (node && !before))
            m_host.ShowZipProperties(true);
    }
    if (m_gate.ListingMode == kListingArchive || m_gate.ListingMode == kListingFolder)
        return;
    if (node && !SamePathIgnoringCase(node->Archive->Path(), m_zip.ZipFileName))
    {
        m_zip.ZipFileName = node->Archive->Path();
        ListPages();
    }
    else if (!node)
        ListPages();
    m_host.ZipCommandsChanged();
    ListZipFolder();
    emit SelectionMoved();
}

// ---- Opening and listing ----

TZipArchive& TZipPane::AddZipNode(const std::string& path, bool keepTasksView)
{
    m_tabs->setCurrentIndex(kZipsTab);
    const std::string archivePath = WithBackslashesAsSlashes(path);
    const std::string folder = ExtractFilePath(archivePath);
    if (!folder.empty())
        ForceDirectories(folder);
    m_zip.ZipFileName = archivePath;
    TZipArchive& archive = m_model->Archives().Add(archivePath);
    m_host.ShowZipProperties(keepTasksView);
    Select(archive.Root());
    m_host.ZipCommandsChanged();
    return archive;
}

TZipArchive* TZipPane::OpenZip(const std::string& path, bool keepTasksView)
{
    m_host.ShowZipProperties(keepTasksView);
    const std::string archivePath = WithBackslashesAsSlashes(path);
    if (TZipArchive* open = m_model->Archives().Find(archivePath))
    {
        Select(open->Root());
        return open;
    }
    if (!m_gate.Idle())
    {
        m_host.ZipStatus(Std(tr("The Zip component is busy: try again in a moment.")));
        return nullptr;
    }
    m_host.ZipStatus(Said(tr("Opening Zip: %1"), ExtractFileName(archivePath)));
    TZipArchive* archive = nullptr;
    {
        // Listing the new root happens here, not through the selection change.
        const TGateMark listing(m_gate.ListingMode, kListingArchive);
        archive = &AddZipNode(archivePath, keepTasksView);
    }
    {
        const TGateMark busy(m_gate.ZipBusy, kZipOpening);
        m_host.RememberZipFile(archivePath);
        m_listingTotal = m_zip.Count();
        ListZip(*archive);
        m_host.ZipStatus(Std(tr("Ready")));
    }
    ListPages();
    m_host.ZipCommandsChanged();
    return archive;
}

void TZipPane::ListZip(TZipArchive& archive)
{
    const TGateMark listing(m_gate.ListingMode, kListingArchive);
    const TWaitCursor wait;
    m_contents->BeginListing();
    const TZipSettingsKeeper keeper(m_zip);
    PrepareComponent();
    m_zip.ZipFileName = archive.Path();
    int listed = 0;
    tvZip->setUpdatesEnabled(false);
    m_zip.OnListing = [&](const TXcdFileStats& stats)
    {
        archive.AddListedFile(stats);
        if (stats.IsFolder)
            return;
        m_contents->AddEntry(stats);
        ++listed;
        if (m_gate.ZipBusy == kZipOpening && listed % 256 == 0)
            m_host.ZipStatus(Std(tr("Opening Zip File...")), listed, m_listingTotal);
    };
    const int code = m_zip.List("*.*");
    tvZip->setUpdatesEnabled(true);
    // An archive without a file yet is made by its first add: its listing fails
    // silently. A file that cannot be read as an archive is told.
    const bool damaged = code > 0 && FileExists(archive.Path()) && XcdResultText(code, "listing").Failed;
    m_contents->EndListing(true);
    ShowTotals(m_listingTotal);
    ShowSelectionText();
    if (damaged)
        m_host.ZipResult(code, "listing");
}

void TZipPane::ListZipFolder()
{
    const TGateMark listing(m_gate.ListingMode, kListingFolder);
    const TWaitCursor wait;
    m_contents->BeginListing();
    TZipTreeNode* node = SelectedNode();
    int archiveCount = 0;
    if (node)
    {
        const TZipSettingsKeeper keeper(m_zip);
        PrepareComponent();
        m_zip.ZipFileName = node->Archive->Path();
        m_zip.OnListing = [this](const TXcdFileStats& stats)
        {
            if (!stats.IsFolder)
                m_contents->AddEntry(stats);
        };
        (void)m_zip.List(node->Pattern());
        archiveCount = static_cast<int>(node->Archive->FileCount());
    }
    m_contents->EndListing(false);
    ShowTotals(archiveCount);
    ShowSelectionText();
}

void TZipPane::ListPages()
{
    std::vector<TZipPage> pages;
    {
        const TGateMark listing(m_gate.ListingMode, kListingPages);
        const TWaitCursor wait;
        if (TZipArchive* archive = SelectedArchive())
        {
            const TFileTypeGroups groups = ReadGroups(m_app.Store());
            const TZipSettingsKeeper keeper(m_zip);
            PrepareComponent();
            m_zip.ZipFileName = archive->Path();
            m_zip.OnListing = [&](const TXcdFileStats& stats)
            {
                if (!stats.IsFolder && GroupOfFile(groups, stats.FileName) == "HTML")
                {
                    const std::size_t slash = stats.FileName.rfind('/');
                    const std::string name =
                        slash == std::string::npos ? stats.FileName : stats.FileName.substr(slash + 1);
                    pages.push_back({ZipFileNodeText(name, stats.Comment), stats.FileName});
                }
            };
            (void)m_zip.List("*.*");
        }
        m_pages->SetPages(std::move(pages));
    }
    if (m_pages->rowCount() > 0)
        tvPages->setCurrentIndex(m_pages->index(0));
}

void TZipPane::ShowTotals(int archiveFileCount)
{
    const TZipRowTotals listed = m_contents->ListedTotals();
    m_host.ZipStatus(ZipTotalsText(listed, archiveFileCount));
}

void TZipPane::ShowSelectionText()
{
    if (!m_contents->isVisible())
        return;
    const TZipRowTotals selected = m_contents->SelectedTotals();
    m_host.ZipStatus(ZipSelectionText(selected));
}

// ---- Adding ----

void TZipPane::AddEntryNode(const std::string& archivePath, const std::string& storedName, const std::string& comment)
{
    if (TZipArchive* archive = m_model->Archives().Find(archivePath))
        archive->AddStoredFile(storedName, comment);
}

bool TZipPane::AddFilesToZip(const std::vector<std::string>& files)
{
    TZipArchive* archive = SelectedArchive();
    if (!archive || files.empty())
        return false;
    if (!m_gate.Idle())
    {
        m_host.ZipStatus(Std(tr("The Zip component is busy: try again in a moment.")));
        return false;
    }
    const bool recursed = m_zip.Recurse;
    // The names the archive took (a freshen or an update may leave files out).
    std::vector<std::string> entered;
    int result = 2;
    {
        const TGateMark busy(m_gate.ZipBusy, kZipAdding);
        const TZipSettingsKeeper keeper(m_zip);
        PrepareComponent();
        const auto adding = m_zip.OnAdding;
        const auto updating = m_zip.OnUpdating;
        m_zip.OnAdding = [&entered, adding](const std::string& name)
        {
            entered.push_back(name);
            adding(name);
        };
        m_zip.OnUpdating = [&entered, updating](const std::string& name)
        {
            entered.push_back(name);
            updating(name);
        };
        m_zip.ZipFileName = archive->Path();
        m_zip.FilesToProcess = files;
        // Paths as given: a file is stored with its whole path, without the leading "/".
        m_zip.BaseFolder = "/";
        result = m_host.ZipResult(m_zip.Add(), "adding");
    }
    if (result == 2)
        return false;
    if (recursed)
    {
        // Folders were added with their contents: the archive is listed again completely.
        const std::string path = archive->Path();
        CloseSelected();
        OpenZip(path);
        return true;
    }
    for (const std::string& name : entered)
        archive->AddStoredFile(name, "");
    ListZipFolder();
    return true;
}

void TZipPane::FileZip(const std::vector<std::string>& droppedFiles, bool presetSelected)
{
    if (!m_gate.Idle())
        return;
    TZipArchive* selected = SelectedArchive();
    TwizFileZip wizard(m_app, selected ? selected->Path() : std::string(), droppedFiles, tvZip->window());
    if (presetSelected && selected)
        wizard.PresetExisting(selected->Path());
    if (wizard.exec() != QDialog::Accepted)
        return;
    const TFileZipChoice choice = wizard.Choice();
    m_zip.Compression = choice.Compression;
    m_zip.UsePaths = choice.UsePaths;
    m_zip.Recurse = choice.Recurse;
    m_zip.AddAction = choice.Action;
    if (choice.Existing)
        OpenZip(choice.ZipFileName);
    else
    {
        AddZipNode(choice.ZipFileName);
        m_host.RememberZipFile(WithBackslashesAsSlashes(choice.ZipFileName));
    }
    if (SelectedArchive())
        AddFilesToZip(choice.Files);
    m_zip.Recurse = false;
    m_zip.AddAction = TXcdAddAction::AddReplace;
}

// ---- Extracting ----

int TZipPane::Extract(const std::vector<std::string>& entries, const std::string& folder, bool usePaths,
                      TXcdOverwrite overwrite)
{
    const TGateMark busy(m_gate.ZipBusy, kZipExtracting);
    const TZipSettingsKeeper keeper(m_zip);
    PrepareComponent();
    m_zip.FilesToProcess = entries;
    m_zip.ExtractDirectory = folder;
    m_zip.UsePaths = usePaths;
    m_zip.Overwrite = overwrite;
    m_zip.OnReplace = [this](const std::string& existing, const std::string& entry)
    { return AskReplaceFile(tvZip->window(), existing, entry); };
    return m_zip.Extract();
}

bool TZipPane::ExtractZipToTemp(TZipArchive& archive)
{
    // Once only; and not while the zip feed adds (its files lie in the temporary folder already).
    if (archive.ExtractedForBrowsing || m_gate.ZipTreeLocked)
        return true;
    if (!m_gate.Idle())
    {
        m_host.ZipStatus(Std(tr("The Zip component is busy: try again in a moment.")));
        return false;
    }
    const std::string previous = m_zip.ZipFileName;
    m_zip.ZipFileName = archive.Path();
    // Every entry (an empty list), into the private temporary folder, which the
    // component never writes outside of.
    const int code = Extract({}, m_app.GetTempFolder(), true, TXcdOverwrite::xowAlways);
    m_zip.ZipFileName = previous;
    archive.ExtractedForBrowsing = true;
    const int result = m_host.ZipResult(code, "extracting");
    if (result != 2)
        m_host.ZipStatus(std::string(kAllFilesExtracted));
    return result != 2;
}

void TZipPane::UnzipSelected()
{
    TZipTreeNode* node = SelectedNode();
    if (!node || !m_gate.Idle())
        return;
    TFormExtract dialog(m_app, tvZip->window());
    dialog.SetAllFiles(node->IsRoot());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const TExtractChoice choice = dialog.Choice();
    // All files: every name of the file index; selected files: the node's pattern.
    std::vector<std::string> entries =
        choice.AllFiles ? node->Archive->FileNames() : std::vector<std::string>{node->Pattern()};
    if (!choice.AllFiles && QApplication::focusWidget() && m_contents->isAncestorOf(QApplication::focusWidget()))
    {
        const std::vector<std::string> rows = m_contents->SelectedEntryNames();
        if (!rows.empty())
            entries = rows;
    }
    if (entries.empty())
        entries = {"*.*"};
    m_zip.ZipFileName = node->Archive->Path();
    const int code = Extract(entries, choice.Folder, choice.UsePaths,
                             choice.Overwrite ? TXcdOverwrite::xowAlways : TXcdOverwrite::xowAsk);
    m_host.ZipResult(code, "extracting");
}

std::vector<std::string> TZipPane::ExtractForDrag(const std::vector<std::string>& entries)
{
    TZipArchive* archive = SelectedArchive();
    if (!archive || entries.empty() || !m_gate.Idle())
        return {};
    m_zip.ZipFileName = archive->Path();
    const std::string folder = m_app.GetTempFolder();
    const int code = Extract(entries, folder, true, TXcdOverwrite::xowAlways);
    if (m_host.ZipResult(code, "extracting") == 2)
        return {};
    std::vector<std::string> paths;
    for (const std::string& entry : entries)
        if (FileExists(folder + entry))
            paths.push_back(folder + entry);
    return paths;
}

// ---- Closing, deleting, renaming ----

void TZipPane::CloseSelected()
{
    TZipArchive* archive = SelectedArchive();
    if (!archive || !m_gate.Idle())
        return;
    m_zip.ZipFileName.clear();
    m_model->Archives().Close(*archive);
    if (!SelectedNode())
    {
        // No archive left selected: the contents list and the Pages tree empty.
        m_contents->Clear();
        ShowTotals(0);
        ListPages();
        m_host.ZipCommandsChanged();
    }
}

void TZipPane::DeleteSelected()
{
    TZipTreeNode* node = SelectedNode();
    if (!node || !m_gate.Idle())
        return;
    TZipArchive& archive = *node->Archive;
    const auto ask = [this](const std::string& question)
    {
        if (Confirm)
            return Confirm(question);
        return QMessageBox::question(tvZip->window(), tvZip->window()->windowTitle(), QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    const auto deleteEntries = [this, &archive](const std::vector<std::string>& patterns)
    {
        const TGateMark busy(m_gate.ZipBusy, kZipUpdating);
        const TZipSettingsKeeper keeper(m_zip);
        PrepareComponent();
        m_zip.ZipFileName = archive.Path();
        m_zip.FilesToProcess = patterns;
        return m_zip.Delete();
    };
    QWidget* focus = QApplication::focusWidget();
    if (focus && m_contents->isAncestorOf(focus))
    {
        const std::vector<std::string> names = m_contents->SelectedEntryNames();
        if (names.empty())
            return;
        const int code = deleteEntries(names);
        m_host.ZipResult(code, "deleting");
        for (const std::string& name : names)
            if (TZipTreeNode* file = archive.FindFile(name))
                archive.RemoveNode(*file);
        ListZipFolder();
        return;
    }
    if (!node->IsRoot())
    {
        const std::string question =
            node->IsFile ? Said(tr("Are you sure you want to delete %1?"), node->Text)
                         : Said(tr("Are you sure you want to delete the folder %1 and all its contents?"), node->Text);
        if (!ask(question))
            return;
        const int code = deleteEntries({node->Pattern()});
        m_host.ZipResult(code, "deleting");
        TZipTreeNode* parent = node->Parent;
        archive.RemoveNode(*node);
        // The selection moves to what is left above.
        while (parent && !parent->IsRoot() && !archive.FindFolder(parent->Key))
            parent = parent->Parent;
        if (parent)
            Select(*parent);
        ListZipFolder();
        return;
    }
    // The archive itself goes to the desktop's trash after the user agrees.
    if (!ask(Said(tr("Are you sure you want to send %1 to the trash?"), archive.Path())))
        return;
    QString trashed;
    if (FileExists(archive.Path()) && !QFile::moveToTrash(QString::fromStdString(archive.Path()), &trashed))
    {
        if (!ask(Said(tr("The trash cannot take %1. Delete it for good?"), archive.Path())))
            return;
        if (!QFile::remove(QString::fromStdString(archive.Path())))
        {
            m_host.ZipError(Said(tr("Unable to delete %1"), archive.Path()));
            return;
        }
    }
    CloseSelected();
}

void TZipPane::RenameSelected()
{
    TZipArchive* archive = SelectedArchive();
    if (!archive || !m_gate.Idle())
        return;
    Select(archive->Root());
    tvZip->setFocus();
    tvZip->edit(m_model->IndexOf(archive->Root()));
}

bool TZipPane::RenameArchive(TZipArchive& archive, const std::string& newName)
{
    if (!m_gate.Idle() || newName.empty())
        return false;
    const std::string oldPath = archive.Path();
    const TZipRename rename = RenameZipFile(m_app, oldPath, newName);
    if (!rename.Error.empty())
    {
        m_host.ZipError(rename.Error);
        return false;
    }
    if (!rename.Renamed)
        return false;
    ArchiveRenamed(oldPath, rename.NewPath);
    m_host.ForgetZipFile(oldPath);
    m_host.RememberZipFile(rename.NewPath);
    m_host.ZipFileMoved(oldPath, rename.NewPath);
    return true;
}

void TZipPane::RefreshContents(const std::string& archivePath)
{
    const TZipArchive* archive = SelectedArchive();
    if (archive && archive->Path() == archivePath && m_gate.Idle())
        ListZipFolder();
}

void TZipPane::ArchiveRenamed(const std::string& oldPath, const std::string& newPath)
{
    if (TZipArchive* archive = m_model->Archives().Find(oldPath))
        archive->SetPath(newPath);
    if (m_zip.ZipFileName == oldPath)
        m_zip.ZipFileName = newPath;
}

// ---- Browsing and sending ----

std::string TZipPane::BrowseTarget() const
{
    QWidget* focus = QApplication::focusWidget();
    if (focus && m_contents->isAncestorOf(focus))
        return m_contents->CurrentEntryName();
    TZipTreeNode* node = SelectedNode();
    if (focus != tvZip || !node)
        return {};
    if (node->IsRoot())
        return m_pages->Pages().empty() ? std::string() : m_pages->Pages().front().StoredName;
    return node->Pattern();
}

void TZipPane::Browse(TZipBrowser browser)
{
    TZipArchive* archive = SelectedArchive();
    const std::string target = BrowseTarget();
    if (!archive || target.empty() || !m_gate.Idle())
        return;
    const std::string folder = m_app.GetTempFolder();
    const bool page = GroupOfFile(ReadGroups(m_app.Store()), target) == "HTML";
    if (page)
    {
        if (!ExtractZipToTemp(*archive))
            return;
    }
    else
    {
        m_zip.ZipFileName = archive->Path();
        const int code = Extract({target}, folder, true, TXcdOverwrite::xowAlways);
        if (m_host.ZipResult(code, "extracting") == 2)
            return;
        m_host.ZipStatus(Said(tr("Unzipped: %1."), target));
    }
    const std::string file = folder + target;
    const std::string program = browser == TZipBrowser::InternetExplorer    ? FindInternetExplorer()
                                : browser == TZipBrowser::NetscapeNavigator ? FindNetscapeNavigator()
                                                                            : std::string();
    // A page goes to the browser the settings name; other files to the desktop's
    // program for their type, and "Notepad" to the desktop's text editor.
    if (browser == TZipBrowser::TextEditor)
        m_host.OpenWithTextEditor(file);
    else if (browser == TZipBrowser::Default && page)
        m_host.OpenPage(file);
    else if (browser == TZipBrowser::Default)
        m_host.OpenWithDesktop(file);
    else if (program.empty() || !m_host.StartProgram(program, file))
        m_host.ZipError(Std(tr("No such browser is installed.")));
}

void TZipPane::Send()
{
    TZipArchive* archive = SelectedArchive();
    const std::string mail = MailProgram();
    if (!archive || mail.empty())
        return;
    if (!m_host.StartProgram(mail, "--attach=" + archive->Path()))
        m_host.ZipError(Said(tr("Unable to start %1"), mail));
}

// ---- Opening archives ----

void TZipPane::OpenDialog()
{
    std::string path;
    if (ChooseArchiveToOpen)
        path = ChooseArchiveToOpen();
    else
        path = QFileDialog::getOpenFileName(tvZip->window(), tr("Open Zip File"), QString(),
                                            tr("Zip file (*.zip *.ZIP);;All files (*)"))
                   .toStdString();
    if (!path.empty())
        OpenZip(path);
}

void TZipPane::OpenRecent(const std::string& path)
{
    if (FileExists(path))
    {
        OpenZip(path);
        return;
    }
    m_host.ZipError(Said(tr("The file %1 no longer exists."), path));
    m_host.ForgetZipFile(path);
}

void TZipPane::OpenSpecial(const QDate& day)
{
    if (TZipArchive* archive = OpenZip(m_app.GetDownloadsFolder() + SpecialZipName(day.year(), day.month(), day.day())))
        Select(archive->Root());
}

void TZipPane::FillDownloadsMenu(QMenu* menu)
{
    menu->clear();
    const std::string folder = m_app.GetDownloadsFolder();
    for (const std::string& name : ZipFilesInFolder(folder, kDownloadsMenuArchives))
    {
        QAction* item = menu->addAction(QString::fromStdString(name));
        connect(item, &QAction::triggered, this, [this, path = folder + name] { OpenZip(path); });
    }
    menu->addSeparator();
    connect(menu->addAction(tr("More...")), &QAction::triggered, this, &TZipPane::OpenDownloadsFolder);
}

void TZipPane::OpenDownloadsFolder()
{
    const std::string folder = m_app.GetDownloadsFolder();
    ForceDirectories(folder);
    m_host.OpenWithDesktop(folder);
}

// ---- Keys ----

bool TZipPane::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == tvZip || watched == m_contents->lvZip) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete)
    {
        DeleteSelected();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace hx
