#pragma once

// CKelHTMLParser: a small HTML parser. It recognises nine tag names (HTML,
// BODY, TABLE, TR, TD, DIV, A, UL, LI), ignores every other tag, keeps the
// character data between tags as text nodes and builds a CKelTreeImpl. It
// decodes no entities, gives quotes, comments and scripts no special meaning,
// and never rejects a document: a close tag arriving after the root element
// has been closed is the one thing that fails (the tree's insertion error).
//
//     CKelHTMLParser parser;
//     parser.GetHTML(L"page.html", 1);   // 1 UTF-8, 0 system code page
//     parser.Parsing();
//     CString cell = parser.FindData(3, KelTagBody, KelTagTable, KelTagTr);
//
// Not thread safe: a parser and its tree are used by one thread.
#include "KelMarkupExport.h"
#include "KelTreeImpl.h"
#include <KelCore/platform/StringW.h>
#include <KelCore/platform/TreeCtrl.h>

#include <memory>

class KELMARKUP_API CKelHTMLParser {
public:
    CKelHTMLParser();
    ~CKelHTMLParser();
    CKelHTMLParser(const CKelHTMLParser&) = delete;
    CKelHTMLParser& operator=(const CKelHTMLParser&) = delete;

    // The text to parse.
    void GetHTML(const wchar_t* html);
    // The whole file at `path`: `encoding` 1 decodes UTF-8, 0 the system code
    // page, anything else gives empty text. A byte-order mark is kept as
    // U+FEFF. Raises CKelException (the errno of the failed open or read, or
    // the conversion's error); the text is then unchanged.
    void GetHTML(const wchar_t* path, int encoding);

    // Adds the document to the tree (it is not cleared first). Raises the
    // tree's CKelException when a close tag arrives after the root element
    // has been closed; the nodes made so far stay.
    void Parsing();

    // The text of the node that `count` tag ids (int arguments) lead to from
    // the root: each id picks the first child with that id. With no ids, the
    // root's text; empty when the tree is empty or a step finds nothing.
    CString FindData(int count, ...);

    // Shows the tree's Dump text in a message box (the user-interface hook).
    void Dump();

    // Fills `tree` with one item per node: open and close nodes become
    // sibling items, the nodes below a node its children; every item that
    // receives children is expanded. The control is used only during the
    // call.
    void MakeCtrlTree(CTreeCtrl* tree);

    CKelTreeImpl* GetTree() const { return m_pTree.get(); }

private:
    CString m_strHTML;
    std::unique_ptr<CKelTreeImpl> m_pTree;
    CTreeCtrl* m_pTreeCtrl;
};
