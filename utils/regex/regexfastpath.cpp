#include "utils/regex/regexfastpath.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "utils/regex/elxassert.h"
#include "utils/regex/elxbasic.h"
#include "utils/regex/elxgroup.h"
#include "utils/regex/elxrepeat.h"
#include "utils/regex/regexascii.h"
#include "utils/regex/regexbuilder.h"

namespace {

struct FastPathGaveUp {};

// The bytes one literal byte accepts.
RegexByteSet ByteOf(char literal, bool ignoreCase)
{
    const unsigned char byte = static_cast<unsigned char>(literal);
    RegexByteSet bytes;
    bytes.Add(byte);
    if (ignoreCase) {
        bytes.Add(RegexToUpper(byte));
        bytes.Add(RegexToLower(byte));
    }
    return bytes;
}

// A length with no bound: sums and products of lengths stay there once they reach it.
constexpr long long kUnbounded = LLONG_MAX / 8;
// Rest lengths as a run compares them with the room left in the text (0 to INT_MAX): a rest of
// INT_MAX or more leaves the same ends as a longer one.
constexpr long long kRestCap = INT_MAX;

long long SumLength(long long a, long long b)
{
    return a >= kUnbounded || b >= kUnbounded || a + b >= kUnbounded ? kUnbounded : a + b;
}

long long TimesLength(long long count, long long length)
{
    if (count <= 0 || length <= 0)
        return 0;
    return count >= kUnbounded || length >= kUnbounded || count > kUnbounded / length ? kUnbounded : count * length;
}

// Nested ways of matching kept open at once; a deeper search is left to the element tree, whose
// own stack does not grow with the text.
constexpr int kMaxDepth = 1000;

// About the steps the element tree spends per node for each way the fast path tries: giving up
// after limit / (kTreeStepsPerWay * nodes) steps leaves a runaway pattern to the tree well before
// the tree's own budget would end it. It is no bound on the tree: the fast path passes over ways
// the tree tries, so it may answer where the tree alone runs out of steps.
constexpr long long kTreeStepsPerWay = 4;

}  // namespace

class RegexFastPath::Runner {
public:
    Runner(const RegexFastPath& path, RegexMatchContext& context, long long budget)
        : m_path(path),
          m_context(context),
          m_text(reinterpret_cast<const unsigned char*>(context.m_text)),
          m_length(context.m_length),
          m_captures(&context.m_captures[0]),
          m_budget(budget)
    {
    }

    bool MatchAll() { return Run(0, 0, 0, nullptr); }

private:
    // What follows the end of a sequence: the rest of an enclosing sequence, or (repeat) the
    // next iteration decision of the group repeat at (sequence, index) after `count` iterations.
    struct Continuation {
        int sequence;
        int index;
        int count;
        const Continuation* next;
        bool repeat;
    };

    class Depth {
    public:
        explicit Depth(int& depth) : m_depth(depth)
        {
            if (++m_depth > kMaxDepth)
                throw FastPathGaveUp();
        }
        ~Depth() { --m_depth; }
        Depth(const Depth&) = delete;
        Depth& operator=(const Depth&) = delete;

    private:
        int& m_depth;
    };

    bool Run(int sequence, int index, int pos, const Continuation* next);
    bool Iterate(const Continuation& repeat, int pos);
    // How a run ended: matching goes on after it at the position it settled, or it has
    // searched the rest of the pattern itself and matched or failed.
    enum class RunEnd { GoOn, Matched, Failed };
    // The shortest and the longest end of a run worth trying.
    struct Ends {
        int shortest;
        int longest;
    };
    // False when no end is worth trying; charges the ways passed over.
    bool RunEnds(const Node& node, int pos, Ends& ends);
    // Tries the ends of a run with more than one, in the run's order.
    RunEnd ClassRun(const Node& node, const Ends& ends, int sequence, int index, int& pos, const Continuation* next);
    int Scan(const Node& node, int pos) const;
    // Where the chained run started at `at` ends, given that one started at `from` ends at `end`
    // (`from` -1: none yet).
    int ChainedEnd(const Node& chained, int at, int from, int end) const;

    void Step(long long steps = 1)
    {
        m_budget -= steps;
        if (m_budget < 0)
            throw FastPathGaveUp();
    }
    // Whether what follows the run can start where the run would end.
    bool Viable(const Node& node, int at) const
    {
        return !node.hasFollow || (at < m_length ? node.follow.Has(m_text[at]) : node.followEnd);
    }
    int Mark() const { return m_context.m_stack.GetSize(); }
    void SetCapture(int group, int start, int end)
    {
        // In the outermost run no way back is open, so nothing will be undone.
        if (m_depth > 1) {
            const int entry[3] = {group, m_captures[2 * group], m_captures[2 * group + 1]};
            m_context.m_stack.Append(entry, 3);
        }
        m_captures[2 * group] = start;
        m_captures[2 * group + 1] = end;
    }
    void Undo(int mark)
    {
        CBufferT<int>& trail = m_context.m_stack;
        while (trail.GetSize() > mark) {
            const int end = trail.Pop();
            const int start = trail.Pop();
            const int group = trail.Pop();
            m_captures[2 * group] = start;
            m_captures[2 * group + 1] = end;
        }
    }

    const RegexFastPath& m_path;
    RegexMatchContext& m_context;
    const unsigned char* m_text;
    int m_length;
    int* m_captures;
    long long m_budget;
    int m_depth = 0;
};

inline int RegexFastPath::Runner::Scan(const Node& node, int pos) const
{
    const int room = m_length - pos;
    const int limit = node.maximum < room ? node.maximum : room;
    if (node.onlyMissing >= -1) {
        const void* stop =
            node.onlyMissing < 0 ? nullptr : std::memchr(m_text + pos, node.onlyMissing, static_cast<size_t>(limit));
        return stop ? static_cast<int>(static_cast<const unsigned char*>(stop) - (m_text + pos)) : limit;
    }
    int count = 0;
    while (count < limit && node.accepts.Has(m_text[pos + count]))
        ++count;
    return count;
}

inline bool RegexFastPath::Runner::RunEnds(const Node& node, int pos, Ends& ends)
{
    const int reach = Scan(node, pos);
    if (reach < node.minimum)
        return false;
    // Every place a run passes over is charged as a way: the element tree gives the bytes back
    // one by one where this does not. A possessive run gives nothing back, but its scan costs as
    // much, and a run reached at every end of an earlier one would otherwise scan the line's
    // length squared within a few steps.
    if (node.mode == Mode::Possessive) {
        Step(reach - node.minimum + 1);
        ends = Ends{reach, reach};
        return true;
    }
    // Only ends from which the rest of the pattern can reach the end of the text are tried (a
    // run whose bytes cannot start the rest, only its reach); the ways passed over are charged
    // all the same.
    const int room = m_length - pos;
    ends.shortest = std::max(node.onlyAtReach ? reach : node.minimum, room - node.restMax);
    ends.longest = std::min(reach, room - node.restMin);
    if (ends.shortest > ends.longest) {
        Step(reach - node.minimum + 1);
        return false;
    }
    if (ends.shortest == ends.longest) {
        Step(reach - node.minimum + 1);
        const int at = pos + ends.shortest;
        return Viable(node, at);
    }
    Step((reach - node.minimum) - (ends.longest - ends.shortest));
    return true;
}

RegexFastPath::Runner::RunEnd RegexFastPath::Runner::ClassRun(const Node& node, const Ends& ends, int sequence,
                                                              int index, int& pos, const Continuation* next)
{
    const int start = pos;
    const int shortest = ends.shortest;
    const int longest = ends.longest;
    const bool lazy = node.mode == Mode::Lazy;
    const int step = lazy ? 1 : -1;
    const int last = lazy ? longest : shortest;
    // With a chained run next, ways whose chained run ends where a failed one ended fail too.
    const Sequence& nodes = m_path.m_sequences[static_cast<size_t>(sequence)];
    const Node* chained = node.chained >= 0 ? &nodes[static_cast<size_t>(node.chained)] : nullptr;
    int chainedFrom = -1;
    int chainedEnd = -1;
    int failedEnd = -1;
    for (int k = lazy ? shortest : longest;; k += step) {
        const int at = start + k;
        Step();
        if (Viable(node, at)) {
            if (chained) {
                chainedEnd = ChainedEnd(*chained, at, chainedFrom, chainedEnd);
                chainedFrom = at;
            }
            if (chained && chainedEnd == failedEnd) {
                if (k == last)
                    return RunEnd::Failed;
                continue;
            }
            if (k == last) {
                // The last way needs no way back: matching goes on in place.
                pos = at;
                return RunEnd::GoOn;
            }
            const int mark = Mark();
            if (Run(sequence, index + 1, at, next))
                return RunEnd::Matched;
            Undo(mark);
            // A chained run too short for its minimum says nothing about the end.
            if (chained && chainedEnd - at >= chained->minimum)
                failedEnd = chainedEnd;
        }
        if (k == last)
            return RunEnd::Failed;
    }
}

int RegexFastPath::Runner::ChainedEnd(const Node& chained, int at, int from, int end) const
{
    // Every byte from `from` up to `end` belongs to the chained run, and the one at `end` not.
    if (from >= 0 && at >= from && at <= end)
        return end;
    if (from >= 0 && at + 1 == from)
        return chained.accepts.Has(m_text[at]) ? end : at;
    int stop = at;
    while (stop < m_length && chained.accepts.Has(m_text[stop]))
        ++stop;
    return stop;
}

bool RegexFastPath::Runner::Run(int sequence, int index, int pos, const Continuation* next)
{
    const Depth depth(m_depth);
    const Node* nodes = m_path.m_sequences[static_cast<size_t>(sequence)].data();
    int size = static_cast<int>(m_path.m_sequences[static_cast<size_t>(sequence)].size());
    for (;; ++index) {
        if (index == size) {
            if (!next)
                return pos == m_length;
            if (next->repeat)
                return Iterate(*next, pos);
            sequence = next->sequence;
            index = next->index - 1;
            next = next->next;
            nodes = m_path.m_sequences[static_cast<size_t>(sequence)].data();
            size = static_cast<int>(m_path.m_sequences[static_cast<size_t>(sequence)].size());
            continue;
        }
        const Node& node = nodes[index];
        switch (node.kind) {
        case Kind::Literal:
            if (m_length - pos < node.length ||
                !RegexEqualText(reinterpret_cast<const char*>(m_text) + pos, node.text, node.length, node.ignoreCase))
                return false;
            pos += node.length;
            break;
        case Kind::Class:
            if (pos >= m_length || !node.accepts.Has(m_text[pos]))
                return false;
            ++pos;
            break;
        case Kind::Span: {
            if (m_length - pos < node.length)
                return false;
            const ByteTable* places = &m_path.m_spanTables[static_cast<size_t>(node.first)];
            for (int i = 0; i < node.length; ++i) {
                if (!places[i].Has(m_text[pos + i]))
                    return false;
            }
            pos += node.length;
            break;
        }
        case Kind::ClassRun: {
            // Most runs of a template are left with one way, and go on in place.
            Ends ends;
            if (!RunEnds(node, pos, ends))
                return false;
            if (ends.shortest == ends.longest) {
                pos += ends.shortest;
                break;
            }
            const RunEnd end = ClassRun(node, ends, sequence, index, pos, next);
            if (end != RunEnd::GoOn)
                return end == RunEnd::Matched;
            break;
        }
        case Kind::Open:
            SetCapture(node.group, pos, -1);
            break;
        case Kind::Close:
            SetCapture(node.group, m_captures[2 * node.group], pos);
            break;
        case Kind::Anchor:
            m_context.m_position = pos;
            if (!node.anchor->Match(m_context))
                return false;
            break;
        case Kind::Alternation: {
            const Continuation after{sequence, index + 1, 0, next, false};
            for (int a = 0; a < node.count; ++a) {
                Step();
                const int mark = Mark();
                if (Run(node.first + a, 0, pos, &after))
                    return true;
                Undo(mark);
            }
            return false;
        }
        case Kind::GroupRepeat:
            return Iterate(Continuation{sequence, index, 0, next, true}, pos);
        }
    }
}

bool RegexFastPath::Runner::Iterate(const Continuation& repeat, int pos)
{
    const Node& node = m_path.m_sequences[static_cast<size_t>(repeat.sequence)][static_cast<size_t>(repeat.index)];
    const Continuation more{repeat.sequence, repeat.index, repeat.count + 1, repeat.next, true};
    if (repeat.count < node.minimum)
        return Run(node.first, 0, pos, &more);
    const bool canRepeat = repeat.count < node.maximum;
    Step();
    const int mark = Mark();
    if (node.mode == Mode::Lazy) {
        if (Run(repeat.sequence, repeat.index + 1, pos, repeat.next))
            return true;
        Undo(mark);
        return canRepeat && Run(node.first, 0, pos, &more);
    }
    if (canRepeat) {
        if (Run(node.first, 0, pos, &more))
            return true;
        Undo(mark);
    }
    return Run(repeat.sequence, repeat.index + 1, pos, repeat.next);
}

int RegexFastPath::NewSequence()
{
    m_sequences.emplace_back();
    return static_cast<int>(m_sequences.size()) - 1;
}

bool RegexFastPath::AddRepeat(int sequence, const ElxInterface* inner, int minimum, long long maximum, Mode mode)
{
    if (maximum < 1)
        return true;
    Node node{};
    node.mode = mode;
    node.minimum = minimum;
    node.maximum = maximum < INT_MAX ? static_cast<int>(maximum) : INT_MAX;
    const auto* bytes = dynamic_cast<const CByteClassElxT*>(inner);
    // A repeated single byte runs as a class of that byte.
    const auto* string = dynamic_cast<const CStringElxT*>(inner);
    if (string && string->GetText().GetSize() != 1)
        string = nullptr;
    if (bytes || string) {
        if (bytes ? bytes->RightToLeft() : string->RightToLeft())
            return false;
        node.kind = Kind::ClassRun;
        node.bytes = bytes ? bytes->Bytes() : ByteOf(string->GetText()[0], string->IgnoreCase());
        node.onlyMissing = node.bytes.OnlyMissing();
    } else {
        // A body that can match nothing would need the tree's rules for empty iterations, and a
        // possessive one its way of dropping the body's alternatives.
        if (mode == Mode::Possessive)
            return false;
        node.kind = Kind::GroupRepeat;
        node.first = NewSequence();
        if (!Add(node.first, inner) || Length(node.first, false) < 1)
            return false;
    }
    m_sequences[static_cast<size_t>(sequence)].push_back(node);
    return true;
}

bool RegexFastPath::Add(int sequence, const ElxInterface* element)
{
    Node node{};
    if (!element)
        return false;
    if (dynamic_cast<const CEmptyElxT*>(element))
        return true;
    if (const auto* string = dynamic_cast<const CStringElxT*>(element)) {
        if (string->RightToLeft())
            return false;
        if (string->GetText().GetSize() == 0)
            return true;
        node.kind = Kind::Literal;
        node.text = string->GetText().GetData();
        node.length = string->GetText().GetSize();
        node.ignoreCase = string->IgnoreCase();
    } else if (const auto* bytes = dynamic_cast<const CByteClassElxT*>(element)) {
        if (bytes->RightToLeft())
            return false;
        node.kind = Kind::Class;
        node.bytes = bytes->Bytes();
    } else if (const auto* list = dynamic_cast<const CListElxT*>(element)) {
        if (list->RightToLeft())
            return false;
        for (int i = 0; i < list->GetItems().GetSize(); ++i) {
            if (!Add(sequence, list->GetItems()[i]))
                return false;
        }
        return true;
    } else if (const auto* bracket = dynamic_cast<const CBracketElxT*>(element)) {
        const int group = bracket->GetNumber();
        if (group < 0)
            return false;
        if (static_cast<size_t>(group) >= m_groupSeen.size())
            m_groupSeen.resize(static_cast<size_t>(group) + 1, false);
        node.kind = bracket->IsClosing() ? Kind::Close : Kind::Open;
        node.group = group;
        // A group entered twice (equal names) counts its nesting in the tree's way.
        if (node.kind == Kind::Open) {
            if (m_groupSeen[static_cast<size_t>(group)])
                return false;
            m_groupSeen[static_cast<size_t>(group)] = true;
        }
    } else if (dynamic_cast<const CBoundaryElxT*>(element) || dynamic_cast<const CGlobalElxT*>(element)) {
        node.kind = Kind::Anchor;
        node.anchor = element;
    } else if (const auto* alternative = dynamic_cast<const CAlternativeElxT*>(element)) {
        const CBufferT<const ElxInterface*>& items = alternative->GetItems();
        if (items.GetSize() == 0)
            return true;
        node.kind = Kind::Alternation;
        node.count = items.GetSize();
        node.first = static_cast<int>(m_sequences.size());
        for (int i = 0; i < items.GetSize(); ++i)
            NewSequence();
        for (int i = 0; i < items.GetSize(); ++i) {
            if (!Add(node.first + i, items[i]))
                return false;
        }
    } else if (const auto* possessive = dynamic_cast<const CPossessiveElxT*>(element)) {
        return AddRepeat(sequence, possessive->GetInner(), possessive->GetMinimum(),
                         0LL + possessive->GetMinimum() + possessive->GetExtra(), Mode::Possessive);
    } else if (const auto* greedy = dynamic_cast<const CGreedyElxT*>(element)) {
        return AddRepeat(sequence, greedy->GetInner(), greedy->GetMinimum(),
                         0LL + greedy->GetMinimum() + greedy->GetExtra(), Mode::Greedy);
    } else if (const auto* lazy = dynamic_cast<const CReluctantElxT*>(element)) {
        return AddRepeat(sequence, lazy->GetInner(), lazy->GetMinimum(), 0LL + lazy->GetMinimum() + lazy->GetExtra(),
                         Mode::Lazy);
    } else if (const auto* fixed = dynamic_cast<const CRepeatElxT*>(element)) {
        return AddRepeat(sequence, fixed->GetInner(), fixed->GetMinimum(), fixed->GetMinimum(), Mode::Greedy);
    } else {
        return false;
    }
    m_sequences[static_cast<size_t>(sequence)].push_back(node);
    return true;
}

long long RegexFastPath::NodeLength(const Node& node, bool most) const
{
    switch (node.kind) {
    case Kind::Literal:
    case Kind::Span:
        return node.length;
    case Kind::Class:
        return 1;
    case Kind::ClassRun: {
        const int count = most ? node.maximum : node.minimum;
        return count == INT_MAX ? kUnbounded : count;
    }
    case Kind::GroupRepeat: {
        const int count = most ? node.maximum : node.minimum;
        return count == INT_MAX ? kUnbounded : TimesLength(count, Length(node.first, most));
    }
    case Kind::Alternation: {
        long long length = most ? 0 : kUnbounded;
        for (int a = 0; a < node.count; ++a) {
            const long long alternative = Length(node.first + a, most);
            length = (most ? alternative > length : alternative < length) ? alternative : length;
        }
        return length;
    }
    case Kind::Open:
    case Kind::Close:
    case Kind::Anchor:
        break;
    }
    return 0;
}

long long RegexFastPath::Length(int sequence, bool most) const
{
    long long length = 0;
    for (const Node& node : m_sequences[static_cast<size_t>(sequence)])
        length = SumLength(length, NodeLength(node, most));
    return length;
}

namespace {

// Places a node of one width adds to a span; 0 for a node that cannot join one.
constexpr int kMaxSpanRun = 64;

}  // namespace

void RegexFastPath::JoinSpans(Sequence& sequence)
{
    const auto width = [](const Node& node) {
        switch (node.kind) {
        case Kind::Literal:
            return node.length;
        case Kind::Class:
            return 1;
        case Kind::ClassRun:
            return node.minimum == node.maximum && node.maximum <= kMaxSpanRun ? node.maximum : 0;
        default:
            return 0;
        }
    };
    Sequence joined;
    for (size_t i = 0; i < sequence.size();) {
        size_t end = i;
        while (end < sequence.size() && width(sequence[end]) > 0)
            ++end;
        if (end - i < 2) {
            joined.push_back(sequence[i]);
            ++i;
            continue;
        }
        Node span{};
        span.kind = Kind::Span;
        span.first = static_cast<int>(m_spans.size());
        for (; i < end; ++i) {
            const Node& node = sequence[i];
            for (int place = 0; place < width(node); ++place) {
                m_spans.push_back(node.kind == Kind::Literal ? ByteOf(node.text[place], node.ignoreCase) : node.bytes);
            }
        }
        span.length = static_cast<int>(m_spans.size()) - span.first;
        joined.push_back(span);
    }
    sequence.swap(joined);
}

RegexFastPath::First RegexFastPath::FirstFrom(int sequence, size_t index, const First& end) const
{
    const Sequence& nodes = m_sequences[static_cast<size_t>(sequence)];
    First first;
    for (; index < nodes.size(); ++index) {
        const Node& node = nodes[index];
        switch (node.kind) {
        case Kind::Literal:
            first.bytes.AddAll(ByteOf(node.text[0], node.ignoreCase));
            first.known = true;
            return first;
        case Kind::Class:
            first.bytes.AddAll(node.bytes);
            first.known = true;
            return first;
        case Kind::Span:
            first.bytes.AddAll(m_spans[static_cast<size_t>(node.first)]);
            first.known = true;
            return first;
        case Kind::ClassRun:
            first.bytes.AddAll(node.bytes);
            if (node.minimum >= 1) {
                first.known = true;
                return first;
            }
            break;
        case Kind::Open:
        case Kind::Close:
        case Kind::Anchor:
            break;
        case Kind::Alternation: {
            const First rest = FirstFrom(sequence, index + 1, end);
            for (int a = 0; a < node.count; ++a) {
                const First alternative = FirstFrom(node.first + a, 0, rest);
                if (!alternative.known)
                    return First();
                first.bytes.AddAll(alternative.bytes);
                first.atEnd = first.atEnd || alternative.atEnd;
            }
            first.known = true;
            return first;
        }
        case Kind::GroupRepeat: {
            const First body = FirstFrom(node.first, 0, First());
            if (!body.known)
                return First();
            first.bytes.AddAll(body.bytes);
            if (node.minimum >= 1) {
                first.known = true;
                return first;
            }
            break;
        }
        }
    }
    if (!end.known)
        return First();
    first.bytes.AddAll(end.bytes);
    first.known = true;
    first.atEnd = end.atEnd;
    return first;
}

void RegexFastPath::Settle(int sequence, const First& end, const Rest& after)
{
    const size_t count = m_sequences[static_cast<size_t>(sequence)].size();
    Rest rest = after;
    for (size_t i = count; i-- > 0;) {
        const First follow = FirstFrom(sequence, i + 1, end);
        Node& node = m_sequences[static_cast<size_t>(sequence)][i];
        node.restMin = static_cast<int>(std::min(rest.least, kRestCap));
        node.restMax = static_cast<int>(std::min(rest.most, kRestCap));
        node.hasFollow = follow.known;
        node.follow.Set(follow.bytes);
        node.followEnd = follow.atEnd;
        // Bytes the run takes cannot end it: only its full reach can be followed.
        node.onlyAtReach = node.kind == Kind::ClassRun && follow.known && !node.bytes.Meets(follow.bytes);
        node.chained = -1;
        if (node.kind == Kind::ClassRun) {
            size_t after = i + 1;
            const Sequence& nodes = m_sequences[static_cast<size_t>(sequence)];
            while (after < count && (nodes[after].kind == Kind::Open || nodes[after].kind == Kind::Close))
                ++after;
            if (after < count && nodes[after].kind == Kind::ClassRun && nodes[after].onlyAtReach &&
                nodes[after].minimum <= 1 && nodes[after].maximum == INT_MAX)
                node.chained = static_cast<int>(after);
        }
        const Rest behind = rest;
        const long long least = NodeLength(node, false);
        const long long most = NodeLength(node, true);
        rest.least = SumLength(rest.least, least);
        rest.most = SumLength(rest.most, most);
        if (node.kind == Kind::Alternation) {
            const int first = node.first;
            for (int a = 0; a < node.count; ++a)
                Settle(first + a, follow, behind);
        } else if (node.kind == Kind::GroupRepeat) {
            // The body's end leads to another iteration or to what follows the repeat: at least
            // that rest, at most the iterations still allowed and that rest.
            const int body = node.first;
            First next = FirstFrom(body, 0, First());
            next.known = next.known && follow.known;
            next.bytes.AddAll(follow.bytes);
            next.atEnd = follow.atEnd;
            const long long more =
                node.maximum == INT_MAX ? kUnbounded : TimesLength(node.maximum - 1, Length(body, true));
            Settle(body, next, Rest{behind.least, SumLength(behind.most, more)});
        }
    }
}

void RegexFastPath::Build(const ElxInterface* top, int flags)
{
    m_sequences.clear();
    m_spans.clear();
    m_spanTables.clear();
    m_groupSeen.clear();
    m_nodeCount = 0;
    m_usable = false;
    m_fixedStart = false;
    if (!top || (flags & RegexFlagRightToLeft) != 0)
        return;
    NewSequence();
    if (!Add(0, top)) {
        m_sequences.clear();
        return;
    }
    for (Sequence& sequence : m_sequences) {
        JoinSpans(sequence);
        m_nodeCount += static_cast<int>(sequence.size());
        for (Node& node : sequence)
            node.accepts.Set(node.bytes);
    }
    m_spanTables.resize(m_spans.size());
    for (size_t i = 0; i < m_spans.size(); ++i)
        m_spanTables[i].Set(m_spans[i]);
    // The whole pattern ends only at the end of the text.
    First end;
    end.known = true;
    end.atEnd = true;
    Settle(0, end, Rest{0, 0});
    m_usable = true;
    m_fixedStart = false;
    for (const Node& node : m_sequences[0]) {
        if (node.kind == Kind::Open || node.kind == Kind::Close || node.kind == Kind::Anchor)
            continue;
        m_fixedStart = node.kind == Kind::Literal || node.kind == Kind::Class || node.kind == Kind::Span ||
                       (node.kind == Kind::ClassRun && (node.minimum == node.maximum || node.onlyAtReach));
        break;
    }
}

long long RegexFastPath::Budget(long long matchLimit) const
{
    return matchLimit / (kTreeStepsPerWay * (m_nodeCount + 2));
}

RegexFastPath::Outcome RegexFastPath::Match(RegexMatchContext& context, RegexMatchResult& result, int groupCount,
                                            long long budget) const
{
    if (budget < 1)
        return Outcome::GaveUp;
    context.m_captures.Truncate(0);
    context.m_captures.Grow(2 * (groupCount + 1), -1);
    context.m_stack.Truncate(0);
    Runner runner(*this, context, budget);
    try {
        if (!runner.MatchAll())
            return Outcome::NoMatch;
    } catch (const FastPathGaveUp&) {
        return Outcome::GaveUp;
    }
    const int* captures = context.m_captures.GetData();
    result.Truncate(0);
    result.Grow(2 * groupCount + 4, -1);
    result[0] = 1;
    result[1] = groupCount;
    result[2] = 0;
    result[3] = context.m_length;
    for (int group = 1; group <= groupCount; ++group) {
        if (captures[2 * group + 1] != -1) {
            result[2 + 2 * group] = captures[2 * group];
            result[3 + 2 * group] = captures[2 * group + 1];
        }
    }
    return Outcome::Matched;
}
