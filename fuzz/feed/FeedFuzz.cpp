// Feeds arbitrary bytes through the scanner and the RSS extractor, with every event
// assigned, and checks what the events may promise: paths end in "/", texts are trimmed.
// Each parser also runs twice, on the bytes as they are and on their lines joined with
// CR LF, and the two runs must report exactly the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "feed/jsRSSParser.h"
#include "feed/jsXMLParser.h"
#include "feed/jsXMLUtil.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

bool Trimmed(std::string_view s) {
    return !s.empty() && static_cast<unsigned char>(s.front()) > 32 &&
           static_cast<unsigned char>(s.back()) > 32;
}

// Appends one event to a log, each field with its length so no content can fake a border.
void Log(std::string& log, char kind, std::initializer_list<std::string_view> fields) {
    log += kind;
    for (std::string_view f : fields)
        log.append(std::to_string(f.size())).append(1, ':').append(f);
}

// Every event of the scanner over text, given as it is or as lines.
std::string ScanLog(std::string_view text, bool asLines) {
    std::string log;
    TjsXMLParser xml;
    int lastIndex = -1;
    xml.OnParsing = [&](TObject*, int lines, int total) {
        Check(lines > lastIndex && lines < total);
        lastIndex = lines;
        Log(log, 'p', {std::to_string(lines), std::to_string(total)});
    };
    xml.OnFoundTag = [&](TObject*, std::string_view path, std::string_view name, std::string_view tag) {
        Check(path.empty() || path.back() == '/');
        Check(!tag.empty() && tag.front() == '<');
        Check(tag.find(name) != std::string_view::npos);
        Log(log, 't', {path, name, tag, GetAttributeValue(GetAttribute(tag, "version"))});
    };
    xml.OnFoundText = [&](TObject*, std::string_view path, std::string_view t) {
        Check(path.empty() || path.back() == '/');
        Check(Trimmed(t));
        Log(log, 'x', {path, t});
    };
    xml.OnFoundComment = [&](TObject*, std::string_view c) { Log(log, 'c', {c}); };
    xml.OnFoundCDATA = [&](TObject*, std::string_view c) { Log(log, 'd', {c}); };
    if (asLines) {
        TStringList lines;
        lines.SetText(std::string(text));
        xml.SetXML(lines);
        xml.Parse();
    } else {
        xml.ParseText(text);
    }
    return log;
}

// Every version and item the RSS extractor reports, and the channel it leaves.
std::string RssLog(std::string_view text, bool asLines) {
    std::string log;
    size_t items = 0;
    TjsRSSParser rss;
    rss.OnFoundVersion = [&](TObject*, const std::string& v) { Log(log, 'v', {v}); };
    rss.OnFoundItem = [&](TObject*, const TItemInfo& item) {
        ++items;
        for (const std::string* f : {&item.Title, &item.Link, &item.Description, &item.Creator, &item.Date})
            Check(f->empty() || Trimmed(*f));
        Log(log, 'i', {item.Title, item.Link, item.Description, item.Creator, item.Date});
    };
    if (asLines) {
        TStringList lines;
        lines.SetText(std::string(text));
        rss.SetRSS(lines);
        rss.Parse();
    } else {
        rss.ParseText(text);
    }
    Check(items <= text.size() / 7);  // every item needs at least "</item>"
    const TChannelInfo& c = rss.Channel;
    Log(log, 'h',
        {c.Title, c.Link, c.Description, c.Language, c.Copyright, c.Rating, c.ManagingEditor, c.WebMaster,
         c.PubDate, c.LastBuildDate, c.Category, c.Generator, c.Docs, c.TTL});
    return log;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    Check(ScanLog(text, false) == ScanLog(text, true));
    Check(RssLog(text, false) == RssLog(text, true));

    // Attribute helpers on raw input, split at the first NUL-free byte.
    size_t cut = size / 2;
    GetAttribute(text.substr(0, cut), text.substr(cut, 8));
    GetAttributeValue(text);
    ParentPath(text);
    return 0;
}
