#include "app/HXScreenshots.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTabWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QToolButton>
#include <QTreeView>

#include <functional>
#include <memory>

#include "app/HXCliDemoServer.h"
#include "core/HXApp.h"
#include "core/HXTask.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"
#include "monitor/ui/HXPreferences.h"
#include "monitor/ui/HXStatus.h"
#include "schedule/HXSchedule.h"
#include "schedule/ui/HXdlgEditProfile.h"
#include "schedule/ui/HXdlgEditTask.h"
#include "schedule/ui/HXdlgRunTask.h"
#include "schedule/ui/HXdlgSchedule.h"
#include "archive/ui/HXFormExtract.h"
#include "shell/ui/HXBrowser.h"
#include "shell/ui/HXHome.h"
#include "archive/ui/HXwizFileZip.h"
#include "core/HXFiles.h"
#include "shell/ui/HXExplore.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXQtSession.h"
#include "shell/ui/HXZipTreeModel.h"
#include "shell/ui/HXdlgAutoHarbex.h"
#include "shell/ui/HXdlgSelectSkin.h"

namespace hx
{

namespace
{

// Serves the window's events until `done` says so or `limit` has passed.
bool WaitFor(const std::function<bool()>& done, int limitMilliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done())
    {
        if (clock.elapsed() > limitMilliseconds)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

void Settle(int milliseconds)
{
    WaitFor([] { return false; }, milliseconds);
}

// The text between <title> and </title> of a saved page, empty when none.
std::string PageTitle(const std::string& path)
{
    const std::string text = ReadWholeFile(path).value_or("");
    const std::string lower = LowerCase(text);
    const std::size_t open = lower.find("<title>");
    const std::size_t close = lower.find("</title>", open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    return text.substr(open + 7, close - open - 7);
}

// An archive of a copied folder, each page with its title as comment, as a Zip
// task makes it.
std::string ArchiveOfFolder(const std::string& folder, const std::string& archive)
{
    TXceedZip zip;
    zip.ZipFileName = archive;
    zip.BaseFolder = folder;
    zip.Recurse = true;
    zip.FilesToProcess = {folder};
    zip.OnFileComment = [](const std::string& file, std::string& comment) { comment = PageTitle(file); };
    zip.Add();
    return archive;
}

} // namespace

int TakeScreenshots(const QString& folder)
{
    QTextStream err(stderr);
    if (!QDir().mkpath(folder))
    {
        err << "harbex: cannot create " << folder << "\n";
        return 1;
    }
    QTemporaryDir home;
    if (!home.isValid())
    {
        err << "harbex: no temporary folder\n";
        return 1;
    }
    THXApp app(THXEnvironment::UnderHome(home.path().toStdString()));
    const std::string site = app.Environment().dataFolder + "/sample-site";
    if (app.Environment().dataFolder.empty())
    {
        err << "harbex: the installed data folder was not found\n";
        return 1;
    }
    // A slow server keeps the connections busy while the pictures are taken.
    cli::THXDemoServer server(site, std::chrono::milliseconds(400));

    TSessionSetup setup;
    // The one-second cadence keeps the copy going long enough to be seen.
    setup.Pacing = TRunPacing::Classic();
    THXQtSession session(app, setup);
    TMainOptions options;
    options.Launch = [](const TLaunchRequest&) { return true; };
    auto window = std::make_unique<TFormHarbex>(session, options);
    window->show();
    WaitFor([&] { return window->FirstActivationDone(); }, 5000);
    window->resize(1000, 700);
    Settle(300);

    int failures = 0;
    const auto save = [&](QWidget& widget, const QString& name)
    {
        const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
        if (!widget.grab().save(path))
        {
            err << "harbex: cannot write " << path << "\n";
            ++failures;
        }
    };
    // The Home view comes first when the embedded browser is there.
    if (TFormBrowseHome* home = window->HomePane())
    {
        bool loaded = false;
        QObject::connect(home, &TFormBrowseHome::PageLoaded, [&loaded] { loaded = true; });
        WaitFor([&] { return loaded; }, 20000);
        Settle(500);
        save(*window, QStringLiteral("main-home"));
        window->ShowView(TView::Tasks);
        Settle(200);
    }
    save(*window, QStringLiteral("main-tasks-empty"));

    window->cmbURL->setEditText(QString::fromStdString(server.URL("/index.html")));
    window->btnIntranetMode->click();
    window->btnGO->click();
    const bool midCrawl = WaitFor(
        [&]
        {
            const auto& task = app.CurrentTask;
            return task && task->PagesSaved >= 2 && task->ElapsedTime * 86400.0 >= 4.0;
        },
        30000);
    if (!midCrawl)
    {
        err << "harbex: the copy did not get going\n";
        ++failures;
    }
    Settle(200);
    save(*window, QStringLiteral("main-tasks-running"));
    save(window->StatusWindow(), QStringLiteral("status-running"));
    window->ShowView(TView::Connections);
    Settle(200);
    save(*window, QStringLiteral("main-connections-running"));
    WaitFor([&] { return !window->Runner().RunningTask(); }, 60000);
    Settle(300);
    save(*window, QStringLiteral("main-connections-done"));
    window->ShowView(TView::Tasks);
    Settle(200);
    save(*window, QStringLiteral("main-tasks-done"));
    // The explore view with the finished copy's queue, as the Explore command shows it.
    if (app.CurrentTask)
    {
        window->ExploreWindow().SetTask(app.CurrentTask);
        window->ShowView(TView::Explore);
        Settle(300);
        save(*window, QStringLiteral("main-explore"));
        window->ShowView(TView::Tasks);
        Settle(100);
    }

    // The task's dialogs: every screen of the task editor, the schedule dialog and
    // the run task dialog (the copy has a queue, so the dialog has figures).
    if (const std::shared_ptr<THXTask> task = app.CurrentTask)
    {
        TdlgEditTask editor(window.get(), app, *task, TEditTaskMode::Edit);
        editor.show();
        Settle(200);
        for (int screen = 0; screen < editor.lbScreens->count(); ++screen)
        {
            editor.lbScreens->setCurrentRow(screen);
            Settle(100);
            save(editor, QStringLiteral("editor-%1").arg(screen + 1));
        }
        editor.reject();
        TSystemClock clock;
        TdlgSchedule schedule(clock, window.get());
        schedule.show();
        Settle(200);
        save(schedule, QStringLiteral("dialog-schedule"));
        schedule.reject();
        TdlgEditProfile profiles(window.get(), app);
        profiles.show();
        Settle(200);
        save(profiles, QStringLiteral("dialog-profiles-editor"));
        profiles.reject();
        TdlgRunTask run(*task, window.get());
        run.show();
        Settle(200);
        save(run, QStringLiteral("dialog-run-task"));
        run.reject();
    }

    // The archive views: the Zips tree with the contents list, the Pages tree, every
    // page of the File Zip Wizard and the unzip dialog.
    if (const std::shared_ptr<THXTask> task = app.CurrentTask)
    {
        const std::string archive = ArchiveOfFolder(task->Destination, app.GetDownloadsFolder() + "Sample Site.zip");
        TZipPane& pane = window->ZipPane();
        if (TZipArchive* opened = pane.OpenZip(archive))
        {
            pane.tvZip->expandAll();
            Settle(200);
            save(*window, QStringLiteral("main-zip-properties"));
            if (!opened->Root().Children.empty())
            {
                pane.Select(*opened->Root().Children.front());
                Settle(200);
                save(*window, QStringLiteral("main-zip-folder"));
            }
            window->tabsLeft->setCurrentIndex(1);
            Settle(200);
            save(*window, QStringLiteral("main-zip-pages"));
            // The Browse view on the first page of the Pages tree.
            if (EmbeddedBrowserAvailable() && pane.PagesModel().rowCount() > 0)
            {
                pane.tvPages->setFocus();
                pane.tvPages->setCurrentIndex(pane.PagesModel().index(0));
                window->ShowView(TView::Browse);
                TFormBrowser* browser = window->BrowserPane();
                WaitFor([&] { return browser && !browser->CurrentAddress().empty() && !browser->Loading(); }, 20000);
                Settle(800);
                save(*window, QStringLiteral("main-browse"));
            }
            window->tabsLeft->setCurrentIndex(0);
            pane.Select(opened->Root());
        }
        TwizFileZip wizard(app, archive, {task->Destination + "index.html", task->Destination}, window.get());
        wizard.show();
        Settle(200);
        for (int page = 1; page <= 3; ++page)
        {
            save(wizard, QStringLiteral("dialog-file-zip-%1").arg(page));
            if (page < 3)
                wizard.btnNext->click();
            Settle(150);
        }
        wizard.reject();
        TFormExtract unzip(app, window.get());
        unzip.SetAllFiles(true);
        unzip.show();
        Settle(300);
        save(unzip, QStringLiteral("dialog-unzip"));
        unzip.reject();
    }
    // The auto-download dialog with an address too long for its header.
    {
        TdlgAutoHarbex autoHarbex(server.URL("/articles/2024/archive/collections/photography/landscapes/index.html"),
                                  TdlgAutoHarbex::ProfileNames(app.ProfilesFolder()), window.get());
        autoHarbex.show();
        Settle(200);
        save(autoHarbex, QStringLiteral("dialog-auto-harbex"));
        autoHarbex.reject();
    }
    // The skin dialog with the skins of the program folder.
    {
        TdlgSelectSkin selectSkin(
            app, [&window] { window->ApplySkin(); }, {}, window.get());
        selectSkin.show();
        Settle(200);
        save(selectSkin, QStringLiteral("dialog-select-skin"));
        selectSkin.accept();
    }
    // Every page of the preferences.
    {
        TPreferencesOptions preferencesOptions;
        preferencesOptions.DetectProxy = [] { return std::string(); };
        TdlgOptions preferences(app, window.get(), preferencesOptions);
        preferences.show();
        Settle(200);
        const char* pageNames[] = {"general", "zip-folders", "connection", "network", "personal-intranet", "browser"};
        for (int page = 0; page < preferences.pcOptions->count(); ++page)
        {
            preferences.pcOptions->setCurrentIndex(page);
            Settle(100);
            save(preferences, QStringLiteral("dialog-preferences-") + QLatin1String(pageNames[page]));
        }
        preferences.reject();
    }
    window->SetSplitStacked(true);
    window->close();
    window.reset();
    return failures == 0 ? 0 : 1;
}

} // namespace hx
