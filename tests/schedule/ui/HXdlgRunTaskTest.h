#pragma once

#include <QObject>

namespace hx
{

class HXdlgRunTaskTest : public QObject
{
    Q_OBJECT

private slots:
    void CompletedTaskWithErrorsIsSummarised();
    void StoppedTaskWithoutErrorsOffersNoRecovery();
    void EachChoiceGivesItsRunModeAndCancelGivesNone();
};

} // namespace hx
