#include "schedule/ui/HXdlgRunTask.h"

#include <array>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/HXTask.h"
#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

constexpr std::array<TRunChoice, 4> kChoices = {TRunChoice::Restart, TRunChoice::Resume, TRunChoice::SmartUpdate,
                                                TRunChoice::SmartRecovery};
// The icons of the grid's rows: Downloaded, Queued, New/Modified, Errors.
constexpr std::array<QStyle::StandardPixmap, 4> kRowIcons = {QStyle::SP_DialogApplyButton, QStyle::SP_ArrowDown,
                                                             QStyle::SP_FileIcon, QStyle::SP_MessageBoxCritical};
constexpr int kGroupIconSize = 32;

QLabel* NewIcon(QWidget* parent, QStyle::StandardPixmap pixmap)
{
    auto* icon = new QLabel(parent);
    icon->setPixmap(parent->style()->standardIcon(pixmap).pixmap(kGroupIconSize, kGroupIconSize));
    icon->setAlignment(Qt::AlignTop);
    return icon;
}

} // namespace

TdlgRunTask::TdlgRunTask(const THXTask& task, QWidget* parent)
    : QDialog(parent)
    , m_task(task)
{
    setWindowTitle(Text(kRunTaskCaption));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateSummaryGroup());
    layout->addWidget(CreateActionGroup());

    btnRun = new QPushButton(tr("&Run"), this);
    btnRun->setObjectName("btnRun");
    btnRun->setDefault(true);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnRun);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    rbResume->setChecked(true);
    ShowDescription();
    for (const TRunChoice choice : kChoices)
        connect(ChoiceButton(choice), &QRadioButton::toggled, this, &TdlgRunTask::ShowDescription);
    connect(btnRun, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<int> TdlgRunTask::ChooseRunMode(QWidget* parent, THXTask& task)
{
    TdlgRunTask dialog(task, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return RunModeOfChoice(dialog.SelectedChoice());
}

QWidget* TdlgRunTask::CreateSummaryGroup()
{
    auto* group = new QGroupBox(tr("Download Summary  "), this);
    auto* grid = new QGridLayout(group);
    lblMessage = new QLabel(group);
    lblMessage->setObjectName("lblMessage");
    lblMessage->setWordWrap(true);

    grdSummary = new QTableWidget(4, static_cast<int>(kRunSummaryColumns.size()), group);
    grdSummary->setObjectName("grdSummary");
    QStringList headings;
    for (const std::string_view heading : kRunSummaryColumns)
        headings << Text(heading);
    grdSummary->setHorizontalHeaderLabels(headings);
    grdSummary->setShowGrid(true);
    grdSummary->setSelectionMode(QAbstractItemView::NoSelection);
    grdSummary->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdSummary->setFocusPolicy(Qt::NoFocus);
    grdSummary->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdSummary->horizontalHeader()->setHighlightSections(false);
    grdSummary->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdSummary->verticalHeader()->setHighlightSections(false);
    grdSummary->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdSummary->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdSummary->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    // The row captions, so the grid has its final size before it is first shown.
    FillSummary(RunTaskView(m_task));

    grid->addWidget(NewIcon(group, QStyle::SP_MessageBoxInformation), 0, 0, 2, 1);
    grid->addWidget(lblMessage, 0, 1);
    grid->addWidget(grdSummary, 1, 1);
    return group;
}

QWidget* TdlgRunTask::CreateActionGroup()
{
    auto* group = new QGroupBox(tr("Download action:  "), this);
    auto* grid = new QGridLayout(group);
    lblDescription = new QLabel(group);
    lblDescription->setObjectName("lblDescription");
    lblDescription->setWordWrap(true);
    // Room for the longest description on two lines, so the dialog keeps its size.
    lblDescription->setMinimumHeight(2 * lblDescription->fontMetrics().lineSpacing());
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    rbRestart = new QRadioButton(Text(RunChoiceCaption(TRunChoice::Restart)), group);
    rbRestart->setObjectName("rbRestart");
    rbResume = new QRadioButton(Text(RunChoiceCaption(TRunChoice::Resume)), group);
    rbResume->setObjectName("rbResume");
    rbSmartUpdate = new QRadioButton(Text(RunChoiceCaption(TRunChoice::SmartUpdate)), group);
    rbSmartUpdate->setObjectName("rbSmartUpdate");
    rbSmartRecovery = new QRadioButton(Text(RunChoiceCaption(TRunChoice::SmartRecovery)), group);
    rbSmartRecovery->setObjectName("rbSmartRecovery");

    auto* choices = new QVBoxLayout;
    for (const TRunChoice choice : kChoices)
        choices->addWidget(ChoiceButton(choice));
    grid->addWidget(NewIcon(group, QStyle::SP_MessageBoxQuestion), 0, 0, 2, 1);
    grid->addWidget(lblDescription, 0, 1);
    grid->addLayout(choices, 1, 1);
    grid->setColumnStretch(1, 1);
    return group;
}

QRadioButton* TdlgRunTask::ChoiceButton(TRunChoice choice) const
{
    switch (choice)
    {
    case TRunChoice::Restart:
        return rbRestart;
    case TRunChoice::Resume:
        return rbResume;
    case TRunChoice::SmartUpdate:
        return rbSmartUpdate;
    case TRunChoice::SmartRecovery:
        return rbSmartRecovery;
    }
    return rbResume;
}

TRunChoice TdlgRunTask::SelectedChoice() const
{
    // Read in the order Resume, SmartUpdate, SmartRecovery, Restart.
    for (const TRunChoice choice :
         {TRunChoice::Resume, TRunChoice::SmartUpdate, TRunChoice::SmartRecovery, TRunChoice::Restart})
        if (ChoiceButton(choice)->isChecked())
            return choice;
    return TRunChoice::Restart;
}

void TdlgRunTask::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TdlgRunTask::FormShow()
{
    for (const TRunChoice choice : kChoices)
        ChoiceButton(choice)->setEnabled(true);
    const TRunTaskView view = RunTaskView(m_task);
    FillSummary(view);
    setWindowTitle(Text(view.Caption));
    rbSmartRecovery->setEnabled(view.SmartRecoveryEnabled);
    lblMessage->setText(Text(view.Message));
    // The selection is left as it is: "Resume" unless the user changed it.
}

void TdlgRunTask::FillSummary(const TRunTaskView& view)
{
    for (std::size_t row = 0; row < view.Rows.size(); ++row)
    {
        const TRunSummaryRow& summary = view.Rows[row];
        const int rowIndex = static_cast<int>(row);
        auto* caption = new QTableWidgetItem(style()->standardIcon(kRowIcons[row]), Text(summary.Caption));
        grdSummary->setVerticalHeaderItem(rowIndex, caption);
        const std::array<std::int64_t, 3> figures = {summary.Pages, summary.Media, summary.Total};
        for (std::size_t column = 0; column < figures.size(); ++column)
        {
            const QString shown = summary.Empty ? QString() : QString::number(figures[column]);
            auto* cell = new QTableWidgetItem(shown);
            cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grdSummary->setItem(rowIndex, static_cast<int>(column), cell);
        }
    }
}

void TdlgRunTask::ShowDescription()
{
    lblDescription->setText(Text(RunChoiceDescription(SelectedChoice())));
}

} // namespace hx
