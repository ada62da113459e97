#pragma once

// Readable renderings of a document tree for assertions, and a recording
// tree-view control.
#include "KelTreeImpl.h"
#include "platform/TreeCtrl.h"

#include <string>
#include <utility>
#include <vector>

namespace kel::test {

// "HTML[1/1]{BODY[6/1]{hi[22/1] /hi[22/2]} /BODY[6/2]} /HTML[1/2]": text,
// [tag id/kind], the children in braces, siblings separated by a space.
// Iterative, so that long and deep trees can be rendered too.
inline std::wstring Shape(CKelTreeImpl& tree)
{
    std::wstring out;
    CKelNode* header = tree.GetHeaderNode();
    if (!header)
        return out;
    const CKelNode* null = tree.GetNullNode();
    enum class Step { Visit, VisitAfterSpace, CloseBrace };
    std::vector<std::pair<const CKelNode*, Step>> stack{{header, Step::Visit}};
    while (!stack.empty()) {
        auto [node, step] = stack.back();
        stack.pop_back();
        if (step == Step::CloseBrace) {
            out += L'}';
            continue;
        }
        if (step == Step::VisitAfterSpace)
            out += L' ';
        const auto* impl = static_cast<const CKelNodeImpl*>(node);
        out += impl->m_strData.str() + L"[" + std::to_wstring(impl->m_nTagId) + L"/" + std::to_wstring(impl->m_nKind) + L"]";
        if (node->m_pRight != null)
            stack.push_back({node->m_pRight, Step::VisitAfterSpace});
        if (node->m_pLeft != null) {
            out += L'{';
            stack.push_back({nullptr, Step::CloseBrace});
            stack.push_back({node->m_pLeft, Step::Visit});
        }
    }
    return out;
}

// Number of nodes whose links break the tree's invariants: an absent link
// that is not the null node, or a child whose parent link is not its node.
inline size_t BrokenLinks(CKelTreeImpl& tree)
{
    CKelNode* header = tree.GetHeaderNode();
    if (!header)
        return 0;
    const CKelNode* null = tree.GetNullNode();
    size_t broken = header->m_pParent == null ? 0 : 1;
    std::vector<const CKelNode*> stack{header};
    while (!stack.empty()) {
        const CKelNode* node = stack.back();
        stack.pop_back();
        for (const CKelNode* link : {node->m_pLeft, node->m_pRight}) {
            if (!link) {
                ++broken;
            } else if (link != null) {
                broken += link->m_pParent == node ? 0 : 1;
                stack.push_back(link);
            }
        }
    }
    return broken;
}

// Whether parsing the tree's Dump gives the same tree, for a tree that holds
// tags only (text nodes come back from a Dump as tag lines). Two shapes do
// not: an open node made from a self-closing close line ("</TD x/>" gives the
// open node "/TD x"), which reads back as a close tag; and an element still
// open below a root that was closed before it (Dump puts the root's close
// node last, where it closes that element instead).
inline bool DumpReparsesToItself(CKelTreeImpl& tree)
{
    CKelNode* header = tree.GetHeaderNode();
    if (!header)
        return true;
    const CKelNode* null = tree.GetNullNode();
    const bool rootClosed = header->m_pRight != null;
    std::vector<const CKelNode*> stack{header};
    while (!stack.empty()) {
        const auto* node = static_cast<const CKelNodeImpl*>(stack.back());
        stack.pop_back();
        if (node->m_nKind == KelNodeOpen && node->m_strData.str().starts_with(L'/'))
            return false;
        if (rootClosed && node != header && node->m_nKind == KelNodeOpen && node->m_pRight == null)
            return false;
        for (const CKelNode* link : {node->m_pLeft, node->m_pRight})
            if (link != null)
                stack.push_back(link);
    }
    return true;
}

// Keeps every item as (text, parent index), -1 for the root; items are
// handed out as 1-based indexes.
class RecordingTreeCtrl : public CTreeCtrl {
public:
    struct SItem {
        std::wstring text;
        int parent;
    };

    HTREEITEM InsertItem(const wchar_t* text, HTREEITEM parent, HTREEITEM insertAfter) override
    {
        if (insertAfter != TVI_LAST || (failAfter >= 0 && static_cast<int>(items.size()) >= failAfter))
            return nullptr;
        items.push_back({text, IndexOf(parent)});
        return reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(items.size()));
    }
    bool Expand(HTREEITEM item, UINT code) override
    {
        if (code == TVE_EXPAND)
            expanded.push_back(IndexOf(item));
        return true;
    }
    static int IndexOf(HTREEITEM item)
    {
        return item == TVI_ROOT ? -1 : static_cast<int>(reinterpret_cast<std::intptr_t>(item)) - 1;
    }

    std::vector<SItem> items;
    std::vector<int> expanded;
    int failAfter = -1; // refuse items once this many exist
};

} // namespace kel::test
