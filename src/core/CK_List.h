// CK_List: doubly linked list of NamedObject entries (the HashMap's buckets); NamedObject: an owned
// key text and an owned value object.
#pragma once
#include <cstdint>

#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

class NamedObject : public VantryObject {
public:
    // The key is copied (sized to fit); the value is owned from now on and may be null.
    NamedObject(const char *key, uint32_t keyLength, VantryObject *value);
    ~NamedObject() override;
    NamedObject(const NamedObject &) = delete;
    NamedObject &operator=(const NamedObject &) = delete;
    StringBuffer key;
    VantryObject *value;
};

struct CK_ListItem {
    NamedObject *object;
    CK_ListItem *prev;
    CK_ListItem *next;
};

class CK_List {
public:
    CK_List() = default;
    ~CK_List();
    CK_List(const CK_List &) = delete;
    CK_List &operator=(const CK_List &) = delete;

    void AppendTail(NamedObject *obj);
    // Takes the node out of the list and frees it; the object it held passes to the caller.
    NamedObject *Unlink(CK_ListItem *item);
    // Deletes every node and every object (with its key and value).
    void DeleteAll();
    CK_ListItem *Head() const { return m_head; }
    CK_ListItem *Tail() const { return m_tail; }
    int32_t Count() const { return m_count; }

private:
    CK_ListItem *m_head = nullptr;
    CK_ListItem *m_tail = nullptr;
    int32_t m_count = 0;
};

} // namespace vantry
