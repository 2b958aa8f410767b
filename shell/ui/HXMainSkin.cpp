// The main window's skin: the colours of the scheme in force and the pictures of
// the skin named by the "Skin" setting, applied when the window is first shown and
// again at each choice in the skin dialog.

#include "shell/ui/HXMain.h"

#include <QLabel>
#include <QMovie>
#include <QPalette>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>

#include "core/HXApp.h"
#include "monitor/ui/HXStatus.h"
#include "core/HXSkins.h"
#include "core/ui/HXSkinLook.h"
#include "schedule/ui/HXSchedulerWindow.h"
#include "shell/ui/HXdlgSelectSkin.h"

namespace hx
{

namespace
{

// The largest button picture shown at its own size; a larger one is scaled down.
constexpr QSize kMaxButtonPicture(32, 32);
constexpr int kBuiltInLogoSize = 32;

} // namespace

void TFormHarbex::ApplySkin()
{
    ApplySkinColors();
    ApplySkinLogo();
    ApplyViewBarPicture();
    ApplyButtonPictures();
    m_status->LoadButtonImages();
    m_status->ApplyColors();
}

void TFormHarbex::SelectSkin()
{
    TdlgSelectSkin dialog(
        m_app, [this] { ApplySkin(); }, [this](const std::string& address) { OpenPage(address); }, this);
    dialog.exec();
}

void TFormHarbex::ApplySkinColors()
{
    // The window (its tool band and address row), the splitter and the main area
    // take the second, third and fourth colours of the scheme.
    const QColor window = SchemeColor(m_app, 1);
    const QColor split = SchemeColor(m_app, 2);
    for (const char* name : {"pnlToolBand", "pnlAddress"})
        if (auto* panel = findChild<QWidget*>(name))
            panel->setStyleSheet(QStringLiteral("QWidget#%1 { background: %2; } QLabel { color: white; }")
                                     .arg(QString::fromLatin1(name), window.name()));
    splitter->setStyleSheet(QStringLiteral("QSplitter::handle { background: %1; }").arg(split.name()));
    centralWidget()->setAutoFillBackground(true);
    if (auto* area = findChild<QWidget*>("pnlMainArea"))
        PaintInSchemeColor(*area, m_app, 3);
    // The Tasks view paints itself in the scheme's second colour.
    m_schedulerWindow->ApplyColors();
}

QPixmap TFormHarbex::BuiltInLogo() const
{
    return style()->standardIcon(QStyle::SP_BrowserReload).pixmap(kBuiltInLogoSize, kBuiltInLogoSize);
}

void TFormHarbex::ApplySkinLogo()
{
    // A running copy keeps the logo moving across the change.
    const bool running = m_logo && m_logo->state() == QMovie::Running;
    QMovie* previous = m_logo;
    m_logo = ReadSkinMovie(SkinPicture(m_app, "hxanim.gif"), this);
    if (m_logo)
    {
        imgLogo->setMovie(m_logo);
        m_logo->jumpToFrame(0);
        if (running)
            m_logo->start();
    }
    else
    {
        imgLogo->setPixmap(BuiltInLogo());
    }
    if (previous)
        previous->deleteLater();
}

void TFormHarbex::ApplyViewBarPicture()
{
    auto* bar = findChild<QWidget*>("pnlViewBar");
    if (!bar)
        return;
    // The bar's picture is laid under the view links; without one the bar takes the
    // main area's colour.
    const QImage picture = ReadSkinImage(SkinPicture(m_app, "screensbar.gif"));
    QPalette palette = bar->palette();
    palette.setBrush(QPalette::Window, picture.isNull() ? QBrush(SchemeColor(m_app, 3)) : QBrush(picture));
    bar->setPalette(palette);
    bar->setAutoFillBackground(true);
}

void TFormHarbex::ApplyButtonPictures()
{
    if (m_skinnedButtons.empty())
    {
        // The pictures the buttons were built with stand in for the pictures no skin has.
        const std::pair<QToolButton*, std::string_view> buttons[] = {
            {btnNew, "new.bmp"},
            {btnOpen, "open.bmp"},
            {btnDownloads, "dwnloads.bmp"},
            {btnHarbexMode, "hxmode.bmp"},
            {btnIntranetMode, "pimode.bmp"},
            {btnAddToSelectedZip, "addtocur.bmp"},
            {btnHelp, "help.bmp"},
            {btnGO, "go.bmp"},
        };
        for (const auto& [button, picture] : buttons)
            m_skinnedButtons.push_back({button, picture, button->icon(), button->iconSize()});
    }
    for (const TSkinnedButton& skinned : m_skinnedButtons)
    {
        const QIcon picture = ReadSkinIcon(SkinPicture(m_app, skinned.Picture));
        if (picture.isNull())
        {
            skinned.Button->setIcon(skinned.BuiltIn);
            skinned.Button->setIconSize(skinned.BuiltInSize);
            continue;
        }
        skinned.Button->setIcon(picture);
        skinned.Button->setIconSize(picture.availableSizes().value(0).boundedTo(kMaxButtonPicture));
    }
}

} // namespace hx
