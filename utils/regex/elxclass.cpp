#include "utils/regex/elxclass.h"

#include "utils/regex/regexmatchcontext.h"

namespace {

// The byte a class element looks at, or -1 at the edge of the text in its direction.
int ByteAhead(const RegexMatchContext& context, bool rightToLeft)
{
    const int pos = rightToLeft ? context.m_position - 1 : context.m_position;
    if (pos < 0 || pos >= context.m_length)
        return -1;
    return static_cast<unsigned char>(context.m_text[pos]);
}

// Moves one place in the element's direction, or back by one when `forward` is false.
void Step(RegexMatchContext& context, bool rightToLeft, bool forward)
{
    context.m_position += rightToLeft == forward ? -1 : 1;
}

// The MatchNext of every class: a class matches one way only, so it moves back and fails.
bool UndoClassStep(RegexMatchContext& context, bool rightToLeft)
{
    Step(context, rightToLeft, false);
    return false;
}

}  // namespace

void CRangeElxT::AddRange(char low, char high)
{
    m_ranges.Push(static_cast<signed char>(low));
    m_ranges.Push(static_cast<signed char>(high));
}

bool CRangeElxT::InRanges(signed char c) const
{
    for (int i = 0; i < m_ranges.GetSize(); i += 2) {
        if (c >= m_ranges[i] && c <= m_ranges[i + 1])
            return true;
    }
    return false;
}

bool CRangeElxT::InChars(signed char c) const
{
    for (int i = 0; i < m_chars.GetSize(); ++i) {
        if (static_cast<signed char>(m_chars[i]) == c)
            return true;
    }
    return false;
}

void CRangeElxT::FoldCase()
{
    const int ranges = m_ranges.GetSize();
    for (int i = 0; i < ranges; i += 2) {
        const int low = m_ranges[i];
        const int high = m_ranges[i + 1];
        for (int upper = 0; upper < 2; ++upper) {
            // Overlap with A-Z maps to lower case, overlap with a-z to upper case.
            const int first = upper ? 'a' : 'A';
            const int last = upper ? 'z' : 'Z';
            const int shift = upper ? -32 : 32;
            const int a = low > first ? low : first;
            const int b = high < last ? high : last;
            if (a <= b && !(low <= a + shift && b + shift <= high)) {
                m_ranges.Push(a + shift);
                m_ranges.Push(b + shift);
            }
        }
    }
    const int chars = m_chars.GetSize();
    for (int i = 0; i < chars; ++i) {
        const signed char c = static_cast<signed char>(m_chars[i]);
        signed char other = c;
        if (c >= 'A' && c <= 'Z')
            other = static_cast<signed char>(c + 32);
        else if (c >= 'a' && c <= 'z')
            other = static_cast<signed char>(c - 32);
        if (other != c && !InRanges(other) && !InChars(other))
            m_chars.Push(static_cast<char>(other));
    }
}

bool CRangeElxT::IsMember(RegexMatchContext& context, signed char c) const
{
    if (InRanges(c) || InChars(c))
        return true;
    const int pos = context.m_position;
    for (int i = 0; i < m_elements.GetSize(); ++i) {
        if (m_elements[i]->Match(context)) {
            context.m_position = pos;
            return true;
        }
    }
    return false;
}

bool CRangeElxT::Match(RegexMatchContext& context) const
{
    const int c = ByteAhead(context, m_rightToLeft);
    if (c < 0 || IsMember(context, static_cast<signed char>(c)) != m_positive)
        return false;
    Step(context, m_rightToLeft, true);
    return true;
}

bool CRangeElxT::MatchNext(RegexMatchContext& context) const { return UndoClassStep(context, m_rightToLeft); }

bool CPosixElxT::Match(RegexMatchContext& context) const
{
    const int c = ByteAhead(context, m_rightToLeft);
    if (c < 0 || m_test(static_cast<unsigned char>(c)) != m_positive)
        return false;
    Step(context, m_rightToLeft, true);
    return true;
}

bool CPosixElxT::MatchNext(RegexMatchContext& context) const { return UndoClassStep(context, m_rightToLeft); }
