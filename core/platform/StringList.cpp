#include "StringList.h"

CStringList::CStringList(const CStringList& other)
{
    for (const CStringW& value : other)
        AddTail(value);
}

CStringList& CStringList::operator=(const CStringList& other)
{
    if (this != &other) {
        RemoveAll();
        for (const CStringW& value : other)
            AddTail(value);
    }
    return *this;
}

POSITION CStringList::AddHead(const CStringW& value)
{
    Node* node = new Node{value, nullptr, m_head};
    if (m_head)
        m_head->prev = node;
    else
        m_tail = node;
    m_head = node;
    ++m_count;
    return ToPosition(node);
}

POSITION CStringList::AddTail(const CStringW& value)
{
    Node* node = new Node{value, m_tail, nullptr};
    if (m_tail)
        m_tail->next = node;
    else
        m_head = node;
    m_tail = node;
    ++m_count;
    return ToPosition(node);
}

void CStringList::RemoveAll()
{
    while (m_head) {
        Node* next = m_head->next;
        delete m_head;
        m_head = next;
    }
    m_tail = nullptr;
    m_count = 0;
}

void CStringList::RemoveAt(POSITION position)
{
    Node* node = ToNode(position);
    if (!node)
        return;
    (node->prev ? node->prev->next : m_head) = node->next;
    (node->next ? node->next->prev : m_tail) = node->prev;
    delete node;
    --m_count;
}

CStringW& CStringList::GetNext(POSITION& position)
{
    Node* node = ToNode(position);
    position = ToPosition(node->next);
    return node->value;
}

const CStringW& CStringList::GetNext(POSITION& position) const
{
    Node* node = ToNode(position);
    position = ToPosition(node->next);
    return node->value;
}

CStringW& CStringList::GetPrev(POSITION& position)
{
    Node* node = ToNode(position);
    position = ToPosition(node->prev);
    return node->value;
}

POSITION CStringList::FindIndex(int index) const
{
    if (index < 0)
        return nullptr;
    Node* node = m_head;
    while (node && index-- > 0)
        node = node->next;
    return ToPosition(node);
}
