#include "schedule/ui/HXdlgCookies.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <string>

#include "core/HXCookieJar.h"

namespace hx
{

namespace
{

// Where a row keeps the cookie's key; the name column shows the name itself.
constexpr int kDomainKeyRole = Qt::UserRole;

} // namespace

QString CookieExpiryText(std::int64_t expires)
{
    if (expires == 0)
        return QCoreApplication::translate("HXdlgCookies", "Session");
    // Year first and in full: a cookie may last for decades.
    return QDateTime::fromSecsSinceEpoch(expires).toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

TdlgCookies::TdlgCookies(QWidget* parent, THXCookieJar& jar)
    : QDialog(parent)
    , m_jar(jar)
{
    setWindowTitle(tr("Cookies"));
    lvCookies = new QTreeWidget(this);
    lvCookies->setAccessibleName(tr("Cookies of this task"));
    lvCookies->setHeaderLabels({tr("Name"), tr("Domain"), tr("Path"), tr("Expires")});
    lvCookies->setRootIsDecorated(false);
    lvCookies->setSelectionMode(QAbstractItemView::SingleSelection);
    lvCookies->setMinimumWidth(lvCookies->fontMetrics().averageCharWidth() * 70);
    lvCookies->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    btnImport = new QPushButton(tr("&Import..."), this);
    btnImport->setToolTip(tr("Add the cookies of a cookies.txt file (Netscape format, as wget, curl and "
                             "browser extensions write it)."));
    btnDelete = new QPushButton(tr("&Delete"), this);
    btnDeleteAll = new QPushButton(tr("Delete &All"), this);
    auto* buttons = new QDialogButtonBox(this);
    btnClose = buttons->addButton(tr("&Close"), QDialogButtonBox::AcceptRole);
    btnClose->setDefault(true);

    auto* side = new QVBoxLayout;
    side->addWidget(btnImport);
    side->addWidget(btnDelete);
    side->addWidget(btnDeleteAll);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(lvCookies, 1);
    middle->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(middle, 1);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &TdlgCookies::accept);
    connect(btnImport, &QPushButton::clicked, this, &TdlgCookies::ImportClick);
    connect(btnDelete, &QPushButton::clicked, this, &TdlgCookies::DeleteClick);
    connect(btnDeleteAll, &QPushButton::clicked, this, &TdlgCookies::DeleteAllClick);
    connect(lvCookies, &QTreeWidget::itemSelectionChanged, this, &TdlgCookies::UpdateButtons);
    FillList();
}

void TdlgCookies::FillList()
{
    lvCookies->clear();
    for (const THXCookie& cookie : m_jar.Cookies())
    {
        // A domain cookie is shown as cookies.txt writes it, with a leading dot:
        // it goes to every host below the domain too.
        const QString domain = QString::fromStdString(cookie.HostOnly ? cookie.Domain : "." + cookie.Domain);
        auto* row =
            new QTreeWidgetItem(lvCookies, {QString::fromStdString(cookie.Name), domain,
                                            QString::fromStdString(cookie.Path), CookieExpiryText(cookie.Expires)});
        row->setData(kColumnDomain, kDomainKeyRole, QString::fromStdString(cookie.Domain));
    }
    UpdateButtons();
}

void TdlgCookies::UpdateButtons()
{
    btnDelete->setEnabled(!lvCookies->selectedItems().isEmpty());
    btnDeleteAll->setEnabled(lvCookies->topLevelItemCount() > 0);
}

bool TdlgCookies::ImportFile(const QString& path, QString& error)
{
    // Read into a jar of its own first: a file without a single usable line is
    // reported rather than taken for an empty success.
    THXCookieJar imported;
    std::string message;
    if (!imported.LoadFile(path.toStdString(), message))
    {
        error = QString::fromStdString(message);
        return false;
    }
    if (imported.Empty())
    {
        error = tr("%1\n\nThis file holds no cookie that can be used: it is not a cookies.txt file in "
                   "the Netscape format, or all its cookies have expired.")
                    .arg(path);
        return false;
    }
    const std::int64_t now = CookieClockNow();
    for (THXCookie& cookie : imported.Cookies())
        m_jar.Add(std::move(cookie), now);
    FillList();
    return true;
}

void TdlgCookies::ImportClick()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Import Cookies"), QString(), tr("Cookie files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!ImportFile(path, error))
        QMessageBox::warning(this, windowTitle(), error);
}

void TdlgCookies::DeleteClick()
{
    const QList<QTreeWidgetItem*> selected = lvCookies->selectedItems();
    if (selected.isEmpty())
        return;
    const QTreeWidgetItem* row = selected.constFirst();
    const int index = lvCookies->indexOfTopLevelItem(selected.constFirst());
    m_jar.Remove(row->data(kColumnDomain, kDomainKeyRole).toString().toStdString(),
                 row->text(kColumnPath).toStdString(), row->text(kColumnName).toStdString());
    FillList();
    // The row that took the deleted one's place is selected, so several can go in turn.
    if (lvCookies->topLevelItemCount() > 0)
        lvCookies->setCurrentItem(lvCookies->topLevelItem(qMin(index, lvCookies->topLevelItemCount() - 1)));
}

void TdlgCookies::DeleteAllClick()
{
    m_jar.Clear();
    FillList();
}

} // namespace hx
