#pragma once

// The data behind the main window's Zips tree: one TZipArchive per open archive,
// with a node tree (the archive's root, one node per folder level, one node per
// file) and two indexes that find a folder's or a file's node without walking the
// tree. The window's tree model shows it; the archive operations fill and prune it.
//
// Also here: the busy state that the task runner's zip feed and the archive
// windows share (TZipGate), the keeper that gives the shared Zip component back
// its settings and handlers after an operation, and renaming an archive file.
//
// Stored names use "/" between folders ("site/img/a.png"); a folder path ends with
// "/" ("site/img/"); the root's folder path is "".
//
// Threads: the owner thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/XcdZipD4.h"

namespace hx
{

class THXApp;

// Codes of the Zip operation in progress (TZipGate::ZipBusy).
inline constexpr int kZipIdle = 0;
inline constexpr int kZipOpening = 1;
inline constexpr int kZipAdding = 2;
inline constexpr int kZipUpdating = 3;
inline constexpr int kZipExtracting = 5;

// What a running listing fills (TZipGate::ListingMode).
inline constexpr int kListingNone = 0;
inline constexpr int kListingArchive = 1;
inline constexpr int kListingFolder = 2;
inline constexpr int kListingPages = 4;

// One busy state for the one Zip component. The component processes window
// events while it works, so a timer tick or a click can arrive in the middle of an
// operation: whoever starts an operation checks Idle() first and marks it here.
struct TZipGate
{
    int ZipBusy = kZipIdle;
    int ListingMode = kListingNone;
    // While set, the Zips tree's selection may not move to another archive (the
    // zip feed is adding to the selected one).
    bool ZipTreeLocked = false;

    bool Idle() const { return ZipBusy == kZipIdle && ListingMode == kListingNone; }
};

// Keeps every setting and event handler of a Zip component and puts them back
// when it goes out of scope, so one user of the shared component never leaves
// its archive name, folders, options or handlers to the next.
class TZipSettingsKeeper
{
public:
    explicit TZipSettingsKeeper(TXceedZip& zip);
    ~TZipSettingsKeeper();
    TZipSettingsKeeper(const TZipSettingsKeeper&) = delete;
    TZipSettingsKeeper& operator=(const TZipSettingsKeeper&) = delete;

private:
    TXceedZip& m_zip;
    std::string m_zipFileName;
    std::vector<std::string> m_filesToProcess;
    int m_compression;
    std::string m_storedExtensions;
    bool m_useTempFile;
    bool m_usePaths;
    bool m_recurse;
    std::string m_extractDirectory;
    TXcdOverwrite m_overwrite;
    std::string m_baseFolder;
    TDateTime m_fixedEntryTime;
    decltype(TXceedZip::OnAdding) m_onAdding;
    decltype(TXceedZip::OnUpdating) m_onUpdating;
    decltype(TXceedZip::OnDeleting) m_onDeleting;
    decltype(TXceedZip::OnExtracting) m_onExtracting;
    decltype(TXceedZip::OnReplace) m_onReplace;
    decltype(TXceedZip::OnListing) m_onListing;
    decltype(TXceedZip::OnFileComment) m_onFileComment;
    decltype(TXceedZip::OnStatus) m_onStatus;
    decltype(TXceedZip::OnSkipping) m_onSkipping;
    decltype(TXceedZip::ProcessEvents) m_processEvents;
};

class TZipArchive;

// A node of the Zips tree.
struct TZipTreeNode
{
    // The archive's file name (root), a folder's name, or a file's name with
    // "   (" comment ")" when it has a comment.
    std::string Text;
    TZipTreeNode* Parent = nullptr;
    std::vector<std::unique_ptr<TZipTreeNode>> Children;
    TZipArchive* Archive = nullptr;
    // The folder path (folders and the root) or the stored name (files).
    std::string Key;
    bool IsFile = false;

    bool IsRoot() const { return Parent == nullptr; }
    // The node's place among its parent's children (0 for a root).
    int Row() const;
    // The name or mask the Zip component is given for the node: "*.*" for the
    // root, "a/b/*.*" for a folder, the stored name for a file.
    std::string Pattern() const;
};

// Notified around every change of an archive's nodes, so a model can tell its views.
class TZipTreeObserver
{
public:
    virtual ~TZipTreeObserver() = default;
    // `parent` null: a new archive root at `row`.
    virtual void NodeAboutToBeInserted(TZipTreeNode* parent, int row) = 0;
    virtual void NodeInserted() = 0;
    virtual void NodeAboutToBeRemoved(TZipTreeNode& node) = 0;
    virtual void NodeRemoved() = 0;
    virtual void NodeTextChanged(TZipTreeNode& node) = 0;
};

// The text of a file node: the file name, and the comment in parentheses after
// three blanks when there is one.
std::string ZipFileNodeText(std::string_view fileName, std::string_view comment);
// A file node's text without its comment: the file name.
std::string_view ZipNodeFileName(std::string_view text);

// An open archive (the tree's data of one root).
class TZipArchive
{
public:
    TZipArchive(std::string path, TZipTreeObserver* observer);
    TZipArchive(const TZipArchive&) = delete;
    TZipArchive& operator=(const TZipArchive&) = delete;

    const std::string& Path() const { return m_path; }
    TZipTreeNode& Root() { return m_root; }
    // A rename: the path, and the root's text (the file name).
    void SetPath(std::string path);

    // A listed entry: its folder nodes and its file node (folder entries give
    // folder nodes only); counts the sizes into the totals. An entry already in
    // the tree gets no second node. Returns the file's node, null for a folder entry.
    TZipTreeNode* AddListedFile(const TXcdFileStats& stats);
    // A file added to the archive: its node under its folder nodes, unless the
    // stored name has one already. Returns the new node or null.
    TZipTreeNode* AddStoredFile(const std::string& storedName, std::string_view comment);
    // Deletes the node (a root: nothing) and every folder above it left without
    // children, below the root. Both indexes forget what was removed.
    void RemoveNode(TZipTreeNode& node);

    TZipTreeNode* FindFile(const std::string& storedName) const;
    TZipTreeNode* FindFolder(const std::string& folderPath) const;
    // Every stored name of the file index, sorted.
    std::vector<std::string> FileNames() const;
    std::size_t FileCount() const { return m_files.size(); }

    std::int64_t TotalSize = 0;
    std::int64_t TotalPacked = 0;
    // Set once the archive was unpacked into the temporary folder for browsing
    // (also when that failed, so it is not tried again and again).
    bool ExtractedForBrowsing = false;

private:
    TZipTreeNode& FolderNode(const std::string& folderPath);
    TZipTreeNode& AddChild(TZipTreeNode& parent, std::string text, std::string key, bool isFile);
    void Forget(TZipTreeNode& node);

    std::string m_path;
    TZipTreeObserver* m_observer;
    TZipTreeNode m_root;
    std::unordered_map<std::string, TZipTreeNode*> m_folders;
    std::unordered_map<std::string, TZipTreeNode*> m_files;
};

// The open archives, in the order they were opened.
class TZipArchiveList
{
public:
    explicit TZipArchiveList(TZipTreeObserver* observer = nullptr)
        : m_observer(observer)
    {
    }

    // A new root at the end.
    TZipArchive& Add(const std::string& path);
    // Deletes the archive's root with all its nodes.
    void Close(TZipArchive& archive);
    // The first archive whose path equals `path` (letter case counts), else null.
    TZipArchive* Find(const std::string& path) const;
    std::size_t Count() const { return m_archives.size(); }
    TZipArchive& At(std::size_t index) const { return *m_archives[index]; }
    int IndexOf(const TZipArchive& archive) const;

private:
    TZipTreeObserver* m_observer;
    std::vector<std::unique_ptr<TZipArchive>> m_archives;
};

// Renames an archive file to `newName` in its folder; when a file of that name
// exists, "(0)", "(1)", ... go before the extension until the name is free. The
// recent-archive list drops the old path and gains the new one. On failure the
// result holds the message the user sees and nothing changed.
struct TZipRename
{
    bool Renamed = false;
    std::string NewPath;
    std::string Error;
};
TZipRename RenameZipFile(THXApp& app, const std::string& oldPath, const std::string& newName);

// The first "*.zip" files of a folder by name, letter case ignored (the
// Downloads menus).
std::vector<std::string> ZipFilesInFolder(const std::string& folder, std::size_t limit);

// "My Harbexs for 1-22-1999.zip": the day's archive name.
std::string SpecialZipName(int year, int month, int day);

} // namespace hx
