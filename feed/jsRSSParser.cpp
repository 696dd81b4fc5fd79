#include "feed/jsRSSParser.h"

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

const char RdfItemPath[] = "rdf:RDF/item/";
}  // namespace

TjsRSSParser::TjsRSSParser(TComponent* AOwner) : TComponent(AOwner) { SetRoot(""); }

void TjsRSSParser::SetRoot(const char* Root) {
    FRoot = Root;
    FChannelPath = FRoot + "/channel/";
    FItemPath = FRoot + "/channel/item/";
}

void TjsRSSParser::Parse() { Run(FRSS.Text()); }

void TjsRSSParser::ParseText(std::string_view Text) {
    std::string storage;
    Run(JoinedLines(Text, storage));
}

void TjsRSSParser::Run(std::string_view Joined) {
    FItem = TItemInfo();
    Channel = TChannelInfo();
    FTagName.clear();
    FTagPath.clear();
    // The scanner lives for one parse only; comments and CDATA are not listened to, so
    // their content never reaches a record.
    TjsXMLParser scanner(this);
    scanner.OnFoundTag = [this](TObject*, const std::string& Path, const std::string& TagName,
                                const std::string& CompleteTag) { FoundTag(Path, TagName, CompleteTag); };
    scanner.OnFoundText = [this](TObject*, const std::string&, const std::string& Text) { FoundText(Text); };
    scanner.ParseText(Joined);
}

void TjsRSSParser::FoundTag(const std::string& Path, const std::string& TagName, const std::string& CompleteTag) {
    if (TagName == "rss") {
        SetRoot("rss");
        if (OnFoundVersion) OnFoundVersion(this, GetAttributeValue(GetAttribute(CompleteTag, "version")));
    } else if (TagName == "rdf:RDF") {
        SetRoot("rdf:RDF");
        if (OnFoundVersion) OnFoundVersion(this, "1.0");
    } else if (TagName == "/item") {
        // A copy, so that a handler that starts another parse cannot pull the record away.
        TItemInfo item;
        std::swap(item, FItem);
        if (OnFoundItem) OnFoundItem(this, item);
    } else {
        FTagName = TagName;
        FTagPath = Path;
    }
}

void TjsRSSParser::FoundText(const std::string& Text) {
    const std::string& N = FTagName;
    const std::string& P = FTagPath;
    bool matched = false;
    if (P == FChannelPath) {
        for (const ChannelField& f : ChannelFields) {
            if (N == f.Element) {
                Channel.*f.Field = Text;
                matched = true;
                break;
            }
        }
    }
    if (!matched && (P == FItemPath || P == RdfItemPath)) {
        if (N == "title") FItem.Title = Text;
        else if (N == "link") FItem.Link = Text;
        else if (N == "description") FItem.Description = Text;
        else if (N == "dc:creator") FItem.Creator = Text;
        else if (N == "dc:date") FItem.Date = Text;
    }
    // Only the first run of text after a start tag counts.
    FTagName.clear();
    FTagPath.clear();
}
