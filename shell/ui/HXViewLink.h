#pragma once

// TViewLink: one link of the main window's view bar. Its text is black (the home
// link dark blue-grey), turns blue while the mouse is over it, is bold while its
// view is shown, and emits Clicked on a left click. It is reachable with Tab and
// Space or Enter clicks it; assistive tools see a link they can press.

#include <QColor>
#include <QLabel>

namespace hx
{

class TViewLink final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TViewLink)

public:
    TViewLink(const QString& caption, const QColor& restColor, QWidget* parent = nullptr);

    void SetBold(bool bold);
    // A click from the keyboard or an assistive tool: Clicked when enabled.
    void Activate();
    // The colour the text shows now (for tests).
    QColor TextColor() const { return m_hovered ? QColor(Qt::blue) : m_restColor; }

signals:
    void Clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Restyle();

    QColor m_restColor;
    bool m_hovered = false;
    bool m_bold = false;
};

} // namespace hx
