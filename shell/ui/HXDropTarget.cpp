#include "shell/ui/HXDropTarget.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace hx
{

TDropTarget::TDropTarget(QWidget* window, THandler handler)
    : QObject(window)
    , m_handler(std::move(handler))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

std::vector<std::string> TDropTarget::DroppedStrings(const QMimeData& data)
{
    std::vector<std::string> strings;
    if (data.hasUrls())
    {
        for (const QUrl& url : data.urls())
        {
            const QString text = url.isLocalFile() ? url.toLocalFile() : url.toString();
            if (!text.isEmpty())
                strings.push_back(text.toStdString());
        }
        if (!strings.empty())
            return strings;
    }
    if (data.hasText())
    {
        const QString text = data.text().trimmed();
        if (!text.isEmpty())
            strings.push_back(text.toStdString());
    }
    return strings;
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type())
    {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    {
        // Whatever effect the source offers will do, as long as the drop happens.
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (drag->mimeData() && !DroppedStrings(*drag->mimeData()).empty())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop:
    {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!drop->mimeData())
            return true;
        std::vector<std::string> strings = DroppedStrings(*drop->mimeData());
        if (strings.empty())
        {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        // The drop ends first: the command may open a modal dialog, and the program
        // the data came from waits until the drop is done.
        QMetaObject::invokeMethod(
            this, [this, strings = std::move(strings)] { m_handler(strings); }, Qt::QueuedConnection);
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace hx
