#include "shell/ui/HXExplore.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "core/HXApp.h"
#include "core/HXBrowseAddress.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/ui/HXArtIcons.h"
#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

constexpr int kFlushMilliseconds = 100;
constexpr int kMarkSize = 16;
constexpr std::uint8_t kNoImage = 0xFF;

// The mark pictures, drawn once: a square, a globe, a globe with two arrows, a red
// exclamation mark and a blue tick.
QIcon DrawMark(TMarkImage image)
{
    QPixmap pixmap(kMarkSize, kMarkSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto globe = [&painter]
    {
        painter.setPen(QPen(QColor(0, 64, 160), 1));
        painter.setBrush(QColor(160, 200, 255));
        painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        painter.drawEllipse(QRectF(5.5, 2.5, 5, 11));
        painter.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
    };
    switch (image)
    {
    case TMarkImage::Unchanged:
    case TMarkImage::Square:
        painter.setPen(QPen(QColor(96, 96, 96), 1));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(2.5, 2.5, 11, 11));
        break;
    case TMarkImage::Globe:
        globe();
        break;
    case TMarkImage::GlobeArrows:
        globe();
        painter.setPen(QPen(QColor(0, 128, 0), 1.6));
        painter.drawLine(QPointF(0.5, 4), QPointF(4, 0.5));
        painter.drawLine(QPointF(4, 0.5), QPointF(4, 3.5));
        painter.drawLine(QPointF(15.5, 12), QPointF(12, 15.5));
        painter.drawLine(QPointF(12, 15.5), QPointF(12, 12.5));
        break;
    case TMarkImage::Error:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(220, 0, 0));
        painter.drawRect(QRectF(6.5, 1.5, 3, 9));
        painter.drawEllipse(QRectF(6.5, 12, 3, 3));
        break;
    case TMarkImage::Tick:
    {
        painter.setPen(QPen(QColor(0, 64, 224), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(2.5, 8.5);
        tick.lineTo(6.5, 12.5);
        tick.lineTo(13.5, 3.5);
        painter.drawPath(tick);
        break;
    }
    }
    return QIcon(pixmap);
}

// The compiled-in picture of a mark; the drawn ones above stand in without it.
QString MarkPictureName(TMarkImage image)
{
    switch (image)
    {
    case TMarkImage::Globe:
        return QStringLiteral("mark-globe");
    case TMarkImage::GlobeArrows:
        return QStringLiteral("mark-globe-arrows");
    case TMarkImage::Error:
        return QStringLiteral("mark-error");
    case TMarkImage::Tick:
        return QStringLiteral("mark-tick");
    case TMarkImage::Unchanged:
    case TMarkImage::Square:
        break;
    }
    return QStringLiteral("mark-square");
}

} // namespace

// ---- TExploreModel ----

TExploreModel::TExploreModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_flushTimer(new QTimer(this))
{
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(kFlushMilliseconds);
    connect(m_flushTimer, &QTimer::timeout, this, &TExploreModel::Flush);
    for (TMarkImage image : {TMarkImage::Unchanged, TMarkImage::Square, TMarkImage::Globe, TMarkImage::GlobeArrows,
                             TMarkImage::Error, TMarkImage::Tick})
        m_icons[static_cast<std::size_t>(image)] = ArtIcon(MarkPictureName(image), DrawMark(image));
}

void TExploreModel::SetTask(THXTask* task)
{
    ClearRows();
    m_task = task;
}

THXQItem* TExploreModel::ItemAt(int row) const
{
    if (!m_task || row < 0 || static_cast<std::size_t>(row) >= m_pairs.size())
        return nullptr;
    return m_task->Item(static_cast<int>(m_pairs[static_cast<std::size_t>(row)]));
}

int TExploreModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_pairs.size());
}

int TExploreModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : colCount;
}

const TExploreRow& TExploreModel::CachedRow(int row) const
{
    if (row != m_cachedRow)
    {
        m_cachedTexts = ReadExploreRow(*m_task, static_cast<int>(m_pairs[static_cast<std::size_t>(row)]));
        m_cachedRow = row;
    }
    return m_cachedTexts;
}

QIcon TExploreModel::MarkIcon(int row, const TExploreRow& texts) const
{
    const TMarkImage image = MarkImageOf(texts.State, texts.Mode);
    std::uint8_t& last = m_images[static_cast<std::size_t>(row)];
    if (image != TMarkImage::Unchanged)
        last = static_cast<std::uint8_t>(image);
    const std::size_t shown = last == kNoImage ? static_cast<std::size_t>(TMarkImage::Square) : last;
    return m_icons[shown];
}

QVariant TExploreModel::data(const QModelIndex& index, int role) const
{
    if (!m_task || !index.isValid() || index.row() >= rowCount())
        return {};
    if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::ForegroundRole &&
        role != Qt::TextAlignmentRole)
        return {};
    const TExploreRow& row = CachedRow(index.row());
    if (role == Qt::ForegroundRole)
    {
        const std::uint32_t rgb = RowColorOf(row.State);
        return QColor(static_cast<int>(rgb >> 16), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF));
    }
    if (role == Qt::DecorationRole)
        return index.column() == colMark ? QVariant(MarkIcon(index.row(), row)) : QVariant();
    if (role == Qt::TextAlignmentRole)
        return index.column() == colSize || index.column() == colLevel ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                                       : QVariant();
    switch (index.column())
    {
    case colStatus:
        return Text(StateText(row.State));
    case colTitle:
        return Text(row.Title);
    case colURL:
        return Text(row.URL);
    case colType:
        return Text(row.Group);
    case colSize:
        return QString::number(row.Size);
    case colLastModified:
        return Text(row.LastModified);
    case colDownloadResult:
        return Text(row.StatusText);
    case colLevel:
        return QString::number(row.Level);
    case colReferrer:
        return Text(row.Referrer);
    default:
        return {};
    }
}

QVariant TExploreModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const std::array<const char*, colCount> captions = {
        QT_TR_NOOP("Mark"),  QT_TR_NOOP("Status"),  QT_TR_NOOP("Title"),         QT_TR_NOOP("URL"),
        QT_TR_NOOP("Type"),  QT_TR_NOOP("Size"),    QT_TR_NOOP("Last Modified"), QT_TR_NOOP("Download Result"),
        QT_TR_NOOP("Level"), QT_TR_NOOP("Referrer")};
    return section >= 0 && section < colCount ? tr(captions[static_cast<std::size_t>(section)]) : QVariant();
}

void TExploreModel::BeginUpdate()
{
    m_updating = true;
}

void TExploreModel::EndUpdate()
{
    m_updating = false;
    Flush();
}

void TExploreModel::ClearRows()
{
    m_flushTimer->stop();
    beginResetModel();
    std::vector<std::uint32_t>().swap(m_pairs);
    std::vector<std::uint8_t>().swap(m_images);
    std::vector<std::uint32_t>().swap(m_pending);
    m_dirtyFirst = m_dirtyLast = -1;
    m_cachedRow = -1;
    endResetModel();
}

void TExploreModel::AddRow(THXQItem& item)
{
    if (item.Index < 0)
        return;
    m_pending.push_back(static_cast<std::uint32_t>(item.Index / 2));
    ScheduleFlush();
}

void TExploreModel::RefreshRow(THXQItem& item)
{
    if (item.Index < 0)
        return;
    // A row still waiting to be inserted is read fresh when it is.
    const int row = RowOfPair(static_cast<std::uint32_t>(item.Index / 2));
    if (row < 0)
        return;
    m_dirtyFirst = m_dirtyFirst < 0 ? row : std::min(m_dirtyFirst, row);
    m_dirtyLast = std::max(m_dirtyLast, row);
    ScheduleFlush();
}

int TExploreModel::RowOfPair(std::uint32_t pair) const
{
    // Rows usually stand at their pair number.
    if (pair < m_pairs.size() && m_pairs[pair] == pair)
        return static_cast<int>(pair);
    const auto found = std::lower_bound(m_pairs.begin(), m_pairs.end(), pair);
    return found != m_pairs.end() && *found == pair ? static_cast<int>(found - m_pairs.begin()) : -1;
}

void TExploreModel::ScheduleFlush()
{
    if (!m_updating && !m_flushTimer->isActive())
        m_flushTimer->start();
}

void TExploreModel::Flush()
{
    m_flushTimer->stop();
    m_cachedRow = -1;
    if (!m_pending.empty())
    {
        // Pairs arrive in queue order; one already shown is not shown twice.
        std::vector<std::uint32_t> adding;
        adding.reserve(m_pending.size());
        for (std::uint32_t pair : m_pending)
            if ((m_pairs.empty() || pair > m_pairs.back()) && (adding.empty() || pair > adding.back()))
                adding.push_back(pair);
        std::vector<std::uint32_t>().swap(m_pending);
        if (!adding.empty())
        {
            const int first = static_cast<int>(m_pairs.size());
            beginInsertRows({}, first, first + static_cast<int>(adding.size()) - 1);
            m_pairs.insert(m_pairs.end(), adding.begin(), adding.end());
            m_images.resize(m_pairs.size(), kNoImage);
            endInsertRows();
        }
    }
    if (m_dirtyFirst >= 0)
    {
        const int first = m_dirtyFirst;
        const int last = std::min(m_dirtyLast, rowCount() - 1);
        m_dirtyFirst = m_dirtyLast = -1;
        if (first <= last)
            emit dataChanged(index(first, 0), index(last, colCount - 1));
    }
}

// ---- TFormExplore ----

TFormExplore::TFormExplore(THXApp& app, QWidget* parent)
    : QWidget(parent)
    , Pages(app)
    , m_app(app)
    , m_model(new TExploreModel(this))
{
    setObjectName("FormExplore");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    lvExplore = new QTableView(this);
    lvExplore->setObjectName("lvExplore");
    lvExplore->setModel(m_model);
    lvExplore->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvExplore->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvExplore->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvExplore->setShowGrid(false);
    lvExplore->setWordWrap(false);
    lvExplore->setIconSize(QSize(kMarkSize, kMarkSize));
    lvExplore->verticalHeader()->hide();
    // Every row is as high as the first: the list never measures its rows.
    lvExplore->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvExplore->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    lvExplore->horizontalHeader()->setHighlightSections(false);
    lvExplore->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvExplore->setContextMenuPolicy(Qt::CustomContextMenu);
    const std::array<int, TExploreModel::colCount> widths = {40, 70, 150, 150, 0, 70, 80, 100, 0, 200};
    // Never narrower than the column's caption in the desktop's font ("Last Modified"
    // and "Download Result" do not fit the shipped widths).
    for (int column = 0; column < TExploreModel::colCount; ++column)
        if (const int width = widths[static_cast<std::size_t>(column)]; width > 0)
            lvExplore->setColumnWidth(column, std::max(width, lvExplore->horizontalHeader()->sectionSizeHint(column)));
    layout->addWidget(lvExplore);
    lvExplore->viewport()->installEventFilter(this);
    CreateMenu();
    connect(lvExplore, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at)
            {
                UpdateMenu();
                pmExplore->popup(lvExplore->viewport()->mapToGlobal(at));
            });
    connect(lvExplore, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index)
            {
                if (index.isValid())
                    Browse(TBrowser::Default, true);
            });
}

TFormExplore::~TFormExplore()
{
    if (m_task && m_task->ExploreView == m_model)
        m_task->ExploreView = nullptr;
}

void TFormExplore::SetTask(const std::shared_ptr<THXTask>& task)
{
    if (m_task && m_task->ExploreView == m_model)
        m_task->ExploreView = nullptr;
    m_task = task;
    m_model->SetTask(task.get());
    if (task)
    {
        task->ExploreView = m_model;
        // A queue already in memory shows at once.
        const int pairs = task->ItemCount();
        for (int pair = 0; pair < pairs; ++pair)
            if (THXQItem* item = task->Item(pair))
                m_model->AddRow(*item);
        m_model->Flush();
    }
}

QAction* TFormExplore::Action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

void TFormExplore::CreateMenu()
{
    pmExplore = new QMenu(this);
    pmExplore->setObjectName("pmExplore");
    const auto add = [this](QMenu* menu, const QString& name, const QString& caption, auto command)
    {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, command);
        m_rowActions.push_back(action);
        return action;
    };
    const auto mark = [this](TMarkCommand command, TMarkScope scope)
    { return [this, command, scope] { Mark(command, scope); }; };
    QMenu* download = pmExplore->addMenu(tr("Mark for download"));
    add(download, "pmiDownloadSelected", tr("Selected"), mark(TMarkCommand::Download, TMarkScope::Selected));
    add(download, "pmiDownloadAll", tr("All"), mark(TMarkCommand::Download, TMarkScope::All));
    download->addSeparator();
    add(download, "pmiDownloadErrors", tr("All errors"), mark(TMarkCommand::Download, TMarkScope::AllErrors));
    add(download, "pmiDownloadUnmarked", tr("All unmarked"), mark(TMarkCommand::Download, TMarkScope::AllUnmarked));
    QMenu* update = pmExplore->addMenu(tr("Mark for update"));
    add(update, "pmiUpdateSelected", tr("Selected"), mark(TMarkCommand::Update, TMarkScope::Selected));
    add(update, "pmiUpdateAll", tr("All"), mark(TMarkCommand::Update, TMarkScope::All));
    QMenu* map = pmExplore->addMenu(tr("Mark for mapping"));
    add(map, "pmiMapSelected", tr("Selected"), mark(TMarkCommand::Map, TMarkScope::Selected));
    add(map, "pmiMapAll", tr("All"), mark(TMarkCommand::Map, TMarkScope::All));
    QMenu* unmark = pmExplore->addMenu(tr("Unmark"));
    add(unmark, "pmiUnmarkSelected", tr("Selected"), mark(TMarkCommand::Unmark, TMarkScope::Selected));
    add(unmark, "pmiUnmarkAll", tr("All"), mark(TMarkCommand::Unmark, TMarkScope::All));
    pmExplore->addSeparator();
    QMenu* browse = pmExplore->addMenu(tr("&Browse"));
    for (const bool offline : {true, false})
    {
        QMenu* where = browse->addMenu(offline ? tr("&Offline") : tr("On Internet"));
        const QString name = offline ? QStringLiteral("Offline") : QStringLiteral("Online");
        add(where, QStringLiteral("pmiBrowse%1IE").arg(name), tr("&Internet Explorer"),
            [this, offline] { Browse(TBrowser::InternetExplorer, offline); });
        add(where, QStringLiteral("pmiBrowse%1Netscape").arg(name), tr("&Netscape Navigator"),
            [this, offline] { Browse(TBrowser::NetscapeNavigator, offline); });
    }
    UpdateMenu();
}

void TFormExplore::UpdateMenu()
{
    const bool selected = FirstSelectedRow() >= 0;
    for (QAction* action : m_rowActions)
        action->setEnabled(selected);
}

int TFormExplore::FirstSelectedRow() const
{
    if (!m_task || !lvExplore->selectionModel())
        return -1;
    const QModelIndexList rows = lvExplore->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    int first = rows.front().row();
    for (const QModelIndex& index : rows)
        first = std::min(first, index.row());
    return first;
}

std::vector<THXQItem*> TFormExplore::SelectedItems() const
{
    std::vector<THXQItem*> items;
    if (!m_task)
        return items;
    QModelIndexList rows = lvExplore->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        if (THXQItem* item = m_model->ItemAt(index.row()))
            items.push_back(item);
    return items;
}

void TFormExplore::Mark(TMarkCommand command, TMarkScope scope)
{
    if (!m_task)
        return;
    MarkItems(*m_task, command, scope, scope == TMarkScope::Selected ? SelectedItems() : std::vector<THXQItem*>{});
    m_model->Flush();
}

void TFormExplore::Browse(TBrowser browser, bool offline)
{
    const int row = FirstSelectedRow();
    if (row < 0)
        return;
    const std::string url = ReadExploreRow(*m_task, static_cast<int>(m_model->ItemAt(row)->Index / 2)).URL;
    std::string target;
    if (!offline)
        target = OnlineAddress(m_app, url);
    else if (m_task->IntranetMode)
        target = OfflinePath(*m_task, url, {});
    else
    {
        if (!FileExists(m_task->Destination))
        {
            QMessageBox::information(this, window()->windowTitle(), tr("Zip file does not exist"), QMessageBox::Ok);
            return;
        }
        if (UnpackForBrowsing && !UnpackForBrowsing(*m_task))
            return;
        target = OfflinePath(*m_task, url, m_app.GetTempFolder());
    }
    if (browser == TBrowser::Default)
    {
        Pages.OpenPage(target);
        return;
    }
    const std::string program =
        browser == TBrowser::InternetExplorer ? FindInternetExplorer() : FindNetscapeNavigator();
    // A browser that was not found opens nothing.
    if (!program.empty())
        Pages.OpenWith(program, target);
}

bool TFormExplore::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lvExplore->viewport() && event->type() == QEvent::MouseButtonPress && m_task)
    {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QPoint at = press->position().toPoint();
        const QModelIndex index = lvExplore->indexAt(at);
        if (press->button() == Qt::LeftButton && index.isValid() && index.column() == TExploreModel::colMark)
        {
            // The hit must be on the picture itself.
            const QRect cell = lvExplore->visualRect(index);
            const int left = cell.left() + lvExplore->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
            const QRect picture(left, cell.center().y() - kMarkSize / 2, kMarkSize, kMarkSize);
            if (picture.adjusted(-2, -2, 2, 2).contains(at))
                if (THXQItem* item = m_model->ItemAt(index.row()); item && ToggleMark(*m_task, *item))
                    m_model->Flush();
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace hx
