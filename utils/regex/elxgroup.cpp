#include "utils/regex/elxgroup.h"

#include "utils/regex/elxsequence.h"
#include "utils/regex/regexmatchcontext.h"

const ElxInterface* CListElxT::Item(int step) const
{
    return m_items[m_rightToLeft ? m_items.GetSize() - 1 - step : step];
}

bool CListElxT::Run(RegexMatchContext& context, int step, bool forward) const
{
    return RunSteps<false>(context, m_items.GetSize(), step, forward, [this](int at) { return Item(at); });
}

bool CListElxT::Match(RegexMatchContext& context) const { return Run(context, 0, true); }

bool CListElxT::MatchNext(RegexMatchContext& context) const
{
    return m_items.GetSize() > 0 && Run(context, m_items.GetSize(), false);
}

bool CAlternativeElxT::MatchFrom(RegexMatchContext& context, int first) const
{
    for (int i = first; i < m_items.GetSize(); ++i) {
        if (m_items[i]->Match(context)) {
            context.m_stack.Push(i);
            return true;
        }
    }
    return false;
}

bool CAlternativeElxT::Match(RegexMatchContext& context) const
{
    return m_items.GetSize() == 0 || MatchFrom(context, 0);
}

bool CAlternativeElxT::MatchNext(RegexMatchContext& context) const
{
    if (m_items.GetSize() == 0)
        return false;
    context.CountSteps();
    const int index = context.m_stack.Pop();
    if (m_items[index]->MatchNext(context)) {
        context.m_stack.Push(index);
        return true;
    }
    return MatchFrom(context, index + 1);
}

bool CBracketElxT::Match(RegexMatchContext& context) const
{
    if (m_number < 0)
        return false;
    if (m_closing)
        Close(context);
    else
        Open(context);
    return true;
}

bool CBracketElxT::MatchNext(RegexMatchContext& context) const
{
    if (m_closing)
        Unclose(context);
    else
        Reopen(context);
    return false;
}

void CBracketElxT::Open(RegexMatchContext& context) const
{
    context.m_captureIndex.Grow(m_number + 1, -1);
    const int entry = context.FindCapture(m_number);
    if (entry >= 0 && context.m_captures[entry + 2] == -1) {
        // A recursion enters the group again while it is open: only count the nesting.
        --context.m_captures[entry + 3];
        return;
    }
    context.m_captureIndex[m_number] = context.m_captures.GetSize();
    context.PushCapture(m_number, context.m_position, -1, 0);
}

void CBracketElxT::Reopen(RegexMatchContext& context) const
{
    const int entry = context.FindCapture(m_number);
    if (entry < 0)
        return;
    if (context.m_captures[entry + 3] >= 0) {
        const int last = context.m_captures.GetSize() - RegexMatchContext::kCaptureEntry;
        context.m_captures.Truncate(last);
        context.m_captureIndex[m_number] = context.FindCaptureFrom(m_number, last - RegexMatchContext::kCaptureEntry);
    } else {
        ++context.m_captures[entry + 3];
    }
}

void CBracketElxT::Close(RegexMatchContext& context) const
{
    const int entry = context.FindCapture(m_number);
    if (entry < 0)
        return;
    if (context.m_captures[entry + 3] >= 0) {
        context.m_captures[entry + 2] = context.m_position;
        context.m_captures[entry + 3] = context.m_sequence++;
    } else {
        ++context.m_captures[entry + 3];
    }
}

void CBracketElxT::Unclose(RegexMatchContext& context) const
{
    const int entry = context.FindCapture(m_number);
    if (entry < 0)
        return;
    if (context.m_captures[entry + 2] == -1) {
        --context.m_captures[entry + 3];
    } else {
        context.m_captures[entry + 2] = -1;
        context.m_captures[entry + 3] = 0;
    }
}
