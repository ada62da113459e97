#pragma once

// CStringList: the framework's doubly linked list of wide strings, with
// POSITION handles and range-for iteration.
#include "KelExport.h"
#include "StringW.h"
#include "Types.h"

#include <cstddef>

class KELCORE_API CStringList {
    struct Node {
        CStringW value;
        Node* prev = nullptr;
        Node* next = nullptr;
    };

public:
    CStringList() = default;
    CStringList(const CStringList& other);
    CStringList& operator=(const CStringList& other);
    ~CStringList() { RemoveAll(); }

    POSITION AddHead(const CStringW& value);
    POSITION AddTail(const CStringW& value);
    void RemoveAll();
    void RemoveAt(POSITION position);

    int GetCount() const { return static_cast<int>(m_count); }
    int GetSize() const { return GetCount(); }
    bool IsEmpty() const { return m_count == 0; }

    POSITION GetHeadPosition() const { return ToPosition(m_head); }
    POSITION GetTailPosition() const { return ToPosition(m_tail); }
    CStringW& GetHead() { return m_head->value; }
    CStringW& GetTail() { return m_tail->value; }

    // The element at `position`; `position` moves to the next (or previous)
    // element, null after the last.
    CStringW& GetNext(POSITION& position);
    const CStringW& GetNext(POSITION& position) const;
    CStringW& GetPrev(POSITION& position);
    CStringW& GetAt(POSITION position) { return ToNode(position)->value; }
    const CStringW& GetAt(POSITION position) const { return ToNode(position)->value; }
    void SetAt(POSITION position, const CStringW& value) { ToNode(position)->value = value; }
    POSITION FindIndex(int index) const;

    template <typename Value, typename NodePtr>
    class Iterator {
    public:
        explicit Iterator(NodePtr node) : m_node(node) {}
        Value& operator*() const { return m_node->value; }
        Iterator& operator++()
        {
            m_node = m_node->next;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return m_node != other.m_node; }

    private:
        NodePtr m_node;
    };
    using iterator = Iterator<CStringW, Node*>;
    using const_iterator = Iterator<const CStringW, const Node*>;

    iterator begin() { return iterator(m_head); }
    iterator end() { return iterator(nullptr); }
    const_iterator begin() const { return const_iterator(m_head); }
    const_iterator end() const { return const_iterator(nullptr); }

private:
    static POSITION ToPosition(Node* node) { return reinterpret_cast<POSITION>(node); }
    static Node* ToNode(POSITION position) { return reinterpret_cast<Node*>(position); }

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    size_t m_count = 0;
};
