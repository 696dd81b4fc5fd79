#include "feed/jsRSSParser.h"

#include <cstring>
#include <iterator>

#include "feed/jsXMLParser.h"
#include "feed/jsXMLUtil.h"

namespace {
struct ChannelField {
    const char* Element;
    std::string TChannelInfo::*Field;
};

const ChannelField ChannelFields[] = {
    {"title", &TChannelInfo::Title},
    {"link", &TChannelInfo::Link},
    {"description", &TChannelInfo::Description},
    {"language", &TChannelInfo::Language},
    {"copyright", &TChannelInfo::Copyright},
    {"rating", &TChannelInfo::Rating},
    {"managingEditor", &TChannelInfo::ManagingEditor},
    {"webMaster", &TChannelInfo::WebMaster},
    {"pubDate", &TChannelInfo::PubDate},
    {"lastBuildDate", &TChannelInfo::LastBuildDate},
    {"category", &TChannelInfo::Category},
    {"generator", &TChannelInfo::Generator},
    {"docs", &TChannelInfo::Docs},
    {"ttl", &TChannelInfo::TTL},
};

// Views, not C strings: the names are compared for every tag, and a view knows its length.
constexpr std::string_view ItemElements[] = {"title", "link", "description", "dc:creator", "dc:date"};
std::string TItemInfo::*const ItemFields[] = {&TItemInfo::Title, &TItemInfo::Link, &TItemInfo::Description,
                                              &TItemInfo::Creator, &TItemInfo::Date};

// Names and paths are short: a plain loop beats a call to memcmp.
bool Same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// With a literal the length is known, and the compiler turns the compare into a few loads.
template <size_t N>
bool Is(std::string_view s, const char (&literal)[N]) {
    return s.size() == N - 1 && std::memcmp(s.data(), literal, N - 1) == 0;
}

template <size_t N>
bool EndsWith(std::string_view s, const char (&tail)[N]) {
    return s.size() >= N - 1 && std::memcmp(s.data() + s.size() - (N - 1), tail, N - 1) == 0;
}

template <size_t N>
int IndexOfName(std::string_view Name, const std::string_view (&Names)[N]) {
    for (size_t i = 0; i < N; ++i)
        if (Same(Name, Names[i])) return static_cast<int>(i);
    return -1;
}

constexpr std::string_view ChannelElements[] = {
    "title",     "link",    "description",   "language", "copyright", "rating", "managingEditor",
    "webMaster", "pubDate", "lastBuildDate", "category", "generator", "docs",   "ttl"};
static_assert(std::size(ChannelElements) == std::size(ChannelFields), "one name per channel field");

// The bit of the root whose name is Prefix; 0 for no root of ours.
unsigned RootBit(std::string_view Prefix) {
    if (Prefix.empty()) return 1u << 0;
    if (Is(Prefix, "rss")) return 1u << 1;
    if (Is(Prefix, "rdf:RDF")) return 1u << 2;
    return 0;
}

// The roots under which Path is Root + Tail.
template <size_t N>
unsigned RootsWhere(std::string_view Path, const char (&Tail)[N]) {
    return EndsWith(Path, Tail) ? RootBit(Path.substr(0, Path.size() - (N - 1))) : 0;
}
}  // namespace

TjsRSSParser::TjsRSSParser(TComponent* AOwner) : TComponent(AOwner) {}

void TjsRSSParser::Parse() { Run(FRSS.Text()); }

void TjsRSSParser::ParseText(std::string_view Text) { Run(Text); }

void TjsRSSParser::Run(std::string_view Text) {
    FItem = TItemInfo();
    Channel = TChannelInfo();
    FTarget = TTarget();
    // The scanner lives for one parse only, on the stack, so it has no owner: an owner
    // would free it as if it came from the heap. Comments and CDATA are not listened to,
    // so their content never reaches a record.
    TjsXMLParser scanner;
    scanner.OnFoundTag = [this](TObject*, std::string_view Path, std::string_view TagName,
                                std::string_view CompleteTag) { FoundTag(Path, TagName, CompleteTag); };
    scanner.OnFoundText = [this](TObject*, std::string_view, std::string_view Text) { FoundText(Text); };
    scanner.ParseText(Text);
}

void TjsRSSParser::FoundTag(std::string_view Path, std::string_view TagName, std::string_view CompleteTag) {
    if (Is(TagName, "rss")) {
        FRoot = rtRss;
        if (OnFoundVersion) OnFoundVersion(this, GetAttributeValue(GetAttribute(CompleteTag, "version")));
        return;
    }
    if (Is(TagName, "rdf:RDF")) {
        FRoot = rtRdf;
        if (OnFoundVersion) OnFoundVersion(this, "1.0");
        return;
    }
    if (Is(TagName, "/item")) {
        if (OnFoundItem) OnFoundItem(this, FItem);
        // Cleared in place: the fields keep their capacity for the next item.
        FItem.Title.clear();
        FItem.Link.clear();
        FItem.Description.clear();
        FItem.Creator.clear();
        FItem.Date.clear();
        return;
    }
    FTarget = TTarget();
    if (EndsWith(Path, "/channel/")) {
        FTarget.ChannelRoots = RootsWhere(Path, "/channel/");
        if (FTarget.ChannelRoots) FTarget.ChannelField = IndexOfName(TagName, ChannelElements);
    } else if (EndsWith(Path, "/item/")) {
        // RSS 1.0 keeps its items right below the root, whatever root came last.
        FTarget.ItemRoots = Is(Path, "rdf:RDF/item/") ? ~0u : RootsWhere(Path, "/channel/item/");
        if (FTarget.ItemRoots) FTarget.ItemField = IndexOfName(TagName, ItemElements);
    }
}

void TjsRSSParser::FoundText(std::string_view Text) {
    const unsigned root = 1u << FRoot;
    if (FTarget.ChannelField >= 0 && (FTarget.ChannelRoots & root))
        (Channel.*ChannelFields[FTarget.ChannelField].Field).assign(Text.data(), Text.size());
    else if (FTarget.ItemField >= 0 && (FTarget.ItemRoots & root))
        (FItem.*ItemFields[FTarget.ItemField]).assign(Text.data(), Text.size());
    // Only the first run of text after a start tag counts.
    FTarget = TTarget();
}
