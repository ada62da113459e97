#include "KelTreeImpl.h"

#include "KelNodeArena.h"

#include <cstddef>
#include <new>
#include <vector>

static_assert(alignof(CKelNodeImpl) <= alignof(std::max_align_t), "nodes fit the arena's slots");

CKelNodeImpl::CKelNodeImpl(CKelNodeImpl* left, CKelNodeImpl* right, CKelNodeImpl* parent)
    : CKelNode(left, right, parent), m_nTagId(0), m_nKind(0)
{
}

CKelNodeImpl::CKelNodeImpl(const CKelNodeImpl& other)
    : CKelNode(other), m_nTagId(other.m_nTagId), m_nKind(other.m_nKind), m_strData(other.m_strData)
{
}

CKelNodeImpl::~CKelNodeImpl() = default;

CKelNodeImpl& CKelNodeImpl::operator=(const CKelNodeImpl& other)
{
    m_nTagId = other.m_nTagId;
    m_nKind = other.m_nKind;
    m_strData = other.m_strData;
    return *this;
}

CKelTreeImpl::CKelTreeImpl() : m_pArena(std::make_unique<CKelNodeArena>(sizeof(CKelNodeImpl)))
{
}

// When no node was ever freed on its own, the arena holds exactly the tree's
// nodes (the null node included): they are destroyed in one sweep over the
// arena instead of a walk over the links.
CKelTreeImpl::~CKelTreeImpl()
{
    if (m_pArena->AllInUse()) {
        m_pArena->DestroyAll([](void* slot) { static_cast<CKelNodeImpl*>(slot)->~CKelNodeImpl(); });
        m_pCurrent = m_pHeader = m_pNullNode = nullptr;
        return;
    }
    RemoveAll();
}

CKelNode* CKelTreeImpl::vInsertLeft(CKelNodeImpl* prototype)
{
    CKelNode* node = CKelTree::vInsertLeft(prototype);
    if (prototype)
        *static_cast<CKelNodeImpl*>(node) = *prototype;
    return node;
}

CKelNode* CKelTreeImpl::vInsertRight(CKelNodeImpl* prototype)
{
    CKelNode* node = CKelTree::vInsertRight(prototype);
    if (prototype)
        *static_cast<CKelNodeImpl*>(node) = *prototype;
    return node;
}

CKelNodeImpl* CKelTreeImpl::Find(int& tagId, CKelNodeImpl* parent)
{
    if (!parent)
        return nullptr;
    SetCurrent(parent);
    CKelNode* node = MoveLeftNode();
    while (node && node != m_pNullNode) {
        auto* candidate = static_cast<CKelNodeImpl*>(node);
        if (candidate->m_nTagId == tagId)
            return candidate;
        node = MoveRightNode();
    }
    return nullptr;
}

CString CKelTreeImpl::Dump()
{
    MoveHeader();
    m_strDump.Empty();
    _Dump(m_pHeader);
    return m_strDump;
}

// Pre-order over the left-child, right-sibling links with an explicit stack of
// pending siblings: documents nest and run on far deeper than a call stack.
void CKelTreeImpl::_Dump(CKelNode* node)
{
    auto absent = [this](const CKelNode* link) { return link == nullptr || link == m_pNullNode; };
    std::vector<CKelNode*> pendingSiblings;
    for (;;) {
        for (; !absent(node); node = node->m_pLeft) {
            const CString& text = static_cast<CKelNodeImpl*>(node)->m_strData;
            if (!text.IsEmpty()) {
                m_strDump += L'<';
                m_strDump += text;
                m_strDump += L'>';
            }
            if (!absent(node->m_pRight))
                pendingSiblings.push_back(node->m_pRight);
        }
        if (pendingSiblings.empty())
            return;
        node = pendingSiblings.back();
        pendingSiblings.pop_back();
    }
}

void* CKelTreeImpl::_vNewNode()
{
    void* slot = m_pArena->Allocate();
    return static_cast<CKelNode*>(new (slot) CKelNodeImpl);
}

void CKelTreeImpl::_vDeleteNode(void* node)
{
    if (!node)
        return;
    auto* impl = static_cast<CKelNodeImpl*>(static_cast<CKelNode*>(node));
    impl->~CKelNodeImpl();
    m_pArena->Release(impl);
}
