#pragma once

// TdlgAutoHarbex: the "Auto-Harbex" dialog. An address handed to the program (the
// first command-line parameter, or dropped on the main window) becomes a task with
// one click: a grey header shows the address, and below it a column of flat
// buttons offers every profile by name, then "Use Harbex Wizard..." and "Cancel".
// A profile button closes the dialog with OK and that profile; the wizard button
// closes it with OK and no profile (the task editor sets the task up); "Cancel"
// closes it with Cancel.
//
// The dialog is 330 pixels wide; its client height is (profiles + 2) button
// heights, the header's height and 16 pixels. An address too wide for the header
// loses the parts between its "/" separators from the middle on, so that its last
// part stays visible.
//
// Threads: window thread only.

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

class QFontMetrics;
class QLabel;
class QPushButton;
class QWidget;

namespace hx
{

class TdlgAutoHarbex final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgAutoHarbex)

public:
    static constexpr int kWidth = 330;
    static constexpr int kButtonHeight = 24;
    static constexpr int kHeaderHeight = 44;

    TdlgAutoHarbex(const std::string& address, const std::vector<std::string>& profiles, QWidget* parent = nullptr);

    // The profile chosen with OK; empty when "Use Harbex Wizard..." was chosen.
    const std::string& Profile() const { return m_profile; }

    // The names of the profile files ("*.hxp") of a folder, without extension, in
    // alphabetical order with letter case ignored.
    static std::vector<std::string> ProfileNames(const std::string& profilesFolder);

    // The address as it fits into `width` pixels: whole when it fits, otherwise with
    // the parts between "/" separators replaced by "..." from the middle on (the
    // host last), so that the last part stays; when even that is too wide, the end
    // of the text stays.
    static QString ShortenAddress(const QString& address, const QFontMetrics& metrics, int width);
    // The room the header gives the address, in pixels.
    static int AddressWidth();

    // The header and its address line, and the buttons from top to bottom.
    QWidget* pnlHeader = nullptr;
    QLabel* lblAddress = nullptr;
    std::vector<QPushButton*> Buttons;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPushButton* AddButton(const QString& caption);
    void FitAddress();

    QString m_address;
    std::string m_profile;
};

} // namespace hx
