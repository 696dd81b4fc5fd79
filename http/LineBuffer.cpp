#include "http/LineBuffer.h"

#include <algorithm>
#include <cstring>

void TLineBuffer::SetLineEnd(const std::string& Value) {
    FLineEnd = Value;
    Rescan();
}

std::string TLineBuffer::Append(const char* Data, size_t Len, bool Edit, bool Echo) {
    if (!Data || Len == 0) return std::string();
    // What was handed out goes now, once per arrival rather than once per line.
    FData.erase(0, FStart);
    FStart = 0;
    // The shortest the buffer got: a terminator may now end anywhere after it.
    size_t lowest = FData.size();
    std::string echo;
    if (!Edit) {
        FData.append(Data, Len);
        if (Echo) echo.assign(Data, Len);
    } else {
        // Editing stays within the current line: a backspace never takes back an earlier
        // line's end, and tab stops count from the line's first character.
        size_t lineStart = 0;
        const size_t lastEnd = FLineEnd.empty() ? std::string::npos : FData.rfind(FLineEnd);
        if (lastEnd != std::string::npos) lineStart = lastEnd + FLineEnd.size();
        for (size_t i = 0; i < Len; ++i) {
            const char c = Data[i];
            if (c == '\b') {
                if (FData.size() > lineStart) {
                    FData.pop_back();
                    lowest = std::min(lowest, FData.size());
                    if (Echo) echo += "\b \b";
                }
            } else if (c == '\t') {
                const size_t spaces = 8 - (FData.size() - lineStart) % 8;
                FData.append(spaces, ' ');
                if (Echo) echo.append(spaces, ' ');
            } else {
                FData += c;
                if (Echo) echo += c;
                if (!FLineEnd.empty() && FData.size() - lineStart >= FLineEnd.size() &&
                    FData.compare(FData.size() - FLineEnd.size(), FLineEnd.size(), FLineEnd) == 0)
                    lineStart = FData.size();
            }
        }
    }
    const size_t keep = FLineEnd.empty() ? 0 : FLineEnd.size() - 1;
    FScanFrom = std::min(FScanFrom, lowest > keep ? lowest - keep : 0);
    return echo;
}

bool TLineBuffer::NextLine() {
    if (FLineEnd.empty()) return false;
    const size_t pos = FData.find(FLineEnd, FStart + std::min(FScanFrom, Size()));
    if (pos == std::string::npos) {
        const size_t keep = FLineEnd.size() - 1;
        FScanFrom = Size() > keep ? Size() - keep : 0;
        return false;
    }
    FLineLeft = pos - FStart + FLineEnd.size();
    FScanFrom = FLineLeft;
    return true;
}

void TLineBuffer::Consume(size_t N) {
    N = std::min(N, Size());
    FStart += N;
    FLineLeft = FLineLeft > N ? FLineLeft - N : 0;
    FScanFrom = FScanFrom > N ? FScanFrom - N : 0;
}

size_t TLineBuffer::ReadLine(char* Out, size_t Len) {
    const size_t n = std::min(Len, FLineLeft);
    if (n == 0 || !Out) return 0;
    std::memcpy(Out, FData.data() + FStart, n);
    Consume(n);
    return n;
}

void TLineBuffer::SkipLine() { Consume(FLineLeft); }

bool TLineBuffer::TakeRest() {
    FLineLeft = Size();
    return FLineLeft > 0;
}

size_t TLineBuffer::Read(char* Out, size_t Len) {
    const size_t n = std::min(Len, Size());
    if (n == 0 || !Out) return 0;
    std::memcpy(Out, FData.data() + FStart, n);
    Consume(n);
    return n;
}

void TLineBuffer::Rescan() {
    FLineLeft = 0;
    FScanFrom = 0;
}

void TLineBuffer::Clear() {
    FData.clear();
    FStart = 0;
    Rescan();
}
