// The main window's side of the browser and home panes: the Browse and Home pages,
// the browse-selection step that makes the browser follow the Zips, Pages and
// Personal Intranet trees, the home pane made and released with the Home view, and
// the "Integrated Browser" commands of the Task menu and the Tasks view. Without
// the embedded browser the Browse page explains why and offers the desktop's
// browser, and Home hands the home page to it.

#include "shell/ui/HXMain.h"

#include <utility>

#include <QAction>
#include <QApplication>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QListView>
#include <QMenu>
#include <QPalette>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/HXApp.h"
#include "core/HXPaths.h"
#include "monitor/ui/HXStatus.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/HXZipTree.h"
#include "shell/ui/HXBrowser.h"
#include "shell/ui/HXHome.h"
#include "core/ui/HXSkinLook.h"
#include "shell/ui/HXZipTreeModel.h"

namespace hx
{

namespace
{

// The left pane's Personal Intranet tab (after the Zips and Pages tabs).
constexpr int kIntranetTab = 2;
// The pattern of a root or folder node names every file in it.
constexpr std::string_view kAllFiles = "*.*";

} // namespace

std::string TFormHarbex::HomePageAddress() const
{
    const std::string& data = m_app.Environment().dataFolder;
    return (data.empty() ? m_app.Environment().programFolder : data) + "help/index.html";
}

QWidget* TFormHarbex::CreateBrowsePage(QWidget* parent)
{
    m_browsePage = new QWidget(parent);
    m_browsePage->setObjectName("pgBrowse");
    auto* layout = new QVBoxLayout(m_browsePage);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!EmbeddedBrowserAvailable())
    {
        // The page the view would show, in the desktop's browser.
        m_browserMissing = new TBrowserMissingPage(m_browsePage);
        connect(m_browserMissing, &TBrowserMissingPage::OpenClicked, this,
                [this]
                {
                    const std::string target = BrowseSelectionTarget();
                    if (!target.empty())
                        OpenPage(target);
                });
        layout->addWidget(m_browserMissing);
    }
    return m_browsePage;
}

QWidget* TFormHarbex::CreateHomePage(QWidget* parent)
{
    m_homePage = new QWidget(parent);
    m_homePage->setObjectName("pgHome");
    auto* layout = new QVBoxLayout(m_homePage);
    layout->setContentsMargins(0, 0, 0, 0);
    return m_homePage;
}

void TFormHarbex::ConnectBrowseCommands()
{
    const bool embedded = EmbeddedBrowserAvailable();
    m_schedulerWindow->BrowseIntegrated = [this](const std::string& address) { BrowseIntegrated(address); };
    m_schedulerWindow->ShowInIntranet = [this](const std::string& file) { ShowInIntranet(file); };
    // The Task menu's Browse items do what the Tasks view's do; a browser program
    // that was not found leaves its items disabled there and here.
    for (const auto& [where, items] :
         {std::pair{"Offline", m_actions.miTaskBrowseOffline}, std::pair{"Online", m_actions.miTaskBrowseOnline}})
        for (const auto& [browser, item] : {std::pair{"IE", items.IE}, std::pair{"Netscape", items.Netscape},
                                            std::pair{"Integrated", items.Integrated}})
        {
            const QString suffix = QString::fromLatin1(where) + QString::fromLatin1(browser);
            QAction* viewItem = m_schedulerWindow->Action(QStringLiteral("pmiBrowse") + suffix);
            if (!item || !viewItem)
                continue;
            if (!embedded && QString::fromLatin1(browser) == QStringLiteral("Integrated"))
                for (QAction* integrated : {item, viewItem})
                    integrated->setText(tr("Integrated &Browser (default browser)"));
            item->setEnabled(viewItem->isEnabled());
            connect(item, &QAction::triggered, viewItem, &QAction::trigger);
        }

    // The browser follows the trees while the Browse view is shown.
    const auto follow = [this]
    {
        if (m_view == TView::Browse)
            BrowseSelection();
    };
    connect(m_zipPane->tvZip->selectionModel(), &QItemSelectionModel::currentChanged, this, follow);
    connect(m_zipPane->tvPages->selectionModel(), &QItemSelectionModel::currentChanged, this, follow);
    connect(tvIntranet->selectionModel(), &QItemSelectionModel::currentChanged, this, follow);
    // The Personal Intranet tab shows the Browse view with the tree focused and
    // rooted at the Personal Intranet folder in force.
    connect(tabsLeft, &QTabWidget::currentChanged, this,
            [this](int tab)
            {
                if (tab != kIntranetTab)
                    return;
                RefreshIntranetTree();
                tvIntranet->setFocus();
                ShowView(TView::Browse);
            });
}

std::string TFormHarbex::BrowseSelectionTarget()
{
    if (tabsLeft->currentIndex() == kIntranetTab)
    {
        // The selected folder or file of the Personal Intranet tree, else the
        // Personal Intranet folder itself.
        const std::string path = SelectedIntranetPath();
        return path.empty() ? m_app.GetIntranetFolder() : path;
    }
    if (TZipArchive* archive = m_zipPane->SelectedArchive())
    {
        if (!m_zipPane->ExtractZipToTemp(*archive))
            return {};
        const std::string folder = m_app.GetTempFolder();
        // The window's focused child, also while another window is active.
        QWidget* focus = focusWidget();
        if (focus == m_zipPane->tvZip)
        {
            const TZipTreeNode* node = m_zipPane->SelectedNode();
            if (!node)
                return {};
            // A root or a folder: the unpacked folder (the browser lists it).
            std::string pattern = node->Pattern();
            if (pattern.ends_with(kAllFiles))
                pattern.resize(pattern.size() - kAllFiles.size());
            return folder + pattern;
        }
        if (focus == m_zipPane->tvPages)
        {
            const QModelIndex page = m_zipPane->tvPages->currentIndex();
            const std::string stored = page.isValid() ? m_zipPane->PagesModel().StoredName(page) : std::string();
            return stored.empty() ? std::string() : folder + stored;
        }
        return {};
    }
    return m_app.GetDownloadsFolder();
}

void TFormHarbex::BrowseSelection()
{
    if (!EmbeddedBrowserAvailable())
        return;
    if (!m_browser)
    {
        m_browser =
            new TFormBrowser([this](const std::string& text) { ShowStatus(text); }, HomePageAddress(), m_browsePage);
        // The pane in the fourth colour of the scheme, as the main area around it.
        QPalette palette = m_browser->palette();
        palette.setColor(QPalette::Window, SchemeColor(m_app, 3));
        m_browser->setPalette(palette);
        m_browser->setAutoFillBackground(true);
        m_browsePage->layout()->addWidget(m_browser);
        m_browser->show();
    }
    const std::string target = m_browseAddress.empty() ? BrowseSelectionTarget() : std::exchange(m_browseAddress, {});
    if (!target.empty())
        m_browser->Navigate(target);
}

void TFormHarbex::BrowseIntegrated(const std::string& address)
{
    if (!EmbeddedBrowserAvailable())
    {
        OpenPage(address);
        return;
    }
    m_browseAddress = address;
    ShowView(TView::Browse);
}

void TFormHarbex::ShowInIntranet(const std::string& file)
{
    // The Personal Intranet tab shows the Browse view with its tree rooted at the
    // Personal Intranet folder; then the tree's selection moves to the file, which
    // the browser follows.
    tabsLeft->show();
    if (tabsLeft->currentIndex() == kIntranetTab)
    {
        RefreshIntranetTree();
        tvIntranet->setFocus();
        ShowView(TView::Browse);
    }
    else
    {
        tabsLeft->setCurrentIndex(kIntranetTab);
    }
    const QModelIndex index = m_intranetModel->index(QString::fromStdString(file));
    if (index.isValid())
    {
        tvIntranet->scrollTo(index);
        tvIntranet->setCurrentIndex(index);
    }
    // Without the embedded browser the desktop's browser shows the page.
    if (!EmbeddedBrowserAvailable())
        m_pages.OpenPage(file);
}

void TFormHarbex::ShowHomePane()
{
    if (!EmbeddedBrowserAvailable())
    {
        OpenPage(HomePageAddress());
        return;
    }
    m_home = new TFormBrowseHome([this](const std::string& text) { ShowStatus(text); }, m_homePage);
    m_homePage->layout()->addWidget(m_home);
    m_home->show();
    m_home->Open(HomePageAddress());
}

void TFormHarbex::ReleaseHomePane()
{
    if (!m_home)
        return;
    // Released with its browser; it may be inside one of its own signals now.
    m_home->hide();
    m_home->deleteLater();
    m_home = nullptr;
}

} // namespace hx
