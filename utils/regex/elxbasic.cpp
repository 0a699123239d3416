#include "utils/regex/elxbasic.h"

#include "utils/regex/regexascii.h"
#include "utils/regex/regexmatchcontext.h"

bool CEmptyElxT::Match(RegexMatchContext&) const { return true; }

bool CEmptyElxT::MatchNext(RegexMatchContext&) const { return false; }

bool CGlobalElxT::Match(RegexMatchContext& context) const { return context.m_position == context.m_startPosition; }

bool CGlobalElxT::MatchNext(RegexMatchContext&) const { return false; }

bool CBoundaryElxT::Match(RegexMatchContext& context) const { return Test(context) == m_positive; }

bool CBoundaryElxT::MatchNext(RegexMatchContext&) const { return false; }

bool CBoundaryElxT::Test(const RegexMatchContext& context) const
{
    const int pos = context.m_position;
    const int length = context.m_length;
    const char* text = context.m_text;
    // Outside the text counts as byte 0.
    const unsigned char previous = pos > 0 && pos <= length ? static_cast<unsigned char>(text[pos - 1]) : 0;
    const unsigned char next = pos >= 0 && pos < length ? static_cast<unsigned char>(text[pos]) : 0;
    switch (m_kind) {
    case TextStart:
        return pos < 1;
    case TextEnd:
        return pos >= length;
    case TextEndBeforeNewline:
        if (pos >= length)
            return true;
        if (text[length - 1] != '\n')
            return false;
        if (pos == length - 1)
            return true;
        return length >= 2 && text[length - 2] == '\r' && pos == length - 2;
    case LineStart:
        return pos < 1 || previous == '\n' || (previous == '\r' && next != '\n');
    case LineEnd:
        return pos >= length || next == '\r' || (next == '\n' && previous != '\r');
    case WordBoundary:
        return RegexIsWordChar(previous) != RegexIsWordChar(next);
    }
    return false;
}

bool CStringElxT::Match(RegexMatchContext& context) const
{
    const int length = m_text.GetSize();
    const int from = m_rightToLeft ? context.m_position - length : context.m_position;
    if (from < 0 || from > context.m_length - length)
        return false;
    if (!RegexEqualText(context.m_text + from, m_text.GetData(), length, m_ignoreCase))
        return false;
    context.m_position = m_rightToLeft ? from : from + length;
    return true;
}

bool CStringElxT::MatchNext(RegexMatchContext& context) const
{
    context.m_position += m_rightToLeft ? m_text.GetSize() : -m_text.GetSize();
    return false;
}

bool CBackrefElxT::Match(RegexMatchContext& context) const
{
    if (m_number < 0 || m_number >= context.m_captureIndex.GetSize())
        return false;
    const int entry = context.FindCapture(m_number);
    if (entry < 0)
        return false;
    int start = context.m_captures[entry + 1];
    int end = context.m_captures[entry + 2];
    // A group still open (a reference inside its own group) reaches up to here.
    if (end == -1)
        end = context.m_position;
    if (start > end) {
        const int swap = start;
        start = end;
        end = swap;
    }
    const int length = end - start;
    const int from = m_rightToLeft ? context.m_position - length : context.m_position;
    if (from < 0 || from > context.m_length - length)
        return false;
    if (!RegexEqualText(context.m_text + from, context.m_text + start, length, m_ignoreCase))
        return false;
    context.m_stack.Push(context.m_position);
    context.m_position = m_rightToLeft ? from : from + length;
    return true;
}

bool CBackrefElxT::MatchNext(RegexMatchContext& context) const
{
    context.m_position = context.m_stack.Pop();
    return false;
}
