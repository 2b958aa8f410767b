#pragma once

// TDropTarget: makes a whole window a place to drop on. It accepts two kinds of
// data, text and lists of files, and hands every drop over as a list of strings:
// the text as one string, or one string per dropped item of a URL list (a local
// file as its path, any other address as it is written). A browser's link arrives
// as a one-item URL list, a file browser's selection as a list of local files.
//
// The target watches the window's drag events, so the window's children that take
// no drops of their own (views, panels) pass theirs to it.
//
// Threads: window thread only.

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QMimeData;
class QWidget;

namespace hx
{

class TDropTarget final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDropTarget)

public:
    using THandler = std::function<void(const std::vector<std::string>& strings)>;

    // Registers on `window` (which owns the target) and calls `handler` for every drop.
    TDropTarget(QWidget* window, THandler handler);

    // The strings a drop of `data` delivers; empty when it holds neither text nor files.
    static std::vector<std::string> DroppedStrings(const QMimeData& data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    THandler m_handler;
};

} // namespace hx
