// bench_http: CKelHTTP beside curl (the command-line tool), both against the
// same local HTTP server (tests/support/http_server.py) in the same run.
//
//   - Download of a 256 MB file (served with sendfile) without the pacing
//     hook's pause, and a 16 MB one with the 1 ms pause per 4096-byte chunk.
//   - SendRequestHttp of a 4 MB gzip-compressed text, several requests in a
//     row (curl makes the same requests in one process, so that its start-up
//     does not count against it).
//
// Both clients write into the same folder ($KEL_BENCH_TMP, else /tmp). A
// download of CKelHTTP flushes its file to the disk before it replaces the
// target; curl does not.
#include "BenchSupport.h"
#include "KelException.h"
#include "KelHTTP.h"
#include "PeerRun.h"
#include "ServerProcess.h"
#include "platform/UiHooks.h"

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kBigFile = 256u << 20;
constexpr size_t kPacedFile = 16u << 20;
constexpr size_t kRequestText = (4u << 20) / 3 * 3; // whole three-byte characters
constexpr int kRequests = 20;
constexpr int kRounds = 5;

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "bench_http: %s\n", what.c_str());
    std::exit(1);
}

void CheckSize(const std::string& path, size_t size)
{
    std::error_code error;
    if (std::filesystem::file_size(path, error) != size || error)
        Fail(path + " has the wrong size");
}

// CKelHTTP with or without the 1 ms pause before each chunk.
class BenchHTTP : public CKelHTTP {
public:
    explicit BenchHTTP(bool paced) : m_bPaced(paced) {}

protected:
    void vDownloadState(const DWORD&, const DWORD&, const ULONGLONG&, const wchar_t*, const wchar_t*) override {}
    void vWaitForSpeedBalance() override
    {
        if (m_bPaced)
            CKelHTTP::vWaitForSpeedBalance();
    }

private:
    bool m_bPaced;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

template <typename Work>
double Seconds(Work work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double KelDownload(int port, const std::string& name, const std::string& target, bool paced)
{
    BenchHTTP client(paced);
    client.ConnectHttp(L"127.0.0.1", port);
    const std::wstring url = Wide("http://127.0.0.1:" + std::to_string(port) + "/file/" + name);
    const std::wstring path = Wide(target);
    return Seconds([&] { client.Download(url.c_str(), path.c_str(), 0); });
}

double CurlDownload(int port, const std::string& name, const std::string& target)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/file/" + name;
    return Seconds([&] {
        if (kel::benchmark::RunToEnd({"curl", "-s", "-S", "-o", target, url}) != 0)
            Fail("curl download failed");
    });
}

double KelRequests(int port)
{
    BenchHTTP client(false);
    client.ConnectHttp(L"127.0.0.1", port);
    const std::wstring object = L"/text?n=" + std::to_wstring(kRequestText);
    return Seconds([&] {
        for (int i = 0; i < kRequests; ++i)
            if (client.SendRequestHttp(object.c_str(), L"").GetLength() != static_cast<int>(kRequestText / 3))
                Fail("SendRequestHttp returned the wrong text");
    });
}

double CurlRequests(int port, const std::string& folder)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/text?n=" + std::to_string(kRequestText);
    std::vector<std::string> arguments = {"curl", "-s", "-S", "--compressed", "-d", ""};
    for (int i = 0; i < kRequests; ++i) {
        arguments.push_back("-o");
        arguments.push_back(folder + "/curl-text-" + std::to_string(i));
        arguments.push_back(url);
    }
    const double seconds = Seconds([&] {
        if (kel::benchmark::RunToEnd(arguments) != 0)
            Fail("curl requests failed");
    });
    for (int i = 0; i < kRequests; ++i)
        CheckSize(folder + "/curl-text-" + std::to_string(i), kRequestText);
    return seconds;
}

double MegabytesPerSecond(size_t bytes, double seconds) { return bytes / 1048576.0 / seconds; }

struct Figures {
    double kel = 1e30;
    double curl = 1e30;
};

// Each round alternates which client goes first, so neither always meets
// the caches (or the neighbours' load) in the same state.
template <typename Kel, typename Curl>
Figures BestOf(Kel kel, Curl curl)
{
    Figures best;
    for (int round = 0; round < kRounds; ++round) {
        if (round % 2 == 0) {
            best.curl = std::min(best.curl, curl());
            best.kel = std::min(best.kel, kel());
        } else {
            best.kel = std::min(best.kel, kel());
            best.curl = std::min(best.curl, curl());
        }
    }
    return best;
}

int Run()
{
    const char* base = std::getenv("KEL_BENCH_TMP");
    setenv("KEL_TEST_TMP", base && *base ? base : "/tmp", 1);
    kel::test::TempDir work;
    const std::string served = work / "served";
    const std::string local = work / "local";
    std::filesystem::create_directories(served);
    std::filesystem::create_directories(local);
    kel::benchmark::WriteRandomFile(served + "/big.bin", kBigFile, 5);
    kel::benchmark::WriteRandomFile(served + "/paced.bin", kPacedFile, 5);

    kel::test::ServerProcess server;
    const std::string portFile = work / "port";
    server.Spawn({kel::test::kSystemPython, kel::test::SupportFile("http_server.py"), "--port-file", portFile,
                  "--record-dir", work / "records", "--serve-dir", served});
    std::filesystem::create_directories(work / "records");
    server.WaitForPortFile(portFile);
    const int port = server.Port();
    kel::platform::SetMessageBoxHook([](const CStringW&, const CStringW&, UINT) { return kel::platform::kIdOk; });

    const std::string kelTarget = local + "/kel.bin", curlTarget = local + "/curl.bin";
    const Figures download = BestOf(
        [&] {
            const double seconds = KelDownload(port, "big.bin", kelTarget, false);
            CheckSize(kelTarget, kBigFile);
            std::filesystem::remove(kelTarget);
            return seconds;
        },
        [&] {
            const double seconds = CurlDownload(port, "big.bin", curlTarget);
            CheckSize(curlTarget, kBigFile);
            std::filesystem::remove(curlTarget);
            return seconds;
        });
    const Figures requests = BestOf([&] { return KelRequests(port); }, [&] { return CurlRequests(port, local); });
    const double paced = KelDownload(port, "paced.bin", kelTarget, true);
    CheckSize(kelTarget, kPacedFile);

    std::printf("CKelHTTP beside the curl tool, http_server.py on 127.0.0.1, files in %s, best of %d\n",
                work.path().c_str(), kRounds);
    std::printf("  download 256 MB (no pause)   CKelHTTP %8.1f MB/s   curl %8.1f MB/s\n",
                MegabytesPerSecond(kBigFile, download.kel), MegabytesPerSecond(kBigFile, download.curl));
    kel::benchmark::PrintRatio("download, CKelHTTP / curl", download.curl, download.kel, 0.9);
    std::printf("  %d requests of 4 MB gzip text   CKelHTTP %8.3f s (%.1f MB/s)   curl %8.3f s (%.1f MB/s)\n",
                kRequests, requests.kel, MegabytesPerSecond(kRequestText * kRequests, requests.kel), requests.curl,
                MegabytesPerSecond(kRequestText * kRequests, requests.curl));
    kel::benchmark::PrintRatio("requests, CKelHTTP / curl", requests.curl, requests.kel, 0.9);
    std::printf("  download 16 MB with the 1 ms pause per 4096-byte chunk (%zu chunks): %.1f MB/s (%.2f s)\n",
                kPacedFile / 4096, MegabytesPerSecond(kPacedFile, paced), paced);
    return 0;
}

} // namespace

int main()
{
    std::setlocale(LC_ALL, "C.UTF-8");
    try {
        return Run();
    } catch (CKelException* e) {
        std::fprintf(stderr, "bench_http: %ls\n", e->GetMessage().GetString());
        e->Delete();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_http: %s\n", e.what());
    }
    return 1;
}
