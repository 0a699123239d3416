#pragma once

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"

// Character classes: each matches one byte and moves one place in its direction.

class CRangeElxT : public ElxInterface {
public:
    CRangeElxT(bool rightToLeft, bool positive) : m_rightToLeft(rightToLeft), m_positive(positive) {}

    // Bounds compare as signed bytes, so a range written across 0x7F/0x80 holds nothing.
    void AddRange(char low, char high);
    void AddChar(char c) { m_chars.Push(c); }
    void AddElement(const ElxInterface* element) { m_elements.Push(element); }
    // Adds the other case of the ASCII letters held by ranges and single members.
    void FoldCase();

    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    bool InRanges(signed char c) const;
    bool InChars(signed char c) const;
    bool IsMember(RegexMatchContext& context, signed char c) const;

    CBufferT<int> m_ranges;
    CBufferT<char> m_chars;
    CBufferT<const ElxInterface*> m_elements;
    bool m_rightToLeft;
    bool m_positive;
};

using RegexPosixClass = bool (*)(unsigned char);

// [:name:]; bytes from 0x80 up belong to no class.
class CPosixElxT : public ElxInterface {
public:
    CPosixElxT(RegexPosixClass test, bool rightToLeft, bool positive)
        : m_test(test), m_rightToLeft(rightToLeft), m_positive(positive) {}
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    RegexPosixClass m_test;
    bool m_rightToLeft;
    bool m_positive;
};
