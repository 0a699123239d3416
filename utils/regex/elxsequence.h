#pragma once

class RegexMatchContext;

// Matches `count` steps in order, each through the element `stepAt(step)` returns, from `step`
// on; with `forward` false it first backtracks into the step before `step`. A failing step sends
// the search back to the nearest earlier step that can still match another way, in a loop
// rather than by recursion. Shared by sequences and fixed repeats.
template <class StepAt>
bool RunSteps(RegexMatchContext& context, int count, int step, bool forward, StepAt stepAt)
{
    for (;;) {
        if (forward) {
            if (step >= count)
                return true;
            if (stepAt(step)->Match(context)) {
                ++step;
                continue;
            }
        }
        if (step == 0)
            return false;
        --step;
        forward = stepAt(step)->MatchNext(context);
        if (forward)
            ++step;
    }
}
