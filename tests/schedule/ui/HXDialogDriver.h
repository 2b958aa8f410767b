#pragma once

// Drives the schedule, run and preferences dialogs the way a person would: modal
// windows are answered with TWhenShown (a timer that finds the window and hands it
// to the test's action), buttons are clicked where a person clicks them.

#include <QAbstractButton>
#include <QTest>

#include "support/ui/HXWhenShown.h"

namespace hx::test
{

// Clicks a radio button or check box where a person would, on its mark: the
// middle of a button stretched by its layout is outside the part that reacts.
inline void ClickMark(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
}

} // namespace hx::test
