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
// The texts handed to these events point into the scanner's input and path and are valid
// only during the call: a handler copies what it keeps. This spares a copy of every tag.
using TFoundTagEvent = std::function<void(TObject* Sender, std::string_view Path, std::string_view TagName,
                                          std::string_view CompleteTag)>;
using TFoundTextEvent = std::function<void(TObject* Sender, std::string_view Path, std::string_view Text)>;
using TFoundCommentEvent = std::function<void(TObject* Sender, std::string_view Comment)>;
using TFoundCDATAEvent = std::function<void(TObject* Sender, std::string_view CDATA)>;

class TjsXMLParser : public TComponent {
public:
    explicit TjsXMLParser(TComponent* AOwner = nullptr) : TComponent(AOwner) {}

    const TStringList& XML() const { return FXML; }
    void SetXML(const TStringList& Lines) { FXML.Assign(Lines); }

    // Scans the lines of XML, each ended by CR LF, raising the events in document order.
    void Parse();
    // Scans Text as if its lines had been put into XML: every line break reads as CR LF and
    // the last line is ended too. Text is scanned where it lies, neither split nor copied.
    void ParseText(std::string_view Text);

    TParsingEvent OnParsing;
    TFoundTagEvent OnFoundTag;
    TFoundTextEvent OnFoundText;
    TFoundCommentEvent OnFoundComment;
    TFoundCDATAEvent OnFoundCDATA;

private:
    // What one scan needs beside the input: where the next line end lies that may need
    // rewriting, and room for the few pieces that do. Kept per scan, so a handler may scan
    // again.
    struct TScan {
        TScan(std::string_view AText, bool CrLf);
        // Piece as it reads with CR LF line ends.
        std::string_view Out(std::string_view Piece);

        std::string_view Text;
        size_t NextEnd;  // the first CR or LF at or after the last piece looked at
        std::string Storage;
    };

    void Scan(std::string_view Text, bool CrLf);
    void HandleText(TScan& S, std::string_view Run);
    // How a tag changes the path: opens an element, closes one, or neither.
    enum TTagKind { tkStart, tkEnd, tkEmpty };
    void HandleTag(TScan& S, std::string_view Tag, std::string_view Name, TTagKind Kind);

    TStringList FXML;
    std::string FPath;
};
