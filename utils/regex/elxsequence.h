#pragma once

#include "utils/regex/regexmatchcontext.h"

// Matches `count` steps in order, each through the element `stepAt(step)` returns, from `step`
// on; with `forward` false it first backtracks into the step before `step`. A failing step sends
// the search back to the nearest earlier step that can still match another way, in a loop
// rather than by recursion. Shared by sequences and fixed repeats. Every step back is counted
// against the match's budget, and with `countForward` every step forward too (a repeat's steps
// are not bounded by the pattern's length).
template <bool countForward, class StepAt>
bool RunSteps(RegexMatchContext& context, int count, int step, bool forward, StepAt stepAt)
{
    for (;;) {
        if (forward) {
            if (step >= count)
                return true;
            if (countForward)
                context.CountSteps();
            if (stepAt(step)->Match(context)) {
                ++step;
                continue;
            }
        }
        if (step == 0)
            return false;
        --step;
        context.CountSteps();
        forward = stepAt(step)->MatchNext(context);
        if (forward)
            ++step;
    }
}
