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
