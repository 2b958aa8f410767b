#include "archive/ui/HXwizFileZip.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <QCoreApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/ui/HXButtonGroups.h"
#include "core/ui/HXQtText.h"

namespace hx
{

namespace
{

constexpr int kNamePage = 0;
constexpr int kFilesPage = 1;
constexpr int kCompressionPage = 2;
constexpr int kDefaultCompression = 6;
// The list row's full path, kept beside the shown name and folder.
constexpr int kPathRole = Qt::UserRole;

std::vector<std::string> StdList(const QStringList& texts)
{
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(texts.size()));
    for (const QString& text : texts)
        result.push_back(Std(text));
    return result;
}

// A path as the list keeps it: a folder without its trailing "/" (the root stays "/").
std::string ListPath(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

QStringList ZipFilters()
{
    return {QCoreApplication::translate("HXwizFileZip", "Zip file (*.zip)"),
            QCoreApplication::translate("HXwizFileZip", "All files (*)")};
}

// The file chooser a person sees: Qt's file dialog. A save dialog asks before
// overwriting an existing file (QFileDialog's default).
QStringList RunFileDialog(QWidget* parent, const TFileChooserRequest& request)
{
    QFileDialog dialog(parent, request.Caption, request.Folder);
    dialog.setNameFilters(request.Filters);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    switch (request.Kind)
    {
    case TFileChooserKind::NewFile:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        break;
    case TFileChooserKind::ExistingFile:
        dialog.setFileMode(QFileDialog::ExistingFile);
        break;
    case TFileChooserKind::ExistingFiles:
        dialog.setFileMode(QFileDialog::ExistingFiles);
        break;
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QLabel* NewWrappedLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

TwizFileZip::TwizFileZip(THXApp& app, const std::string& openArchive, std::vector<std::string> droppedFiles,
                         QWidget* parent)
    : QDialog(parent)
    , ChooseFiles(&RunFileDialog)
    , m_app(app)
    , m_actions(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("wizFileZip"));
    setWindowTitle(tr("File Zip Wizard"));

    pgPages = new QStackedWidget(this);
    pgPages->setObjectName(QStringLiteral("pgPages"));
    pgPages->addWidget(CreateNamePage());
    pgPages->addWidget(CreateFilesPage());
    pgPages->addWidget(CreateCompressionPage());

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    btnBack = new QPushButton(tr("<  &Back"), this);
    btnBack->setObjectName(QStringLiteral("btnBack"));
    btnNext = new QPushButton(tr("&Next  >"), this);
    btnNext->setObjectName(QStringLiteral("btnNext"));
    btnNext->setDefault(true);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addSpacing(12);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pgPages);
    layout->addWidget(rule);
    layout->addLayout(buttons);

    connect(btnNewZip, &QToolButton::clicked, this, &TwizFileZip::btnNewZipClick);
    connect(btnOpenZip, &QToolButton::clicked, this, &TwizFileZip::btnOpenZipClick);
    connect(edZipFileName, &QLineEdit::textEdited, this, &TwizFileZip::ZipFileNameEdited);
    connect(btnAdd, &QPushButton::clicked, this, &TwizFileZip::btnAddClick);
    connect(btnRemove, &QPushButton::clicked, this, &TwizFileZip::btnRemoveClick);
    connect(btnBack, &QPushButton::clicked, this, &TwizFileZip::btnBackClick);
    connect(btnNext, &QPushButton::clicked, this, &TwizFileZip::btnNextClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The name field: the open archive, else the Zip folder, else the current folder.
    if (!openArchive.empty())
    {
        edZipFileName->setText(Text(openArchive));
        m_existing = true;
    }
    else
    {
        const std::string zipFolder = m_app.Store().ReadString(kSettingsKey, "Zip Folder", "");
        edZipFileName->setText(zipFolder.empty() ? QDir::currentPath() + QStringLiteral("/") : Text(zipFolder));
    }

    if (!droppedFiles.empty())
    {
        const std::size_t count = droppedFiles.size();
        setWindowTitle(count == 1 ? tr("File Zip Wizard - %1 file dropped.").arg(count)
                                  : tr("File Zip Wizard - %1 files dropped.").arg(count));
        AddToList(droppedFiles);
    }
    ShowPage(kNamePage);
}

QWidget* TwizFileZip::CreateNamePage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(NewWrappedLabel(
        tr("This wizard will help you create a zip file containing one or more compressed files."), page));

    auto* nameGroup = new QGroupBox(tr("Zip Filename: "), page);
    auto* nameLayout = new QVBoxLayout(nameGroup);
    nameLayout->addWidget(NewWrappedLabel(tr("Create or open an existing zip file."), nameGroup));
    btnNewZip = new QToolButton(nameGroup);
    btnNewZip->setObjectName(QStringLiteral("btnNewZip"));
    btnNewZip->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    btnNewZip->setToolTip(tr("Create a new Zip file"));
    btnOpenZip = new QToolButton(nameGroup);
    btnOpenZip->setObjectName(QStringLiteral("btnOpenZip"));
    btnOpenZip->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    btnOpenZip->setToolTip(tr("Open an existing Zip file"));
    edZipFileName = new QLineEdit(nameGroup);
    edZipFileName->setObjectName(QStringLiteral("edZipFileName"));
    edZipFileName->setMinimumWidth(320);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(btnNewZip);
    nameRow->addWidget(btnOpenZip);
    nameRow->addWidget(edZipFileName, 1);
    nameLayout->addLayout(nameRow);
    layout->addWidget(nameGroup);

    auto* actionGroup = new QGroupBox(tr("Action:"), page);
    auto* actionLayout = new QVBoxLayout(actionGroup);
    actionLayout->addWidget(NewWrappedLabel(tr("How should files be added to the zip file?"), actionGroup));
    // The button ids are the stored "Action" values, in TXcdAddAction's order.
    rbAddReplace =
        AddRadio(*m_actions, actionGroup, tr("Add && replace files"), static_cast<int>(TXcdAddAction::AddReplace));
    rbAddReplace->setObjectName(QStringLiteral("rbAddReplace"));
    rbFreshen =
        AddRadio(*m_actions, actionGroup, tr("Freshen existing files"), static_cast<int>(TXcdAddAction::Freshen));
    rbFreshen->setObjectName(QStringLiteral("rbFreshen"));
    rbUpdate = AddRadio(*m_actions, actionGroup, tr("Update and add files"), static_cast<int>(TXcdAddAction::Update));
    rbUpdate->setObjectName(QStringLiteral("rbUpdate"));
    rbAddReplace->setChecked(true);
    actionLayout->addWidget(rbAddReplace);
    actionLayout->addWidget(rbFreshen);
    actionLayout->addWidget(rbUpdate);
    layout->addWidget(actionGroup);
    layout->addStretch();
    return page;
}

QWidget* TwizFileZip::CreateFilesPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* group = new QGroupBox(tr("Add Files:"), page);
    auto* grid = new QGridLayout(group);
    grid->addWidget(NewWrappedLabel(tr("Create a list of files that you want to add in your zip file."), group), 0, 0,
                    1, 2);

    lvFiles = new QTreeWidget(group);
    lvFiles->setObjectName(QStringLiteral("lvFiles"));
    lvFiles->setHeaderLabels({tr("Name"), tr("Folder")});
    lvFiles->setRootIsDecorated(false);
    lvFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvFiles->setAllColumnsShowFocus(true);
    lvFiles->header()->setStretchLastSection(true);
    lvFiles->setColumnWidth(0, 200);
    lvFiles->setMinimumHeight(160);
    grid->addWidget(lvFiles, 1, 0, 3, 1);

    btnAdd = new QPushButton(tr("&Add"), group);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    btnRemove = new QPushButton(tr("&Remove"), group);
    btnRemove->setObjectName(QStringLiteral("btnRemove"));
    grid->addWidget(btnAdd, 1, 1);
    grid->addWidget(btnRemove, 2, 1);
    grid->setRowStretch(3, 1);

    cbUsePaths = new QCheckBox(tr("Save path names in zip file"), group);
    cbUsePaths->setObjectName(QStringLiteral("cbUsePaths"));
    cbRecurse = new QCheckBox(tr("Recurse Folders"), group);
    cbRecurse->setObjectName(QStringLiteral("cbRecurse"));
    cbRecurse->hide(); // shown once a folder is in the list
    grid->addWidget(cbUsePaths, 4, 0, 1, 2);
    grid->addWidget(cbRecurse, 5, 0, 1, 2);
    layout->addWidget(group);
    return page;
}

QWidget* TwizFileZip::CreateCompressionPage()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* group = new QGroupBox(tr("Zip Compression: "), page);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(NewWrappedLabel(tr("Select the amount of compression you would like."), group));
    tbCompression = new QSlider(Qt::Horizontal, group);
    tbCompression->setObjectName(QStringLiteral("tbCompression"));
    tbCompression->setRange(0, 9);
    tbCompression->setPageStep(1);
    tbCompression->setTickPosition(QSlider::TicksBelow);
    tbCompression->setTickInterval(1);
    tbCompression->setValue(kDefaultCompression);
    groupLayout->addWidget(tbCompression);
    auto* ends = new QHBoxLayout;
    ends->addWidget(new QLabel(tr("None"), group));
    ends->addStretch();
    ends->addWidget(new QLabel(tr("Max"), group));
    groupLayout->addLayout(ends);
    layout->addWidget(group);
    layout->addStretch();
    return page;
}

void TwizFileZip::PresetExisting(const std::string& archive)
{
    edZipFileName->setText(Text(archive));
    SetArchiveIsNew(false);
}

TFileZipChoice TwizFileZip::Choice() const
{
    TFileZipChoice choice;
    choice.ZipFileName = Std(edZipFileName->text());
    choice.Existing = m_existing;
    choice.Files = m_files;
    choice.Action = static_cast<TXcdAddAction>(std::clamp(m_actions->checkedId(), 0, 2));
    choice.UsePaths = cbUsePaths->isChecked();
    choice.Recurse = cbRecurse->isChecked();
    choice.Compression = tbCompression->value();
    return choice;
}

void TwizFileZip::showEvent(QShowEvent* event)
{
    if (!m_settingsLoaded)
    {
        m_settingsLoaded = true;
        LoadSettings();
    }
    QDialog::showEvent(event);
}

void TwizFileZip::LoadSettings()
{
    THXSettingsStore& store = m_app.Store();
    int action = std::clamp(store.ReadInteger(kSettingsKey, "Action", 0), 0, 2);
    if (!rbFreshen->isEnabled())
        action = static_cast<int>(TXcdAddAction::AddReplace);
    SelectButton(*m_actions, action);
    cbUsePaths->setChecked(store.ReadBool(kSettingsKey, "Use Paths", false));
    tbCompression->setValue(std::clamp(store.ReadInteger(kSettingsKey, "Compression", kDefaultCompression), 0, 9));
}

void TwizFileZip::StoreSettings()
{
    THXSettingsStore& store = m_app.Store();
    store.WriteInteger(kSettingsKey, "Compression", tbCompression->value());
    store.WriteBool(kSettingsKey, "Use Paths", cbUsePaths->isChecked());
    store.WriteInteger(kSettingsKey, "Action", std::max(m_actions->checkedId(), 0));
    // With "Last Zip Folder" on, the next wizard starts where this archive lives.
    const std::string archiveFolder = ExtractFilePath(Trim(Std(edZipFileName->text())));
    if (store.ReadBool(kSettingsKey, "Last Zip Folder", true) && !archiveFolder.empty())
        store.WriteString(kSettingsKey, "Zip Folder", archiveFolder);
}

QString TwizFileZip::StartFolder() const
{
    return Text(m_app.Store().ReadString(kSettingsKey, "Zip Folder", ""));
}

void TwizFileZip::SetArchiveIsNew(bool isNew)
{
    m_existing = !isNew;
    if (isNew)
        rbAddReplace->setChecked(true);
    rbFreshen->setEnabled(!isNew);
    rbUpdate->setEnabled(!isNew);
}

void TwizFileZip::btnNewZipClick()
{
    TFileChooserRequest request;
    request.Kind = TFileChooserKind::NewFile;
    request.Caption = tr("New Zip File");
    request.Folder = StartFolder();
    request.Filters = ZipFilters();
    request.DefaultSuffix = QStringLiteral("zip");
    const QStringList chosen = ChooseFiles(this, request);
    if (chosen.isEmpty())
        return;
    // The user agreed to overwrite it: the new archive starts empty.
    const std::string path = Std(chosen.first());
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
        std::filesystem::remove(path, error);
    edZipFileName->setText(chosen.first());
    SetArchiveIsNew(!FileExists(path));
}

void TwizFileZip::btnOpenZipClick()
{
    TFileChooserRequest request;
    request.Kind = TFileChooserKind::ExistingFile;
    request.Caption = tr("Open Zip File");
    request.Folder = StartFolder();
    request.Filters = ZipFilters();
    request.DefaultSuffix = QStringLiteral("zip");
    const QStringList chosen = ChooseFiles(this, request);
    if (chosen.isEmpty())
        return;
    edZipFileName->setText(chosen.first());
    SetArchiveIsNew(false);
}

void TwizFileZip::ZipFileNameEdited()
{
    // A typed name is an existing archive when the file is there, else a new one.
    m_existing = FileExists(Std(edZipFileName->text()));
}

void TwizFileZip::btnAddClick()
{
    TFileChooserRequest request;
    request.Kind = TFileChooserKind::ExistingFiles;
    request.Caption = tr("Add Files");
    request.Folder = StartFolder();
    request.Filters = {tr("All files (*)")};
    AddToList(StdList(ChooseFiles(this, request)));
}

void TwizFileZip::btnRemoveClick()
{
    std::vector<std::string> removed;
    for (const QTreeWidgetItem* item : lvFiles->selectedItems())
        removed.push_back(Std(item->data(0, kPathRole).toString()));
    std::erase_if(m_files, [&](const std::string& path)
                  { return std::find(removed.begin(), removed.end(), path) != removed.end(); });
    FillList();
}

void TwizFileZip::AddToList(const std::vector<std::string>& paths)
{
    bool folderAdded = false;
    for (const auto& given : paths)
    {
        if (given.empty())
            continue;
        const std::string path = ListPath(given);
        folderAdded = folderAdded || DirectoryExists(path);
        m_files.push_back(path);
    }
    std::sort(m_files.begin(), m_files.end());
    m_files.erase(std::unique(m_files.begin(), m_files.end()), m_files.end());
    FillList();
    if (folderAdded && cbRecurse->isHidden())
    {
        cbRecurse->setChecked(true);
        cbRecurse->show();
    }
}

void TwizFileZip::FillList()
{
    lvFiles->clear();
    for (const auto& path : m_files)
    {
        auto* item = new QTreeWidgetItem(lvFiles);
        if (DirectoryExists(path))
            item->setText(0, Text(IncludeTrailingSlash(path)));
        else
        {
            item->setText(0, Text(ExtractFileName(path)));
            item->setText(1, Text(ExtractFilePath(path)));
        }
        item->setData(0, kPathRole, Text(path));
    }
}

void TwizFileZip::ShowPage(int page)
{
    pgPages->setCurrentIndex(page);
    btnBack->setEnabled(page != kNamePage);
    btnNext->setText(page == kCompressionPage ? tr("&Finish") : tr("&Next  >"));
}

void TwizFileZip::btnBackClick()
{
    ShowPage(std::max(pgPages->currentIndex() - 1, kNamePage));
}

void TwizFileZip::btnNextClick()
{
    const int page = pgPages->currentIndex();
    if (page == kNamePage && !CheckZipFileName())
        return;
    if (page == kFilesPage || page == kNamePage)
    {
        ShowPage(page + 1);
        return;
    }
    StoreSettings();
    accept();
}

bool TwizFileZip::CheckZipFileName()
{
    std::string name = Trim(Std(edZipFileName->text()));
    if (ExtractFileExt(name).empty())
        name += ".zip";
    edZipFileName->setText(Text(name));
    const std::string folder = ExtractFilePath(name);
    const std::string fileName = ExtractFileName(name);
    // The full path: an absolute folder and a name that is more than an extension.
    const bool valid =
        !folder.empty() && folder.front() == '/' && !fileName.empty() && fileName != ExtractFileExt(name);
    if (!valid)
    {
        QMessageBox::critical(
            this, windowTitle(),
            tr("A valid Zip filename is required.\nHint:  Harbex requires the full path and filename."));
        return false;
    }
    return true;
}

} // namespace hx
