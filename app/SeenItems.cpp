#include "app/SeenItems.h"

#include <algorithm>
#include <cstdio>

#include "base/Streams.h"
#include "base/StrUtils.h"

const char* const SeenItemsFileName = "seenitems.txt";

namespace {
// The first line names the file and counts the keys that follow, one a line; a cut-off or
// edited file no longer matches its count and reads as empty.
const std::string Header = "Pelorin seen items: ";
const std::string LineEnd = "\r\n";
// No file the store writes is larger; a larger one is not read at all.
const int64_t MaxFileSize = static_cast<int64_t>(TSeenItems::MaxItems) * (TSeenItems::MaxKeyLength + 2) + 64;

// The keys of a whole file, or false when it is not one the store wrote.
bool ParseFile(const std::string& Text, std::vector<std::string>& Keys) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < Text.size()) {
        const size_t end = Text.find(LineEnd, start);
        if (end == std::string::npos) return false;  // the last line is cut off
        lines.push_back(Text.substr(start, end - start));
        start = end + LineEnd.size();
    }
    if (lines.empty() || lines[0].compare(0, Header.size(), Header) != 0) return false;
    const std::string count = lines[0].substr(Header.size());
    if (count.empty() || count.size() > 5 || count.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (std::stoul(count) != lines.size() - 1) return false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& key = lines[i];
        if (key.empty() || key.size() > TSeenItems::MaxKeyLength) return false;
        for (unsigned char c : key)
            if (c < 0x20 || c == 0x7F) return false;
    }
    Keys.assign(lines.begin() + 1, lines.end());
    return true;
}
}  // namespace

std::string SeenKey(const TItemInfo& Item) {
    std::string key = (Item.Link.empty() ? Item.Title : Item.Link).substr(0, TSeenItems::MaxKeyLength);
    for (char& c : key)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return key;
}

TSeenItems::TSeenItems(std::string FileName, TReplaceFile Replace)
    : FFileName(std::move(FileName)), FReplace(std::move(Replace)) {}

void TSeenItems::Load() {
    FKeys.clear();
    FSet.clear();
    std::string text;
    try {
        TFileStream f(FFileName, fmOpenRead);
        if (f.Size() > MaxFileSize) return;
        text = f.ReadRest();
    } catch (const EStreamError&) {
        return;  // missing or unreadable: nothing seen yet
    }
    std::vector<std::string> keys;
    if (!ParseFile(text, keys)) return;
    // Only the newest are kept, as a save would keep them.
    const size_t skip = keys.size() > MaxItems ? keys.size() - MaxItems : 0;
    for (size_t i = skip; i < keys.size(); ++i)
        if (FSet.insert(keys[i]).second) FKeys.push_back(keys[i]);
}

std::vector<TFeedItem> TSeenItems::Unseen(const std::vector<TFeedItem>& Items) const {
    std::vector<TFeedItem> out;
    for (const auto& item : Items)
        if (!Seen(item.Key)) out.push_back(item);
    return out;
}

void TSeenItems::MarkShown(const std::vector<TFeedItem>& Items, size_t Listed) {
    Listed = std::min(Listed, Items.size());
    for (size_t i = 0; i < Listed; ++i) {
        const std::string& key = Items[i].Key;
        if (key.empty()) continue;
        // Seen again: it becomes the newest, so that an item still in the feed is not forgotten.
        if (!FSet.insert(key).second) FKeys.erase(std::find(FKeys.begin(), FKeys.end(), key));
        FKeys.push_back(key);
    }
    while (FKeys.size() > MaxItems) {
        FSet.erase(FKeys.front());
        FKeys.pop_front();
    }
    Save();
}

void TSeenItems::Save() const {
    std::string text = Header + IntToStr(static_cast<int>(FKeys.size())) + LineEnd;
    for (const auto& key : FKeys)
        text += key + LineEnd;
    const std::string temp = FFileName + ".tmp";
    try {
        TFileStream f(temp, fmCreate);
        f.WriteString(text);
        // Asking the size flushes the buffer: a full disk shows here, not as a short file.
        if (f.Size() != static_cast<int64_t>(text.size())) throw EStreamError("Cannot write file " + temp);
    } catch (const EStreamError&) {
        std::remove(temp.c_str());
        throw;
    }
    if (!FReplace(temp, FFileName)) {
        std::remove(temp.c_str());
        throw EStreamError("Cannot replace file " + FFileName);
    }
}
