#include "schedule/ui/HXdlgTaskReport.h"

#include <exception>
#include <utility>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QVBoxLayout>

#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

constexpr int kWindowHeight = 80;
constexpr int kWindowWidth = 360;

} // namespace

TdlgTaskReport::TdlgTaskReport(THXTask& task, std::string bannerURL, TPageOpener pages, QWidget* parent)
    : QDialog(parent)
    , m_report(task, std::move(bannerURL))
    , m_pages(std::move(pages))
{
    setObjectName("dlgTaskReport");
    setWindowTitle(tr("Task Reports"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    lblStatus = new QLabel(tr("Creating Task Summary"), this);
    lblStatus->setObjectName("lblStatus");
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName("pbProgress");
    pbProgress->setRange(0, 100);
    pbProgress->setValue(0);
    pbProgress->setAccessibleName(tr("Progress"));
    layout->addWidget(lblStatus);
    layout->addWidget(pbProgress);
    resize(kWindowWidth, kWindowHeight);
}

TdlgTaskReport::~TdlgTaskReport()
{
    // The writer only posts to this window; what it posts after this point is
    // dropped with the window.
    if (m_writer.joinable())
        m_writer.join();
}

void TdlgTaskReport::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Only the status label and the progress bar show.
    setFixedHeight(kWindowHeight);
}

void TdlgTaskReport::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (!m_started)
    {
        m_started = true;
        StartWriting();
    }
}

void TdlgTaskReport::closeEvent(QCloseEvent* event)
{
    if (m_ended)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void TdlgTaskReport::keyPressEvent(QKeyEvent* event)
{
    // Escape would reject the dialog: it ends only when the writing ends.
    if (event->key() == Qt::Key_Escape)
        event->ignore();
    else
        QDialog::keyPressEvent(event);
}

void TdlgTaskReport::StartWriting()
{
    setCursor(Qt::WaitCursor);
    m_writer = std::thread(
        [this]
        {
            std::string summary;
            std::string error;
            try
            {
                // Each step hops to the window thread to be shown.
                summary = m_report.CreateReports(
                    [this](const std::string& label, int percent)
                    {
                        QMetaObject::invokeMethod(
                            this, [this, label, percent] { ShowStep(label, percent); }, Qt::QueuedConnection);
                    });
            }
            catch (const std::exception& failure)
            {
                error = failure.what();
            }
            QMetaObject::invokeMethod(
                this, [this, summary, error] { WritingEnded(summary, error); }, Qt::QueuedConnection);
        });
}

void TdlgTaskReport::ShowStep(const std::string& label, int percent)
{
    lblStatus->setText(tr(label.c_str()));
    pbProgress->setValue(percent);
}

void TdlgTaskReport::WritingEnded(const std::string& summary, const std::string& error)
{
    m_ended = true;
    if (m_writer.joinable())
        m_writer.join();
    unsetCursor();
    hide();
    std::string message = error;
    if (message.empty())
    {
        pbProgress->setValue(100);
        if (!m_pages.OpenPage(summary))
            message = LaunchFailedMessage(m_pages.PageRequest(summary));
    }
    if (!message.empty())
    {
        if (ShowError)
            ShowError(message);
        else
            QMessageBox::critical(parentWidget(), parentWidget() ? parentWidget()->windowTitle() : windowTitle(),
                                  Text(message));
    }
    // A summary that was written is reported even when no browser could show it.
    emit Finished(error.empty() ? Text(summary) : QString());
    deleteLater();
}

} // namespace hx
