#include "schedule/ui/HXRenderBox.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>

#include "core/HXProfile.h"
#include "engine/HXRenderStep.h"
#include "net/HXRenderClient.h"

namespace hx
{

TRenderBox::TRenderBox(QWidget* parent)
    : QGroupBox(tr("Rendering:"), parent)
{
    cbRenderPages = new QCheckBox(tr("Render Pages"), this);
    cbRenderPages->setToolTip(
        tr("Load every page again in an offscreen browser, with its scripts, and keep what they built: the "
           "rendered page is saved, and the data files and pictures it used are copied. For sites whose "
           "pages are built by scripts."));
    auto* timeOutLabel = new QLabel(tr("Render Time Out (seconds):"), this);
    edRenderTimeOut = new QSpinBox(this);
    edRenderTimeOut->setRange(kMinRenderTimeOut, kMaxRenderTimeOut);
    edRenderTimeOut->setValue(kDefaultRenderTimeOut);
    timeOutLabel->setBuddy(edRenderTimeOut);
    edRenderTimeOut->setToolTip(tr("A page is taken as it shows once its network has been idle for half a "
                                   "second, or when this time has passed."));
    cbKeepScripts = new QCheckBox(tr("Keep Scripts"), this);
    cbKeepScripts->setToolTip(tr("Keep the page's scripts in the saved page. Off, the copy shows the rendered "
                                 "content instead of running the site's application again without its data."));
    auto* timeOutRow = new QHBoxLayout;
    timeOutRow->addWidget(timeOutLabel);
    timeOutRow->addWidget(edRenderTimeOut);
    timeOutRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cbRenderPages);
    layout->addLayout(timeOutRow);
    layout->addWidget(cbKeepScripts);
    connect(cbRenderPages, &QCheckBox::clicked, this, &TRenderBox::RenderPagesClicked);
    connect(cbKeepScripts, &QCheckBox::clicked, this, &TRenderBox::Changed);
    connect(edRenderTimeOut, &QSpinBox::valueChanged, this,
            [this]
            {
                if (!m_showing)
                    emit Changed();
            });
    UpdateEnabled();
}

void TRenderBox::ShowProfile(const THXProfile& profile)
{
    m_showing = true;
    cbRenderPages->setChecked(profile.RenderPages);
    edRenderTimeOut->setValue(profile.RenderTimeOut);
    cbKeepScripts->setChecked(profile.KeepScripts);
    UpdateEnabled();
    m_showing = false;
}

void TRenderBox::CopyInto(THXProfile& profile) const
{
    profile.RenderPages = cbRenderPages->isChecked();
    profile.RenderTimeOut = edRenderTimeOut->value();
    profile.KeepScripts = cbKeepScripts->isChecked();
}

void TRenderBox::RenderPagesClicked(bool checked)
{
    if (checked && !RenderProgramPresent(RenderProgramPath()))
    {
        cbRenderPages->setChecked(false);
        QMessageBox::information(this, tr("Render Pages"),
                                 tr("Render Pages needs harbex-render (Qt WebEngine), which is not installed. "
                                    "Pages are copied as the site sends them."));
        return;
    }
    UpdateEnabled();
    emit Changed();
}

void TRenderBox::UpdateEnabled()
{
    edRenderTimeOut->setEnabled(cbRenderPages->isChecked());
    cbKeepScripts->setEnabled(cbRenderPages->isChecked());
}

} // namespace hx
