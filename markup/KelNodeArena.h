#pragma once

// Storage for the nodes of one CKelTreeImpl: nodes are cut from blocks that
// grow geometrically, a freed node's slot is reused first, and the blocks go
// back to the system once no node is left. One allocation serves thousands
// of nodes, and freeing a whole tree costs no call to the allocator per
// node. Internal to KelMarkup; not thread safe, like the tree.
#include <cstddef>
#include <memory>
#include <vector>

class CKelNodeArena {
public:
    // `slotSize` is the size of the object stored in each slot, whose
    // alignment must not exceed what operator new gives.
    explicit CKelNodeArena(size_t slotSize);
    ~CKelNodeArena();
    CKelNodeArena(const CKelNodeArena&) = delete;
    CKelNodeArena& operator=(const CKelNodeArena&) = delete;

    // Uninitialised storage for one object; throws std::bad_alloc.
    void* Allocate();
    // Takes back a slot from Allocate whose object has been destroyed.
    void Release(void* slot);

    // Bytes held from the system.
    size_t ReservedBytes() const { return m_reserved; }

private:
    struct SFreeSlot {
        SFreeSlot* next;
    };
    struct SBlockDeleter {
        void operator()(std::byte* block) const;
    };

    void _AddBlock();
    void _FreeBlocks();

    size_t m_slotSize;
    std::vector<std::unique_ptr<std::byte, SBlockDeleter>> m_blocks;
    std::byte* m_next = nullptr; // unused part of the newest block
    std::byte* m_end = nullptr;
    SFreeSlot* m_free = nullptr;
    size_t m_live = 0;
    size_t m_reserved = 0;
};
