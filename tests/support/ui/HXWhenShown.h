#pragma once

// Window tests act on the windows the code under test opens, as a person would: a
// timer looks for the first visible top-level window of the given type (a message
// box, a dialog opened with exec or show) and hands it to the test's action, which
// clicks its buttons. A modal window's own event loop keeps the timer running.

#include <functional>
#include <utility>

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace hx::test
{

// How often the test's action runs.
enum class TActTimes
{
    // Each time a look finds such a window (the action usually closes it).
    EveryTime,
    // On the first window found; later ones are left alone.
    Once,
};

template <typename TWindow>
class TWhenShown
{
public:
    explicit TWhenShown(std::function<void(TWindow&)> act, TActTimes times = TActTimes::EveryTime)
        : TWhenShown([](const TWindow&) { return true; }, std::move(act), times)
    {
    }

    // Only windows `which` accepts are acted on.
    TWhenShown(std::function<bool(const TWindow&)> which, std::function<void(TWindow&)> act,
               TActTimes times = TActTimes::EveryTime)
        : m_which(std::move(which))
        , m_act(std::move(act))
        , m_times(times)
    {
        QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { Look(); });
        m_poll.start(10);
    }

    TWhenShown(const TWhenShown&) = delete;
    TWhenShown& operator=(const TWhenShown&) = delete;

    // How many times a window was found and acted on.
    int Seen() const { return m_seen; }
    bool Done() const { return m_seen > 0; }

private:
    void Look()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* window = qobject_cast<TWindow*>(widget);
                window != nullptr && window->isVisible() && m_which(*window))
            {
                ++m_seen;
                // Stopped before acting: an action that opens a modal loop must not
                // find the same window again.
                if (m_times == TActTimes::Once)
                    m_poll.stop();
                m_act(*window);
                return;
            }
    }

    std::function<bool(const TWindow&)> m_which;
    std::function<void(TWindow&)> m_act;
    TActTimes m_times;
    QTimer m_poll;
    int m_seen = 0;
};

} // namespace hx::test
