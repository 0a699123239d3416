// Intrusive doubly linked list. The links live in the listed objects; the
// list never allocates, frees or owns its entries.
#pragma once

#include <cstdint>

namespace ZmLib {

struct DListEnt {
    DListEnt() = default;
    // A copy is a different object and is not in any list.
    DListEnt(const DListEnt&) {}
    DListEnt& operator=(const DListEnt&) { return *this; }

    DListEnt* Next = nullptr;
    DListEnt* Prev = nullptr;
};

// Base of listed classes: typed access to the neighbours.
template <class T>
struct DListEntry : DListEnt {
    T* NextEntry() const { return static_cast<T*>(Next); }
    T* PrevEntry() const { return static_cast<T*>(Prev); }
};

// Users iterate directly over First and Next (or Last and Prev). Callers
// guarantee that an entry belongs to the list it is removed from.
class DListBase {
public:
    DListBase() = default;
    DListBase(const DListBase&) = delete;
    DListBase& operator=(const DListBase&) = delete;

    void AddTail(DListEnt* entry);
    void AddHead(DListEnt* entry);
    void AddAfter(DListEnt* entry, DListEnt* newentry);
    void AddBefore(DListEnt* entry, DListEnt* newentry);
    // Returns entry, or null when nothing was removed.
    DListEnt* Remove(DListEnt* entry);

    bool IsEmpty() const { return First == nullptr; }

    DListEnt* First = nullptr;
    DListEnt* Last = nullptr;
    uint32_t Count = 0;
};

} // namespace ZmLib
