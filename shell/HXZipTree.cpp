#include "shell/HXZipTree.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXURL.h"

namespace hx
{

namespace
{

constexpr std::string_view kCommentOpening = "   (";

// "a/b/c.txt" -> "a/b/"; "c.txt" -> "".
std::string FolderOf(const std::string& storedName)
{
    const std::size_t slash = storedName.rfind('/');
    return slash == std::string::npos ? std::string() : storedName.substr(0, slash + 1);
}

std::string NameOf(const std::string& storedName)
{
    const std::size_t slash = storedName.rfind('/');
    return slash == std::string::npos ? storedName : storedName.substr(slash + 1);
}

} // namespace

// ---- TZipSettingsKeeper ----

TZipSettingsKeeper::TZipSettingsKeeper(TXceedZip& zip)
    : m_zip(zip)
    , m_zipFileName(zip.ZipFileName)
    , m_filesToProcess(zip.FilesToProcess)
    , m_compression(zip.Compression)
    , m_storedExtensions(zip.StoredExtensions)
    , m_useTempFile(zip.UseTempFile)
    , m_usePaths(zip.UsePaths)
    , m_recurse(zip.Recurse)
    , m_extractDirectory(zip.ExtractDirectory)
    , m_overwrite(zip.Overwrite)
    , m_baseFolder(zip.BaseFolder)
    , m_fixedEntryTime(zip.FixedEntryTime)
    , m_onAdding(zip.OnAdding)
    , m_onUpdating(zip.OnUpdating)
    , m_onDeleting(zip.OnDeleting)
    , m_onExtracting(zip.OnExtracting)
    , m_onReplace(zip.OnReplace)
    , m_onListing(zip.OnListing)
    , m_onFileComment(zip.OnFileComment)
    , m_onStatus(zip.OnStatus)
    , m_onSkipping(zip.OnSkipping)
    , m_processEvents(zip.ProcessEvents)
{
}

TZipSettingsKeeper::~TZipSettingsKeeper()
{
    m_zip.ZipFileName = std::move(m_zipFileName);
    m_zip.FilesToProcess = std::move(m_filesToProcess);
    m_zip.Compression = m_compression;
    m_zip.StoredExtensions = std::move(m_storedExtensions);
    m_zip.UseTempFile = m_useTempFile;
    m_zip.UsePaths = m_usePaths;
    m_zip.Recurse = m_recurse;
    m_zip.ExtractDirectory = std::move(m_extractDirectory);
    m_zip.Overwrite = m_overwrite;
    m_zip.BaseFolder = std::move(m_baseFolder);
    m_zip.FixedEntryTime = m_fixedEntryTime;
    m_zip.OnAdding = std::move(m_onAdding);
    m_zip.OnUpdating = std::move(m_onUpdating);
    m_zip.OnDeleting = std::move(m_onDeleting);
    m_zip.OnExtracting = std::move(m_onExtracting);
    m_zip.OnReplace = std::move(m_onReplace);
    m_zip.OnListing = std::move(m_onListing);
    m_zip.OnFileComment = std::move(m_onFileComment);
    m_zip.OnStatus = std::move(m_onStatus);
    m_zip.OnSkipping = std::move(m_onSkipping);
    m_zip.ProcessEvents = std::move(m_processEvents);
}

// ---- Nodes ----

int TZipTreeNode::Row() const
{
    if (!Parent)
        return 0;
    const auto& siblings = Parent->Children;
    const auto found = std::find_if(siblings.begin(), siblings.end(),
                                    [this](const std::unique_ptr<TZipTreeNode>& child) { return child.get() == this; });
    return static_cast<int>(found - siblings.begin());
}

std::string TZipTreeNode::Pattern() const
{
    if (IsFile)
        return Key;
    return Key + "*.*";
}

std::string ZipFileNodeText(std::string_view fileName, std::string_view comment)
{
    std::string text(fileName);
    if (!comment.empty())
    {
        text += kCommentOpening;
        text += comment;
        text += ')';
    }
    return text;
}

std::string_view ZipNodeFileName(std::string_view text)
{
    const std::size_t opening = text.find(kCommentOpening);
    return opening == std::string_view::npos ? text : text.substr(0, opening);
}

// ---- TZipArchive ----

TZipArchive::TZipArchive(std::string path, TZipTreeObserver* observer)
    : m_path(std::move(path))
    , m_observer(observer)
{
    m_root.Text = ExtractFileName(m_path);
    m_root.Archive = this;
    m_folders.emplace(std::string(), &m_root);
}

void TZipArchive::SetPath(std::string path)
{
    m_path = std::move(path);
    m_root.Text = ExtractFileName(m_path);
    if (m_observer)
        m_observer->NodeTextChanged(m_root);
}

TZipTreeNode& TZipArchive::AddChild(TZipTreeNode& parent, std::string text, std::string key, bool isFile)
{
    auto node = std::make_unique<TZipTreeNode>();
    node->Text = std::move(text);
    node->Parent = &parent;
    node->Archive = this;
    node->Key = std::move(key);
    node->IsFile = isFile;
    if (m_observer)
        m_observer->NodeAboutToBeInserted(&parent, static_cast<int>(parent.Children.size()));
    TZipTreeNode& added = *node;
    parent.Children.push_back(std::move(node));
    if (m_observer)
        m_observer->NodeInserted();
    return added;
}

TZipTreeNode& TZipArchive::FolderNode(const std::string& folderPath)
{
    if (const auto found = m_folders.find(folderPath); found != m_folders.end())
        return *found->second;
    // Each missing level under the one above it: "a/", "a/b/", ...
    TZipTreeNode* parent = &m_root;
    std::size_t start = 0;
    while (start < folderPath.size())
    {
        const std::size_t slash = folderPath.find('/', start);
        const std::size_t end = slash == std::string::npos ? folderPath.size() : slash + 1;
        std::string level = folderPath.substr(0, end);
        const auto found = m_folders.find(level);
        if (found != m_folders.end())
            parent = found->second;
        else
        {
            std::string name = folderPath.substr(start, end - start);
            if (!name.empty() && name.back() == '/')
                name.pop_back();
            parent = &AddChild(*parent, std::move(name), level, false);
            m_folders.emplace(std::move(level), parent);
        }
        start = end;
    }
    return *parent;
}

TZipTreeNode* TZipArchive::AddListedFile(const TXcdFileStats& stats)
{
    if (stats.IsFolder)
    {
        FolderNode(stats.FileName.back() == '/' ? stats.FileName : stats.FileName + "/");
        return nullptr;
    }
    TZipTreeNode* node = AddStoredFile(stats.FileName, stats.Comment);
    if (node)
    {
        TotalSize += stats.Size;
        TotalPacked += stats.CompressedSize;
    }
    return node;
}

TZipTreeNode* TZipArchive::AddStoredFile(const std::string& storedName, std::string_view comment)
{
    if (storedName.empty() || m_files.count(storedName) != 0)
        return nullptr;
    TZipTreeNode& folder = FolderNode(FolderOf(storedName));
    TZipTreeNode& node = AddChild(folder, ZipFileNodeText(NameOf(storedName), comment), storedName, true);
    m_files.emplace(storedName, &node);
    return &node;
}

void TZipArchive::Forget(TZipTreeNode& node)
{
    for (const auto& child : node.Children)
        Forget(*child);
    if (node.IsFile)
        m_files.erase(node.Key);
    else
        m_folders.erase(node.Key);
}

void TZipArchive::RemoveNode(TZipTreeNode& node)
{
    TZipTreeNode* current = &node;
    while (current && !current->IsRoot())
    {
        TZipTreeNode* parent = current->Parent;
        Forget(*current);
        if (m_observer)
            m_observer->NodeAboutToBeRemoved(*current);
        parent->Children.erase(parent->Children.begin() + current->Row());
        if (m_observer)
            m_observer->NodeRemoved();
        // A folder never stays without children; the root does.
        current = parent->Children.empty() ? parent : nullptr;
    }
}

TZipTreeNode* TZipArchive::FindFile(const std::string& storedName) const
{
    const auto found = m_files.find(storedName);
    return found == m_files.end() ? nullptr : found->second;
}

TZipTreeNode* TZipArchive::FindFolder(const std::string& folderPath) const
{
    const auto found = m_folders.find(folderPath);
    return found == m_folders.end() ? nullptr : found->second;
}

std::vector<std::string> TZipArchive::FileNames() const
{
    std::vector<std::string> names;
    names.reserve(m_files.size());
    for (const auto& [name, node] : m_files)
        names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

// ---- TZipArchiveList ----

TZipArchive& TZipArchiveList::Add(const std::string& path)
{
    if (m_observer)
        m_observer->NodeAboutToBeInserted(nullptr, static_cast<int>(m_archives.size()));
    m_archives.push_back(std::make_unique<TZipArchive>(path, m_observer));
    if (m_observer)
        m_observer->NodeInserted();
    return *m_archives.back();
}

void TZipArchiveList::Close(TZipArchive& archive)
{
    const int index = IndexOf(archive);
    if (index < 0)
        return;
    if (m_observer)
        m_observer->NodeAboutToBeRemoved(archive.Root());
    m_archives.erase(m_archives.begin() + index);
    if (m_observer)
        m_observer->NodeRemoved();
}

TZipArchive* TZipArchiveList::Find(const std::string& path) const
{
    for (const auto& archive : m_archives)
        if (archive->Path() == path)
            return archive.get();
    return nullptr;
}

int TZipArchiveList::IndexOf(const TZipArchive& archive) const
{
    for (std::size_t i = 0; i < m_archives.size(); ++i)
        if (m_archives[i].get() == &archive)
            return static_cast<int>(i);
    return -1;
}

// ---- Files ----

TZipRename RenameZipFile(THXApp& app, const std::string& oldPath, const std::string& newName)
{
    namespace fs = std::filesystem;
    TZipRename result;
    const std::string folder = ExtractFilePath(oldPath);
    const std::string extension = ExtractFileExt(newName);
    const std::string stem = newName.substr(0, newName.size() - extension.size());
    std::string newPath = folder + newName;
    const auto refuse = [&result, &newPath]
    {
        result.Error = "Unable to rename file to: " + newPath +
                       "\nA file may not contain any of the following characters: \n\\/:*?\"<>|";
        return result;
    };
    // A name with a folder step would move the archive somewhere else.
    if (newName.empty() || newName == "." || newName == ".." ||
        newName.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return refuse();
    std::error_code error;
    for (unsigned long number = 0; FileExists(newPath); ++number)
    {
        // The archive already bears this name (or one of its numbered forms).
        if (fs::equivalent(newPath, oldPath, error))
        {
            result.NewPath = newPath;
            return result;
        }
        newPath = folder + ShortenLocalName(stem + "(" + std::to_string(number) + ")" + extension);
    }
    fs::rename(oldPath, newPath, error);
    if (error)
        return refuse();
    result.Renamed = true;
    result.NewPath = newPath;
    std::vector<std::string> recent = app.LoadRecentList(kRecentZipFilesKey, app.MaxFileHistory());
    recent.erase(std::remove(recent.begin(), recent.end(), oldPath), recent.end());
    recent.insert(recent.begin(), newPath);
    app.SaveRecentList(kRecentZipFilesKey, recent, app.MaxFileHistory());
    return result;
}

std::vector<std::string> ZipFilesInFolder(const std::string& folder, std::size_t limit)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(error) && LowerCase(ExtractFileExt(name)) == ".zip")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b)
              {
                  const std::string lowerA = LowerCase(a);
                  const std::string lowerB = LowerCase(b);
                  return lowerA != lowerB ? lowerA < lowerB : a < b;
              });
    if (names.size() > limit)
        names.resize(limit);
    return names;
}

std::string SpecialZipName(int year, int month, int day)
{
    return "My Harbexs for " + std::to_string(month) + "-" + std::to_string(day) + "-" + std::to_string(year) + ".zip";
}

} // namespace hx
