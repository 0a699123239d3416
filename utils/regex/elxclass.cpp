#include "utils/regex/elxclass.h"

#include "utils/regex/regexmatchcontext.h"

int RegexByteSet::OnlyMissing() const
{
    int missing = -1;
    for (int c = 0; c < 256; ++c) {
        if (Has(static_cast<unsigned char>(c)))
            continue;
        if (missing >= 0)
            return -2;
        missing = c;
    }
    return missing;
}

bool CByteClassElxT::Match(RegexMatchContext& context) const
{
    const int pos = m_rightToLeft ? context.m_position - 1 : context.m_position;
    if (pos < 0 || pos >= context.m_length || !m_bytes.Has(static_cast<unsigned char>(context.m_text[pos])))
        return false;
    context.m_position += m_rightToLeft ? -1 : 1;
    return true;
}

bool CByteClassElxT::MatchNext(RegexMatchContext& context) const
{
    // A class matches one way only: it moves back and fails.
    context.m_position += m_rightToLeft ? 1 : -1;
    return false;
}

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

bool CRangeElxT::IsMember(unsigned char c) const
{
    const signed char value = static_cast<signed char>(c);
    if (InRanges(value) || InChars(value))
        return true;
    for (int i = 0; i < m_elements.GetSize(); ++i) {
        if (m_elements[i]->Bytes().Has(c))
            return true;
    }
    return false;
}

void CRangeElxT::Seal()
{
    m_bytes = RegexByteSet();
    for (int c = 0; c < 256; ++c) {
        if (IsMember(static_cast<unsigned char>(c)) == m_positive)
            m_bytes.Add(static_cast<unsigned char>(c));
    }
}

CPosixElxT::CPosixElxT(RegexPosixClass test, bool rightToLeft, bool positive) : CByteClassElxT(rightToLeft)
{
    for (int c = 0; c < 256; ++c) {
        if (test && test(static_cast<unsigned char>(c)) == positive)
            m_bytes.Add(static_cast<unsigned char>(c));
    }
}
