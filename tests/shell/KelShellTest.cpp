// KelShell run as a process: the exact bytes it prints, its exit statuses,
// and kelftp against a real FTP server on the default port (21) of a private
// network namespace, with the day's log file checked line by line.
#include "ServerProcess.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <random>
#include <regex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using kel::test::ReadBytes;
using kel::test::TempDir;
using kel::test::WriteBytes;
using testing::HasSubstr;
using testing::Not;

namespace {

struct RunResult {
    int status = -1;
    std::string output;
    std::string errors; // standard error
};

std::string ReadAll(int descriptor)
{
    std::string bytes;
    char buffer[4096];
    for (ssize_t got; (got = read(descriptor, buffer, sizeof(buffer))) > 0;)
        bytes.append(buffer, static_cast<size_t>(got));
    close(descriptor);
    return bytes;
}

// Runs `arguments` in `folder` with LANG, LC_ALL, LC_CTYPE and
// KELFTP_PASSWORD removed and `extraEnvironment` ("NAME=value", replacing an
// inherited NAME), capturing standard output and standard error (which must
// stay small: it is read after standard output has ended).
RunResult Run(const std::vector<std::string>& arguments, const std::string& folder,
              const std::vector<std::string>& extraEnvironment = {})
{
    std::vector<std::string> removed = {"LANG=", "LC_ALL=", "LC_CTYPE=", "KELFTP_PASSWORD="};
    for (const std::string& extra : extraEnvironment)
        removed.push_back(extra.substr(0, extra.find('=') + 1));
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto named = [&](const std::string& name) { return text.rfind(name, 0) == 0; };
        if (std::none_of(removed.begin(), removed.end(), named))
            environment.push_back(text);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp, argv;
    for (std::string& text : environment)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    int output[2], errors[2];
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(errors, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    close(errors[1]);
    RunResult result;
    if (spawned != 0) {
        close(output[0]);
        close(errors[0]);
        throw std::runtime_error("cannot start " + arguments[0]);
    }
    result.output = ReadAll(output[0]);
    result.errors = ReadAll(errors[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

RunResult Shell(std::vector<std::string> options, const std::string& folder = "/",
                const std::vector<std::string>& environment = {})
{
    options.insert(options.begin(), KEL_SHELL_BINARY);
    return Run(options, folder, environment);
}

const std::string kTopLevelHelp = "\n"
                                  "KelShell.exe 가능한 하위 명령 목록\n"
                                  "  help\t\t[도움말]\n"
                                  "  kelftp\t[ftp 기능을 사용하려고 할때]\n"
                                  "  kelgrep\t[grep 기능을 사용하려고 할때]\n";

const std::string kKelftpHelp = "\n"
                                "kelftp 가능한 하위 명령 목록\t\n"
                                "  -s\t\t[서버명]\t\t\t\n"
                                "  -id\t\t[아이디]\t\t\t\n"
                                "  -pw\t\t[암호]\t\t\t\t\n"
                                "  -up|dn\t\t\t\t\t\t\n"
                                "  -bin|text\t\t\t\t\t\n"
                                "  -lf\t\t[로컬 파일]\t\t\t\n"
                                "  -rf\t\t[리모트 파일]\t\t\n"
                                "  -pw 가 없으면 암호는 환경 변수 KELFTP_PASSWORD 에서,\n"
                                "  그것도 없으면 ~/.netrc 에서 서버 이름으로 찾습니다 (본인만 읽고 쓸 수 있는 파일).\n";

const std::string kKelgrepHelp = "\n"
                                 "kelgrep 가능한 하위 명령 목록\t\n"
                                 "  -f\t\t[파일]\t\t\t\t\n";

std::string Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof(text), "%Y-%m-%d", &local);
    return text;
}

// The entries of the day's log under `folder`, without the byte-order mark
// and with their "\r\n" removed; fails the test when the file is malformed.
std::vector<std::string> LogLines(const std::string& folder)
{
    const std::string text = ReadBytes(folder + "/Log/" + Today() + ".log");
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
    std::string body = text.substr(3);
    for (size_t at = 0; at < body.size();) {
        const size_t end = body.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "log ends without CR LF";
            break;
        }
        lines.push_back(body.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// "[YYYY-MM-DD HH:MM:SS] " + level word + message, in one piece.
testing::Matcher<std::string> Entry(const std::string& level, const std::string& message)
{
    return testing::MatchesRegex(R"(\[[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\] )" + level + message);
}

std::string Escaped(const std::string& text)
{
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

std::string RandomBytes(size_t length)
{
    std::mt19937 generator(11);
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

// kelftp (or the probe) while the test FTP server serves `root` on port 21.
RunResult KelftpWithServer(const std::string& root, const std::string& fault, std::vector<std::string> options,
                           const std::string& folder, const char* binary = KEL_SHELL_BINARY,
                           const std::vector<std::string>& environment = {})
{
    std::vector<std::string> arguments = {"/bin/sh", kel::test::SupportFile("run_with_ftp21.sh"), root, fault,
                                          binary, "kelftp"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return Run(arguments, folder, environment);
}

std::vector<std::string> Matching(const std::vector<std::string>& lines, const std::string& word)
{
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.find(word) != std::string::npos)
            found.push_back(line);
    return found;
}

} // namespace

TEST(KelShellHelp, AnythingButASubCommandPrintsTheTopLevelHelpWithStatusOne)
{
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>> {
             {}, {"help"}, {"KELFTP"}, {"Kelgrep"}, {"kelftpx"}, {"unknown", "-s", "x"}}) {
        const RunResult result = Shell(options);
        EXPECT_EQ(result.output, kTopLevelHelp) << testing::PrintToString(options);
        EXPECT_EQ(result.status, 1);
    }
}

TEST(KelShellHelp, KoreanReachesAUtf8TerminalWhateverLocaleIsSet)
{
    EXPECT_EQ(Shell({}, "/", {"LC_ALL=C"}).output, kTopLevelHelp);
    EXPECT_EQ(Shell({}, "/", {"LANG=C.UTF-8"}).output, kTopLevelHelp);
}

TEST(KelShellHelp, BadOrIncompleteKelftpCommandLinesPrintItsHelpAndWriteNoLog)
{
    TempDir folder;
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>> {
             {"kelftp"},
             {"kelftp", "-S", "host"},
             {"kelftp", "-s", "host", "-x"},
             {"kelftp", "-s", "host", "-up"},                  // no transfer type
             {"kelftp", "-s", "host", "-text"},                // no direction
             {"kelftp", "-s", "-up", "-bin", "-lf", "a"}}) {   // "-up" is the server name
        const RunResult result = Shell(options, folder.path().string());
        EXPECT_EQ(result.output, kKelftpHelp) << testing::PrintToString(options);
        EXPECT_EQ(result.status, 1);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Log"));
}

TEST(KelShellHelp, KelgrepAcceptsItsOptionsSilently)
{
    EXPECT_EQ(Shell({"kelgrep"}).output, kKelgrepHelp);
    EXPECT_EQ(Shell({"kelgrep"}).status, 1);
    EXPECT_EQ(Shell({"kelgrep", "-f", "x", "-g"}).output, kKelgrepHelp);
    EXPECT_EQ(Shell({"kelgrep", "-E", "x"}).output, kKelgrepHelp);
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>> {{"kelgrep", "-e", "x", "-f", "y"}, {"kelgrep", "-e"}}) {
        const RunResult result = Shell(options);
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(result.status, 1);
    }
}

TEST(KelShellFtp, UploadAndDownloadOnTheDefaultPortLogOneCompletionLineEach)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    const std::string bytes = RandomBytes(10000);
    WriteBytes(work / "a.bin", bytes);

    RunResult result = KelftpWithServer(root, "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-up", "-bin", "-lf", work / "a.bin", "-rf", "/up/a.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "");
    EXPECT_TRUE(ReadBytes(root + "/up/a.bin") == bytes);

    result = KelftpWithServer(root, "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-dn", "-text", "-rf", "/up/a.bin", "-lf", work / "b.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(ReadBytes(work / "b.bin") == bytes);

    EXPECT_THAT(LogLines(work.path().string()),
                testing::ElementsAre(
                    Entry("INFO  ", Escaped("Ftp Upload (10000) " + (work / "a.bin") + " /up/a.bin")),
                    Entry("INFO  ", Escaped("Ftp Download (10000) /up/a.bin " + (work / "b.bin")))));
}

TEST(KelShellFtp, ALogThatCannotBeWrittenDoesNotFailTheTransfer)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    const std::string bytes = RandomBytes(100000);
    WriteBytes(root + "/big.bin", bytes);
    // The day's log file is a link (to a full disk): it is never followed,
    // so every entry is lost.
    std::filesystem::create_directories(work / "Log");
    std::filesystem::create_symlink("/dev/full", work / ("Log/" + Today() + ".log"));
    const RunResult result = KelftpWithServer(root, "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-dn", "-bin", "-lf", work / "big.bin", "-rf", "big.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(ReadBytes(work / "big.bin") == bytes);
}

TEST(KelShellFtp, AWrongPasswordMeansTenAttemptsNineErrorLinesAndStatusZero)
{
    TempDir work;
    std::filesystem::create_directories(work / "server");
    WriteBytes(work / "a.bin", "x");
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = KelftpWithServer(work / "server", "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "Wr0ngPass", "-up", "-bin", "-lf", work / "a.bin", "-rf", "a.bin"},
        work.path().string());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_GE(elapsed, std::chrono::milliseconds(9000));
    EXPECT_LT(elapsed, std::chrono::seconds(15));

    const std::vector<std::string> lines = LogLines(work.path().string());
    ASSERT_EQ(lines.size(), 9u);
    for (const std::string& line : lines)
        EXPECT_THAT(line, Entry("ERROR ", Escaped("KelException : The request to connect and log on to an FTP server "
                                                  "could not be completed because the supplied password is incorrect. "
                                                  ": 530 Authentication failed.")));
    EXPECT_THAT(ReadBytes(work / ("Log/" + Today() + ".log")), Not(HasSubstr("Wr0ngPass")));
    // The last failure on standard error, for a script that does not read logs.
    EXPECT_EQ(result.errors, "kelftp: KelException : The request to connect and log on to an FTP server could not "
                             "be completed because the supplied password is incorrect. : 530 Authentication failed.\n");
}

// The ERROR lines are the messages whole, whatever the password: never a
// mask over every occurrence of its letters.
TEST(KelShellFtp, ShortCommonAndKoreanPasswordsLeaveTheErrorLinesWhole)
{
    const std::string refused = "KelException : The request to connect and log on to an FTP server could not be "
                                "completed because the supplied password is incorrect. : ";
    struct Case {
        std::string password, reply;
    };
    // The server's answer quotes nothing, but it does contain the letter "e":
    // an answer that contains the password is not shown.
    const std::vector<Case> cases = {
        {"b", "530 Authentication failed."},
        {"e", "(the server's answer is not shown: it quotes the password)"},
        {"admin", "530 Authentication failed."},
        {"failed", "(the server's answer is not shown: it quotes the password)"},
        {"비밀", "530 Authentication failed."},
    };
    // Ten attempts a second apart each: the cases run side by side.
    std::vector<TempDir> works(cases.size());
    std::vector<std::future<RunResult>> runs;
    for (size_t index = 0; index < cases.size(); ++index) {
        const TempDir& work = works[index];
        std::filesystem::create_directories(work / "server");
        WriteBytes(work / "a.bin", "x");
        runs.push_back(std::async(std::launch::async, [&work, password = cases[index].password] {
            return KelftpWithServer(work / "server", "none",
                                    {"-s", "127.0.0.1", "-id", "kel", "-pw", password, "-up", "-bin", "-lf",
                                     work / "a.bin", "-rf", "a.bin"},
                                    work.path().string());
        }));
    }
    for (size_t index = 0; index < cases.size(); ++index) {
        SCOPED_TRACE(cases[index].password);
        const RunResult result = runs[index].get();
        EXPECT_EQ(result.status, 0);
        const std::vector<std::string> lines = LogLines(works[index].path().string());
        EXPECT_EQ(lines.size(), 9u);
        for (const std::string& line : lines)
            EXPECT_THAT(line, Entry("ERROR ", Escaped(refused + cases[index].reply)));
        EXPECT_EQ(result.errors, "kelftp: " + refused + cases[index].reply + "\n");
        if (cases[index].password.size() > 1) {
            EXPECT_THAT(ReadBytes(works[index] / ("Log/" + Today() + ".log")), Not(HasSubstr(cases[index].password)));
        }
    }
}

// A source that cannot be opened will not open on a retry: one ERROR line
// naming it, no login, status 0 at once.
TEST(KelShellFtp, ASourceThatCannotBeOpenedFailsOnceWithoutRetrying)
{
    TempDir work;
    std::filesystem::create_directories(work / "server");
    std::filesystem::create_directories(work / "folder");
    struct Case {
        std::string source, reason;
    };
    const std::vector<Case> cases = {{work / "missing.bin", "No such file or directory"},
                                     {work / "folder", "Is a directory"}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.source);
        std::filesystem::remove_all(work / "Log");
        const auto start = std::chrono::steady_clock::now();
        const RunResult result = KelftpWithServer(work / "server", "none",
            {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-up", "-bin", "-lf", test.source, "-rf", "a.bin"},
            work.path().string());
        // Ten attempts would take nine seconds of pauses alone.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, "");
        const std::string message = "KelException : " + test.source + " : " + test.reason;
        EXPECT_THAT(LogLines(work.path().string()), testing::ElementsAre(Entry("ERROR ", Escaped(message))));
        EXPECT_EQ(result.errors, "kelftp: " + message + "\n");
        EXPECT_FALSE(std::filesystem::exists(work / "server/a.bin"));
    }
}

// Each chunk reaches the disk before its hook reports it: a destination
// that refuses every byte never gets a completion line.
TEST(KelShellFtp, ADownloadTheDiskRefusesIsNeverReportedComplete)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    WriteBytes(root + "/z1", RandomBytes(10000));
    const RunResult result = KelftpWithServer(root, "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-dn", "-bin", "-lf", "/dev/full", "-rf", "z1"},
        work.path().string());
    EXPECT_EQ(result.status, 0);
    const std::vector<std::string> lines = LogLines(work.path().string());
    EXPECT_TRUE(Matching(lines, "INFO  ").empty()) << lines.size() << " lines, the first: " << lines.at(0);
    EXPECT_EQ(Matching(lines, "ERROR ").size(), 9u);
    for (const std::string& line : lines)
        EXPECT_THAT(line, Entry("ERROR ", Escaped("KelException : /dev/full : No space left on device")));
}

TEST(KelShellFtp, ADataConnectionDroppedInTheFirstAttemptIsRetriedToAnExactFile)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    const std::string bytes = RandomBytes(1 << 20);
    WriteBytes(root + "/big.bin", bytes);
    const RunResult result = KelftpWithServer(root, "drop-first-retr",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-dn", "-bin", "-lf", work / "big.bin", "-rf", "big.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(ReadBytes(work / "big.bin") == bytes);
    const std::vector<std::string> lines = LogLines(work.path().string());
    EXPECT_EQ(Matching(lines, "ERROR ").size(), 1u);
    EXPECT_EQ(Matching(lines, "426 ").size(), 1u);
    EXPECT_THAT(Matching(lines, "INFO  "),
                testing::ElementsAre(Entry("INFO  ", Escaped("Ftp Download (1048576) big.bin " + (work / "big.bin")))));
}

TEST(KelShellFtp, ASilentServerIsTimedOutAndTheNextAttemptSucceeds)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    WriteBytes(work / "a.bin", "hello");
    const RunResult result = KelftpWithServer(root, "silent-first",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-up", "-bin", "-lf", work / "a.bin", "-rf", "a.bin"},
        work.path().string(), KEL_FTP_PROBE_BINARY);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadBytes(root + "/a.bin"), "hello");
    EXPECT_THAT(LogLines(work.path().string()),
                testing::ElementsAre(Entry("ERROR ", Escaped("KelException : The operation timed out.")),
                                     Entry("INFO  ", Escaped("Ftp Upload (5) " + (work / "a.bin") + " a.bin"))));
}

// A server that answers with terminal escape sequences: neither standard
// error nor the log receives a control character from it.
TEST(KelShellFtp, AServersEscapeSequencesReachNeitherTheTerminalNorTheLog)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    WriteBytes(root + "/a.bin", "x");
    const RunResult result = KelftpWithServer(root, "escape-reply",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-dn", "-bin", "-lf", work / "a.bin", "-rf", "a.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 0);
    const std::string refused = "KelException : An extended error was returned from the server. This is typically a "
                                "string or buffer containing a verbose error message. : 550 ?]0;owned??[2J gone?31m?.";
    EXPECT_EQ(result.errors, "kelftp: " + refused + "\n");
    const std::vector<std::string> lines = LogLines(work.path().string());
    EXPECT_EQ(lines.size(), 9u);
    for (const std::string& line : lines)
        EXPECT_THAT(line, Entry("ERROR ", Escaped(refused)));
    const std::string log = ReadBytes(work / ("Log/" + Today() + ".log"));
    EXPECT_EQ(log.find_first_of("\x1b\x07\x7f"), std::string::npos);
    EXPECT_THAT(log, Not(HasSubstr("\xc2\x9b")));
}

// The same holds for text that does not come from the server: a source file
// whose name carries an escape sequence is named with '?' in its place.
TEST(KelShellFtp, AFileNameWithEscapeSequencesIsPrintedWithQuestionMarks)
{
    TempDir work;
    std::filesystem::create_directories(work / "server");
    const std::string source = work / "missing\x1b[2J\x07.bin";
    const RunResult result = KelftpWithServer(work / "server", "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-up", "-bin", "-lf", source, "-rf", "a.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 0);
    const std::string message = "KelException : " + (work / "missing?[2J?.bin") + " : No such file or directory";
    EXPECT_EQ(result.errors, "kelftp: " + message + "\n");
    EXPECT_THAT(LogLines(work.path().string()), testing::ElementsAre(Entry("ERROR ", Escaped(message))));
}

namespace {

// The arguments another process shows in /proc/PID/cmdline, as `ps` reads them.
std::vector<std::string> CommandLineOf(pid_t pid)
{
    const std::string bytes = ReadBytes("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> arguments;
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = std::min(bytes.find('\0', at), bytes.size());
        arguments.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    return arguments;
}

// The KelShell process whose arguments include `word`, or -1.
pid_t FindKelShell(const std::string& word)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::vector<std::string> arguments;
        try {
            arguments = CommandLineOf(std::stoi(name));
        } catch (const std::exception&) {
            continue; // the process has gone
        }
        if (!arguments.empty() && arguments[0] == KEL_SHELL_BINARY
            && std::find(arguments.begin(), arguments.end(), word) != arguments.end())
            return std::stoi(name);
    }
    return -1;
}

// The process has a socket open: it is past its command line and connecting.
bool HasSocket(pid_t pid)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (target.rfind("socket:", 0) == 0)
            return true;
    }
    return false;
}

void WriteNetrc(const TempDir& work, const std::string& text, std::filesystem::perms mode)
{
    std::filesystem::create_directories(work / "home");
    WriteBytes(work / "home/.netrc", text);
    std::filesystem::permissions(work / "home/.netrc", mode);
}

} // namespace

// Every local user can read a process's arguments. kelftp is looked at while
// its first attempt waits on a server that says nothing: the value of -pw is
// blank there by then.
TEST(KelShellFtpPassword, TheValueOfPwIsBlankedInTheProcessArguments)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    const std::string source = work / "a.bin";
    WriteBytes(source, "hello");
    const std::string password = "Visible-Pa55word";
    auto run = std::async(std::launch::async, [&] {
        return KelftpWithServer(root, "silent-first",
            {"-s", "127.0.0.1", "-id", "kel", "-pw", password, "-up", "-bin", "-lf", source, "-rf", "a.bin"},
            work.path().string());
    });
    pid_t pid = -1;
    // A bound on the search only: the silent server holds kelftp for 30 s.
    for (int tries = 0; tries < 400 && pid < 0; ++tries) {
        pid = FindKelShell(source);
        if (pid > 0 && !HasSocket(pid))
            pid = -1;
        if (pid < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_GT(pid, 0) << "kelftp was not seen connecting";
    const std::vector<std::string> arguments = CommandLineOf(pid);
    kill(pid, SIGKILL);
    run.get();

    const auto option = std::find(arguments.begin(), arguments.end(), "-pw");
    ASSERT_NE(option, arguments.end()) << testing::PrintToString(arguments);
    ASSERT_NE(option + 1, arguments.end());
    EXPECT_EQ(option[1], std::string(password.size(), ' '));
    EXPECT_EQ(option[2], "-up"); // the arguments after it are untouched
    for (const std::string& argument : arguments)
        EXPECT_THAT(argument, Not(HasSubstr("Pa55")));
}

// Without -pw the password comes from KELFTP_PASSWORD, else from ~/.netrc
// (by the server's name; the login too when -id is not given). -pw comes
// first, then the environment.
TEST(KelShellFtpPassword, WithoutPwThePasswordComesFromTheEnvironmentThenFromNetrc)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    WriteBytes(work / "a.bin", "hello");
    WriteNetrc(work,
               "machine other.example login kel password wrong1\n"
               "# machine 127.0.0.1 login kel password wrong2\n"
               "machine 127.0.0.1\n  login kel\n  password secret\n"
               "default login kel password wrong3\n",
               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string home = "HOME=" + (work / "home");
    struct Case {
        std::string name;
        std::vector<std::string> options, environment;
    };
    const std::vector<Case> cases = {
        {"from-env.bin", {"-id", "kel"}, {"HOME=/nonexistent", "KELFTP_PASSWORD=secret"}},
        {"pw-first.bin", {"-id", "kel", "-pw", "secret"}, {home, "KELFTP_PASSWORD=wrong"}},
        {"env-first.bin", {"-id", "kel"}, {home, "KELFTP_PASSWORD=secret"}},
        {"netrc-login.bin", {}, {home}},
        {"netrc-user.bin", {"-id", "kel"}, {home}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::string> options = {"-s", "127.0.0.1", "-up", "-bin", "-lf", work / "a.bin", "-rf", test.name};
        options.insert(options.end(), test.options.begin(), test.options.end());
        const RunResult result = KelftpWithServer(root, "none", options, work.path().string(), KEL_SHELL_BINARY,
                                                  test.environment);
        EXPECT_EQ(result.status, 1) << result.errors;
        EXPECT_EQ(ReadBytes(root + "/" + test.name), "hello");
    }
}

// A ~/.netrc that others may read (or that is not a file) is not used: one
// line on standard error and in the log, no login, status 0 at once.
TEST(KelShellFtpPassword, ANetrcOpenToOthersIsRefusedWithoutALogin)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    WriteBytes(work / "a.bin", "hello");
    const std::string netrc = work / "home/.netrc";
    using std::filesystem::perms;
    const std::string refused = "other users can read or change this file, so it is not used (chmod 600 it)";
    const std::vector<perms> modes = {perms::owner_read | perms::owner_write | perms::group_read,
                                      perms::owner_read | perms::others_read,
                                      perms::owner_read | perms::owner_write | perms::others_write};
    for (const perms mode : modes) {
        SCOPED_TRACE(static_cast<int>(mode));
        std::filesystem::remove_all(work / "Log");
        WriteNetrc(work, "machine 127.0.0.1 login kel password secret\n", mode);
        const RunResult result = KelftpWithServer(root, "none",
            {"-s", "127.0.0.1", "-id", "kel", "-up", "-bin", "-lf", work / "a.bin", "-rf", "a.bin"},
            work.path().string(), KEL_SHELL_BINARY, {"HOME=" + (work / "home")});
        EXPECT_EQ(result.status, 0);
        const std::string message = "KelException : " + netrc + " : " + refused;
        EXPECT_EQ(result.errors, "kelftp: " + message + "\n");
        EXPECT_THAT(LogLines(work.path().string()), testing::ElementsAre(Entry("ERROR ", Escaped(message))));
        EXPECT_FALSE(std::filesystem::exists(root + "/a.bin"));
    }
    // A FIFO in its place is never waited on.
    std::filesystem::remove(netrc);
    ASSERT_EQ(mkfifo(netrc.c_str(), 0600), 0);
    const RunResult result = KelftpWithServer(root, "none",
        {"-s", "127.0.0.1", "-id", "kel", "-up", "-bin", "-lf", work / "a.bin", "-rf", "a.bin"},
        work.path().string(), KEL_SHELL_BINARY, {"HOME=" + (work / "home")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.errors, "kelftp: KelException : " + netrc + " : not a regular file\n");
}

// The log never writes through a link: neither today's file nor the ./Log
// folder may lead its entries elsewhere. The transfer itself goes on.
TEST(KelShellFtpLog, TodaysLogFileAsALinkIsNotWrittenThrough)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    WriteBytes(work / "a.bin", "hello");
    WriteBytes(work / "elsewhere.txt", "untouched\n");
    std::filesystem::create_directories(work / "Log");
    const std::filesystem::path day = work / ("Log/" + Today() + ".log");
    std::filesystem::create_symlink(work / "elsewhere.txt", day);
    const RunResult result = KelftpWithServer(root, "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-up", "-bin", "-lf", work / "a.bin", "-rf", "a.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadBytes(root + "/a.bin"), "hello");
    EXPECT_EQ(ReadBytes(work / "elsewhere.txt"), "untouched\n");
    EXPECT_TRUE(std::filesystem::is_symlink(day));
}

TEST(KelShellFtpLog, ALogFolderThatIsALinkIsNotWrittenThrough)
{
    TempDir work;
    const std::string root = work / "server";
    std::filesystem::create_directories(root);
    std::filesystem::create_directories(work / "elsewhere");
    WriteBytes(work / "a.bin", "hello");
    std::filesystem::create_directory_symlink(work / "elsewhere", work / "Log");
    const RunResult result = KelftpWithServer(root, "none",
        {"-s", "127.0.0.1", "-id", "kel", "-pw", "secret", "-up", "-bin", "-lf", work / "a.bin", "-rf", "a.bin"},
        work.path().string());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(ReadBytes(root + "/a.bin"), "hello");
    EXPECT_TRUE(std::filesystem::is_empty(work / "elsewhere"));
    EXPECT_EQ(result.errors, "KelShell: ./Log is a symbolic link, so no log is written\n");
}
