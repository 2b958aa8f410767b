// The WARC writer: record layout and links, digests of known blocks, revisit
// records for 304 answers, numbered files past the size limit, appending on a
// later run, the index, and a full disk that leaves the file readable.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include <zlib.h>

#include "core/HXFiles.h"
#include "engine/HXWarcWriter.h"
#include "net/HXDigest.h"
#include "net/HXPartFile.h"
#include "support/HXSandbox.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;

// One record as read back: its header fields and its block.
struct TRecord
{
    std::string Version;
    std::map<std::string, std::string> Fields;
    std::string Block;
    std::int64_t Offset = 0; // of its gzip member in the file
};

// Reads the file member by member: each record must be one gzip member of its own.
std::vector<TRecord> ReadRecords(const std::string& path)
{
    const std::string bytes = ReadWholeFile(path).value_or("");
    std::vector<TRecord> records;
    std::size_t at = 0;
    while (at < bytes.size())
    {
        z_stream stream{};
        EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data() + at));
        stream.avail_in = static_cast<uInt>(bytes.size() - at);
        std::string text;
        int result = Z_OK;
        while (result == Z_OK)
        {
            char buffer[4096];
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof(buffer);
            result = inflate(&stream, Z_NO_FLUSH);
            text.append(buffer, sizeof(buffer) - stream.avail_out);
        }
        EXPECT_EQ(result, Z_STREAM_END) << "member at " << at;
        const std::size_t used = bytes.size() - at - stream.avail_in;
        inflateEnd(&stream);
        if (result != Z_STREAM_END)
            break;

        TRecord record;
        record.Offset = static_cast<std::int64_t>(at);
        at += used;
        const std::size_t headEnd = text.find("\r\n\r\n");
        std::size_t line = 0;
        while (line < headEnd)
        {
            const std::size_t end = text.find("\r\n", line);
            const std::string field = text.substr(line, end - line);
            if (line == 0)
                record.Version = field;
            else
                record.Fields[field.substr(0, field.find(':'))] = field.substr(field.find(':') + 2);
            line = end + 2;
        }
        const std::size_t length = std::stoul(record.Fields["Content-Length"]);
        record.Block = text.substr(headEnd + 4, length);
        EXPECT_EQ(text.substr(headEnd + 4 + length), "\r\n\r\n");
        records.push_back(std::move(record));
    }
    return records;
}

class TExchangeData
{
public:
    TExchangeData(std::string url, std::string request, const std::string& response, std::string payload)
        : m_payload(std::move(payload))
    {
        m_response.Write(response);
        Exchange.URL = std::move(url);
        Exchange.Method = "GET";
        Exchange.IPAddress = "127.0.0.1";
        Exchange.Time = 1'700'000'000; // 2023-11-14T22:13:20Z
        Exchange.Request = std::move(request);
        Exchange.RequestDigest = TSha1::Labelled(Exchange.Request);
        Exchange.Response = &m_response;
        Exchange.ResponseDigest = TSha1::Labelled(response);
        Exchange.PayloadDigest = TSha1::Labelled(m_payload);
    }
    THXExchange Exchange;

private:
    std::string m_payload;
    THXSpool m_response{16};
};

const std::string kRequest = "GET /a.html HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nAccept: */*\r\n\r\n";
const std::string kChunkedAnswer = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                                   "Transfer-Encoding: chunked\r\n\r\n5\r\nHello\r\n7\r\n, world\r\n0\r\n\r\n";

TEST(HXWarcWriterTest, DigestsAreSha1InBase32)
{
    // RFC 4648's test vectors, and SHA-1 of "abc" (a9993e36...9cd0d89d) in Base32.
    EXPECT_EQ(EncodeBase32(""), "");
    EXPECT_EQ(EncodeBase32("f"), "MY======");
    EXPECT_EQ(EncodeBase32("fo"), "MZXQ====");
    EXPECT_EQ(EncodeBase32("foob"), "MZXW6YQ=");
    EXPECT_EQ(EncodeBase32("foobar"), "MZXW6YTBOI======");
    EXPECT_EQ(TSha1::Labelled("abc"), "sha1:VGMT4NSHA2AWVOR6EVYXQUGCNSONBWE5");
    EXPECT_EQ(TSha1::Labelled(""), "sha1:3I42H3S6NNFQ2MSVX7XZKYAYSCX5QBYJ");
    // Fed in pieces, the same digest.
    TSha1 pieces;
    pieces.Update("a");
    pieces.Update("bc");
    EXPECT_EQ(pieces.FinishLabelled(), "sha1:VGMT4NSHA2AWVOR6EVYXQUGCNSONBWE5");

    EXPECT_EQ(SurtKey("http://www.Example.org:8080/A/b.html?x=1#top"), "org,example:8080)/a/b.html?x=1");
    EXPECT_EQ(SurtKey("https://example.org:443"), "org,example)/");
    EXPECT_EQ(SurtKey("http://127.0.0.1:8080/p?q"), "127.0.0.1:8080)/p?q");
    EXPECT_EQ(WarcFileName("/x/site", 0), "/x/site.warc.gz");
    EXPECT_EQ(WarcFileName("/x/site.warc.gz", 2), "/x/site-2.warc.gz");
    EXPECT_EQ(CdxjFileName("/x/site.warc.gz"), "/x/site.cdxj");
}

TEST(HXWarcWriterTest, AnExchangeIsARequestAndAResponseRecordLinkedToEachOther)
{
    TTempFolder folder;
    const std::string path = (folder.Path() / "site.warc.gz").string();
    TExchangeData data("http://127.0.0.1:8080/a.html", kRequest, kChunkedAnswer, "Hello, world");
    {
        TWarcWriter writer(path, {"Harbex 9.9", "Site", kWarcFileLimit, {}});
        writer.Record(data.Exchange);
        // The records gather in memory until a flush (the task's, before it saves its queue).
        EXPECT_EQ(ReadRecords(path).size(), 1u);
        EXPECT_TRUE(writer.Flush());
        EXPECT_EQ(ReadRecords(path).size(), 3u);
    }
    const std::vector<TRecord> records = ReadRecords(path);
    ASSERT_EQ(records.size(), 3u);

    const TRecord& info = records[0];
    EXPECT_EQ(info.Version, "WARC/1.1");
    EXPECT_EQ(info.Fields.at("WARC-Type"), "warcinfo");
    EXPECT_EQ(info.Fields.at("WARC-Filename"), "site.warc.gz");
    EXPECT_EQ(info.Fields.at("Content-Type"), "application/warc-fields");
    EXPECT_NE(info.Block.find("software: Harbex 9.9\r\n"), std::string::npos) << info.Block;
    EXPECT_NE(info.Block.find("isPartOf: Site\r\n"), std::string::npos) << info.Block;
    EXPECT_EQ(info.Fields.at("WARC-Block-Digest"), TSha1::Labelled(info.Block));

    const TRecord& request = records[1];
    const TRecord& response = records[2];
    EXPECT_EQ(request.Fields.at("WARC-Type"), "request");
    EXPECT_EQ(response.Fields.at("WARC-Type"), "response");
    EXPECT_EQ(request.Block, kRequest);
    // The answer as received: chunk size lines and all.
    EXPECT_EQ(response.Block, kChunkedAnswer);
    for (const TRecord* record : {&request, &response})
    {
        EXPECT_EQ(record->Fields.at("WARC-Target-URI"), "http://127.0.0.1:8080/a.html");
        EXPECT_EQ(record->Fields.at("WARC-Date"), "2023-11-14T22:13:20Z");
        EXPECT_EQ(record->Fields.at("WARC-IP-Address"), "127.0.0.1");
        EXPECT_EQ(record->Fields.at("WARC-Block-Digest"), TSha1::Labelled(record->Block));
        EXPECT_EQ(record->Fields.at("WARC-Record-ID").rfind("<urn:uuid:", 0), 0u);
    }
    EXPECT_EQ(request.Fields.at("WARC-Concurrent-To"), response.Fields.at("WARC-Record-ID"));
    EXPECT_EQ(response.Fields.at("WARC-Concurrent-To"), request.Fields.at("WARC-Record-ID"));
    EXPECT_NE(request.Fields.at("WARC-Record-ID"), response.Fields.at("WARC-Record-ID"));
    EXPECT_EQ(request.Fields.at("Content-Type"), "application/http;msgtype=request");
    EXPECT_EQ(response.Fields.at("Content-Type"), "application/http;msgtype=response");
    // The payload digest is the body's without its transfer coding.
    EXPECT_EQ(response.Fields.at("WARC-Payload-Digest"), TSha1::Labelled("Hello, world"));

    // The index line points at the response record.
    const std::string index = ReadWholeFile((folder.Path() / "site.cdxj").string()).value_or("");
    EXPECT_EQ(index.rfind("127.0.0.1:8080)/a.html 20231114221320 {\"url\": \"http://127.0.0.1:8080/a.html\", "
                          "\"mime\": \"text/html\", \"status\": \"200\", \"digest\": \"" +
                              TSha1::Labelled("Hello, world") + "\", ",
                          0),
              0u)
        << index;
    EXPECT_NE(index.find("\"offset\": \"" + std::to_string(response.Offset) + "\""), std::string::npos) << index;
}

TEST(HXWarcWriterTest, A304AnswerBecomesARevisitAndAnUnreadBodyIsMarkedTruncated)
{
    TTempFolder folder;
    const std::string path = (folder.Path() / "site.warc.gz").string();
    const std::string notModified = "HTTP/1.1 304 Not Modified\r\nDate: Tue, 14 Nov 2023 22:13:20 GMT\r\n\r\n";
    TExchangeData revisit("http://127.0.0.1:8080/a.html", kRequest, notModified, "");
    TExchangeData redirect("http://127.0.0.1:8080/old", kRequest,
                           "HTTP/1.0 301 Moved\r\nLocation: /a.html\r\nContent-Length: 20\r\n\r\n", "");
    redirect.Exchange.BodyRead = false;
    {
        TWarcWriter writer(path, {"Harbex", "", kWarcFileLimit, {}});
        writer.Record(revisit.Exchange);
        writer.Record(redirect.Exchange);
    }
    const std::vector<TRecord> records = ReadRecords(path);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[2].Fields.at("WARC-Type"), "revisit");
    EXPECT_EQ(records[2].Fields.at("WARC-Profile"), "http://netpreserve.org/warc/1.1/revisit/server-not-modified");
    EXPECT_EQ(records[2].Fields.at("WARC-Refers-To-Target-URI"), "http://127.0.0.1:8080/a.html");
    EXPECT_EQ(records[2].Block, notModified);
    EXPECT_EQ(records[2].Fields.count("WARC-Payload-Digest"), 0u);
    EXPECT_EQ(records[4].Fields.at("WARC-Type"), "response");
    EXPECT_EQ(records[4].Fields.at("WARC-Truncated"), "unspecified");
    EXPECT_EQ(records[4].Fields.count("WARC-Payload-Digest"), 0u);

    const std::string index = ReadWholeFile((folder.Path() / "site.cdxj").string()).value_or("");
    EXPECT_NE(index.find("\"mime\": \"warc/revisit\", \"status\": \"304\""), std::string::npos) << index;
}

TEST(HXWarcWriterTest, NumberedFilesFollowPastTheLimitAndALaterRunAppendsToTheLast)
{
    TTempFolder folder;
    const std::string path = (folder.Path() / "site.warc.gz").string();
    TExchangeData first("http://127.0.0.1:8080/b.html", kRequest, kChunkedAnswer, "Hello, world");
    TExchangeData second("http://127.0.0.1:8080/a.html", kRequest, kChunkedAnswer, "Hello, world");
    {
        // A limit smaller than a record: every exchange after the first starts a new file.
        TWarcWriter writer(path, {"Harbex", "", 100, {}});
        writer.Record(first.Exchange);
        EXPECT_EQ(writer.CurrentFile(), path);
        writer.Record(second.Exchange);
        EXPECT_EQ(writer.CurrentFile(), (folder.Path() / "site-1.warc.gz").string());
    }
    ASSERT_EQ(ReadRecords(path).size(), 3u);
    std::vector<TRecord> numbered = ReadRecords((folder.Path() / "site-1.warc.gz").string());
    ASSERT_EQ(numbered.size(), 3u);
    EXPECT_EQ(numbered[0].Fields.at("WARC-Type"), "warcinfo");
    EXPECT_EQ(numbered[0].Fields.at("WARC-Filename"), "site-1.warc.gz");

    // A later run with a larger limit goes on in the last file, after what is there.
    const auto sizeBefore = fs::file_size(folder.Path() / "site-1.warc.gz");
    {
        TWarcWriter writer(path, {"Harbex", "", kWarcFileLimit, {}});
        writer.Record(first.Exchange);
    }
    EXPECT_EQ(ReadRecords(path).size(), 3u);
    numbered = ReadRecords((folder.Path() / "site-1.warc.gz").string());
    ASSERT_EQ(numbered.size(), 6u);
    EXPECT_EQ(numbered[3].Fields.at("WARC-Type"), "warcinfo");
    EXPECT_EQ(numbered[3].Offset, static_cast<std::int64_t>(sizeBefore));
    EXPECT_FALSE(fs::exists(folder.Path() / "site-2.warc.gz"));

    // The index holds the three answers, sorted, each naming its file.
    const std::string index = ReadWholeFile((folder.Path() / "site.cdxj").string()).value_or("");
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < index.size();)
    {
        const std::size_t end = index.find('\n', at);
        lines.push_back(index.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 3u) << index;
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end())) << index;
    EXPECT_EQ(lines[0].rfind("127.0.0.1:8080)/a.html ", 0), 0u);
    EXPECT_NE(lines[0].find("\"filename\": \"site-1.warc.gz\""), std::string::npos);
    // The two answers for b.html share key and time: one in each file.
    EXPECT_EQ(lines[1].rfind("127.0.0.1:8080)/b.html ", 0), 0u);
    EXPECT_NE((lines[1] + lines[2]).find("\"filename\": \"site.warc.gz\""), std::string::npos);
    EXPECT_NE((lines[1] + lines[2]).find("\"filename\": \"site-1.warc.gz\""), std::string::npos);
}

TEST(HXWarcWriterTest, AFullDiskStopsWithDiskFullAndLeavesTheFileReadable)
{
    TTempFolder folder;
    const std::string path = (folder.Path() / "site.warc.gz").string();
    TExchangeData data("http://127.0.0.1:8080/a.html", kRequest, kChunkedAnswer, "Hello, world");
    // The disk takes the warcinfo record and part of the exchange's records, then is full.
    int writes = 0;
    TWarcWrite full = [&writes](int fd, const void* bytes, std::size_t size) -> ssize_t
    {
        ++writes;
        if (writes == 2)
            return ::write(fd, bytes, size / 2);
        if (writes > 2)
        {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, bytes, size);
    };
    TWarcWriter writer(path, {"Harbex", "", kWarcFileLimit, full});
    // The exchange's records gather in memory; the task's flush before it saves
    // its queue finds the disk full, and the next exchange stops the run.
    writer.Record(data.Exchange);
    EXPECT_FALSE(writer.Flush());
    try
    {
        writer.Record(data.Exchange);
        FAIL() << "a full disk went unnoticed";
    }
    catch (const EDiskFull& error)
    {
        EXPECT_NE(std::string(error.what()).find("Disk full: unable to write " + path), std::string::npos)
            << error.what();
    }
    // What did fit is cut off again: only the warcinfo stays.
    const std::vector<TRecord> records = ReadRecords(path);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Fields.at("WARC-Type"), "warcinfo");
}

} // namespace
} // namespace hx::test
