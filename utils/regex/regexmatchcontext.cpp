#include "utils/regex/regexmatchcontext.h"

void RegexVisitMemo::Clear()
{
    if (m_count == 0)
        return;
    for (int i = 0; i < m_keys.GetSize(); ++i)
        m_keys[i] = -1;
    m_count = 0;
}

void RegexVisitMemo::Rehash(int capacity)
{
    CBufferT<long long> keys;
    CBufferT<int> rooms;
    keys.Grow(capacity, -1);
    rooms.Grow(capacity, 0);
    keys.Swap(m_keys);
    rooms.Swap(m_rooms);
    for (int i = 0; i < keys.GetSize(); ++i) {
        if (keys[i] < 0)
            continue;
        const int slot = Slot(keys[i]);
        m_keys[slot] = keys[i];
        m_rooms[slot] = rooms[i];
    }
}

int RegexVisitMemo::Slot(long long key) const
{
    const int mask = m_keys.GetSize() - 1;
    int slot = static_cast<int>(static_cast<unsigned long long>(key) * 0x9E3779B97F4A7C15ULL >> 33) & mask;
    while (m_keys[slot] >= 0 && m_keys[slot] != key)
        slot = (slot + 1) & mask;
    return slot;
}

bool RegexVisitMemo::Covers(int entry, int position, int room) const
{
    if (m_keys.GetSize() == 0)
        return false;
    const long long key = static_cast<long long>(entry) << 32 | static_cast<unsigned int>(position);
    const int slot = Slot(key);
    return m_keys[slot] == key && m_rooms[slot] >= room;
}

bool RegexVisitMemo::Enter(int entry, int position, int room)
{
    const long long key = static_cast<long long>(entry) << 32 | static_cast<unsigned int>(position);
    if (m_keys.GetSize() > 0) {
        const int slot = Slot(key);
        if (m_keys[slot] == key) {
            if (m_rooms[slot] >= room)
                return false;
            m_rooms[slot] = room;
            return true;
        }
    }
    if (m_count >= kMaxEntries)
        return true;
    // Kept at most half full, so a probe always ends at a free slot.
    if (2 * (m_count + 1) > m_keys.GetSize())
        Rehash(m_keys.GetSize() < 64 ? 64 : 2 * m_keys.GetSize());
    const int slot = Slot(key);
    m_keys[slot] = key;
    m_rooms[slot] = room;
    ++m_count;
    return true;
}

void RegexMatchContext::Reset(const char* text, int length, long long steps)
{
    m_stack.Truncate(0);
    m_captures.Truncate(0);
    m_captureIndex.Truncate(0);
    m_position = 0;
    m_startPosition = 0;
    m_sequence = 0;
    m_recursionBudget = kRecursionBudget;
    m_nestingBudget = kNestingBudget;
    m_text = text;
    m_length = length;
    m_stepsLeft = steps;
    m_limitExceeded = false;
    m_entrySerial = 0;
    m_visits.Clear();
    m_pruneEnds = true;
}

int RegexMatchContext::FindCapture(int group) const
{
    if (group < 0 || group >= m_captureIndex.GetSize())
        return -1;
    int offset = m_captureIndex[group];
    return offset < 0 ? -1 : FindCaptureFrom(group, offset);
}

int RegexMatchContext::FindCaptureFrom(int group, int offset) const
{
    // The index may point past entries that a lookaround or a possessive part dropped.
    int last = m_captures.GetSize() - kCaptureEntry;
    if (offset > last)
        offset = last;
    for (; offset >= 0; offset -= kCaptureEntry) {
        if (m_captures[offset] == group)
            return offset;
    }
    return -1;
}

void RegexMatchContext::PushCapture(int group, int start, int end, int slot)
{
    const int entry[kCaptureEntry] = {group, start, end, slot};
    m_captures.Append(entry, kCaptureEntry);
}
