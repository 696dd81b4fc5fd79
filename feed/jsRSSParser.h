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
    void Run(std::string_view Joined);
    void SetRoot(const char* Root);
    void FoundTag(const std::string& Path, const std::string& TagName, const std::string& CompleteTag);
    void FoundText(const std::string& Text);

    TStringList FRSS;
    std::string FRoot;  // the last root element seen, kept from one parse to the next
    std::string FChannelPath, FItemPath;
    std::string FTagName, FTagPath;
    TItemInfo FItem;
};
