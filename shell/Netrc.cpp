#include "Netrc.h"

#include <vector>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool IsBlankLine(std::string_view line)
{
    for (char c : line)
        if (!IsBlank(c))
            return false;
    return true;
}

bool SameHost(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t at = 0; at < a.size(); ++at) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[at]) != lower(b[at]))
            return false;
    }
    return true;
}

// One quoted value from just after its opening quote; `at` ends after the
// closing quote (or at the line's end when it has none).
std::string QuotedWord(std::string_view line, size_t& at)
{
    std::string word;
    while (at < line.size() && line[at] != '"') {
        char c = line[at++];
        if (c == '\\' && at < line.size()) {
            c = line[at++];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        }
        word += c;
    }
    if (at < line.size())
        ++at;
    return word;
}

// The words of one line, or none for a comment or an empty line.
std::vector<std::string> Words(std::string_view line)
{
    std::vector<std::string> words;
    for (size_t at = 0;;) {
        while (at < line.size() && IsBlank(line[at]))
            ++at;
        if (at == line.size() || (words.empty() && line[at] == '#'))
            return words;
        if (line[at] == '"') {
            words.push_back(QuotedWord(line, ++at));
            continue;
        }
        const size_t start = at;
        while (at < line.size() && !IsBlank(line[at]))
            ++at;
        words.emplace_back(line.substr(start, at - start));
    }
}

// Reads the entries one word at a time and keeps the first that fits.
class NetrcSearch {
public:
    NetrcSearch(std::string_view host, std::string_view user) : m_host(host), m_user(user) {}

    // False once a fitting entry has been found.
    bool Take(const std::string& word)
    {
        if (m_expect == Expect::Keyword)
            return _Keyword(word);
        const Expect expected = m_expect;
        m_expect = Expect::Keyword;
        if (expected == Expect::Machine) {
            _Open(SameHost(word, m_host));
        } else if (expected == Expect::Login) {
            m_entry.login = word;
            m_hasLogin = true;
        } else if (expected == Expect::Password) {
            m_entry.password = word;
            m_hasPassword = true;
        } else if (expected == Expect::MacroName) {
            m_inMacro = true;
        }
        return !result.found;
    }
    // Called at the end of the text.
    void Finish() { _Close(); }
    // Lines of a macro are not words: true while they are being skipped.
    bool InMacro() const { return m_inMacro; }
    void EndMacro() { m_inMacro = false; }

    NetrcLogin result;

private:
    enum class Expect { Keyword, Machine, Login, Password, Skip, MacroName };

    bool _Keyword(const std::string& word)
    {
        if (word == "machine")
            m_expect = Expect::Machine;
        else if (word == "default")
            _Open(true);
        else if (word == "login")
            m_expect = Expect::Login;
        else if (word == "password")
            m_expect = Expect::Password;
        else if (word == "account")
            m_expect = Expect::Skip;
        else if (word == "macdef")
            m_expect = Expect::MacroName;
        return !result.found;
    }

    void _Open(bool matches)
    {
        _Close();
        m_matches = matches;
        m_entry = {};
        m_hasLogin = m_hasPassword = false;
    }

    void _Close()
    {
        if (result.found || !m_matches)
            return;
        const bool fits = m_user.empty() ? (m_hasLogin || m_hasPassword) : (m_hasLogin && m_entry.login == m_user);
        if (fits) {
            result = m_entry;
            result.found = true;
        }
    }

    std::string_view m_host;
    std::string_view m_user;
    Expect m_expect = Expect::Keyword;
    bool m_matches = false;
    bool m_inMacro = false;
    NetrcLogin m_entry;
    bool m_hasLogin = false;
    bool m_hasPassword = false;
};

} // namespace

NetrcLogin FindNetrcLogin(std::string_view text, std::string_view host, std::string_view user)
{
    NetrcSearch search(host, user);
    for (size_t start = 0; start < text.size() && !search.result.found;) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (search.InMacro()) {
            if (IsBlankLine(line))
                search.EndMacro();
            continue;
        }
        // The rest of a "macdef NAME" line belongs to the macro.
        for (const std::string& word : Words(line))
            if (!search.Take(word) || search.InMacro())
                break;
    }
    search.Finish();
    return search.result;
}
