#pragma once

// Local file names and folders: unique names for new files, names made safe for
// the file system, forced copies, folder listings, and the browser programs the
// windows offer for viewing a copied site.

#include <string>
#include <string_view>
#include <vector>

namespace hx
{

// The path itself when no file of that name exists, else the first free
// name(0).ext, name(1).ext, ... in the same folder.
std::string UniqueFileName(const std::string& path);

// File name without folder, with the first occurrence of its extension removed.
std::string FileBaseName(const std::string& path);

// Every \ / : * ? " < > | becomes `replacement`.
std::string ReplaceIllegalChars(std::string_view text, char replacement);

std::string ToBackslashes(std::string_view text);
std::string ToSlashes(std::string_view text);

// Creates the target's folder with all parents (throws EFileError "Unable to
// create directory" when it cannot), then copies the source over the target.
// False when the copy fails.
bool CopyFileForced(const std::string& source, const std::string& target);

// Names (without folder) of the files in the folder that match the mask, sorted
// by bytes; empty when the folder does not exist. The mask knows "*" (any run of
// characters) and "?" (one character) and ignores ASCII letter case; "*.*" and
// an empty mask match every name.
std::vector<std::string> ListFiles(const std::string& folder, std::string_view mask);

// Names of the sub-folders of the folder, sorted by bytes; empty when it does not exist.
std::vector<std::string> ListFolders(const std::string& folder);

// Full path of the first executable regular file of that name in the folders of
// $PATH, empty when none. Empty entries of $PATH (the current folder) are skipped.
std::string FindProgramOnPath(std::string_view name);

// A Chromium-family browser on $PATH, empty when none.
std::string FindInternetExplorer();
// A Firefox-family browser on $PATH, empty when none.
std::string FindNetscapeNavigator();
bool InternetExplorerInstalled();

} // namespace hx
