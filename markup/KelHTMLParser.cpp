#include "KelHTMLParser.h"

#include "KelException.h"
#include "KelString.h"
#include "platform/FileHandle.h"
#include "platform/UiHooks.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

struct STagName {
    std::wstring_view name;
    int id;
};

constexpr STagName kTagTable[] = {
    {L"HTML", KelTagHtml}, {L"BODY", KelTagBody}, {L"TABLE", KelTagTable},
    {L"TR", KelTagTr},     {L"TD", KelTagTd},     {L"DIV", KelTagDiv},
    {L"A", KelTagA},       {L"UL", KelTagUl},     {L"LI", KelTagLi},
};

// Tag names are ASCII; other letters never fold onto them.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    auto fold = [](wchar_t ch) { return ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](wchar_t x, wchar_t y) { return fold(x) == fold(y); });
}

// A name of up to eight ASCII letters folded to capitals and packed into
// one number, 0 for any other name: names compare as numbers.
constexpr std::uint64_t PackedName(std::wstring_view name)
{
    if (name.empty() || name.size() > 8)
        return 0;
    std::uint64_t packed = 0;
    for (wchar_t ch : name) {
        const wchar_t upper = ch >= L'a' && ch <= L'z' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
        if (upper <= 0 || upper >= 0x80)
            return 0;
        packed = packed << 8 | static_cast<std::uint64_t>(upper);
    }
    return packed;
}

// The tag id of a name, 0 for a tag the parser does not know.
int LookUpTag(std::wstring_view name)
{
    const std::uint64_t packed = PackedName(name);
    if (packed == 0)
        return 0;
    static constexpr auto kPackedTable = [] {
        std::array<std::uint64_t, std::size(kTagTable)> packedNames {};
        for (size_t i = 0; i < packedNames.size(); ++i)
            packedNames[i] = PackedName(kTagTable[i].name);
        return packedNames;
    }();
    for (size_t i = 0; i < kPackedTable.size(); ++i)
        if (kPackedTable[i] == packed)
            return kTagTable[i].id;
    return 0;
}

// What CString::Trim() removes.
bool IsTrimmed(wchar_t ch)
{
    return ch == L' ' || ch == L'\t' || ch == L'\r' || ch == L'\n' || ch == L'\v' || ch == L'\f';
}

std::wstring_view Trimmed(std::wstring_view text)
{
    while (!text.empty() && IsTrimmed(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsTrimmed(text.back()))
        text.remove_suffix(1);
    return text;
}

// The first word of a line split on single spaces (leading spaces skipped).
std::wstring_view FirstWord(std::wstring_view line)
{
    const size_t start = line.find_first_not_of(L' ');
    if (start == std::wstring_view::npos)
        return {};
    const size_t end = line.find(L' ', start);
    return line.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start);
}

bool IsDelimiter(wchar_t ch)
{
    return ch == L'<' || ch == L'>';
}

// The end of the token that starts at `pos` (the next '<' or '>', or the end
// of the text), and whether the token holds what NormaliseSpaces changes.
// Every character that matters is at most '>', so most are passed over
// with one comparison.
size_t TokenEnd(std::wstring_view html, size_t pos, bool& needsFolding)
{
    needsFolding = false;
    const size_t start = pos;
    for (; pos < html.size(); ++pos) {
        const wchar_t ch = html[pos];
        if (ch > L'>')
            continue;
        if (IsDelimiter(ch))
            break;
        if (ch == L'\r' || ch == L'\n' || ch == L'\t' || (ch == L' ' && pos > start && html[pos - 1] == L' '))
            needsFolding = true;
    }
    return pos;
}

// Carriage returns, line feeds and tabs become spaces and runs of spaces one
// space: the page as the parser sees it. No run crosses a '<' or '>', so each
// token can be normalised on its own, into `buffer`.
std::wstring_view NormaliseSpaces(std::wstring_view raw, std::wstring& buffer)
{
    buffer.clear();
    for (wchar_t ch : raw) {
        if (ch == L'\r' || ch == L'\n' || ch == L'\t')
            ch = L' ';
        if (ch == L' ' && !buffer.empty() && buffer.back() == L' ')
            continue;
        buffer.push_back(ch);
    }
    return buffer;
}

// `text` with "/" before it: the text of a close node.
CString Closing(std::wstring_view text)
{
    std::wstring close;
    close.reserve(text.size() + 1);
    close += L'/';
    close += text;
    return CString(std::move(close));
}

// Places parsed nodes in the tree. An element's content goes below its open
// node and each new node becomes the last child of the innermost open element;
// a close tag closes that element, whatever its name. The open elements from
// the root down to the current node are kept on a path with the last child of
// each, so that appending a sibling and returning to the enclosing element
// take constant time instead of walking the sibling chain.
class CDocumentBuilder {
public:
    explicit CDocumentBuilder(CKelTreeImpl& tree) : m_tree(tree) { _RebuildPath(); }

    void Token(std::wstring_view token, bool endedAtTagEnd)
    {
        if (token == L" ")
            return;
        if (!m_tree.IsEmpty() && !endedAtTagEnd)
            _OpenTextNode(token);
        else
            _LineParsing(token);
    }

private:
    struct SOpenElement {
        CKelNode* node;
        CKelNode* lastChild; // valid when lastChildKnown
        bool lastChildKnown;
        // The node hangs below the previous element of the path, not only
        // in the sibling chain that follows it.
        bool childOfPrevious;
    };

    bool _IsAbsent(const CKelNode* link) const { return link == nullptr || link == m_pNullNode; }

    // The path for whatever node is current when parsing starts (a second
    // Parsing continues where the tree's current node is).
    void _RebuildPath()
    {
        m_path.clear();
        if (m_tree.IsEmpty())
            return;
        m_pNullNode = m_tree.GetNullNode();
        CKelNode* node = m_tree.GetCurrent();
        if (_IsAbsent(node))
            return;
        std::vector<SOpenElement> upward{{node, nullptr, false, false}};
        CKelNode* top = node;
        for (CKelNode* child = node; !_IsAbsent(child->m_pParent); child = child->m_pParent) {
            top = child->m_pParent;
            if (top->m_pLeft == child) {
                upward.back().childOfPrevious = true;
                upward.push_back({top, nullptr, false, false});
            }
        }
        // The walk back up after a close ends at the header at the latest,
        // even when the current node hangs off the header's sibling chain.
        if (upward.back().node != top)
            upward.push_back({top, nullptr, false, false});
        m_path.assign(upward.rbegin(), upward.rend());
    }

    CKelNode* _LastChild(SOpenElement& element)
    {
        if (!element.lastChildKnown) {
            CKelNode* last = nullptr;
            for (CKelNode* child = element.node->m_pLeft; !_IsAbsent(child); child = child->m_pRight)
                last = child;
            element.lastChild = last;
            element.lastChildKnown = true;
        }
        return element.lastChild;
    }

    // A line between '<' and '>': a tag of the table becomes a node, any
    // other tag (and "!DOCTYPE") is dropped.
    void _LineParsing(std::wstring_view line)
    {
        std::wstring_view name = FirstWord(line);
        int kind = KelNodeOpen;
        if (!name.empty() && name.front() == L'/') {
            name.remove_prefix(std::min(name.find_first_not_of(L'/'), name.size()));
            kind = KelNodeClose;
        }
        if (!line.empty() && line.back() == L'/')
            kind = KelNodeSelfClosing;
        if (EqualsNoCase(name, L"!DOCTYPE"))
            return;
        const int tagId = LookUpTag(name);
        if (tagId == 0)
            return;

        CString text(line);
        if (kind == KelNodeOpen) {
            _OpenNode(tagId, KelNodeOpen, std::move(text));
        } else if (kind == KelNodeClose) {
            _CloseNode(tagId, std::move(text));
        } else {
            text.TrimRight(L'/');
            text.Trim();
            CString close = Closing(FirstWord(text.str()));
            _OpenNode(tagId, KelNodeOpen, std::move(text));
            _CloseNode(tagId, std::move(close));
        }
    }

    void _OpenTextNode(std::wstring_view token)
    {
        const std::wstring_view trimmed = Trimmed(token);
        // Other white space than the single space trims to nothing: no node.
        if (trimmed.empty())
            return;
        CString text(trimmed);
        CString close = Closing(text.str());
        _OpenNode(KelTagText, KelNodeOpen, std::move(text));
        _CloseNode(KelTagText, std::move(close));
    }

    // A new node of the tree: inserted without a prototype, so that nothing
    // is copied, and given its tag id, kind and text afterwards.
    template <typename Insert>
    CKelNode* _Insert(Insert insert, int tagId, int kind, CString&& text)
    {
        auto* node = static_cast<CKelNodeImpl*>(insert(nullptr));
        node->m_nTagId = tagId;
        node->m_nKind = kind;
        node->m_strData = std::move(text);
        return node;
    }
    CKelNode* _InsertLeft(int tagId, int kind, CString&& text)
    {
        return _Insert([this](CKelNodeImpl* prototype) { return m_tree.vInsertLeft(prototype); }, tagId, kind, std::move(text));
    }
    CKelNode* _InsertRight(int tagId, int kind, CString&& text)
    {
        return _Insert([this](CKelNodeImpl* prototype) { return m_tree.vInsertRight(prototype); }, tagId, kind, std::move(text));
    }

    // Appends a node as the last child of the current node and makes it
    // current; on an empty tree it becomes the header.
    void _OpenNode(int tagId, int kind, CString&& text)
    {
        if (m_path.empty()) {
            _StartTree(_InsertLeft(tagId, kind, std::move(text)));
            return;
        }
        SOpenElement& current = m_path.back();
        CKelNode* added;
        if (CKelNode* last = _LastChild(current)) {
            m_tree.SetCurrent(last);
            added = _InsertRight(tagId, kind, std::move(text));
        } else {
            m_tree.SetCurrent(current.node);
            added = _InsertLeft(tagId, kind, std::move(text));
        }
        current.lastChild = added;
        m_path.push_back({added, nullptr, true, true});
    }

    // Puts a close node right after the current node and returns to the
    // enclosing element that is still open (the header at the latest).
    void _CloseNode(int tagId, CString&& text)
    {
        if (m_path.empty()) {
            _StartTree(_InsertRight(tagId, KelNodeClose, std::move(text)));
            return;
        }
        CKelNode* closing = m_path.back().node;
        m_tree.SetCurrent(closing);
        CKelNode* closeNode = _InsertRight(tagId, KelNodeClose, std::move(text));
        if (m_path.size() > 1) {
            const bool closedAChild = m_path.back().childOfPrevious;
            m_path.pop_back();
            // The closed node ended its chain (its right link was free); the
            // close node ends it now.
            m_path.back().lastChild = closeNode;
            m_path.back().lastChildKnown = closedAChild;
            while (m_path.size() > 1 && !_IsAbsent(m_path.back().node->m_pRight))
                m_path.pop_back();
        }
        m_tree.SetCurrent(m_path.back().node);
    }

    // The first node of an empty tree is its header, open or not. On a tree
    // that has nodes but no current node the insertion itself raises.
    void _StartTree(CKelNode* header)
    {
        m_path.assign(1, {header, nullptr, true, false});
        m_pNullNode = m_tree.GetNullNode();
    }

    CKelTreeImpl& m_tree;
    const CKelNode* m_pNullNode = nullptr;
    std::vector<SOpenElement> m_path;
};

void RaiseErrno(int error)
{
    throw new CKelException(static_cast<DWORD>(error));
}

// Bytes with a terminating zero, as the conversions take them.
std::vector<char> ReadFileZeroTerminated(const wchar_t* path)
{
    kel::platform::CFileHandle file;
    if (!file.Open(kel::platform::NarrowPath(path), kel::platform::EOpen::Read))
        RaiseErrno(errno);
    ULONGLONG length = 0;
    if (!file.Size(length))
        RaiseErrno(errno);
    // The conversions count in int.
    if (length >= static_cast<ULONGLONG>(INT32_MAX))
        RaiseErrno(EFBIG);
    std::vector<char> bytes(static_cast<size_t>(length) + 1, 0);
    size_t read = 0;
    if (!file.Read(bytes.data(), static_cast<size_t>(length), read))
        RaiseErrno(errno);
    return bytes;
}

} // namespace

CKelHTMLParser::CKelHTMLParser() : m_pTree(std::make_unique<CKelTreeImpl>()), m_pTreeCtrl(nullptr)
{
}

CKelHTMLParser::~CKelHTMLParser()
{
    m_pTree.reset();
}

void CKelHTMLParser::GetHTML(const wchar_t* html)
{
    m_strHTML = html;
}

void CKelHTMLParser::GetHTML(const wchar_t* path, int encoding)
{
    if (!path)
        RaiseErrno(ENOENT);
    const std::vector<char> bytes = ReadFileZeroTerminated(path);
    std::vector<wchar_t> wide;
    if (encoding == 1) {
        wide.resize(static_cast<size_t>(CKelString::UTF82UnicodeCount(bytes.data())));
        CKelString::UTF82Unicode(wide.data(), bytes.data());
    } else if (encoding == 0) {
        wide.resize(static_cast<size_t>(CKelString::MBCS2UnicodeCount(bytes.data())));
        CKelString::MBCS2Unicode(wide.data(), bytes.data());
    }
    m_strHTML = wide.empty() ? L"" : wide.data();
}

void CKelHTMLParser::Parsing()
{
    CDocumentBuilder builder(*m_pTree);
    const std::wstring& html = m_strHTML.str();
    std::wstring buffer;
    size_t pos = 0;
    for (;;) {
        while (pos < html.size() && IsDelimiter(html[pos]))
            ++pos;
        if (pos >= html.size())
            return;
        const size_t start = pos;
        bool needsFolding;
        pos = TokenEnd(html, pos, needsFolding);
        const bool endedAtTagEnd = pos < html.size() && html[pos] == L'>';
        const std::wstring_view raw = std::wstring_view(html).substr(start, pos - start);
        if (pos < html.size())
            ++pos;
        builder.Token(needsFolding ? NormaliseSpaces(raw, buffer) : raw, endedAtTagEnd);
    }
}

CString CKelHTMLParser::FindData(int count, ...)
{
    auto* node = static_cast<CKelNodeImpl*>(m_pTree->MoveHeader());
    va_list ids;
    va_start(ids, count);
    for (int i = 0; i < count && node; ++i) {
        int id = va_arg(ids, int);
        node = m_pTree->Find(id, node);
    }
    va_end(ids);
    return node ? node->m_strData : CString();
}

void CKelHTMLParser::Dump()
{
    kel::platform::ShowMessageBox(m_pTree->Dump(), nullptr, kel::platform::kMbOk);
}

// Pre-order with an explicit stack, like the tree's Dump: a node's item,
// then the items of its children under it, then its next sibling.
void CKelHTMLParser::MakeCtrlTree(CTreeCtrl* tree)
{
    m_pTreeCtrl = tree;
    if (!m_pTreeCtrl)
        return;
    const CKelNode* null = m_pTree->GetHeaderNode() ? m_pTree->GetNullNode() : nullptr;
    auto absent = [null](const CKelNode* link) { return link == nullptr || link == null; };
    std::vector<std::pair<CKelNode*, HTREEITEM>> pending{{m_pTree->GetHeaderNode(), TVI_ROOT}};
    while (!pending.empty()) {
        auto [node, parent] = pending.back();
        pending.pop_back();
        if (absent(node))
            continue;
        HTREEITEM item = m_pTreeCtrl->InsertItem(static_cast<CKelNodeImpl*>(node)->m_strData, parent, TVI_LAST);
        m_pTreeCtrl->Expand(parent, TVE_EXPAND);
        pending.emplace_back(node->m_pRight, parent);
        // A control that could not add the item has nowhere to put its children.
        if (item)
            pending.emplace_back(node->m_pLeft, item);
    }
}
