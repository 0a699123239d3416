#pragma once

#include "utils/regex/cbuffer.h"

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

    void Reset(const char* text, int length);

    // Offset in the capture stack of the group's latest entry, -1 when there is none.
    int FindCapture(int group) const;
    // The same search, starting at the entry at `offset` and going back to the stack's start.
    int FindCaptureFrom(int group, int offset) const;
    void PushCapture(int group, int start, int end, int slot);

    CBufferT<int> m_stack;
    CBufferT<int> m_captures;
    CBufferT<int> m_captureIndex;
    // Scratch for the offered ends of the greedy elements backtracking at the moment, innermost
    // last; each takes its set away again, so a match allocates only when the scratch grows.
    CSortedBufferT<int> m_offeredEnds;
    int m_position = 0;
    int m_startPosition = 0;
    int m_lastEnd = -1;
    int m_sequence = 0;
    int m_recursionBudget = kRecursionBudget;
    const char* m_text = nullptr;
    int m_length = 0;
    int m_nestingBudget = kNestingBudget;
};
