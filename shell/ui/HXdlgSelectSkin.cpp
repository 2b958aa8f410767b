#include "shell/ui/HXdlgSelectSkin.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "core/HXApp.h"
#include "core/HXSkins.h"
#include "core/ui/HXSkinLook.h"

namespace hx
{

namespace
{

constexpr int kWidth = 260;
constexpr int kHeight = 300;
constexpr int kMargin = 8;

} // namespace

TdlgSelectSkin::TdlgSelectSkin(THXApp& app, std::function<void()> applySkin,
                               std::function<void(const std::string& address)> openAddress, QWidget* parent)
    : QDialog(parent, Qt::Tool)
    , m_app(app)
    , m_applySkin(std::move(applySkin))
    , m_openAddress(std::move(openAddress))
    , m_remembered(app.Skin())
{
    setObjectName(QStringLiteral("dlgSelectSkin"));
    setWindowTitle(tr("Select Skin"));
    resize(kWidth, kHeight);

    lbSkins = new QListWidget(this);
    lbSkins->setObjectName(QStringLiteral("lbSkins"));
    lbSkins->setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette listPalette = lbSkins->palette();
    listPalette.setColor(QPalette::Base, Qt::black);
    listPalette.setColor(QPalette::Text, Qt::white);
    lbSkins->setPalette(listPalette);

    btnDownload = new QPushButton(tr("&Download"), this);
    btnDownload->setObjectName(QStringLiteral("btnDownload"));
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnOK = new QPushButton(tr("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDownload);
    buttons->addStretch(1);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->addWidget(lbSkins, 1);
    layout->addLayout(buttons);

    // Each name chosen, by click or by key, is tried at once.
    connect(lbSkins, &QListWidget::currentRowChanged, this, &TdlgSelectSkin::ChooseSkin);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &TdlgSelectSkin::reject);
    // The skins page lies under the "Home Page Address" setting; without one the
    // program knows no such page and the button is not shown.
    const std::string skinsPage = AddressUnderHomePage(m_app.HomePageAddress(), kSkinsPage);
    btnDownload->setVisible(!skinsPage.empty());
    connect(btnDownload, &QPushButton::clicked, this,
            [this, skinsPage]
            {
                if (m_openAddress)
                    m_openAddress(skinsPage);
            });
    Paint();
}

void TdlgSelectSkin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ListSkinNames();
    CentreOnScreen();
}

void TdlgSelectSkin::ListSkinNames()
{
    const QSignalBlocker block(lbSkins);
    lbSkins->clear();
    const std::string current = m_app.Skin();
    for (const std::string& skin : ListSkins(m_app.ProgramFolder()))
    {
        lbSkins->addItem(QString::fromStdString(skin));
        if (skin == current)
            lbSkins->setCurrentRow(lbSkins->count() - 1);
    }
}

void TdlgSelectSkin::ChooseSkin(int row)
{
    const QListWidgetItem* item = lbSkins->item(row);
    if (!item)
        return;
    m_app.SetSkin(item->text().toStdString());
    if (m_applySkin)
        m_applySkin();
    Paint();
}

void TdlgSelectSkin::reject()
{
    m_app.SetSkin(m_remembered);
    if (m_applySkin)
        m_applySkin();
    QDialog::reject();
}

void TdlgSelectSkin::Paint()
{
    QPalette dialogPalette = palette();
    dialogPalette.setColor(QPalette::Window, SchemeColor(m_app, 1));
    setPalette(dialogPalette);
    setAutoFillBackground(true);
}

void TdlgSelectSkin::CentreOnScreen()
{
    const QScreen* display = screen();
    if (!display)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(display->availableGeometry().center());
    move(frame.topLeft());
}

} // namespace hx
