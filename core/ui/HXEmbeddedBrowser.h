#pragma once

// Whether the embedded browser (Qt WebEngine) can be used, and the environment its
// helper processes need. Every window that embeds it (the Browse and Home panes,
// the task editor's Sign In dialog) asks here first.

namespace hx
{

// The build has Qt WebEngine and the environment variable HARBEX_NO_WEBENGINE is
// not "1".
bool EmbeddedBrowserAvailable();

// Sets the switches the engine's helper processes read from the environment when
// the first page is made: run as root they need their sandbox off; on a display
// without a GPU (offscreen) they need not look for one. Call before making a page.
void PrepareEngineEnvironment();

} // namespace hx
