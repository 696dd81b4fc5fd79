#pragma once
// The items the user has been shown, for "Show only new items": the keys (links) of the
// last MaxItems items a popup listed, kept in a small file beside settings.ini. The file is
// replaced whole, a temporary file first and then one rename, so that a crash leaves either
// the old list or the new one. A file that is missing, unreadable or damaged reads as empty:
// at worst some items are shown once more.
#include <deque>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/Streams.h"
#include "feed/jsRSSParser.h"

extern const char* const SeenItemsFileName;  // "seenitems.txt", beside settings.ini

// Puts the file From in place of To in one step, replacing To; false when refused. POSIX
// rename does that; Windows' rename refuses an existing target (see SeenItems_win.h).
using TReplaceFile = std::function<bool(const std::string& From, const std::string& To)>;

// One feed item as a popup lists it, with the key it is remembered by.
struct TFeedItem {
    std::string Line;
    std::string Key;
};

// The key of an item: its link, or its title when it has none. Control characters become
// blanks, so that a key is one line of the file, and it is cut to MaxKeyLength bytes.
std::string SeenKey(const TItemInfo& Item);

class TSeenItems {
public:
    static constexpr size_t MaxItems = 2000;
    static constexpr size_t MaxKeyLength = 2048;

    TSeenItems(std::string FileName, TReplaceFile Replace);
    const std::string& FileName() const { return FFileName; }

    // Reads the file, forgetting what was known before.
    void Load();
    bool Seen(const std::string& Key) const { return FSet.count(Key) != 0; }
    size_t Count() const { return FKeys.size(); }
    // The items whose keys were not seen, in their order.
    std::vector<TFeedItem> Unseen(const std::vector<TFeedItem>& Items) const;
    // Remembers the keys of the first Listed items as the newest, forgets the oldest beyond
    // MaxItems, and writes the file. Throws EStreamError when it cannot be written: the file
    // stays as it was, and no temporary file is left.
    void MarkShown(const std::vector<TFeedItem>& Items, size_t Listed);

private:
    void Save() const;

    std::string FFileName;
    TReplaceFile FReplace;
    std::deque<std::string> FKeys;  // oldest first
    std::unordered_set<std::string> FSet;
};
