// The built-in syslog template matched without the expression engine: most
// imported logs are read through it, and its five groups can be found by
// walking the line once. The walk tries the ways of matching in the order
// the engine tries them, so it finds the same groups; a line it cannot be
// sure of (a byte outside printable ASCII, no line end, a line that makes
// the engine backtrack a lot) is left to the engine.
#pragma once

#include <cstdint>

namespace SyslogShape {

// The template's expression as the loader builds it from the built-in
// format; only a template of exactly this text is matched here.
extern const char* const EXPRESSION;
constexpr int GROUPS = 5;

enum class Outcome { Matched, NoMatch, Unsure };

// Matches the whole line (length bytes, its LF line end included). On a
// match spans holds the start and end (exclusive) of the whole match and of
// each group, in group order.
Outcome Match(const char* line, uint32_t length, int spans[2 * (GROUPS + 1)]);

} // namespace SyslogShape
