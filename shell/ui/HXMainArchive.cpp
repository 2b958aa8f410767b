// The main window's archive side: the Zip commands of the menus and buttons, the
// Zips tree's right-click menu, the recent-archive list, and the window steps the
// archive pane and the zip feed ask for (status line, message boxes, the Zip
// Properties view, programs of the desktop).

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>

#include "archive/XcdZipD4.h"
#include "archive/ui/HXFormZip.h"
#include "core/HXApp.h"
#include "core/HXTask.h"
#include "core/ui/HXDesktopApps.h"
#include "monitor/ui/HXStatus.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXViewLink.h"

namespace hx
{

namespace
{

// "1/22/1999": the program's short date, month and day without leading zeros.
QString ShortDate(const QDate& day)
{
    return QStringLiteral("%1/%2/%3").arg(day.month()).arg(day.day()).arg(day.year());
}

} // namespace

// ---- The zip feed's window steps ----

void TFormHarbex::ReportZipResult(int code, std::string_view operationWord)
{
    const TXcdResultText result = XcdResultText(code, operationWord);
    if (result.Message.empty() || m_closing)
        return;
    const QString text = QString::fromStdString(result.Message);
    if (result.Failed)
        QMessageBox::critical(this, windowTitle(), text);
    else
        QMessageBox::information(this, windowTitle(), text);
}

void TFormHarbex::OpenZip(THXTask& task)
{
    // A run started from the Tasks view leaves the person there. The run's files
    // lie in the temporary folder already: browsing the archive during the run
    // does not unpack it.
    if (TZipArchive* archive = m_zipPane->OpenZip(task.Destination, true))
        archive->ExtractedForBrowsing = true;
}

void TFormHarbex::ZipEntryAdded(THXTask& task, const std::string& entryName, const std::string& title)
{
    m_zipPane->AddEntryNode(task.Destination, entryName, title);
}

void TFormHarbex::ZipRenamed(THXTask& task, const std::string& oldPath, const std::string& newPath)
{
    (void)task;
    m_zipPane->ArchiveRenamed(oldPath, newPath);
    m_recentFiles = m_app.LoadRecentList(kRecentZipFilesKey, m_app.MaxFileHistory());
    RebuildReopenMenu();
}

// ---- TZipPaneHost ----

void TFormHarbex::ZipStatus(const std::string& text, std::int64_t position, std::int64_t maximum)
{
    if (m_status)
        m_status->ShowStatus(text, position, maximum);
}

void TFormHarbex::ShowZipProperties(bool unlessTasks)
{
    if (unlessTasks && m_view == TView::Tasks)
        return;
    if (m_view != TView::ZipProperties)
        ShowView(TView::ZipProperties);
}

int TFormHarbex::ZipResult(int code, std::string_view operationWord)
{
    const TXcdResultText result = XcdResultText(code, operationWord);
    ReportZipResult(code, operationWord);
    if (code <= 0)
        return 0;
    return result.Failed ? 2 : 1;
}

void TFormHarbex::ZipError(const std::string& message)
{
    ShowError(message);
}

void TFormHarbex::RememberZipFile(const std::string& path)
{
    m_recentFiles.erase(std::remove(m_recentFiles.begin(), m_recentFiles.end(), path), m_recentFiles.end());
    m_recentFiles.insert(m_recentFiles.begin(), path);
    m_app.SaveRecentList(kRecentZipFilesKey, m_recentFiles, m_app.MaxFileHistory());
    m_recentFiles = m_app.LoadRecentList(kRecentZipFilesKey, m_app.MaxFileHistory());
    RebuildReopenMenu();
}

void TFormHarbex::ForgetZipFile(const std::string& path)
{
    m_recentFiles.erase(std::remove(m_recentFiles.begin(), m_recentFiles.end(), path), m_recentFiles.end());
    m_app.SaveRecentList(kRecentZipFilesKey, m_recentFiles, m_app.MaxFileHistory());
    RebuildReopenMenu();
}

void TFormHarbex::OpenWithDesktop(const std::string& target)
{
    m_pages.OpenWithDesktop(target);
}

bool TFormHarbex::StartProgram(const std::string& program, const std::string& argument)
{
    return m_pages.OpenWith(program, argument);
}

void TFormHarbex::OpenWithTextEditor(const std::string& file)
{
    const QStringList command = DefaultApplicationCommand(QStringLiteral("text/plain"), QString::fromStdString(file));
    if (command.isEmpty())
    {
        ZipError("No text editor is installed.");
        return;
    }
    const QStringList arguments = command.mid(1);
    // A plugged-in launcher takes one argument: the editor's arguments as one text.
    if (m_options.Launch)
        m_options.Launch({command.front().toStdString(), arguments.join(QLatin1Char(' ')).toStdString()});
    else if (!QProcess::startDetached(command.front(), arguments))
        ZipError("Unable to start " + command.front().toStdString());
}

void TFormHarbex::ZipCommandsChanged()
{
    // The add-to-selected toggle: only while an archive node is selected.
    const bool selected = m_zipPane && m_zipPane->SelectedNode();
    btnAddToSelectedZip->setEnabled(selected);
    if (!selected)
        btnAddToSelectedZip->setChecked(false);
    UpdateZipMenus();
}

void TFormHarbex::ZipFileMoved(const std::string& oldPath, const std::string& newPath)
{
    Scheduler().MoveArchiveDestination(oldPath, newPath);
    if (m_schedulerWindow)
        m_schedulerWindow->UpdateCommands();
}

// ---- Commands ----

void TFormHarbex::ConnectZipCommands()
{
    const auto on = [this](QAction* action, auto&& slot)
    {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, std::forward<decltype(slot)>(slot));
    };
    const THXMainActions& a = m_actions;
    for (QAction* action : {a.miFileNewFileZip, a.miZipNewFileZip, a.pmiNewFileZip})
        on(action, [this] { m_zipPane->FileZip(); });
    on(a.miZipAdd, [this] { m_zipPane->FileZip({}, true); });
    for (QAction* action : {a.miFileOpen, a.miZipOpen})
        on(action, [this] { m_zipPane->OpenDialog(); });
    for (QAction* action : {a.miFileClose, a.miZipClose})
        on(action, [this] { m_zipPane->CloseSelected(); });
    on(a.miZipDelete, [this] { m_zipPane->DeleteSelected(); });
    on(a.miZipUnzip, [this] { m_zipPane->UnzipSelected(); });
    on(a.miZipRename, [this] { m_zipPane->RenameSelected(); });
    on(a.miZipSend, [this] { m_zipPane->Send(); });
    on(a.miZipBrowseIE, [this] { m_zipPane->Browse(TZipBrowser::InternetExplorer); });
    on(a.miZipBrowseNetscape, [this] { m_zipPane->Browse(TZipBrowser::NetscapeNavigator); });
    on(a.miZipBrowseNotepad, [this] { m_zipPane->Browse(TZipBrowser::TextEditor); });
    // The Del key of the menu would take the key from every other box: the Zips
    // tree handles its own Del, the contents list gets it here.
    a.miZipDelete->setShortcutContext(Qt::WidgetShortcut);

    // The day's archive: its caption is set each time its menu opens.
    for (QMenu* special : findChildren<QMenu*>(QStringLiteral("miSpecial")))
    {
        special->setEnabled(true);
        QAction* today = special->addAction(QString());
        today->setObjectName("miSpecialToday");
        connect(special, &QMenu::aboutToShow, this,
                [today] { today->setText(tr("New - My Harbex's for ") + ShortDate(QDate::currentDate())); });
        connect(today, &QAction::triggered, this,
                [this]
                {
                    m_zipPane->OpenSpecial(QDate::currentDate());
                    if (btnAddToSelectedZip->isEnabled())
                        btnAddToSelectedZip->setChecked(true);
                });
    }

    // Open, Downloads (click: the folder; menu: its archives) and View › Downloads Folder.
    btnOpen->setEnabled(true);
    connect(btnOpen, &QToolButton::clicked, this, [this] { m_zipPane->OpenDialog(); });
    btnDownloads->setEnabled(true);
    connect(btnDownloads, &QToolButton::clicked, this, [this] { m_zipPane->OpenDownloadsFolder(); });
    QMenu* downloadsMenu = btnDownloads->menu();
    connect(downloadsMenu, &QMenu::aboutToShow, this,
            [this, downloadsMenu] { m_zipPane->FillDownloadsMenu(downloadsMenu); });
    if (QMenu* folderMenu = findChild<QMenu*>(QStringLiteral("miDownloadsFolder")))
    {
        folderMenu->setEnabled(true);
        connect(folderMenu, &QMenu::aboutToShow, this,
                [this, folderMenu] { m_zipPane->FillDownloadsMenu(folderMenu); });
    }
    RebuildReopenMenu();

    // The Zips tree's right-click menu repeats the Zip menu.
    QMenu* zipMenu = findChild<QMenu*>(QStringLiteral("mnuZip"));
    connect(m_zipPane->tvZip, &QWidget::customContextMenuRequested, this,
            [this, zipMenu](const QPoint& at)
            {
                UpdateZipMenus();
                zipMenu->popup(m_zipPane->tvZip->viewport()->mapToGlobal(at));
            });
    for (const char* name : {"mnuFile", "mnuEdit", "mnuView", "mnuZip", "mnuTask", "mnuHelp"})
        if (QMenu* menu = findChild<QMenu*>(QString::fromLatin1(name)))
            connect(menu, &QMenu::aboutToShow, this, &TFormHarbex::UpdateZipMenus);
    connect(m_zipPane, &TZipPane::SelectionMoved, this, &TFormHarbex::UpdateZipMenus);
    ZipCommandsChanged();
}

void TFormHarbex::RebuildReopenMenu()
{
    QMenu* reopen = findChild<QMenu*>(QStringLiteral("miFileReopen"));
    if (!reopen)
        return;
    reopen->clear();
    for (const std::string& archive : m_recentFiles)
        connect(reopen->addAction(QString::fromStdString(archive)), &QAction::triggered, this,
                [this, archive] { m_zipPane->OpenRecent(archive); });
    reopen->setEnabled(!m_recentFiles.empty());
}

void TFormHarbex::UpdateZipMenus()
{
    const bool apply = m_zipPane && m_zipPane->CommandsApply();
    const THXMainActions& a = m_actions;
    for (QAction* action :
         {a.miFileClose, a.miZipClose, a.miZipAdd, a.miZipDelete, a.miZipUnzip, a.miZipRename, a.miZipSend})
        action->setEnabled(apply);
    if (QMenu* browse = findChild<QMenu*>(QStringLiteral("miZipBrowse")))
        browse->setEnabled(apply);
    // Sending needs the desktop's mail program.
    a.miZipSend->setEnabled(apply && !TZipPane::MailProgram().empty());
}

} // namespace hx
