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

    const ElxInterface* m_inner;
    // The inner element when it is a character class, else null.
    const CByteClassElxT* m_bytes;

private:
    bool Run(RegexMatchContext& context, int step, bool forward) const;

    int m_count;
};

// Up to `extra` iterations beyond the minimum, as many as possible first.
class CGreedyElxT : public CRepeatElxT {
public:
    CGreedyElxT(const ElxInterface* inner, int minimum, int extra) : CRepeatElxT(inner, minimum), m_extra(extra) {}
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    // One backtracking step with the record popped (`count` extra iterations); the offered
    // ends are the context's scratch values from index `ends` on.
    bool Retry(RegexMatchContext& context, int count, int ends) const;
    // Adds iterations from `count` up to the maximum, passing over ways that end at an offered
    // end; returns the count reached.
    int Extend(RegexMatchContext& context, int count, int ends) const;
    // Backtracks an iteration that began at `start` until it ends somewhere new; false when no
    // way does (the iteration has then undone itself).
    bool SkipWays(RegexMatchContext& context, int start, int ends) const;
    // Pushes the record; with `extended`, the position reached ends an extension and joins the
    // offered ends.
    void PushRecord(RegexMatchContext& context, int count, int ends, bool extended) const;
    void StartExtension(RegexMatchContext& context) const;
    bool MatchNextBytes(RegexMatchContext& context) const;

    int m_extra;
};

// As few iterations as possible first. Within one entry it never offers an end it offered
// before with at least as many iterations left: the way on from there has already failed.
class CReluctantElxT : public CRepeatElxT {
public:
    CReluctantElxT(const ElxInterface* inner, int minimum, int extra) : CRepeatElxT(inner, minimum), m_extra(extra) {}
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
