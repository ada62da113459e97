#include "KelException.h"
#include "KelTree.h"
#include "RaisedMessage.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using kel::test::RaisedMessage;

namespace {

struct NamedNode : CKelNode {
    std::string name;
    NamedNode& operator=(const CKelNode& other) override
    {
        if (auto* named = dynamic_cast<const NamedNode*>(&other))
            name = named->name;
        return *this;
    }
};

// Records every node it frees, so that the tests can check order and count.
class RecordingTree : public CKelTree {
public:
    ~RecordingTree() override { RemoveAll(); }

    CKelNode* Left(const std::string& name) { NamedNode p; p.name = name; return vInsertLeft(&p); }
    CKelNode* Right(const std::string& name) { NamedNode p; p.name = name; return vInsertRight(&p); }
    static const std::string& Name(const CKelNode* node) { return static_cast<const NamedNode*>(node)->name; }

    std::vector<std::string> freed;
    int made = 0;

protected:
    void* _vNewNode() override
    {
        ++made;
        return new NamedNode;
    }
    void _vDeleteNode(void* node) override
    {
        auto* named = static_cast<NamedNode*>(node);
        freed.push_back(named == m_pNullNode ? std::string("<null>") : named->name);
        delete named;
    }
};

TEST(KelNode, CopyConstructorCopiesLinksButAssignmentCopiesNothing)
{
    CKelNode a, b, c;
    CKelNode node(&a, &b, &c);
    CKelNode copy(node);
    EXPECT_EQ(copy.m_pLeft, &a);
    EXPECT_EQ(copy.m_pRight, &b);
    EXPECT_EQ(copy.m_pParent, &c);
    CKelNode other;
    other = node;
    EXPECT_EQ(other.m_pLeft, nullptr);
    EXPECT_EQ(other.m_pParent, nullptr);
}

TEST(KelTree, FreshTreeIsEmptyAndGetCurrentCreatesTheNullNode)
{
    RecordingTree tree;
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.GetHeaderNode(), nullptr);
    EXPECT_EQ(tree.made, 0);
    CKelNode* current = tree.GetCurrent();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current, tree.GetNullNode());
    EXPECT_EQ(current->m_pLeft, current);
    EXPECT_EQ(current->m_pRight, current);
    EXPECT_EQ(current->m_pParent, current);
    EXPECT_EQ(tree.made, 1);
    // Having a null node does not make the tree hold anything.
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.GetLeftNode(), current);
}

TEST(KelTree, MoveOperationsOnAFreshTreeGoNowhere)
{
    RecordingTree tree;
    EXPECT_EQ(tree.MoveLeftNode(), nullptr);
    EXPECT_EQ(tree.MoveParent(), nullptr);
    EXPECT_EQ(tree.MoveLastRightNode(), nullptr);
    EXPECT_EQ(tree.MoveHeader(), nullptr);
    EXPECT_EQ(tree.made, 0);
}

TEST(KelTree, FirstInsertionOnEitherSideBecomesHeaderAndCurrent)
{
    for (bool left : {true, false}) {
        RecordingTree tree;
        CKelNode* header = left ? tree.Left("root") : tree.Right("root");
        EXPECT_EQ(tree.GetHeaderNode(), header);
        EXPECT_EQ(tree.GetCurrent(), header);
        EXPECT_FALSE(tree.IsEmpty());
        const CKelNode* null = tree.GetNullNode();
        EXPECT_EQ(header->m_pLeft, null);
        EXPECT_EQ(header->m_pRight, null);
        EXPECT_EQ(header->m_pParent, null);
        EXPECT_EQ(RecordingTree::Name(header), "root");
    }
}

TEST(KelTree, InsertionLinksCopiesAndNeverTakesThePrototype)
{
    RecordingTree tree;
    NamedNode prototype;
    prototype.name = "a";
    CKelNode* a = tree.vInsertLeft(&prototype);
    EXPECT_NE(a, &prototype);
    prototype.name = "b";
    CKelNode* b = tree.vInsertLeft(&prototype);
    EXPECT_EQ(a->m_pLeft, b);
    EXPECT_EQ(b->m_pParent, a);
    EXPECT_EQ(RecordingTree::Name(b), "b");
    EXPECT_EQ(tree.GetCurrent(), b);
    EXPECT_EQ(prototype.m_pLeft, nullptr); // the prototype was never linked
}

TEST(KelTree, ATakenSlotRaisesAndAddsNothing)
{
    RecordingTree tree;
    CKelNode* a = tree.Left("A");
    tree.Left("child");
    EXPECT_EQ(tree.MoveParent(), a);
    const int made = tree.made;
    EXPECT_EQ(RaisedMessage([&] { tree.Left("second"); }), L"KelException : 왼쪽 노드가 없습니다.");
    EXPECT_EQ(tree.made, made);
    EXPECT_EQ(tree.GetCurrent(), a);
    CKelNode* right = tree.Right("sibling");
    EXPECT_EQ(a->m_pRight, right);
    EXPECT_EQ(right->m_pParent, a);
    tree.MoveParent();
    EXPECT_EQ(RaisedMessage([&] { tree.Right("again"); }), L"KelException : 오른쪽 노드가 없습니다.");
}

TEST(KelTree, InsertingWithoutARealCurrentNodeRaises)
{
    RecordingTree tree;
    tree.Left("root");
    tree.SetCurrent(const_cast<CKelNode*>(tree.GetNullNode()));
    EXPECT_EQ(RaisedMessage([&] { tree.Left("x"); }), L"KelException : 현재 노드가 없습니다.");
    const CKelNode* null = tree.GetNullNode();
    EXPECT_EQ(null->m_pLeft, null); // the null node stays its own
}

TEST(KelTree, MovesStopAtAbsentLinks)
{
    RecordingTree tree;
    CKelNode* root = tree.Left("root");
    const CKelNode* null = tree.GetNullNode();
    EXPECT_EQ(tree.MoveLeftNode(), null);
    EXPECT_EQ(tree.GetCurrent(), root);
    EXPECT_EQ(tree.MoveParent(), root);
    EXPECT_EQ(tree.GetCurrent(), root);
    EXPECT_EQ(tree.MoveLastRightNode(), root);
    EXPECT_EQ(tree.MoveFirstLeftNode(), root);

    CKelNode* l1 = tree.Left("l1");
    CKelNode* l2 = tree.Left("l2");
    tree.MoveHeader();
    EXPECT_EQ(tree.MoveFirstLeftNode(), l2);
    EXPECT_EQ(tree.MoveParent(), l1);
    tree.MoveHeader();
    CKelNode* r1 = tree.Right("r1");
    CKelNode* r2 = tree.Right("r2");
    tree.MoveHeader();
    EXPECT_EQ(tree.MoveRightNode(), r1);
    EXPECT_EQ(tree.MoveLastRightNode(), r2);
    EXPECT_EQ(tree.GetCurrent(), r2);
}

TEST(KelTree, SetCurrentIgnoresNone)
{
    RecordingTree tree;
    CKelNode* root = tree.Left("root");
    tree.SetCurrent(nullptr);
    EXPECT_EQ(tree.GetCurrent(), root);
}

TEST(KelTree, RemoveAllFreesPostOrderAndTheNullNodeLast)
{
    RecordingTree tree;
    // root(left: a(left: a1, right: a2), right: b)
    tree.Left("root");
    tree.Left("a");
    tree.Left("a1");
    tree.MoveParent();
    tree.Right("a2");
    tree.MoveHeader();
    tree.Right("b");
    tree.RemoveAll();
    EXPECT_EQ(tree.freed, (std::vector<std::string>{"a1", "a2", "a", "b", "root", "<null>"}));
    EXPECT_EQ(static_cast<int>(tree.freed.size()), tree.made);
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.GetHeaderNode(), nullptr);

    // Emptied trees fill again, and the destructor's RemoveAll frees only
    // what the second filling made.
    tree.freed.clear();
    tree.Left("again");
    tree.RemoveAll();
    EXPECT_EQ(tree.freed, (std::vector<std::string>{"again", "<null>"}));
}

TEST(KelTree, RemoveAllOnALongSiblingChainCompletes)
{
    constexpr int kSiblings = 1000000;
    RecordingTree tree;
    tree.Left("first");
    NamedNode prototype;
    for (int i = 1; i < kSiblings; ++i)
        tree.vInsertRight(&prototype);
    tree.MoveHeader();
    tree.Left("child");
    tree.freed.reserve(kSiblings + 2);
    tree.RemoveAll();
    ASSERT_EQ(tree.freed.size(), static_cast<size_t>(kSiblings + 2));
    // Post-order: the header's left subtree, then the whole right chain from
    // its far end back, then the header itself.
    EXPECT_EQ(tree.freed.front(), "child");
    EXPECT_EQ(tree.freed[tree.freed.size() - 2], "first");
    EXPECT_EQ(tree.freed.back(), "<null>");
}

} // namespace
