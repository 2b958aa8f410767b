#include "shell/ui/HXViewLink.h"

#include <QMouseEvent>

namespace hx
{

TViewLink::TViewLink(const QString& caption, const QColor& restColor, QWidget* parent)
    : QLabel(caption, parent)
    , m_restColor(restColor)
{
    setCursor(Qt::PointingHandCursor);
    setContentsMargins(8, 2, 8, 2);
    Restyle();
}

void TViewLink::SetBold(bool bold)
{
    m_bold = bold;
    Restyle();
}

void TViewLink::enterEvent(QEnterEvent* event)
{
    m_hovered = isEnabled();
    Restyle();
    QLabel::enterEvent(event);
}

void TViewLink::leaveEvent(QEvent* event)
{
    m_hovered = false;
    Restyle();
    QLabel::leaveEvent(event);
}

void TViewLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && isEnabled() && rect().contains(event->position().toPoint()))
        emit Clicked();
    QLabel::mouseReleaseEvent(event);
}

void TViewLink::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
    {
        m_hovered = m_hovered && isEnabled();
        Restyle();
    }
    QLabel::changeEvent(event);
}

void TViewLink::Restyle()
{
    const QColor color = isEnabled() ? TextColor() : palette().color(QPalette::Disabled, QPalette::WindowText);
    setStyleSheet(QStringLiteral("color: %1; font-weight: %2;").arg(color.name(), m_bold ? "bold" : "normal"));
}

} // namespace hx
