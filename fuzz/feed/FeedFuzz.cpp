// Feeds arbitrary bytes through the scanner and the RSS extractor, with every event
// assigned, and checks what the events may promise: paths end in "/", texts are trimmed.
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
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    TjsXMLParser xml;
    int lastIndex = -1;
    xml.OnParsing = [&](TObject*, int lines, int total) {
        Check(lines > lastIndex && lines < total);
        lastIndex = lines;
    };
    xml.OnFoundTag = [](TObject*, std::string_view path, std::string_view name, std::string_view tag) {
        Check(path.empty() || path.back() == '/');
        Check(!tag.empty() && tag.front() == '<');
        Check(tag.find(name) != std::string_view::npos);
        GetAttributeValue(GetAttribute(tag, "version"));
    };
    xml.OnFoundText = [](TObject*, std::string_view path, std::string_view t) {
        Check(path.empty() || path.back() == '/');
        Check(Trimmed(t));
    };
    xml.OnFoundComment = [](TObject*, std::string_view) {};
    xml.OnFoundCDATA = [](TObject*, std::string_view) {};
    xml.ParseText(text);

    TjsRSSParser rss;
    size_t items = 0;
    rss.OnFoundVersion = [](TObject*, const std::string&) {};
    rss.OnFoundItem = [&](TObject*, const TItemInfo& item) {
        ++items;
        for (const std::string* f : {&item.Title, &item.Link, &item.Description, &item.Creator, &item.Date})
            Check(f->empty() || Trimmed(*f));
    };
    rss.ParseText(text);
    Check(items <= size / 7);  // every item needs at least "</item>"

    // Attribute helpers on raw input, split at the first NUL-free byte.
    size_t cut = size / 2;
    GetAttribute(text.substr(0, cut), text.substr(cut, 8));
    GetAttributeValue(text);
    ParentPath(text);
    return 0;
}
