#pragma once
// The self-update's text rules: the information file's keys, the version and date
// comparisons, and the figures of a transfer's progress. No platform calls.
#include <cstdint>
#include <string>

// The information file's "#name=value" keys. The search ignores case, the value keeps it, the
// first occurrence wins and an absent key reads as "".
class TInfoText {
public:
    explicit TInfoText(const std::string& Text);
    // Up to the first character below 32 or the end of the text; not trimmed.
    std::string Value(const std::string& Key) const;
    // "#message={...}": everything up to the first "}", line breaks included. Without the "{"
    // it reads as a plain key; without the "}" it runs to the end of the text.
    std::string Message() const;

private:
    size_t ValueStart(const std::string& Key) const;  // npos when absent
    std::string FText, FLower;
};

// byNumber: whether dotted version A is newer than B.
bool IsNewerNumber(const std::string& A, const std::string& B);

struct TVersionDate {
    int Year, Month, Day;
};
// MM/DD/YYYY to a real calendar date; false on anything else.
bool ParseVersionDate(const std::string& S, TVersionDate& Date);
std::string FormatVersionDate(const TVersionDate& Date);
// byDate: whether InfoDate is later than VersionDate; a date that does not parse is Today.
bool IsNewerDate(const std::string& InfoDate, const std::string& VersionDate, const TVersionDate& Today);

struct TProgressFigures {
    float TransferRate;     // KB/s
    uint8_t PercentsDone;   // 0 to 100
    int EstimatedTimeLeft;  // seconds
    int ElapsedTime;        // seconds
};
// Bytes moved out of Total (0 = unknown) since StartTick, both tick counts in milliseconds
// as the system's 32-bit counter gives them.
TProgressFigures ProgressFigures(int64_t Bytes, int64_t Total, uint32_t StartTick, uint32_t NowTick);

// Hexadecimal digits of either case, two per byte; false on anything else.
bool HexToBytes(const std::string& Hex, std::string& Bytes);

// The program of a browser's "open" command line, without its arguments: a quoted path up
// to its closing quote; a RUNDLL line for a ".DLL" up to the first blank after the RUNDLL
// program; else the text before the first " -", " /", " \", "," or " %"; else the whole line.
std::string BrowserProgram(const std::string& Command);

// The question's text from its pattern (the application's title at the first "%s", the
// publisher's message at the second): a message gets a line feed before and after it, and
// no message takes away the line feed after its place, so that it leaves no blank line.
// Only "%s" and "%%" are read, so the title and the message are taken as they are.
std::string UpgradeQuestionText(const std::string& Pattern, const std::string& Title,
                                const std::string& Message);
