#pragma once
// The scanner sees its input as lines each ended by CR LF. Servers send LF or lone CR as
// well; rather than copying a whole feed to rewrite its line ends, the scanner scans the
// text as it came and rewrites only the few pieces it hands out that hold such a line end.
// A piece must not split a CR LF pair. The scanner's pieces are tags, from "<" to ">" or a
// zero byte, and trimmed texts, which start and end with a visible character: none does.
#include <cstddef>
#include <string>
#include <string_view>

// Piece with every LF and lone CR made CR LF: Piece itself when nothing needs it, else
// Storage filled with the rewritten piece.
std::string_view WithCrLf(std::string_view Piece, std::string& Storage);

// Index of the first CR or LF at or after From in Text, or its size.
size_t FindLineEnd(std::string_view Text, size_t From);

// How many characters the rewrite adds for the line ends in [From, To) of Text; each
// line end is judged with its neighbours in Text.
size_t CrLfGrowth(std::string_view Text, size_t From, size_t To);

// The length of Text once every line end is CR LF and the last line is ended too.
size_t CrLfSize(std::string_view Text);
