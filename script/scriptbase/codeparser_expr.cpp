// Expressions: literals, variables, operators, increments and conversions.
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scripttokens.h"
#include "utils/common/strbase.h"

namespace {

bool BinaryOperator(int type, ScriptOp& op)
{
    switch (type) {
    case KS_AND: op = ScriptOp::And; return true;
    case KS_OR: op = ScriptOp::Or; return true;
    case KS_BIT_AND: op = ScriptOp::BitAnd; return true;
    case KS_BIT_OR: op = ScriptOp::BitOr; return true;
    case KS_ONLY_PLUS: op = ScriptOp::Plus; return true;
    case KS_ONLY_MINUS: op = ScriptOp::Minus; return true;
    case KS_ONLY_MUL: op = ScriptOp::Mul; return true;
    case KS_ONLY_DIV: op = ScriptOp::Div; return true;
    case KS_ONLY_MOD: op = ScriptOp::Mod; return true;
    case KS_ONLY_POWER: op = ScriptOp::Power; return true;
    case KS_EQUAL: op = ScriptOp::Equal; return true;
    case KS_NOT_EQUAL: op = ScriptOp::NotEqual; return true;
    case KS_GREATER: op = ScriptOp::Greater; return true;
    case KS_GREATER_OR_EQUAL: op = ScriptOp::GreaterOrEqual; return true;
    case KS_LESS: op = ScriptOp::Less; return true;
    case KS_LESS_OR_EQUAL: op = ScriptOp::LessOrEqual; return true;
    case KS_SUBST: op = ScriptOp::Subst; return true;
    case KS_WILDCMP: op = ScriptOp::WildCmp; return true;
    case KS_REGEXP: op = ScriptOp::Regexp; return true;
    default: return false;
    }
}

const char* const kGroupNames[] = {"$1", "$2", "$3", "$4", "$5", "$6", "$7", "$8", "$9", "$10"};
constexpr int kGroupVariables = 10;

} // namespace

bool CodeParser::RunExpression(ScriptNode* node)
{
    const char* operandError = "Too few arguments for operation";
    ScriptOp op;
    if (BinaryOperator(node->type, op)) {
        BinaryOperation(node, op);
        return true;
    }
    switch (node->type) {
    case KS_NUMBER:
        Push(node->user ? *static_cast<const ScriptValue*>(node->user) : ops_.ParseNumber(node->text.c_str()));
        return true;
    case KS_STRINGS:
    case KS_COMA_STRINGS:
        Push(*static_cast<const ScriptValue*>(node->user));
        return true;
    case KS_IDENT:
        GetVariableValue(node->text.c_str(), nullptr, true);
        return true;
    case KS_IDENT_STMT: {
        ScriptNode* second = node->Child(1);
        GetVariableValue(node->Child(0) ? node->Child(0)->text.c_str() : "",
                         second && second->type == KS_ARRAY_STMT ? second : nullptr, true);
        return true;
    }
    case KS_NOT:
        Push(ops_.Not(EvalOne(node->Child(0), operandError).Get()));
        return true;
    case KS_UNARY:
        Push(ops_.Negate(EvalOne(node->Child(0), operandError).Get()));
        return true;
    case KS_STMT_PLUS_PLUS_PREF:
    case KS_STMT_PLUS_PLUS_POST:
        Increment(node, true);
        return true;
    case KS_STMT_MINUS_MINUS_PREF:
    case KS_STMT_MINUS_MINUS_POST:
        Increment(node, false);
        return true;
    case KS_GF_DATE:
    case KS_GF_DATETIME:
    case KS_GF_TIME:
    case KS_GF_IPADDR:
    case KS_GF_INT:
    case KS_GF_DOUBLE:
    case KS_GF_MILLI:
    case KS_GF_SECOND:
    case KS_GF_TOSTRING:
        Conversion(node);
        return true;
    case KS_ARRAY_SIZE:
        ArraySize(node);
        return true;
    case KS_STMT_DEFINED:
        Defined(node);
        return true;
    case KS_STMT_FIX:
        Fix(node);
        return true;
    case KS_STMT_FREE:
        FreeFixed(node);
        return true;
    case KS_USER_CALL:
        Call(node);
        return true;
    default:
        return false;
    }
}

void CodeParser::BinaryOperation(ScriptNode* node, ScriptOp op)
{
    const char* operandError = "Too few arguments for operation";
    // The left operand is held by a copy: evaluating the right one may
    // change the variable it was read from.
    const ScriptValue left = EvalOne(node->Child(0), operandError).Get();
    if (op == ScriptOp::And || op == ScriptOp::Or) {
        ScriptValue decided;
        if (ops_.ShortCircuit(op, left, decided)) {
            Push(decided);
            return;
        }
    }
    const ScriptValueSlot right = EvalOne(node->Child(1), operandError);
    if (op != ScriptOp::Regexp) {
        Push(ops_.Calculate(op, left, right.Get()));
        return;
    }
    ScriptMatchDetail detail;
    const ScriptValue result =
        ops_.Calculate(op, left, right.Get(), static_cast<const RegexBuilder*>(node->user), &detail);
    SetMatchVariables(detail, result.Int() != 0);
    Push(result);
}

void CodeParser::SetMatchVariables(const ScriptMatchDetail& detail, bool matched)
{
    // Match variables are assigned like `x = v`, created where missing, and
    // take any value whatever they held before.
    auto set = [this](const char* name, const ScriptValue& value) {
        Variable* variable = FindVariable(name, false);
        if (!variable)
            variable = CreateVariable(name, false);
        FreeValue(*variable->value, true);
        *variable->value = value;
    };
    set("$n", ScriptValue::Integer(0));
    if (!matched)
        return;
    for (const char* name : kGroupNames)
        set(name, ScriptValue());
    const int groups = detail.groups.GetGroupCount();
    const int stored = groups < kGroupVariables ? groups : kGroupVariables;
    for (int k = 1; k <= stored; k++) {
        const int start = detail.groups.GetGroupStart(k);
        const int end = detail.groups.GetGroupEnd(k);
        // A group longer than a scratch text reads as empty, as it always has.
        const bool kept = start >= 0 && end >= start && end - start < int(ZmLib::TEMP_STR_CAPACITY);
        const char* text = kept ? detail.subject.text + start : "";
        set(kGroupNames[k - 1], ScriptValue::String(text, kept ? size_t(end - start) : 0, 0));
    }
    set("$n", ScriptValue::Integer(stored));
}

void CodeParser::Increment(ScriptNode* node, bool plus)
{
    const char* name = node->Child(0) ? node->Child(0)->text.c_str() : "";
    const ScriptValue* constant = ScriptConstantTable::Global().Find(name);
    Variable* variable = constant ? nullptr : FindVariable(name, false);
    if (!constant && !variable)
        MakeError("Unknown variable", name);
    const ScriptValue current = constant ? *constant : *variable->value;
    const ScriptValue result =
        ops_.CalculateNum(plus ? ScriptOp::Plus : ScriptOp::Minus, current, ScriptValue::Integer(1));
    SetVariable(name, result, false, 0, nullptr);
    if (!NeedsValue(node))
        return;
    Push(result);
}

void CodeParser::Conversion(ScriptNode* node)
{
    const char* operandError = "Too few arguments for operation";
    if (node->type == KS_GF_TOSTRING) {
        if (node->Count() != 2)
            MakeError(operandError);
        const ScriptValue value = EvalOne(node->Child(0), operandError).Get();
        const ScriptValue form = EvalOne(node->Child(1), operandError).Get();
        Push(ops_.ToString(value, form));
        return;
    }
    if (node->Count() != 1)
        MakeError(operandError);
    ScriptConversion conversion;
    switch (node->type) {
    case KS_GF_DATE: conversion = ScriptConversion::Date; break;
    case KS_GF_DATETIME: conversion = ScriptConversion::DateTime; break;
    case KS_GF_TIME: conversion = ScriptConversion::Time; break;
    case KS_GF_IPADDR: conversion = ScriptConversion::IpAddr; break;
    case KS_GF_INT: conversion = ScriptConversion::Int; break;
    case KS_GF_DOUBLE: conversion = ScriptConversion::Float; break;
    case KS_GF_MILLI: conversion = ScriptConversion::Milli; break;
    default: conversion = ScriptConversion::Second; break;
    }
    Push(ops_.Convert(conversion, EvalOne(node->Child(0), operandError).Get()));
}
