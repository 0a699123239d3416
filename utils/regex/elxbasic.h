#pragma once

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"

// Elements that match a fixed thing at one place: nothing, an anchor, a literal run, a back reference.

class CEmptyElxT : public ElxInterface {
public:
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;
};

// \G with the global flag: matches where the attempt began.
class CGlobalElxT : public ElxInterface {
public:
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;
};

class CBoundaryElxT : public ElxInterface {
public:
    enum Kind {
        TextStart = 0,
        TextEnd = 1,
        TextEndBeforeNewline = 2,
        LineStart = 3,
        LineEnd = 4,
        WordBoundary = 7,
    };

    CBoundaryElxT(Kind kind, bool positive) : m_kind(kind), m_positive(positive) {}
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    bool Test(const RegexMatchContext& context) const;

    Kind m_kind;
    bool m_positive;
};

class CStringElxT : public ElxInterface {
public:
    CStringElxT(bool rightToLeft, bool ignoreCase) : m_rightToLeft(rightToLeft), m_ignoreCase(ignoreCase) {}
    void Append(char c) { m_text.Push(c); }
    const CBufferT<char>& GetText() const { return m_text; }
    bool IgnoreCase() const { return m_ignoreCase; }
    bool RightToLeft() const { return m_rightToLeft; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    CBufferT<char> m_text;
    bool m_rightToLeft;
    bool m_ignoreCase;
};

class CBackrefElxT : public ElxInterface {
public:
    // A named reference carries -1 until the builder resolves its name.
    CBackrefElxT(int number, bool rightToLeft, bool ignoreCase)
        : m_number(number), m_rightToLeft(rightToLeft), m_ignoreCase(ignoreCase) {}
    void SetNumber(int number) { m_number = number; }
    void SetName(const CBufferT<char>& name) { m_name = name; }
    const CBufferT<char>& GetName() const { return m_name; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    int m_number;
    bool m_rightToLeft;
    bool m_ignoreCase;
    CBufferT<char> m_name;
};
