#pragma once
// A file's version resource: the fixed part, the translation table and the strings.
#include <windows.h>

#include <string>
#include <vector>

class TFileVersionInfo {
public:
    // Reads the whole resource once; the queries below look into that copy.
    explicit TFileVersionInfo(const std::string& FileName);
    // False when the file has no version resource, or no file is there.
    bool Present() const { return FPresent; }
    // False when the resource is there but could not be read.
    bool Loaded() const { return !FData.empty(); }
    // Null when the resource has no fixed part.
    const VS_FIXEDFILEINFO* Fixed() const;
    // The first entry of the translation table; false when it is missing or short.
    bool FirstTranslation(WORD& Language, WORD& CodePage) const;
    // A string of the table named by its translation ("040904e4"); false when absent.
    bool StringValue(const std::string& LangCharset, const std::string& Key, std::string& Value) const;

private:
    bool Query(const std::string& Path, void*& Value, UINT& Length) const;
    bool FPresent = false;
    std::vector<char> FData;
};

// The file version of an executable from its version resource, as "1.2.3.4"; empty when
// the file has none.
std::string FileVersionString(const std::string& FileName);
