#pragma once

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"

class CByteClassElxT;

// Quantified atoms. Every iteration runs in a loop over the same inner element, so a long run of
// iterations costs backtracking-stack space but no machine stack. A repeated character class
// (one byte per iteration, one way each) is run as a plain scan over the text.

// {n}: exactly `count` iterations.
class CRepeatElxT : public ElxInterface {
public:
    CRepeatElxT(const ElxInterface* inner, int count);
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

    const ElxInterface* GetInner() const { return m_inner; }
    int GetMinimum() const { return m_count; }

protected:
    bool MatchFixed(RegexMatchContext& context) const;
    bool MatchNextFixed(RegexMatchContext& context) const;
    // How many bytes from the position on, in the class's direction and up to `limit`, the
    // class accepts.
    int ScanBytes(const RegexMatchContext& context, int limit) const;
    // Moves by `count` bytes in the class's direction (back when negative).
    void MoveBytes(RegexMatchContext& context, int count) const;
    // A new number for one entry of the element, for the memo of offered ends.
    static int NewEntry(RegexMatchContext& context);
    // How many more iterations can follow at the position when `left` are allowed.
    static int Room(const RegexMatchContext& context, long long left);

    const ElxInterface* m_inner;
    // The inner element when it is a character class, else null.
    const CByteClassElxT* m_bytes;
    // For a class that takes every byte but at most one: that byte (-1 for none), so a scan is a
    // memchr; -2 for other classes.
    int m_onlyMissing;

private:
    bool Run(RegexMatchContext& context, int step, bool forward) const;

    int m_count;
};

// Up to `extra` iterations beyond the minimum, as many as possible first.
class CGreedyElxT : public CRepeatElxT {
public:
    CGreedyElxT(const ElxInterface* inner, int minimum, int extra) : CRepeatElxT(inner, minimum), m_extra(extra) {}
    int GetExtra() const { return m_extra; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    // Whether the position was offered before with at least the room `count` iterations leave.
    bool Tried(RegexMatchContext& context, int entry, int count) const;
    // Offers the position with `count` extra iterations: remembers it and pushes the record.
    void Offer(RegexMatchContext& context, int entry, int count) const;
    // Backtracks an iteration that began at `start` (after `count` others) until it ends
    // somewhere new; false when no way does (the iteration has then undone itself).
    bool SkipWays(RegexMatchContext& context, int entry, int start, int count) const;
    // Adds iterations from `count` up to the maximum; returns the count reached.
    int Extend(RegexMatchContext& context, int entry, int count) const;
    void StartExtension(RegexMatchContext& context, int entry) const;
    bool MatchNextBytes(RegexMatchContext& context) const;

    int m_extra;
};

// As few iterations as possible first.
class CReluctantElxT : public CRepeatElxT {
public:
    CReluctantElxT(const ElxInterface* inner, int minimum, int extra) : CRepeatElxT(inner, minimum), m_extra(extra) {}
    int GetExtra() const { return m_extra; }
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    bool TryOneMore(RegexMatchContext& context, int entry, int count) const;
    bool RetryIterations(RegexMatchContext& context, int entry, int count) const;
    bool RetryMinimum(RegexMatchContext& context, int entry) const;
    // Records the position for the entry; false when it was offered before with as much room.
    bool Visit(RegexMatchContext& context, int entry, int count) const;
    bool MatchNextBytes(RegexMatchContext& context) const;

    int m_extra;
};

// Matches as the greedy form and never gives anything back.
class CPossessiveElxT : public CGreedyElxT {
public:
    using CGreedyElxT::CGreedyElxT;
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;
};
