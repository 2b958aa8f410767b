#include "shell/ui/HXViewLink.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>

namespace hx
{

namespace
{

// What assistive tools see of a view link: a link named by its caption with one
// action, Press, that clicks it.
class TViewLinkAccessible final : public QAccessibleWidget
{
public:
    explicit TViewLinkAccessible(TViewLink* link)
        : QAccessibleWidget(link, QAccessible::Link)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<TViewLink*>(widget())->text();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction())
            static_cast<TViewLink*>(widget())->Activate();
        else
            QAccessibleWidget::doAction(actionName);
    }
};

QAccessibleInterface* ViewLinkAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("hx::TViewLink") && object && object->isWidgetType())
        return new TViewLinkAccessible(static_cast<TViewLink*>(object));
    return nullptr;
}

} // namespace

TViewLink::TViewLink(const QString& caption, const QColor& restColor, QWidget* parent)
    : QLabel(caption, parent)
    , m_restColor(restColor)
{
    setCursor(Qt::PointingHandCursor);
    setContentsMargins(8, 2, 8, 2);
    setFocusPolicy(Qt::TabFocus);
    static const bool factoryInstalled = []
    {
        QAccessible::installFactory(ViewLinkAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    Restyle();
}

void TViewLink::Activate()
{
    if (isEnabled())
        emit Clicked();
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

void TViewLink::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
    {
        Activate();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

// The focused link is underlined, so a person moving with Tab sees where they are.
void TViewLink::focusInEvent(QFocusEvent* event)
{
    Restyle();
    QLabel::focusInEvent(event);
}

void TViewLink::focusOutEvent(QFocusEvent* event)
{
    Restyle();
    QLabel::focusOutEvent(event);
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
    setStyleSheet(QStringLiteral("color: %1; font-weight: %2; text-decoration: %3;")
                      .arg(color.name(), m_bold ? "bold" : "normal", hasFocus() ? "underline" : "none"));
}

} // namespace hx
