#include "utils/common/dlist.h"

#include "utils/kx/kx.h"

namespace ZmLib {

void DListBase::AddTail(DListEnt* entry)
{
    if (!KX_VERIFY(KxSys, entry))
        return;
    entry->Next = nullptr;
    entry->Prev = Last;
    if (Last)
        Last->Next = entry;
    else
        First = entry;
    Last = entry;
    ++Count;
}

void DListBase::AddHead(DListEnt* entry)
{
    if (!KX_VERIFY(KxSys, entry))
        return;
    entry->Prev = nullptr;
    entry->Next = First;
    if (First)
        First->Prev = entry;
    else
        Last = entry;
    First = entry;
    ++Count;
}

void DListBase::AddAfter(DListEnt* entry, DListEnt* newentry)
{
    // After the last entry (or after nothing in an empty list) is the tail.
    if (entry == Last) {
        AddTail(newentry);
        return;
    }
    if (!KX_VERIFY(KxSys, entry && newentry))
        return;
    KX_ASSERT(KxSys, entry->Next);
    newentry->Prev = entry;
    newentry->Next = entry->Next;
    entry->Next->Prev = newentry;
    entry->Next = newentry;
    ++Count;
}

void DListBase::AddBefore(DListEnt* entry, DListEnt* newentry)
{
    if (!KX_VERIFY(KxSys, entry && newentry))
        return;
    if (entry == First) {
        AddHead(newentry);
        return;
    }
    if (!KX_VERIFY(KxSys, entry->Prev))
        return;
    newentry->Next = entry;
    newentry->Prev = entry->Prev;
    entry->Prev->Next = newentry;
    entry->Prev = newentry;
    ++Count;
}

DListEnt* DListBase::Remove(DListEnt* entry)
{
    if (IsEmpty()) {
        if (entry)
            KX_VERIFY(KxSys, !IsEmpty());
        return nullptr;
    }
    if (!KX_VERIFY(KxSys, entry))
        return nullptr;
    // An unlinked entry would otherwise cut the list at First or Last.
    if (!KX_VERIFY(KxSys, entry->Prev || entry == First) || !KX_VERIFY(KxSys, entry->Next || entry == Last))
        return nullptr;
    if (entry->Prev)
        entry->Prev->Next = entry->Next;
    else
        First = entry->Next;
    if (entry->Next)
        entry->Next->Prev = entry->Prev;
    else
        Last = entry->Prev;
    entry->Next = nullptr;
    entry->Prev = nullptr;
    --Count;
    return entry;
}

} // namespace ZmLib
