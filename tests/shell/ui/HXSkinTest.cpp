// Skins as a person uses them: View > Options > "Select Skin..." (Ctrl+K) lists the
// skins, each name clicked gives the main window and its status panel that skin's
// pictures at once, a picture the skin lacks is the Default skin's (or the built-in
// one when the Default skin lacks it too), OK keeps the choice, and Cancel after
// trying several skins puts back the skin in force before.
//
// The test's skins are made here: every picture a small plain-coloured picture, its
// colour telling which skin and which picture it is. The ".bmp" pictures are real
// BMP files, the logo a real GIF; the view bar's ".gif" holds PNG data, as a skin may.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMovie>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "HXMainWindowFixture.h"
#include "core/HXApp.h"
#include "monitor/ui/HXStatus.h"
#include "core/HXSkins.h"
#include "core/ui/HXSkinLook.h"
#include "shell/ui/HXdlgSelectSkin.h"
#include "support/ui/HXWhenShown.h"

namespace hx
{

namespace
{

// Every picture a skin can hold, the main window's and the status panel's.
std::vector<std::string> AllPictures()
{
    std::vector<std::string> names(kMainWindowPictures.begin(), kMainWindowPictures.end());
    names.insert(names.end(), kStatusPictures.begin(), kStatusPictures.end());
    return names;
}

// The test's skins: the order gives each its shade.
const std::vector<std::string> kSkinNames = {"Default", "Aqua", "Ember", "moss"};

// The colour of one skin's picture: a hue for the picture, a brightness for the skin.
QRgb PictureColour(const std::string& skin, const std::string& picture)
{
    const std::vector<std::string> pictures = AllPictures();
    const auto p = std::find(pictures.begin(), pictures.end(), picture) - pictures.begin();
    const auto s = std::find(kSkinNames.begin(), kSkinNames.end(), skin) - kSkinNames.begin();
    return QColor::fromHsv(static_cast<int>(p) * 29, 220, 90 + static_cast<int>(s) * 45).rgb();
}

// Which pictures each skin lacks. The Default skin has no Help picture, so a skin
// that lacks it too shows the built-in one.
const std::map<std::string, std::set<std::string>> kMissing = {
    {"Default", {"help.bmp"}},
    {"Aqua", {}},
    {"Ember", {"go.bmp", "run.bmp", "help.bmp", "screensbar.gif"}},
    {"moss", {"hxanim.gif", "new.bmp"}},
};

// Where a picture shown in skin `skin` comes from: the skin, the Default skin, or
// nowhere (empty: the built-in picture).
std::string SourceSkin(const std::string& skin, const std::string& picture)
{
    if (!kMissing.at(skin).count(picture))
        return skin;
    if (!kMissing.at("Default").count(picture))
        return "Default";
    return {};
}

// A one-pixel GIF picture of the colour, written byte by byte (Qt reads GIF but
// does not write it): header, a two-colour table, one image of colour 0, trailer.
QByteArray OnePixelGif(QRgb colour)
{
    static constexpr char kHeader[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00";
    static constexpr char kImage[] = ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    QByteArray bytes(kHeader, sizeof kHeader - 1);
    bytes.append(static_cast<char>(qRed(colour)));
    bytes.append(static_cast<char>(qGreen(colour)));
    bytes.append(static_cast<char>(qBlue(colour)));
    bytes.append(3, '\0');
    bytes.append(kImage, sizeof kImage - 1);
    return bytes;
}

QRgb CentreOf(const QImage& image)
{
    return image.isNull() ? QRgb(0) : image.pixel(image.width() / 2, image.height() / 2);
}

void ClickSkin(TdlgSelectSkin& dialog, const QString& name)
{
    const QList<QListWidgetItem*> found = dialog.lbSkins->findItems(name, Qt::MatchExactly);
    if (found.isEmpty())
        return;
    dialog.lbSkins->scrollToItem(found.front());
    QTest::mouseClick(dialog.lbSkins->viewport(), Qt::LeftButton, {},
                      dialog.lbSkins->visualItemRect(found.front()).center());
}

} // namespace

class HXSkinTest : public QObject, protected test::TMainWindowFixture
{
    Q_OBJECT

private:
    // The pictures the window was built with, by picture name.
    std::map<std::string, qint64> m_builtIn;

    void WriteSkins()
    {
        for (const std::string& skin : kSkinNames)
        {
            QDir().mkpath(QString::fromStdString(Home() + "Skins/" + skin));
            for (const std::string& picture : AllPictures())
            {
                if (kMissing.at(skin).count(picture))
                    continue;
                const QString path = QString::fromStdString(Home() + "Skins/" + skin + "/" + picture);
                if (picture == "hxanim.gif")
                {
                    QFile gif(path);
                    QVERIFY(gif.open(QIODevice::WriteOnly));
                    gif.write(OnePixelGif(PictureColour(skin, picture)));
                    continue;
                }
                QImage image(16, 16, QImage::Format_RGB32);
                image.fill(PictureColour(skin, picture));
                const bool bmp = picture.ends_with(".bmp");
                QVERIFY(image.save(path, bmp ? "BMP" : "PNG"));
            }
        }
    }

    void OpenWindow()
    {
        // The scheduler keeps its own tick here.
        TSessionSetup setup;
        setup.Pacing = TRunPacing::Fast();
        TMainOptions options;
        options.Launch = RecordOpened();
        CreateWindow(std::move(options), setup);
        for (const auto& [picture, button] : Buttons())
            m_builtIn[picture] = button->icon().cacheKey();
        m_builtIn["run.bmp"] = m_window->StatusWindow().btnRun->icon().cacheKey();
        m_builtIn["stop.bmp"] = m_window->StatusWindow().btnStop->icon().cacheKey();
        ShowWindow();
    }

    std::map<std::string, QToolButton*> Buttons() const
    {
        TFormHarbex& w = *m_window;
        return {{"new.bmp", w.btnNew},
                {"open.bmp", w.btnOpen},
                {"dwnloads.bmp", w.btnDownloads},
                {"hxmode.bmp", w.btnHarbexMode},
                {"pimode.bmp", w.btnIntranetMode},
                {"addtocur.bmp", w.btnAddToSelectedZip},
                {"help.bmp", w.btnHelp},
                {"go.bmp", w.btnGO},
                {"run.bmp", w.StatusWindow().btnRun},
                {"stop.bmp", w.StatusWindow().btnStop}};
    }

    // What differs between the window's pictures and skin `skin`'s, one line each;
    // empty when every picture is the one the skin gives.
    QStringList Mismatches(const std::string& skin) const
    {
        QStringList problems;
        const auto expect = [&](const std::string& picture, QRgb shown, bool builtInShown)
        {
            const std::string source = SourceSkin(skin, picture);
            if (source.empty() ? !builtInShown : shown != PictureColour(source, picture))
                problems << QStringLiteral("%1 in %2: shows %3, wanted %4")
                                .arg(QString::fromStdString(picture), QString::fromStdString(skin),
                                     builtInShown ? QStringLiteral("built-in") : QColor(shown).name(),
                                     source.empty() ? QStringLiteral("built-in") : QString::fromStdString(source));
        };
        for (const auto& [picture, button] : Buttons())
            expect(picture, CentreOf(button->icon().pixmap(16, 16).toImage()),
                   button->icon().cacheKey() == m_builtIn.at(picture));
        const QLabel* logo = m_window->imgLogo;
        const QImage logoImage = logo->movie() ? logo->movie()->currentImage() : logo->pixmap().toImage();
        expect("hxanim.gif", CentreOf(logoImage), !logo->movie() && !logoImage.isNull());
        const auto* bar = m_window->findChild<QWidget*>("pnlViewBar");
        const QBrush barBrush = bar->palette().brush(QPalette::Window);
        expect("screensbar.gif", CentreOf(barBrush.textureImage()),
               barBrush.textureImage().isNull() && barBrush.color() == SchemeColor(*m_app, 3));
        return problems;
    }

    // Opens the skin dialog with Ctrl+K and runs `steps` in it; true when it opened.
    bool WithSkinDialog(const std::function<void(TdlgSelectSkin&)>& steps)
    {
        test::TWhenShown<TdlgSelectSkin> when(steps, test::TActTimes::Once);
        // A closed dialog may leave no window active: the key goes to the main window's.
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            return false;
        QTest::keyClick(m_window.get(), Qt::Key_K, Qt::ControlModifier);
        return QTest::qWaitFor([&] { return when.Done(); }, 5000);
    }

    std::string StoredSkin() const { return m_app->Store().ReadString(kSettingsKey, "Skin", "(none)"); }

private slots:
    void init()
    {
        StartHome(
            [this](THXEnvironment& environment)
            {
                // Only the test's skins: no installed pictures are copied in at the first run.
                environment.dataFolder.clear();
                WriteSkins();
            });
    }

    void cleanup() { Stop(); }

    // Each skin clicked in the dialog is written as "Skin" and every picture of the
    // window is read from it at once; a picture it lacks is the Default skin's, and
    // the built-in one when the Default skin lacks it too. OK keeps the last choice.
    void ClickedSkinReplacesEveryPicture()
    {
        OpenWindow();
        QVERIFY2(Mismatches("Default").isEmpty(), qPrintable(Mismatches("Default").join('\n')));
        QStringList problems;
        QStringList listed;
        QString caption;
        QString selected;
        bool paintedInScheme = false;
        QVERIFY(WithSkinDialog(
            [&](TdlgSelectSkin& dialog)
            {
                caption = dialog.windowTitle();
                for (int row = 0; row < dialog.lbSkins->count(); ++row)
                    listed << dialog.lbSkins->item(row)->text();
                if (dialog.lbSkins->currentItem())
                    selected = dialog.lbSkins->currentItem()->text();
                paintedInScheme = dialog.palette().color(QPalette::Window) == SchemeColor(*m_app, 1) &&
                                  dialog.lbSkins->palette().color(QPalette::Base) == QColor(Qt::black);
                for (const std::string skin : {"Aqua", "Ember", "moss", "Aqua", "Ember"})
                {
                    ClickSkin(dialog, QString::fromStdString(skin));
                    if (StoredSkin() != skin || m_app->Skin() != skin)
                        problems << QStringLiteral("setting is %1 after clicking %2")
                                        .arg(QString::fromStdString(StoredSkin()), QString::fromStdString(skin));
                    problems << Mismatches(skin);
                }
                QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
            }));
        QCOMPARE(caption, QStringLiteral("Select Skin"));
        QCOMPARE(listed, (QStringList{"Aqua", "Default", "Ember", "moss"}));
        QCOMPARE(selected, QStringLiteral("Default"));
        QVERIFY(paintedInScheme);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QTRY_VERIFY(!m_window->findChild<TdlgSelectSkin*>() || !m_window->findChild<TdlgSelectSkin*>()->isVisible());
        QCOMPARE(StoredSkin(), std::string("Ember"));
        QVERIFY2(Mismatches("Ember").isEmpty(), qPrintable(Mismatches("Ember").join('\n')));
    }

    // Cancel after trying three skins puts back the skin in force before, in the
    // settings and in every picture.
    void CancelAfterTryingSkinsRestoresTheSkinBefore()
    {
        m_app->SetSkin("Aqua");
        OpenWindow();
        QVERIFY2(Mismatches("Aqua").isEmpty(), qPrintable(Mismatches("Aqua").join('\n')));
        QStringList problems;
        QString selected;
        QVERIFY(WithSkinDialog(
            [&](TdlgSelectSkin& dialog)
            {
                if (dialog.lbSkins->currentItem())
                    selected = dialog.lbSkins->currentItem()->text();
                for (const std::string skin : {"Ember", "moss", "Default"})
                    ClickSkin(dialog, QString::fromStdString(skin));
                if (StoredSkin() != "Default")
                    problems << QStringLiteral("not tried: setting is %1").arg(QString::fromStdString(StoredSkin()));
                problems << Mismatches("Default");
                QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
            }));
        QCOMPARE(selected, QStringLiteral("Aqua"));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        QCOMPARE(StoredSkin(), std::string("Aqua"));
        QCOMPARE(m_app->Skin(), std::string("Aqua"));
        QVERIFY2(Mismatches("Aqua").isEmpty(), qPrintable(Mismatches("Aqua").join('\n')));
    }

    // "&Download" is shown only with a "Home Page Address"; it opens the skins page
    // under it and leaves the dialog open; Escape then closes it and, like Cancel,
    // puts back the skin it found.
    void DownloadOpensTheSkinsPageAndEscapeRestores()
    {
        OpenWindow();
        // Without a "Home Page Address" the program knows no skins page: no button.
        bool downloadShown = true;
        QVERIFY(WithSkinDialog(
            [&](TdlgSelectSkin& dialog)
            {
                downloadShown = dialog.btnDownload->isVisible();
                QTest::keyClick(&dialog, Qt::Key_Escape);
            }));
        QVERIFY(!downloadShown);
        m_app->SetHomePageAddress("http://127.0.0.1:9/harbex/");
        bool stillOpen = false;
        QVERIFY(WithSkinDialog(
            [&](TdlgSelectSkin& dialog)
            {
                ClickSkin(dialog, QStringLiteral("moss"));
                QTest::mouseClick(dialog.btnDownload, Qt::LeftButton);
                stillOpen = dialog.isVisible();
                QTest::keyClick(&dialog, Qt::Key_Escape);
            }));
        QVERIFY(stillOpen);
        QCOMPARE(m_opened, std::vector<std::string>{"http://127.0.0.1:9/harbex/skins/"});
        QCOMPARE(StoredSkin(), std::string("Default"));
        QVERIFY2(Mismatches("Default").isEmpty(), qPrintable(Mismatches("Default").join('\n')));
    }
};

} // namespace hx

int RunSkinTests(int argc, char** argv)
{
    hx::HXSkinTest tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "HXSkinTest.moc"
