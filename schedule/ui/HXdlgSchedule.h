#pragma once

// TdlgSchedule: the "Schedule Task" dialog. The user picks one kind of schedule
// (once at a date and time, every few hours and minutes, daily at a time, weekly on
// some weekdays at a time); the dialog shows the schedule and its next run as they
// are typed, and on OK hands back the schedule text and the next run.
//
// The dialog holds no rules of its own: every change copies the changed control into
// a TScheduleChoice, lets it work out the texts and the next run (clamping the hours
// and minutes), and shows what it decided. It always opens on "At" with today's
// date and the current time; it never shows an existing schedule.
//
// Threads: window thread only.

#include <array>
#include <optional>
#include <string>

#include <QDialog>

#include "schedule/HXSchedule.h"

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace hx
{

// What the dialog hands back on OK.
struct TScheduleResult
{
    std::string ScheduleText;
    TDateTime NextRunAt = 0;
};

class TdlgSchedule final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgSchedule)

public:
    // The clock gives "now" for every update; it must outlive the dialog.
    explicit TdlgSchedule(const THXClock& clock, QWidget* parent = nullptr);

    // Shows the dialog modally. OK: the schedule text and the next run, which the
    // scheduler window's Schedule command passes to THXScheduler::ScheduleTask.
    // Cancel: nothing.
    static std::optional<TScheduleResult> Ask(QWidget* parent, const THXClock& clock);

    // The results of the last update (also the weekly days list).
    const TScheduleChoice& Choice() const { return m_choice; }
    TScheduleResult Result() const { return {m_choice.ScheduleText, m_choice.NextRunAt}; }

    // Once-off.
    QRadioButton* rbAt = nullptr;
    QDateEdit* dtAtDate = nullptr;
    QTimeEdit* dtAtTime = nullptr;
    // Recurring.
    QRadioButton* rbEvery = nullptr;
    QLineEdit* edHours = nullptr;
    QLineEdit* edMins = nullptr;
    QRadioButton* rbDaily = nullptr;
    QTimeEdit* dtDailyAt = nullptr;
    QRadioButton* rbWeekly = nullptr;
    QTimeEdit* dtWeeklyAt = nullptr;
    // Monday first, as the weekly schedule lists the days.
    std::array<QCheckBox*, 7> cbWeekdays{};
    // Summary and buttons.
    QLabel* lblSchedule = nullptr;
    QLabel* lblNextRun = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // A click on the dialog's background selects "At".
    void mousePressEvent(QMouseEvent* event) override;

private:
    QWidget* CreateOnceGroup();
    QWidget* CreateRecurringGroup();
    QWidget* CreateEveryField(QLineEdit*& edit, const QString& objectName);

    // The change handlers of the four kinds: each copies its controls into the
    // choice and runs the update for its kind.
    void AtChange();
    void EveryChange();
    void DailyChange();
    void WeeklyChange();
    // Steps an hours or minutes edit by its up/down buttons (never below 0).
    void StepEveryField(QLineEdit& edit, int step);
    // Runs the update, selects the kind's radio button and shows the labels (and
    // the edits as the clamping left them). A conversion error is shown in a box;
    // the labels then keep their previous texts.
    void UpdateChoice(TScheduleKind kind);
    // Sets the once-off pickers to the choice's date and time without handling it
    // as a change.
    void ShowAtMoment();
    void btnOKClick();

    const THXClock& m_clock;
    TScheduleChoice m_choice;
    // The four kinds' radio buttons, one exclusive set across both groups.
    QButtonGroup* m_kinds = nullptr;
};

} // namespace hx
