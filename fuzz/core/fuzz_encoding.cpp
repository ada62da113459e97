// Encoding detection and decoding of arbitrary bytes, as a followed log file
// or a loaded text file would present them.
#include "EncodingScan.h"
#include "KelException.h"
#include "KelFile.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Every vector level of the block scanners answers as the byte level does,
// from each of the first few starting points.
void CompareScanLevels(const std::uint8_t* data, size_t size)
{
    using kel::encoding::Simd;
    for (size_t at = 0; at <= size && at < 8; ++at) {
        for (Simd simd = Simd::Avx2; simd <= kel::encoding::BestSimd(); simd = static_cast<Simd>(static_cast<int>(simd) + 1)) {
            if (kel::encoding::Utf8Survives(data, at, size, simd) != kel::encoding::Utf8Survives(data, at, size, Simd::Scalar)
                || kel::encoding::SkipEucKr(data, at, size, simd) != kel::encoding::SkipEucKr(data, at, size, Simd::Scalar)
                || kel::encoding::SkipSevenBit(data, at, size, simd) != kel::encoding::SkipSevenBit(data, at, size, Simd::Scalar))
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    CompareScanLevels(data, size);
    const auto length = static_cast<UINT>(size);
    const int id = CKelFile::EncodingCheck(data, length);
    if (id < 0 || id > 18 || id == 17)
        std::abort();
    CKelFile file;
    try {
        const CStringW text = file.ReadText(data, length);
        // Decoding never produces more characters than there were bytes.
        if (static_cast<size_t>(text.GetLength()) > size)
            std::abort();
    } catch (CKelException* e) {
        e->Delete();
    }
    return 0;
}
