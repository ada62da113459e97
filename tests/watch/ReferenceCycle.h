#pragma once

// The read cycle written the slow, literal way: the rest of the file read
// and one seek per line, each line running to its line feed or zero unit,
// converted whole and then trimmed. The block reader of CKelWatchDoc must
// produce exactly what this produces.
#include "KelFile.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace kel::test {

struct ReferenceDoc {
    std::string path;
    unsigned long long position = 0;
    int encoding = CKelFile::UNDETECTED;
};

inline std::wstring ReferenceCycle(ReferenceDoc& doc)
{
    std::ifstream file(doc.path, std::ios::binary);
    if (!file)
        return {};
    if (doc.encoding == CKelFile::UNDETECTED) {
        std::vector<BYTE> whole((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        whole.push_back(0);
        doc.encoding = CKelFile::EncodingCheck(whole.data(), static_cast<UINT>(whole.size() - 1));
        file.clear();
    }
    const bool bigEndian = doc.encoding == CKelFile::UTF16_BE;
    const size_t unit = doc.encoding == CKelFile::UTF16_LE || bigEndian ? 2 : 1;
    std::wstring text;
    for (;;) {
        file.clear();
        file.seekg(0, std::ios::end);
        const auto size = static_cast<unsigned long long>(file.tellg());
        if (size <= doc.position)
            break;
        std::vector<BYTE> window(static_cast<size_t>(size - doc.position) + 1, 0);
        file.seekg(static_cast<std::streamoff>(doc.position));
        file.read(reinterpret_cast<char*>(window.data()), static_cast<std::streamsize>(window.size() - 1));
        const size_t read = static_cast<size_t>(file.gcount());
        if (read == 0)
            break;
        size_t length = read - read % unit;
        for (size_t k = 0; k + unit <= read; k += unit) {
            const unsigned value = unit == 1 ? window[k]
                : bigEndian              ? (window[k] << 8) | window[k + 1]
                                         : window[k] | (window[k + 1] << 8);
            if (value == 10 || value == 0) {
                length = k + unit;
                break;
            }
        }
        if (length == 0)
            break;
        doc.position += length;
        std::vector<BYTE> line(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(length));
        line.push_back(0);
        line.push_back(0);
        if (bigEndian) // turned round into little-endian units
            for (size_t k = 0; k + 1 < length; k += 2)
                std::swap(line[k], line[k + 1]);
        std::wstring wide = CKelFile::DecodeAs(bigEndian ? CKelFile::UTF16_LE : doc.encoding, line.data(), length).str();
        const size_t first = wide.find_first_not_of(L"\r\n");
        wide = first == std::wstring::npos ? std::wstring() : wide.substr(first, wide.find_last_not_of(L"\r\n") - first + 1);
        text += wide + L"\r\n";
    }
    return text;
}

} // namespace kel::test
