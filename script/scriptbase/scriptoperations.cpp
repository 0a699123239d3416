#include "script/scriptbase/scriptoperations.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script/scriptbase/scriptchannels.h"
#include "utils/common/convert.h"
#include "utils/common/strbase.h"

namespace {

const char* TextOf(const ScriptValue& v)
{
    return v.text ? v.text : "";
}

// The low 32 bits, sign-extended: what int() and the bit operators keep.
int64_t Low32(int64_t v)
{
    return int64_t(int32_t(uint32_t(uint64_t(v))));
}

// printf into a fresh scratch buffer, cut at its capacity.
__attribute__((format(printf, 1, 2))) const char* TempFormat(const char* format, ...)
{
    char* out = ZmLib::StrBase::TempBuffer();
    va_list args;
    va_start(args, format);
    vsnprintf(out, ZmLib::TEMP_STR_CAPACITY + 1, format, args);
    va_end(args);
    return out;
}

uint64_t Magnitude(int64_t v)
{
    return v < 0 ? 0 - uint64_t(v) : uint64_t(v);
}

bool IsMatchOp(ScriptOp op)
{
    return op == ScriptOp::Subst || op == ScriptOp::WildCmp || op == ScriptOp::Regexp;
}

} // namespace

void ScriptOperations::Fail(const char* message)
{
    errors_.MakeError(message);
    // A sink must not return; should one do so, the text still ends the run.
    throw ScriptError(message);
}

int64_t ScriptOperations::TruncateToInt(double d)
{
    if (std::isnan(d))
        return 0;
    if (d >= 9223372036854775807.0)
        return INT64_MAX;
    if (d <= -9223372036854775808.0)
        return INT64_MIN;
    return int64_t(d);
}

ScriptValue ScriptOperations::NumberToText(const ScriptValue& value)
{
    if (!value.IsNumber())
        return value;
    if (value.text) {
        // The number's own text, held or borrowed as the number holds it.
        ScriptValue text = value;
        text.type = SCRIPT_STRING;
        text.bits = 0;
        return text;
    }
    if (value.type == SCRIPT_DOUBLE)
        return ScriptValue::String(TempFormat("%lf", value.Double()), 0);
    return ScriptValue::String(TempFormat("%" PRId64, value.Int()), 0);
}

ScriptValue ScriptOperations::Calculate(ScriptOp op, const ScriptValue& left, const ScriptValue& right,
                                        const RegexBuilder* compiled, ScriptMatchDetail* detail)
{
    auto plain = [](const ScriptValue& v) { return v.type >= SCRIPT_STRING && v.type <= SCRIPT_DOUBLE; };
    if (!plain(left) || !plain(right))
        Fail("Invalid arguments types");
    // A number that is taken as its text: the operation again on that text.
    if (left.IsNumber() && (right.type == SCRIPT_STRING || IsMatchOp(op)))
        return Calculate(op, NumberToText(left), right, compiled, detail);
    if (right.IsNumber() && (op == ScriptOp::Subst || op == ScriptOp::WildCmp))
        return Calculate(op, left, NumberToText(right), compiled, detail);

    switch (op) {
    case ScriptOp::Plus:
        if (left.type == SCRIPT_STRING)
            return Concatenate(left, right);
        return CalculateNum(op, left, right);
    case ScriptOp::Equal:
    case ScriptOp::NotEqual:
    case ScriptOp::Greater:
    case ScriptOp::GreaterOrEqual:
    case ScriptOp::Less:
    case ScriptOp::LessOrEqual:
        return Compare(op, left, right);
    case ScriptOp::Subst:
    case ScriptOp::WildCmp:
    case ScriptOp::Regexp:
        if (left.type != SCRIPT_STRING || right.type != SCRIPT_STRING)
            Fail("This operation only with strings");
        return Match(op, left, right, compiled, detail);
    default:
        return CalculateNum(op, left, right);
    }
}

ScriptValue ScriptOperations::Concatenate(const ScriptValue& left, const ScriptValue& right)
{
    const ScriptValue r = right.type == SCRIPT_STRING ? right : NumberToText(right);
    // Cut at the capacity of a scratch text, as the language always has.
    const size_t leftLength = strnlen(TextOf(left), ZmLib::TEMP_STR_CAPACITY);
    const size_t rightLength = strnlen(TextOf(r), ZmLib::TEMP_STR_CAPACITY - leftLength);
    return ScriptValue::Joined(TextOf(left), leftLength, TextOf(r), rightLength);
}

ScriptValue ScriptOperations::Compare(ScriptOp op, const ScriptValue& left, const ScriptValue& right)
{
    bool result;
    if (left.IsNumber() && right.IsNumber()) {
        const double l = left.AsDouble();
        const double r = right.AsDouble();
        switch (op) {
        case ScriptOp::Equal: result = l == r; break;
        case ScriptOp::NotEqual: result = l != r; break;
        case ScriptOp::Greater: result = l > r; break;
        case ScriptOp::GreaterOrEqual: result = l >= r; break;
        case ScriptOp::Less: result = l < r; break;
        default: result = l <= r; break;
        }
        return ScriptValue::Integer(result ? 1 : 0);
    }
    if (left.type != SCRIPT_STRING || right.type != SCRIPT_STRING)
        Fail("Invalid arguments types");
    if (op == ScriptOp::Equal && left.bits == 0 && right.bits == 0)
        return ScriptValue::Integer(ZmLib::StrWildMatch(TextOf(left), TextOf(right), matchCase_) ? 1 : 0);
    const int c = matchCase_ ? std::strcmp(TextOf(left), TextOf(right)) : ZmLib::StrICmp(TextOf(left), TextOf(right));
    switch (op) {
    case ScriptOp::Equal: result = c == 0; break;
    case ScriptOp::NotEqual: result = c != 0; break;
    case ScriptOp::Greater: result = c > 0; break;
    case ScriptOp::GreaterOrEqual: result = c >= 0; break;
    case ScriptOp::Less: result = c < 0; break;
    default: result = c <= 0; break;
    }
    return ScriptValue::Integer(result ? 1 : 0);
}

ScriptValue ScriptOperations::Match(ScriptOp op, const ScriptValue& left, const ScriptValue& right,
                                    const RegexBuilder* compiled, ScriptMatchDetail* detail)
{
    if (detail)
        detail->subject = left;
    const char* text = TextOf(left);
    if (op == ScriptOp::Subst) {
        const char* hit = matchCase_ ? std::strstr(text, TextOf(right)) : ZmLib::StrIStr(text, TextOf(right));
        if (detail)
            detail->hit = hit;
        return ScriptValue::Integer(hit ? 1 : 0);
    }
    if (op == ScriptOp::WildCmp)
        return ScriptValue::Integer(ZmLib::StrWildMatch(text, TextOf(right), matchCase_) ? 1 : 0);

    RegexMatchResult local;
    RegexMatchResult& result = detail ? detail->groups : local;
    const size_t length = std::strlen(text);
    if (length > size_t(INT32_MAX))
        return ScriptValue::Integer(0);
    if (compiled) {
        compiled->Match(result, text, int(length));
    } else {
        RegexBuilder now(TextOf(right));
        now.Match(result, text, int(length));
    }
    return ScriptValue::Integer(result.IsMatched() ? 1 : 0);
}

ScriptValue ScriptOperations::CalculateNum(ScriptOp op, const ScriptValue& left, const ScriptValue& right)
{
    if (!left.IsNumber() || !right.IsNumber())
        Fail("This operation only with numbers");

    switch (op) {
    case ScriptOp::And:
    case ScriptOp::Or:
    case ScriptOp::BitAnd:
    case ScriptOp::BitOr: {
        if (left.type == SCRIPT_DOUBLE || right.type == SCRIPT_DOUBLE)
            Fail("Operand cannot be floating number");
        const int32_t l = int32_t(Low32(left.Int()));
        const int32_t r = int32_t(Low32(right.Int()));
        int32_t v;
        if (op == ScriptOp::BitAnd)
            v = l & r;
        else if (op == ScriptOp::BitOr)
            v = l | r;
        else if (op == ScriptOp::And)
            v = (l != 0 && r != 0) ? 1 : 0;
        else
            v = (l != 0 || r != 0) ? 1 : 0;
        return ScriptValue::Integer(v);
    }
    default:
        break;
    }

    const double l = left.AsDouble();
    const double r = right.AsDouble();
    double d;
    switch (op) {
    case ScriptOp::Plus:
    case ScriptOp::EqPlus: d = l + r; break;
    case ScriptOp::Minus:
    case ScriptOp::EqMinus: d = l - r; break;
    case ScriptOp::Mul:
    case ScriptOp::EqMul: d = l * r; break;
    case ScriptOp::Div:
    case ScriptOp::EqDiv:
    case ScriptOp::Mod:
    case ScriptOp::EqMod:
        // A zero divisor of "%" is refused like one of "/": fmod would give NaN.
        if (r == 0.0)
            Fail("Divide by zero");
        d = (op == ScriptOp::Div || op == ScriptOp::EqDiv) ? l / r : std::fmod(l, r);
        break;
    case ScriptOp::Power: d = std::pow(l, r); break;
    default:
        KX_ERROR(KxScriptChannel, "cur_id is out of range (%d)", int(op));
        return ScriptValue::Integer(0);
    }
    if (left.type == SCRIPT_INTEGER && right.type == SCRIPT_INTEGER)
        return ScriptValue::Integer(TruncateToInt(d));
    return ScriptValue::Real(d);
}

bool ScriptOperations::ShortCircuit(ScriptOp op, const ScriptValue& left, ScriptValue& result)
{
    if (!left.IsNumber())
        Fail("This operation only with numbers");
    const double d = left.AsDouble();
    if (op == ScriptOp::Or && d > 0) {
        result = ScriptValue::Integer(1);
        return true;
    }
    if (op == ScriptOp::And && !(d > 0)) {
        result = ScriptValue::Integer(0);
        return true;
    }
    return false;
}

ScriptValue ScriptOperations::Not(const ScriptValue& value)
{
    switch (value.type) {
    case SCRIPT_INTEGER: return ScriptValue::Integer(value.Int() <= 0 ? 1 : 0);
    case SCRIPT_DOUBLE: return ScriptValue::Integer(value.Double() <= 0.0 ? 1 : 0);
    case SCRIPT_STRING: return ScriptValue::Integer(TextOf(value)[0] == '\0' ? 1 : 0);
    default: Fail("This operation only with numbers & strings");
    }
}

ScriptValue ScriptOperations::Negate(const ScriptValue& value)
{
    if (value.type == SCRIPT_INTEGER)
        return ScriptValue::Integer(int64_t(0 - uint64_t(value.Int())));
    if (value.type == SCRIPT_DOUBLE)
        return ScriptValue::Real(-value.Double());
    Fail("This operation only with numbers");
}

ScriptValue ScriptOperations::Convert(ScriptConversion conversion, const ScriptValue& value)
{
    if (conversion == ScriptConversion::Milli || conversion == ScriptConversion::Second) {
        if (!value.IsNumber())
            Fail("This operation is only for numbers");
        const int64_t factor = conversion == ScriptConversion::Milli ? 1000 : 1000000;
        if (value.type == SCRIPT_DOUBLE)
            return ScriptValue::Real(value.Double() * double(factor));
        return ScriptValue::Integer(int64_t(uint64_t(value.Int()) * uint64_t(factor)));
    }
    if (value.type != SCRIPT_STRING)
        Fail("This operation is only for strings");
    const char* text = TextOf(value);
    switch (conversion) {
    case ScriptConversion::Date: return ScriptValue::Integer(ZmLib::Str2Date(text));
    case ScriptConversion::DateTime: return ScriptValue::Integer(ZmLib::Str2Time(text));
    case ScriptConversion::Time: return ScriptValue::Integer(ZmLib::Str2TimeOfDay(text));
    case ScriptConversion::IpAddr: return ScriptValue::Integer(int64_t(ZmLib::Str2IP(text)));
    case ScriptConversion::Int: return ScriptValue::Integer(Low32(std::strtoll(text, nullptr, 0)));
    default: return ScriptValue::Real(std::atof(text));
    }
}

ScriptValue ScriptOperations::ToString(const ScriptValue& value, const ScriptValue& form)
{
    if (!value.IsNumber() || !form.IsNumber())
        Fail("Function arguments must be only numbers");
    const int64_t f = form.type == SCRIPT_DOUBLE ? TruncateToInt(form.Double()) : form.Int();
    const bool isDouble = value.type == SCRIPT_DOUBLE;
    return ScriptValue::String(
        FormatNumber(isDouble ? 0 : value.Int(), isDouble ? value.Double() : 0.0, isDouble, f), 0);
}

const char* ScriptOperations::FormatNumber(int64_t v, double d, bool isDouble, int64_t form)
{
    if (isDouble && form != 1)
        v = TruncateToInt(d);
    const char* sign = v < 0 ? "-" : "";
    const uint64_t m = Magnitude(v);
    char* out = ZmLib::StrBase::TempBuffer();
    const size_t size = ZmLib::TEMP_STR_CAPACITY + 1;
    switch (form) {
    case 0: snprintf(out, size, "%" PRId64, v); break;
    case 1:
        if (isDouble)
            snprintf(out, size, "%lf", d);
        else
            snprintf(out, size, "%" PRId64, v);
        break;
    case 2: ZmLib::IP2Str(uint32_t(uint64_t(v)), out, size); break;
    case 3:
    case 4: ZmLib::Time2StrAbs(v, out, size); break;
    case 5: snprintf(out, size, "%s%" PRIu64 ".%06" PRIu64, sign, m / 1000000, m % 1000000); break;
    case 6: {
        const int64_t w = v / 1000;
        const uint64_t wm = Magnitude(w);
        snprintf(out, size, "%s%" PRIu64 ".%03" PRIu64, w < 0 ? "-" : "", wm / 1000, wm % 1000);
        break;
    }
    case 7: {
        const uint64_t s = m / 1000000;
        snprintf(out, size, "%s%" PRIu64 ":%02" PRIu64 ":%02" PRIu64, v <= -1000000 ? "-" : "", s / 3600,
                 s / 60 % 60, s % 60);
        break;
    }
    case 8: ZmLib::Time2Str(v, out, size, 1); break;
    default: out[0] = '\0'; break;
    }
    return out;
}

bool ScriptOperations::ReadNumber(const char* text, ScriptValue& out)
{
    int dots = 0;
    for (const char* p = text; *p; p++)
        dots += *p == '.';
    if (dots == 1) {
        out = ScriptValue::Real(std::atof(text));
        return true;
    }
    if (dots == 3) {
        uint32_t ip = 0;
        if (!ZmLib::Str2IPChecked(text, &ip))
            return false;
        // Zero-extended: addresses from 128.x up stay positive, as ipaddr() reads them.
        out = ScriptValue::Integer(int64_t(ip));
        return true;
    }
    if (dots != 0)
        return false;
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, hex ? 16 : 10);
    if (errno == ERANGE || end == text || *end)
        return false;
    // All 64 bits: TIME, KXKEY and PID values do not fit in 32. Past 2^63 the
    // same bits read as a negative number, as an unsigned field is read.
    out = ScriptValue::Integer(int64_t(uint64_t(value)));
    return true;
}

ScriptValue ScriptOperations::ParseNumber(const char* text)
{
    ScriptValue value;
    if (!ReadNumber(text, value))
        Fail("Number error");
    return value;
}
