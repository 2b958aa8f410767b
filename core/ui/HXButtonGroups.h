#pragma once

// Radio button groups whose button ids are the values of a profile or task field,
// shared by the task editor and the profile editor.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QRadioButton>
#include <QSpinBox>

namespace hx
{

// A radio button in the group with the value as its id.
inline QRadioButton* AddRadio(QButtonGroup& group, QWidget* parent, const QString& text, int id)
{
    auto* button = new QRadioButton(text, parent);
    group.addButton(button, id);
    return button;
}

// Selects the button whose id is the value; a value no button has leaves the
// whole group unselected.
inline void SelectButton(QButtonGroup& group, int value)
{
    if (QAbstractButton* button = group.button(value))
    {
        button->setChecked(true);
        return;
    }
    group.setExclusive(false);
    for (QAbstractButton* button : group.buttons())
        button->setChecked(false);
    group.setExclusive(true);
}

// The selected button's id into the value; nothing selected keeps the value.
inline void ReadButton(const QButtonGroup& group, int& value)
{
    if (group.checkedId() >= 0)
        value = group.checkedId();
}

// Button ids of the depth group: "This page only", "This page and N level/s",
// "All levels".
inline constexpr int kDepthIdThisPage = 0;
inline constexpr int kDepthIdLevels = 1;
inline constexpr int kDepthIdAll = 2;

// A profile's depth (-1 all levels, 0 this page, else levels) in the depth group.
inline void ShowDepth(QButtonGroup& group, QSpinBox& levels, int depth)
{
    if (depth < 0)
        SelectButton(group, kDepthIdAll);
    else if (depth == 0)
        SelectButton(group, kDepthIdThisPage);
    else
    {
        SelectButton(group, kDepthIdLevels);
        levels.setValue(depth);
    }
}

// The depth the group shows; nothing selected keeps the value.
inline void ReadDepth(const QButtonGroup& group, const QSpinBox& levels, int& depth)
{
    switch (group.checkedId())
    {
    case kDepthIdAll:
        depth = -1;
        break;
    case kDepthIdThisPage:
        depth = 0;
        break;
    case kDepthIdLevels:
        depth = levels.value();
        break;
    default:
        break;
    }
}

} // namespace hx
