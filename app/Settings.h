#pragma once
// What settings.ini holds and how it maps to the options form, without any window: the
// form copies its controls into a TSettings and back, this file does the file side.
#include <string>

#include "ui/IniFiles.h"
#include "ui/SpinRange.h"

extern const char* const SettingsSection;   // "Settings"
extern const char* const SettingsFileName;  // "settings.ini"
extern const char* const RunKeyPath;        // the current user's Run key
extern const char* const RunValueName;      // "Pelorin"

// Ranges of the two spin edits of the options form.
extern const TSpinRange RefreshRange;   // minutes, 30..1000
extern const TSpinRange DurationRange;  // seconds, 5..5120

struct TSettings {
    bool LastAdditions = true;
    bool Top10 = false;
    std::string ID = "00";
    // False when the form has no category selected: the save keeps the ID already stored.
    bool HasID = true;
    std::string ProxyServer;
    int Refresh = 30;
    int Duration = 20;
    std::string ProxyPort = "8080";
    std::string ProxyName;
    std::string ProxyPass;  // plain text; scrambled only in the file
    bool ProxyUse = false;
    bool ProxyAuth = false;
    // Timer refreshes show only the items not shown before.
    bool OnlyNewItems = false;
};

// Each byte replaced by its complement; its own inverse.
std::string ScramblePassword(const std::string& Text);

// The profile functions cut a value at a zero byte and at a line break, trim blanks at its
// ends and drop a pair of quotes around it. Scrambled passwords are written so that they read
// back unchanged: wrapped in quotes when an end would be trimmed or unquoted. A password whose
// scrambled form holds a zero byte or a line break (from the characters 0xFF, 0xF2 or 0xF5)
// cannot be stored at all, and the save refuses it rather than storing something else.
bool PasswordStorable(const std::string& Password);
// Wraps a value in quotes when the profile functions would trim its ends or take its own
// quotes away, so that it reads back as written. Used for the password and the proxy user
// name, which must reach the proxy exactly as typed.
std::string QuoteForIni(const std::string& Value);
std::string PasswordToIni(const std::string& Password);  // throws when not storable
std::string PasswordFromIni(const std::string& Stored);

// Reads every key, taking the defaults for missing or malformed values. Refresh and
// Duration are clamped into their ranges, as loading them into the spin edits would.
TSettings ReadSettings(TCustomIniFile& Ini);
// Writes the keys in the file's fixed order; "ID" only when HasID. Before anything is
// written, refuses a text the file cannot hold (a zero byte or a line break, or a password
// character that scrambles to one) with a message naming the field and the characters.
// Throws EIniFileException "Unable to write to <file>" at the first failed write (earlier
// keys stay written).
void WriteSettings(TCustomIniFile& Ini, const TSettings& S);

// The data of the Run value for the executable at ExePath: the path itself, in quotes when
// it holds a blank, so that the system cannot start "C:\Program.exe" for
// "C:\Program Files\Pelorin\Pelorin.exe".
std::string RunCommandLine(const std::string& ExePath);

// Timer intervals in milliseconds derived from the two spin edits.
unsigned PopupIntervalMs(int DurationSeconds);
unsigned RefreshIntervalMs(int RefreshMinutes);
