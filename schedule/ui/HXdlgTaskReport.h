#pragma once

// TdlgTaskReport: the "Task Reports" window. It shows the writing of a task's
// summary, page index and image index: a status label naming the step and a
// progress bar, 80 pixels high in all. On its first paint it starts the writing,
// then opens the summary in the browser and releases itself.
//
// The pages are written by the report writer on a thread of the window's own, so
// the windows stay responsive while a long queue is read; the writer hands each
// step's label and percentage back to the window thread. The report takes what it
// needs of the task when the window is made, so the task may change meanwhile.

#include <QDialog>

#include <functional>
#include <string>
#include <thread>

#include "core/ui/HXPageOpener.h"
#include "reports/HXTaskReport.h"

class QLabel;
class QProgressBar;

namespace hx
{

class THXTask;

class TdlgTaskReport final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TdlgTaskReport)

public:
    // Made on the window thread for the task, whose reports' banner frame loads
    // bannerURL; the summary is opened through pages. Show it with show().
    TdlgTaskReport(THXTask& task, std::string bannerURL, TPageOpener pages, QWidget* parent);
    // Waits for the writing to end (a window closed with the program).
    ~TdlgTaskReport() override;

    // A failed writing's message. Default: an error box over the parent window.
    std::function<void(const std::string& message)> ShowError;

    QLabel* lblStatus = nullptr;
    QProgressBar* pbProgress = nullptr;

signals:
    // The writing ended: the summary's path, empty when it failed. The window
    // releases itself after this.
    void Finished(const QString& summary);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The window stays until the reports are written.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StartWriting();
    void ShowStep(const std::string& label, int percent);
    void WritingEnded(const std::string& summary, const std::string& error);

    THXTaskReport m_report;
    TPageOpener m_pages;
    // Set on the first paint: the reports are written once.
    bool m_started = false;
    bool m_ended = false;
    std::thread m_writer;
};

} // namespace hx
