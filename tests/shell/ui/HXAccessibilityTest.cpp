// Every control a person works with in the main window (the Tasks view, the
// connections view, the status panel), the task editor and the run dialog has a
// name assistive tools read out, and Tab from the first control reaches it.

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <memory>
#include <set>

#include "HXMainWindowFixture.h"
#include "core/HXApp.h"
#include "core/HXTask.h"
#include "schedule/ui/HXdlgEditTask.h"
#include "schedule/ui/HXdlgRunTask.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXQtSession.h"

namespace hx
{

namespace
{

// The widget that takes the focus for `widget` (a combo box's line edit hands it on).
QWidget* FocusOwner(QWidget* widget)
{
    while (widget && widget->focusProxy())
        widget = widget->focusProxy();
    return widget;
}

// The controls of `root` a person reaches with the keyboard: shown, enabled, taking
// focus from Tab, owning their focus (not a proxy's helper).
std::vector<QWidget*> KeyboardControls(QWidget* root)
{
    std::vector<QWidget*> controls;
    for (QWidget* widget : root->findChildren<QWidget*>())
        if (widget->window() == root && widget->isVisible() && widget->isEnabled() &&
            (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy())
            controls.push_back(widget);
    return controls;
}

// Tab stops once in a group of radio buttons (the arrow keys choose within it): a
// radio button counts as reached when any button of its group was.
bool Reached(QWidget* control, const std::set<QWidget*>& reached)
{
    if (reached.count(control))
        return true;
    auto* radio = qobject_cast<QRadioButton*>(control);
    if (!radio)
        return false;
    const QList<QAbstractButton*> group =
        radio->group() ? radio->group()->buttons() : radio->parentWidget()->findChildren<QAbstractButton*>();
    return std::any_of(group.begin(), group.end(),
                       [&](QAbstractButton* other)
                       {
                           auto* sibling = qobject_cast<QRadioButton*>(other);
                           return sibling && sibling->autoExclusive() == radio->autoExclusive() &&
                                  sibling->parentWidget() == radio->parentWidget() && reached.count(sibling);
                       });
}

QString Describe(QWidget* widget)
{
    return QStringLiteral("%1 '%2'").arg(QString::fromLatin1(widget->metaObject()->className()), widget->objectName());
}

// The names of every control, then a walk with Tab from the first of them.
void CheckControls(QWidget* root, const QString& where)
{
    root->activateWindow();
    QApplication::setActiveWindow(root);
    QVERIFY2(QTest::qWaitForWindowActive(root), qPrintable(where));
    const std::vector<QWidget*> controls = KeyboardControls(root);
    QVERIFY2(!controls.empty(), qPrintable(where + QStringLiteral(": no controls")));

    QStringList unnamed;
    for (QWidget* control : controls)
    {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << Describe(control);
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(where + QStringLiteral(": no accessible name: ") + unnamed.join(", ")));

    std::set<QWidget*> reached;
    controls.front()->setFocus(Qt::TabFocusReason);
    const std::size_t presses = controls.size() * 2 + 4;
    for (std::size_t press = 0; press < presses; ++press)
    {
        QWidget* focused = QApplication::focusWidget();
        QVERIFY2(focused, qPrintable(where + QStringLiteral(": Tab left the window")));
        reached.insert(FocusOwner(focused));
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    QStringList missed;
    for (QWidget* control : controls)
        if (!Reached(control, reached))
            missed << Describe(control);
    QVERIFY2(missed.isEmpty(), qPrintable(where + QStringLiteral(": Tab never reaches: ") + missed.join(", ")));
}

} // namespace

class HXAccessibilityTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private slots:
    void init() { StartHome(); }

    void cleanup() { Stop(); }

    // The main window on its Tasks view and its connections view, with the status panel.
    void MainWindowControlsAreNamedAndReachable()
    {
        THXQtSession session(*m_app);
        TFormHarbex window(session);
        window.show();
        QTRY_VERIFY(window.FirstActivationDone());
        window.ShowView(TView::Tasks);
        CheckControls(&window, QStringLiteral("Tasks view"));
        window.ShowView(TView::Connections);
        CheckControls(&window, QStringLiteral("Connections view"));
    }

    // The task editor, screen by screen.
    void TaskEditorControlsAreNamedAndReachable()
    {
        THXTask task(*m_app);
        task.Name = "Site";
        task.URL = "http://127.0.0.1/index.html";
        TdlgEditTask editor(nullptr, *m_app, task, TEditTaskMode::Create);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QListWidget* screens = editor.lbScreens;
        QVERIFY(screens->count() > 1);
        for (int screen = 0; screen < screens->count(); ++screen)
        {
            screens->setCurrentRow(screen);
            CheckControls(&editor, QStringLiteral("task editor, screen ") + screens->item(screen)->text());
        }
    }

    // The run dialog of a task that ran to its end.
    void RunDialogControlsAreNamedAndReachable()
    {
        THXTask task(*m_app);
        task.Name = "Site";
        task.Status = kStatusTaskComplete;
        TdlgRunTask dialog(task);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        CheckControls(&dialog, QStringLiteral("run dialog"));
    }
};

} // namespace hx

int RunAccessibilityTests(int argc, char** argv)
{
    hx::HXAccessibilityTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXAccessibilityTest.moc"
