#pragma once

// CByteBuffer: the byte buffer a page works on, owned by the page and freed
// when replaced. Large files are loaded into it whole, so it is allocated
// without being cleared first.
#include <platform/Types.h>

#include <cstddef>
#include <memory>
#include <string_view>

class CByteBuffer {
public:
    CByteBuffer() = default;
    CByteBuffer(CByteBuffer&&) noexcept = default;
    CByteBuffer& operator=(CByteBuffer&&) noexcept = default;
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    // `count` bytes plus one zero byte after them; the bytes themselves are
    // left for the caller to fill.
    static CByteBuffer Allocate(size_t count);
    static CByteBuffer Copy(std::string_view bytes);

    BYTE* Data() { return m_pData.get(); }
    const BYTE* Data() const { return m_pData.get(); }
    size_t Count() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    // Keeps the first `count` bytes (never more than there are).
    void Shrink(size_t count);
    std::string_view View() const { return { reinterpret_cast<const char*>(Data()), m_nCount }; }

private:
    std::unique_ptr<BYTE[]> m_pData;
    size_t m_nCount = 0;
};
