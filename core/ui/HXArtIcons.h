#pragma once

// The pictures compiled into the program: the state images of the task list and the
// explore view and the tray icon, drawn in art/ and made by scripts/make_art.sh.

#include <QIcon>
#include <QString>

namespace hx
{

// The picture "name" (for example "task-run", "mark-tick", "tray") with its larger
// versions for high-density screens; the fallback when the program was built
// without it.
QIcon ArtIcon(const QString& name, const QIcon& fallback);

} // namespace hx
