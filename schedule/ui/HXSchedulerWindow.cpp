#include "schedule/ui/HXSchedulerWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyle>
#include <QSignalBlocker>
#include <QTableView>
#include <QToolTip>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXTask.h"
#include "core/ui/HXQtText.h"
#include "core/HXTaskLock.h"
#include "schedule/HXScheduler.h"
#include "core/HXApp.h"
#include "schedule/ui/HXReportCommands.h"
#include "schedule/ui/HXdlgEditTask.h"
#include "schedule/ui/HXdlgRunTask.h"
#include "schedule/ui/HXdlgSchedule.h"
#include "core/ui/HXArtIcons.h"
#include "core/ui/HXSkinLook.h"
#include "core/HXBrowseAddress.h"

namespace hx
{

namespace
{

constexpr int kLeftPanelWidth = 135;
// The data role of a category node: its folder relative to the Tasks folder.
constexpr int kCategoryRole = Qt::UserRole + 1;
// The role the list sorts by: numbers as numbers, dates as dates.
constexpr int kSortRole = Qt::UserRole + 2;

// The task list's column captions as the engine names them, listed here so they
// are translated; the check below keeps the two lists alike.
constexpr std::array<const char*, TTaskRow::kColumnCount> kTranslatedColumnCaptions = {
    QT_TRANSLATE_NOOP("hx::TTaskListModel", "Task Name"),   QT_TRANSLATE_NOOP("hx::TTaskListModel", "Start Page Title"),
    QT_TRANSLATE_NOOP("hx::TTaskListModel", "Status"),      QT_TRANSLATE_NOOP("hx::TTaskListModel", "Schedule"),
    QT_TRANSLATE_NOOP("hx::TTaskListModel", "Last Run"),    QT_TRANSLATE_NOOP("hx::TTaskListModel", "Next Run"),
    QT_TRANSLATE_NOOP("hx::TTaskListModel", "Pages"),       QT_TRANSLATE_NOOP("hx::TTaskListModel", "Resources"),
    QT_TRANSLATE_NOOP("hx::TTaskListModel", "Errors"),      QT_TRANSLATE_NOOP("hx::TTaskListModel", "Starting URL"),
    QT_TRANSLATE_NOOP("hx::TTaskListModel", "Destination"), QT_TRANSLATE_NOOP("hx::TTaskListModel", "Download Method"),
};

constexpr bool SameColumnCaptions()
{
    for (std::size_t column = 0; column < kTranslatedColumnCaptions.size(); ++column)
        if (kTaskColumnCaptions[column] != std::string_view(kTranslatedColumnCaptions[column]))
            return false;
    return true;
}
static_assert(SameColumnCaptions(), "the task list's captions differ from the engine's");

QIcon StateIcon(const QStyle& style, int index)
{
    switch (index)
    {
    case 1:
        return ArtIcon(QStringLiteral("task-stop"), style.standardIcon(QStyle::SP_MediaStop));
    case 2:
        return ArtIcon(QStringLiteral("task-scheduled"), style.standardIcon(QStyle::SP_MessageBoxInformation));
    default:
        return ArtIcon(QStringLiteral("task-run"), style.standardIcon(QStyle::SP_MediaPlay));
    }
}

// Moves files to the desktop's trash, or deletes them where there is none.
bool MoveToTrash(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
    {
        QString file = QString::fromStdString(path);
        if (!QFile::exists(file))
            continue;
        if (!QFile::moveToTrash(file) && !QFile::remove(file))
            return false;
    }
    return true;
}

} // namespace

// ---- TTaskListModel ----

TTaskListModel::TTaskListModel(THXScheduler& scheduler, QObject* parent)
    : QAbstractTableModel(parent)
    , m_scheduler(scheduler)
{
}

int TTaskListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_tasks.size());
}

int TTaskListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : TTaskRow::kColumnCount;
}

QVariant TTaskListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_tasks.size()))
        return {};
    const THXTask& task = *m_tasks[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<std::size_t>(index.column());
    // Another process runs the task: its status column and hint say so.
    constexpr std::size_t kStatusColumn = 2;
    const int elsewhere = m_scheduler.RunsElsewhere(task);
    switch (role)
    {
    case Qt::DisplayRole:
        if (elsewhere != 0 && column == kStatusColumn)
            return tr("Running in another Harbex process (PID %1)").arg(elsewhere);
        return QString::fromStdString(TaskRow(task).Columns[column]);
    case Qt::EditRole:
        return QString::fromStdString(TaskRow(task).Columns[column]);
    case kSortRole:
        // Last Run and Next Run sort by time, the counts by number, the rest by text.
        if (column == 4)
            return task.LastRun;
        if (column == 5)
            return task.NextRun;
        if (column == 6)
            return task.PagesSaved;
        if (column == 7)
            return task.ResourcesSaved;
        if (column == 8)
            return task.PageErrors + task.ResourceErrors;
        return QString::fromStdString(TaskRow(task).Columns[column]).toLower();
    case Qt::DecorationRole:
        if (column != 0)
            return {};
        return StateIcon(*QApplication::style(), TaskRow(task).StateIcon);
    case Qt::ForegroundRole:
    {
        const unsigned color = TaskRow(task).TextColor;
        return QColor(static_cast<int>((color >> 16) & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                      static_cast<int>(color & 0xFF));
    }
    case Qt::ToolTipRole:
        if (elsewhere != 0)
            return QString::fromStdString(RunningElsewhereText(task.Name, elsewhere) + "\n" + TaskHint(task));
        return QString::fromStdString(TaskHint(task));
    default:
        return {};
    }
}

QVariant TTaskListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= TTaskRow::kColumnCount)
        return {};
    return tr(kTranslatedColumnCaptions[static_cast<std::size_t>(section)]);
}

Qt::ItemFlags TTaskListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TTaskListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != 0)
        return false;
    const std::shared_ptr<THXTask> task = TaskAt(index.row());
    const std::string name = value.toString().trimmed().toStdString();
    if (!task || name.empty() || name == task->Name)
        return false;
    std::string message;
    if (!task->Rename(name, &message))
    {
        if (OnRenameRefused)
            OnRenameRefused(message);
        return false;
    }
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), TTaskRow::kColumnCount - 1));
    return true;
}

void TTaskListModel::Reload()
{
    beginResetModel();
    m_tasks = m_scheduler.ShownTasks();
    endResetModel();
}

void TTaskListModel::TaskChanged(const THXTask& task)
{
    const auto found =
        std::find_if(m_tasks.begin(), m_tasks.end(), [&task](const auto& shown) { return shown.get() == &task; });
    if (found == m_tasks.end())
        return;
    const int row = static_cast<int>(found - m_tasks.begin());
    emit dataChanged(index(row, 0), index(row, TTaskRow::kColumnCount - 1));
}

std::shared_ptr<THXTask> TTaskListModel::TaskAt(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_tasks.size()))
        return nullptr;
    return m_tasks[static_cast<std::size_t>(row)];
}

// ---- TFormScheduler ----

TFormScheduler::TFormScheduler(THXApp& app, THXScheduler& scheduler, QWidget* parent)
    : QWidget(parent)
    , m_app(app)
    , m_scheduler(scheduler)
    , m_tasksFolder(IncludeTrailingSlash(app.TasksFolder()))
    , m_reports(std::make_unique<TTaskReportCommands>(app))
    , m_pages(app)
    , m_model(new TTaskListModel(scheduler, this))
    , m_sorted(new QSortFilterProxyModel(this))
{
    m_model->OnRenameRefused = [this](const std::string& message) { Error(message); };
    m_reports->Parent = this;
    m_reports->Progress = [this](const std::string& text, int percent)
    {
        if (ShowProgress)
            ShowProgress(text, percent);
    };
    m_reports->RunTask = [this](THXTask& task)
    {
        for (const auto& shown : m_scheduler.ShownTasks())
            if (shown.get() == &task)
                RunTasks({shown});
    };
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(kSortRole);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* splitter = m_splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName("splTasks");
    layout->addWidget(splitter);

    // Left: "Active Tasks", the categories, "New Category...".
    auto* left = new QWidget(splitter);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(2);
    tvActiveTask = new QTreeWidget(left);
    tvActiveTask->setObjectName("tvActiveTask");
    tvActiveTask->setAccessibleName(tr("Active Tasks"));
    tvActiveTask->setHeaderHidden(true);
    tvActiveTask->setRootIsDecorated(false);
    tvActiveTask->addTopLevelItem(new QTreeWidgetItem(QStringList{tr("Active Tasks")}));
    tvActiveTask->setFixedHeight(tvActiveTask->sizeHintForRow(0) + 2 * tvActiveTask->frameWidth() + 4);
    tvTasks = new QTreeWidget(left);
    tvTasks->setObjectName("tvTasks");
    tvTasks->setAccessibleName(tr("Task categories"));
    tvTasks->setHeaderHidden(true);
    btnNewCategory = new QPushButton(tr("New Category..."), left);
    leftLayout->addWidget(tvActiveTask);
    leftLayout->addWidget(tvTasks, 1);
    leftLayout->addWidget(btnNewCategory);

    // Right: the list and the command buttons.
    auto* right = m_right = new QWidget(splitter);
    right->setObjectName("pnlTasksRight");
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(2);
    lvTasks = new QTableView(right);
    lvTasks->setObjectName("lvTasks");
    lvTasks->setAccessibleName(tr("Task list"));
    // Tab leaves the list for the buttons; the arrow keys move within it.
    lvTasks->setTabKeyNavigation(false);
    lvTasks->setModel(m_sorted);
    lvTasks->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvTasks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvTasks->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    lvTasks->setSortingEnabled(true);
    lvTasks->sortByColumn(-1, Qt::AscendingOrder);
    lvTasks->setShowGrid(false);
    lvTasks->setWordWrap(false);
    lvTasks->verticalHeader()->hide();
    lvTasks->horizontalHeader()->setHighlightSections(false);
    lvTasks->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int column = 0; column < TTaskRow::kColumnCount; ++column)
        lvTasks->setColumnWidth(column, kTaskColumnWidths[static_cast<std::size_t>(column)]);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](QPushButton*& target, const char* name, const QString& caption)
    {
        target = new QPushButton(caption, right);
        target->setObjectName(name);
        buttons->addWidget(target);
    };
    // The report pages, from a drop-down button at the left.
    btnReports = new QToolButton(right);
    btnReports->setObjectName("btnReports");
    btnReports->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    btnReports->setToolTip(tr("Reports"));
    btnReports->setAccessibleName(tr("Reports"));
    btnReports->setPopupMode(QToolButton::InstantPopup);
    buttons->addWidget(btnReports);
    button(btnRun, "btnRun", tr("Run"));
    button(btnStop, "btnStop", tr("Stop"));
    button(btnBrowse, "btnBrowse", tr("Browse"));
    button(btnExplore, "btnExplore", tr("Explore"));
    button(btnEdit, "btnEdit", tr("Edit"));
    button(btnSchedule, "btnSchedule", tr("Schedule"));
    button(btnDelete, "btnDelete", tr("Delete"));
    buttons->addStretch(1);
    rightLayout->addWidget(lvTasks, 1);
    rightLayout->addLayout(buttons);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kLeftPanelWidth, 800});

    CreateMenu();
    FillCategories();

    connect(lvTasks->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this]
            {
                UpdateCommands();
                emit SelectionChanged();
            });
    connect(m_model, &QAbstractItemModel::modelReset, this,
            [this]
            {
                UpdateCommands();
                emit SelectionChanged();
            });
    connect(lvTasks, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at)
            {
                UpdateCommands();
                popTask->popup(lvTasks->viewport()->mapToGlobal(at));
            });
    connect(tvTasks, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item)
            {
                tvActiveTask->clearSelection();
                ShowCategory(item->data(0, kCategoryRole).toString().toStdString());
            });
    connect(tvActiveTask, &QTreeWidget::itemClicked, this, [this] { ShowActiveTasks(); });
    // A category's name edited in place renames its folder.
    tvTasks->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    connect(tvTasks, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* item)
            {
                const std::string category = item->data(0, kCategoryRole).toString().toStdString();
                const std::string name = item->text(0).trimmed().toStdString();
                const std::string problem = m_scheduler.RenameCategory(category, name);
                if (!problem.empty())
                    Error(problem);
                const std::string last = m_app.LastCategory();
                FillCategories();
                ShowCategory(last);
            });
    connect(btnNewCategory, &QPushButton::clicked, this, &TFormScheduler::NewCategory);
    connect(btnRun, &QPushButton::clicked, this, &TFormScheduler::RunSelected);
    connect(btnStop, &QPushButton::clicked, this, &TFormScheduler::StopSelected);
    connect(btnDelete, &QPushButton::clicked, this, &TFormScheduler::DeleteSelected);
    connect(btnSchedule, &QPushButton::clicked, this, &TFormScheduler::ScheduleSelected);
    connect(btnEdit, &QPushButton::clicked, this, &TFormScheduler::EditSelected);
    lvTasks->viewport()->installEventFilter(this);
    connect(btnBrowse, &QPushButton::clicked, this, [this] { BrowseSelected(TBrowser::Default, true); });
    connect(btnExplore, &QPushButton::clicked, this, &TFormScheduler::ExploreSelected);
    connect(lvTasks, &QAbstractItemView::doubleClicked, this, [this] { BrowseSelected(TBrowser::Default, true); });
    UpdateCommands();
}

QAction* TFormScheduler::Action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

void TFormScheduler::CreateMenu()
{
    popTask = new QMenu(this);
    const auto add = [this](QMenu* menu, const char* name, const QString& caption, const QString& hint = {},
                            const QKeySequence& shortcut = {})
    {
        auto* action = new QAction(caption, this);
        action->setObjectName(name);
        action->setStatusTip(hint);
        action->setToolTip(hint);
        if (!shortcut.isEmpty())
        {
            action->setShortcut(shortcut);
        }
        menu->addAction(action);
        return action;
    };
    connect(add(popTask, "pmiNew", tr("&New..."), tr("Create a new task"), QKeySequence(Qt::CTRL | Qt::Key_N)),
            &QAction::triggered, this, &TFormScheduler::NewTaskRequested);
    connect(add(popTask, "pmiEdit", tr("&Edit..."), tr("Edit selected task"), QKeySequence(Qt::CTRL | Qt::Key_E)),
            &QAction::triggered, this, &TFormScheduler::EditSelected);
    connect(add(popTask, "pmiDelete", tr("&Delete"), tr("Delete selected task(s)")), &QAction::triggered, this,
            &TFormScheduler::DeleteSelected);
    connect(add(popTask, "pmiRun", tr("&Run"), tr("Start selected task"), QKeySequence(Qt::CTRL | Qt::Key_R)),
            &QAction::triggered, this, &TFormScheduler::RunSelected);
    connect(add(popTask, "pmiStop", tr("&Stop"), tr("Abort selected task"), QKeySequence(Qt::CTRL | Qt::Key_S)),
            &QAction::triggered, this, &TFormScheduler::StopSelected);
    connect(add(popTask, "pmiSchedule", tr("Schedu&le..."), tr("Schedule selected task...")), &QAction::triggered, this,
            &TFormScheduler::ScheduleSelected);
    connect(add(popTask, "pmiUnschedule", tr("&Unschedule"), tr("Unschedule selected task")), &QAction::triggered, this,
            &TFormScheduler::UnscheduleSelected);
    QMenu* copy = popTask->addMenu(tr("&Copy"));
    connect(add(copy, "pmiCopyURL", tr("Start Page URL")), &QAction::triggered, this,
            [this] { CopyStartPageURL(false); });
    connect(add(copy, "pmiCopyLocalURL", tr("Start Page URL (local)")), &QAction::triggered, this,
            [this] { CopyStartPageURL(true); });
    QMenu* browse = popTask->addMenu(tr("&Browse"));
    browse->setObjectName("pmiBrowse");
    const bool chromium = !FindInternetExplorer().empty();
    const bool firefox = !FindNetscapeNavigator().empty();
    for (const bool offline : {true, false})
    {
        QMenu* sub = browse->addMenu(offline ? tr("&Offline") : tr("On &Internet"));
        const QString where = offline ? QStringLiteral("Offline") : QStringLiteral("Online");
        QAction* ie = add(sub, "", tr("&Internet Explorer..."));
        ie->setObjectName(QStringLiteral("pmiBrowse%1IE").arg(where));
        ie->setEnabled(chromium);
        connect(ie, &QAction::triggered, this,
                [this, offline] { BrowseSelected(TBrowser::InternetExplorer, offline); });
        QAction* netscape = add(sub, "", tr("&Netscape Navigator..."));
        netscape->setObjectName(QStringLiteral("pmiBrowse%1Netscape").arg(where));
        netscape->setEnabled(firefox);
        connect(netscape, &QAction::triggered, this,
                [this, offline] { BrowseSelected(TBrowser::NetscapeNavigator, offline); });
        QAction* integrated = add(sub, "", tr("Integrated &Browser"));
        integrated->setObjectName(QStringLiteral("pmiBrowse%1Integrated").arg(where));
        connect(integrated, &QAction::triggered, this,
                [this, offline] { BrowseSelected(TBrowser::Integrated, offline); });
    }
    QMenu* reports = popTask->addMenu(tr("Reports"));
    reports->setObjectName("pmiReports");
    const std::pair<const char*, void (TTaskReportCommands::*)(THXTask&)> reportItems[] = {
        {QT_TR_NOOP("Task Summary"), &TTaskReportCommands::OpenTaskSummary},
        {QT_TR_NOOP("Page Index"), &TTaskReportCommands::OpenPageIndex},
        {QT_TR_NOOP("ImageIndex"), &TTaskReportCommands::OpenImageIndex},
        {QT_TR_NOOP("Errors"), &TTaskReportCommands::WriteErrorReport},
        {QT_TR_NOOP("Create Reports"), &TTaskReportCommands::CreateReports},
    };
    for (const auto& [caption, command] : reportItems)
    {
        QAction* item = reports->addAction(tr(caption));
        item->setObjectName(QStringLiteral("pmiReports") + QString::fromLatin1(caption).remove(' '));
        connect(item, &QAction::triggered, this,
                [this, command = command]
                {
                    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
                    if (!selected.empty())
                        (m_reports.get()->*command)(*selected.front());
                });
    }
    // The report button's menu: the three pages, then the browser settings. The
    // settings entry starts disabled; the main window that hosts this view enables
    // it and opens its preferences on the Browser page from it.
    popBrowse = new QMenu(this);
    const QList<QAction*> pages = reports->actions();
    popBrowse->addActions({pages[0], pages[1], pages[2]});
    popBrowse->addSeparator();
    popBrowse->addAction(tr("Browser Properties..."))->setEnabled(false);
    btnReports->setMenu(popBrowse);
    DrawBrowserIcon();
    connect(add(popTask, "pmiExplore", tr("E&xplore")), &QAction::triggered, this, &TFormScheduler::ExploreSelected);
}

void TFormScheduler::FillCategories()
{
    const QSignalBlocker block(tvTasks);
    tvTasks->clear();
    ForceDirectories(m_tasksFolder + "General/");
    for (const std::string& folder : ListFolders(m_tasksFolder))
        AddFolder(nullptr, folder, folder);
    tvTasks->sortItems(0, Qt::AscendingOrder);
    tvTasks->expandAll();
}

QTreeWidgetItem* TFormScheduler::AddFolder(QTreeWidgetItem* parent, const std::string& folder,
                                           const std::string& relative)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvTasks);
    item->setText(0, QString::fromStdString(folder));
    item->setData(0, kCategoryRole, QString::fromStdString(relative));
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    for (const std::string& child : ListFolders(m_tasksFolder + relative + "/"))
        AddFolder(item, child, relative + "/" + child);
    return item;
}

std::string TFormScheduler::SelectedCategory() const
{
    const QList<QTreeWidgetItem*> selected = tvTasks->selectedItems();
    return selected.isEmpty() ? std::string() : selected.front()->data(0, kCategoryRole).toString().toStdString();
}

TFormScheduler::~TFormScheduler() = default;

void TFormScheduler::ShowCategory(const std::string& category)
{
    m_scheduler.ShowCategory(category);
    m_model->Reload();
    const QString wanted = QString::fromStdString(category.empty() ? std::string("General") : category);
    for (QTreeWidgetItemIterator it(tvTasks); *it; ++it)
        (*it)->setSelected((*it)->data(0, kCategoryRole).toString() == wanted);
}

void TFormScheduler::ShowActiveTasks()
{
    m_scheduler.ShowActiveTasks();
    m_model->Reload();
    tvTasks->clearSelection();
    tvActiveTask->topLevelItem(0)->setSelected(true);
}

void TFormScheduler::Reload()
{
    m_model->Reload();
}

void TFormScheduler::TaskChanged(const THXTask& task)
{
    m_model->TaskChanged(task);
    UpdateCommands();
}

std::vector<std::shared_ptr<THXTask>> TFormScheduler::SelectedTasks() const
{
    QModelIndexList rows = lvTasks->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::shared_ptr<THXTask>> tasks;
    for (const QModelIndex& index : rows)
        if (auto task = m_model->TaskAt(m_sorted->mapToSource(index).row()))
            tasks.push_back(std::move(task));
    return tasks;
}

TTaskCommands TFormScheduler::Commands() const
{
    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
    TTaskCommands commands = EnabledCommands(selected.empty() ? nullptr : selected.front().get(),
                                             DownloadRunning ? DownloadRunning() : false);
    if (!selected.empty() && m_scheduler.RunsElsewhere(*selected.front()) != 0)
    {
        // Another process runs it: nothing here may change the task or its files.
        commands.Run = commands.Stop = commands.Delete = commands.Edit = false;
        commands.Schedule = commands.Unschedule = commands.Explore = false;
    }
    return commands;
}

void TFormScheduler::UpdateCommands()
{
    const TTaskCommands commands = Commands();
    btnRun->setEnabled(commands.Run);
    btnStop->setEnabled(commands.Stop);
    btnDelete->setEnabled(commands.Delete);
    Action("pmiRun")->setEnabled(commands.Run);
    Action("pmiStop")->setEnabled(commands.Stop);
    Action("pmiDelete")->setEnabled(commands.Delete);
    Action("pmiUnschedule")->setEnabled(commands.Unschedule);
    Action("pmiCopyURL")->setEnabled(commands.CopyStartPageURL);
    Action("pmiCopyLocalURL")->setEnabled(commands.CopyLocalStartPageURL);
    for (QAction* report : findChild<QMenu*>("pmiReports")->actions())
        report->setEnabled(commands.Reports);
    btnBrowse->setEnabled(commands.Browse);
    btnSchedule->setEnabled(commands.Schedule);
    btnEdit->setEnabled(commands.Edit);
    Action("pmiEdit")->setEnabled(commands.Edit);
    Action("pmiSchedule")->setEnabled(commands.Schedule);
    btnExplore->setEnabled(commands.Explore);
    Action("pmiExplore")->setEnabled(commands.Explore);
}

void TFormScheduler::ApplyColors()
{
    // The style sheet first: setting it polishes the panels anew, palettes included.
    m_splitter->setStyleSheet(
        QStringLiteral("QSplitter::handle { background: %1; }").arg(SchemeColor(m_app, 1).name()));
    PaintInSchemeColor(*this, m_app, 1);
    PaintInSchemeColor(*m_right, m_app, 1);
}

void TFormScheduler::RunSelected()
{
    RunTasks(SelectedTasks());
}

void TFormScheduler::RunTasks(const std::vector<std::shared_ptr<THXTask>>& tasks)
{
    // A task whose queue holds entries asks how to run (the run task dialog).
    const THXScheduler::TRunModeChooser choose =
        ChooseRunMode ? ChooseRunMode : [this](THXTask& task) { return TdlgRunTask::ChooseRunMode(this, task); };
    try
    {
        m_scheduler.RunTasks(tasks, choose);
    }
    catch (const std::exception& error)
    {
        Error(error.what());
    }
    UpdateCommands();
}

void TFormScheduler::StopSelected()
{
    m_scheduler.StopTasks(SelectedTasks());
    UpdateCommands();
}

void TFormScheduler::UnscheduleSelected()
{
    try
    {
        m_scheduler.UnscheduleTasks(SelectedTasks());
    }
    catch (const std::exception& error)
    {
        Error(error.what());
    }
    UpdateCommands();
}

void TFormScheduler::EditSelected()
{
    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
    if (selected.empty())
        return;
    THXTask& task = *selected.front();
    TdlgEditTask editor(this, m_app, task, TEditTaskMode::Edit);
    if (editor.exec() != QDialog::Accepted)
        return;
    try
    {
        task.Save();
    }
    catch (const std::exception& error)
    {
        Error(error.what());
    }
    // A task moved to another category leaves this one.
    if (editor.Moved())
        ShowCategory(m_app.LastCategory());
    UpdateCommands();
}

void TFormScheduler::OpenTaskFile(const std::string& path)
{
    std::shared_ptr<THXTask> task;
    try
    {
        task = m_scheduler.CreateTask(path);
    }
    catch (const std::exception& error)
    {
        Error(error.what());
        return;
    }
    TdlgEditTask editor(this, m_app, *task, TEditTaskMode::Add);
    if (editor.exec() != QDialog::Accepted)
        return;
    try
    {
        if (editor.Replaced())
        {
            task->Save();
            ShowCategory(task->Category);
        }
        else
        {
            m_scheduler.AddTask(task);
            m_model->Reload();
        }
    }
    catch (const std::exception& error)
    {
        Error(error.what());
    }
}

void TFormScheduler::ScheduleSelected()
{
    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
    if (selected.empty())
        return;
    const TSystemClock systemClock;
    const std::optional<TScheduleResult> schedule = TdlgSchedule::Ask(this, Clock ? *Clock : systemClock);
    if (!schedule)
        return;
    try
    {
        for (const std::shared_ptr<THXTask>& task : selected)
            m_scheduler.ScheduleTask(*task, schedule->ScheduleText, schedule->NextRunAt);
    }
    catch (const std::exception& error)
    {
        Error(error.what());
    }
    UpdateCommands();
}

void TFormScheduler::DeleteSelected()
{
    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
    if (selected.empty())
        return;
    if (QMessageBox::question(this, window()->windowTitle(), Text(kDeleteQuestion), QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    try
    {
        m_scheduler.DeleteTasks(selected, MoveToTrash);
    }
    catch (const std::exception& error)
    {
        Error(error.what());
    }
    m_model->Reload();
}

void TFormScheduler::CopyStartPageURL(bool local)
{
    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
    if (selected.empty())
        return;
    THXTask& task = *selected.front();
    // The local start page as a path, as the desktop's file boxes take it.
    QApplication::clipboard()->setText(QString::fromStdString(local ? LocalStartPage(task) : task.URL));
}

void TFormScheduler::ExploreSelected()
{
    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
    if (selected.empty() || !Commands().Explore)
        return;
    m_scheduler.ExploreTask(selected.front());
    emit ExploreRequested();
}

void TFormScheduler::BrowseSelected(TBrowser browser, bool offline)
{
    const std::vector<std::shared_ptr<THXTask>> selected = SelectedTasks();
    if (selected.empty())
        return;
    const std::shared_ptr<THXTask> task = selected.front();
    std::string target = task->URL;
    if (offline)
    {
        if (ZipResultMissing(*task))
        {
            if (QMessageBox::question(this, window()->windowTitle(), Text(kZipMissingQuestion),
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes)
                RunTasks({task});
            return;
        }
        if (!task->IntranetMode && UnpackForBrowsing && !UnpackForBrowsing(*task))
            return;
        target = LocalStartPage(*task);
    }
    if (browser == TBrowser::Integrated)
    {
        // An Intranet task's copy is shown in the Personal Intranet tree.
        if (offline && task->IntranetMode && ShowInIntranet)
            ShowInIntranet(target);
        else if (BrowseIntegrated)
            BrowseIntegrated(target);
        return;
    }
    // A browser program is given the start page inside the banner wrapper page.
    if (!offline && browser != TBrowser::Default)
        target = OnlineAddress(m_app, target);
    const std::string program = browser == TBrowser::InternetExplorer    ? FindInternetExplorer()
                                : browser == TBrowser::NetscapeNavigator ? FindNetscapeNavigator()
                                                                         : std::string();
    const TLaunchRequest request = program.empty() ? m_pages.PageRequest(target) : TLaunchRequest{program, target};
    if (!m_pages.OpenWith(request.Program, request.Target))
        Error(LaunchFailedMessage(request));
}

void TFormScheduler::SetPageOpener(const TPageOpener& pages)
{
    m_pages = pages;
    m_reports->Pages = pages;
}

void TFormScheduler::CreateReports(THXTask& task)
{
    m_reports->CreateReports(task);
}

void TFormScheduler::DrawBrowserIcon()
{
    const QIcon icon = BrowserIcon(m_app.Browser());
    btnReports->setIcon(icon.isNull() ? style()->standardIcon(QStyle::SP_FileDialogContentsView) : icon);
}

std::shared_ptr<THXTask> TFormScheduler::TaskOfStateIconAt(const QPoint& at, QRect* iconRect) const
{
    const QModelIndex index = lvTasks->indexAt(at);
    if (!index.isValid() || index.column() != 0)
        return nullptr;
    const int iconWidth = lvTasks->iconSize().isValid() ? lvTasks->iconSize().width()
                                                        : lvTasks->style()->pixelMetric(QStyle::PM_SmallIconSize);
    QRect icon = lvTasks->visualRect(index);
    icon.setWidth(iconWidth + 6);
    if (!icon.contains(at))
        return nullptr;
    if (iconRect)
        *iconRect = icon;
    return m_model->TaskAt(m_sorted->mapToSource(index).row());
}

bool TFormScheduler::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != lvTasks->viewport())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress)
    {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QPoint at = press->position().toPoint();
        if (press->button() == Qt::LeftButton)
            if (const std::shared_ptr<THXTask> task = TaskOfStateIconAt(at))
            {
                lvTasks->selectRow(lvTasks->indexAt(at).row());
                const int icon = TaskRow(*task).StateIcon;
                if (icon == 0)
                    RunTasks({task});
                else if (icon == 1)
                    StopSelected();
            }
    }
    else if (event->type() == QEvent::ToolTip)
    {
        // Over a state icon the hint names what a click on it does; over the rest
        // of the row it is the task's hint (the model's).
        const auto* help = static_cast<QHelpEvent*>(event);
        QRect icon;
        if (const std::shared_ptr<THXTask> task = TaskOfStateIconAt(help->pos(), &icon))
        {
            QToolTip::showText(help->globalPos(), Text(StateIconHint(TaskRow(*task).StateIcon)), lvTasks->viewport(),
                               icon);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFormScheduler::NewCategory()
{
    std::string parent = SelectedCategory();
    const std::string parentFolder = m_tasksFolder + (parent.empty() ? std::string() : parent + "/");
    const std::string name = NewCategoryName(parentFolder);
    std::error_code error;
    std::filesystem::create_directories(parentFolder + name, error);
    if (error)
    {
        Error(Std(tr("Unable to create the folder %1: %2").arg(Text(parentFolder + name), Text(error.message()))));
        return;
    }
    FillCategories();
    const std::string category = parent.empty() ? name : parent + "/" + name;
    ShowCategory(category);
    // The new name is open for editing at once; the edit renames the folder.
    for (QTreeWidgetItemIterator it(tvTasks); *it; ++it)
        if ((*it)->data(0, kCategoryRole).toString() == QString::fromStdString(category))
        {
            tvTasks->setCurrentItem(*it);
            tvTasks->setFocus();
            tvTasks->editItem(*it, 0);
            break;
        }
}

void TFormScheduler::Error(const std::string& message)
{
    if (ShowError)
        ShowError(message);
    else
        QMessageBox::critical(this, window()->windowTitle(), QString::fromStdString(message));
}

} // namespace hx
