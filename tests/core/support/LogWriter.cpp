// Writes entries through the shared log from several threads:
//   kel_log_writer FOLDER PROCESS THREADS ENTRIES
// Each entry names its process, thread and number, so that a reader can
// check that every entry arrived exactly once and whole.
#include "KelLog.h"

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
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
