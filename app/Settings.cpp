#include "app/Settings.h"

#include "base/StrUtils.h"

const char* const SettingsSection = "Settings";
const char* const SettingsFileName = "settings.ini";
const char* const RunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const RunValueName = "Pelorin";

const TSpinRange RefreshRange{30, 1000};
const TSpinRange DurationRange{5, 5120};

std::string ScramblePassword(const std::string& Text) {
    std::string out(Text);
    for (char& c : out)
        c = static_cast<char>(255 - static_cast<unsigned char>(c));
    return out;
}

namespace {
bool TrimmedByIni(unsigned char c) { return c <= ' '; }
bool IsQuote(char c) { return c == '"' || c == '\''; }

std::string CharName(char C) {
    std::string code = "0x" + IntToHex(static_cast<unsigned char>(C), 2);
    switch (C) {
    case '\0':
        return "zero byte (" + code + ")";
    case '\r':
        return "carriage return (" + code + ")";
    case '\n':
        return "line feed (" + code + ")";
    default:
        return "'" + std::string(1, C) + "' (" + code + ")";
    }
}

// The characters of Value, each once, that the file cannot hold once stored (scrambled or not).
std::string Unstorable(const std::string& Value, bool Scrambled) {
    const std::string stored = Scrambled ? ScramblePassword(Value) : Value;
    std::string bad;
    for (size_t i = 0; i < Value.size(); ++i)
        if (IniCannotHold(stored[i]) && bad.find(Value[i]) == std::string::npos) bad += Value[i];
    return bad;
}

void CheckStorable(const char* Field, const std::string& Value, bool Scrambled) {
    std::string bad = Unstorable(Value, Scrambled);
    if (bad.empty()) return;
    std::string names;
    for (char c : bad)
        names += (names.empty() ? "" : ", ") + CharName(c);
    throw Exception(Format("The %s cannot be saved: the settings file cannot hold the character%s %s", Field,
                           bad.size() > 1 ? "s" : "", names.c_str()));
}

const char* const PasswordField = "proxy password";
}  // namespace

bool PasswordStorable(const std::string& Password) { return Unstorable(Password, true).empty(); }

std::string QuoteForIni(const std::string& Value) {
    if (Value.empty()) return Value;
    bool needsQuotes = TrimmedByIni(static_cast<unsigned char>(Value.front())) ||
                       TrimmedByIni(static_cast<unsigned char>(Value.back())) ||
                       (Value.size() >= 2 && IsQuote(Value.front()) && Value.front() == Value.back()) ||
                       (Value.size() == 1 && IsQuote(Value.front()));
    return needsQuotes ? "\"" + Value + "\"" : Value;
}

std::string PasswordToIni(const std::string& Password) {
    CheckStorable(PasswordField, Password, true);
    return QuoteForIni(ScramblePassword(Password));
}

std::string PasswordFromIni(const std::string& Stored) { return ScramblePassword(Stored); }

TSettings ReadSettings(TCustomIniFile& Ini) {
    TSettings s;
    const std::string sec = SettingsSection;
    s.LastAdditions = Ini.ReadBool(sec, "LastAdditions", true);
    s.Top10 = Ini.ReadBool(sec, "Top10", false);
    s.Refresh = RefreshRange.Clamp(Ini.ReadInteger(sec, "Refresh", 30));
    s.Duration = DurationRange.Clamp(Ini.ReadInteger(sec, "Duration", 20));
    s.ProxyServer = Ini.ReadString(sec, "ProxyServer", "");
    s.ProxyPort = Ini.ReadString(sec, "ProxyPort", "8080");
    s.ProxyName = Ini.ReadString(sec, "ProxyName", "");
    s.ProxyPass = PasswordFromIni(Ini.ReadString(sec, "ProxyPass", ""));
    s.ProxyUse = Ini.ReadInteger(sec, "ProxyUse", 0) != 0;
    s.ProxyAuth = Ini.ReadInteger(sec, "ProxyAuth", 0) != 0;
    s.ID = Ini.ReadString(sec, "ID", "00");
    s.OnlyNewItems = Ini.ReadInteger(sec, "OnlyNewItems", 0) != 0;
    return s;
}

void WriteSettings(TCustomIniFile& Ini, const TSettings& S) {
    const std::string sec = SettingsSection;
    // Checked first so that a refused save leaves the whole file as it was.
    if (S.HasID) CheckStorable("category", S.ID, false);
    CheckStorable("proxy server", S.ProxyServer, false);
    CheckStorable("proxy port", S.ProxyPort, false);
    CheckStorable("proxy user name", S.ProxyName, false);
    const std::string pass = PasswordToIni(S.ProxyPass);
    Ini.WriteBool(sec, "LastAdditions", S.LastAdditions);
    Ini.WriteBool(sec, "Top10", S.Top10);
    if (S.HasID) Ini.WriteString(sec, "ID", S.ID);
    Ini.WriteString(sec, "ProxyServer", S.ProxyServer);
    Ini.WriteInteger(sec, "Refresh", S.Refresh);
    Ini.WriteInteger(sec, "Duration", S.Duration);
    Ini.WriteString(sec, "ProxyPort", S.ProxyPort);
    Ini.WriteString(sec, "ProxyName", QuoteForIni(S.ProxyName));
    Ini.WriteString(sec, "ProxyPass", pass);
    Ini.WriteInteger(sec, "ProxyUse", S.ProxyUse ? 1 : 0);
    Ini.WriteInteger(sec, "ProxyAuth", S.ProxyAuth ? 1 : 0);
    Ini.WriteInteger(sec, "OnlyNewItems", S.OnlyNewItems ? 1 : 0);
}

std::string RunCommandLine(const std::string& ExePath) {
    if (ExePath.find_first_of(" \t") == std::string::npos) return ExePath;
    return "\"" + ExePath + "\"";
}

unsigned PopupIntervalMs(int DurationSeconds) {
    return static_cast<unsigned>(DurationRange.Clamp(DurationSeconds)) * 1000u;
}

unsigned RefreshIntervalMs(int RefreshMinutes) {
    return static_cast<unsigned>(RefreshRange.Clamp(RefreshMinutes)) * 60000u;
}
