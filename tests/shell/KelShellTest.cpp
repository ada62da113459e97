// KelShell run as a process: the exact bytes it prints, its exit statuses,
// and kelftp against a real FTP server on the default port (21) of a private
// network namespace, with the day's log file checked line by line.
#include "ServerProcess.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <future>
#include <random>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>

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

// Runs `arguments` in `folder` with LANG, LC_ALL and LC_CTYPE removed (plus
// `extraEnvironment`), capturing standard output and standard error (which
// must stay small: it is read after standard output has ended).
RunResult Run(const std::vector<std::string>& arguments, const std::string& folder,
              const std::vector<std::string>& extraEnvironment = {})
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("LANG=", 0) != 0 && text.rfind("LC_ALL=", 0) != 0 && text.rfind("LC_CTYPE=", 0) != 0)
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
                                "  -rf\t\t[리모트 파일]\t\t\n";

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
                           const std::string& folder, const char* binary = KEL_SHELL_BINARY)
{
    std::vector<std::string> arguments = {"/bin/sh", kel::test::SupportFile("run_with_ftp21.sh"), root, fault,
                                          binary, "kelftp"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return Run(arguments, folder);
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
