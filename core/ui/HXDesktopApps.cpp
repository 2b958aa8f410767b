#include "core/ui/HXDesktopApps.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace hx
{

namespace
{

// The lines of one group ("[Default Applications]") of a desktop key file.
QStringList GroupLines(const QString& path, const QString& group)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    bool inGroup = false;
    while (!file.atEnd())
    {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inGroup = line == group;
        else if (inGroup && !line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            lines << line;
    }
    return lines;
}

// The value of a key in a group; empty when the key is missing.
QString GroupValue(const QStringList& lines, const QString& key)
{
    for (const QString& line : lines)
    {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

// The list files in the order the desktop reads them: per folder, the current
// desktop's own list before the common one.
QStringList ListFiles(const QString& name)
{
    QStringList desktops;
    for (const QString& desktop :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops << desktop + QLatin1Char('-');
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    folders << QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    QStringList files;
    for (const QString& folder : folders)
    {
        for (const QString& desktop : desktops)
            files << folder + QLatin1Char('/') + desktop + name;
        files << folder + QLatin1Char('/') + name;
    }
    return files;
}

// The command of a desktop entry for one file: the Exec line's words with the
// file in place of its file or address code (after them when it has none), the
// other codes dropped. Empty for a missing entry or one that needs a terminal.
QStringList EntryCommand(const QString& entry, const QString& file)
{
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry);
    if (path.isEmpty())
        return {};
    const QStringList lines = GroupLines(path, QStringLiteral("[Desktop Entry]"));
    if (GroupValue(lines, QStringLiteral("Terminal")) == QStringLiteral("true"))
        return {};
    QStringList command;
    bool placed = false;
    for (QString word : QProcess::splitCommand(GroupValue(lines, QStringLiteral("Exec"))))
    {
        if (word == QStringLiteral("%f") || word == QStringLiteral("%F") || word == QStringLiteral("%u") ||
            word == QStringLiteral("%U"))
        {
            if (!placed)
                command << file;
            placed = true;
            continue;
        }
        if (word.size() == 2 && word.front() == QLatin1Char('%') && word != QStringLiteral("%%"))
            continue;
        command << word.replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    if (!command.isEmpty() && !placed)
        command << file;
    return command;
}

// The first entry of the lists' group for the type that gives a command.
QStringList FirstCommand(const QString& listName, const QString& group, const QString& mimeType, const QString& file)
{
    for (const QString& list : ListFiles(listName))
        for (const QString& entry :
             GroupValue(GroupLines(list, group), mimeType).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        {
            QStringList command = EntryCommand(entry.trimmed(), file);
            if (!command.isEmpty())
                return command;
        }
    return {};
}

} // namespace

QStringList DefaultApplicationCommand(const QString& mimeType, const QString& file)
{
    QStringList command =
        FirstCommand(QStringLiteral("mimeapps.list"), QStringLiteral("[Default Applications]"), mimeType, file);
    if (command.isEmpty())
        command =
            FirstCommand(QStringLiteral("defaults.list"), QStringLiteral("[Default Applications]"), mimeType, file);
    if (command.isEmpty())
        command = FirstCommand(QStringLiteral("mimeinfo.cache"), QStringLiteral("[MIME Cache]"), mimeType, file);
    return command;
}

} // namespace hx
