#pragma once

// Radio button groups whose button ids are the values of a profile or task field,
// shared by the task editor and the profile editor.

#include <QAbstractButton>
#include <QButtonGroup>
#include <QRadioButton>

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

} // namespace hx
