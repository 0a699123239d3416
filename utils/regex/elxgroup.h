#pragma once

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"

// Sequences, alternatives and the capture marks around a group.

class CListElxT : public ElxInterface {
public:
    explicit CListElxT(bool rightToLeft) : m_rightToLeft(rightToLeft) {}
    void Add(const ElxInterface* element) { m_items.Push(element); }
    const CBufferT<const ElxInterface*>& GetItems() const { return m_items; }
    bool RightToLeft() const { return m_rightToLeft; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    const ElxInterface* Item(int step) const;
    // Matches the items from `step` on; with `forward` false it first backtracks into the item
    // before `step`.
    bool Run(RegexMatchContext& context, int step, bool forward) const;

    CBufferT<const ElxInterface*> m_items;
    bool m_rightToLeft;
};

class CAlternativeElxT : public ElxInterface {
public:
    void Add(const ElxInterface* element) { m_items.Push(element); }
    const CBufferT<const ElxInterface*>& GetItems() const { return m_items; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    bool MatchFrom(RegexMatchContext& context, int first) const;

    CBufferT<const ElxInterface*> m_items;
};

// One of the two marks of a capturing group. The mark that the matching direction reaches first
// acts as the opening side; in a lookbehind that is the mark written last.
class CBracketElxT : public ElxInterface {
public:
    // A named group carries -1 until the builder numbers it.
    CBracketElxT(int number, bool closing) : m_number(number), m_closing(closing) {}
    int GetNumber() const { return m_number; }
    bool IsClosing() const { return m_closing; }
    void SetNumber(int number) { m_number = number; }
    void SetName(const CBufferT<char>& name) { m_name = name; }
    const CBufferT<char>& GetName() const { return m_name; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    void Open(RegexMatchContext& context) const;
    void Reopen(RegexMatchContext& context) const;
    void Close(RegexMatchContext& context) const;
    void Unclose(RegexMatchContext& context) const;

    int m_number;
    bool m_closing;
    CBufferT<char> m_name;
};
