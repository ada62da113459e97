// Log entries per second, from one thread and from 4 processes x 4 threads
// writing one file, beside log4cplus's file appender with its inter-process
// lock file and spdlog's synchronous file sink, both flushing every entry.
// CKelLog opens, appends to and closes the day's file for every entry under
// its cross-process lock.
//
//   bench_log                      runs every measurement
//   bench_log child LIB DIR T N    one writer process (used by the above)
#include "BenchSupport.h"
#include "KelLog.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <log4cplus/fileappender.h>
#include <log4cplus/helpers/property.h>
#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSingleEntries = 40000;
constexpr int kProcesses = 4, kThreads = 4, kEntriesPerThread = 5000;

// Runs `threads` writers, each calling write(thread, n) `entries` times.
template <typename Write>
void RunThreads(int threads, int entries, Write write)
{
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([=] {
            for (int n = 0; n < entries; ++n)
                write(t, n);
        });
    for (std::thread& worker : workers)
        worker.join();
}

void WriteKel(const std::string& dir, int threads, int entries)
{
    CKelLog::Init(1, CStringW((dir + "/").c_str()));
    RunThreads(threads, entries, [](int t, int n) {
        _kelLog.LogPreFix(__FILE__, __LINE__, __func__);
        _kelLog.Log(1, L"worker %d request %d served in %d ms", t, n, n % 97);
    });
}

void WriteLog4cplus(const std::string& dir, int threads, int entries)
{
    log4cplus::Initializer initializer;
    log4cplus::helpers::Properties properties;
    properties.setProperty(LOG4CPLUS_TEXT("File"), LOG4CPLUS_STRING_TO_TSTRING(dir + "/log4cplus.log"));
    properties.setProperty(LOG4CPLUS_TEXT("Append"), LOG4CPLUS_TEXT("true"));
    properties.setProperty(LOG4CPLUS_TEXT("ImmediateFlush"), LOG4CPLUS_TEXT("true"));
    properties.setProperty(LOG4CPLUS_TEXT("UseLockFile"), LOG4CPLUS_TEXT("true"));
    log4cplus::SharedAppenderPtr appender(new log4cplus::FileAppender(properties));
    appender->setLayout(std::make_unique<log4cplus::PatternLayout>(LOG4CPLUS_TEXT("[%D{%Y-%m-%d %H:%M:%S}] %-5p %m%n")));
    log4cplus::Logger logger = log4cplus::Logger::getInstance(LOG4CPLUS_TEXT("bench"));
    logger.addAppender(appender);
    RunThreads(threads, entries, [&logger](int t, int n) {
        LOG4CPLUS_INFO_FMT(logger, LOG4CPLUS_TEXT("worker %d request %d served in %d ms"), t, n, n % 97);
    });
    log4cplus::Logger::shutdown();
}

void WriteSpdlog(const std::string& dir, int threads, int entries)
{
    auto logger = spdlog::basic_logger_mt("bench", dir + "/spdlog.log");
    logger->set_pattern("[%Y-%m-%d %H:%M:%S] %-5l %v");
    logger->flush_on(spdlog::level::trace);
    RunThreads(threads, entries, [&logger](int t, int n) {
        logger->info("worker {} request {} served in {} ms", t, n, n % 97);
    });
    spdlog::drop_all();
}

void Write(const std::string& library, const std::string& dir, int threads, int entries)
{
    if (library == "kel")
        WriteKel(dir, threads, entries);
    else if (library == "log4cplus")
        WriteLog4cplus(dir, threads, entries);
    else
        WriteSpdlog(dir, threads, entries);
}

// Entries per second of `processes` writer processes of `threads` threads.
double Rate(const std::string& self, const std::string& library, int processes, int threads, int entries)
{
    const std::string dir = std::filesystem::temp_directory_path() / ("kel-bench-log-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const double seconds = kel::benchmark::BestSeconds(1, [&] {
        std::vector<pid_t> children;
        for (int p = 0; p < processes; ++p) {
            const pid_t child = fork();
            if (child == 0) {
                const std::string t = std::to_string(threads), n = std::to_string(entries);
                execl(self.c_str(), self.c_str(), "child", library.c_str(), dir.c_str(), t.c_str(), n.c_str(),
                      static_cast<char*>(nullptr));
                _exit(127);
            }
            children.push_back(child);
        }
        for (pid_t child : children)
            waitpid(child, nullptr, 0);
    });
    std::filesystem::remove_all(dir);
    return processes * threads * entries / seconds;
}

void Compare(const std::string& self, const char* title, int processes, int threads, int entries)
{
    std::printf("%s: %d entries\n", title, processes * threads * entries);
    const double kel = Rate(self, "kel", processes, threads, entries);
    const double log4cplus = Rate(self, "log4cplus", processes, threads, entries);
    const double spdlog = Rate(self, "spdlog", processes, threads, entries);
    std::printf("  CKelLog %9.0f/s   log4cplus (lock file) %9.0f/s   spdlog (flush each) %9.0f/s\n", kel, log4cplus, spdlog);
    kel::benchmark::PrintRatio("CKelLog / log4cplus", kel, log4cplus, 1.0);
    std::printf("  %-44s %8.2f\n", "CKelLog / spdlog", kel / spdlog);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "child") == 0) {
        Write(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
        return 0;
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");
    std::printf("Log entries per second (each in a fresh process)\n");
    Compare(self, "One thread", 1, 1, kSingleEntries);
    Compare(self, "4 processes x 4 threads", kProcesses, kThreads, kEntriesPerThread);
    return 0;
}
