#pragma once

// TPageScan: the parse work on the text of one fetched page, without any owner-thread
// step: the page's BASE and title, the scans of the tag table and of quoted texts, the
// new queue items built for the links found, the following decision, the rewriting of
// links in the page and the ad banner. The parse worker runs it between loading and
// saving a page; benchmarks and tests run it on its own.
//
// The page is scanned as bytes. Link values, the BASE and titles are taken as UTF-8
// when they are valid UTF-8, else as Windows-1252, before they become URLs or titles,
// so queued URLs, local names and titles are UTF-8 whatever the page's charset.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/HXFileTypes.h"
#include "core/HXProfile.h"
#include "core/HXTask.h"
#include "engine/HXThreadParseRules.h"
#include "engine/HXThreadParseStyle.h"
#include "engine/HXThreadParseTags.h"

namespace hx
{

class THXParser;

// Longest title kept for a page or a link (bytes, cut at a UTF-8 character boundary).
inline constexpr std::size_t kMaxTitleBytes = 1024;

// What the scan needs to know about the page and its task.
struct TPageFacts
{
    std::string URL;            // the page's own URL
    int Level = 0;              // the page's level
    int Mode = kModeDownload;   // the page's mode
    std::string StartDirectory; // directory URL of the task's start item
    // The folder the page's content came from when redirects led to another folder
    // (its relative links are resolved there); empty: the page's own folder.
    std::string ContentDirectory;
    // The text is a style sheet (a .css file): only its url(...) and @import links are
    // scanned, resolved against the sheet's own address.
    bool StyleSheet = false;
    // The task holds cookies: links that would sign the crawl out are not followed.
    bool SignedIn = false;
};

// The link texts a page's scans have written, each with the URL it stands for, kept by
// place: a later scan that meets one of them exactly where it was written (an AREA after
// the A scan, a quoted text after the tag scans) takes it for that URL, since the text is
// relative to the page's own folder, not to its BASE, and names a local file. An equal
// text anywhere else is the page's own and is resolved like any link.
//
// Between scans the places are positions (1-based) in the page text. During a scan the
// scanner reports places in the text as rewritten so far; every find moves forward, so
// the places written earlier are moved by the replacements passed, in one sweep per scan.
class TWrittenLinks
{
public:
    // A scan of the current text begins.
    void BeginScan();
    // The URL written as exactly these bytes of the text being scanned (null: none).
    // Called for every find of the scan with a value, in order.
    const std::string* Find(int start, int length);
    // The found bytes at start, oldLength of them, now read newLength bytes standing for url.
    void Written(int start, int oldLength, int newLength, std::string url);
    // The scan is over: the places become positions in the rewritten text.
    void EndScan();
    // Between scans: the bytes from start on, length of them, were removed from the text.
    void Erased(int start, int length);
    // Between scans: the URLs (without fragment) of the link texts that stand in the
    // text, each once, in text order.
    std::vector<std::string> URLs() const;

private:
    struct TSpan
    {
        int Start = 0;
        int Length = 0;
        std::string URL;
    };
    // Moves the spans of the last text that start before the place (in that text) to m_passed.
    void PassBefore(int oldPlace);

    std::vector<TSpan> m_spans;  // in text order; during a scan those not passed yet
    std::vector<TSpan> m_passed; // during a scan: spans passed, at places in the new text
    std::size_t m_next = 0;      // the first span of m_spans not passed
    int m_shift = 0;             // what the scan's replacements so far added to the length
};

class TPageScan
{
public:
    // Whether the task's queue already holds the URL (exact, letter case ignored).
    using TKnownTest = std::function<bool(std::string_view url)>;
    // Whether the URL's item will not be fetched in this run (its server is given up on).
    using TGivenUpTest = std::function<bool(const std::string& url)>;
    // Called after every find of a scan, and after every scan; false ends the page's
    // scans at once (the page is then given up).
    using THook = std::function<bool(TPageScan& scan)>;

    TPageScan(std::string pageText, TPageFacts facts, const THXProfile& profile, TFileTypeGroups groups);

    std::string PageText; // the page, rewritten as the scans go on
    std::string BaseHref; // the page's BASE as a directory URL, or empty
    std::string Title;    // the page's title (UTF-8), or empty
    int LinksFound = 0;   // followed links of the current scan
    int NewLinks = 0;     // links of the current scan that became new items

    TKnownTest IsKnown;
    // A followed link to an item that cannot be fetched in this run is written with its
    // web address instead of a local name that would lead nowhere (see Addressed).
    TGivenUpTest IsGivenUp;
    THook AfterFind;
    THook AfterScan;

    // Reads and removes the BASE tag (one find from the start of the page).
    void ReadBase();
    // Reads the title between "<TITLE>" and "</TITLE>".
    void ReadTitle();
    // One scan in tag mode (a tag table row, tagEnd ">") or quoted-text mode (opening and
    // closing quote, quoteMode 1 or 2, no attribute). False when a hook ended it.
    // A row whose values are lists (srcset, style text) gives its kind.
    bool ScanTagPair(std::string_view tag, std::string_view tagEnd, std::uint8_t quoteMode, std::string_view attribute,
                     TValueKind kind = TValueKind::Link);
    // Every row of the tag table, in table order, with the same finds, queue items and
    // rewritten text as one ScanTagPair per row; the tags of all rows are found in one
    // pass over the page first. False when a hook ended it.
    bool ScanTagTable();
    // The url(...) and @import links of the page's <style> blocks. False when a hook ended it.
    bool ScanStyleBlocks();
    // BASE, title, then the tag table and the <style> blocks unless the
    // profile's AggressiveParser is 2, then both quote characters when it is 1 or 2.
    // A style sheet's text (TPageFacts::StyleSheet) is scanned for its style links only.
    // False when a hook ended it.
    bool ScanLinks();

    // An address the page used while it was rendered (a picture, a data file, a font,
    // a script chunk): followed as a picture of the page is, under the profile's rules.
    void FollowUsedAddress(const std::string& url);

    // The items built for new followed links since the last call, in the order found:
    // state 0, without a task.
    std::vector<THXQItem> TakeNewItems();
    // After the scans: the URLs (without fragment) the page's rewritten links stand for,
    // each once.
    std::vector<std::string> LinkedURLs() const { return m_written.URLs(); }
    // Those of LinkedURLs whose links were written with their web address (IsGivenUp).
    bool Addressed(const std::string& url) const { return m_addressed.contains(url); }
    std::size_t PendingItems() const { return m_newItems.size(); }

private:
    // A replacement made by a tag table row: where it stood in the text the row began
    // with, how long it was and is, and whether it may change the tags later rows find.
    struct TRowEdit
    {
        int Start = 0;
        int OldLength = 0;
        int NewLength = 0;
        bool HeldTagStart = false;
    };
    // What became of one link: whether it is converted, to what URL, relative to which folder.
    struct TLinkDecision
    {
        bool Convert = false;
        bool Address = false; // written as the web address, not as the local name
        std::string URL;
        const std::string* Folder = nullptr;
    };
    // The text a converted link is written with; fragment as the page wrote it.
    static std::string LinkText(const TLinkDecision& decision, std::string_view fragment);

    TLinkDecision HandleLink(THXParser* scanner, const std::string& value, std::string_view tag,
                             std::string_view attribute, const std::string* writtenURL);
    void Convert(THXParser& scanner, const TLinkDecision& decision, std::string_view value);
    // IsGivenUp for the URL (without fragment), asked once per page; notes it as addressed.
    bool GivenUp(const std::string& url);
    // A value holding several links (a srcset list, style text): each link decided and
    // converted on its own, the value replaced once.
    void QueueSignOutLink(const THXQItem& link);
    void HandleLinkList(THXParser& scanner, const std::string& value, const TTagTableRow& row);
    void NoteReplaced(const THXParser& scanner, int start, int oldLength, bool heldTagStart,
                      bool oldNamedEveryTagAttribute);
    // One row over the tags the one pass found for it (positions in the text the row begins with).
    bool ScanTableRow(const TTagTableRow& row, const std::vector<int>& tagStarts);
    // Whether a replacement of the last row may have changed which tags a later row finds.
    bool EditsMoveTags() const;
    // The style links of the given parts of the page text, decided and rewritten.
    bool ScanStyleText(const std::vector<TInnerLink>& parts);
    bool Known(const std::string& url);

    TPageFacts m_facts;
    TFollowRules m_rules;
    TFileTypeGroups m_groups;
    int m_aggressiveParser;
    int m_convertFollowed;
    int m_convertUnfollowed;
    std::string m_pageDirectory;    // DirectoryURL of the page's URL
    std::string m_contentDirectory; // where relative links are resolved (after redirects)
    std::string m_siteRoot;         // site root of the start directory
    std::string m_spareBuffer;      // memory handed from one scan's output buffer to the next
    std::vector<THXQItem> m_newItems;
    std::unordered_set<std::string> m_queued; // lower-cased URLs queued by this page
    // Link texts this page's scans have written, by place.
    TWrittenLinks m_written;
    // URLs (without fragment) given up on, asked once per page so that every link to
    // one item is written the same way; and their answers.
    std::unordered_map<std::string, bool> m_givenUp;
    std::unordered_set<std::string> m_addressed;
    // The replacements of the tag table row being scanned, and what they added so far.
    std::vector<TRowEdit> m_rowEdits;
    int m_rowShift = 0;
    bool m_recordEdits = false;
    std::string m_codeBase; // the folder an applet's CODE is read from
};

} // namespace hx
