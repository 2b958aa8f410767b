#include "schedule/ui/HXdlgEditProfile.h"

#include <QCoreApplication>
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "schedule/ui/HXdlgEditTaskDialogs.h"
#include "core/ui/HXButtonGroups.h"

namespace hx
{

namespace
{

// The editors offer 1 to 20 levels; a file may hold more, which is shown as it is.
constexpr int kMaxOfferedLevels = 20;
const QString kProfileExtension = QStringLiteral(".hxp");
const QString kNewProfileName = QStringLiteral("New Profile");

// One field of the profile: a titled box with its explaining text above the controls.
QGroupBox* Section(const QString& title, const QString& text, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(box);
    if (!text.isEmpty())
    {
        auto* label = new QLabel(text, box);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    return box;
}

QGroupBox* LocationSection(const QString& title, const QString& text, QButtonGroup& group, QWidget* parent)
{
    QGroupBox* box = Section(title, text, parent);
    const QStringList captions = {QCoreApplication::translate("HXdlgEditProfile", "Current directory"),
                                  QCoreApplication::translate("HXdlgEditProfile", "Current site"),
                                  QCoreApplication::translate("HXdlgEditProfile", "Anywhere")};
    for (int i = 0; i < captions.size(); ++i)
        box->layout()->addWidget(AddRadio(group, box, captions[i], i));
    return box;
}

} // namespace

TdlgEditProfile::TdlgEditProfile(QWidget* parent, THXApp& app)
    : QDialog(parent)
    , m_app(app)
{
    setWindowTitle(tr("Profiles Editor"));
    btnClose = new QPushButton(tr("&Close"), this);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

    auto* body = new QHBoxLayout;
    body->addWidget(BuildProfileList());
    body->addWidget(BuildFields(), 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);

    FillList();
    resize(760, 560);
}

QWidget* TdlgEditProfile::BuildProfileList()
{
    auto* side = new QWidget(this);
    auto* heading = new QLabel(tr(" Profiles ( Download Methods)"), side);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    lvProfiles = new QListWidget(side);
    lvProfiles->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    btnProfileNew = new QPushButton(tr("New"), side);
    btnProfileDelete = new QPushButton(tr("Delete"), side);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnProfileNew);
    buttons->addWidget(btnProfileDelete);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(heading);
    layout->addWidget(lvProfiles, 1);
    layout->addLayout(buttons);
    side->setFixedWidth(qMax(heading->sizeHint().width(), 180) + 8);

    connect(lvProfiles, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* current)
            {
                if (!m_listChanging)
                    ProfileSelected(current);
            });
    connect(lvProfiles, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item)
            {
                if (!m_listChanging)
                    NameEdited(item);
            });
    connect(btnProfileNew, &QPushButton::clicked, this, &TdlgEditProfile::NewClick);
    connect(btnProfileDelete, &QPushButton::clicked, this, &TdlgEditProfile::DeleteClick);
    return side;
}

QWidget* TdlgEditProfile::BuildFields()
{
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);

    auto* nameRow = new QFormLayout;
    edProfileName = new QLineEdit(panel);
    edProfileName->setReadOnly(true);
    nameRow->addRow(tr("Profile Name:"), edProfileName);
    layout->addLayout(nameRow);

    QGroupBox* types = Section(tr("File Types:"), tr("Retrieve the following filetypes"), panel);
    tvFileTypes = new TFileTypeTree(types, m_app.Store());
    // The shared tree brings its own box; inside this section it shows no frame of its own.
    tvFileTypes->setTitle(QString());
    tvFileTypes->setObjectName(QStringLiteral("fileTypeTree"));
    tvFileTypes->setStyleSheet(QStringLiteral("#fileTypeTree { border: none; margin: 0; padding: 0; }"));
    tvFileTypes->layout()->setContentsMargins(0, 0, 0, 0);
    tvFileTypes->setMinimumHeight(150);
    types->layout()->addWidget(tvFileTypes);
    layout->addWidget(types);

    grpDepth = new QButtonGroup(this);
    QGroupBox* depth =
        Section(tr("Depth of retrieval:"), tr("How many levels of this site would you like to retrieve?"), panel);
    depth->layout()->addWidget(AddRadio(*grpDepth, depth, tr("This page only"), kDepthThisPage));
    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(AddRadio(*grpDepth, depth, tr("This page and"), kDepthLevels));
    edLevels = new QSpinBox(depth);
    edLevels->setRange(1, kMaxOfferedLevels);
    // Only the arrows change the number.
    edLevels->findChild<QLineEdit*>()->setReadOnly(true);
    levelRow->addWidget(edLevels);
    levelRow->addWidget(new QLabel(tr("level/s"), depth));
    levelRow->addStretch();
    qobject_cast<QVBoxLayout*>(depth->layout())->addLayout(levelRow);
    depth->layout()->addWidget(AddRadio(*grpDepth, depth, tr("All levels"), kDepthAll));
    layout->addWidget(depth);

    grpPageLocation = new QButtonGroup(this);
    grpResourceLocation = new QButtonGroup(this);
    layout->addWidget(LocationSection(tr("Page Location:"), tr("Pages must be within:"), *grpPageLocation, panel));
    layout->addWidget(LocationSection(tr("Resource Location:"), tr("Resources (images, sounds etc.) must be within:"),
                                      *grpResourceLocation, panel));

    lbInc = new TURLFilterList(panel, QStringLiteral("Inc"));
    lbInc->setTitle(tr("URL Filter - Include:"));
    lbInc->lblHint->setText(
        tr("URL's MUST contain characters, words or phrases from at least one of the following groups."));
    lbEx = new TURLFilterList(panel, QStringLiteral("Ex"));
    lbEx->setTitle(tr("URL Filter - Exclude:"));
    lbEx->lblHint->setText(
        tr("URL's MUST NOT contain characters, words or phrases from at least one of the following groups."));
    for (TURLFilterList* list : {lbInc, lbEx})
    {
        list->SetEditGivesKind(false);
        list->lbFilters->setFixedHeight(list->lbFilters->fontMetrics().height() * 6);
        layout->addWidget(list);
        connect(list, &TURLFilterList::Added, this, &TdlgEditProfile::MarkDirty);
    }

    QGroupBox* sitemaps = Section(tr("Sitemaps:"), QString(), panel);
    cbUseSitemaps = new QCheckBox(tr("Use Sitemaps"), sitemaps);
    cbUseSitemaps->setToolTip(
        tr("Also copy the pages the site lists in its sitemaps (robots.txt \"Sitemap:\" lines and "
           "/sitemap.xml), within the rules above, even those no link leads to."));
    sitemaps->layout()->addWidget(cbUseSitemaps);
    layout->addWidget(sitemaps);

    renderBox = new TRenderBox(panel);
    layout->addWidget(renderBox);

    QGroupBox* rename = Section(tr("Auto-Rename:"), QString(), panel);
    cbUseStartPageTitle = new QCheckBox(tr("Automatically rename Zip files to Start Page Title"), rename);
    cbUseStartPageTitle->setToolTip(
        tr("Upon completion Harbex will rename the zip file to the title of the first web page."));
    rename->layout()->addWidget(cbUseStartPageTitle);
    layout->addWidget(rename);
    layout->addStretch();

    for (QButtonGroup* group : {grpDepth, grpPageLocation, grpResourceLocation})
        connect(group, &QButtonGroup::idClicked, this, &TdlgEditProfile::MarkDirty);
    connect(edLevels, &QSpinBox::valueChanged, this, &TdlgEditProfile::MarkDirty);
    connect(cbUseStartPageTitle, &QCheckBox::clicked, this, &TdlgEditProfile::MarkDirty);
    connect(cbUseSitemaps, &QCheckBox::clicked, this, &TdlgEditProfile::MarkDirty);
    connect(renderBox, &TRenderBox::Changed, this, &TdlgEditProfile::MarkDirty);
    connect(tvFileTypes, &TFileTypeTree::TicksChanged, this, &TdlgEditProfile::MarkDirty);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(panel);
    return scroll;
}

void TdlgEditProfile::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_loading = false;
}

std::string TdlgEditProfile::ProfileFile(const QString& name) const
{
    return m_app.ProfilesFolder() + (name + kProfileExtension).toStdString();
}

void TdlgEditProfile::FillList()
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(m_app.ProfilesFolder(), error), end; !error && entry != end;
         entry.increment(error))
    {
        const std::filesystem::path& path = entry->path();
        if (path.extension() == kProfileExtension.toStdString() && entry->is_regular_file(error))
            names.push_back(path.filename().string());
    }
    std::sort(names.begin(), names.end());

    m_listChanging = true;
    lvProfiles->clear();
    for (const std::string& fileName : names)
    {
        auto* item =
            new QListWidgetItem(QString::fromStdString(fileName).chopped(kProfileExtension.size()), lvProfiles);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    lvProfiles->setCurrentRow(-1);
    m_listChanging = false;
}

void TdlgEditProfile::ProfileSelected(QListWidgetItem* current)
{
    AskToSave();
    if (current != nullptr && current->text() != edProfileName->text())
        LoadSelected(current->text());
}

void TdlgEditProfile::AskToSave()
{
    if (!m_dirty || !m_loaded)
        return;
    const auto answer = QMessageBox::question(
        this, tr("Confirm"), tr("Save changes to profile: ") + edProfileName->text() + QStringLiteral("?"),
        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
    {
        CopyControlsInto(*m_loaded);
        m_loaded->Save();
    }
    m_dirty = false;
}

void TdlgEditProfile::LoadSelected(const QString& name)
{
    THXProfile profile;
    profile.FileName = ProfileFile(name);
    profile.Load();
    // A profile without a stored name (a new entry's missing file) shows the entry's name.
    if (profile.Name.empty())
        profile.Name = name.toStdString();
    m_loaded = std::move(profile);
    m_dirty = false;
    ShowProfile();
}

void TdlgEditProfile::ShowProfile()
{
    const bool wasLoading = m_loading;
    m_loading = true;
    const THXProfile& profile = *m_loaded;
    edProfileName->setText(QString::fromStdString(profile.Name));
    cbUseStartPageTitle->setChecked(profile.UseStartPageTitle);
    cbUseSitemaps->setChecked(profile.UseSitemaps);
    renderBox->ShowProfile(profile);
    tvFileTypes->Fill(profile.FileTypes);
    lbInc->SetEntries(profile.URLFiltersInclude);
    lbEx->SetEntries(profile.URLFiltersExclude);
    edLevels->setMaximum(std::max(kMaxOfferedLevels, profile.Depth));
    ShowDepth(*grpDepth, *edLevels, profile.Depth);
    SelectButton(*grpPageLocation, profile.PageLocation);
    SelectButton(*grpResourceLocation, profile.ResourceLocation);
    m_loading = wasLoading;
}

void TdlgEditProfile::CopyControlsInto(THXProfile& profile) const
{
    profile.Name = edProfileName->text().toStdString();
    ReadDepth(*grpDepth, *edLevels, profile.Depth);
    profile.FileTypes = tvFileTypes->TickedExtensions();
    if (grpPageLocation->checkedId() >= 0)
        profile.PageLocation = grpPageLocation->checkedId();
    if (grpResourceLocation->checkedId() >= 0)
        profile.ResourceLocation = grpResourceLocation->checkedId();
    profile.UseStartPageTitle = cbUseStartPageTitle->isChecked();
    profile.UseSitemaps = cbUseSitemaps->isChecked();
    renderBox->CopyInto(profile);
    profile.URLFiltersExclude = lbEx->Entries();
    profile.URLFiltersInclude = lbInc->Entries();
}

void TdlgEditProfile::NewClick()
{
    m_listChanging = true;
    auto* item = new QListWidgetItem(kNewProfileName, lvProfiles);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    m_listChanging = false;
    lvProfiles->setCurrentItem(item);
    lvProfiles->editItem(item);
    m_dirty = true;
}

void TdlgEditProfile::DeleteClick()
{
    if (!m_loaded)
        return;
    m_dirty = false;
    std::error_code ignored;
    std::filesystem::remove(m_loaded->FileName, ignored);
    // The deleted profile is no longer shown as loaded, so a second "Delete" does nothing.
    m_loaded.reset();
    m_loading = true;
    edProfileName->clear();
    m_loading = false;
    FillList();
}

void TdlgEditProfile::NameEdited(QListWidgetItem* item)
{
    if (!m_loaded || item != lvProfiles->currentItem())
        return;
    const QString name = item->text();
    if (name.isEmpty())
    {
        // A profile needs a name for its file: the entry keeps the one it had.
        m_listChanging = true;
        item->setText(edProfileName->text());
        m_listChanging = false;
        return;
    }
    CopyControlsInto(*m_loaded);
    if (FileExists(m_loaded->FileName))
    {
        std::error_code ignored;
        std::filesystem::remove(m_loaded->FileName, ignored);
    }
    m_loaded->Name = name.toStdString();
    m_loaded->FileName = ProfileFile(name);
    m_loaded->Save();
    edProfileName->setText(name);
    m_dirty = false;
}

void TdlgEditProfile::MarkDirty()
{
    if (!m_loading && m_loaded && lvProfiles->currentItem() != nullptr)
        m_dirty = true;
}

} // namespace hx
