#pragma once

#include <QObject>

namespace hx
{

class HXPreferencesTest : public QObject
{
    Q_OBJECT

private slots:
    void StoredValuesAreShown();
    void EveryEditedSettingIsStoredByOK();
    void CancelStoresNothingButClearActsAtOnce();
    void NetworkPageKeepsTheSettingsRanges();
    void TheProxyOfferIsMadeOnce();
    void MainWindowAppliesTheHistoryLengthAndModeHints();
    void FirstRunOffersTheDesktopProxy();
    void EveryPageFitsAndIsPictured();
};

} // namespace hx
