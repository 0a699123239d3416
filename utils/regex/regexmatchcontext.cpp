#include "utils/regex/regexmatchcontext.h"

void RegexMatchContext::Reset(const char* text, int length)
{
    m_stack.Truncate(0);
    m_captures.Truncate(0);
    m_captureIndex.Truncate(0);
    m_offeredEnds.Truncate(0);
    m_position = 0;
    m_startPosition = 0;
    m_lastEnd = -1;
    m_sequence = 0;
    m_recursionBudget = kRecursionBudget;
    m_nestingBudget = kNestingBudget;
    m_text = text;
    m_length = length;
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
    m_captures.Push(group);
    m_captures.Push(start);
    m_captures.Push(end);
    m_captures.Push(slot);
}
