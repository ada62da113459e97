// The Files page reading the character sets of the checked rows' files and
// converting them: iconv's bytes for what converts, the file as it was for
// what would lose text, and the file's mode, owner, links and name kept.
#include "FilesTestSupport.h"

#include <FileCharset.h>
#include <PageFiles.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kel::test;

// Files in several encodings, made by iconv from one UTF-8 text with CR LF
// and LF line ends.
class FilesCharset : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The originals are kept under names the search passes over.
        WriteBytes(m_dir / "source", m_text);
        WriteBytes(m_dir / "cp949src", Narrow(L"똠방각하\r\n")); // in CP949, not in EUC-KR
        ASSERT_TRUE(RunShell("iconv -f UTF-8 -t EUC-KR '" + (m_dir / "source") + "' > '" + (m_dir / "euckr.orig") + "'"));
        ASSERT_TRUE(RunShell("iconv -f UTF-8 -t CP949 '" + (m_dir / "cp949src") + "' > '" + (m_dir / "cp949.orig") + "'"));
        ASSERT_TRUE(RunShell("(printf '\\377\\376'; iconv -f UTF-8 -t UTF-16LE '" + (m_dir / "source") + "') > '"
            + (m_dir / "utf16.orig") + "'"));
        for (const char* name : { "euckr", "cp949", "utf16" })
            std::filesystem::copy_file(m_dir / (std::string(name) + ".orig"), m_dir / (std::string(name) + ".txt"));
        std::filesystem::copy_file(m_dir / "source", m_dir / "utf8.txt");
        WriteBytes(m_dir / "binary.txt", std::string("\x80\x81\xFF\xFE\x00\x01", 6) + std::string(100, '\xC3'));
    }

    // What iconv makes of `file` in `to`.
    std::string Iconv(const std::string& from, const std::string& to, const std::string& file)
    {
        const std::string out = m_dir / "iconv.out";
        EXPECT_TRUE(RunShell("iconv -f " + from + " -t " + to + " '" + file + "' > '" + out + "'"));
        return ReadBytes(out);
    }

    TempDir m_dir;
    const std::string m_text = Narrow(L"한글 텍스트\r\n둘째 줄\n셋째 줄 abc\r\n");
};

TEST_F(FilesCharset, CheckFillsTheColumnOfTheCheckedRowsOnly)
{
    WriteBytes(m_dir / "ascii.txt", "plain\r\n");
    CPageFiles page;
    SearchTexts(page, m_dir);
    page.List().SetCheck(RowOf(page, L"ascii"), false);
    page.CheckCharsets();
    const auto charset = [&](const wchar_t* name) { return page.List().GetItemText(RowOf(page, name), CFileList::kCharset); };
    EXPECT_EQ(charset(L"euckr"), L"EUCKR");
    EXPECT_EQ(charset(L"cp949"), L"CP949");
    EXPECT_EQ(charset(L"utf8"), L"UTF8_NOBOM");
    EXPECT_EQ(charset(L"utf16"), L"UTF16_LE");
    EXPECT_EQ(charset(L"binary"), L"UNDETECTED");
    EXPECT_EQ(charset(L"ascii"), L"");
}

TEST_F(FilesCharset, ABigFileIsRecognisedFromItsFirstMegabyte)
{
    // Korean lines past the first megabyte: the sample ends at a line end.
    std::string big;
    while (big.size() < (3u << 20))
        big += Narrow(L"가나다라마바사 0123456789\n");
    WriteBytes(m_dir / "big.txt", big);
    EXPECT_EQ(kel::bench::DetectCharset(Wide(m_dir / "big.txt")), L"UTF8_NOBOM");
    EXPECT_EQ(kel::bench::DetectCharset(Wide(m_dir / "missing.txt")), L"");
}

TEST_F(FilesCharset, ConversionsMatchIconvAndKeepTheLineEnds)
{
    CPageFiles page;
    SearchTexts(page, m_dir);
    MessageRecorder messages;
    page.ChangeCharsets(kel::bench::kToUtf8);
    ASSERT_EQ(messages.Messages().size(), 1u);
    // euckr, cp949 and utf16 converted; utf8 already there; binary undetected.
    EXPECT_NE(messages.Messages()[0].find(L"변경함 3, 건너뜀 2, 실패 0"), std::wstring::npos) << messages.Messages()[0];
    EXPECT_EQ(ReadBytes(m_dir / "euckr.txt"), Iconv("EUC-KR", "UTF-8", m_dir / "euckr.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "cp949.txt"), Iconv("CP949", "UTF-8", m_dir / "cp949.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "utf16.txt"), Iconv("UTF-16", "UTF-8", m_dir / "utf16.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "utf16.txt"), m_text); // CR LF and LF as they were
    EXPECT_EQ(ReadBytes(m_dir / "utf8.txt"), m_text);
    EXPECT_EQ(ReadBytes(m_dir / "binary.txt").size(), 106u);
    EXPECT_EQ(page.List().GetItemText(RowOf(page, L"euckr"), CFileList::kCharset), L"UTF8_NOBOM");

    // On to CP949, UTF-16 and UTF-8 with their marks: iconv's bytes.
    page.ChangeCharsets(kel::bench::kToCp949);
    EXPECT_EQ(ReadBytes(m_dir / "euckr.txt"), Iconv("UTF-8", "CP949", m_dir / "source"));
    EXPECT_EQ(ReadBytes(m_dir / "cp949.txt"), ReadBytes(m_dir / "cp949.orig"));
    page.ChangeCharsets(kel::bench::kToUtf16LEMark);
    EXPECT_EQ(ReadBytes(m_dir / "utf16.txt"), ReadBytes(m_dir / "utf16.orig"));
    EXPECT_EQ(ReadBytes(m_dir / "euckr.txt"), ReadBytes(m_dir / "utf16.orig"));
    page.ChangeCharsets(kel::bench::kToUtf8Mark);
    EXPECT_EQ(ReadBytes(m_dir / "utf8.txt"), "\xEF\xBB\xBF" + m_text);
    // Each file was replaced whole: nothing half-written is left behind.
    for (const std::string& name : Names(m_dir))
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

TEST_F(FilesCharset, TextWithoutACodeInTheTargetIsNotConverted)
{
    WriteBytes(m_dir / "thai.txt", Narrow(L"thai \x0E01\r\n"));
    CPageFiles page;
    SearchTexts(page, m_dir);
    for (int row = 0; row < page.List().GetItemCount(); ++row)
        page.List().SetCheck(row, page.List().GetItemText(row, CFileList::kName) == L"thai");
    MessageRecorder messages;
    page.ChangeCharsets(kel::bench::kToCp949);
    EXPECT_NE(messages.Messages()[0].find(L"실패 1"), std::wstring::npos) << messages.Messages()[0];
    EXPECT_EQ(ReadBytes(m_dir / "thai.txt"), Narrow(L"thai \x0E01\r\n"));
}

namespace {

// One file converted at a time, by the page's own step.
class FilesConvert : public ::testing::Test {
protected:
    kel::bench::SBatchReport Convert(const std::string& name, int target)
    {
        kel::bench::SBatchReport report;
        kel::bench::ChangeCharset(Wide(m_dir / name), target, report);
        return report;
    }

    // Runs `work` in a child process and returns its exit code, or 1000 +
    // the signal that ended it. A child that hangs is ended after a minute,
    // so a test of something that must not wait fails instead of hanging.
    static int InChild(const std::function<int()>& work)
    {
        const pid_t child = fork();
        if (child == 0) {
            alarm(60);
            _exit(work());
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }

    const std::string m_eucKr = "\xC7\xD1\xB1\xDB \xC5\xD8\xBD\xBA\xC6\xAE\r\n"; // "한글 텍스트" in EUC-KR
    TempDir m_dir;
};

bool Mentions(const kel::bench::SBatchReport& report, const std::wstring& text)
{
    return report.strDetails.str().find(text) != std::wstring::npos;
}

} // namespace

// The four bytes of "은을" in EUC-KR pass the UTF-8 recogniser; they are not
// UTF-8, and no conversion may turn them into replacement characters.
TEST_F(FilesConvert, TextThatDoesNotDecodeStrictlyIsRefusedWithTheReason)
{
    const std::string korean = "\xC0\xBA\xC0\xBB";
    WriteBytes(m_dir / "k.txt", korean);
    EXPECT_EQ(kel::bench::DetectCharset(Wide(m_dir / "k.txt")), L"UTF8_NOBOM"); // the recogniser as it is
    for (int target : { kel::bench::kToUtf16LEMark, kel::bench::kToUtf8, kel::bench::kToUtf8Mark, kel::bench::kToCp949 }) {
        const kel::bench::SBatchReport report = Convert("k.txt", target);
        EXPECT_EQ(report.nDone, 0) << target;
        EXPECT_EQ(report.nFailed, 1) << target;
        EXPECT_TRUE(Mentions(report, L"UTF-8이 아닙니다: CP949로 보입니다")) << report.strDetails.str();
        EXPECT_EQ(ReadBytes(m_dir / "k.txt"), korean);
    }

    // A surrogate, an over-long form and a lead byte beyond U+10FFFF: not
    // UTF-8 and not CP949 either.
    const std::string broken[] = { "ab\xED\xA0\x80", "\xC0\xAF", "x\xF5\x80\x80\x80" };
    for (const std::string& bytes : broken) {
        WriteBytes(m_dir / "u.txt", bytes);
        const kel::bench::SBatchReport report = Convert("u.txt", kel::bench::kToUtf16LEMark);
        EXPECT_EQ(report.nFailed, 1);
        EXPECT_TRUE(Mentions(report, L"UTF-8")) << report.strDetails.str();
        EXPECT_EQ(ReadBytes(m_dir / "u.txt"), bytes);
    }

    // UTF-16 with a lone surrogate has no UTF-8 or CP949 form.
    const std::string lone("\xFF\xFE\x41\x00\x00\xD8\x42\x00", 8);
    WriteBytes(m_dir / "w.txt", lone);
    const kel::bench::SBatchReport report = Convert("w.txt", kel::bench::kToUtf8);
    EXPECT_EQ(report.nFailed, 1);
    EXPECT_EQ(ReadBytes(m_dir / "w.txt"), lone);
}

TEST_F(FilesConvert, ModesAreKept)
{
    for (const unsigned mode : { 0600u, 0755u, 0640u }) {
        WriteBytes(m_dir / "m.txt", m_eucKr);
        ASSERT_EQ(chmod((m_dir / "m.txt").c_str(), mode), 0);
        const kel::bench::SBatchReport report = Convert("m.txt", kel::bench::kToUtf8);
        EXPECT_EQ(report.nDone, 1) << report.strDetails.str();
        EXPECT_EQ(ReadBytes(m_dir / "m.txt"), Narrow(L"한글 텍스트\r\n"));
        struct stat info {};
        ASSERT_EQ(stat((m_dir / "m.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
}

TEST_F(FilesConvert, OwnerAndGroupAreKeptWhereTheProcessMayKeepThem)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a file to another owner needs root";
    WriteBytes(m_dir / "o.txt", m_eucKr);
    ASSERT_EQ(chown((m_dir / "o.txt").c_str(), 4321, 8765), 0);
    EXPECT_EQ(Convert("o.txt", kel::bench::kToUtf16LEMark).nDone, 1);
    struct stat info {};
    ASSERT_EQ(stat((m_dir / "o.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u);
    EXPECT_EQ(info.st_gid, 8765u);
}

// A link may lead anywhere, out of the searched tree too: it is skipped with
// its reason, and neither it nor its target changes. A file with more than
// one name is skipped as well: a new file would split its names.
TEST_F(FilesConvert, LinksAndFilesWithSeveralNamesAreSkippedWithTheReason)
{
    TempDir outside;
    WriteBytes(outside / "target", m_eucKr);
    std::filesystem::create_symlink(outside / "target", m_dir / "link.txt");
    kel::bench::SBatchReport report = Convert("link.txt", kel::bench::kToUtf8);
    EXPECT_EQ(report.nSkipped, 1);
    EXPECT_TRUE(Mentions(report, L"링크")) << report.strDetails.str();
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir / "link.txt"));
    EXPECT_EQ(ReadBytes(outside / "target"), m_eucKr);

    WriteBytes(m_dir / "one.txt", m_eucKr);
    std::filesystem::create_hard_link(m_dir / "one.txt", m_dir / "two.txt");
    report = Convert("one.txt", kel::bench::kToUtf8);
    EXPECT_EQ(report.nSkipped, 1);
    EXPECT_TRUE(Mentions(report, L"하드 링크")) << report.strDetails.str();
    EXPECT_EQ(std::filesystem::hard_link_count(m_dir / "one.txt"), 2u);
    EXPECT_EQ(ReadBytes(m_dir / "two.txt"), m_eucKr);
    EXPECT_EQ(Names(m_dir), (std::set<std::string> { "link.txt", "one.txt", "two.txt" }));
}

// The file system refuses the new content part of the way (as on a full
// disk): the file stays as it was and no temporary file is left.
TEST_F(FilesConvert, AWriteThatFailsLeavesTheFileAndNoTemporary)
{
    std::string text;
    while (text.size() < 4000)
        text += m_eucKr;
    WriteBytes(m_dir / "big.txt", text);
    const int code = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 1000, 1000 };
        setrlimit(RLIMIT_FSIZE, &limit);
        const kel::bench::SBatchReport report = Convert("big.txt", kel::bench::kToUtf16LEMark);
        return report.nFailed * 10 + report.nDone;
    });
    EXPECT_EQ(code, 10);
    EXPECT_EQ(ReadBytes(m_dir / "big.txt"), text);
    EXPECT_EQ(Names(m_dir), (std::set<std::string> { "big.txt" }));
}

// A FIFO named like a text file: reading its character set or converting it
// must not wait for a writer that never comes.
TEST_F(FilesConvert, AFifoNamedLikeATextFileIsPassedOverWithoutWaiting)
{
    ASSERT_EQ(mkfifo((m_dir / "pipe.txt").c_str(), 0600), 0);
    WriteBytes(m_dir / "plain.txt", m_eucKr);
    const int code = InChild([&] {
        CPageFiles page;
        SearchTexts(page, m_dir);
        page.CheckCharsets();
        MessageRecorder messages;
        page.ChangeCharsets(kel::bench::kToUtf8);
        const bool reported = !messages.Messages().empty()
            && messages.Messages()[0].find(L"변경함 1, 건너뜀 1, 실패 0") != std::wstring::npos
            && messages.Messages()[0].find(L"일반 파일이 아닙니다") != std::wstring::npos;
        const bool shown = page.List().GetItemText(RowOf(page, L"pipe"), CFileList::kCharset).IsEmpty();
        return page.List().GetItemCount() == 2 && reported && shown ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(m_dir / "plain.txt"), Narrow(L"한글 텍스트\r\n"));
}
