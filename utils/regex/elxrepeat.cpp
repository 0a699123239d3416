#include "utils/regex/elxrepeat.h"

#include "utils/regex/elxsequence.h"
#include "utils/regex/regexmatchcontext.h"

bool CRepeatElxT::Run(RegexMatchContext& context, int step, bool forward) const
{
    return RunSteps(context, m_count, step, forward, [this](int) { return m_inner; });
}

bool CRepeatElxT::MatchFixed(RegexMatchContext& context) const { return m_count < 1 || Run(context, 0, true); }

bool CRepeatElxT::MatchNextFixed(RegexMatchContext& context) const
{
    return m_count >= 1 && Run(context, m_count, false);
}

bool CRepeatElxT::Match(RegexMatchContext& context) const { return MatchFixed(context); }

bool CRepeatElxT::MatchNext(RegexMatchContext& context) const { return MatchNextFixed(context); }

int CGreedyElxT::Extend(RegexMatchContext& context, int count) const
{
    while (count < m_extra) {
        const int stackSize = context.m_stack.GetSize();
        const int captureSize = context.m_captures.GetSize();
        const int position = context.m_position;
        if (!m_inner->Match(context))
            break;
        if (context.m_position == position) {
            // An iteration that matches nothing is never counted, or (x*)* would not end.
            if (!m_inner->MatchNext(context))
                break;
            if (context.m_position == position) {
                context.m_stack.Truncate(stackSize);
                context.m_captures.Truncate(captureSize);
                break;
            }
        }
        ++count;
    }
    return count;
}

namespace {

// The greedy element's backtracking record, from the bottom of the stack up:
// {capture size, stack size, offered ends..., number of offered ends, extension start, count}.
void PushRecord(RegexMatchContext& context, const CGreedyElxT::Record& record, const int* ends, int count)
{
    context.m_stack.Push(record.captureSize);
    context.m_stack.Push(record.stackSize);
    context.m_stack.Append(ends, count);
    context.m_stack.Push(count);
    context.m_stack.Push(record.start);
    context.m_stack.Push(record.count);
}

// Pops the record; its offered ends go to the top of the context's scratch.
CGreedyElxT::Record PopRecord(RegexMatchContext& context)
{
    CGreedyElxT::Record record;
    record.count = context.m_stack.Pop();
    record.start = context.m_stack.Pop();
    const int size = context.m_stack.Pop();
    const int from = context.m_stack.GetSize() - size;
    context.m_offeredEnds.Append(context.m_stack.GetData() + from, size);
    context.m_stack.Truncate(from);
    record.stackSize = context.m_stack.Pop();
    record.captureSize = context.m_stack.Pop();
    return record;
}

}  // namespace

void CGreedyElxT::StartExtension(RegexMatchContext& context) const
{
    Record record;
    record.captureSize = context.m_captures.GetSize();
    record.stackSize = context.m_stack.GetSize();
    record.start = context.m_position;
    record.count = Extend(context, 0);
    // The first record offers one end, the position reached.
    const int end = context.m_position;
    PushRecord(context, record, &end, 1);
}

bool CGreedyElxT::Match(RegexMatchContext& context) const
{
    if (!MatchFixed(context))
        return false;
    StartExtension(context);
    return true;
}

bool CGreedyElxT::MatchNext(RegexMatchContext& context) const
{
    CSortedBufferT<int>& scratch = context.m_offeredEnds;
    const int ends = scratch.GetSize();
    Record record = PopRecord(context);
    const bool matched = Retry(context, record, ends);
    scratch.Truncate(ends);
    return matched;
}

bool CGreedyElxT::Retry(RegexMatchContext& context, Record& record, int ends) const
{
    CSortedBufferT<int>& scratch = context.m_offeredEnds;
    if (record.count > 0) {
        if (!m_inner->MatchNext(context)) {
            // The last iteration is given up; its element has put the position back.
            --record.count;
            PushRecord(context, record, scratch.GetData() + ends, scratch.GetSize() - ends);
            return true;
        }
        if (context.m_position != record.start) {
            const int stackSize = context.m_stack.GetSize();
            const int captureSize = context.m_captures.GetSize();
            const int position = context.m_position;
            const int count = record.count;
            record.count = Extend(context, count);
            if (scratch.Find(context.m_position, ends) >= 0) {
                // This end was offered before: offer the shorter way instead.
                context.m_stack.Truncate(stackSize);
                context.m_captures.Truncate(captureSize);
                context.m_position = position;
                record.count = count;
            } else {
                scratch.Add(context.m_position, ends);
            }
            PushRecord(context, record, scratch.GetData() + ends, scratch.GetSize() - ends);
            return true;
        }
        context.m_stack.Truncate(record.stackSize);
        context.m_captures.Truncate(record.captureSize);
        context.m_position = record.start;
    }
    if (!MatchNextFixed(context))
        return false;
    StartExtension(context);
    return true;
}

bool CReluctantElxT::Match(RegexMatchContext& context) const
{
    if (!MatchFixed(context))
        return false;
    context.m_stack.Push(0);
    return true;
}

bool CReluctantElxT::TryOneMore(RegexMatchContext& context, int count) const
{
    const int before = context.m_position;
    if (!m_inner->Match(context))
        return false;
    while (context.m_position == before) {
        if (!m_inner->MatchNext(context))
            return false;
    }
    context.m_stack.Push(before);
    context.m_stack.Push(count + 1);
    return true;
}

bool CReluctantElxT::RetryIterations(RegexMatchContext& context, int count) const
{
    for (int k = count; k >= 1; --k) {
        const int before = context.m_stack.Pop();
        while (m_inner->MatchNext(context)) {
            if (context.m_position != before) {
                context.m_stack.Push(before);
                context.m_stack.Push(k);
                return true;
            }
        }
    }
    return false;
}

bool CReluctantElxT::MatchNext(RegexMatchContext& context) const
{
    const int count = context.m_stack.Pop();
    if (count < m_extra && TryOneMore(context, count))
        return true;
    if (RetryIterations(context, count))
        return true;
    if (!MatchNextFixed(context))
        return false;
    context.m_stack.Push(0);
    return true;
}

bool CPossessiveElxT::Match(RegexMatchContext& context) const
{
    const int position = context.m_position;
    const int stackSize = context.m_stack.GetSize();
    const int captureSize = context.m_captures.GetSize();
    if (!CGreedyElxT::Match(context))
        return false;
    context.m_stack.Truncate(stackSize);
    context.m_stack.Push(position);
    context.m_stack.Push(captureSize);
    return true;
}

bool CPossessiveElxT::MatchNext(RegexMatchContext& context) const
{
    context.m_captures.Truncate(context.m_stack.Pop());
    context.m_position = context.m_stack.Pop();
    return false;
}
