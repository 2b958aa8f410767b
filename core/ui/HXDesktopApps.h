#pragma once

// The desktop's default applications, found as the desktop records them: the
// mimeapps.list files (the user's configuration first, then the system's, then
// the application folders') name the desktop entry that opens a file type, and
// the entry's Exec line gives the command. Where no list names one, an
// application registered for the type in the folders' mimeinfo.cache stands in.
// Entries that need a terminal are passed over: they would open nowhere.
//
// Threads: any (files are read, nothing is cached).

#include <QString>
#include <QStringList>

namespace hx
{

// The command, program first, that opens `file` with the desktop's default
// application for `mimeType` ("text/plain"); empty when the desktop names none.
QStringList DefaultApplicationCommand(const QString& mimeType, const QString& file);

} // namespace hx
