#include "schedule/ui/HXdlgSchedule.h"

#include <algorithm>
#include <cmath>

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/HXTask.h"
#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

constexpr double kMillisecondsPerDay = kSecondsPerDay * 1000.0;
// The pickers show the application's short date and a 24-hour time with seconds.
const QString kDateFormat = QStringLiteral("M/d/yyyy");
const QString kTimeFormat = QStringLiteral("HH:mm:ss");

QDate DateOf(TDateTime value)
{
    const TDateParts parts = DecodeDateTime(std::floor(value));
    return QDate(parts.year, parts.month, parts.day);
}

QTime TimeOf(TDateTime value)
{
    const double fraction = value - std::floor(value);
    const auto milliseconds = static_cast<int>(std::lround(fraction * kMillisecondsPerDay));
    return QTime::fromMSecsSinceStartOfDay(std::clamp(milliseconds, 0, static_cast<int>(kMillisecondsPerDay) - 1));
}

TDateTime ValueOf(QDate date)
{
    TDateParts parts;
    parts.year = date.year();
    parts.month = date.month();
    parts.day = date.day();
    return EncodeDateTime(parts);
}

TDateTime ValueOf(QTime time)
{
    return time.msecsSinceStartOfDay() / kMillisecondsPerDay;
}

QTimeEdit* NewTimePicker(QWidget* parent, const QString& objectName, TDateTime value)
{
    auto* picker = new QTimeEdit(parent);
    picker->setObjectName(objectName);
    picker->setDisplayFormat(kTimeFormat);
    picker->setTime(TimeOf(value));
    return picker;
}

QToolButton* NewStepButton(QWidget* parent, Qt::ArrowType arrow)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

TdlgSchedule::TdlgSchedule(const THXClock& clock, QWidget* parent)
    : QDialog(parent)
    , m_clock(clock)
    , m_choice(clock.Now())
    , m_kinds(new QButtonGroup(this))
{
    setWindowTitle(tr("Schedule Task"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateOnceGroup());
    layout->addWidget(CreateRecurringGroup());

    // The labels start with their captions; the update run on showing replaces them.
    lblSchedule = new QLabel(tr("Schedule:"), this);
    lblSchedule->setObjectName("lblSchedule");
    lblNextRun = new QLabel(tr("Next Run:"), this);
    lblNextRun->setObjectName("lblNextRun");
    layout->addWidget(lblSchedule);
    layout->addWidget(lblNextRun);

    btnOK = new QPushButton(tr("&OK"), this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_kinds->setExclusive(true);
    m_kinds->addButton(rbAt, static_cast<int>(TScheduleKind::At));
    m_kinds->addButton(rbEvery, static_cast<int>(TScheduleKind::Every));
    m_kinds->addButton(rbDaily, static_cast<int>(TScheduleKind::Daily));
    m_kinds->addButton(rbWeekly, static_cast<int>(TScheduleKind::Weekly));
    rbAt->setChecked(true);

    connect(rbAt, &QRadioButton::clicked, this, &TdlgSchedule::AtChange);
    connect(dtAtDate, &QDateEdit::dateChanged, this, &TdlgSchedule::AtChange);
    connect(dtAtTime, &QTimeEdit::timeChanged, this, &TdlgSchedule::AtChange);
    connect(rbEvery, &QRadioButton::clicked, this, &TdlgSchedule::EveryChange);
    connect(edHours, &QLineEdit::textEdited, this, &TdlgSchedule::EveryChange);
    connect(edMins, &QLineEdit::textEdited, this, &TdlgSchedule::EveryChange);
    connect(rbDaily, &QRadioButton::clicked, this, &TdlgSchedule::DailyChange);
    connect(dtDailyAt, &QTimeEdit::timeChanged, this, &TdlgSchedule::DailyChange);
    connect(rbWeekly, &QRadioButton::clicked, this, &TdlgSchedule::WeeklyChange);
    connect(dtWeeklyAt, &QTimeEdit::timeChanged, this, &TdlgSchedule::WeeklyChange);
    for (QCheckBox* day : cbWeekdays)
        connect(day, &QCheckBox::clicked, this, &TdlgSchedule::WeeklyChange);
    connect(btnOK, &QPushButton::clicked, this, &TdlgSchedule::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<TScheduleResult> TdlgSchedule::Ask(QWidget* parent, const THXClock& clock)
{
    TdlgSchedule dialog(clock, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Result();
}

QWidget* TdlgSchedule::CreateOnceGroup()
{
    auto* group = new QGroupBox(tr("Schedule (Once-off): "), this);
    auto* grid = new QGridLayout(group);
    rbAt = new QRadioButton(tr("At"), group);
    rbAt->setObjectName("rbAt");
    dtAtDate = new QDateEdit(group);
    dtAtDate->setObjectName("dtAtDate");
    dtAtDate->setDisplayFormat(kDateFormat);
    dtAtDate->setCalendarPopup(true);
    dtAtTime = NewTimePicker(group, QStringLiteral("dtAtTime"), m_choice.AtTime);
    ShowAtMoment();
    grid->addWidget(rbAt, 0, 0);
    grid->addWidget(dtAtDate, 0, 1);
    grid->addWidget(dtAtTime, 0, 2);
    grid->setColumnStretch(3, 1);
    return group;
}

QWidget* TdlgSchedule::CreateRecurringGroup()
{
    auto* group = new QGroupBox(tr("Schedule (recurring): "), this);
    auto* grid = new QGridLayout(group);

    rbEvery = new QRadioButton(tr("Every"), group);
    rbEvery->setObjectName("rbEvery");
    auto* everyFields = new QHBoxLayout;
    everyFields->addWidget(CreateEveryField(edHours, QStringLiteral("edHours")));
    everyFields->addWidget(new QLabel(tr("Hours"), group));
    everyFields->addSpacing(12);
    everyFields->addWidget(CreateEveryField(edMins, QStringLiteral("edMins")));
    everyFields->addWidget(new QLabel(tr("Minutes"), group));
    everyFields->addStretch();
    grid->addWidget(rbEvery, 0, 0);
    grid->addLayout(everyFields, 0, 1, 1, 3);

    rbDaily = new QRadioButton(tr("Daily at"), group);
    rbDaily->setObjectName("rbDaily");
    dtDailyAt = NewTimePicker(group, QStringLiteral("dtDailyAt"), m_choice.DailyAt);
    grid->addWidget(rbDaily, 1, 0);
    grid->addWidget(dtDailyAt, 1, 1);

    rbWeekly = new QRadioButton(tr("Weekly at"), group);
    rbWeekly->setObjectName("rbWeekly");
    dtWeeklyAt = NewTimePicker(group, QStringLiteral("dtWeeklyAt"), m_choice.WeeklyAt);
    grid->addWidget(rbWeekly, 2, 0);
    grid->addWidget(dtWeeklyAt, 2, 1);
    grid->addWidget(new QLabel(tr("on"), group), 2, 2);
    auto* days = new QHBoxLayout;
    for (std::size_t index = 0; index < cbWeekdays.size(); ++index)
    {
        const QString name = Text(kWeekdayNames[index]);
        cbWeekdays[index] = new QCheckBox(name, group);
        cbWeekdays[index]->setObjectName(QStringLiteral("cb") + name);
        days->addWidget(cbWeekdays[index]);
    }
    days->addStretch();
    grid->addLayout(days, 3, 1, 1, 3);
    grid->setColumnStretch(3, 1);
    return group;
}

QWidget* TdlgSchedule::CreateEveryField(QLineEdit*& edit, const QString& objectName)
{
    // An edit with its up and down arrows beside it, as one field.
    auto* field = new QWidget(this);
    auto* row = new QHBoxLayout(field);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    edit = new QLineEdit(QStringLiteral("0"), field);
    edit->setObjectName(objectName);
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    QToolButton* up = NewStepButton(field, Qt::UpArrow);
    QToolButton* down = NewStepButton(field, Qt::DownArrow);
    up->setObjectName(objectName + QStringLiteral("Up"));
    down->setObjectName(objectName + QStringLiteral("Down"));
    row->addWidget(edit);
    row->addWidget(up);
    row->addWidget(down);
    QLineEdit* target = edit;
    connect(up, &QToolButton::clicked, this, [this, target] { StepEveryField(*target, 1); });
    connect(down, &QToolButton::clicked, this, [this, target] { StepEveryField(*target, -1); });
    return field;
}

void TdlgSchedule::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // Opens on "At" with today's date and the current time.
    const TDateTime now = m_clock.Now();
    m_choice.AtDate = std::floor(now);
    m_choice.AtTime = now - std::floor(now);
    ShowAtMoment();
    UpdateChoice(TScheduleKind::At);
}

void TdlgSchedule::mousePressEvent(QMouseEvent* event)
{
    QDialog::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr)
        UpdateChoice(TScheduleKind::At);
}

void TdlgSchedule::AtChange()
{
    m_choice.AtDate = ValueOf(dtAtDate->date());
    // The picker shows whole seconds; the moment the dialog opened keeps its
    // milliseconds until the user changes the time.
    if (sender() == dtAtTime)
        m_choice.AtTime = ValueOf(dtAtTime->time());
    UpdateChoice(TScheduleKind::At);
}

void TdlgSchedule::EveryChange()
{
    m_choice.Hours = edHours->text().toStdString();
    m_choice.Mins = edMins->text().toStdString();
    UpdateChoice(TScheduleKind::Every);
}

void TdlgSchedule::DailyChange()
{
    m_choice.DailyAt = ValueOf(dtDailyAt->time());
    UpdateChoice(TScheduleKind::Daily);
}

void TdlgSchedule::WeeklyChange()
{
    m_choice.WeeklyAt = ValueOf(dtWeeklyAt->time());
    for (std::size_t index = 0; index < cbWeekdays.size(); ++index)
        m_choice.WeeklyTicked[index] = cbWeekdays[index]->isChecked();
    UpdateChoice(TScheduleKind::Weekly);
}

void TdlgSchedule::StepEveryField(QLineEdit& edit, int step)
{
    int value = 0;
    try
    {
        value = ScheduleInteger(edit.text().toStdString());
    }
    catch (const EConvertError&)
    {
        // Stepping from a text that is no number starts from 0.
    }
    edit.setText(QString::number(std::max(0, value + step)));
    EveryChange();
}

void TdlgSchedule::UpdateChoice(TScheduleKind kind)
{
    m_kinds->button(static_cast<int>(kind))->setChecked(true);
    QString error;
    try
    {
        m_choice.Update(kind, m_clock.Now());
    }
    catch (const EConvertError& failure)
    {
        error = QString::fromStdString(failure.what());
    }
    // The clamping may have changed the edits, even when the update then failed.
    if (edHours->text() != Text(m_choice.Hours))
        edHours->setText(Text(m_choice.Hours));
    if (edMins->text() != Text(m_choice.Mins))
        edMins->setText(Text(m_choice.Mins));
    if (!error.isEmpty())
    {
        QMessageBox::critical(this, tr("Harbex"), error);
        return;
    }
    lblSchedule->setText(Text(m_choice.ScheduleLabel));
    lblNextRun->setText(Text(m_choice.NextRunLabel));
}

void TdlgSchedule::ShowAtMoment()
{
    const QSignalBlocker dateBlocker(dtAtDate);
    const QSignalBlocker timeBlocker(dtAtTime);
    dtAtDate->setDate(DateOf(m_choice.AtDate));
    dtAtTime->setTime(TimeOf(m_choice.AtTime));
}

void TdlgSchedule::btnOKClick()
{
    const std::string warning = m_choice.ConfirmWarning();
    if (!warning.empty())
    {
        QMessageBox::warning(this, tr("Warning"), Text(warning), QMessageBox::Ok);
        return;
    }
    accept();
}

} // namespace hx
