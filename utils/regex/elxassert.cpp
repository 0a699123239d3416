#include "utils/regex/elxassert.h"

#include "utils/regex/regexmatchcontext.h"

bool CAssertElxT::Match(RegexMatchContext& context) const
{
    const int position = context.m_position;
    const int stackSize = context.m_stack.GetSize();
    const int captureSize = context.m_captures.GetSize();
    const bool inner = m_inner->Match(context);
    if (inner)
        context.CountSpan(position);
    const bool matched = inner == m_positive;
    context.m_stack.Truncate(stackSize);
    context.m_position = position;
    if (!matched) {
        context.m_captures.Truncate(captureSize);
        return false;
    }
    // Captures made inside a positive lookaround stay until this element is backtracked.
    context.m_stack.Push(captureSize);
    return true;
}

bool CAssertElxT::MatchNext(RegexMatchContext& context) const
{
    context.m_captures.Truncate(context.m_stack.Pop());
    return false;
}

bool CIndependentElxT::Match(RegexMatchContext& context) const
{
    const int position = context.m_position;
    const int stackSize = context.m_stack.GetSize();
    const int captureSize = context.m_captures.GetSize();
    const bool matched = m_inner->Match(context);
    context.m_stack.Truncate(stackSize);
    if (matched) {
        context.CountSpan(position);
        context.m_stack.Push(position);
        context.m_stack.Push(captureSize);
    }
    return matched;
}

bool CIndependentElxT::MatchNext(RegexMatchContext& context) const
{
    context.m_captures.Truncate(context.m_stack.Pop());
    context.m_position = context.m_stack.Pop();
    return false;
}

bool CConditionElxT::Test(RegexMatchContext& context) const
{
    if (m_number >= 0)
        return context.FindCapture(m_number) >= 0;
    if (!m_condition)
        return true;
    const int position = context.m_position;
    const int stackSize = context.m_stack.GetSize();
    const bool matched = m_condition->Match(context);
    if (matched)
        context.CountSpan(position);
    context.m_stack.Truncate(stackSize);
    context.m_position = position;
    return matched;
}

bool CConditionElxT::Match(RegexMatchContext& context) const
{
    const int captureSize = context.m_captures.GetSize();
    const bool condition = Test(context);
    const ElxInterface* branch = condition ? m_yes : m_no;
    if (branch && !branch->Match(context)) {
        context.m_captures.Truncate(captureSize);
        return false;
    }
    context.m_stack.Push(captureSize);
    context.m_stack.Push(condition ? 1 : 0);
    return true;
}

bool CConditionElxT::MatchNext(RegexMatchContext& context) const
{
    const bool condition = context.m_stack.Pop() != 0;
    const int captureSize = context.m_stack.Pop();
    const ElxInterface* branch = condition ? m_yes : m_no;
    if (branch && branch->MatchNext(context)) {
        context.m_stack.Push(captureSize);
        context.m_stack.Push(condition ? 1 : 0);
        return true;
    }
    context.m_captures.Truncate(captureSize);
    return false;
}

bool CDelegateElxT::Match(RegexMatchContext& context) const
{
    if (!m_target)
        return true;
    if (context.m_recursionBudget < 1 || context.m_nestingBudget < m_nesting)
        return false;
    // Recursion can repeat work without backtracking, so each entry is a step.
    context.CountSteps();
    --context.m_recursionBudget;
    context.m_nestingBudget -= m_nesting;
    const bool matched = m_target->Match(context);
    ++context.m_recursionBudget;
    context.m_nestingBudget += m_nesting;
    return matched;
}

bool CDelegateElxT::MatchNext(RegexMatchContext& context) const
{
    if (!m_target)
        return false;
    // Backtracking into a recursion re-enters it as deep as matching did, so it takes the same
    // budget; otherwise a recursion reached while backtracking could go another 100 levels down.
    context.CountSteps();
    --context.m_recursionBudget;
    context.m_nestingBudget -= m_nesting;
    const bool matched = m_target->MatchNext(context);
    ++context.m_recursionBudget;
    context.m_nestingBudget += m_nesting;
    return matched;
}
