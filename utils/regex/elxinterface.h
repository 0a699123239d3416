#pragma once

class RegexMatchContext;

// One node of a compiled pattern. Match tries the element at the context's position; MatchNext
// undoes the element's latest way of matching and tries the next one, and when there is none it
// leaves the context as it was before Match. Elements keep no match state of their own, so one
// tree can be matched by several threads, each with its own context.
class ElxInterface {
public:
    virtual bool Match(RegexMatchContext& context) const = 0;
    virtual bool MatchNext(RegexMatchContext& context) const = 0;
    virtual ~ElxInterface() = default;
};
