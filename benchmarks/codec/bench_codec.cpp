// Base64 encode and decode of a 256 MB buffer beside coreutils `base64 -w 0`,
// and MD5 / SHA-1 of a 1 GB file beside `md5sum` / `sha1sum`, in the same run.
// Each figure is the best of three; ratio = peer time / our time (>= 1.0 means
// at least as fast as the peer).
#include <KelBase64.h>
#include <KelHash.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kBase64Bytes = 256u << 20;
constexpr size_t kHashBytes = 1u << 30;
constexpr int kRounds = 3;

double BestSeconds(const std::function<void()>& action)
{
    double best = 1e30;
    for (int i = 0; i < kRounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        action();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

void Shell(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::vector<BYTE> RandomBytes(size_t size)
{
    std::vector<BYTE> data(size);
    std::mt19937_64 random(42);
    for (size_t i = 0; i + 8 <= size; i += 8) {
        const auto value = random();
        std::memcpy(&data[i], &value, 8);
    }
    return data;
}

void WriteFile(const std::string& path, const void* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::vector<BYTE> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<BYTE> data(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return data;
}

void Report(const char* what, size_t bytes, double ours, double peer, const char* peerName)
{
    const double mb = static_cast<double>(bytes) / (1 << 20);
    std::printf("%-22s KelCodec %8.1f MB/s   %-16s %8.1f MB/s   ratio %.2f\n", what, mb / ours, peerName,
        mb / peer, peer / ours);
}

class ScratchFolder {
public:
    ScratchFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kel-bench-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::exit(1);
        m_path = pattern;
    }
    ~ScratchFolder() { std::filesystem::remove_all(m_path); }
    std::string operator/(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void BenchBase64(const ScratchFolder& scratch)
{
    const std::vector<BYTE> data = RandomBytes(kBase64Bytes);
    const std::string binary = scratch / "data.bin";
    WriteFile(binary, data.data(), data.size());

    std::wstring text(CKelBase64::EncodeCount(data.data(), data.size()) + 1, L'\0');
    const double encode = BestSeconds([&] { CKelBase64::Encode(text.data(), data.data(), data.size()); });
    const double peerEncode = BestSeconds([&] { Shell("base64 -w 0 '" + binary + "' > /dev/null"); });
    Report("Base64 encode 256 MB", data.size(), encode, peerEncode, "base64 -w 0");

    text.pop_back();
    const std::string encoded = scratch / "data.b64";
    {
        std::string narrow(text.begin(), text.end());
        WriteFile(encoded, narrow.data(), narrow.size());
    }
    std::vector<BYTE> back(data.size());
    const double decode = BestSeconds([&] {
        back.resize(CKelBase64::DecodeCount(text.c_str(), text.size()));
        CKelBase64::Decode(back.data(), text.c_str(), text.size());
    });
    const double peerDecode = BestSeconds([&] { Shell("base64 -d '" + encoded + "' > /dev/null"); });
    if (back != data)
        std::printf("Base64 decode gave other bytes!\n");
    Report("Base64 decode 256 MB", data.size(), decode, peerDecode, "base64 -d");
}

void BenchHash(const ScratchFolder& scratch)
{
    const std::string file = scratch / "data1g.bin";
    {
        const std::vector<BYTE> data = RandomBytes(kHashBytes);
        WriteFile(file, data.data(), data.size());
    }
    struct Algorithm { DWORD id; const char* name; const char* tool; };
    for (const Algorithm& a : { Algorithm { CKelHash::kMD5, "MD5 of 1 GB", "md5sum" },
                                Algorithm { CKelHash::kSHA1, "SHA-1 of 1 GB", "sha1sum" } }) {
        // The Hash page digests a buffer it loaded before: the digest alone,
        // and the load and digest together.
        const std::vector<BYTE> loaded = ReadFile(file);
        const double digest = BestSeconds([&] {
            BYTE value[2048];
            DWORD length = sizeof value;
            CKelHash::GetValue(a.id, loaded.data(), loaded.size(), length, value);
        });
        const double withLoad = BestSeconds([&] {
            // Loaded as the pages load: into a buffer that is not cleared first.
            std::ifstream in(file, std::ios::binary | std::ios::ate);
            const auto size = static_cast<size_t>(in.tellg());
            std::unique_ptr<BYTE[]> data(new BYTE[size]);
            in.seekg(0);
            in.read(reinterpret_cast<char*>(data.get()), static_cast<std::streamsize>(size));
            BYTE value[2048];
            DWORD length = sizeof value;
            CKelHash::GetValue(a.id, data.get(), size, length, value);
        });
        const double peer = BestSeconds([&] { Shell(std::string(a.tool) + " '" + file + "' > /dev/null"); });
        Report(a.name, kHashBytes, digest, peer, a.tool);
        Report("  ... with file load", kHashBytes, withLoad, peer, a.tool);
    }
}

} // namespace

// With an argument "base64" or "hash", runs only that half.
int main(int argc, char** argv)
{
    const std::string only = argc > 1 ? argv[1] : "";
    ScratchFolder scratch;
    if (only.empty() || only == "base64")
        BenchBase64(scratch);
    if (only.empty() || only == "hash")
        BenchHash(scratch);
    return 0;
}
