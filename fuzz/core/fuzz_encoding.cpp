// Encoding detection and decoding of arbitrary bytes, as a followed log file
// or a loaded text file would present them.
#include "KelException.h"
#include "KelFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
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
