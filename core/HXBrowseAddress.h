#pragma once

// The addresses a queue item is browsed at: the live address (or, with a banner
// page set, the banner wrapper page "Harbex.htm" that frames it) and the saved copy
// on disk. Used by the explore view and by the scheduler window's browse commands.

#include <string>

namespace hx
{

class THXApp;
class THXTask;

// The banner wrapper page: a two-row frame set, the banner page above and `url`
// below. Written as "Harbex.htm" into the folder, replacing an earlier one; returns
// its path ("" when it could not be written).
std::string WriteBannerWrapper(const std::string& folder, const std::string& bannerPage, const std::string& url);

// The address a row is browsed at on the Internet: the URL itself with "No Ads" set
// or without a banner page, else the banner wrapper page written into the temporary
// folder.
std::string OnlineAddress(THXApp& app, const std::string& url);

// The saved copy of a URL: under the task's folder for an intranet task, under
// `unpackedFolder` (where a Zip task's archive was unpacked for browsing) otherwise.
std::string OfflinePath(const THXTask& task, const std::string& url, const std::string& unpackedFolder);

} // namespace hx
