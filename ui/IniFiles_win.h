#pragma once
// A profile file read and written through the platform's profile functions.
#include "ui/IniFiles.h"

class TIniFile : public TCustomIniFile {
public:
    using TCustomIniFile::TCustomIniFile;

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) override;
    void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
    bool ValueExists(const std::string& Section, const std::string& Ident) override;
    void ReadSection(const std::string& Section, std::vector<std::string>& Idents) override;
    void ReadSections(std::vector<std::string>& Sections) override;
    // Removes one key; a missing key is no error.
    void DeleteKey(const std::string& Section, const std::string& Ident);
};
