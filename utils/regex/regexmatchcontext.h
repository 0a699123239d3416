#pragma once

#include "utils/regex/cbuffer.h"

// Everything one match attempt changes. The capture stack holds entries of four ints:
// {group, start, end (-1 while open), nesting/sequence slot}.
class RegexMatchContext {
public:
    static constexpr int kCaptureEntry = 4;
    // Nested recursions allowed before a recursion fails instead of going deeper.
    static constexpr int kRecursionBudget = 100;
    // Group nesting that recursions may add on top of the pattern's own; bounds the machine
    // stack a deep pattern that recurses into itself can use.
    static constexpr int kNestingBudget = 2000;

    void Reset(const char* text, int length);

    // Offset in the capture stack of the group's latest entry, -1 when there is none.
    int FindCapture(int group) const;
    // The same search, starting at the entry at `offset` and going back to the stack's start.
    int FindCaptureFrom(int group, int offset) const;
    void PushCapture(int group, int start, int end, int slot);

    CBufferT<int> m_stack;
    CBufferT<int> m_captures;
    CBufferT<int> m_captureIndex;
    int m_position = 0;
    int m_startPosition = 0;
    int m_lastEnd = -1;
    int m_sequence = 0;
    int m_recursionBudget = kRecursionBudget;
    const char* m_text = nullptr;
    int m_length = 0;
    int m_nestingBudget = kNestingBudget;
};
