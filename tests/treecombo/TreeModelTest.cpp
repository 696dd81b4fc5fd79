// The category tree without windows: building it from the catalogue file, the walks by
// absolute index, the selection, and the prefix search of the drop-down.
#include <gtest/gtest.h>

#include "base/StrUtils.h"
#include "treecombo/CategoryTree.h"

#include "tests/treecombo/Catalogue.h"

namespace {

// One line per node in tree order: indented by level, text, "=", category ID.
std::string Dump(const TTreeNodes& Nodes) {
    std::string out;
    for (TTreeNode* n : Nodes.InOrder()) {
        const TNodeData* data = CategoryOf(n);
        out += std::string(2 * n->Level(), ' ') + n->Text() + "=" + (data ? data->CategoryID : "?") + "\n";
    }
    return out;
}

const char* const Catalogue = catalogue::Small;

struct TBuilt {
    explicit TBuilt(const std::string& Text) { Rebuild(Text); }
    void Rebuild(const std::string& Text) {
        TMemIniFile ini;
        catalogue::Load(ini, Text);
        BuildCategoryTree(ini, Nodes, Data);
    }
    TTreeNodes Nodes;
    TNodeDataList Data;
};

}  // namespace

namespace {

TEST(CategoryTree, BuiltFromTheCatalogueInFileOrder) {
    struct TCase {
        const char* Ini;
        const char* Tree;
    };
    const TCase cases[] = {
        {Catalogue, "All Categories=AA\nGames=C1\n  Action=12\n  Puzzle=13\nUtilities=C2\n  Backup=40\n"},
        // The top categories are numbered by their place in the file.
        {"[Utilities]\nBackup=40\n[Games]\nAction=12\n",
         "All Categories=AA\nUtilities=C1\n  Backup=40\nGames=C2\n  Action=12\n"},
        // The same subcategory under two sections keeps each section's ID; IDs are kept as
        // written, blanks and case included.
        {"[Audio]\nTools=7\n[Video]\nTools=0x1F\nCodecs=ab c\n",
         "All Categories=AA\nAudio=C1\n  Tools=7\nVideo=C2\n  Tools=0x1F\n  Codecs=ab c\n"},
        {"", "All Categories=AA\n"},
    };
    for (const TCase& c : cases) {
        TBuilt b(c.Ini);
        EXPECT_EQ(Dump(b.Nodes), c.Tree) << c.Ini;
        EXPECT_EQ(b.Data.size(), static_cast<size_t>(b.Nodes.Count())) << c.Ini;
        for (TTreeNode* n : b.Nodes.InOrder()) {
            EXPECT_EQ(n->ImageIndex(), 0);
            EXPECT_EQ(n->SelectedIndex(), 1);
            EXPECT_EQ(n->StateIndex(), -1);
        }
    }
}

TEST(CategoryTree, RebuildingReplacesNodesDataAndSelection) {
    TBuilt b(Catalogue);
    b.Nodes.SetSelection(3);
    b.Rebuild("[Office]\nNotes=3\n");
    EXPECT_EQ(Dump(b.Nodes), "All Categories=AA\nOffice=C1\n  Notes=3\n");
    EXPECT_EQ(b.Data.size(), 3u);
    EXPECT_EQ(b.Nodes.Selected(), nullptr);
    b.Rebuild("[Office]\nNotes=3\n");
    EXPECT_EQ(b.Nodes.Count(), 3) << "a second build added to the first";
}

TEST(CategoryTree, TheLastNodeWithTheSavedIDIsFoundExactly) {
    TBuilt b("[Games]\nAction=12\nArcade=12\n[Utilities]\nBackup=40\n");
    struct TCase {
        const char* ID;
        int Index;
    };
    for (const TCase& c :
         {TCase{"12", 3}, TCase{"C2", 4}, TCase{"AA", 0}, TCase{"aa", -1}, TCase{"00", -1}, TCase{"", -1}})
        EXPECT_EQ(LastIndexOfCategory(b.Nodes, c.ID), c.Index) << c.ID;
}

TEST(CategoryTree, NameListsHoldWhatFitsWholeInTheirBuffer) {
    // Each name takes its length plus a zero, and the list one zero more.
    const std::vector<std::string> names = {"abc", "de", "f"};
    struct TCase {
        size_t Size;
        size_t Kept;
    };
    for (const TCase& c : {TCase{11, 3}, TCase{10, 3}, TCase{9, 2}, TCase{8, 2}, TCase{7, 1}, TCase{5, 1},
                           TCase{4, 0}, TCase{0, 0}})
        EXPECT_EQ(NamesThatFit(names, c.Size).size(), c.Kept) << c.Size;
}

TEST(CategoryTree, CatalogueIsReadThroughItsBuffers) {
    // Of 200 names of 100 characters, 162 fit in 16 KB, beside "Big" and "Long" among the
    // sections. A long ID is cut at 2047 characters.
    std::string ini, keys;
    for (int i = 0; i < 200; ++i) {
        std::string name = Format("%03d", i) + std::string(97, 'n');
        ini += "[" + name + "]\nk=1\n";
        keys += name + "=" + std::to_string(i) + "\n";
    }
    TBuilt b("[Big]\n" + keys + "[Long]\nid=" + std::string(5000, '7') + "\n" + ini);
    ASSERT_EQ(b.Nodes.TopCount(), 1 + 2 + 162);
    EXPECT_EQ(b.Nodes.Top(1)->Count(), 162);
    EXPECT_EQ(b.Nodes.Top(164)->Text().substr(0, 3), "161");
    EXPECT_EQ(CategoryOf(b.Nodes.Top(2)->Item(0))->CategoryID, std::string(2047, '7'));
}

// A tree three levels deep, with its absolute indexes:
//   0 A, 1 A1, 2 A1a, 3 A1b, 4 A2, 5 B, 6 B1
struct TDeep {
    TDeep() {
        TTreeNode* a = Nodes.AddChild(nullptr, "A");
        TTreeNode* a1 = Nodes.AddChild(a, "A1");
        Nodes.AddChild(a1, "A1a");
        Nodes.AddChild(a1, "A1b");
        Nodes.AddChild(a, "A2");
        Nodes.AddChild(Nodes.AddChild(nullptr, "B"), "B1");
    }
    std::string Names() const {
        std::string s;
        for (TTreeNode* n : Nodes.InOrder())
            s += n->Text() + " ";
        return s;
    }
    TTreeNodes Nodes;
};

TEST(TreeNodes, AbsoluteIndexesCountEveryLevelParentFirst) {
    TDeep t;
    EXPECT_EQ(t.Names(), "A A1 A1a A1b A2 B B1 ");
    ASSERT_EQ(t.Nodes.Count(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(t.Nodes.Item(i)->AbsoluteIndex(), i);
    EXPECT_EQ(t.Nodes.Item(7), nullptr);
    EXPECT_EQ(t.Nodes.Item(-1), nullptr);
    // Inserting in front shifts everything after it.
    t.Nodes.Insert(t.Nodes.Item(5), "AB");
    t.Nodes.Insert(t.Nodes.Item(2), "A1-");
    EXPECT_EQ(t.Names(), "A A1 A1- A1a A1b A2 AB B B1 ");
    EXPECT_EQ(t.Nodes.Item(8)->Text(), "B1");
    EXPECT_EQ(t.Nodes.Item(2)->Parent(), t.Nodes.Item(1));
}

TEST(TreeNodes, SelectionIsAnAbsoluteIndex) {
    TDeep t;
    EXPECT_EQ(t.Nodes.Selection(), -1);
    t.Nodes.SetSelection(3);
    EXPECT_EQ(t.Nodes.Selected()->Text(), "A1b");
    EXPECT_EQ(t.Nodes.Selection(), 3);
    t.Nodes.SetSelection(-1);
    EXPECT_EQ(t.Nodes.Selection(), 3) << "-1 changed the selection";
    t.Nodes.SetSelection(7);
    EXPECT_EQ(t.Nodes.Selection(), -1) << "an index past the last node kept a selection";
    t.Nodes.SetSelection(6);
    t.Nodes.Delete(t.Nodes.Item(4));
    EXPECT_EQ(t.Nodes.Selection(), 5) << "the selected node's index did not follow a deletion before it";
}

TEST(TreeNodes, DeletingTheSelectedBranchTellsTheViewTheSelectionWentFirst) {
    TDeep t;
    t.Nodes.SetSelection(2);
    std::vector<std::string> told;
    t.Nodes.OnChange = [&](TTreeNode* n, TNodeChange c) {
        told.push_back(std::to_string(c) + ":" + (n ? n->Text() : "-"));
    };
    t.Nodes.Delete(t.Nodes.Item(1));
    EXPECT_EQ(told, (std::vector<std::string>{std::to_string(ncSelected) + ":-",
                                              std::to_string(ncDeleting) + ":A1"}));
    EXPECT_EQ(t.Names(), "A A2 B B1 ");
    t.Nodes.Clear();
    EXPECT_EQ(t.Nodes.Count(), 0);
}

TEST(TreeNodes, MakeVisibleExpandsTheAncestorsOnly) {
    TDeep t;
    t.Nodes.Item(2)->MakeVisible();
    std::string expanded;
    for (TTreeNode* n : t.Nodes.InOrder())
        if (n->Expanded()) expanded += n->Text() + " ";
    EXPECT_EQ(expanded, "A A1 ");
    EXPECT_TRUE(t.Nodes.Item(2)->IsVisible());
    EXPECT_FALSE(t.Nodes.Item(6)->IsVisible());
    t.Nodes.FullExpand();
    EXPECT_TRUE(t.Nodes.Item(6)->IsVisible());
    t.Nodes.FullCollapse();
    EXPECT_FALSE(t.Nodes.Item(1)->IsVisible());
    EXPECT_FALSE(t.Nodes.Item(1)->Expanded());
}

TEST(TreeNodes, PrefixSearchTakesTheLongestPrefixThatMatches) {
    TBuilt b(Catalogue);
    struct TCase {
        const char* Text;
        bool AutoOpen;
        bool GamesExpanded;
        int Match;
    };
    const TCase cases[] = {
        {"pu", true, false, 3},       // any case, inside a collapsed branch
        {"PUZZLEX", true, false, 3},  // the longest prefix that matches
        {"a", true, false, 0},        // the first match in tree order
        {"ac", true, false, 2},      {"Backup", true, false, 5}, {"zzz", true, false, -1},
        {"", true, false, -1},       {"pu", false, false, -1},  // only visible nodes without AutoOpen
        {"pu", false, true, 3},      {"bx", false, false, -1},  // Backup is hidden, and "b" matches nothing else
        {"gx", false, false, 1},
    };
    for (const TCase& c : cases) {
        b.Nodes.Top(1)->SetExpanded(c.GamesExpanded);
        TTreeNode* found = b.Nodes.FindPrefix(c.Text, c.AutoOpen);
        EXPECT_EQ(found ? found->AbsoluteIndex() : -1, c.Match) << c.Text << " " << c.AutoOpen;
    }
}

}  // namespace
