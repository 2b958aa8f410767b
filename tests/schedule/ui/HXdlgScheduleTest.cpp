#include "HXdlgScheduleTest.h"

#include <cmath>
#include <functional>

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include "HXDialogDriver.h"
#include "monitor/ui/HXMonitorTestSupport.h"
#include "schedule/ui/HXdlgSchedule.h"

namespace hx
{

namespace
{

// A clock the test sets: the dialog asks it for "now" on every change.
class TTestClock final : public THXClock
{
public:
    explicit TTestClock(TDateTime now)
        : m_now(now)
    {
    }
    TDateTime Now() const override { return m_now; }

private:
    TDateTime m_now;
};

// Wednesday 10 June 2026, 14:30:15.250.
TDateTime WednesdayAfternoon()
{
    return EncodeDateTime({2026, 6, 10, 14, 30, 15}) + 0.25 * kOneSecond;
}

TDateTime At(int year, int month, int day, int hour, int minute, int second = 0)
{
    return EncodeDateTime({year, month, day, hour, minute, second});
}

QString LongTime(int hour, int minute, int second = 0)
{
    return QString::fromStdString(FormatLongTime(At(1899, 12, 30, hour, minute, second)));
}

// Types over the edit's whole text, or empties it.
void TypeInto(QLineEdit& edit, const QString& text)
{
    edit.selectAll();
    if (text.isEmpty())
        QTest::keyClick(&edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(&edit, text);
}

bool SameMoment(TDateTime left, TDateTime right)
{
    return std::fabs(left - right) < kOneSecond / 1000.0;
}

// The dialog opened by its modal entry and handled by the given person; fails the
// test when the person never saw it.
std::optional<TScheduleResult> AskAs(const THXClock& clock, std::function<void(TdlgSchedule&)> person)
{
    test::TWhenShown<TdlgSchedule> driver(std::move(person));
    std::optional<TScheduleResult> result = TdlgSchedule::Ask(nullptr, clock);
    if (driver.Seen() != 1)
        QTest::qFail("the schedule dialog was not answered exactly once", __FILE__, __LINE__);
    return result;
}

} // namespace

void HXdlgScheduleTest::ConfirmedAtOnceRunsOnceAtTheMomentItOpened()
{
    const TTestClock clock(WednesdayAfternoon());
    const QString moment = QStringLiteral("6/10/2026  ") + LongTime(14, 30, 15);

    // Opened through the scheduler window's entry and confirmed without a change.
    const std::optional<TScheduleResult> confirmed =
        AskAs(clock,
              [&moment](TdlgSchedule& dialog)
              {
                  QCOMPARE(dialog.windowTitle(), QStringLiteral("Schedule Task"));
                  QVERIFY(dialog.rbAt->isChecked());
                  QCOMPARE(dialog.dtAtDate->date(), QDate(2026, 6, 10));
                  QCOMPARE(dialog.dtAtTime->time().toString(QStringLiteral("HH:mm:ss")), QStringLiteral("14:30:15"));
                  QCOMPARE(dialog.lblSchedule->text(), QStringLiteral(" Run once at ") + moment);
                  QCOMPARE(dialog.lblNextRun->text(), QStringLiteral(" Next Run: ") + moment);
                  QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
              });
    QVERIFY(confirmed.has_value());
    QCOMPARE(QString::fromStdString(confirmed->ScheduleText), QStringLiteral("Once at ") + moment);
    QCOMPARE(confirmed->NextRunAt, WednesdayAfternoon());

    // A day later by the date picker's arrow key; the time keeps the opening moment.
    const std::optional<TScheduleResult> later =
        AskAs(clock,
              [](TdlgSchedule& dialog)
              {
                  dialog.dtAtDate->setCurrentSection(QDateTimeEdit::DaySection);
                  QTest::keyClick(dialog.dtAtDate, Qt::Key_Up);
                  QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
              });
    QVERIFY(later.has_value());
    QCOMPARE(QString::fromStdString(later->ScheduleText), QStringLiteral("Once at 6/11/2026  ") + LongTime(14, 30, 15));
    QVERIFY(SameMoment(later->NextRunAt, WednesdayAfternoon() + 1));

    // Cancel gives nothing.
    QVERIFY(
        !AskAs(clock, [](TdlgSchedule& dialog) { QTest::mouseClick(dialog.btnCancel, Qt::LeftButton); }).has_value());
}

void HXdlgScheduleTest::EveryClampsTheEditsAndCountsFromNow()
{
    const TTestClock clock(WednesdayAfternoon());
    TdlgSchedule dialog(clock);
    dialog.show();

    // Typing into an edit selects "Every"; too large values are cut as typed.
    TypeInto(*dialog.edHours, QStringLiteral("30"));
    QVERIFY(dialog.rbEvery->isChecked());
    QCOMPARE(dialog.edHours->text(), QStringLiteral("23"));
    TypeInto(*dialog.edMins, QStringLiteral("75"));
    QCOMPARE(dialog.edMins->text(), QStringLiteral("59"));
    QCOMPARE(dialog.lblSchedule->text(), QStringLiteral(" Run every 23 hours, 59 mins"));
    QCOMPARE(dialog.lblNextRun->text(), QStringLiteral(" Next Run: 6/11/2026  ") + LongTime(14, 29, 15));

    // An emptied edit becomes "0"; a leading zero stays as typed.
    TypeInto(*dialog.edHours, QString());
    QCOMPARE(dialog.edHours->text(), QStringLiteral("0"));
    TypeInto(*dialog.edHours, QStringLiteral("05"));
    QCOMPARE(dialog.edHours->text(), QStringLiteral("05"));

    // The arrows step the minutes; down never goes below 0.
    QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("edMinsDown")), Qt::LeftButton);
    QCOMPARE(dialog.edMins->text(), QStringLiteral("58"));
    QCOMPARE(dialog.lblSchedule->text(), QStringLiteral(" Run every 05 hours, 58 mins"));
    TypeInto(*dialog.edMins, QStringLiteral("0"));
    QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("edMinsDown")), Qt::LeftButton);
    QCOMPARE(dialog.edMins->text(), QStringLiteral("0"));
    QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("edMinsUp")), Qt::LeftButton);
    QCOMPARE(dialog.edMins->text(), QStringLiteral("1"));

    // A text that is no number is reported; the labels keep the last good update.
    {
        QString reported;
        test::TWhenShown<QMessageBox> answer(
            [&reported](QMessageBox& box)
            {
                reported = box.text();
                box.button(QMessageBox::Ok)->click();
            });
        QTest::keyClicks(dialog.edMins, QStringLiteral("x"));
        QCOMPARE(answer.Seen(), 1);
        QCOMPARE(reported, QStringLiteral("'1x' is not a valid integer value"));
        QCOMPARE(dialog.lblSchedule->text(), QStringLiteral(" Run every 05 hours, 1 mins"));
        TypeInto(*dialog.edMins, QStringLiteral("1"));
    }

    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Result().ScheduleText, std::string("Every 05 hours, 1 mins"));
    QVERIFY(SameMoment(dialog.Result().NextRunAt, WednesdayAfternoon() + 5.0 / 24 + 1.0 / 1440));
}

void HXdlgScheduleTest::DailyAtATimeAlreadyPassedRunsTomorrow()
{
    const TTestClock clock(WednesdayAfternoon());
    TdlgSchedule dialog(clock);
    dialog.show();

    // Clicking "Daily at" alone: noon has passed, so tomorrow at noon.
    test::ClickMark(dialog.rbDaily);
    QCOMPARE(dialog.lblSchedule->text(), QStringLiteral(" Run daily at ") + LongTime(12, 0));
    QCOMPARE(dialog.lblNextRun->text(), QStringLiteral(" Next Run: 6/11/2026  ") + LongTime(12, 0));

    // Back to "At" by a click on the dialog's background.
    QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(2, 2));
    QVERIFY(dialog.rbAt->isChecked());

    // Three hours on by the time picker's arrow key: the picker's change selects
    // "Daily at", and 15:00 is still ahead today.
    dialog.dtDailyAt->setCurrentSection(QDateTimeEdit::HourSection);
    for (int step = 0; step < 3; ++step)
        QTest::keyClick(dialog.dtDailyAt, Qt::Key_Up);
    QVERIFY(dialog.rbDaily->isChecked());
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QString::fromStdString(dialog.Result().ScheduleText), QStringLiteral("Daily at ") + LongTime(15, 0));
    QVERIFY(SameMoment(dialog.Result().NextRunAt, At(2026, 6, 10, 15, 0)));
}

void HXdlgScheduleTest::WeeklyNeedsADayAndRunsOnTheFirstTickedDay()
{
    const TTestClock clock(WednesdayAfternoon());
    TdlgSchedule dialog(clock);
    dialog.show();
    const QString openingNextRun = dialog.lblNextRun->text();

    // "Weekly at" without a day: OK warns and the dialog stays open.
    test::ClickMark(dialog.rbWeekly);
    QCOMPARE(dialog.lblSchedule->text(), QStringLiteral(" Run every  of every week at ") + LongTime(12, 0));
    QCOMPARE(dialog.lblNextRun->text(), openingNextRun);
    {
        QString warned;
        test::TWhenShown<QMessageBox> answer(
            [&warned](QMessageBox& box)
            {
                warned = box.text();
                box.button(QMessageBox::Ok)->click();
            });
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        QCOMPARE(answer.Seen(), 1);
        QCOMPARE(warned, QStringLiteral("A least one day must be selected for a weekly schedule."));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    // Back on "At", a weekday box selects "Weekly at" again. Wednesday noon has
    // passed, so Friday is the first ticked day; the list keeps Monday-first order.
    test::ClickMark(dialog.rbAt);
    test::ClickMark(dialog.cbWeekdays[4]);
    QVERIFY(dialog.rbWeekly->isChecked());
    test::ClickMark(dialog.cbWeekdays[2]);
    QCOMPARE(dialog.lblSchedule->text(), QStringLiteral(" Run every Wed, Fri of every week at ") + LongTime(12, 0));
    QCOMPARE(dialog.lblNextRun->text(), QStringLiteral(" Next Run: 6/12/2026  ") + LongTime(12, 0));

    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(QString::fromStdString(dialog.Result().ScheduleText),
             QStringLiteral("Weekly every Wed, Fri at ") + LongTime(12, 0));
    QVERIFY(SameMoment(dialog.Result().NextRunAt, At(2026, 6, 12, 12, 0)));
}

void HXdlgScheduleTest::NothingIsClippedInTheScheduleDialog()
{
    const TTestClock clock(WednesdayAfternoon());
    TdlgSchedule dialog(clock);
    dialog.show();
    test::ClickMark(dialog.cbWeekdays[0]);
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    test::SaveScreenshot(dialog, QStringLiteral("schedule-dialog"));
    QCOMPARE(test::FirstClippedChild(dialog), QString());
}

} // namespace hx
