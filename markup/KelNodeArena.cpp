#include "KelNodeArena.h"

#include <algorithm>
#include <cstddef>
#include <new>

namespace {

// Slots per block: small trees stay small, large ones make few blocks.
constexpr size_t kFirstBlockSlots = 32;
constexpr size_t kLargestBlockSlots = 16384;

} // namespace

void CKelNodeArena::SBlockDeleter::operator()(std::byte* block) const
{
    ::operator delete(block);
}

CKelNodeArena::CKelNodeArena(size_t slotSize)
    : m_slotSize((std::max(slotSize, sizeof(SFreeSlot)) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t)
                 * alignof(std::max_align_t))
{
}

CKelNodeArena::~CKelNodeArena() = default;

void* CKelNodeArena::Allocate()
{
    if (m_free) {
        SFreeSlot* slot = m_free;
        m_free = slot->next;
        ++m_live;
        return slot;
    }
    if (m_next == m_end)
        _AddBlock();
    void* slot = m_next;
    m_next += m_slotSize;
    ++m_live;
    return slot;
}

void CKelNodeArena::Release(void* slot)
{
    if (!slot)
        return;
    if (--m_live == 0) {
        _FreeBlocks();
        return;
    }
    m_free = new (slot) SFreeSlot {m_free};
}

void CKelNodeArena::_AddBlock()
{
    const size_t slots = std::min(kLargestBlockSlots, kFirstBlockSlots << std::min<size_t>(m_blocks.size(), 9));
    const size_t bytes = slots * m_slotSize;
    m_blocks.reserve(m_blocks.size() + 1);
    // operator new's storage is aligned for every fundamental type, which
    // covers a node; the slot size keeps every later slot aligned too.
    auto* block = static_cast<std::byte*>(::operator new(bytes));
    m_blocks.push_back({std::unique_ptr<std::byte, SBlockDeleter>(block), bytes});
    m_lastBlockStart = block;
    m_next = block;
    m_end = block + bytes;
    m_reserved += bytes;
}

void CKelNodeArena::_FreeBlocks()
{
    m_blocks.clear();
    m_lastBlockStart = m_next = m_end = nullptr;
    m_free = nullptr;
    m_live = 0;
    m_reserved = 0;
}
