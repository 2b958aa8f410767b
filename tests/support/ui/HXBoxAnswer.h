#pragma once

// Window tests answer the boxes and dialogs the code under test opens, as a person
// would: a timer looks for the window and clicks or presses Enter in it.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace hx::test
{

// Answers the next message box with `button` and keeps its text.
class TBoxAnswer : public QObject
{
public:
    explicit TBoxAnswer(QMessageBox::StandardButton button)
        : m_button(button)
    {
        connect(&m_poll, &QTimer::timeout, this, &TBoxAnswer::Look);
        m_poll.start(10);
    }
    const QString& Text() const { return m_text; }
    int Seen() const { return m_seen; }

private:
    void Look()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            {
                m_text = box->text();
                ++m_seen;
                box->button(m_button)->click();
                return;
            }
    }

    QMessageBox::StandardButton m_button;
    QTimer m_poll;
    QString m_text;
    int m_seen = 0;
};

// Presses Enter in the next dialog whose caption starts with `caption` (its
// default button).
class TDialogEnter : public QObject
{
public:
    explicit TDialogEnter(QString caption)
        : m_caption(std::move(caption))
    {
        connect(&m_poll, &QTimer::timeout, this,
                [this]
                {
                    for (QWidget* widget : QApplication::topLevelWidgets())
                        if (auto* dialog = qobject_cast<QDialog*>(widget);
                            dialog && dialog->isVisible() && dialog->windowTitle().startsWith(m_caption))
                        {
                            ++m_seen;
                            QTest::keyClick(dialog, Qt::Key_Return);
                            return;
                        }
                });
        m_poll.start(10);
    }
    int Seen() const { return m_seen; }

private:
    QString m_caption;
    QTimer m_poll;
    int m_seen = 0;
};

} // namespace hx::test
