#include "HXMonitorTestSupport.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QPixmap>

namespace hx::test
{

void SaveScreenshot(QWidget& widget, const QString& name)
{
    const QString folder = qEnvironmentVariable("HX_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral("-x") + scale + QStringLiteral(".png"));
}

QString FirstClippedChild(QWidget& widget)
{
    const QRect bounds = widget.rect();
    for (QWidget* child : widget.findChildren<QWidget*>())
    {
        if (!child->isVisibleTo(&widget))
            continue;
        // Scroll areas, spin boxes and editable combo boxes draw their own parts
        // inside their frame.
        if (qobject_cast<QAbstractScrollArea*>(child->parentWidget()) != nullptr ||
            qobject_cast<QAbstractSpinBox*>(child->parentWidget()) != nullptr ||
            qobject_cast<QComboBox*>(child->parentWidget()) != nullptr)
            continue;
        const QRect frame(child->mapTo(&widget, QPoint(0, 0)), child->size());
        const QSize least = child->minimumSizeHint();
        const QString name = QString::fromLatin1(child->metaObject()->className()) + QLatin1Char(' ') +
                             child->objectName() + QStringLiteral(" at ") + QString::number(frame.x()) +
                             QLatin1Char(',') + QString::number(frame.y()) + QLatin1Char(' ') +
                             QString::number(frame.width()) + QLatin1Char('x') + QString::number(frame.height());
        if (!bounds.contains(frame))
            return name + QStringLiteral(" leaves the window");
        if (least.isValid() && (frame.height() < least.height() || frame.width() < least.width()))
            return name + QStringLiteral(" is smaller than ") + QString::number(least.width()) + QLatin1Char('x') +
                   QString::number(least.height());
    }
    return {};
}

} // namespace hx::test
