#pragma once

// Window tests answer the boxes and dialogs the code under test opens, as a person
// would: a timer looks for the window and clicks or presses Enter in it.

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "support/ui/HXWhenShown.h"

namespace hx::test
{

// Answers each message box with `button` and keeps the last one's text.
class TBoxAnswer
{
public:
    explicit TBoxAnswer(QMessageBox::StandardButton button)
        : m_when(
              [this, button](QMessageBox& box)
              {
                  m_text = box.text();
                  box.button(button)->click();
              })
    {
    }
    const QString& Text() const { return m_text; }
    int Seen() const { return m_when.Seen(); }

private:
    QString m_text;
    TWhenShown<QMessageBox> m_when;
};

// Presses Enter in each dialog whose caption starts with `caption` (its default
// button).
class TDialogEnter
{
public:
    explicit TDialogEnter(const QString& caption)
        : m_when([caption](const QDialog& dialog) { return dialog.windowTitle().startsWith(caption); },
                 [](QDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); })
    {
    }
    int Seen() const { return m_when.Seen(); }

private:
    TWhenShown<QDialog> m_when;
};

} // namespace hx::test
