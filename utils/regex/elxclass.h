#pragma once

#include <cstdint>

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"

// Character classes: each matches one byte and moves one place in its direction.

// The bytes a class accepts, one bit per byte value.
class RegexByteSet {
public:
    bool Has(unsigned char c) const { return (m_bits[c >> 6] >> (c & 63)) & 1; }
    void Add(unsigned char c) { m_bits[c >> 6] |= uint64_t{1} << (c & 63); }
    void AddAll(const RegexByteSet& other)
    {
        for (int i = 0; i < 4; ++i)
            m_bits[i] |= other.m_bits[i];
    }
    bool Meets(const RegexByteSet& other) const
    {
        return ((m_bits[0] & other.m_bits[0]) | (m_bits[1] & other.m_bits[1]) | (m_bits[2] & other.m_bits[2]) |
                (m_bits[3] & other.m_bits[3])) != 0;
    }
    // The one byte the set lacks, -1 when it lacks none, -2 when it lacks more than one.
    int OnlyMissing() const;

private:
    uint64_t m_bits[4] = {};
};

// What every class shares: the accepted bytes are settled once when the class is complete, so a
// match tests one bit however the class was written.
class CByteClassElxT : public ElxInterface {
public:
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

    const RegexByteSet& Bytes() const { return m_bytes; }
    bool RightToLeft() const { return m_rightToLeft; }

protected:
    explicit CByteClassElxT(bool rightToLeft) : m_rightToLeft(rightToLeft) {}

    RegexByteSet m_bytes;
    bool m_rightToLeft;
};

class CRangeElxT : public CByteClassElxT {
public:
    CRangeElxT(bool rightToLeft, bool positive) : CByteClassElxT(rightToLeft), m_positive(positive) {}

    // Bounds compare as signed bytes, so a range written across 0x7F/0x80 holds nothing.
    void AddRange(char low, char high);
    void AddChar(char c) { m_chars.Push(c); }
    void AddElement(const CByteClassElxT* element) { m_elements.Push(element); }
    // Adds the other case of the ASCII letters held by ranges and single members.
    void FoldCase();
    // Settles the accepted bytes; called once the members are all added.
    void Seal();

private:
    bool InRanges(signed char c) const;
    bool InChars(signed char c) const;
    bool IsMember(unsigned char c) const;

    CBufferT<int> m_ranges;
    CBufferT<char> m_chars;
    CBufferT<const CByteClassElxT*> m_elements;
    bool m_positive;
};

using RegexPosixClass = bool (*)(unsigned char);

// [:name:]; bytes from 0x80 up belong to no class.
class CPosixElxT : public CByteClassElxT {
public:
    CPosixElxT(RegexPosixClass test, bool rightToLeft, bool positive);
};
