#pragma once

#include <QObject>

namespace hx
{

class HXDownloaderTest : public QObject
{
    Q_OBJECT

private slots:
    void ConnectionsSliderSetsSlotsAndSetting();
    void RowsShowTheSlotsShownFields();
    void RowsFollowSlotsMadeAndEnded();
    void PrioritySliderStoresPriority();
    void ConnectionsTabRendersItsRows();
};

} // namespace hx
