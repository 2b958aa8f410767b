#include "shell/ui/HXdlgAutoHarbex.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>

#include "core/HXPaths.h"

namespace hx
{

namespace
{

// Room left and right of the header's texts.
constexpr int kHeaderMargin = 8;
// Room between the header and the buttons, and below the last button.
constexpr int kGap = 8;

// The address as its last part, the ellipsis and what stays before it.
QString Joined(const QString& prefix, const QStringList& parts, qsizetype removedFrom, qsizetype removedCount)
{
    QStringList kept;
    for (qsizetype index = 0; index < parts.size(); ++index)
    {
        if (index == removedFrom)
            kept << QStringLiteral("...");
        if (index < removedFrom || index >= removedFrom + removedCount)
            kept << parts[index];
    }
    return prefix + kept.join(QLatin1Char('/'));
}

} // namespace

TdlgAutoHarbex::TdlgAutoHarbex(const std::string& address, const std::vector<std::string>& profiles, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
    , m_address(QString::fromStdString(address))
{
    setObjectName(QStringLiteral("dlgAutoHarbex"));
    setWindowTitle(tr("Auto-Harbex"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    pnlHeader = new QWidget(this);
    pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
    pnlHeader->setFixedHeight(kHeaderHeight);
    pnlHeader->setAutoFillBackground(true);
    pnlHeader->setStyleSheet(
        QStringLiteral("QWidget#pnlHeader { background: #808080; } QLabel { color: white; background: transparent; }"));
    auto* headerLayout = new QVBoxLayout(pnlHeader);
    headerLayout->setContentsMargins(kHeaderMargin, 4, kHeaderMargin, 4);
    headerLayout->setSpacing(2);
    auto* caption = new QLabel(tr("Starting Address:"), pnlHeader);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    lblAddress = new QLabel(pnlHeader);
    lblAddress->setObjectName(QStringLiteral("lblAddress"));
    lblAddress->setToolTip(m_address);
    // The label takes the header's width; its text is fitted to it, never the reverse.
    lblAddress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    headerLayout->addWidget(caption);
    headerLayout->addWidget(lblAddress);
    layout->addWidget(pnlHeader);
    layout->addSpacing(kGap);

    for (const std::string& profile : profiles)
        connect(AddButton(QString::fromStdString(profile)), &QPushButton::clicked, this,
                [this, profile]
                {
                    m_profile = profile;
                    accept();
                });
    connect(AddButton(tr("Use Harbex Wizard...")), &QPushButton::clicked, this,
            [this]
            {
                m_profile.clear();
                accept();
            });
    connect(AddButton(tr("Cancel")), &QPushButton::clicked, this, &QDialog::reject);
    layout->addSpacing(kGap);

    const int buttonCount = static_cast<int>(Buttons.size());
    setFixedSize(kWidth, buttonCount * kButtonHeight + kHeaderHeight + 2 * kGap);
    FitAddress();
}

QPushButton* TdlgAutoHarbex::AddButton(const QString& caption)
{
    auto* button = new QPushButton(caption, this);
    button->setFlat(true);
    button->setFixedHeight(kButtonHeight);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    layout()->addWidget(button);
    Buttons.push_back(button);
    return button;
}

std::vector<std::string> TdlgAutoHarbex::ProfileNames(const std::string& profilesFolder)
{
    std::vector<std::string> names;
    for (const std::string& file : ListFiles(profilesFolder, "*.hxp"))
        names.push_back(file.substr(0, file.size() - 4));
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b)
              { return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0; });
    return names;
}

QString TdlgAutoHarbex::ShortenAddress(const QString& address, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(address) <= width)
        return address;
    // The scheme ("http://") stays in front; the rest is cut at its separators. A
    // trailing "/" belongs to the last part.
    const qsizetype scheme = address.indexOf(QStringLiteral("://"));
    const QString prefix = scheme < 0 ? QString() : address.left(scheme + 3);
    QString rest = address.mid(prefix.size());
    const bool trailingSlash = rest.endsWith(QLatin1Char('/'));
    if (trailingSlash)
        rest.chop(1);
    QStringList parts = rest.split(QLatin1Char('/'));
    if (trailingSlash)
        parts.last() += QLatin1Char('/');
    const qsizetype count = parts.size();
    if (count >= 2)
    {
        // First the parts between the first and the last, a growing run around the
        // middle; then the first part (the host) too.
        const qsizetype inner = count - 2;
        for (qsizetype removed = 1; removed <= inner; ++removed)
        {
            const QString candidate = Joined(prefix, parts, 1 + (inner - removed) / 2, removed);
            if (metrics.horizontalAdvance(candidate) <= width)
                return candidate;
        }
        const QString lastOnly = Joined(prefix, parts, 0, count - 1);
        if (metrics.horizontalAdvance(lastOnly) <= width)
            return lastOnly;
        return metrics.elidedText(lastOnly, Qt::ElideLeft, width);
    }
    return metrics.elidedText(address, Qt::ElideLeft, width);
}

void TdlgAutoHarbex::FitAddress()
{
    // The header spans the dialog's fixed width.
    lblAddress->setText(ShortenAddress(m_address, lblAddress->fontMetrics(), AddressWidth()));
}

void TdlgAutoHarbex::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Centred on the screen, whichever window asked for it.
    if (QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
    FitAddress();
}

int TdlgAutoHarbex::AddressWidth()
{
    return kWidth - 2 * kHeaderMargin;
}

} // namespace hx
