#pragma once

// TdlgSelectSkin: the "Select Skin" dialog. It lists the skins (the sub-folders of
// the program's "Skins" folder) and tries each one a person clicks at once: the
// "Skin" setting is written and the main window takes on the skin's look. "&OK"
// keeps the skin chosen last; "&Cancel", Escape or closing the dialog puts back the
// skin that was in force when the dialog opened. "&Download" opens the page where
// more skins can be had (the "skins/" page under the "Home Page Address" setting;
// the button is hidden while that setting is empty) and leaves the dialog open.
//
// Threads: window thread only.

#include <QDialog>

#include <functional>
#include <string>

class QListWidget;
class QPushButton;

namespace hx
{

class THXApp;

class TdlgSelectSkin final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgSelectSkin)

public:
    // `applySkin` gives the windows the look of the skin in force; `openAddress`
    // opens an address in the desktop's browser.
    TdlgSelectSkin(THXApp& app, std::function<void()> applySkin,
                   std::function<void(const std::string& address)> openAddress, QWidget* parent = nullptr);

    void reject() override;

    QListWidget* lbSkins = nullptr;
    QPushButton* btnDownload = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnOK = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ListSkinNames();
    void ChooseSkin(int row);
    void Paint();
    void CentreOnScreen();

    THXApp& m_app;
    std::function<void()> m_applySkin;
    std::function<void(const std::string&)> m_openAddress;
    // The skin in force when the dialog opened: Cancel returns to it.
    std::string m_remembered;
};

} // namespace hx
