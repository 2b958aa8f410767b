#pragma once

#include <QObject>

namespace hx
{

class HXdlgScheduleTest : public QObject
{
    Q_OBJECT

private slots:
    void ConfirmedAtOnceRunsOnceAtTheMomentItOpened();
    void EveryClampsTheEditsAndCountsFromNow();
    void DailyAtATimeAlreadyPassedRunsTomorrow();
    void WeeklyNeedsADayAndRunsOnTheFirstTickedDay();
    void NothingIsClippedInTheScheduleDialog();
};

} // namespace hx
