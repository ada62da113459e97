#include "CaseFold.h"

#include <algorithm>
#include <iterator>

namespace kel::platform {
namespace {

struct Folding {
    char32_t from;
    char32_t to;
};

constexpr Folding kFoldings[] = {
#include "CaseFoldTable.inc"
};

static_assert(std::is_sorted(std::begin(kFoldings), std::end(kFoldings),
                             [](const Folding& a, const Folding& b) { return a.from < b.from; }),
              "the table is searched by halves");

} // namespace

wchar_t FoldCase(wchar_t ch)
{
    if (ch < 0x80) // the common case needs no search
        return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch + (L'a' - L'A')) : ch;
    const auto code = static_cast<char32_t>(ch);
    const Folding* found =
        std::lower_bound(std::begin(kFoldings), std::end(kFoldings), code,
                         [](const Folding& folding, char32_t wanted) { return folding.from < wanted; });
    return found != std::end(kFoldings) && found->from == code ? static_cast<wchar_t>(found->to) : ch;
}

int CompareFolded(std::wstring_view a, std::wstring_view b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto left = static_cast<char32_t>(FoldCase(a[i]));
        const auto right = static_cast<char32_t>(FoldCase(b[i]));
        if (left != right)
            return left < right ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace kel::platform
