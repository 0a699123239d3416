// The match limit of the patterns that search expressions compile, set for
// the lifetime of a test's guard.
#pragma once

#include "script/scriptlogicalexp/scriptlogicalexpparser.h"

class ScopedPatternLimit {
public:
    explicit ScopedPatternLimit(long long steps) { ScriptLogicalExpParser::SetPatternMatchLimit(steps); }
    ~ScopedPatternLimit() { ScriptLogicalExpParser::SetPatternMatchLimit(saved_); }
    ScopedPatternLimit(const ScopedPatternLimit&) = delete;
    ScopedPatternLimit& operator=(const ScopedPatternLimit&) = delete;

private:
    long long saved_ = ScriptLogicalExpParser::PatternMatchLimit();
};
