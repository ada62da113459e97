// Each page of Kelbench on a 1 GB file (KEL_BENCH_PAGE_MB changes the size):
// load, hash or encode/decode, save. Each page runs in a child process of
// its own so that its peak resident size is its own; the figure is printed
// beside the size of the file the page loads (for the decoding page, the
// UTF-16 Base64 file that the encoding page saved), with the target of less
// than 3 times that file.
#include <ByteViews.h>
#include <PageBase64Decoding.h>
#include <PageBase64Encoding.h>
#include <PageHash.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

CStringW Wide(const std::string& text)
{
    return CStringW(std::wstring(text.begin(), text.end()));
}

// Runs `scenario` in a child; returns its peak resident size in bytes and
// its wall time, or a negative size when it failed.
std::pair<long long, double> RunInChild(const std::function<bool()>& scenario)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0)
        _exit(scenario() ? 0 : 1);
    int status = 0;
    rusage usage {};
    wait4(child, &status, 0, &usage);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return { ok ? usage.ru_maxrss * 1024LL : -1, took.count() };
}

void Report(const char* page, size_t fileSize, std::pair<long long, double> result)
{
    if (result.first < 0) {
        std::printf("%-36s FAILED\n", page);
        return;
    }
    const double ratio = static_cast<double>(result.first) / static_cast<double>(fileSize);
    std::printf("%-36s file %6zu MB  peak RSS %6.0f MB = %.2f x file (target < 3.00)  %6.1f s\n", page,
        fileSize >> 20, static_cast<double>(result.first) / (1 << 20), ratio, result.second);
}

} // namespace

int main()
{
    const char* sizeText = std::getenv("KEL_BENCH_PAGE_MB");
    const size_t size = static_cast<size_t>(sizeText ? std::atol(sizeText) : 1024) << 20;
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/kel-pages-XXXXXX";
    if (!mkdtemp(folder.data()))
        return 1;
    const std::string source = folder + "/data.bin";
    {
        std::vector<char> chunk(1 << 20);
        std::mt19937 random(1);
        for (char& c : chunk)
            c = static_cast<char>(random());
        std::ofstream out(source, std::ios::binary);
        for (size_t written = 0; written < size; written += chunk.size())
            out.write(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), size - written)));
    }
    std::printf("file of %zu MB\n", size >> 20);

    Report("Base64 Encoding: load, encode, save", size, RunInChild([&] {
        CPageBase64Encoding page;
        page.m_strPath = Wide(source);
        page.LoadPath();
        page.Encode();
        page.Save(page.SaveFileName());
        return page.Buffer().Count() == size && page.m_strOutput == kelbench::kMessageTooLongDownload;
    }));
    // The decoding page reads what the encoding page wrote (UTF-16, BOM).
    const std::string encoded = source + ".base64.enc";
    Report("Base64 Decoding: load, decode, save", std::filesystem::file_size(encoded), RunInChild([&] {
        CPageBase64Decoding page;
        page.m_strPath = Wide(encoded);
        page.LoadPath();
        page.Decode();
        page.Save(page.SaveFileName());
        return page.Buffer().Count() == size;
    }));
    Report("Hash: load, MD5, SHA-1", size, RunInChild([&] {
        CPageHash page;
        page.m_strPath = Wide(source);
        page.LoadPath();
        page.Compute();
        page.m_nAlgorithm = 1;
        page.AlgorithmChanged();
        page.Compute();
        return page.m_strOutput.GetLength() == 40;
    }));
    const bool same = std::system(("cmp -s '" + source + "' '" + encoded + ".base64.dec'").c_str()) == 0;
    std::printf("decoded file %s the source\n", same ? "equals" : "DIFFERS FROM");
    std::filesystem::remove_all(folder);
    return same ? 0 : 1;
}
