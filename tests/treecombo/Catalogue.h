#pragma once
// A small catalogue for the tree tests, and an INI image made from text.
#include <sstream>
#include <string>

#include "ui/IniFiles.h"

namespace catalogue {

// In tree order, with absolute indexes: 0 All Categories, 1 Games, 2 Action, 3 Puzzle,
// 4 Utilities, 5 Backup.
const char* const Small =
    "[Games]\nAction=12\nPuzzle=13\n"
    "[Utilities]\nBackup=40\n";

// "[Section]" lines, each followed by its "Key=Value" lines.
inline void Load(TMemIniFile& Ini, const std::string& Text) {
    std::istringstream in(Text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        size_t eq = line.find('=');
        if (line.front() == '[')
            section = line.substr(1, line.find(']') - 1);
        else
            Ini.WriteString(section, line.substr(0, eq), line.substr(eq + 1));
    }
}

}  // namespace catalogue
