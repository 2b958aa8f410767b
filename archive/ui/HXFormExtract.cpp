#include "archive/ui/HXFormExtract.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/ui/HXQtText.h"

namespace hx
{

TFormExtract::TFormExtract(THXApp& app, QWidget* parent)
    : QDialog(parent)
    , m_app(app)
    , m_folders(new QFileSystemModel(this))
{
    setObjectName(QStringLiteral("FormExtract"));
    setWindowTitle(tr("Unzip"));

    // Left: the folder field over the folder tree.
    auto* folderSide = new QVBoxLayout;
    auto* folderLabel = new QLabel(tr("Unzip To:"), this);
    edFolder = new QLineEdit(this);
    edFolder->setObjectName(QStringLiteral("edFolder"));
    folderLabel->setBuddy(edFolder);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_folders->setRootPath(QStringLiteral("/"));
    tvFolders = new QTreeView(this);
    tvFolders->setObjectName(QStringLiteral("tvFolders"));
    tvFolders->setModel(m_folders);
    tvFolders->setHeaderHidden(true);
    for (int column = 1; column < m_folders->columnCount(); ++column)
        tvFolders->hideColumn(column);
    tvFolders->setMinimumSize(260, 240);
    // The model reads folders in the background: the field's folder is shown again
    // as the levels above it arrive, until the person picks one.
    connect(m_folders, &QFileSystemModel::directoryLoaded, this,
            [this]
            {
                if (!m_folderShown)
                    ShowFolderInTree();
            });
    folderSide->addWidget(folderLabel);
    folderSide->addWidget(edFolder);
    folderSide->addWidget(tvFolders, 1);

    // Right: which entries, the options, the buttons.
    auto* filesGroup = new QGroupBox(tr("Files:"), this);
    auto* filesLayout = new QVBoxLayout(filesGroup);
    rbAllFiles = new QRadioButton(tr("All Files"), filesGroup);
    rbAllFiles->setObjectName(QStringLiteral("rbAllFiles"));
    rbSelectedFiles = new QRadioButton(tr("Selected Files"), filesGroup);
    rbSelectedFiles->setObjectName(QStringLiteral("rbSelectedFiles"));
    rbAllFiles->setChecked(true);
    filesLayout->addWidget(rbAllFiles);
    filesLayout->addWidget(rbSelectedFiles);

    auto* optionsGroup = new QGroupBox(tr("Options:"), this);
    auto* optionsLayout = new QVBoxLayout(optionsGroup);
    cbUsePaths = new QCheckBox(tr("Use path names"), optionsGroup);
    cbUsePaths->setObjectName(QStringLiteral("cbUsePaths"));
    cbOverwrite = new QCheckBox(tr("Overwrite existing files"), optionsGroup);
    cbOverwrite->setObjectName(QStringLiteral("cbOverwrite"));
    optionsLayout->addWidget(cbUsePaths);
    optionsLayout->addWidget(cbOverwrite);

    btnUnzip = new QPushButton(tr("&Unzip"), this);
    btnUnzip->setObjectName(QStringLiteral("btnUnzip"));
    btnUnzip->setDefault(true);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* choiceSide = new QVBoxLayout;
    choiceSide->addWidget(btnUnzip);
    choiceSide->addWidget(btnCancel);
    choiceSide->addSpacing(12);
    choiceSide->addWidget(filesGroup);
    choiceSide->addWidget(optionsGroup);
    choiceSide->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(folderSide, 1);
    layout->addLayout(choiceSide);

    connect(tvFolders, &QTreeView::clicked, this, &TFormExtract::FolderChosen);
    connect(edFolder, &QLineEdit::textChanged, this, &TFormExtract::FolderEdited);
    connect(btnUnzip, &QPushButton::clicked, this, &TFormExtract::btnUnzipClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    FolderEdited();
}

void TFormExtract::SetAllFiles(bool allFiles)
{
    (allFiles ? rbAllFiles : rbSelectedFiles)->setChecked(true);
}

TExtractChoice TFormExtract::Choice() const
{
    TExtractChoice choice;
    choice.Folder = edFolder->text().toStdString();
    choice.AllFiles = rbAllFiles->isChecked();
    choice.UsePaths = cbUsePaths->isChecked();
    choice.Overwrite = cbOverwrite->isChecked();
    return choice;
}

void TFormExtract::showEvent(QShowEvent* event)
{
    if (!m_settingsLoaded)
    {
        m_settingsLoaded = true;
        LoadSettings();
        ShowFolderInTree();
    }
    QDialog::showEvent(event);
}

void TFormExtract::LoadSettings()
{
    THXSettingsStore& store = m_app.Store();
    cbUsePaths->setChecked(store.ReadBool(kSettingsKey, "Extract Use Paths", true));
    cbOverwrite->setChecked(store.ReadBool(kSettingsKey, "Extract Overwrite", false));
    std::string folder = store.ReadString(kSettingsKey, "Unzip Folder", "");
    if (folder.empty())
        folder = m_app.GetDownloadsFolder();
    edFolder->setText(Text(folder));
}

void TFormExtract::ShowFolderInTree()
{
    QString folder = edFolder->text();
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    const QModelIndex index = m_folders->index(folder);
    if (!index.isValid())
        return;
    tvFolders->setCurrentIndex(index);
    tvFolders->scrollTo(index, QAbstractItemView::PositionAtCenter);
    m_folderShown = m_folders->filePath(index) == folder;
}

void TFormExtract::FolderChosen()
{
    const QModelIndex index = tvFolders->currentIndex();
    if (index.isValid())
        edFolder->setText(Text(IncludeTrailingSlash(m_folders->filePath(index).toStdString())));
}

void TFormExtract::FolderEdited()
{
    btnUnzip->setEnabled(!edFolder->text().trimmed().isEmpty());
}

void TFormExtract::btnUnzipClick()
{
    THXSettingsStore& store = m_app.Store();
    store.WriteBool(kSettingsKey, "Extract Use Paths", cbUsePaths->isChecked());
    store.WriteBool(kSettingsKey, "Extract Overwrite", cbOverwrite->isChecked());
    if (store.ReadBool(kSettingsKey, "Last Unzip Folder", true))
        store.WriteString(kSettingsKey, "Unzip Folder", edFolder->text().toStdString());
    accept();
}

TXcdReplaceAnswer AskReplaceFile(QWidget* parent, const std::string& existingFile, const std::string& newFile)
{
    const QString caption =
        parent != nullptr ? parent->window()->windowTitle() : QApplication::applicationDisplayName();
    const QString text = QCoreApplication::translate("HXFormExtract", "Replace File : ") + Text(existingFile) +
                         QStringLiteral("\n") + QCoreApplication::translate("HXFormExtract", "With File: ") +
                         Text(newFile);
    switch (QMessageBox::information(parent, caption, text,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel | QMessageBox::YesToAll,
                                     QMessageBox::Yes))
    {
    case QMessageBox::Yes:
        return TXcdReplaceAnswer::Yes;
    case QMessageBox::YesToAll:
        return TXcdReplaceAnswer::All;
    case QMessageBox::No:
        return TXcdReplaceAnswer::No;
    default:
        return TXcdReplaceAnswer::Cancel;
    }
}

} // namespace hx
