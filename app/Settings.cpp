#include "app/Settings.h"

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
}  // namespace

bool PasswordStorable(const std::string& Password) {
    for (char c : ScramblePassword(Password))
        if (c == '\0' || c == '\r' || c == '\n') return false;
    return true;
}

std::string QuoteForIni(const std::string& Value) {
    if (Value.empty()) return Value;
    bool needsQuotes = TrimmedByIni(static_cast<unsigned char>(Value.front())) ||
                       TrimmedByIni(static_cast<unsigned char>(Value.back())) ||
                       (Value.size() >= 2 && IsQuote(Value.front()) && Value.front() == Value.back()) ||
                       (Value.size() == 1 && IsQuote(Value.front()));
    return needsQuotes ? "\"" + Value + "\"" : Value;
}

std::string PasswordToIni(const std::string& Password) {
    if (!PasswordStorable(Password))
        throw Exception("The proxy password contains a character that cannot be saved");
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
    return s;
}

void WriteSettings(TCustomIniFile& Ini, const TSettings& S) {
    const std::string sec = SettingsSection;
    // Checked first so that a refused password leaves the whole file as it was.
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
