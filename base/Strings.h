#pragma once
// A list of text lines with change notification: the common container for file contents,
// popup text, name lists and header lines.
#include <string>
#include <vector>

#include "base/Events.h"

class TStringList : public TObject {
public:
    TStringList() = default;
    TStringList(std::initializer_list<std::string> lines) : FLines(lines) {}

    int Count() const { return static_cast<int>(FLines.size()); }
    const std::string& operator[](int Index) const { return FLines.at(Index); }
    const std::string& Strings(int Index) const { return FLines.at(Index); }
    void Put(int Index, const std::string& S);

    int Add(const std::string& S);
    void Insert(int Index, const std::string& S);
    void Delete(int Index);
    void Clear();
    void Assign(const TStringList& Source);
    void Assign(const std::vector<std::string>& Lines);
    int IndexOf(const std::string& S) const;  // case-insensitive, -1 when absent

    // All lines, each ended by CR LF (the platform's line break).
    std::string Text() const;
    // Splits at CR LF, LF or lone CR; a final line break does not add an empty line.
    void SetText(const std::string& Text);

    // "Name=Value" lines.
    std::string Names(int Index) const;
    std::string Values(const std::string& Name) const;
    void SetValue(const std::string& Name, const std::string& Value);
    int IndexOfName(const std::string& Name) const;

    // Batches changes: OnChange fires once when the outermost EndUpdate runs.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();

    const std::vector<std::string>& Lines() const { return FLines; }

    TNotifyEvent OnChange;

private:
    void Changed();

    std::vector<std::string> FLines;
    int FUpdateCount = 0;
    bool FChangedDuringUpdate = false;
};
