#pragma once

#include <vector>

#include "utils/regex/elxclass.h"

class ElxInterface;
class RegexMatchContext;
class RegexMatchResult;

// A second matcher for the patterns import templates are made of: literals, classes, runs of a
// class, capturing groups, alternatives, anchors and repeats of parts that always consume, all
// left to right. The element tree is flattened once into sequences of plain nodes, and a match
// walks them with captures kept in a fixed array and an undo trail, with no virtual call per
// byte and no record per iteration. It tries the ways of matching in the same order as the
// element tree, and nothing it supports reads a capture, so it finds the same match.
//
// A run of a class (greedy, lazy, possessive, an optional byte) skips the ends that cannot lead
// to a match: those where what follows cannot start, and those from which the rest of the
// pattern is too short or too long to reach the end of the text. Most runs of a template are
// left with one end, and matching goes on in place, so a template's fields cost about a scan of
// the line.
//
// Its work is bounded: it charges a step for each way it tries and for each byte a run passes
// over, and past its share of the step budget, or nested too deep, it gives up and the element
// tree decides with the whole budget: the answer and any limit report are then the tree's. The two
// do not count the same work: the ends the fast path passes over are ways the tree tries one by
// one, so on some texts near the limit it answers where the tree alone would run out of steps.
// Its answer is then the tree's with a budget large enough to finish, and no limit is reported;
// an answer it gives is never one the budget cut short.
class RegexFastPath {
public:
    enum class Outcome { NoMatch, Matched, GaveUp };

    // Reads the tree; a tree with anything else leaves the fast path unusable.
    void Build(const ElxInterface* top, int flags);
    bool IsUsable() const { return m_usable; }
    // Whether the pattern begins with something of one width or one end (a literal, a class, a
    // run that stops in one place only), so a text that does not match is mostly turned away
    // within its first bytes and a search of the whole text for literals would cost more.
    bool HasFixedStart() const { return m_fixedStart; }

    // The ways a match may try for the builder's step budget `matchLimit`; worked out once per
    // budget, as it takes a division.
    long long Budget(long long matchLimit) const;
    // Matches the whole text of `context` (set up by the caller's Reset), trying at most `budget`
    // ways (from Budget). On a match fills `result` for `groupCount` groups.
    Outcome Match(RegexMatchContext& context, RegexMatchResult& result, int groupCount, long long budget) const;

private:
    enum class Kind : unsigned char { Literal, Class, ClassRun, Span, Open, Close, Anchor, Alternation, GroupRepeat };
    enum class Mode : unsigned char { Greedy, Lazy, Possessive };

    // A byte set as one flag per byte, so that a run tests a byte with one load.
    struct ByteTable {
        unsigned char in[256] = {};
        void Set(const RegexByteSet& bytes)
        {
            for (int c = 0; c < 256; ++c)
                in[c] = bytes.Has(static_cast<unsigned char>(c)) ? 1 : 0;
        }
        bool Has(unsigned char c) const { return in[c] != 0; }
    };

    struct Node {
        Kind kind;
        Mode mode = Mode::Greedy;
        // Literal: the bytes (owned by the element tree) and their count.
        const char* text = nullptr;
        int length = 0;
        bool ignoreCase = false;
        // Class and ClassRun: the bytes accepted, and the one byte refused when it is the only
        // one (-1 for none, -2 when more are), so a run is a memchr.
        RegexByteSet bytes;
        ByteTable accepts;
        int onlyMissing = -2;
        // ClassRun and GroupRepeat: iterations.
        int minimum = 0;
        int maximum = 0;
        // Open and Close: the group.
        int group = 0;
        const ElxInterface* anchor = nullptr;
        // Alternation: sequences first .. first + count - 1; GroupRepeat: the body is `first`;
        // Span: m_spans[first ..] hold the bytes each of its `length` places accepts.
        int first = 0;
        int count = 0;
        // Bytes the rest of the node's sequence can start with, when known: a run backs off
        // only to such a byte.
        bool hasFollow = false;
        ByteTable follow;
        // The rest can also be nothing at the end of the text.
        bool followEnd = false;
        // A run whose bytes cannot start what follows it can only stop where its bytes end.
        bool onlyAtReach = false;
        // Fewest and most bytes the rest of the pattern after the node takes up to the end of
        // the match, at most INT_MAX (no text is longer): a run need not try ends the rest cannot
        // fill to the end of the text.
        int restMin = 0;
        int restMax = 0;
        // ClassRun: the index in the sequence of a run that comes next with only group marks
        // between, stops only at its reach, takes at most one byte at least and has no upper
        // bound (-1 for none). Where it ends depends only on where its bytes end, and the rest
        // of the match only on that end, as nothing here reads a capture.
        int chained = -1;
    };
    using Sequence = std::vector<Node>;

    class Runner;

    bool Add(int sequence, const ElxInterface* element);
    int NewSequence();
    bool AddRepeat(int sequence, const ElxInterface* inner, int minimum, long long maximum, Mode mode);
    // Fewest or (most) the most bytes the sequence or the node can take; kUnbounded for no bound.
    long long Length(int sequence, bool most) const;
    long long NodeLength(const Node& node, bool most) const;
    // Bytes the rest of the match takes after a point: fewest and most.
    struct Rest {
        long long least;
        long long most;
    };
    // Bytes a part of the pattern can start with; known only when the part must consume a byte
    // or may end the text.
    struct First {
        bool known = false;
        RegexByteSet bytes;
        // The part can also match nothing at the end of the text.
        bool atEnd = false;
    };
    // The first bytes of the sequence from `index` on, followed by something starting as `end`.
    First FirstFrom(int sequence, size_t index, const First& end) const;
    // Settles what may follow each node of the sequence and of the sequences within it, and how
    // much the rest takes; `end` and `after` describe what follows the sequence's end.
    void Settle(int sequence, const First& end, const Rest& after);
    // Joins neighbouring nodes of one width into spans checked in one loop.
    void JoinSpans(Sequence& sequence);

    std::vector<Sequence> m_sequences;
    std::vector<RegexByteSet> m_spans;
    std::vector<ByteTable> m_spanTables;
    std::vector<bool> m_groupSeen;
    int m_nodeCount = 0;
    bool m_usable = false;
    bool m_fixedStart = false;
};
