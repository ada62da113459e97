#include "KelException.h"
#include "KelTreeImpl.h"
#include "TreeShape.h"

#include <gtest/gtest.h>

namespace {

CKelNodeImpl Payload(int tagId, int kind, const wchar_t* text)
{
    CKelNodeImpl node;
    node.m_nTagId = tagId;
    node.m_nKind = kind;
    node.m_strData = text;
    return node;
}

TEST(KelNodeImpl, CopiesPayloadButNeverLinks)
{
    CKelNodeImpl a, b;
    CKelNodeImpl source(&a, &b, &a);
    source.m_nTagId = 9;
    source.m_nKind = 2;
    source.m_strData = L"/td";
    CKelNodeImpl target;
    target = source;
    EXPECT_EQ(target.m_nTagId, 9);
    EXPECT_EQ(target.m_nKind, 2);
    EXPECT_EQ(target.m_strData, L"/td");
    EXPECT_EQ(target.m_pLeft, nullptr);
    // Through the base form nothing at all is copied.
    CKelNodeImpl untouched;
    static_cast<CKelNode&>(untouched) = static_cast<const CKelNode&>(source);
    EXPECT_EQ(untouched.m_nTagId, 0);
    EXPECT_TRUE(untouched.m_strData.IsEmpty());
}

TEST(KelTreeImpl, InsertionCopiesThePayloadAndTheNullNodeIsAnEmptyNode)
{
    CKelTreeImpl tree;
    CKelNodeImpl prototype = Payload(KelTagHtml, KelNodeOpen, L"HTML lang=ko");
    auto* header = static_cast<CKelNodeImpl*>(tree.vInsertLeft(&prototype));
    EXPECT_NE(header, &prototype);
    EXPECT_EQ(header->m_strData, L"HTML lang=ko");
    EXPECT_EQ(header->m_nTagId, KelTagHtml);
    const auto* null = static_cast<const CKelNodeImpl*>(tree.GetNullNode());
    EXPECT_EQ(null->m_nTagId, 0);
    EXPECT_EQ(null->m_nKind, 0);
    EXPECT_TRUE(null->m_strData.IsEmpty());
    CKelNodeImpl close = Payload(KelTagHtml, KelNodeClose, L"/HTML");
    auto* right = static_cast<CKelNodeImpl*>(tree.vInsertRight(&close));
    EXPECT_EQ(right->m_pParent, header);
    EXPECT_EQ(right->m_strData, L"/HTML");
    tree.MoveHeader();
    try {
        tree.vInsertRight(&close);
        ADD_FAILURE() << "a taken right link must raise";
    } catch (CKelException* e) {
        EXPECT_EQ(e->GetMessage(), L"KelException : 오른쪽 노드가 없습니다.");
        e->Delete();
    }
}

class FindTest : public ::testing::Test {
protected:
    // HTML{ DIV, TEXT, DIV } with the current node moved around by Find.
    void SetUp() override
    {
        CKelNodeImpl html = Payload(KelTagHtml, KelNodeOpen, L"HTML");
        header = static_cast<CKelNodeImpl*>(tree.vInsertLeft(&html));
        CKelNodeImpl div1 = Payload(KelTagDiv, KelNodeOpen, L"div 1");
        CKelNodeImpl text = Payload(KelTagText, KelNodeOpen, L"t");
        CKelNodeImpl div2 = Payload(KelTagDiv, KelNodeOpen, L"div 2");
        tree.vInsertLeft(&div1);
        tree.vInsertRight(&text);
        last = static_cast<CKelNodeImpl*>(tree.vInsertRight(&div2));
    }
    CKelTreeImpl tree;
    CKelNodeImpl* header = nullptr;
    CKelNodeImpl* last = nullptr;
};

TEST_F(FindTest, FindsTheFirstChildWithTheId)
{
    int id = KelTagDiv;
    CKelNodeImpl* found = tree.Find(id, header);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->m_strData, L"div 1");
    EXPECT_EQ(tree.GetCurrent(), found);
    id = KelTagText;
    EXPECT_EQ(tree.Find(id, header)->m_strData, L"t");
}

TEST_F(FindTest, NothingFoundLeavesTheCurrentNodeOnTheLastExamined)
{
    int id = KelTagTable;
    EXPECT_EQ(tree.Find(id, header), nullptr);
    EXPECT_EQ(tree.GetCurrent(), last);
    // A node without children: the search ends at once, on the parent.
    EXPECT_EQ(tree.Find(id, last), nullptr);
    EXPECT_EQ(tree.GetCurrent(), last);
    EXPECT_EQ(tree.Find(id, nullptr), nullptr);
}

TEST_F(FindTest, DumpSkipsNodesWithoutTextAndMovesToTheHeader)
{
    tree.MoveHeader();
    tree.MoveLeftNode();
    CKelNodeImpl empty = Payload(KelTagTd, KelNodeOpen, L"");
    CKelNodeImpl inner = Payload(KelTagText, KelNodeOpen, L"inner");
    tree.vInsertLeft(&empty);
    tree.vInsertLeft(&inner);
    EXPECT_EQ(tree.Dump(), L"<HTML><div 1><inner><t><div 2>");
    EXPECT_EQ(tree.GetCurrent(), header);
    CKelTreeImpl emptyTree;
    EXPECT_EQ(emptyTree.Dump(), L"");
}

TEST(KelTreeImpl, RemoveAllLeavesAReusableTree)
{
    CKelTreeImpl tree;
    CKelNodeImpl node = Payload(KelTagTd, KelNodeOpen, L"TD");
    tree.vInsertLeft(&node);
    tree.vInsertLeft(&node);
    tree.RemoveAll();
    EXPECT_TRUE(tree.IsEmpty());
    tree.vInsertRight(&node);
    EXPECT_EQ(kel::test::Shape(tree), L"TD[9/1]");
}

} // namespace

// Nodes live in the tree's arena: a slot freed on its own is handed out
// again, a tree with such a slot is still freed whole, and a large tree is
// emptied and filled again with every text intact.
class SlotTree : public CKelTreeImpl {
public:
    using CKelTreeImpl::_vDeleteNode;
    using CKelTreeImpl::_vNewNode;
};

TEST(KelTreeImplArena, AFreedSlotIsReusedAndTheTreeStillFreesEveryNode)
{
    SlotTree tree;
    CKelNodeImpl root = Payload(KelTagHtml, KelNodeOpen, L"html with a text too long to fit in the string itself");
    tree.vInsertLeft(&root);
    void* loose = tree._vNewNode();
    static_cast<CKelNodeImpl*>(static_cast<CKelNode*>(loose))->m_strData = L"a loose node with its own long text";
    tree._vDeleteNode(loose);
    void* again = tree._vNewNode();
    EXPECT_EQ(again, loose);
    tree._vDeleteNode(again);
    CKelNodeImpl child = Payload(KelTagText, KelNodeOpen, L"a child whose text is long enough for the heap");
    tree.vInsertLeft(&child);
    EXPECT_EQ(kel::test::Shape(tree),
              L"html with a text too long to fit in the string itself[1/1]{a child whose text is long enough for the heap[22/1]}");
    // The destructor frees the rest; the sanitizer runs see any leak.
}

TEST(KelTreeImplArena, ALargeTreeEmptiedAndFilledAgain)
{
    CKelTreeImpl tree;
    for (int round = 0; round < 2; ++round) {
        CKelNodeImpl root = Payload(KelTagHtml, KelNodeOpen, L"html");
        tree.vInsertLeft(&root);
        for (int i = 0; i < 50000; ++i) {
            CKelNodeImpl node = Payload(KelTagText, KelNodeOpen, (L"text number " + std::to_wstring(i)).c_str());
            if (i == 0)
                tree.vInsertLeft(&node);
            else
                tree.vInsertRight(&node);
        }
        size_t count = 0;
        bool textsIntact = true;
        CKelNode* node = tree.MoveHeader();
        for (node = tree.MoveLeftNode(); node != tree.GetNullNode(); node = tree.MoveRightNode(), ++count)
            textsIntact = textsIntact && static_cast<CKelNodeImpl*>(node)->m_strData == (L"text number " + std::to_wstring(count)).c_str();
        EXPECT_EQ(count, 50000u);
        EXPECT_TRUE(textsIntact);
        EXPECT_EQ(kel::test::BrokenLinks(tree), 0u);
        if (round == 0)
            tree.RemoveAll();
        EXPECT_EQ(tree.GetHeaderNode() == nullptr, round == 0);
    }
}
