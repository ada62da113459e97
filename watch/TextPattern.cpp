#include "TextPattern.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace {

// What lets an expression see past the ends of its subject, start a match
// elsewhere than it began, or stop looking at later lines: "(?" covers
// look-arounds and inline options (a group "(?:" does neither), "(*" the
// backtracking verbs (a failed (*COMMIT) ends the whole search) and the
// settings of what a newline is.
bool CanLookPastTheLine(std::string_view pattern)
{
    for (const char* piece : {"\\A", "\\z", "\\Z", "\\G", "\\K", "(*"})
        if (pattern.find(piece) != std::string_view::npos)
            return true;
    for (size_t at = pattern.find("(?"); at != std::string_view::npos; at = pattern.find("(?", at + 2))
        if (at + 2 >= pattern.size() || pattern[at + 2] != ':')
            return true;
    return false;
}

// The JIT's stack starts small and may grow this far before a match is
// given up (as no match) rather than the process's stack overrun.
constexpr size_t kJitStackStart = 32 << 10;
constexpr size_t kJitStackLimit = 4 << 20;

} // namespace

struct CTextPattern::SCompiled {
    pcre2_code* code = nullptr;
    pcre2_match_data* data = nullptr;
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* stack = nullptr;

    SCompiled() = default;
    SCompiled(const SCompiled&) = delete;
    SCompiled& operator=(const SCompiled&) = delete;
    ~SCompiled()
    {
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
        pcre2_match_data_free(data);
        pcre2_code_free(code);
    }
};

CTextPattern::CTextPattern() = default;
CTextPattern::~CTextPattern() = default;
CTextPattern::CTextPattern(CTextPattern&&) noexcept = default;
CTextPattern& CTextPattern::operator=(CTextPattern&&) noexcept = default;

CTextPattern::CTextPattern(const CTextPattern& other) { *this = other; }

CTextPattern& CTextPattern::operator=(const CTextPattern& other)
{
    if (this != &other) {
        if (!Set(other.m_pattern, other.m_bRegularExpression, other.m_bCaseSensitive))
            Clear();
    }
    return *this;
}

void CTextPattern::Clear()
{
    m_pattern.clear();
    m_strError.clear();
    m_bLooksPastTheLine = false;
    m_compiled.reset();
}

bool CTextPattern::Set(std::string_view pattern, bool regularExpression, bool caseSensitive)
{
    Clear();
    if (pattern.empty())
        return false;
    m_pattern = pattern;
    m_bRegularExpression = regularExpression;
    m_bCaseSensitive = caseSensitive;
    m_bLooksPastTheLine = regularExpression && CanLookPastTheLine(pattern);
    // Invalid UTF-8 in a subject never matches instead of being refused, so
    // no subject needs checking first; \C, which matches one byte of a
    // character, is refused, so a match begins and ends between characters.
    // A literal takes neither option: it has no ^, $ or \C to apply them to.
    uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF
        | (regularExpression ? PCRE2_MULTILINE | PCRE2_NEVER_BACKSLASH_C : PCRE2_LITERAL);
    if (!caseSensitive)
        options |= PCRE2_CASELESS;
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    auto compiled = std::make_unique<SCompiled>();
    // Lines are joined by line feeds, whatever newline PCRE2 was built with.
    pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
    if (context)
        pcre2_set_newline(context, PCRE2_NEWLINE_LF);
    compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options, &error,
                                   &errorOffset, context);
    pcre2_compile_context_free(context);
    if (!compiled->code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        m_strError = reinterpret_cast<const char*>(message);
        m_strError += " (" + std::to_string(errorOffset) + ")";
        m_pattern.clear();
        return false;
    }
    // Without the JIT (not built in, or out of executable memory) the
    // interpreter matches the same, only slower.
    pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE);
    compiled->data = pcre2_match_data_create_from_pattern(compiled->code, nullptr);
    compiled->context = pcre2_match_context_create(nullptr);
    compiled->stack = pcre2_jit_stack_create(kJitStackStart, kJitStackLimit, nullptr);
    if (!compiled->data || !compiled->context) {
        m_strError = "out of memory";
        m_pattern.clear();
        return false;
    }
    if (compiled->stack)
        pcre2_jit_stack_assign(compiled->context, nullptr, compiled->stack);
    m_compiled = std::move(compiled);
    return true;
}

CTextPattern::EFound CTextPattern::Search(std::string_view text, size_t from, SSpan& span) const
{
    if (!m_compiled || from > text.size())
        return EFound::None;
    // An empty subject still gets a pointer PCRE2 accepts.
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.empty() ? "" : text.data());
    const int result = pcre2_match(m_compiled->code, subject, text.size(), from, PCRE2_NOTEMPTY, m_compiled->data,
                                   m_compiled->context);
    if (result == PCRE2_ERROR_NOMATCH)
        return EFound::None;
    if (result < 0)
        return EFound::GaveUp;
    const PCRE2_SIZE* found = pcre2_get_ovector_pointer(m_compiled->data);
    if (found[1] <= found[0]) // \K can end a match before its start
        return EFound::None;
    span = {found[0], found[1]};
    return EFound::Match;
}

std::optional<CTextPattern::SSpan> CTextPattern::Find(std::string_view text, size_t from) const
{
    SSpan span{};
    if (Search(text, from, span) != EFound::Match)
        return std::nullopt;
    return span;
}
