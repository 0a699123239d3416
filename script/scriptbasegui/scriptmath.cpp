#include "script/scriptbasegui/scriptmath.h"

#include <cmath>

#include "script/scriptbase/codeparser.h"

namespace {

constexpr uint32_t D = SCRIPT_DOUBLE;

const ScriptLibFunc kFunctions[ScriptMath::FUNCTION_COUNT] = {
    {"math.cos", 0, D, 1, {D}},   {"math.sin", 0, D, 1, {D}},      {"math.tan", 0, D, 1, {D}},
    {"math.acos", 0, D, 1, {D}},  {"math.asin", 0, D, 1, {D}},     {"math.atan", 0, D, 1, {D}},
    {"math.atan2", 0, D, 2, {D, D}}, {"math.sqrt", 0, D, 1, {D}},  {"math.pow", 0, D, 2, {D, D}},
    {"math.ceil", 0, D, 1, {D}},  {"math.floor", 0, D, 1, {D}},    {"math.exp", 0, D, 1, {D}},
    {"math.log", 0, D, 1, {D}},   {"math.log10", 0, D, 1, {D}},    {"math.fmod", 0, D, 2, {D, D}},
};

// An argument that is not a double is taken as its 64-bit integer.
double Number(const ScriptArgList& args, uint32_t i)
{
    if (i >= args.count)
        return 0.0;
    const ScriptValue& v = args.Arg(i);
    return v.type == SCRIPT_DOUBLE ? v.Double() : double(v.Int());
}

} // namespace

void ScriptMath::Init(ScriptLibRegistry* scriptRegistry, ScriptLibRegistry* searchRegistry)
{
    if (scriptRegistry)
        scriptRegistry->Add(this, kFunctions, FUNCTION_COUNT);
    if (searchRegistry)
        searchRegistry->Add(this, kFunctions, FUNCTION_COUNT);
}

bool ScriptMath::Run(ScriptValue& result, int function, int*, int line, ScriptArgList& args)
{
    const double x = Number(args, 0);
    const double y = Number(args, 1);
    double r;
    switch (function) {
    case 0: r = std::cos(x); break;
    case 1: r = std::sin(x); break;
    case 2: r = std::tan(x); break;
    case 3: r = std::acos(x); break;
    case 4: r = std::asin(x); break;
    case 5: r = std::atan(x); break;
    case 6: r = std::atan2(x, y); break;
    case 7:
        if (x < 0)
            CodeParser::ThrowError("Argument below zero ", "line ", line);
        r = std::sqrt(x);
        break;
    case 8: r = std::pow(x, y); break;
    case 9: r = std::ceil(x); break;
    case 10: r = std::floor(x); break;
    case 11: r = std::exp(x); break;
    case 12: r = std::log(x); break;
    case 13: r = std::log10(x); break;
    case 14: r = std::fmod(x, y); break;
    default: return false;
    }
    result.type = SCRIPT_DOUBLE;
    result.SetDouble(r);
    return true;
}
