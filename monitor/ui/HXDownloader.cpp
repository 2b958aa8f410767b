#include "monitor/ui/HXDownloader.h"

#include <algorithm>

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableView>
#include <QVBoxLayout>

#include "core/HXApp.h"
#include "monitor/ui/HXSocketListModel.h"
#include "net/HXSockets.h"

namespace hx
{

namespace
{

constexpr int kLeastPriority = 0;
constexpr int kMostPriority = 10;

// The hourglass cursor and a list that does not repaint while slots are made or ended.
class TBusyList
{
public:
    explicit TBusyList(QWidget& list)
        : m_list(list)
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_list.setUpdatesEnabled(false);
    }
    ~TBusyList()
    {
        m_list.setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    TBusyList(const TBusyList&) = delete;
    TBusyList& operator=(const TBusyList&) = delete;

private:
    QWidget& m_list;
};

QSlider* CreateSlider(int minimum, int maximum, QWidget* parent)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(minimum, maximum);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    slider->setMinimumWidth(160);
    return slider;
}

} // namespace

TFormDownloader::TFormDownloader(THXApp& app, THXSlotList& slotList, std::function<bool()> taskRunning, QWidget* parent)
    : QWidget(parent)
    , m_app(app)
    , m_slots(slotList)
    , m_taskRunning(std::move(taskRunning))
{
    setWindowTitle(tr("Downloader"));
    m_model = new TSocketListModel(this);
    CreateControls();

    for (THXSocket* slot : m_slots.Slots())
    {
        slot->SetRow(m_model->CreateRow());
        // A slot that has fetched before shows what it last did.
        if (slot->Item() != nullptr)
            slot->Row()->Refresh(*slot);
    }
    m_slots.OnCreateRow = [this](THXSocket&) -> std::unique_ptr<THXSlotRow> { return m_model->CreateRow(); };
}

TFormDownloader::~TFormDownloader()
{
    m_slots.OnCreateRow = nullptr;
    m_model->DetachAll();
}

void TFormDownloader::CreateControls()
{
    lblSockets = new QLabel(this);
    lblSockets->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("16")) + 4);
    tbSockets = CreateSlider(kMinSlots, kMaxSlots, this);
    tbPriority = CreateSlider(kLeastPriority, kMostPriority, this);

    auto* sockets = new QGridLayout;
    sockets->setHorizontalSpacing(6);
    sockets->setVerticalSpacing(0);
    auto* socketsLabel = new QLabel(tr("Connections:"), this);
    socketsLabel->setBuddy(tbSockets);
    sockets->addWidget(socketsLabel, 0, 0);
    sockets->addWidget(lblSockets, 0, 1);
    sockets->addWidget(tbSockets, 0, 2);

    auto* ends = new QHBoxLayout;
    ends->setContentsMargins(0, 0, 0, 0);
    ends->addWidget(new QLabel(tr("Pages"), this));
    ends->addStretch(1);
    ends->addWidget(new QLabel(tr("Media files"), this));
    auto* priority = new QGridLayout;
    priority->setHorizontalSpacing(6);
    priority->setVerticalSpacing(0);
    auto* priorityLabel = new QLabel(tr("Download Priority:"), this);
    priorityLabel->setBuddy(tbPriority);
    priority->addWidget(priorityLabel, 0, 0);
    priority->addWidget(tbPriority, 0, 1);
    priority->addLayout(ends, 1, 1);

    auto* controls = new QHBoxLayout;
    controls->addLayout(sockets);
    controls->addSpacing(24);
    controls->addLayout(priority);
    controls->addStretch(1);

    lvSockets = new QTableView(this);
    lvSockets->setAccessibleName(tr("Connections"));
    lvSockets->setTabKeyNavigation(false);
    lvSockets->setModel(m_model);
    lvSockets->setShowGrid(false);
    lvSockets->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvSockets->setSelectionMode(QAbstractItemView::SingleSelection);
    lvSockets->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvSockets->setWordWrap(false);
    lvSockets->verticalHeader()->hide();
    lvSockets->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvSockets->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* header = lvSockets->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int widths[TSocketListModel::colCount] = {200, 100, 70, 70, 150};
    for (int column = 0; column < TSocketListModel::colCount; ++column)
        header->resizeSection(column, widths[column]);
    // A finished transfer's ten marks and "100%" must fit: the column grows past its
    // 100 pixels where the font needs it.
    const QString fullProgress = QString::fromUtf8(kProgressMark).repeated(10) + QStringLiteral("  100%");
    header->resizeSection(1, std::max(widths[1], lvSockets->fontMetrics().horizontalAdvance(fullProgress) + 12));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(controls);
    layout->addWidget(lvSockets, 1);

    connect(tbSockets, &QSlider::valueChanged, this, &TFormDownloader::tbSocketsChange);
    connect(tbPriority, &QSlider::valueChanged, this, &TFormDownloader::tbPriorityChange);
    LoadSettings();
}

void TFormDownloader::LoadSettings()
{
    {
        const QSignalBlocker socketsBlocker(tbSockets);
        const QSignalBlocker priorityBlocker(tbPriority);
        tbSockets->setValue(m_app.Connections());
        tbPriority->setValue(m_app.Priority());
    }
    lblSockets->setText(QString::number(tbSockets->value()));
}

void TFormDownloader::tbSocketsChange(int value)
{
    lblSockets->setText(QString::number(value));
    SetSlotCount(value);
    m_app.SetConnections(value);
}

void TFormDownloader::tbPriorityChange(int value)
{
    m_app.SetPriority(value);
}

void TFormDownloader::SetSlotCount(int n)
{
    const TBusyList busy(*lvSockets);
    m_slots.SetSlotCount(n, m_taskRunning && m_taskRunning());
}

void TFormDownloader::StopAll()
{
    const TBusyList busy(*lvSockets);
    m_slots.Renew();
}

QAbstractTableModel* TFormDownloader::Model() const
{
    return m_model;
}

} // namespace hx
