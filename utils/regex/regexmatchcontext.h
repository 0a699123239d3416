#pragma once

#include "utils/regex/cbuffer.h"

// Thrown when a match runs out of steps; caught by the match entry, which reports it.
struct RegexMatchLimitExceeded {};

// Ends a repeat has offered, per entry of the element, with the room for further iterations it
// had there. A repeat that comes back to such an end with no more room would only repeat work
// whose continuation already failed.
class RegexVisitMemo {
public:
    void Clear();
    // Whether `entry` was at `position` before with at least `room`.
    bool Covers(int entry, int position, int room) const;
    // Records that entry `entry` reached `position` with `room` iterations left; false when it
    // was there before with at least as much room. Past kMaxEntries nothing more is recorded
    // (every call is then true), which only costs pruning, never a result.
    bool Enter(int entry, int position, int room);

    static constexpr int kMaxEntries = 1 << 20;
    // True when the memo holds more than a small match needs.
    bool IsLarge() const { return m_keys.GetSize() > 4096; }

private:
    void Rehash(int capacity);
    // The slot holding `key`, or the free slot where it would go.
    int Slot(long long key) const;

    // Open addressing; a key is entry << 32 | position, -1 marks a free slot.
    CBufferT<long long> m_keys;
    CBufferT<int> m_rooms;
    int m_count = 0;
};

// Everything one match attempt changes. The capture stack holds entries of four ints:
// {group, start, end (-1 while open), nesting/sequence slot}.
class RegexMatchContext {
public:
    static constexpr int kCaptureEntry = 4;
    // Nested recursions allowed before a recursion fails instead of going deeper.
    static constexpr int kRecursionBudget = 100;
    // Group nesting of a recursion target up to which every one of the 100 levels is allowed:
    // 50 levels of groups, the recursion's own parentheses and the target itself.
    static constexpr int kFullRecursionNesting = 52;
    // Group nesting that recursions may add on top of the pattern's own; bounds the machine
    // stack a deep pattern that recurses into itself can use, while a target nested up to
    // kFullRecursionNesting deep still gets all its levels.
    static constexpr int kNestingBudget = kRecursionBudget * kFullRecursionNesting;

    // Backtracking steps a match may take unless the builder says otherwise.
    static constexpr long long kDefaultMatchLimit = 10000000;

    // Prepares a match of `text` that may take up to `steps` backtracking steps.
    void Reset(const char* text, int length, long long steps = kDefaultMatchLimit);

    // Offset in the capture stack of the group's latest entry, -1 when there is none.
    int FindCapture(int group) const;
    // The same search, starting at the entry at `offset` and going back to the stack's start.
    int FindCaptureFrom(int group, int offset) const;
    void PushCapture(int group, int start, int end, int slot);

    // Takes `steps` from the budget; an empty budget ends the whole match.
    void CountSteps(long long steps = 1)
    {
        m_stepsLeft -= steps;
        if (m_stepsLeft < 0)
            throw RegexMatchLimitExceeded();
    }
    // Charges a part whose ways are dropped once it has matched (a possessive repeat, an atomic
    // group, a lookaround) the bytes between `from` and the position: the runs in it give none of
    // them back, so no step of backtracking pays for their scans, and a part entered at every
    // position of a long line would otherwise cost its length squared in a few steps.
    void CountSpan(int from) { CountSteps(from < m_position ? m_position - from : from - m_position); }
    // True after a match that ended because its step budget ran out.
    bool MatchLimitExceeded() const { return m_limitExceeded; }

    CBufferT<int> m_stack;
    CBufferT<int> m_captures;
    CBufferT<int> m_captureIndex;
    int m_position = 0;
    int m_startPosition = 0;
    int m_sequence = 0;
    int m_recursionBudget = kRecursionBudget;
    const char* m_text = nullptr;
    int m_length = 0;
    int m_nestingBudget = kNestingBudget;
    long long m_stepsLeft = 0;
    bool m_limitExceeded = false;
    // Numbers the entries of repeats for the memo; the memo is used only while m_pruneEnds
    // says the pattern reads no captures.
    int m_entrySerial = 0;
    RegexVisitMemo m_visits;
    bool m_pruneEnds = true;
};
