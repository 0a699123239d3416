#pragma once

#include "utils/regex/cbuffer.h"

// The outcome of RegexBuilder::Match. Empty when the text did not match; otherwise
// {1, n, start0, end0, ..., startn, endn} for the n groups plus the whole match (group 0),
// ends exclusive, -1/-1 for a group that took no part.
class RegexMatchResult : public CBufferT<int> {
public:
    bool IsMatched() const { return GetSize() > 0 && (*this)[0] == 1; }
    int GetGroupCount() const { return IsMatched() ? (*this)[1] : 0; }
    int GetGroupStart(int group) const { return HasGroup(group) ? (*this)[2 + 2 * group] : -1; }
    int GetGroupEnd(int group) const { return HasGroup(group) ? (*this)[3 + 2 * group] : -1; }

private:
    bool HasGroup(int group) const { return IsMatched() && group >= 0 && group <= (*this)[1]; }
};
