#include "utils/regex/elxrepeat.h"

#include <cstring>

#include "utils/regex/elxclass.h"
#include "utils/regex/elxsequence.h"
#include "utils/regex/regexmatchcontext.h"

CRepeatElxT::CRepeatElxT(const ElxInterface* inner, int count)
    : m_inner(inner),
      m_bytes(dynamic_cast<const CByteClassElxT*>(inner)),
      m_onlyMissing(m_bytes ? m_bytes->Bytes().OnlyMissing() : -2),
      m_count(count)
{
}

int CRepeatElxT::ScanBytes(const RegexMatchContext& context, int limit) const
{
    const RegexByteSet& set = m_bytes->Bytes();
    const unsigned char* text = reinterpret_cast<const unsigned char*>(context.m_text);
    const int pos = context.m_position;
    int count = 0;
    if (m_bytes->RightToLeft()) {
        while (count < limit && pos - count > 0 && set.Has(text[pos - count - 1]))
            ++count;
    } else {
        const int room = context.m_length - pos;
        const int end = limit < room ? limit : room;
        if (m_onlyMissing >= -1) {
            // `.` and its like: up to the one byte they refuse.
            const void* stop = m_onlyMissing < 0 ? nullptr : std::memchr(text + pos, m_onlyMissing, static_cast<size_t>(end));
            return stop ? static_cast<int>(static_cast<const unsigned char*>(stop) - (text + pos)) : end;
        }
        while (count < end && set.Has(text[pos + count]))
            ++count;
    }
    return count;
}

void CRepeatElxT::MoveBytes(RegexMatchContext& context, int count) const
{
    context.m_position += m_bytes->RightToLeft() ? -count : count;
}

bool CRepeatElxT::Run(RegexMatchContext& context, int step, bool forward) const
{
    return RunSteps<true>(context, m_count, step, forward, [this](int) { return m_inner; });
}

bool CRepeatElxT::MatchFixed(RegexMatchContext& context) const
{
    if (m_count < 1)
        return true;
    if (!m_bytes)
        return Run(context, 0, true);
    context.CountSteps();
    if (ScanBytes(context, m_count) < m_count)
        return false;
    MoveBytes(context, m_count);
    return true;
}

bool CRepeatElxT::MatchNextFixed(RegexMatchContext& context) const
{
    if (m_count < 1)
        return false;
    if (!m_bytes)
        return Run(context, m_count, false);
    // Every iteration of a class matches one way only.
    MoveBytes(context, -m_count);
    return false;
}

bool CRepeatElxT::Match(RegexMatchContext& context) const { return MatchFixed(context); }

bool CRepeatElxT::MatchNext(RegexMatchContext& context) const { return MatchNextFixed(context); }

int CRepeatElxT::NewEntry(RegexMatchContext& context)
{
    const int entry = context.m_entrySerial;
    context.m_entrySerial = (entry + 1) & 0x7FFFFFFF;
    return entry;
}

int CRepeatElxT::Room(const RegexMatchContext& context, long long left)
{
    // Each further iteration moves at least one byte, so the text bounds the room as well.
    const int position = context.m_position;
    const int after = context.m_length - position;
    const int textRoom = position > after ? position : after;
    return left < textRoom ? static_cast<int>(left) : textRoom;
}

// The greedy and lazy repeats remember, per entry, the ends they have offered and fully tried:
// an end offered with some room for further iterations, whose way on failed, fails again when it
// comes back with no more room. Ways that come back to such an end are passed over. That keeps
// (a|aa)*b and its like polynomial. It holds only while the rest of the pattern does not read
// captures, so patterns with back references or conditions search without it.

// The greedy element keeps, above each extra iteration's own records, the position where that
// iteration began, and on top {entry, count}.

bool CGreedyElxT::Tried(RegexMatchContext& context, int entry, int count) const
{
    return context.m_pruneEnds && context.m_visits.Covers(entry, context.m_position, Room(context, 0LL + m_extra - count));
}

void CGreedyElxT::Offer(RegexMatchContext& context, int entry, int count) const
{
    if (context.m_pruneEnds)
        context.m_visits.Enter(entry, context.m_position, Room(context, 0LL + m_extra - count));
    context.m_stack.Push(entry);
    context.m_stack.Push(count);
}

bool CGreedyElxT::SkipWays(RegexMatchContext& context, int entry, int start, int count) const
{
    // An iteration that matches nothing is never counted, or (x*)* would not end.
    while (context.m_position == start || Tried(context, entry, count + 1)) {
        context.CountSteps();
        if (!m_inner->MatchNext(context))
            return false;
    }
    return true;
}

int CGreedyElxT::Extend(RegexMatchContext& context, int entry, int count) const
{
    while (count < m_extra) {
        context.CountSteps();
        const int position = context.m_position;
        if (!m_inner->Match(context) || !SkipWays(context, entry, position, count))
            break;
        context.m_stack.Push(position);
        ++count;
    }
    return count;
}

void CGreedyElxT::StartExtension(RegexMatchContext& context, int entry) const
{
    if (m_bytes) {
        // A class needs only where the extension starts and how far it went: each step back
        // gives up one byte.
        context.CountSteps();
        const int count = ScanBytes(context, m_extra);
        context.m_stack.Push(context.m_position);
        context.m_stack.Push(count);
        MoveBytes(context, count);
        return;
    }
    Offer(context, entry, Extend(context, entry, 0));
}

bool CGreedyElxT::Match(RegexMatchContext& context) const
{
    if (!MatchFixed(context))
        return false;
    StartExtension(context, m_bytes ? 0 : NewEntry(context));
    return true;
}

bool CGreedyElxT::MatchNextBytes(RegexMatchContext& context) const
{
    const int count = context.m_stack.Pop();
    const int start = context.m_stack.Pop();
    context.m_position = start;
    if (count > 0) {
        context.m_stack.Push(start);
        context.m_stack.Push(count - 1);
        MoveBytes(context, count - 1);
        return true;
    }
    return MatchNextFixed(context);
}

bool CGreedyElxT::MatchNext(RegexMatchContext& context) const
{
    context.CountSteps();
    if (m_bytes)
        return MatchNextBytes(context);
    const int count = context.m_stack.Pop();
    const int entry = context.m_stack.Pop();
    if (count > 0) {
        const int start = context.m_stack.Pop();
        if (!m_inner->MatchNext(context) || !SkipWays(context, entry, start, count - 1)) {
            // The last iteration is given up and has put the position back to its start: that
            // end is offered with one iteration fewer (with none at all, (?:a?)?a finds "a").
            Offer(context, entry, count - 1);
            return true;
        }
        // The iteration ends somewhere new: it stays, and the extension goes on from there.
        context.m_stack.Push(start);
        Offer(context, entry, Extend(context, entry, count));
        return true;
    }
    if (!MatchNextFixed(context))
        return false;
    StartExtension(context, entry);
    return true;
}

// A lazy repeat keeps {entry, count} on top of the stack, and below it the position before each
// of its iterations above that iteration's own records. The entry stays the same while the
// minimum part is backtracked: the way on from an end does not depend on how the minimum was
// matched.
bool CReluctantElxT::Match(RegexMatchContext& context) const
{
    if (!MatchFixed(context))
        return false;
    if (m_bytes) {
        context.m_stack.Push(context.m_position);
        context.m_stack.Push(0);
        return true;
    }
    const int entry = NewEntry(context);
    Visit(context, entry, 0);
    context.m_stack.Push(entry);
    context.m_stack.Push(0);
    return true;
}

bool CReluctantElxT::Visit(RegexMatchContext& context, int entry, int count) const
{
    return !context.m_pruneEnds || context.m_visits.Enter(entry, context.m_position, Room(context, 0LL + m_extra - count));
}

bool CReluctantElxT::TryOneMore(RegexMatchContext& context, int entry, int count) const
{
    const int before = context.m_position;
    if (!m_inner->Match(context))
        return false;
    // An iteration must move, and must not reach an end this entry has offered already.
    while (context.m_position == before || !Visit(context, entry, count + 1)) {
        context.CountSteps();
        if (!m_inner->MatchNext(context))
            return false;
    }
    context.m_stack.Push(before);
    context.m_stack.Push(entry);
    context.m_stack.Push(count + 1);
    return true;
}

bool CReluctantElxT::RetryIterations(RegexMatchContext& context, int entry, int count) const
{
    for (int k = count; k >= 1; --k) {
        const int before = context.m_stack.Pop();
        for (;;) {
            context.CountSteps();
            if (!m_inner->MatchNext(context))
                break;
            if (context.m_position != before && Visit(context, entry, k)) {
                context.m_stack.Push(before);
                context.m_stack.Push(entry);
                context.m_stack.Push(k);
                return true;
            }
        }
    }
    return false;
}

bool CReluctantElxT::RetryMinimum(RegexMatchContext& context, int entry) const
{
    for (;;) {
        context.CountSteps();
        if (!MatchNextFixed(context))
            return false;
        if (Visit(context, entry, 0)) {
            context.m_stack.Push(entry);
            context.m_stack.Push(0);
            return true;
        }
    }
}

bool CReluctantElxT::MatchNextBytes(RegexMatchContext& context) const
{
    const int count = context.m_stack.Pop();
    const int start = context.m_stack.Pop();
    if (count < m_extra && ScanBytes(context, 1) == 1) {
        MoveBytes(context, 1);
        context.m_stack.Push(start);
        context.m_stack.Push(count + 1);
        return true;
    }
    context.m_position = start;
    return MatchNextFixed(context);
}

bool CReluctantElxT::MatchNext(RegexMatchContext& context) const
{
    context.CountSteps();
    if (m_bytes)
        return MatchNextBytes(context);
    const int count = context.m_stack.Pop();
    const int entry = context.m_stack.Pop();
    if (count < m_extra && TryOneMore(context, entry, count))
        return true;
    if (RetryIterations(context, entry, count))
        return true;
    return RetryMinimum(context, entry);
}

bool CPossessiveElxT::Match(RegexMatchContext& context) const
{
    const int position = context.m_position;
    const int stackSize = context.m_stack.GetSize();
    const int captureSize = context.m_captures.GetSize();
    if (!CGreedyElxT::Match(context))
        return false;
    context.CountSpan(position);
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
