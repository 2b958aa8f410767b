#pragma once

// TRenderBox: the "Rendering:" section of the profile and task editors: "Render
// Pages", its "Render Time Out" in seconds and "Keep Scripts". Ticking "Render
// Pages" where the renderer (harbex-render, Qt WebEngine) is not installed is
// refused with a message; a profile that has it on keeps it, and its copies go on
// without rendering.

#include <QGroupBox>

class QCheckBox;
class QSpinBox;

namespace hx
{

class THXProfile;

class TRenderBox : public QGroupBox
{
    Q_OBJECT

public:
    explicit TRenderBox(QWidget* parent);

    // The profile's values; no Changed while they are set.
    void ShowProfile(const THXProfile& profile);
    void CopyInto(THXProfile& profile) const;

    QCheckBox* cbRenderPages = nullptr;
    QSpinBox* edRenderTimeOut = nullptr;
    QCheckBox* cbKeepScripts = nullptr;

signals:
    // The person changed one of the values.
    void Changed();

private:
    void RenderPagesClicked(bool checked);
    void UpdateEnabled();
    bool m_showing = false;
};

} // namespace hx
