// KelCodec beside OpenSSL's libcrypto and the coreutils tools, in the same
// run on the same bytes: Base64 encode and decode of a 256 MB buffer (the
// 8-bit and the wide-character interface, the vectorised and the portable
// code) beside EVP_EncodeBlock / EVP_DecodeBlock and `base64`, and MD5,
// SHA-1 and SHA-256 of a 1 GB buffer beside libcrypto's EVP_Digest and
// md5sum / sha1sum / sha256sum. Each figure is the best of three; ratio =
// peer time / our time (>= 1.0 means at least as fast as the peer).
#include <KelBase64.h>
#include <KelHash.h>

#include <openssl/evp.h>

#include <algorithm>
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
    std::printf("%-24s KelCodec %8.1f MB/s   %-16s %8.1f MB/s   ratio %.2f\n", what, mb / ours, peerName,
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

// The OpenSSL figure beside ours, and the tool's (a whole process reading
// the file) beside it.
void ReportWithPeers(const char* what, size_t bytes, double ours, double openssl, double tool, const char* toolName)
{
    Report(what, bytes, ours, openssl, "OpenSSL");
    if (tool > 0)
        Report("", bytes, ours, tool, toolName);
}

void BenchBase64Encode(const std::vector<BYTE>& data, const std::string& binary)
{
    std::string narrow(CKelBase64::EncodeCount(data.data(), data.size()) + 1, '\0');
    std::wstring wide(narrow.size(), L'\0');
    const double openssl = BestSeconds([&] {
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(narrow.data()), data.data(), static_cast<int>(data.size()));
    });
    const double tool = BestSeconds([&] { Shell("base64 -w 0 '" + binary + "' > /dev/null"); });
    for (const bool vectorised : { true, false }) {
        if (CKelBase64::UseVectorised(vectorised) != vectorised)
            continue;
        const double ours = BestSeconds([&] { CKelBase64::Encode(narrow.data(), data.data(), data.size()); });
        const double oursWide = BestSeconds([&] { CKelBase64::Encode(wide.data(), data.data(), data.size()); });
        ReportWithPeers(vectorised ? "encode, AVX2" : "encode, portable", data.size(), ours, openssl, tool,
            "base64 -w 0");
        Report(vectorised ? "  wide text, AVX2" : "  wide text, portable", data.size(), oursWide, openssl, "OpenSSL");
    }
    CKelBase64::UseVectorised(true);
}

void BenchBase64Decode(const std::vector<BYTE>& data, const std::string& encoded)
{
    const std::vector<BYTE> file = ReadFile(encoded);
    const std::string narrow(file.begin(), file.end());
    const std::wstring wide(narrow.begin(), narrow.end());
    std::vector<BYTE> back(data.size() + 3);
    const double openssl = BestSeconds([&] {
        EVP_DecodeBlock(back.data(), reinterpret_cast<const unsigned char*>(narrow.data()), static_cast<int>(narrow.size()));
    });
    const double tool = BestSeconds([&] { Shell("base64 -d '" + encoded + "' > /dev/null"); });
    for (const bool vectorised : { true, false }) {
        if (CKelBase64::UseVectorised(vectorised) != vectorised)
            continue;
        const double ours = BestSeconds([&] { CKelBase64::Decode(back.data(), narrow.c_str(), narrow.size()); });
        if (!std::equal(data.begin(), data.end(), back.begin()))
            std::printf("Base64 decode gave other bytes!\n");
        const double counted = BestSeconds([&] {
            back.resize(CKelBase64::DecodeCount(narrow.c_str(), narrow.size()));
            CKelBase64::Decode(back.data(), narrow.c_str(), narrow.size());
        });
        const double oursWide = BestSeconds([&] {
            back.resize(CKelBase64::DecodeCount(wide.c_str(), wide.size()));
            CKelBase64::Decode(back.data(), wide.c_str(), wide.size());
        });
        ReportWithPeers(vectorised ? "decode, AVX2" : "decode, portable", data.size(), ours, openssl, tool,
            "base64 -d");
        Report("  with DecodeCount", data.size(), counted, openssl, "OpenSSL");
        Report("  wide text, counted", data.size(), oursWide, openssl, "OpenSSL");
    }
    CKelBase64::UseVectorised(true);
}

void BenchBase64(const ScratchFolder& scratch)
{
    std::printf("Base64 of %zu MB (MB/s of bytes)\n", kBase64Bytes >> 20);
    const std::vector<BYTE> data = RandomBytes(kBase64Bytes);
    const std::string binary = scratch / "data.bin";
    WriteFile(binary, data.data(), data.size());
    BenchBase64Encode(data, binary);
    const std::string encoded = scratch / "data.b64";
    Shell("base64 -w 0 '" + binary + "' > '" + encoded + "'");
    BenchBase64Decode(data, encoded);
}

const EVP_MD* OpenSslDigest(DWORD id)
{
    return id == CKelHash::kMD5 ? EVP_md5() : id == CKelHash::kSHA1 ? EVP_sha1() : EVP_sha256();
}

void BenchHash(const ScratchFolder& scratch)
{
    const std::string file = scratch / "data1g.bin";
    {
        const std::vector<BYTE> data = RandomBytes(kHashBytes);
        WriteFile(file, data.data(), data.size());
    }
    const std::vector<BYTE> loaded = ReadFile(file);
    struct Algorithm { DWORD id; const char* name; const char* tool; };
    for (const Algorithm& a : { Algorithm { CKelHash::kMD5, "MD5 of 1 GB", "md5sum" },
                                Algorithm { CKelHash::kSHA1, "SHA-1 of 1 GB", "sha1sum" },
                                Algorithm { CKelHash::kSHA256, "SHA-256 of 1 GB", "sha256sum" } }) {
        const double ours = BestSeconds([&] {
            BYTE value[2048];
            DWORD length = sizeof value;
            CKelHash::GetValue(a.id, loaded.data(), loaded.size(), length, value);
        });
        const double openssl = BestSeconds([&] {
            unsigned char value[EVP_MAX_MD_SIZE];
            unsigned int length = 0;
            EVP_Digest(loaded.data(), loaded.size(), value, &length, OpenSslDigest(a.id), nullptr);
        });
        const double tool = BestSeconds([&] { Shell(std::string(a.tool) + " '" + file + "' > /dev/null"); });
        ReportWithPeers(a.name, kHashBytes, ours, openssl, tool, a.tool);
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
