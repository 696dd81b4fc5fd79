#pragma once
// Turns the text of an RSS feed (RSS 0.9x/2.0 with items under "channel", or RSS 1.0 with
// items under "rdf:RDF") into the channel record and one record per item. Values are kept
// as they stand in the feed: entities are not decoded, escaped markup stays escaped.
#include <functional>
#include <string>
#include <string_view>

#include "base/Component.h"
#include "base/Strings.h"

struct TItemInfo {
    std::string Title;
    std::string Link;
    std::string Description;
    std::string Creator;
    std::string Date;
};

struct TChannelInfo {
    std::string Title;
    std::string Link;
    std::string Description;
    std::string Language;
    std::string Copyright;
    std::string Rating;
    std::string ManagingEditor;
    std::string WebMaster;
    std::string PubDate;
    std::string LastBuildDate;
    std::string Category;
    std::string Generator;
    std::string Docs;
    std::string TTL;
};

using TFoundVersionEvent = std::function<void(TObject* Sender, const std::string& Version)>;
using TFoundItemEvent = std::function<void(TObject* Sender, const TItemInfo& Item)>;

class TjsRSSParser : public TComponent {
public:
    explicit TjsRSSParser(TComponent* AOwner = nullptr);

    const TStringList& RSS() const { return FRSS; }
    void SetRSS(const TStringList& Lines) { FRSS.Assign(Lines); }

    // Runs one parse of the RSS lines; OnFoundVersion once per root element, OnFoundItem
    // once per item, in document order.
    void Parse();
    // The same over a whole text, as if its lines had been put into RSS.
    void ParseText(std::string_view Text);

    // The channel of the last parse.
    TChannelInfo Channel;

    TFoundVersionEvent OnFoundVersion;
    TFoundItemEvent OnFoundItem;

private:
    // The roots a feed can have; the channel and the items hang below them.
    enum TRoot { rtNone, rtRss, rtRdf };

    // Where a text after the last element tag goes. Worked out when the tag arrives, for
    // every root at once, because a root element may still come between tag and text.
    struct TTarget {
        int ChannelField = -1;      // the tag names this channel field, or -1
        int ItemField = -1;         // the tag names this item field, or -1
        unsigned ChannelRoots = 0;  // bit r: the tag's path is the channel path under root r
        unsigned ItemRoots = 0;     // bit r: the tag's path is an item path under root r
    };

    void Run(std::string_view Text);
    void FoundTag(std::string_view Path, std::string_view TagName, std::string_view CompleteTag);
    void FoundText(std::string_view Text);

    TStringList FRSS;
    TRoot FRoot = rtNone;  // the last root element seen, kept from one parse to the next
    TTarget FTarget;
    TItemInfo FItem;
};
