#include "core/ui/HXTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace hx
{

namespace
{

// Where the build puts the compiled translations of the program's captions.
constexpr const char* kTranslationsResource = ":/i18n";

} // namespace

THXTranslations::THXTranslations(const QLocale& locale)
{
    const auto install = [this, &locale](const QString& name, const QString& folder)
    {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(locale, name, QStringLiteral("_"), folder) ||
            !QCoreApplication::installTranslator(translator.get()))
            return false;
        m_installed.push_back(std::move(translator));
        return true;
    };
    m_translated = install(QStringLiteral("harbex"), QString::fromLatin1(kTranslationsResource));
    // Qt's own texts only where the program's are translated too, so a window
    // never mixes two languages.
    if (m_translated)
        install(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

THXTranslations::~THXTranslations()
{
    for (const auto& translator : m_installed)
        QCoreApplication::removeTranslator(translator.get());
}

} // namespace hx
