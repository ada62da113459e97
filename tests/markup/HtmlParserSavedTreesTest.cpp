// The parser's trees for a fixed set of pages (the fuzzing seeds, random tag
// soup and a page like the benchmark's) against renderings saved when the
// pages were added: every node's text, tag id, kind and place must match.
// With KEL_RECORD_TREES set in the environment the renderings are written
// instead of compared.
#include "KelException.h"
#include "KelHTMLParser.h"
#include "KelString.h"
#include "TreeShape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ToUtf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t wc : text) {
        const auto c = static_cast<char32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The tree of the page's bytes read as UTF-8, rendered node by node, then
// the error the parsing raised (if any).
std::string Render(const std::string& bytes)
{
    std::vector<wchar_t> wide(static_cast<size_t>(CKelString::UTF82UnicodeCount(bytes.c_str())));
    CKelString::UTF82Unicode(wide.data(), bytes.c_str());
    CKelHTMLParser parser;
    parser.GetHTML(wide.data());
    std::wstring error;
    try {
        parser.Parsing();
    } catch (CKelException* e) {
        error = e->GetMessage().str();
        e->Delete();
    }
    return ToUtf8(kel::test::Shape(*parser.GetTree()) + L"\n| " + error + L"\n");
}

std::vector<fs::path> Pages()
{
    std::vector<fs::path> pages;
    for (const auto& entry : fs::directory_iterator(KEL_SAVED_TREES))
        if (entry.path().extension() == ".html")
            pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    return pages;
}

} // namespace

TEST(HtmlParserSavedTrees, EveryPageGivesTheSavedTree)
{
    const bool record = std::getenv("KEL_RECORD_TREES") != nullptr;
    const std::vector<fs::path> pages = Pages();
    ASSERT_GE(pages.size(), 29u);
    for (const fs::path& page : pages) {
        fs::path saved = page;
        saved.replace_extension(".tree");
        const std::string rendered = Render(ReadBytes(page));
        if (record) {
            std::ofstream(saved, std::ios::binary) << rendered;
            continue;
        }
        ASSERT_TRUE(fs::exists(saved)) << saved;
        EXPECT_EQ(rendered, ReadBytes(saved)) << page.filename();
    }
}
