// The preferences dialog driven as a person would: fields typed into, boxes
// ticked, OK and Cancel clicked, questions answered; every value is then read back
// from the settings file by a new settings object.

#include "HXPreferencesTest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

#include "HXMonitorTestSupport.h"
#include "core/HXApp.h"
#include "monitor/ui/HXPreferences.h"
#include "shell/ui/HXMain.h"
#include "shell/ui/HXQtSession.h"
#include "support/ui/HXBoxAnswer.h"
#include "schedule/ui/HXDialogDriver.h"

namespace hx
{

namespace
{

// Replaces a field's text the way a person does: select all, type.
void Retype(QWidget* field, const QString& text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    if (!text.isEmpty())
        QTest::keyClicks(field, text);
}

void Click(QAbstractButton* button)
{
    test::ClickMark(button);
}

// A second settings object over the same files: what a new start would read.
std::unique_ptr<THXApp> Reread(test::TSandboxApp& sandbox)
{
    return std::make_unique<THXApp>(THXEnvironment::UnderHome(sandbox.Home.Path().string()));
}

std::string Folder(test::TSandboxApp& sandbox, const std::string& name)
{
    return sandbox.Home.Path().string() + "/" + name + "/";
}

TPreferencesOptions NoProxy()
{
    TPreferencesOptions options;
    options.DetectProxy = [] { return std::string(); };
    return options;
}

} // namespace

void HXPreferencesTest::StoredValuesAreShown()
{
    test::TSandboxApp sandbox;
    THXSettingsStore& store = sandbox.App.Store();
    store.WriteBool(kSettingsKey, "Zip Last", true);
    store.WriteBool(kSettingsKey, "Last Zip Folder", false);
    store.WriteString(kSettingsKey, "Zip Folder", "/zips/here/");
    store.WriteBool(kSettingsKey, "Last Unzip Folder", true);
    store.WriteString(kSettingsKey, "Unzip Folder", "/unzips/");
    sandbox.App.SetUseProxy(true);
    sandbox.App.SetProxyAddress("cache.local");
    sandbox.App.SetProxyPort("3128");
    sandbox.App.SetProxyAuthorization("me:pa:ss");
    sandbox.App.SetUserAgentChoice("Anonymous");
    sandbox.App.SetMaxURLHistory(7);
    sandbox.App.SetMaxFileHistory(3);
    sandbox.App.SetCheckCertificates(false);
    sandbox.App.SetCAFile("/etc/extra.pem");
    sandbox.App.SetNoAds(true);
    sandbox.App.SetBeepOnCompletion(false);

    TdlgOptions dialog(sandbox.App, nullptr, NoProxy());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Harbex - Preferences"));
    QCOMPARE(dialog.pcOptions->count(), 6);
    QVERIFY(dialog.cbZipLast->isChecked());
    QVERIFY(!dialog.cbZipPropertiesFirst->isChecked());
    QVERIFY(dialog.cbNoAds->isChecked());
    QVERIFY(!dialog.cbBeep->isChecked());
    // "Last Zip Folder" off: "Folder" is chosen, with the stored folder; loading the
    // field did not switch the unzip group.
    QVERIFY(dialog.rbZipFolder->isChecked());
    QCOMPARE(dialog.edZipFolder->text(), QStringLiteral("/zips/here/"));
    QVERIFY(dialog.rbLastUnzipFolder->isChecked());
    QCOMPARE(dialog.edUnzipFolder->text(), QStringLiteral("/unzips/"));
    QVERIFY(dialog.cbUseProxy->isChecked());
    QVERIFY(dialog.edProxyAddress->isEnabled());
    QCOMPARE(dialog.edProxyAddress->text(), QStringLiteral("cache.local"));
    QCOMPARE(dialog.edProxyPort->text(), QStringLiteral("3128"));
    QCOMPARE(dialog.edProxyUser->text(), QStringLiteral("me"));
    QCOMPARE(dialog.edProxyPassword->text(), QStringLiteral("pa:ss"));
    QCOMPARE(dialog.edProxyPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.cmbAgent->currentText(), QStringLiteral("Anonymous"));
    QCOMPARE(dialog.cmbAgent->itemText(0), QStringLiteral("Harbex"));
    QCOMPARE(dialog.edMaxURLs->value(), 7);
    QCOMPARE(dialog.edMaxFiles->value(), 3);
    QVERIFY(!dialog.cbCheckCertificates->isChecked());
    QCOMPARE(dialog.edCAFile->text(), QStringLiteral("/etc/extra.pem"));
    QCOMPARE(dialog.edTempFolder->text(), QString::fromStdString(sandbox.App.GetTempFolder()));
    QCOMPARE(dialog.edDownloadsFolder->text(), QString::fromStdString(sandbox.App.GetDownloadsFolder()));
    QCOMPARE(dialog.edIntranetFolder->text(), QString::fromStdString(sandbox.App.GetIntranetFolder()));

    // Unticking the proxy box disables the address and port.
    dialog.show();
    dialog.ShowPage(TPreferencesPage::Connection);
    Click(dialog.cbUseProxy);
    QVERIFY(!dialog.edProxyAddress->isEnabled());
    QVERIFY(!dialog.edProxyPort->isEnabled());
    QVERIFY(dialog.edProxyUser->isEnabled());
    dialog.reject();
}

void HXPreferencesTest::EveryEditedSettingIsStoredByOK()
{
    test::TSandboxApp sandbox;
    sandbox.App.SetMaxFileHistory(4);
    TdlgOptions dialog(sandbox.App, nullptr, NoProxy());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    dialog.ShowPage(TPreferencesPage::General);
    Retype(dialog.edMaxURLs, QStringLiteral("5"));
    // Left empty (it showed 4): the file history falls back to 10.
    Retype(dialog.edMaxFiles, QString());
    Click(dialog.cbZipLast);
    Click(dialog.cbNoAds);
    Click(dialog.cbZipPropertiesFirst);
    Click(dialog.cbBeep);
    Retype(dialog.edTempFolder, QString::fromStdString(Folder(sandbox, "scratch")));

    dialog.ShowPage(TPreferencesPage::ZipFolders);
    Retype(dialog.edDownloadsFolder, QString::fromStdString(Folder(sandbox, "loads")));
    // Typing a folder chooses the "Folder" option.
    QVERIFY(dialog.rbLastZipFolder->isChecked());
    Retype(dialog.edZipFolder, QStringLiteral("/archives/"));
    QVERIFY(dialog.rbZipFolder->isChecked());
    Retype(dialog.edUnzipFolder, QStringLiteral("/unpacked/"));
    QVERIFY(dialog.rbUnzipFolder->isChecked());

    dialog.ShowPage(TPreferencesPage::Connection);
    Click(dialog.cbUseProxy);
    Retype(dialog.edProxyAddress, QStringLiteral(" http://cache.local "));
    Retype(dialog.edProxyPort, QStringLiteral(" 3128 "));
    // A user name without a password stores no credentials.
    Retype(dialog.edProxyUser, QStringLiteral("me"));
    Retype(dialog.cmbAgent->lineEdit(), QStringLiteral("Internet Explorer 4.01"));

    dialog.ShowPage(TPreferencesPage::Network);
    Click(dialog.cbCheckCertificates);
    Retype(dialog.edCAFile, QStringLiteral("/etc/harbex/extra.pem"));
    QCOMPARE(dialog.edConnectTimeOut->value(), 30);
    Retype(dialog.edConnectTimeOut, QStringLiteral("12"));

    dialog.ShowPage(TPreferencesPage::PersonalIntranet);
    Retype(dialog.edIntranetFolder, QString::fromStdString(Folder(sandbox, "web")));

    dialog.ShowPage(TPreferencesPage::Browser);
    Retype(dialog.cmbBrowser->lineEdit(), QStringLiteral("/bin/sh"));

    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const std::unique_ptr<THXApp> again = Reread(sandbox);
    THXSettingsStore& store = again->Store();
    QCOMPARE(again->MaxURLHistory(), 5);
    QCOMPARE(again->MaxFileHistory(), 10);
    QVERIFY(store.ReadBool(kSettingsKey, "Zip Last", false));
    QVERIFY(again->NoAds());
    QVERIFY(again->ZipPropertiesFirst());
    QVERIFY(!again->BeepOnCompletion());
    // The temporary folder gets its Harbex sub-folder, the others only their slash.
    QCOMPARE(again->GetTempFolder(), Folder(sandbox, "scratch") + "Harbex/");
    QCOMPARE(again->GetDownloadsFolder(), Folder(sandbox, "loads"));
    QCOMPARE(again->GetIntranetFolder(), Folder(sandbox, "web"));
    QVERIFY(!store.ReadBool(kSettingsKey, "Last Zip Folder", true));
    QCOMPARE(store.ReadString(kSettingsKey, "Zip Folder", ""), std::string("/archives/"));
    QVERIFY(!store.ReadBool(kSettingsKey, "Last Unzip Folder", true));
    QCOMPARE(store.ReadString(kSettingsKey, "Unzip Folder", ""), std::string("/unpacked/"));
    QVERIFY(again->UseProxy());
    QCOMPARE(again->ProxyAddress(), std::string("cache.local"));
    QCOMPARE(again->ProxyPort(), std::string("3128"));
    QCOMPARE(again->ProxyAuthorization(), std::string());
    QCOMPARE(again->UserAgentChoice(), std::string("Internet Explorer 4.01"));
    QCOMPARE(again->UserAgent(), std::string("Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)"));
    // The running program's agent changed too, without a restart.
    QCOMPARE(sandbox.App.UserAgent(), std::string("Mozilla/4.0 (compatible; MSIE 4.01; Windows 95)"));
    QVERIFY(!again->CheckCertificates());
    QCOMPARE(again->CAFile(), std::string("/etc/harbex/extra.pem"));
    QCOMPARE(again->ConnectTimeOut(), 12);
    QCOMPARE(again->Browser(), std::string("/bin/sh"));

    // A new dialog shows what was stored; the Folder options stay chosen.
    TdlgOptions reopened(*again, nullptr, NoProxy());
    QCOMPARE(reopened.edMaxURLs->value(), 5);
    QVERIFY(reopened.rbZipFolder->isChecked());
    QVERIFY(reopened.rbUnzipFolder->isChecked());
    QCOMPARE(reopened.cmbAgent->currentText(), QStringLiteral("Internet Explorer 4.01"));
    QCOMPARE(reopened.cmbBrowser->currentText(), QStringLiteral("/bin/sh"));
    QVERIFY(reopened.cbZipLast->isChecked());

    // With the "Last" options chosen again, the folder fields are not written.
    reopened.show();
    reopened.ShowPage(TPreferencesPage::ZipFolders);
    Retype(reopened.edZipFolder, QStringLiteral("/elsewhere/"));
    Click(reopened.rbLastZipFolder);
    QTest::mouseClick(reopened.btnOK, Qt::LeftButton);
    QVERIFY(again->Store().ReadBool(kSettingsKey, "Last Zip Folder", false));
    QCOMPARE(again->Store().ReadString(kSettingsKey, "Zip Folder", ""), std::string("/archives/"));
}

void HXPreferencesTest::CancelStoresNothingButClearActsAtOnce()
{
    test::TSandboxApp sandbox;
    sandbox.App.SaveRecentList(kRecentURLsKey, {"http://a.example/", "http://b.example/"}, 20);
    sandbox.App.SaveRecentList(kRecentZipFilesKey, {"/z/one.zip"}, 10);
    TdlgOptions dialog(sandbox.App, nullptr, NoProxy());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    Retype(dialog.edMaxURLs, QStringLiteral("3"));
    Click(dialog.cbNoAds);

    {
        // "No" keeps the list.
        test::TBoxAnswer no(QMessageBox::No);
        QTest::mouseClick(dialog.btnClearURLs, Qt::LeftButton);
        QCOMPARE(no.Seen(), 1);
        QCOMPARE(no.Text(), QStringLiteral("Clear all items in your recently typed URL's list?"));
    }
    QCOMPARE(sandbox.App.LoadRecentList(kRecentURLsKey, 20).size(), std::size_t(2));
    {
        test::TBoxAnswer yes(QMessageBox::Yes);
        QTest::mouseClick(dialog.btnClearURLs, Qt::LeftButton);
        QCOMPARE(yes.Seen(), 1);
    }
    QVERIFY(sandbox.App.LoadRecentList(kRecentURLsKey, 20).empty());
    QCOMPARE(sandbox.App.LoadRecentList(kRecentZipFilesKey, 10).size(), std::size_t(1));
    {
        test::TBoxAnswer yes(QMessageBox::Yes);
        QTest::mouseClick(dialog.btnClearFiles, Qt::LeftButton);
        QCOMPARE(yes.Text(), QStringLiteral("Clear all items in your recently opened files list?"));
    }
    QVERIFY(sandbox.App.LoadRecentList(kRecentZipFilesKey, 10).empty());

    QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    const std::unique_ptr<THXApp> again = Reread(sandbox);
    QCOMPARE(again->MaxURLHistory(), 20);
    QVERIFY(!again->NoAds());
    QVERIFY(again->LoadRecentList(kRecentURLsKey, 20).empty());
}

void HXPreferencesTest::NetworkPageKeepsTheSettingsRanges()
{
    test::TSandboxApp sandbox;
    {
        TdlgOptions dialog(sandbox.App, nullptr, NoProxy());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.ShowPage(TPreferencesPage::Network);
        // The defaults: Fast pacing, robots.txt obeyed, no delay, the default page size.
        QVERIFY(dialog.rbPacingFast->isChecked());
        QVERIFY(dialog.cbObeyRobots->isChecked());
        QVERIFY(dialog.cbUseHttp2->isChecked());
        QCOMPARE(dialog.edHostDelay->value(), 0);
        QCOMPARE(dialog.edMaxPageSize->value(), kDefaultMaxPageSize);
        QCOMPARE(dialog.edRenderers->value(), kDefaultRenderers);
        // robots.txt and HTTP/2 are Fast pacing's: Classic takes their boxes away.
        Click(dialog.rbPacingClassic);
        QVERIFY(!dialog.cbObeyRobots->isEnabled());
        QVERIFY(!dialog.cbUseHttp2->isEnabled());
        Click(dialog.rbPacingFast);
        Click(dialog.cbObeyRobots);
        Click(dialog.cbUseHttp2);
        Click(dialog.rbPacingClassic);
        // A digit that would pass the longest delay is refused; a size and a
        // time-out below the least become the least.
        Retype(dialog.edHostDelay, QString::number(kMaxHostDelay) + QStringLiteral("0"));
        QCOMPARE(dialog.edHostDelay->value(), kMaxHostDelay);
        Retype(dialog.edMaxPageSize, QString::number(kMinMaxPageSize - 1));
        Retype(dialog.edRenderers, QStringLiteral("1"));
        Retype(dialog.edConnectTimeOut, QString::number(kMinConnectTimeOut - 1));
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    std::unique_ptr<THXApp> again = Reread(sandbox);
    QCOMPARE(again->Pacing(), kPacingClassic);
    QVERIFY(!again->ObeyRobots());
    QVERIFY(!again->UseHttp2());
    QCOMPARE(again->HostDelay(), kMaxHostDelay);
    QCOMPARE(again->MaxPageSize(), kMinMaxPageSize);
    QCOMPARE(again->Renderers(), 1);
    QCOMPARE(again->ConnectTimeOut(), kMinConnectTimeOut);

    {
        // Shown as stored; every control changed, then Cancel: nothing is written.
        TdlgOptions dialog(*again, nullptr, NoProxy());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.ShowPage(TPreferencesPage::Network);
        QVERIFY(dialog.rbPacingClassic->isChecked());
        QVERIFY(!dialog.cbObeyRobots->isChecked());
        QVERIFY(!dialog.cbUseHttp2->isChecked());
        QCOMPARE(dialog.edHostDelay->value(), kMaxHostDelay);
        QCOMPARE(dialog.edMaxPageSize->value(), kMinMaxPageSize);
        Click(dialog.rbPacingFast);
        Click(dialog.cbObeyRobots);
        Click(dialog.cbUseHttp2);
        Retype(dialog.edHostDelay, QStringLiteral("250"));
        Retype(dialog.edMaxPageSize, QStringLiteral("8"));
        Click(dialog.cbCheckCertificates);
        Retype(dialog.edCAFile, QStringLiteral("/etc/extra.pem"));
        Retype(dialog.edConnectTimeOut, QStringLiteral("9"));
        QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
    again = Reread(sandbox);
    QCOMPARE(again->Pacing(), kPacingClassic);
    QVERIFY(!again->ObeyRobots());
    QVERIFY(!again->UseHttp2());
    QCOMPARE(again->HostDelay(), kMaxHostDelay);
    QCOMPARE(again->MaxPageSize(), kMinMaxPageSize);
    QVERIFY(again->CheckCertificates());
    QVERIFY(again->CAFile().empty());
    QCOMPARE(again->ConnectTimeOut(), kMinConnectTimeOut);
}

void HXPreferencesTest::TheProxyOfferIsMadeOnce()
{
    test::TSandboxApp sandbox;
    std::string desktopProxy = "[::1]:3128";
    int detections = 0;
    TPreferencesOptions options;
    options.DetectProxy = [&]
    {
        ++detections;
        return desktopProxy;
    };
    {
        test::TBoxAnswer no(QMessageBox::No);
        TdlgOptions dialog(sandbox.App, nullptr, options);
        dialog.show();
        QTRY_COMPARE(no.Seen(), 1);
        QCOMPARE(no.Text(), QStringLiteral("Harbex has determined that Internet Explorer uses the following "
                                           "proxy server to access the Internet\n[::1]:3128\n\nHarbex will "
                                           "most likely also need to use this proxy server to access the "
                                           "Internet\nDo you want to set this proxy server for Harbex "
                                           "also?"));
        QCOMPARE(dialog.CurrentPage(), TPreferencesPage::Connection);
        QVERIFY(!dialog.cbUseProxy->isChecked());
        QVERIFY(dialog.edProxyAddress->text().isEmpty());
        // Activated again (another window in between): no second question.
        QWidget other;
        other.show();
        other.activateWindow();
        QTest::qWait(50);
        dialog.activateWindow();
        QTest::qWait(100);
        QCOMPARE(no.Seen(), 1);
        dialog.reject();
    }
    {
        // The next opening remembers the answer to this proxy.
        test::TBoxAnswer any(QMessageBox::Yes);
        TdlgOptions dialog(sandbox.App, nullptr, options);
        dialog.show();
        QTest::qWait(150);
        QCOMPARE(any.Seen(), 0);
        QVERIFY(detections >= 2);
        dialog.reject();
    }
    {
        // A proxy configured later is a new question; Yes fills the fields and ticks
        // the box, but stores nothing until OK.
        desktopProxy = "[fd00::5]:8118";
        test::TBoxAnswer yes(QMessageBox::Yes);
        TdlgOptions dialog(sandbox.App, nullptr, options);
        dialog.show();
        QTRY_COMPARE(yes.Seen(), 1);
        QVERIFY(yes.Text().contains(QStringLiteral("\n[fd00::5]:8118\n")));
        QVERIFY(dialog.cbUseProxy->isChecked());
        QVERIFY(dialog.edProxyAddress->isEnabled());
        QCOMPARE(dialog.edProxyAddress->text(), QStringLiteral("[fd00::5]"));
        QCOMPARE(dialog.edProxyPort->text(), QStringLiteral("8118"));
        QVERIFY(!Reread(sandbox)->UseProxy());
        QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    }
    const std::unique_ptr<THXApp> again = Reread(sandbox);
    QVERIFY(again->UseProxy());
    QCOMPARE(again->ProxyAddress(), std::string("[fd00::5]"));
    QCOMPARE(again->ProxyPort(), std::string("8118"));
    {
        // With the box ticked nothing is asked, even about a new proxy.
        desktopProxy = "other.local:8080";
        test::TBoxAnswer any(QMessageBox::Yes);
        TdlgOptions dialog(*again, nullptr, options);
        dialog.show();
        QTest::qWait(150);
        QCOMPARE(any.Seen(), 0);
        dialog.reject();
    }
}

void HXPreferencesTest::MainWindowAppliesTheHistoryLengthAndModeHints()
{
    test::TSandboxApp sandbox;
    sandbox.App.SaveRecentList(
        kRecentURLsKey, {"http://1.example/", "http://2.example/", "http://3.example/", "http://4.example/"}, 20);
    TMainOptions options;
    options.DetectProxy = [] { return std::string(); };
    options.Launch = [](const TLaunchRequest&) { return true; };
    THXQtSession session(sandbox.App);
    TFormHarbex window(session, options);
    window.show();
    QTRY_VERIFY(window.FirstActivationDone());
    QCOMPARE(window.cmbURL->count(), 4);

    const std::string intranet = Folder(sandbox, "my web");
    int seen = 0;
    test::TWhenShown<TdlgOptions> person(
        [&](TdlgOptions& dialog)
        {
            if (seen++ > 0)
                return;
            QCOMPARE(dialog.CurrentPage(), TPreferencesPage::General);
            Retype(dialog.edMaxURLs, QStringLiteral("2"));
            dialog.ShowPage(TPreferencesPage::PersonalIntranet);
            Retype(dialog.edIntranetFolder, QString::fromStdString(intranet));
            QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        });
    QAction* preferences = window.Action(QStringLiteral("miPreferences"));
    QVERIFY(preferences && preferences->isEnabled());
    preferences->trigger();
    QCOMPARE(seen, 1);

    // The two newest addresses stay, in the box and in the store.
    QCOMPARE(window.cmbURL->count(), 2);
    QCOMPARE(window.cmbURL->itemText(0), QStringLiteral("http://1.example/"));
    QCOMPARE(window.RecentURLs().size(), std::size_t(2));
    QCOMPARE(Reread(sandbox)->LoadRecentList(kRecentURLsKey, 20).size(), std::size_t(2));
    QVERIFY(window.btnIntranetMode->toolTip().endsWith(QString::fromStdString(intranet)));

    // The tray's "&Options..." opens the same dialog; Cancel changes nothing.
    int trayed = 0;
    test::TWhenShown<TdlgOptions> cancel(
        [&](TdlgOptions& dialog)
        {
            if (trayed++ == 0)
                QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
        });
    QAction* trayOptions = window.Action(QStringLiteral("pmiOptions"));
    QVERIFY(trayOptions && trayOptions->isEnabled());
    trayOptions->trigger();
    QCOMPARE(trayed, 1);
    QCOMPARE(window.cmbURL->count(), 2);
    window.close();
}

void HXPreferencesTest::FirstRunOffersTheDesktopProxy()
{
    test::TSandboxApp sandbox;
    TMainOptions options;
    options.DetectProxy = [] { return std::string("cache.local:3128"); };
    options.Launch = [](const TLaunchRequest&) { return true; };
    test::TBoxAnswer yes(QMessageBox::Yes);
    int seen = 0;
    test::TWhenShown<TdlgOptions> person(
        [&](TdlgOptions& dialog)
        {
            // Once the question was answered and the proxy box shows it, the
            // person presses OK.
            if (dialog.cbUseProxy->isChecked() && seen++ == 0)
                QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
        });
    {
        THXQtSession session(sandbox.App);
        TFormHarbex window(session, options);
        QCOMPARE(seen, 1);
        QCOMPARE(yes.Seen(), 1);
        QVERIFY(sandbox.App.UseProxy());
        QCOMPARE(sandbox.App.ProxyAddress(), std::string("cache.local"));
        QCOMPARE(sandbox.App.ProxyPort(), std::string("3128"));
        window.close();
    }
    // A later start (the first-run mark removed) does not show the dialog again for
    // a proxy already asked about.
    sandbox.App.Store().WriteString(kHarbexKey, "Version", "");
    sandbox.App.SetUseProxy(false);
    {
        THXQtSession session(sandbox.App);
        TFormHarbex window(session, options);
        QTest::qWait(100);
        QCOMPARE(seen, 1);
        QCOMPARE(yes.Seen(), 1);
        window.close();
    }
}

void HXPreferencesTest::EveryPageFitsAndIsPictured()
{
    test::TSandboxApp sandbox;
    sandbox.App.SetProxyAddress("cache.local");
    sandbox.App.SetProxyPort("3128");
    TdlgOptions dialog(sandbox.App, nullptr, NoProxy());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const char* names[] = {"general", "zip-folders", "connection", "network", "personal-intranet", "browser"};
    for (int page = 0; page < dialog.pcOptions->count(); ++page)
    {
        dialog.pcOptions->setCurrentIndex(page);
        QTest::qWait(20);
        const QString clipped = test::FirstClippedChild(dialog);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped));
        test::SaveScreenshot(dialog, QStringLiteral("preferences-") + QLatin1String(names[page]));
    }
    dialog.reject();
}

} // namespace hx
