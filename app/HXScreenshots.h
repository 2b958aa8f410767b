#pragma once

// harbex --screenshots DIR: renders the main window in each view that can be
// chosen (the explore view with the finished copy's queue), the status window in the middle of a copy (with a chart
// that has points) and the connections view with busy rows, to PNG files in DIR. The copy is of the bundled sample
// site, served on 127.0.0.1, into a temporary program folder: the user's own settings and tasks are not touched.

#include <QString>

namespace hx
{

// Returns the program's exit status (0 when every picture was written).
int TakeScreenshots(const QString& folder);

} // namespace hx
