#pragma once

// CKelTree / CKelNode: an abstract binary tree with a header (root) node, a
// movable current node and a shared null node that stands for every absent
// link. The tree never allocates nodes itself: a derived tree supplies
// _vNewNode / _vDeleteNode and a derived node supplies its payload through
// operator=. Navigation and insertion work relative to the current node.
//
// Not thread safe: a tree is used by one thread at a time.
#include "platform/KelExport.h"

class KELCORE_API CKelNode {
public:
    CKelNode(CKelNode* left = nullptr, CKelNode* right = nullptr, CKelNode* parent = nullptr);
    // Copies the three links.
    CKelNode(const CKelNode& other);
    // Frees the object only; linked nodes belong to the tree.
    virtual ~CKelNode();
    // Payload copy used by the tree when it inserts. The base node has no
    // payload, so this copies nothing, not even the links.
    virtual CKelNode& operator=(const CKelNode& other);

    CKelNode* m_pLeft;
    CKelNode* m_pRight;
    // The node into whose left or right link this node was inserted.
    CKelNode* m_pParent;
};

class KELCORE_API CKelTree {
public:
    CKelTree();
    // Copies share the nodes; only one of the copies may free them.
    CKelTree(const CKelTree& other) = default;
    CKelTree& operator=(const CKelTree& other) = default;
    // Frees nothing: derived trees call RemoveAll in their own destructor.
    virtual ~CKelTree();

    bool IsEmpty() const;

    // A null argument is ignored.
    void SetCurrent(CKelNode* node);
    // The Get operations create the null node on first use (and then make it
    // current); GetHeaderNode creates nothing.
    CKelNode* GetCurrent();
    CKelNode* GetHeaderNode() const { return m_pHeader; }
    CKelNode* GetLeftNode();
    CKelNode* GetRightNode();
    const CKelNode* GetNullNode();

    // Links a new node holding a copy of the prototype's payload into the
    // current node's left (right) link and makes it current; on an empty tree
    // the new node becomes the header. The caller keeps the prototype.
    // Raises CKelException when there is no current node or the slot is taken.
    virtual CKelNode* vInsertLeft(CKelNode* prototype);
    virtual CKelNode* vInsertRight(CKelNode* prototype);

    CKelNode* MoveHeader();
    // Move along one link; when the link is absent the null node is returned
    // and the current node stays. MoveParent on the header returns the header.
    CKelNode* MoveLeftNode();
    CKelNode* MoveRightNode();
    CKelNode* MoveParent();
    // Follow the link to the end of its chain and return the last node.
    CKelNode* MoveFirstLeftNode();
    CKelNode* MoveLastRightNode();

    // Frees every node in post-order (children before their node) and the
    // null node last, then leaves the tree empty and ready to be filled again.
    void RemoveAll();

protected:
    // A fresh node of the derived type: links none, payload empty.
    virtual void* _vNewNode() = 0;
    // Destroys and frees a node made by _vNewNode.
    virtual void _vDeleteNode(void* node) = 0;

    CKelNode* m_pCurrent;
    CKelNode* m_pHeader;
    CKelNode* m_pNullNode;

private:
    enum class Side { Left, Right };

    void _EnsureNullNode(bool makeCurrent);
    bool _IsAbsent(const CKelNode* node) const { return node == nullptr || node == m_pNullNode; }
    bool _HasCurrent() const { return !_IsAbsent(m_pCurrent); }
    CKelNode* _Insert(CKelNode* prototype, Side side);
    CKelNode* _NewLinkedNode(CKelNode* prototype, CKelNode* parent);
    void _RecurRemoveAll(CKelNode* node);
};
