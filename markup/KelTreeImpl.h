#pragma once

// The HTML document tree: a left-child, right-sibling tree on CKelTree. A
// node's left link is its first child, its right link its next sibling.
// Every element appears among its siblings as an open node (its content
// below it) followed, once closed, by a close node; text likewise appears as
// a text open node followed by a text close node.
//
// Not thread safe: a tree is used by one thread at a time.
#include "KelMarkupExport.h"
#include <KelCore/KelTree.h>
#include <KelCore/platform/StringW.h>

#include <memory>

class CKelNodeArena;

// Tag ids of the parser's tag table; text nodes carry KelTagText.
enum KelTagId : int {
    KelTagHtml = 1,
    KelTagBody = 6,
    KelTagTable = 7,
    KelTagTr = 8,
    KelTagTd = 9,
    KelTagDiv = 10,
    KelTagA = 11,
    KelTagUl = 12,
    KelTagLi = 13,
    KelTagText = 22,
};

// Node kinds; 3 (self-closing) exists only while a tag line is parsed.
enum KelNodeKind : int {
    KelNodeOpen = 1,
    KelNodeClose = 2,
    KelNodeSelfClosing = 3,
};

class KELMARKUP_API CKelNodeImpl : public CKelNode {
public:
    CKelNodeImpl(CKelNodeImpl* left = nullptr, CKelNodeImpl* right = nullptr, CKelNodeImpl* parent = nullptr);
    CKelNodeImpl(const CKelNodeImpl& other);
    ~CKelNodeImpl() override;

    // The base form copies nothing; this one copies the payload (tag id,
    // kind, text) and never the links.
    using CKelNode::operator=;
    virtual CKelNodeImpl& operator=(const CKelNodeImpl& other);

    int m_nTagId;
    int m_nKind;
    CString m_strData;
};

class KELMARKUP_API CKelTreeImpl : public CKelTree {
public:
    CKelTreeImpl();
    ~CKelTreeImpl() override;
    CKelTreeImpl(const CKelTreeImpl&) = delete;
    CKelTreeImpl& operator=(const CKelTreeImpl&) = delete;

    // Insert a new node carrying the prototype's tag id, kind and text (see
    // CKelTree::vInsertLeft for placement and errors).
    using CKelTree::vInsertLeft;
    using CKelTree::vInsertRight;
    virtual CKelNode* vInsertLeft(CKelNodeImpl* prototype);
    virtual CKelNode* vInsertRight(CKelNodeImpl* prototype);

    // The first child of `parent` whose tag id is `tagId`, or none. Leaves the
    // current node on the last node examined.
    CKelNodeImpl* Find(int& tagId, CKelNodeImpl* parent);

    // The document re-serialised from the header: "<" text ">" for every node
    // with text, each node followed by its children and then its siblings.
    CString Dump();

protected:
    void* _vNewNode() override;
    void _vDeleteNode(void* node) override;

private:
    void _Dump(CKelNode* node);

    CString m_strDump;
    // Where the nodes live: one allocation for many nodes.
    std::unique_ptr<CKelNodeArena> m_pArena;
};
