// Writes entries through the shared log from several threads:
//   kel_log_writer FOLDER PROCESS THREADS ENTRIES
// Each entry names its process, thread and number, so that a reader can
// check that every entry arrived exactly once and whole.
//
//   kel_log_writer hold FOLDER
// Starts an entry (LogPreFix), says "held" on standard output and finishes it
// ("holder's entry") once a line arrives on standard input.
#include "KelLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

int HoldAnEntry(const char* folder)
{
    CKelLog::Init(1, CStringW(folder));
    _kelLog.LogPreFix(__FILE__, __LINE__, __func__);
    std::puts("held");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 3;
    _kelLog.Log(1, L"holder's entry");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0)
        return HoldAnEntry(argv[2]);
    if (argc != 5)
        return 2;
    const CStringW folder(argv[1]);
    const int process = std::atoi(argv[2]);
    const int threads = std::atoi(argv[3]);
    const int entries = std::atoi(argv[4]);
    CKelLog::Init(1, folder);

    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([=] {
            for (int n = 0; n < entries; ++n) {
                _kelLog.LogPreFix(__FILE__, __LINE__, __func__);
                // A two-line message: the continuation must stay with its entry.
                _kelLog.Log(1, L"writer p%d t%d n%d 한글\r\ncontinued p%d t%d n%d", process, t, n, process, t, n);
            }
        });
    for (std::thread& worker : workers)
        worker.join();
    return 0;
}
