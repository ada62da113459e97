// Parses arbitrary bytes as a UTF-8 page, then uses every output of the tree.
// Pages up to a few kilobytes are also built by the literal builder of the
// tests, and the two trees (or the two errors) must agree.
#include "KelException.h"
#include "KelHTMLParser.h"
#include "KelString.h"
#include "LiteralHtmlTree.h"
#include "TreeShape.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

CStringW Decode(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<wchar_t> wide(static_cast<size_t>(CKelString::UTF82UnicodeCount(bytes.c_str())));
    CKelString::UTF82Unicode(wide.data(), bytes.c_str());
    return CStringW(wide.data());
}

template <typename Parse>
std::wstring Outcome(Parse parse, CKelTreeImpl& tree)
{
    std::wstring error;
    try {
        parse();
    } catch (CKelException* e) {
        error = e->GetMessage().str();
        e->Delete();
    }
    return kel::test::Shape(tree) + L" | " + error;
}

// White space other than the space trims to an empty text that the parser
// drops and the literal builder keeps; such pages are not compared.
bool Comparable(const CStringW& html)
{
    return html.GetLength() <= 4096 && html.Find(L'\v') < 0 && html.Find(L'\f') < 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CStringW html = Decode(data, size);
    CKelHTMLParser parser;
    parser.GetHTML(html);
    const std::wstring fast = Outcome([&] { parser.Parsing(); }, *parser.GetTree());

    if (Comparable(html)) {
        CKelTreeImpl literalTree;
        kel::test::LiteralHtmlTree literal(literalTree);
        if (fast != Outcome([&] { literal.Parse(html); }, literalTree))
            __builtin_trap();
    }
    if (kel::test::BrokenLinks(*parser.GetTree()) != 0)
        __builtin_trap();

    // The Dump re-parsed holds tags only and, but for two shapes, re-parses
    // to itself.
    CKelHTMLParser again;
    again.GetHTML(parser.GetTree()->Dump());
    Outcome([&] { again.Parsing(); }, *again.GetTree());
    if (kel::test::DumpReparsesToItself(*again.GetTree())) {
        CKelHTMLParser third;
        third.GetHTML(again.GetTree()->Dump());
        Outcome([&] { third.Parsing(); }, *third.GetTree());
        if (kel::test::Shape(*third.GetTree()) != kel::test::Shape(*again.GetTree()))
            __builtin_trap();
    }

    parser.FindData(3, KelTagBody, KelTagTable, KelTagText);
    parser.GetTree()->Dump();
    kel::test::RecordingTreeCtrl control;
    parser.MakeCtrlTree(&control);
    return 0;
}
