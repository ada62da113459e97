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

    // Whether every slot handed out is still in use (none was released
    // since the blocks were last freed): then DestroyAll may be used.
    bool AllInUse() const { return m_free == nullptr; }
    // Calls `destroy` on every slot handed out, in the order they were
    // handed out, then frees the blocks. Only when AllInUse().
    template <typename Destroy>
    void DestroyAll(Destroy destroy)
    {
        for (const SBlock& block : m_blocks) {
            std::byte* end = block.start.get() == m_lastBlockStart ? m_next : block.start.get() + block.bytes;
            for (std::byte* slot = block.start.get(); slot != end; slot += m_slotSize)
                destroy(static_cast<void*>(slot));
        }
        _FreeBlocks();
    }

    // Bytes held from the system.
    size_t ReservedBytes() const { return m_reserved; }

private:
    struct SFreeSlot {
        SFreeSlot* next;
    };
    struct SBlockDeleter {
        void operator()(std::byte* block) const;
    };
    struct SBlock {
        std::unique_ptr<std::byte, SBlockDeleter> start;
        size_t bytes;
    };

    void _AddBlock();
    void _FreeBlocks();

    size_t m_slotSize;
    std::vector<SBlock> m_blocks;
    std::byte* m_lastBlockStart = nullptr;
    std::byte* m_next = nullptr; // unused part of the newest block
    std::byte* m_end = nullptr;
    SFreeSlot* m_free = nullptr;
    size_t m_live = 0;
    size_t m_reserved = 0;
};
