#pragma once

// A second, deliberately literal builder of the document tree: whole-string
// space collapsing, CStringW::Tokenize, and node placement through the tree's
// own navigation (walk to the last sibling, walk up the parent links). It is
// quadratic and only meant for small pages, as the oracle the parser's fast
// builder is compared against.
#include "KelTreeImpl.h"

#include <string>
#include <vector>

namespace kel::test {

class LiteralHtmlTree {
public:
    explicit LiteralHtmlTree(CKelTreeImpl& tree) : m_tree(tree) {}

    void Parse(const CString& html)
    {
        CString work = html;
        work.Replace(L'\r', L' ');
        work.Replace(L'\n', L' ');
        work.Replace(L'\t', L' ');
        while (work.Find(L"  ") >= 0)
            work.Replace(L"  ", L" ");
        int position = 0;
        for (;;) {
            CString token = work.Tokenize(L"<>", position);
            if (token.IsEmpty())
                break;
            if (token == L" ")
                continue;
            const bool endedAtTagEnd = position - 1 < work.GetLength() && work.GetAt(position - 1) == L'>';
            if (!m_tree.IsEmpty() && !endedAtTagEnd)
                OpenTextNode(token);
            else
                LineParsing(token);
        }
    }

private:
    static int TagId(CString name)
    {
        static const wchar_t* const names[] = {L"HTML", L"BODY", L"TABLE", L"TR", L"TD", L"DIV", L"A", L"UL", L"LI"};
        static const int ids[] = {1, 6, 7, 8, 9, 10, 11, 12, 13};
        for (int i = 0; i < 9; ++i)
            if (name.CompareNoCase(names[i]) == 0)
                return ids[i];
        return 0;
    }

    static CString FirstWord(const CString& line)
    {
        int position = 0;
        return line.Tokenize(L" ", position);
    }

    void LineParsing(const CString& line)
    {
        CString name = FirstWord(line);
        int kind = 1;
        if (!name.IsEmpty() && name.GetAt(0) == L'/') {
            name.TrimLeft(L'/');
            kind = 2;
        }
        if (line.GetAt(line.GetLength() - 1) == L'/')
            kind = 3;
        if (name.CompareNoCase(L"!DOCTYPE") == 0)
            return;
        const int id = TagId(name);
        if (id == 0)
            return;
        CKelNodeImpl node;
        node.m_nTagId = id;
        node.m_nKind = kind;
        node.m_strData = line;
        if (kind == 1) {
            OpenNode(&node);
        } else if (kind == 2) {
            CloseNode(&node);
        } else {
            node.m_strData.TrimRight(L'/');
            node.m_strData.Trim();
            node.m_nKind = 1;
            OpenNode(&node);
            node.m_strData = L"/" + FirstWord(node.m_strData);
            node.m_nKind = 2;
            CloseNode(&node);
        }
    }

    void OpenTextNode(const CString& text)
    {
        CKelNodeImpl node;
        node.m_nTagId = 22;
        node.m_nKind = 1;
        node.m_strData = text;
        node.m_strData.Trim();
        OpenNode(&node);
        node.m_strData = L"/" + node.m_strData;
        node.m_nKind = 2;
        CloseNode(&node);
    }

    void OpenNode(CKelNodeImpl* node)
    {
        if (m_tree.GetLeftNode() == m_tree.GetNullNode()) {
            m_tree.vInsertLeft(node);
        } else {
            m_tree.MoveLeftNode();
            m_tree.MoveLastRightNode();
            m_tree.vInsertRight(node);
        }
    }

    void CloseNode(CKelNodeImpl* node)
    {
        m_tree.vInsertRight(node);
        m_tree.MoveParent();
        while (m_tree.GetCurrent() != m_tree.GetHeaderNode()) {
            if (m_tree.GetRightNode() == m_tree.GetNullNode())
                break;
            m_tree.MoveParent();
        }
    }

    CKelTreeImpl& m_tree;
};

} // namespace kel::test
