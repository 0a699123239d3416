#pragma once

#include "utils/regex/cbuffer.h"
#include "utils/regex/elxinterface.h"

// Quantified atoms. Every iteration runs in a loop over the same inner element, so a long run of
// iterations costs backtracking-stack space but no machine stack.

// {n}: exactly `count` iterations.
class CRepeatElxT : public ElxInterface {
public:
    CRepeatElxT(const ElxInterface* inner, int count) : m_inner(inner), m_count(count) {}
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

protected:
    bool MatchFixed(RegexMatchContext& context) const;
    bool MatchNextFixed(RegexMatchContext& context) const;

    const ElxInterface* m_inner;

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

    // What a greedy element keeps on the backtracking stack besides its offered ends.
    struct Record {
        int captureSize;
        int stackSize;
        int start;
        int count;
    };

private:
    // One backtracking step with the record popped; the offered ends are the context's
    // scratch values from index `ends` on.
    bool Retry(RegexMatchContext& context, Record& record, int ends) const;
    // Adds moving iterations from `count` up to the maximum; returns the count reached.
    int Extend(RegexMatchContext& context, int count) const;
    void StartExtension(RegexMatchContext& context) const;

    int m_extra;
};

// As few iterations as possible first.
class CReluctantElxT : public CRepeatElxT {
public:
    CReluctantElxT(const ElxInterface* inner, int minimum, int extra) : CRepeatElxT(inner, minimum), m_extra(extra) {}
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;

private:
    bool TryOneMore(RegexMatchContext& context, int count) const;
    bool RetryIterations(RegexMatchContext& context, int count) const;

    int m_extra;
};

// Matches as the greedy form and never gives anything back.
class CPossessiveElxT : public CGreedyElxT {
public:
    using CGreedyElxT::CGreedyElxT;
    bool Match(RegexMatchContext& context) const override;
    bool MatchNext(RegexMatchContext& context) const override;
};
