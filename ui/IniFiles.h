#pragma once
// Profile (INI) files: sections of "Key=Value" lines. The typed readers follow the file's
// conventions: integers are decimal or "0x"-prefixed hexadecimal, booleans are integers
// (anything but 0 is true) and a value that is not a number reads as the default.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/Events.h"
#include "base/Exception.h"

class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

// The bytes a value in a profile file cannot hold: a zero byte ends it, a line break would
// start a line of its own. Writers refuse such values; callers check them up front.
bool IniCannotHold(char C);
bool IniCanHold(const std::string& Value);

class TCustomIniFile : public TObject {
public:
    explicit TCustomIniFile(std::string FileName) : FFileName(std::move(FileName)) {}
    const std::string& FileName() const { return FFileName; }

    virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                   const std::string& Default) = 0;
    // Throws EIniFileException "Unable to write to <file>" when the value cannot be stored,
    // for want of access or because IniCanHold refuses it.
    virtual void WriteString(const std::string& Section, const std::string& Ident,
                             const std::string& Value) = 0;
    virtual bool ValueExists(const std::string& Section, const std::string& Ident) = 0;
    virtual void ReadSection(const std::string& Section, std::vector<std::string>& Idents) = 0;
    virtual void ReadSections(std::vector<std::string>& Sections) = 0;

    int ReadInteger(const std::string& Section, const std::string& Ident, int Default);
    void WriteInteger(const std::string& Section, const std::string& Ident, int Value);
    bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
    void WriteBool(const std::string& Section, const std::string& Ident, bool Value);

protected:
    [[noreturn]] void WriteError() const;

private:
    std::string FFileName;
};

// An INI image in memory that remembers the order of sections and keys; used where a real
// file is not wanted (tests, previews). Lookups ignore case like the platform's files do.
class TMemIniFile : public TCustomIniFile {
public:
    explicit TMemIniFile(std::string FileName = std::string()) : TCustomIniFile(std::move(FileName)) {}

    std::string ReadString(const std::string& Section, const std::string& Ident,
                           const std::string& Default) override;
    void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
    bool ValueExists(const std::string& Section, const std::string& Ident) override;
    void ReadSection(const std::string& Section, std::vector<std::string>& Idents) override;
    void ReadSections(std::vector<std::string>& Sections) override;

    // Makes every later write fail, as a read-only file would. Values the file cannot hold
    // fail as they do in a real file.
    bool ReadOnly = false;
    // Every successful write in order as "Section/Ident", for checks of write order.
    std::vector<std::string> WriteLog;

private:
    struct TSection {
        std::string Name;
        std::vector<std::pair<std::string, std::string>> Values;
    };
    TSection* Find(const std::string& Section);
    std::vector<TSection> FSections;
};
