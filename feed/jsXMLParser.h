#pragma once
// A small, forgiving, event-driven XML scanner. It builds no tree and validates nothing:
// one pass splits the text into character data and tags and reports each with the path of
// the open elements ("rss/channel/item/"). Malformed input only changes what is reported.
#include <functional>
#include <string>
#include <string_view>

#include "base/Component.h"
#include "base/Strings.h"
#include "feed/jsXMLUtil.h"

using TParsingEvent = std::function<void(TObject* Sender, int Lines, int Total)>;
using TFoundTagEvent = std::function<void(TObject* Sender, const std::string& Path,
                                          const std::string& TagName, const std::string& CompleteTag)>;
using TFoundTextEvent = std::function<void(TObject* Sender, const std::string& Path, const std::string& Text)>;
using TFoundCommentEvent = std::function<void(TObject* Sender, const std::string& Comment)>;
using TFoundCDATAEvent = std::function<void(TObject* Sender, const std::string& CDATA)>;

class TjsXMLParser : public TComponent {
public:
    explicit TjsXMLParser(TComponent* AOwner = nullptr) : TComponent(AOwner) {}

    const TStringList& XML() const { return FXML; }
    void SetXML(const TStringList& Lines) { FXML.Assign(Lines); }

    // Scans the lines of XML, each ended by CR LF, raising the events in document order.
    void Parse();
    // Scans Text as if its lines had been put into XML: every line break becomes CR LF and
    // the last line is ended too. Spares the split into lines for large feeds.
    void ParseText(std::string_view Text);

    TParsingEvent OnParsing;
    TFoundTagEvent OnFoundTag;
    TFoundTextEvent OnFoundText;
    TFoundCommentEvent OnFoundComment;
    TFoundCDATAEvent OnFoundCDATA;

private:
    void Scan(std::string_view Text);
    void HandleText(std::string_view Run);
    void HandleTag(std::string_view Tag);

    TStringList FXML;
    std::string FPath;
    // Reused for every report, so a parse allocates only while they grow.
    std::string FTag, FName, FText;
};

// Text with every line break made CR LF and a final CR LF, as the lines of SetText would
// join. Returns Text itself when it already has that form, else fills Storage.
std::string_view JoinedLines(std::string_view Text, std::string& Storage);
