#pragma once
// The version label: a label showing one item of a file's version information (a string of
// its version resource, the build flags, the short version, the file's date or size).
// Every failure is shown as the label's text; nothing is thrown.
#include <string>

#include "app/verslab.h"
#include "ui/StdCtrls_win.h"

class TFileVersionInfo;

class TVersionLabel : public TLabel {
public:
    // One line that sizes itself to its text; it shows the running program's file version,
    // with its prefix, until told otherwise.
    TVersionLabel(TComponent* AOwner, TWinControl* AParent, int Left, int Top);

    // Each setter shows the new text when the value changed.
    TVersionResources VersionResource() const { return FVersionResource; }
    // Also sets the key, then the prefix, that go with the item.
    void SetVersionResource(TVersionResources Value);
    const std::string& VersionResourceKey() const { return FVersionResourceKey; }
    // Also makes the key's text the prefix.
    void SetVersionResourceKey(const std::string& Value);
    const std::string& InfoPrefix() const { return FInfoPrefix; }
    void SetInfoPrefix(const std::string& Value);
    bool ShowInfoPrefix() const { return FShowInfoPrefix; }
    void SetShowInfoPrefix(bool Value);
    // The string table, as eight hexadecimal digits; "-1" takes the file's first translation
    // and then holds its name.
    const std::string& LangCharset() const { return FLangCharset; }
    void SetLangCharset(const std::string& Value);
    // Empty: the running program.
    const std::string& Filename() const { return FFilename; }
    void SetFilename(const std::string& Value);
    // Empty values are ignored.
    const std::string& DateTimeFormat() const { return FDateTimeFormat; }
    void SetDateTimeFormat(const std::string& Value);
    const std::string& FileSizeFormat() const { return FFileSizeFormat; }
    void SetFileSizeFormat(const std::string& Value);

    // The text shown.
    const std::string& InfoString() const { return FInfoString; }
    // Reads the file again and shows its text.
    void Refresh();

private:
    std::string ValueText(const std::string& FileName);
    std::string StringText(const TFileVersionInfo& Info);

    TVersionResources FVersionResource = vrFileVersion;
    std::string FVersionResourceKey;
    std::string FInfoPrefix;
    bool FShowInfoPrefix = true;
    std::string FLangCharset = "-1";
    std::string FInfoString;
    std::string FFilename;
    std::string FDateTimeFormat;
    std::string FFileSizeFormat = "#,#0\" Bytes\"";
};

// What the size and date pictures take from the user's locale.
TFormatSettings LocaleFormatSettings();
