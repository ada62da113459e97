// Parsing speed of CKelHTMLParser beside gumbo on one generated 5 MB page.
// Both start from the same UTF-8 bytes and end with the tree freed; the
// parser's figure includes the conversion to wide text. Prints MB/s for each
// and the ratio (above 1: the parser is faster). Best of several runs.
#include "KelHTMLParser.h"
#include "KelString.h"

#include <gumbo.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// A page of the kind the parser is for: tables, lists, links, divisions and
// paragraphs with English and Korean text, indented over many lines.
std::string MakePage(size_t targetBytes)
{
    std::string page = "<!DOCTYPE html>\n<html lang=\"ko\">\n<head><title>Release notes</title></head>\n<body>\n";
    for (int section = 0; page.size() < targetBytes; ++section) {
        page += "  <div class=\"section\" id=\"s" + std::to_string(section) + "\">\n";
        page += "    <p>Version 2." + std::to_string(section) +
                " \xEB\xB3\x80\xEA\xB2\xBD \xEC\x82\xAC\xED\x95\xAD &amp; fixes, see <a href=\"#s" +
                std::to_string(section) + "\">details</a>.</p>\n";
        page += "    <table class=\"list\">\n";
        for (int row = 0; row < 8; ++row) {
            page += "      <tr><td class=\"name\">item " + std::to_string(row) +
                    "</td><td>\xED\x8C\x8C\xEC\x9D\xBC \xEC\x9D\xB4\xEB\xA6\x84</td><td><a href=\"/download/" +
                    std::to_string(section) + "/" + std::to_string(row) + "\">get</a></td></tr>\n";
        }
        page += "    </table>\n    <ul>\n";
        for (int item = 0; item < 4; ++item)
            page += "      <li>change " + std::to_string(item) + " of this release<br/></li>\n";
        page += "    </ul>\n  </div>\n";
    }
    page += "</body>\n</html>\n";
    return page;
}

double BestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

CStringW ToWide(const std::string& bytes)
{
    std::vector<wchar_t> wide(static_cast<size_t>(CKelString::UTF82UnicodeCount(bytes.c_str())));
    CKelString::UTF82Unicode(wide.data(), bytes.c_str());
    return CStringW(wide.data());
}

// Bytes of the heap in use (small blocks and mapped ones).
size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Heap held by a parsed tree: in use after Parsing less in use before it,
// with the page text already held by the parser.
size_t TreeBytes(const CStringW& wide)
{
    CKelHTMLParser parser;
    parser.GetHTML(wide);
    const size_t before = HeapInUse();
    parser.Parsing();
    return HeapInUse() - before;
}

// The same for gumbo's output.
size_t GumboBytes(const std::string& page)
{
    const size_t before = HeapInUse();
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
    const size_t bytes = HeapInUse() - before;
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return bytes;
}

} // namespace

int main()
{
    const std::string page = MakePage(5 * 1024 * 1024);
    const double megabytes = static_cast<double>(page.size()) / (1024.0 * 1024.0);
    constexpr int kRuns = 5;

    const double kel = BestSeconds(kRuns, [&] {
        CKelHTMLParser parser;
        parser.GetHTML(ToWide(page));
        parser.Parsing();
    });
    const CStringW wide = ToWide(page);
    const double kelParseOnly = BestSeconds(kRuns, [&] {
        CKelHTMLParser parser;
        parser.GetHTML(wide);
        parser.Parsing();
    });
    const double gumbo = BestSeconds(kRuns, [&] {
        GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    });

    std::printf("page: %.2f MB of UTF-8, best of %d runs\n", megabytes, kRuns);
    std::printf("KelMarkup (UTF-8 to wide + parse + free): %8.1f MB/s\n", megabytes / kel);
    std::printf("KelMarkup (parse + free, wide text given): %7.1f MB/s\n", megabytes / kelParseOnly);
    std::printf("gumbo (parse + free):                      %7.1f MB/s\n", megabytes / gumbo);
    std::printf("ratio KelMarkup / gumbo: %.2f (parse only: %.2f)  (aim >= 10: %s)\n", gumbo / kel, gumbo / kelParseOnly,
                gumbo / kel >= 10.0 ? "met" : "NOT met");
    const double treeBytes = static_cast<double>(TreeBytes(wide));
    const double gumboBytes = static_cast<double>(GumboBytes(page));
    const double pageBytes = static_cast<double>(page.size());
    std::printf("memory of the tree: %.1f MB, %.1f x the page (aim <= 5: %s); gumbo's output: %.1f MB, %.1f x\n",
                treeBytes / 1e6, treeBytes / pageBytes, treeBytes / pageBytes <= 5.0 ? "met" : "NOT met", gumboBytes / 1e6,
                gumboBytes / pageBytes);
    return 0;
}
