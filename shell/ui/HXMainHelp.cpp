// The main window's help side: the help pages installed with the program (the
// folder "help" of the installed data), opened with the page about the window in
// front. F1 in the main window, "&Contents..." and the Help button show the page
// of the current view; F1 in a dialog shows the dialog's page; "Online Help..."
// and "Harbex &Tour..." open the contents and the getting-started page. Every page
// goes through ShowHelp, so where the pages are shown is decided in one place.
// "&Harbex News..." and "Tavrolin Home &Page..." open web pages under the "Home Page
// Address" setting and are hidden while it is empty.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QUrl>

#include <functional>
#include <string_view>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

constexpr const char* kHelpIndex = "index.html";
// "Harbex News..." opens this page under the "Home Page Address" setting.
constexpr std::string_view kNewsPage = "news/";

// The page about each dialog, found by the dialog's class.
struct TWindowHelp
{
    const char* ClassName;
    const char* Page;
};

constexpr TWindowHelp kDialogHelp[] = {
    {"hx::TdlgEditTask", "task-editor.html"},
    {"hx::TdlgUserNamePassword", "task-editor.html#password"},
    {"hx::TdlgEditURLFilter", "task-editor.html#url-filters"},
    {"hx::TdlgEditFileType", "task-editor.html#file-types"},
    {"hx::TdlgRunTask", "run-and-schedule.html#run-task"},
    {"hx::TdlgSchedule", "run-and-schedule.html#schedule-task"},
    {"hx::TdlgEditProfile", "profiles.html"},
    {"hx::TwizFileZip", "archives.html#file-zip-wizard"},
    {"hx::TFormExtract", "archives.html#unzip"},
    {"hx::TdlgOptions", "preferences.html"},
    {"hx::TdlgAutoHarbex", "auto-download.html"},
};

const char* ViewHelpPage(TView view)
{
    switch (view)
    {
    case TView::Tasks:
        return "tasks.html";
    case TView::Explore:
        return "explore.html";
    case TView::Connections:
        return "main-window.html#connections";
    case TView::ZipProperties:
        return "archives.html";
    case TView::Home:
    case TView::Browse:
        return "main-window.html#views";
    }
    return kHelpIndex;
}

// F1 in a window of the program other than the main window (a dialog, which keeps
// the keyboard while it is open, so the main window's F1 shortcut does not reach
// it) opens the page about that window.
class THelpKeyFilter final : public QObject
{
public:
    explicit THelpKeyFilter(TFormHarbex& window)
        : QObject(&window)
        , m_window(window)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1 ||
            static_cast<QKeyEvent*>(event)->modifiers() != Qt::NoModifier)
            return QObject::eventFilter(watched, event);
        QWidget* front = QApplication::activeWindow();
        if (!front || front == &m_window)
            return QObject::eventFilter(watched, event);
        m_window.ShowHelp(m_window.HelpPageFor(front));
        return true;
    }

private:
    TFormHarbex& m_window;
};

} // namespace

std::string TFormHarbex::HelpPageFor(const QWidget* window) const
{
    if (!window || window == this)
        return ViewHelpPage(m_view);
    for (const TWindowHelp& help : kDialogHelp)
        if (window->inherits(help.ClassName))
            return help.Page;
    return kHelpIndex;
}

void TFormHarbex::ShowHelp(const std::string& page)
{
    const std::string folder = m_app.Environment().dataFolder + "help/";
    const std::size_t hash = page.find('#');
    std::string file = page.substr(0, hash);
    std::string part = hash == std::string::npos ? std::string() : page.substr(hash + 1);
    if (file.empty() || !FileExists(folder + file))
    {
        file = kHelpIndex;
        part.clear();
    }
    if (m_app.Environment().dataFolder.empty() || !FileExists(folder + file))
    {
        ShowError(Std(tr("The help pages were not found in %1").arg(Text(folder))));
        return;
    }
    QUrl address = QUrl::fromLocalFile(QString::fromStdString(folder + file));
    if (!part.empty())
        address.setFragment(QString::fromStdString(part));
    OpenPage(address.toString(QUrl::FullyEncoded).toStdString());
}

void TFormHarbex::ConnectHelpCommands()
{
    const auto open = [this](QAction* action, std::function<std::string()> page)
    {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, [this, page = std::move(page)] { ShowHelp(page()); });
    };
    open(m_actions.miHelpContents, [this] { return HelpPageFor(this); });
    open(m_actions.miOnlineHelp, [] { return std::string(kHelpIndex); });
    open(m_actions.miHarbexTour, [] { return std::string("getting-started.html"); });

    // The news and home pages lie under the "Home Page Address" setting: shown while
    // it names an address (read again each time the Help menu opens), hidden while
    // it is empty, since the program has no address of its own to offer.
    const auto openVendorPage = [this](QAction* action, std::string_view page)
    {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this,
                [this, page]
                {
                    const std::string address = AddressUnderHomePage(m_app.HomePageAddress(), page);
                    if (!address.empty())
                        m_pages.OpenPage(address);
                });
    };
    openVendorPage(m_actions.miHarbexNews, kNewsPage);
    openVendorPage(m_actions.miVendorHome, {});
    ShowHomePageCommands();
    if (auto* help = menuBar()->findChild<QMenu*>(QStringLiteral("mnuHelp")))
        connect(help, &QMenu::aboutToShow, this, &TFormHarbex::ShowHomePageCommands);

    btnHelp->setEnabled(true);
    connect(btnHelp, &QToolButton::clicked, this, [this] { ShowHelp(HelpPageFor(this)); });
    qApp->installEventFilter(new THelpKeyFilter(*this));
}

void TFormHarbex::ShowHomePageCommands()
{
    const bool known = !m_app.HomePageAddress().empty();
    m_actions.miHarbexNews->setVisible(known);
    m_actions.miVendorHome->setVisible(known);
}

} // namespace hx
