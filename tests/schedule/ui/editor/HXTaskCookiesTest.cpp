// The task's cookies in the task editor, as a person handles them: "Cookies..."
// imports a cookies.txt file through the file chooser, lists the cookies without
// their values, deletes one, and OK writes the task's cookie file (Cancel leaves
// it as it was); "Sign In..." opens a sign-in form served on 127.0.0.1 in the
// integrated browser, the form is filled and sent, and "Done" gives the task the
// session the site set.

#include <sys/stat.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#ifdef HX_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineView>
#endif

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>

#include "core/HXApp.h"
#include "core/HXCookieJar.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/ui/HXEmbeddedBrowser.h"
#include "schedule/ui/HXdlgCookies.h"
#include "schedule/ui/HXdlgEditTask.h"
#include "schedule/ui/HXdlgSignIn.h"
#include "support/HXSandbox.h"
#include "support/HXTestServer.h"
#include "support/ui/HXBoxAnswer.h"
#include "support/ui/HXWhenShown.h"

namespace hx
{

namespace
{

using test::TActTimes;
using test::TWhenShown;

// A cookies.txt as wget and browser extensions write it: a domain cookie that
// lasts until 2100, a session cookie of one folder, an HttpOnly secure one.
constexpr const char* kCookiesTxt = "# Netscape HTTP Cookie File\n"
                                    ".example.org\tTRUE\t/\tFALSE\t4102488000\tpref\tdark-theme\n"
                                    "www.example.org\tFALSE\t/shop/\tFALSE\t0\tcart\tcart-secret\n"
                                    "#HttpOnly_www.example.org\tFALSE\t/\tTRUE\t4102488000\tsid\tsid-secret\n";

// Chooses the file in the file chooser as a person does: types its path, presses Enter.
void ChooseFile(QFileDialog& dialog, const std::string& path)
{
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name != nullptr);
    name->setText(QString::fromStdString(path));
    QTest::keyClick(name, Qt::Key_Return);
}

std::string FileText(const std::string& path)
{
    return ReadWholeFile(path).value_or(std::string());
}

QStringList RowTexts(const QTreeWidget& list, int row)
{
    QStringList texts;
    for (int column = 0; column < list.columnCount(); ++column)
        texts << list.topLevelItem(row)->text(column);
    return texts;
}

} // namespace

class HXTaskCookiesTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::TTempFolder> m_home;
    std::unique_ptr<THXApp> m_app;
    std::unique_ptr<THXTask> m_task;

    // A saved task, edited as the scheduler window edits it.
    void MakeTask(const std::string& url)
    {
        m_task = std::make_unique<THXTask>(*m_app);
        m_task->Name = "members";
        m_task->URL = url;
        m_task->Destination = m_app->GetDownloadsFolder() + "members.zip";
        ForceDirectories(m_app->TasksFolder() + m_app->LastCategory() + "/");
        m_task->FileName = m_app->TasksFolder() + m_app->LastCategory() + "/members.hxt";
        m_task->Save();
    }

    std::string CookiePath() const { return m_app->TasksFolder() + m_app->LastCategory() + "/members.cookies"; }

private slots:
    void init()
    {
        m_home = std::make_unique<test::TTempFolder>();
        m_app = std::make_unique<THXApp>(THXEnvironment::UnderHome(m_home->Path().string()));
        MakeTask("http://www.example.org/");
    }

    void cleanup()
    {
        m_task.reset();
        m_app.reset();
        m_home.reset();
    }

    // Import through the file chooser, the list without values, Delete, and the
    // cookie file written 0600 on OK; a second editing closed with Cancel leaves it.
    void CookiesDialogImportsListsDeletesAndSavesOnOK()
    {
        const std::string file = m_home->WriteFile("exported/cookies.txt", kCookiesTxt);
        TdlgEditTask editor(nullptr, *m_app, *m_task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QVERIFY(editor.btnCookies->isVisible());

        QStringList rows;
        bool deleteEnabledBeforeSelection = true;
        TWhenShown<QFileDialog> chooser([&](QFileDialog& dialog) { ChooseFile(dialog, file); });
        TWhenShown<TdlgCookies> cookies(
            [&](TdlgCookies& dialog)
            {
                QCOMPARE(dialog.lvCookies->topLevelItemCount(), 0);
                QTest::mouseClick(dialog.btnImport, Qt::LeftButton);
                QCOMPARE(chooser.Seen(), 1);
                QCOMPARE(dialog.lvCookies->topLevelItemCount(), 3);
                for (int row = 0; row < 3; ++row)
                    rows << RowTexts(*dialog.lvCookies, row).join(QLatin1Char('|'));
                deleteEnabledBeforeSelection = dialog.btnDelete->isEnabled();
                // The session cookie of the shop folder goes.
                const auto found = dialog.lvCookies->findItems(QStringLiteral("cart"), Qt::MatchExactly);
                QCOMPARE(found.size(), 1);
                dialog.lvCookies->setCurrentItem(found.front());
                QTest::mouseClick(dialog.btnDelete, Qt::LeftButton);
                QCOMPARE(dialog.lvCookies->topLevelItemCount(), 2);
                QTest::mouseClick(dialog.btnClose, Qt::LeftButton);
            },
            TActTimes::Once);
        QTest::mouseClick(editor.btnCookies, Qt::LeftButton);
        QCOMPARE(cookies.Seen(), 1);
        QVERIFY(!deleteEnabledBeforeSelection);

        // Sorted by domain, path and name; a domain cookie with its dot; values never shown.
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows[0].startsWith(QStringLiteral("pref|.example.org|/|")));
        QVERIFY(!rows[0].endsWith(QStringLiteral("|Session")));
        QVERIFY(rows[0].contains(QStringLiteral("2100")));
        QCOMPARE(rows[1], QStringLiteral("sid|www.example.org|/|") + CookieExpiryText(4102488000));
        QCOMPARE(rows[2], QStringLiteral("cart|www.example.org|/shop/|Session"));
        for (const QString& row : rows)
            QVERIFY2(!row.contains(QStringLiteral("secret")) && !row.contains(QStringLiteral("dark")), qPrintable(row));

        // Nothing is written before OK.
        QVERIFY(!FileExists(CookiePath()));
        QTest::mouseClick(editor.btnOK, Qt::LeftButton);
        QTRY_VERIFY(!editor.isVisible());
        QVERIFY(FileExists(CookiePath()));
        struct stat info
        {
        };
        QCOMPARE(::stat(CookiePath().c_str(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        const std::string saved = FileText(CookiePath());
        QVERIFY(saved.find(".example.org\tTRUE\t/\tFALSE\t4102488000\tpref\tdark-theme\n") != std::string::npos);
        QVERIFY(saved.find("www.example.org\tFALSE\t/\tTRUE\t4102488000\tsid\tsid-secret\n") != std::string::npos);
        QVERIFY(saved.find("cart") == std::string::npos);
        // The task's jar sends them from now on; the new ones outlast a Restart too.
        QCOMPARE(m_task->Cookies.CookieHeader("https://www.example.org/a.html", CookieClockNow()),
                 std::string("pref=dark-theme; sid=sid-secret"));
        QCOMPARE(m_task->CookiesToAdd.size(), std::size_t(2));

        // Delete All, then Cancel: the file stays as it was.
        TdlgEditTask again(nullptr, *m_app, *m_task, TEditTaskMode::Edit);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        TWhenShown<TdlgCookies> clearing(
            [](TdlgCookies& dialog)
            {
                QCOMPARE(dialog.lvCookies->topLevelItemCount(), 2);
                QTest::mouseClick(dialog.btnDeleteAll, Qt::LeftButton);
                QCOMPARE(dialog.lvCookies->topLevelItemCount(), 0);
                QTest::mouseClick(dialog.btnClose, Qt::LeftButton);
            },
            TActTimes::Once);
        QTest::mouseClick(again.btnCookies, Qt::LeftButton);
        QCOMPARE(clearing.Seen(), 1);
        QTest::mouseClick(again.btnCancel, Qt::LeftButton);
        QCOMPARE(FileText(CookiePath()), saved);
        QCOMPARE(m_task->Cookies.Count(), std::size_t(2));
    }

    // A file that is no cookies.txt: a box names the file and says what is wrong,
    // and the list stays empty.
    void CookiesDialogNamesAFileItCannotUse()
    {
        const std::string file = m_home->WriteFile("notes.txt", "just some notes\nnot cookies at all\n");
        TdlgEditTask editor(nullptr, *m_app, *m_task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        test::TBoxAnswer box(QMessageBox::Ok);
        TWhenShown<QFileDialog> chooser([&](QFileDialog& dialog) { ChooseFile(dialog, file); });
        int rows = -1;
        TWhenShown<TdlgCookies> cookies(
            [&](TdlgCookies& dialog)
            {
                QTest::mouseClick(dialog.btnImport, Qt::LeftButton);
                rows = dialog.lvCookies->topLevelItemCount();
                QTest::mouseClick(dialog.btnClose, Qt::LeftButton);
            },
            TActTimes::Once);
        QTest::mouseClick(editor.btnCookies, Qt::LeftButton);
        QCOMPARE(box.Seen(), 1);
        QVERIFY2(box.Text().contains(QString::fromStdString(file)), qPrintable(box.Text()));
        QVERIFY2(box.Text().contains(QStringLiteral("cookies.txt")), qPrintable(box.Text()));
        QCOMPARE(rows, 0);
        QTest::mouseClick(editor.btnOK, Qt::LeftButton);
        QTRY_VERIFY(!editor.isVisible());
        // A task that holds no cookie gets no file.
        QVERIFY(!FileExists(CookiePath()));
    }

    // A cookie file the editor cannot read (here: far too large) is named in a
    // box, no list opens, and OK leaves the file as it is.
    void UnreadableCookieFileIsLeftAlone()
    {
        const std::string huge(17 * 1024 * 1024, '#');
        std::ofstream(CookiePath(), std::ios::binary) << huge;
        TdlgEditTask editor(nullptr, *m_app, *m_task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        test::TBoxAnswer box(QMessageBox::Ok);
        TWhenShown<TdlgCookies> cookies([](TdlgCookies& dialog) { dialog.reject(); });
        QTest::mouseClick(editor.btnCookies, Qt::LeftButton);
        QTRY_COMPARE(box.Seen(), 1);
        QVERIFY2(box.Text().contains(QString::fromStdString(CookiePath())), qPrintable(box.Text()));
        QCOMPARE(cookies.Seen(), 0);
        QTest::mouseClick(editor.btnOK, Qt::LeftButton);
        QTRY_VERIFY(!editor.isVisible());
        QCOMPARE(FileText(CookiePath()).size(), huge.size());
    }

    // Without the integrated browser there is no "Sign In..." and the import stays.
    void SignInAbsentWithoutIntegratedBrowser()
    {
        qputenv("HARBEX_NO_WEBENGINE", "1");
        TdlgEditTask editor(nullptr, *m_app, *m_task, TEditTaskMode::Edit);
        qunsetenv("HARBEX_NO_WEBENGINE");
        QVERIFY(editor.btnSignIn == nullptr);
        QVERIFY(editor.btnCookies != nullptr);
        QVERIFY(editor.findChildren<QPushButton*>().size() > 0);
        for (const QPushButton* button : editor.findChildren<QPushButton*>())
            QVERIFY(button->text() != QStringLiteral("Sign In..."));
    }

    // Signing in: the start page sets a visit cookie, the form is filled and sent,
    // the site answers with its session; after Done and OK the task's jar and file
    // hold the session, host-only, without expiry, HttpOnly as the site set it.
    void SignInDialogFillsTheTasksJar()
    {
        if (!EmbeddedBrowserAvailable())
            QSKIP("built without Qt WebEngine");
#ifdef HX_HAVE_WEBENGINE
        test::THXTestServer server(
            [](const test::TRecordedRequest& request)
            {
                const test::THeaderFields html{{"Content-Type", "text/html"}};
                if (request.Target == "/")
                {
                    test::THeaderFields fields = html;
                    fields.emplace_back("Set-Cookie", "visit=1; Path=/");
                    return test::TReply::Text(200,
                                              "<html><head><title>Sign in</title></head><body>"
                                              "<form action=\"/login\" method=\"get\">"
                                              "<input name=\"user\"><input name=\"password\" type=\"password\">"
                                              "<input type=\"submit\" value=\"Sign in\"></form></body></html>",
                                              fields);
                }
                if (request.Target == "/login?user=ann&password=open+sesame")
                {
                    test::THeaderFields fields = html;
                    fields.emplace_back("Set-Cookie", "session=s3ss10n; Path=/; HttpOnly");
                    fields.emplace_back("Set-Cookie", "remember=yes; Max-Age=86400; Path=/members/");
                    return test::TReply::Text(
                        200, "<html><head><title>Members</title></head><body>Welcome</body></html>", fields);
                }
                if (request.Target == "/login")
                    return test::TReply::Text(403, "wrong password", html);
                return test::TReply::Text(404, "missing", html);
            });
        MakeTask(server.URL("/"));
        TdlgEditTask editor(nullptr, *m_app, *m_task, TEditTaskMode::Edit);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QVERIFY(editor.btnSignIn != nullptr);

        QString startAddress;
        TWhenShown<TdlgSignIn> signIn(
            [&](TdlgSignIn& dialog)
            {
                startAddress = dialog.edAddress->text();
                QTRY_COMPARE_WITH_TIMEOUT(dialog.wvPage->title(), QStringLiteral("Sign in"), 30000);
                dialog.wvPage->page()->runJavaScript(
                    QStringLiteral("var form = document.forms[0]; form.user.value = 'ann';"
                                   "form.password.value = 'open sesame'; form.submit();"));
                QTRY_COMPARE_WITH_TIMEOUT(dialog.wvPage->title(), QStringLiteral("Members"), 30000);
                // The cookie store reports the new cookies shortly after the page.
                QTRY_COMPARE_WITH_TIMEOUT(dialog.Cookies().size(), std::size_t(3), 10000);
                QTest::mouseClick(dialog.btnDone, Qt::LeftButton);
            },
            TActTimes::Once);
        QTest::mouseClick(editor.btnSignIn, Qt::LeftButton);
        QCOMPARE(signIn.Seen(), 1);
        QCOMPARE(startAddress, QString::fromStdString(server.URL("/")));

        QTest::mouseClick(editor.btnOK, Qt::LeftButton);
        QTRY_VERIFY(!editor.isVisible());
        const std::vector<THXCookie> cookies = m_task->Cookies.Cookies();
        const auto session = std::find_if(cookies.begin(), cookies.end(),
                                          [](const THXCookie& cookie) { return cookie.Name == "session"; });
        QVERIFY(session != cookies.end());
        QCOMPARE(session->Value, std::string("s3ss10n"));
        QCOMPARE(session->Domain, std::string("127.0.0.1"));
        QVERIFY(session->HostOnly);
        QCOMPARE(session->Expires, std::int64_t(0));
        QVERIFY(session->HttpOnly);
        QCOMPARE(m_task->Cookies.CookieHeader(server.URL("/members/list.html"), CookieClockNow()),
                 std::string("remember=yes; session=s3ss10n; visit=1"));
        const auto remember = std::find_if(cookies.begin(), cookies.end(),
                                           [](const THXCookie& cookie) { return cookie.Name == "remember"; });
        QVERIFY(remember != cookies.end());
        QVERIFY(std::abs(remember->Expires - (CookieClockNow() + 86400)) < 600);
        // Kept beside the queue, and for the next start even when it is a Restart.
        QVERIFY(FileText(CookiePath()).find("127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\ts3ss10n\n") != std::string::npos);
        QVERIFY(std::any_of(m_task->CookiesToAdd.begin(), m_task->CookiesToAdd.end(),
                            [](const THXCookie& cookie) { return cookie.Name == "session"; }));
#endif
    }
};

} // namespace hx

int main(int argc, char** argv)
{
    // As the program does: the integrated browser shares the windows' OpenGL contexts.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    hx::HXTaskCookiesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HXTaskCookiesTest.moc"
