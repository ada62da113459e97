#include "ByteBuffer.h"

#include <cstring>

CByteBuffer CByteBuffer::Allocate(size_t count)
{
    CByteBuffer buffer;
    buffer.m_pData.reset(new BYTE[count + 1]);
    buffer.m_pData[count] = 0;
    buffer.m_nCount = count;
    return buffer;
}

CByteBuffer CByteBuffer::Copy(std::string_view bytes)
{
    CByteBuffer buffer = Allocate(bytes.size());
    if (!bytes.empty())
        std::memcpy(buffer.Data(), bytes.data(), bytes.size());
    return buffer;
}

void CByteBuffer::Shrink(size_t count)
{
    if (count < m_nCount) {
        m_nCount = count;
        m_pData[count] = 0;
    }
}
