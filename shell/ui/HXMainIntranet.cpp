// The main window's Personal Intranet tree: the folders and files under the
// Personal Intranet folder, read from disk as they are (a file system model, so a
// folder is listed only when it is opened and changes on disk show up by
// themselves). Choosing its tab shows the Browse view, which then follows the
// tree's selection; Enter or a double click opens a file in the desktop's program
// for it, and the right-click menu opens, browses, shows the folder or moves an
// entry to the desktop's trash. Entries can be dragged out as files.

#include "shell/ui/HXMain.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTabWidget>
#include <QTreeView>

#include "core/HXApp.h"
#include "core/HXFiles.h"

namespace hx
{

QWidget* TFormHarbex::CreateIntranetTree(QWidget* parent)
{
    tvIntranet = new QTreeView(parent);
    tvIntranet->setObjectName("tvIntranet");
    tvIntranet->setAccessibleName(tr("Personal Intranet"));
    tvIntranet->setHeaderHidden(true);
    tvIntranet->setDragEnabled(true);
    tvIntranet->setDragDropMode(QAbstractItemView::DragOnly);
    tvIntranet->setContextMenuPolicy(Qt::CustomContextMenu);
    m_intranetModel = new QFileSystemModel(tvIntranet);
    m_intranetModel->setReadOnly(true);
    m_intranetModel->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    tvIntranet->setModel(m_intranetModel);
    // The names only: size, type and date are the contents view's business.
    for (int column = 1; column < m_intranetModel->columnCount(); ++column)
        tvIntranet->hideColumn(column);
    tvIntranet->installEventFilter(this);
    connect(tvIntranet, &QTreeView::doubleClicked, this,
            [this](const QModelIndex& index)
            {
                if (!m_intranetModel->isDir(index))
                    OpenWithDesktop(m_intranetModel->filePath(index).toStdString());
            });
    connect(tvIntranet, &QTreeView::customContextMenuRequested, this, &TFormHarbex::ShowIntranetMenu);
    return tvIntranet;
}

void TFormHarbex::RefreshIntranetTree()
{
    const QString folder = QString::fromStdString(m_app.GetIntranetFolder());
    QDir().mkpath(folder);
    const QModelIndex root = m_intranetModel->setRootPath(folder);
    tvIntranet->setRootIndex(root);
}

std::string TFormHarbex::SelectedIntranetPath() const
{
    const QModelIndex index = tvIntranet ? tvIntranet->currentIndex() : QModelIndex();
    return index.isValid() ? m_intranetModel->filePath(index).toStdString() : std::string();
}

void TFormHarbex::ShowIntranetMenu(const QPoint& at)
{
    const QModelIndex index = tvIntranet->indexAt(at);
    if (index.isValid())
        tvIntranet->setCurrentIndex(index);
    const QString path =
        index.isValid() ? m_intranetModel->filePath(index) : QString::fromStdString(m_app.GetIntranetFolder());
    QMenu menu(this);
    menu.setObjectName("pmIntranet");
    QAction* open = menu.addAction(tr("&Open"));
    QAction* browse = menu.addAction(tr("&Browse"));
    QAction* folder = menu.addAction(tr("Open Containing &Folder"));
    menu.addSeparator();
    QAction* trash = menu.addAction(tr("Move to &Trash"));
    trash->setEnabled(index.isValid());
    QAction* chosen = menu.exec(tvIntranet->viewport()->mapToGlobal(at));
    if (chosen == open)
        OpenWithDesktop(path.toStdString());
    else if (chosen == browse)
        ShowView(TView::Browse);
    else if (chosen == folder)
        OpenWithDesktop(QFileInfo(path).absolutePath().toStdString());
    else if (chosen == trash)
        TrashIntranetEntry(path);
}

void TFormHarbex::TrashIntranetEntry(const QString& path)
{
    if (QMessageBox::question(this, windowTitle(), tr("Are you sure you want to send %1 to the trash?").arg(path),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!QFile::moveToTrash(path))
        QMessageBox::warning(this, windowTitle(), tr("%1 could not be moved to the trash.").arg(path));
}

bool TFormHarbex::IntranetKey(QKeyEvent* key)
{
    const QModelIndex index = tvIntranet->currentIndex();
    if (!index.isValid())
        return false;
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !m_intranetModel->isDir(index))
    {
        OpenWithDesktop(m_intranetModel->filePath(index).toStdString());
        return true;
    }
    if (key->key() == Qt::Key_Delete)
    {
        TrashIntranetEntry(m_intranetModel->filePath(index));
        return true;
    }
    return false;
}

} // namespace hx
