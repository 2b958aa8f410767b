#include "schedule/ui/HXdlgEditTaskDialogs.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "core/HXFileTypes.h"

namespace hx
{

namespace
{

// Extension and group nodes the editors never delete: the page group and the
// image group with the members the crawl and the reports rely on.
bool IsProtectedNode(const QString& text)
{
    static const QStringList kProtected = {QStringLiteral("HTML"),   QStringLiteral(".htm"),   QStringLiteral(".html"),
                                           QStringLiteral(".shtm"),  QStringLiteral(".shtml"), QStringLiteral(".asp"),
                                           QStringLiteral("Images"), QStringLiteral(".gif"),   QStringLiteral(".jpg"),
                                           QStringLiteral(".jpeg")};
    return kProtected.contains(text);
}

// The extensions of a group's text: each one ends at a ";", text after the last
// ";" is not an extension.
QStringList ExtensionsOf(const std::string& text)
{
    QStringList result = QString::fromStdString(text).split(QLatin1Char(';'));
    result.removeLast();
    return result;
}

// OK and Cancel in the project's order, OK the default button.
QDialogButtonBox* OkCancelButtons(QDialog& dialog, QPushButton*& ok)
{
    auto* buttons = new QDialogButtonBox(&dialog);
    ok = buttons->addButton(QCoreApplication::translate("HXdlgEditTaskDialogs", "&OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QCoreApplication::translate("HXdlgEditTaskDialogs", "&Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

constexpr int kNodeStateRole = Qt::UserRole + 1;

} // namespace

// --- Account dialog -------------------------------------------------------------

TdlgUserNamePassword::TdlgUserNamePassword(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Account/Password"));
    edUserName = new QLineEdit(this);
    edPassword = new QLineEdit(this);
    edPassword->setEchoMode(QLineEdit::Password);
    auto* form = new QFormLayout;
    form->addRow(tr("Account:"), edUserName);
    form->addRow(tr("Password:"), edPassword);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(*this, btnOK));
    connect(edUserName, &QLineEdit::textChanged, this, &TdlgUserNamePassword::UpdateOK);
    connect(edPassword, &QLineEdit::textChanged, this, &TdlgUserNamePassword::UpdateOK);
    UpdateOK();
}

void TdlgUserNamePassword::UpdateOK()
{
    btnOK->setEnabled(!edUserName->text().isEmpty() && !edPassword->text().isEmpty());
}

// --- URL filter dialog ----------------------------------------------------------

QString URLFilterLabel(const QString& kind, const QString& tag)
{
    const bool include = kind == QStringLiteral("Inc");
    if (!include && kind != QStringLiteral("Ex"))
        return QCoreApplication::translate(
            "HXdlgEditTaskDialogs",
            "All links must contain all of the following characters, words or phrases. Separate each with a comma.");
    QString links;
    if (tag == QStringLiteral("[AL]"))
        links = QCoreApplication::translate("HXdlgEditTaskDialogs", "All links");
    else if (tag == QStringLiteral("[PL]"))
        links = QCoreApplication::translate("HXdlgEditTaskDialogs", "All PAGE links");
    else if (tag == QStringLiteral("[RL]"))
        links = QCoreApplication::translate("HXdlgEditTaskDialogs", "All RESOURCE links");
    else
        return URLFilterLabel(QString(), QString());
    return links +
           (include
                ? QCoreApplication::translate("HXdlgEditTaskDialogs",
                                              " MUST contain all of the following characters, words or phrases.")
                : QCoreApplication::translate("HXdlgEditTaskDialogs",
                                              " MUST NOT contain any of the following characters, words or phrases.")) +
           QCoreApplication::translate("HXdlgEditTaskDialogs", " Separate each with a comma.");
}

TdlgEditURLFilter::TdlgEditURLFilter(QWidget* parent, const QString& kind, const QString& tag)
    : QDialog(parent)
{
    setWindowTitle(tr("Add URL Filter"));
    lblHint = new QLabel(URLFilterLabel(kind, tag), this);
    lblHint->setWordWrap(true);
    edFilter = new QLineEdit(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblHint);
    layout->addWidget(edFilter);
    layout->addWidget(OkCancelButtons(*this, btnOK));
    connect(edFilter, &QLineEdit::textChanged, this, [this] { btnOK->setEnabled(!edFilter->text().isEmpty()); });
    btnOK->setEnabled(false);
    setMinimumWidth(420);
}

// --- File type group dialog -----------------------------------------------------

TdlgEditFileType::TdlgEditFileType(QWidget* parent, THXSettingsStore& store)
    : QDialog(parent)
    , m_store(store)
{
    setWindowTitle(tr("New File Type"));
    edFileType = new QLineEdit(this);
    edExtensions = new QLineEdit(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("File Type:"), this));
    layout->addWidget(edFileType);
    layout->addWidget(new QLabel(tr("File Extensions:"), this));
    layout->addWidget(new QLabel(tr("Enter one or more file extensions (separated by semicolons):"), this));
    layout->addWidget(edExtensions);
    layout->addWidget(OkCancelButtons(*this, btnOK));
    setMinimumWidth(360);
}

void TdlgEditFileType::EditGroup(const QString& groupName)
{
    setWindowTitle(tr("Edit File Type"));
    edFileType->setText(groupName);
    const TFileTypeGroups groups = ReadGroups(m_store);
    const auto found = std::find(groups.names.begin(), groups.names.end(), groupName.toStdString());
    if (found != groups.names.end())
        edExtensions->setText(
            QString::fromStdString(groups.texts[static_cast<std::size_t>(found - groups.names.begin())]));
}

void TdlgEditFileType::accept()
{
    QString text = edExtensions->text();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char(';')))
    {
        text += QLatin1Char(';');
        edExtensions->setText(text);
    }
    WriteGroup(m_store, edFileType->text().toStdString(), text.toStdString());
    QDialog::accept();
}

// --- File-type tree ---------------------------------------------------------------

TFileTypeTree::TFileTypeTree(QWidget* parent, THXSettingsStore& store)
    : QGroupBox(tr("Filetypes: "), parent)
    , m_store(store)
{
    tvFileTypes = new QTreeWidget(this);
    tvFileTypes->setHeaderHidden(true);
    cbAll = new QCheckBox(tr("All"), this);
    btnNew = new QPushButton(tr("&New..."), this);
    btnEdit = new QPushButton(tr("&Edit..."), this);
    btnDelete = new QPushButton(tr("&Delete"), this);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cbAll);
    buttons->addWidget(btnNew);
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnDelete);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(tvFileTypes, 1);
    layout->addLayout(buttons);

    connect(tvFileTypes, &QTreeWidget::itemChanged, this, &TFileTypeTree::ItemChanged);
    connect(tvFileTypes, &QTreeWidget::currentItemChanged, this, &TFileTypeTree::UpdateDelete);
    connect(cbAll, &QCheckBox::clicked, this,
            [this](bool checked)
            {
                tvFileTypes->setEnabled(!checked);
                emit TicksChanged();
            });
    connect(btnNew, &QPushButton::clicked, this, &TFileTypeTree::NewClick);
    connect(btnEdit, &QPushButton::clicked, this, &TFileTypeTree::EditClick);
    connect(btnDelete, &QPushButton::clicked, this, &TFileTypeTree::DeleteClick);
}

void TFileTypeTree::Fill(const TStringList& ticked)
{
    m_filling = true;
    tvFileTypes->clear();
    const TFileTypeGroups groups = ReadGroups(m_store);
    for (std::size_t g = 0; g < groups.names.size(); ++g)
    {
        auto* group = new QTreeWidgetItem(tvFileTypes, {QString::fromStdString(groups.names[g])});
        int tickedCount = 0;
        const QStringList extensions = ExtensionsOf(groups.texts[g]);
        for (const QString& extension : extensions)
        {
            auto* node = new QTreeWidgetItem(group, {extension});
            const bool on = std::find(ticked.begin(), ticked.end(), extension.toStdString()) != ticked.end();
            tickedCount += on ? 1 : 0;
            node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
            node->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
            node->setData(0, kNodeStateRole, node->checkState(0));
        }
        // A group without extensions has no tick mark.
        if (extensions.isEmpty())
            continue;
        group->setFlags(group->flags() | Qt::ItemIsUserCheckable);
        group->setCheckState(0, tickedCount == 0                   ? Qt::Unchecked
                                : tickedCount == extensions.size() ? Qt::Checked
                                                                   : Qt::PartiallyChecked);
        group->setData(0, kNodeStateRole, group->checkState(0));
    }
    cbAll->setChecked(ticked.empty());
    tvFileTypes->setEnabled(ticked.empty() ? false : true);
    m_filling = false;
    UpdateDelete();
}

// A click on a tick: unticked becomes ticked, anything else unticked; a group hands
// its state to its extensions and an extension makes its group count again.
void TFileTypeTree::ItemChanged(QTreeWidgetItem* item)
{
    if (m_filling)
        return;
    m_filling = true;
    const auto before = static_cast<Qt::CheckState>(item->data(0, kNodeStateRole).toInt());
    const Qt::CheckState now = before == Qt::Unchecked ? Qt::Checked : Qt::Unchecked;
    item->setCheckState(0, now);
    item->setData(0, kNodeStateRole, now);
    if (item->parent() == nullptr)
    {
        for (int i = 0; i < item->childCount(); ++i)
        {
            item->child(i)->setCheckState(0, now);
            item->child(i)->setData(0, kNodeStateRole, now);
        }
    }
    else
    {
        QTreeWidgetItem* group = item->parent();
        int on = 0;
        for (int i = 0; i < group->childCount(); ++i)
            on += group->child(i)->checkState(0) == Qt::Checked ? 1 : 0;
        const Qt::CheckState state = on == 0                     ? Qt::Unchecked
                                     : on == group->childCount() ? Qt::Checked
                                                                 : Qt::PartiallyChecked;
        group->setCheckState(0, state);
        group->setData(0, kNodeStateRole, state);
    }
    m_filling = false;
    emit TicksChanged();
}

TStringList TFileTypeTree::TickedInTree() const
{
    TStringList result;
    for (int g = 0; g < tvFileTypes->topLevelItemCount(); ++g)
    {
        const QTreeWidgetItem* group = tvFileTypes->topLevelItem(g);
        for (int i = 0; i < group->childCount(); ++i)
            if (group->child(i)->checkState(0) == Qt::Checked)
                result.push_back(group->child(i)->text(0).toStdString());
    }
    return result;
}

TStringList TFileTypeTree::TickedExtensions() const
{
    return cbAll->isChecked() ? TStringList() : TickedInTree();
}

void TFileTypeTree::UpdateDelete()
{
    const QTreeWidgetItem* current = tvFileTypes->currentItem();
    btnDelete->setEnabled(current != nullptr && !IsProtectedNode(current->text(0)));
}

void TFileTypeTree::NewClick()
{
    TdlgEditFileType dialog(this, m_store);
    if (dialog.exec() == QDialog::Accepted)
        Fill(TickedExtensions());
}

void TFileTypeTree::EditClick()
{
    QTreeWidgetItem* current = tvFileTypes->currentItem();
    if (current == nullptr)
        return;
    QTreeWidgetItem* group = current->parent() != nullptr ? current->parent() : current;
    TdlgEditFileType dialog(this, m_store);
    dialog.EditGroup(group->text(0));
    if (dialog.exec() == QDialog::Accepted)
        Fill(TickedExtensions());
}

void TFileTypeTree::DeleteClick()
{
    QTreeWidgetItem* current = tvFileTypes->currentItem();
    if (current == nullptr || IsProtectedNode(current->text(0)))
        return;
    const bool isExtension = current->parent() != nullptr;
    const QString question = isExtension
                                 ? tr("Are you sure you want to delete the %1 file type?").arg(current->text(0))
                                 : tr("Are you sure you want to delete the %1 file type group?").arg(current->text(0));
    if (QMessageBox::question(this, tr("Confirm"), question, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    if (isExtension)
    {
        const std::string name = current->parent()->text(0).toStdString();
        const TFileTypeGroups groups = ReadGroups(m_store);
        const auto found = std::find(groups.names.begin(), groups.names.end(), name);
        if (found != groups.names.end())
        {
            // Only the whole entry goes: ".mp;" out of ".mp3;.mp;" leaves ".mp3;".
            QStringList extensions = ExtensionsOf(groups.texts[static_cast<std::size_t>(found - groups.names.begin())]);
            extensions.removeOne(current->text(0));
            const QString text =
                extensions.isEmpty() ? QString() : extensions.join(QLatin1Char(';')) + QLatin1Char(';');
            WriteGroup(m_store, name, text.toStdString());
        }
    }
    else
        DeleteGroup(m_store, current->text(0).toStdString());
    Fill(TickedExtensions());
}

// --- URL filter list --------------------------------------------------------------

TURLFilterList::TURLFilterList(QWidget* parent, const QString& kind)
    : QGroupBox(kind == QStringLiteral("Inc") ? tr("Include:") : tr("Exclude:"), parent)
    , m_kind(kind)
{
    const bool include = kind == QStringLiteral("Inc");
    lblHint = new QLabel(include ? tr("URL's MUST contain one of the following characters, words or phrases.")
                                 : tr("URL's MUST NOT contain any of the following characters, words or phrases."),
                         this);
    lblHint->setWordWrap(true);
    lbFilters = new QListWidget(this);
    lbFilters->setAccessibleName(include ? tr("URL's to include") : tr("URL's to exclude"));
    btnAdd = new QPushButton(tr("Add"), this);
    btnEdit = new QPushButton(tr("Edit..."), this);
    btnRemove = new QPushButton(tr("Remove"), this);

    auto* menu = new QMenu(btnAdd);
    const QString verb = include ? tr(" must contain...") : tr(" must not contain...");
    menu->addAction(tr("All links") + verb, this, [this] { AddEntry(QStringLiteral("[AL]")); });
    menu->addAction(tr("Page links") + verb, this, [this] { AddEntry(QStringLiteral("[PL]")); });
    menu->addAction(tr("Resource links") + verb, this, [this] { AddEntry(QStringLiteral("[RL]")); });
    btnAdd->setMenu(menu);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnEdit);
    buttons->addWidget(btnRemove);
    buttons->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(lbFilters, 1);
    row->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblHint);
    layout->addLayout(row);

    connect(lbFilters, &QListWidget::currentRowChanged, this, &TURLFilterList::UpdateButtons);
    connect(btnEdit, &QPushButton::clicked, this, &TURLFilterList::EditClick);
    connect(btnRemove, &QPushButton::clicked, this,
            [this]
            {
                delete lbFilters->takeItem(lbFilters->currentRow());
                UpdateButtons();
            });
    UpdateButtons();
}

void TURLFilterList::SetEntries(const TStringList& entries)
{
    lbFilters->clear();
    for (const std::string& entry : entries)
        lbFilters->addItem(QString::fromStdString(entry));
    UpdateButtons();
}

TStringList TURLFilterList::Entries() const
{
    TStringList result;
    for (int i = 0; i < lbFilters->count(); ++i)
        result.push_back(lbFilters->item(i)->text().toStdString());
    return result;
}

void TURLFilterList::AddEntry(const QString& tag)
{
    TdlgEditURLFilter dialog(this, m_kind, tag);
    if (dialog.exec() != QDialog::Accepted)
        return;
    lbFilters->addItem(tag + dialog.edFilter->text());
    emit Added();
}

void TURLFilterList::EditClick()
{
    QListWidgetItem* current = lbFilters->currentItem();
    if (current == nullptr)
        return;
    // The label's tag comes from the whole list: the first tag any entry holds.
    QString tag;
    for (const QString& candidate : {QStringLiteral("[AL]"), QStringLiteral("[PL]"), QStringLiteral("[RL]")})
    {
        for (int i = 0; i < lbFilters->count() && tag.isEmpty(); ++i)
            if (lbFilters->item(i)->text().contains(candidate))
                tag = candidate;
        if (!tag.isEmpty())
            break;
    }
    if (tag.isEmpty())
        return;
    TdlgEditURLFilter dialog(this, m_editGivesKind ? m_kind : QString(), tag);
    dialog.edFilter->setText(current->text());
    if (dialog.exec() == QDialog::Accepted)
        current->setText(dialog.edFilter->text());
}

void TURLFilterList::UpdateButtons()
{
    const bool selected = lbFilters->currentRow() >= 0;
    btnEdit->setEnabled(selected);
    btnRemove->setEnabled(selected);
}

} // namespace hx
