#pragma once

#include <QObject>

namespace hx
{

class HXStatusTest : public QObject
{
    Q_OBJECT

private slots:
    void FiguresAreTruncatedAsShown();
    void NewPanelShowsNoTask();
    void AttachedTaskCountersAreShownInBatches();
    void StatusLineAndTaskProgress();
    void ButtonsFollowTheTask();
    void ChartTakesTheDispatcherSeries();
    void NothingIsClippedInTheStatusPanel();
};

} // namespace hx
