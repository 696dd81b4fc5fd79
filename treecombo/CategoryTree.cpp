#include "treecombo/CategoryTree.h"

const char* const CategoriesFileName = "categories.ini";
const char* const AllCategoriesText = "All Categories";
const char* const AllCategoriesID = "AA";
const char* const UnknownCategoryID = "Unknown";

namespace {
// Every node has the closed folder, the open one when selected, and no state image.
void Attach(TTreeNode* Node, TNodeDataList& Data, const std::string& ID) {
    Data.push_back(std::make_unique<TNodeData>(ID));
    Node->Data = Data.back().get();
    Node->SetImageIndex(0);
    Node->SetSelectedIndex(1);
    Node->SetStateIndex(-1);
}
}  // namespace

std::vector<std::string> NamesThatFit(const std::vector<std::string>& Names, size_t BufferSize) {
    std::vector<std::string> out;
    size_t used = 1;  // the list's closing zero
    for (const std::string& name : Names) {
        if (used + name.size() + 1 > BufferSize) break;
        used += name.size() + 1;
        out.push_back(name);
    }
    return out;
}

void BuildCategoryTree(TCustomIniFile& Catalogue, TTreeNodes& Nodes, TNodeDataList& Data) {
    // The nodes go before the data they point to.
    Nodes.Clear();
    Data.clear();
    std::vector<std::string> sections, keys;
    Catalogue.ReadSections(sections);
    sections = NamesThatFit(sections, NameListBufferSize);
    for (size_t n = 0; n < sections.size(); ++n) {
        TTreeNode* top = Nodes.AddChild(nullptr, sections[n]);
        Attach(top, Data, "C" + std::to_string(n + 1));
        Catalogue.ReadSection(sections[n], keys);
        for (const std::string& key : NamesThatFit(keys, NameListBufferSize)) {
            std::string id = Catalogue.ReadString(sections[n], key, UnknownCategoryID);
            if (id.size() >= ValueBufferSize) id.resize(ValueBufferSize - 1);
            Attach(Nodes.AddChild(top, key), Data, id);
        }
    }
    Attach(Nodes.Insert(Nodes.GetFirstNode(), AllCategoriesText), Data, AllCategoriesID);
}

const TNodeData* CategoryOf(const TTreeNode* Node) {
    return Node ? dynamic_cast<const TNodeData*>(Node->Data) : nullptr;
}

int LastIndexOfCategory(const TTreeNodes& Nodes, const std::string& ID) {
    const std::vector<TTreeNode*> all = Nodes.InOrder();
    for (size_t i = all.size(); i-- > 0;)
        if (const TNodeData* data = CategoryOf(all[i]))
            if (data->CategoryID == ID) return static_cast<int>(i);
    return -1;
}
