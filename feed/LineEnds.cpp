#include "feed/LineEnds.h"

#include "feed/ByteScan.h"

namespace {
// Index of the first LF or lone CR in Piece, or its size.
size_t FirstBareEnd(std::string_view Piece) {
    const size_t n = Piece.size();
    for (size_t k = 0; k < n; ++k) {
        const char c = Piece[k];
        if (static_cast<unsigned char>(c) > '\r') continue;  // nearly every byte
        if (c == '\n') return k;                             // an LF after a CR was skipped below
        if (c == '\r') {
            if (k + 1 < n && Piece[k + 1] == '\n') {
                ++k;
                continue;
            }
            return k;
        }
    }
    return n;
}
}  // namespace

std::string_view WithCrLf(std::string_view Piece, std::string& Storage) {
    size_t k = FirstBareEnd(Piece);
    if (k == Piece.size()) return Piece;
    Storage.assign(Piece.data(), k);
    const size_t n = Piece.size();
    while (k < n) {
        const char c = Piece[k];
        if (c == '\r' || c == '\n') {
            Storage.append("\r\n", 2);
            k += (c == '\r' && k + 1 < n && Piece[k + 1] == '\n') ? 2 : 1;
            continue;
        }
        // Copy the run up to the next line end in one go.
        size_t e = k + 1;
        while (e < n && Piece[e] != '\r' && Piece[e] != '\n')
            ++e;
        Storage.append(Piece.data() + k, e - k);
        k = e;
    }
    return Storage;
}

size_t FindLineEnd(std::string_view Text, size_t From) {
    return bytescan::FindFirstOf<'\r', '\n'>(Text.data(), From, Text.size());
}

size_t CrLfGrowth(std::string_view Text, size_t From, size_t To) {
    size_t grown = 0;
    for (size_t k = From; k < To; ++k) {
        const char c = Text[k];
        if (c == '\n' && (k == 0 || Text[k - 1] != '\r')) ++grown;
        if (c == '\r' && (k + 1 == Text.size() || Text[k + 1] != '\n')) ++grown;
    }
    return grown;
}

size_t CrLfSize(std::string_view Text) {
    if (Text.empty()) return 0;
    const char last = Text.back();
    return Text.size() + CrLfGrowth(Text, 0, Text.size()) + (last == '\r' || last == '\n' ? 0 : 2);
}
