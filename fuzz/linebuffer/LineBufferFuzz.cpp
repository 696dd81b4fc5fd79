// Feeds arbitrary bytes through the line buffer of line mode, cut into pieces of varying
// size, and checks what it promises: every line ends at its first terminator, and without
// editing the lines and what is left give back exactly what came in.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/LineBuffer.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

// Input: a byte of flags (bit 0 edit, bit 1 echo, bits 2-3 the terminator), a byte that
// sets the piece sizes, then the bytes received.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool edit = data[0] & 1, echo = data[0] & 2;
    static const char* const kEnds[] = {"\r\n", "\n", "END", "\r\n\r\n"};
    const std::string lineEnd = kEnds[(data[0] >> 2) & 3];
    const unsigned seed = data[1];
    const std::string in(reinterpret_cast<const char*>(data + 2), size - 2);

    TLineBuffer b;
    b.SetLineEnd(lineEnd);
    std::string out, echoed;
    for (size_t at = 0, i = 0; at < in.size(); ++i) {
        const size_t n = std::min<size_t>(1 + (seed + i * 7) % 17, in.size() - at);
        const std::vector<char> piece(in.begin() + at, in.begin() + at + n);
        at += n;
        echoed += b.Append(piece.data(), piece.size(), edit, echo);
        while (b.NextLine()) {
            std::string line;
            char buf[5];
            while (size_t got = b.ReadLine(buf, sizeof buf))
                line.append(buf, got);
            Check(line.size() >= lineEnd.size() && line.find(lineEnd) == line.size() - lineEnd.size());
            out += line;
        }
    }
    if (b.TakeRest()) {
        std::string rest(b.LineLeft(), '\0');
        Check(b.ReadLine(&rest[0], rest.size()) == rest.size());
        Check(rest.find(lineEnd) == std::string::npos);
        out += rest;
    }
    Check(b.Empty());
    if (!echo) Check(echoed.empty());
    if (!edit) {
        Check(out == in);
        if (echo) Check(echoed == in);
    }
    return 0;
}
