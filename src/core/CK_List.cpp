// CK_List: the doubly linked bucket list of HashMap, and NamedObject, its owned key/value entry.
#include "core/CK_List.h"

namespace vantry {

NamedObject::NamedObject(const char *key, uint32_t keyLength, VantryObject *value)
    : key(key, static_cast<int32_t>(keyLength), 0), value(value) {}

NamedObject::~NamedObject() {
    delete value;
}

CK_List::~CK_List() {
    DeleteAll();
}

void CK_List::AppendTail(NamedObject *obj) {
    CK_ListItem *item = new CK_ListItem{obj, m_tail, nullptr};
    if (m_tail != nullptr)
        m_tail->next = item;
    else
        m_head = item;
    m_tail = item;
    ++m_count;
}

NamedObject *CK_List::Unlink(CK_ListItem *item) {
    if (item == nullptr)
        return nullptr;
    if (item->prev != nullptr)
        item->prev->next = item->next;
    else
        m_head = item->next;
    if (item->next != nullptr)
        item->next->prev = item->prev;
    else
        m_tail = item->prev;
    --m_count;
    NamedObject *obj = item->object;
    delete item;
    return obj;
}

void CK_List::DeleteAll() {
    CK_ListItem *item = m_head;
    m_head = m_tail = nullptr;
    m_count = 0;
    while (item != nullptr) {
        CK_ListItem *next = item->next;
        delete item->object;
        delete item;
        item = next;
    }
}

} // namespace vantry
