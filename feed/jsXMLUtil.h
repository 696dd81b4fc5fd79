#pragma once
// Helpers that read names, parent paths and attributes out of the text of XML tags.
// They never fail: odd input gives an odd but well-defined result.
#include <string>
#include <string_view>

#include "feed/ByteScan.h"

// "<title>" -> "title", "</item>" -> "/item", "<br/>" -> "br/", "<!-- x -->" -> "!--".
std::string GetTagName(std::string_view CompleteTag);
std::string_view TagNameView(std::string_view CompleteTag);
// Where a tag name that starts at From ends: the first zero byte, line feed, carriage
// return, space or ">" in [From, Size), or Size.
inline size_t TagNameEnd(const char* S, size_t From, size_t Size) {
    return bytescan::FindFirstOf<'\0', '\n', '\r', ' ', '>'>(S, From, Size);
}

// "rss/channel/item/" -> "rss/channel/", "rss/" -> "/", "a/" -> "".
std::string ParentPath(std::string_view Path);
// The same, in place, without allocating.
void CutToParentPath(std::string& Path);

// GetAttribute("<rss version=\"2.0\">", "version") -> "version=\"2.0\"".
std::string GetAttribute(std::string_view Tag, std::string_view Name);
// GetAttributeValue("version=\"2.0\"") -> "2.0".
std::string GetAttributeValue(std::string_view Attribute);

// Removes leading and trailing characters whose code is 32 or less.
std::string_view TrimView(std::string_view S);
