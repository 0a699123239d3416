#pragma once

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"

// Elements that run an inner part under special rules: lookaround, atomic groups, conditionals
// and recursion.

class CAssertElxT : public ElxInterface {
public:
    CAssertElxT(const ElxInterface* inner, bool positive) : m_inner(inner), m_positive(positive) {}
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    const ElxInterface* m_inner;
    bool m_positive;
};

class CIndependentElxT : public ElxInterface {
public:
    explicit CIndependentElxT(const ElxInterface* inner) : m_inner(inner) {}
    const ElxInterface* GetInner() const { return m_inner; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    const ElxInterface* m_inner;
};

class CConditionElxT : public ElxInterface {
public:
    // A condition tests either whether group `number` has a capture (number >= 0), or, with
    // number -1, whether `condition` matches here (no condition counts as true).
    CConditionElxT() = default;
    void SetGroup(int number) { m_number = number; m_condition = nullptr; }
    void SetCondition(const ElxInterface* condition) { m_number = -1; m_condition = condition; }
    void SetName(const CBufferT<char>& name) { m_name = name; }
    const CBufferT<char>& GetName() const { return m_name; }
    // A missing branch matches the empty string.
    void SetBranches(const ElxInterface* yes, const ElxInterface* no) { m_yes = yes; m_no = no; }
    const ElxInterface* GetYes() const { return m_yes; }
    const ElxInterface* GetNo() const { return m_no; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    bool Test(RegexMatchContext& context) const;

    int m_number = -1;
    CBufferT<char> m_name;
    const ElxInterface* m_condition = nullptr;
    const ElxInterface* m_yes = nullptr;
    const ElxInterface* m_no = nullptr;
};

// (?R), (?n), (?R<name>): matches the target group's element again at the current position.
class CDelegateElxT : public ElxInterface {
public:
    // A named recursion carries -3 until the builder resolves its name.
    explicit CDelegateElxT(int number) : m_number(number) {}
    int GetNumber() const { return m_number; }
    void SetNumber(int number) { m_number = number; }
    void SetName(const CBufferT<char>& name) { m_name = name; }
    const CBufferT<char>& GetName() const { return m_name; }
    // `nesting` is the group nesting inside the target, which bounds the machine stack one more
    // level of recursion uses. Without a target the element matches the empty string.
    void SetTarget(const ElxInterface* target, int nesting) { m_target = target; m_nesting = nesting; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    const ElxInterface* m_target = nullptr;
    int m_number;
    CBufferT<char> m_name;
    int m_nesting = 1;
};
