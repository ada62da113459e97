// Encoding detection throughput on 64 MiB of ASCII log text, Korean UTF-8 and
// EUC-KR, beside uchardet on the same bytes and memchr scanning for an absent
// byte (a stand-in for memory speed).
#include "BenchSupport.h"
#include "KelFile.h"

#include <cstring>
#include <iconv.h>
#include <string>
#include <uchardet/uchardet.h>

namespace {

constexpr size_t kSize = 64u << 20;

std::string Repeat(const std::string& pattern)
{
    std::string out;
    out.reserve(kSize + pattern.size());
    while (out.size() < kSize)
        out += pattern;
    return out;
}

std::string ToEucKr(const std::string& utf8)
{
    iconv_t converter = iconv_open("EUC-KR", "UTF-8");
    std::string out(utf8.size(), '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char* dst = out.data();
    iconv(converter, &in, &inLeft, &dst, &outLeft);
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

std::string AsciiLog()
{
    std::string pattern;
    for (int i = 0; i < 64; ++i)
        pattern += "2026-12-07 08:" + std::to_string(10 + i % 50) + ":00.123 INFO  [worker-" + std::to_string(i % 8)
            + "] request " + std::to_string(100000 + i * 37) + " served in " + std::to_string(i % 90) + " ms\n";
    return Repeat(pattern);
}

std::string KoreanUtf8Log()
{
    std::string pattern;
    for (int i = 0; i < 64; ++i)
        pattern += "2026-12-07 08:" + std::to_string(10 + i % 50) + ":00 정보 [작업자-" + std::to_string(i % 8)
            + "] 요청 " + std::to_string(100000 + i * 37) + " 처리 완료, 사용자 홍길동 님의 파일을 저장했습니다\n";
    return Repeat(pattern);
}

double MegabytesPerSecond(size_t bytes, double seconds)
{
    return static_cast<double>(bytes) / seconds / 1e6;
}

void Measure(const char* name, const std::string& data, int expected)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(data.data());
    int id = -1;
    const double ours = kel::benchmark::BestSeconds(5, [&] { id = CKelFile::EncodingCheck(bytes, static_cast<UINT>(data.size())); });

    std::string charset;
    const double peer = kel::benchmark::BestSeconds(2, [&] {
        uchardet_t detector = uchardet_new();
        uchardet_handle_data(detector, data.data(), data.size());
        uchardet_data_end(detector);
        charset = uchardet_get_charset(detector);
        uchardet_delete(detector);
    });

    const void* hit = nullptr;
    const double memory = kel::benchmark::BestSeconds(5, [&] {
        hit = std::memchr(data.data(), '\x01', data.size());
        asm volatile("" : : "r"(hit) : "memory");
    });

    std::printf("%s (%zu MiB): detected %ls%s, uchardet says \"%s\"\n", name, data.size() >> 20,
                CKelFile::GetEncodingName(id).GetString(), id == expected ? "" : " (WRONG)", charset.c_str());
    const double ourRate = MegabytesPerSecond(data.size(), ours);
    const double peerRate = MegabytesPerSecond(data.size(), peer);
    const double memoryRate = MegabytesPerSecond(data.size(), memory);
    std::printf("  EncodingCheck %9.0f MB/s   uchardet %8.0f MB/s   memchr %8.0f MB/s\n", ourRate, peerRate, memoryRate);
    kel::benchmark::PrintRatio("EncodingCheck / uchardet", ourRate, peerRate, 5.0);
    kel::benchmark::PrintRatio("EncodingCheck / memchr", ourRate, memoryRate, 0.8);
}

} // namespace

int main()
{
    std::printf("Encoding detection, best of several runs\n");
    const std::string ascii = AsciiLog();
    Measure("ASCII log text", ascii, CKelFile::ASCII);
    const std::string korean = KoreanUtf8Log();
    Measure("Korean UTF-8 log text", korean, CKelFile::UTF8_NOBOM);
    Measure("Korean EUC-KR log text", ToEucKr(korean), CKelFile::EUCKR);
    return 0;
}
