#include "KelTree.h"

#include "KelException.h"

#include <vector>

CKelNode::CKelNode(CKelNode* left, CKelNode* right, CKelNode* parent)
    : m_pLeft(left), m_pRight(right), m_pParent(parent)
{
}

CKelNode::CKelNode(const CKelNode& other)
    : m_pLeft(other.m_pLeft), m_pRight(other.m_pRight), m_pParent(other.m_pParent)
{
}

CKelNode::~CKelNode() = default;

CKelNode& CKelNode::operator=(const CKelNode&)
{
    return *this;
}

CKelTree::CKelTree() : m_pCurrent(nullptr), m_pHeader(nullptr), m_pNullNode(nullptr)
{
}

CKelTree::~CKelTree() = default;

bool CKelTree::IsEmpty() const
{
    // A tree whose null node exists before any insertion is still empty.
    return m_pHeader == nullptr || m_pHeader == m_pNullNode;
}

void CKelTree::SetCurrent(CKelNode* node)
{
    if (node)
        m_pCurrent = node;
}

CKelNode* CKelTree::GetCurrent()
{
    _EnsureNullNode(true);
    return m_pCurrent;
}

CKelNode* CKelTree::GetLeftNode()
{
    _EnsureNullNode(true);
    if (!m_pCurrent || !m_pCurrent->m_pLeft)
        return m_pNullNode;
    return m_pCurrent->m_pLeft;
}

CKelNode* CKelTree::GetRightNode()
{
    _EnsureNullNode(true);
    if (!m_pCurrent || !m_pCurrent->m_pRight)
        return m_pNullNode;
    return m_pCurrent->m_pRight;
}

const CKelNode* CKelTree::GetNullNode()
{
    _EnsureNullNode(true);
    return m_pNullNode;
}

CKelNode* CKelTree::vInsertLeft(CKelNode* prototype)
{
    return _Insert(prototype, Side::Left);
}

CKelNode* CKelTree::vInsertRight(CKelNode* prototype)
{
    return _Insert(prototype, Side::Right);
}

CKelNode* CKelTree::MoveHeader()
{
    m_pCurrent = m_pHeader;
    return m_pHeader;
}

// Without a current node (a fresh tree that no Get operation has touched)
// the Move operations have nowhere to go: they return none.
CKelNode* CKelTree::MoveLeftNode()
{
    if (!m_pCurrent)
        return nullptr;
    if (_IsAbsent(m_pCurrent->m_pLeft))
        return m_pNullNode;
    m_pCurrent = m_pCurrent->m_pLeft;
    return m_pCurrent;
}

CKelNode* CKelTree::MoveRightNode()
{
    if (!m_pCurrent)
        return nullptr;
    if (_IsAbsent(m_pCurrent->m_pRight))
        return m_pNullNode;
    m_pCurrent = m_pCurrent->m_pRight;
    return m_pCurrent;
}

CKelNode* CKelTree::MoveParent()
{
    if (!m_pCurrent)
        return nullptr;
    if (_IsAbsent(m_pCurrent->m_pParent))
        return m_pHeader;
    m_pCurrent = m_pCurrent->m_pParent;
    return m_pCurrent;
}

CKelNode* CKelTree::MoveFirstLeftNode()
{
    if (!m_pCurrent)
        return nullptr;
    while (!_IsAbsent(m_pCurrent->m_pLeft))
        m_pCurrent = m_pCurrent->m_pLeft;
    return m_pCurrent;
}

CKelNode* CKelTree::MoveLastRightNode()
{
    if (!m_pCurrent)
        return nullptr;
    while (!_IsAbsent(m_pCurrent->m_pRight))
        m_pCurrent = m_pCurrent->m_pRight;
    return m_pCurrent;
}

void CKelTree::RemoveAll()
{
    MoveHeader();
    if (!_IsAbsent(m_pHeader))
        _RecurRemoveAll(m_pHeader);
    if (m_pNullNode)
        _vDeleteNode(m_pNullNode);
    // Cleared so that the tree can be filled again and a second RemoveAll
    // (the derived destructor's) frees nothing twice.
    m_pCurrent = m_pHeader = m_pNullNode = nullptr;
}

void CKelTree::_EnsureNullNode(bool makeCurrent)
{
    if (m_pNullNode)
        return;
    CKelNode* node = static_cast<CKelNode*>(_vNewNode());
    node->m_pLeft = node->m_pRight = node->m_pParent = node;
    m_pNullNode = node;
    if (makeCurrent)
        m_pCurrent = node;
}

CKelNode* CKelTree::_Insert(CKelNode* prototype, Side side)
{
    _EnsureNullNode(false);
    if (!m_pHeader) {
        m_pHeader = _NewLinkedNode(prototype, m_pNullNode);
        m_pCurrent = m_pHeader;
        return m_pHeader;
    }
    // The null node is no place to insert at: linking below it would give
    // every absent link of the tree a child.
    if (!_HasCurrent())
        throw new CKelException(L"현재 노드가 없습니다.");
    CKelNode*& slot = side == Side::Left ? m_pCurrent->m_pLeft : m_pCurrent->m_pRight;
    if (!_IsAbsent(slot))
        throw new CKelException(side == Side::Left ? L"왼쪽 노드가 없습니다." : L"오른쪽 노드가 없습니다.");
    CKelNode* node = _NewLinkedNode(prototype, m_pCurrent);
    slot = node;
    m_pCurrent = node;
    return node;
}

// A new node with the prototype's payload, not yet linked from the tree; a
// failed payload copy frees it again so the tree stays unchanged.
CKelNode* CKelTree::_NewLinkedNode(CKelNode* prototype, CKelNode* parent)
{
    CKelNode* node = static_cast<CKelNode*>(_vNewNode());
    node->m_pLeft = node->m_pRight = m_pNullNode;
    node->m_pParent = parent;
    if (prototype) {
        try {
            *node = *prototype;
        } catch (...) {
            _vDeleteNode(node);
            throw;
        }
    }
    return node;
}

// Post-order (left subtree, right subtree, node) with an explicit stack: in a
// left-child right-sibling document every sibling is one level deeper, so a
// recursive walk would overflow the stack on long sibling lists.
void CKelTree::_RecurRemoveAll(CKelNode* node)
{
    struct Frame {
        CKelNode* node;
        bool rightVisited;
    };
    if (_IsAbsent(node))
        return;
    std::vector<Frame> stack;
    stack.push_back({node, false});
    CKelNode* next = node->m_pLeft;
    while (!stack.empty()) {
        if (!_IsAbsent(next)) {
            stack.push_back({next, false});
            next = next->m_pLeft;
            continue;
        }
        Frame& top = stack.back();
        if (!top.rightVisited) {
            top.rightVisited = true;
            next = top.node->m_pRight;
            continue;
        }
        CKelNode* done = top.node;
        stack.pop_back();
        _vDeleteNode(done);
        next = nullptr;
    }
}
