#pragma once
// The category catalogue as a tree: categories.ini holds one section per top category and
// one "Name=ID" key per subcategory. The tree starts with "All Categories"; each node
// carries the category ID that the news feed is asked for.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "treecombo/TreeNodes.h"
#include "ui/IniFiles.h"

extern const char* const CategoriesFileName;  // "categories.ini"
extern const char* const AllCategoriesText;   // "All Categories"
extern const char* const AllCategoriesID;     // "AA"
extern const char* const UnknownCategoryID;   // "Unknown": a value that cannot be read

// The catalogue is read through fixed buffers: the list of section names and each list of
// key names through 16 KB (names that do not fit whole are not seen), a value up to 2047
// characters.
const size_t NameListBufferSize = 16384;
const size_t ValueBufferSize = 2048;

// What every node of the catalogue carries.
class TNodeData : public TObject {
public:
    explicit TNodeData(std::string ID) : CategoryID(std::move(ID)) {}
    std::string CategoryID;
};
using TNodeDataList = std::vector<std::unique_ptr<TNodeData>>;

// The names a list buffer of BufferSize bytes holds whole, each with its terminating zero
// and the zero that ends the list.
std::vector<std::string> NamesThatFit(const std::vector<std::string>& Names, size_t BufferSize);

// Empties Nodes, then frees the old Data, then fills both from the catalogue: sections as
// "C1", "C2", ... with their keys under them in the file's order, and "All Categories"
// first. A missing or empty catalogue leaves "All Categories" alone.
void BuildCategoryTree(TCustomIniFile& Catalogue, TTreeNodes& Nodes, TNodeDataList& Data);

// What a node of the catalogue carries; null for no node or a node without it.
const TNodeData* CategoryOf(const TTreeNode* Node);
// The absolute index of the last node, in tree order, whose ID is exactly ID; -1 for none.
int LastIndexOfCategory(const TTreeNodes& Nodes, const std::string& ID);
