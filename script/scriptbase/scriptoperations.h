// The value semantics shared by the script interpreter and the search
// expressions: binary and unary operators, number literals and the built-in
// conversions. Operators are named by ScriptOp so that each language maps its
// own token numbers onto them.
#pragma once

#include <stdexcept>
#include <string>

#include "script/scriptbase/scriptvalue.h"
#include "utils/regex/regexbuilder.h"

// An error text that ends a script (or a search test).
class ScriptError : public std::runtime_error {
public:
    explicit ScriptError(const std::string& text) : std::runtime_error(text) {}
};

// Where an operation reports an error; the implementer adds its current line
// and throws, so MakeError never returns.
class ScriptErrorSink {
public:
    [[noreturn]] virtual void MakeError(const char* message, const char* argument = nullptr) = 0;

protected:
    ~ScriptErrorSink() = default;
};

enum class ScriptOp {
    And, Or, BitAnd, BitOr,
    Plus, Minus, Mul, Div, Mod, Power,
    // Compound assignments: numeric only, so "+=" never concatenates.
    EqPlus, EqMinus, EqMul, EqDiv, EqMod,
    Equal, NotEqual, Greater, GreaterOrEqual, Less, LessOrEqual,
    Subst, WildCmp, Regexp,
};

enum class ScriptConversion { Date, DateTime, Time, IpAddr, Int, Float, Milli, Second };

// What a matching operator found, for callers that show or store it.
struct ScriptMatchDetail {
    // The left operand as matched: it holds the text that hit and the
    // groups point into.
    ScriptValue subject;
    // Subst: where the right text occurs in the left text.
    const char* hit = nullptr;
    // Regexp: the groups of a successful match.
    RegexMatchResult groups;
};

class ScriptOperations {
public:
    // matchCase false: comparisons, "~" and wildcards ignore ASCII case.
    ScriptOperations(ScriptErrorSink& errors, bool matchCase) : errors_(errors), matchCase_(matchCase) {}

    // A binary operator on two values. For Regexp, `compiled` is a pattern
    // prepared beforehand, else the right text is compiled for this call.
    ScriptValue Calculate(ScriptOp op, const ScriptValue& left, const ScriptValue& right,
                          const RegexBuilder* compiled = nullptr, ScriptMatchDetail* detail = nullptr);
    // The numeric operators; both operands must be numbers.
    ScriptValue CalculateNum(ScriptOp op, const ScriptValue& left, const ScriptValue& right);
    // "&&" and "||" decided by the left operand alone: true with the result
    // set; false when the right operand must be evaluated.
    bool ShortCircuit(ScriptOp op, const ScriptValue& left, ScriptValue& result);

    ScriptValue Not(const ScriptValue& value);
    ScriptValue Negate(const ScriptValue& value);
    ScriptValue Convert(ScriptConversion conversion, const ScriptValue& value);
    ScriptValue ToString(const ScriptValue& value, const ScriptValue& form);

    // A NUMBER literal: hexadecimal or decimal in 64 bits, a double, or an
    // IPv4 address zero-extended; "Number error" for anything else.
    ScriptValue ParseNumber(const char* text);
    // The same without an error: false for a text that is no number (two or
    // more than three dots, an octet beyond 255, more than 64 bits).
    static bool ReadNumber(const char* text, ScriptValue& out);

    // A number as a string: its text word when set, else "%lld" / "%lf" in
    // a scratch buffer; exactness 0. Other values are returned unchanged.
    static ScriptValue NumberToText(const ScriptValue& value);
    // A double truncated toward zero, clamped to the 64-bit range; NaN is 0.
    static int64_t TruncateToInt(double d);
    // The tostring conversion of v in one form (a scratch text).
    static const char* FormatNumber(int64_t v, double d, bool isDouble, int64_t form);

private:
    // Reports through the sink, which throws.
    [[noreturn]] void Fail(const char* message);
    ScriptValue Compare(ScriptOp op, const ScriptValue& left, const ScriptValue& right);
    ScriptValue Concatenate(const ScriptValue& left, const ScriptValue& right);
    ScriptValue Match(ScriptOp op, const ScriptValue& left, const ScriptValue& right, const RegexBuilder* compiled,
                      ScriptMatchDetail* detail);

    ScriptErrorSink& errors_;
    bool matchCase_;
};
