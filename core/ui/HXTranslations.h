#pragma once

// The windows' language. The program's captions ship translated into a few
// languages (compiled into the program); Qt's own texts (standard buttons, file
// dialogs) come from the system's Qt translations where they are installed. The
// help pages stay English.

#include <QLocale>
#include <QTranslator>

#include <memory>
#include <vector>

namespace hx
{

class THXTranslations
{
public:
    // Installs the translations for `locale` into the application; a language
    // without a translation leaves the English captions.
    explicit THXTranslations(const QLocale& locale);
    // Removes them again: windows created afterwards read English.
    ~THXTranslations();
    THXTranslations(const THXTranslations&) = delete;
    THXTranslations& operator=(const THXTranslations&) = delete;

    // Whether the program's own captions are translated.
    bool Translated() const { return m_translated; }

private:
    std::vector<std::unique_ptr<QTranslator>> m_installed;
    bool m_translated = false;
};

} // namespace hx
