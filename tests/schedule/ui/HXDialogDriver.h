#pragma once

// Answers a modal window the way a person would: a timer looks for the first
// visible top-level window of the given type (a message box, a dialog opened with
// exec) and hands it to the test's action, which clicks its buttons. The modal
// window's own event loop keeps the timer running.

#include <functional>
#include <utility>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

namespace hx::test
{

template <typename TWindow>
class TWhenShown
{
public:
    explicit TWhenShown(std::function<void(TWindow&)> act)
        : m_act(std::move(act))
    {
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { Look(); });
        m_poll.start(10);
    }

    // How many times the window was found and acted on.
    int Seen() const { return m_seen; }

private:
    void Look()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TWindow*>(widget); window != nullptr && window->isVisible())
            {
                ++m_seen;
                m_act(*window);
                return;
            }
    }

    std::function<void(TWindow&)> m_act;
    QTimer m_poll;
    int m_seen = 0;
};

// Clicks a radio button or check box where a person would, on its mark: the
// middle of a button stretched by its layout is outside the part that reacts.
inline void ClickMark(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
}

} // namespace hx::test
