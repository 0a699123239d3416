// Evaluation of a prepared search expression on one record: each node leaves
// its value on the stack; true comparisons on fields fill the match slots.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "LogicalExpParser.h"
#include "kxlib/kxdrecord.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scriptchannels.h"
#include "script/scriptbase/scriptlib.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "utils/common/strbase.h"

namespace {

bool BinaryOp(int type, ScriptOp& op)
{
    switch (type) {
    case LE_AND: op = ScriptOp::And; break;
    case LE_OR: op = ScriptOp::Or; break;
    case LE_BIT_AND: op = ScriptOp::BitAnd; break;
    case LE_BIT_OR: op = ScriptOp::BitOr; break;
    case LE_EQUAL: op = ScriptOp::Equal; break;
    case LE_NOT_EQUAL: op = ScriptOp::NotEqual; break;
    case LE_GREATER: op = ScriptOp::Greater; break;
    case LE_GREATER_OR_EQUAL: op = ScriptOp::GreaterOrEqual; break;
    case LE_LESS: op = ScriptOp::Less; break;
    case LE_LESS_OR_EQUAL: op = ScriptOp::LessOrEqual; break;
    case LE_ONLY_PLUS: op = ScriptOp::Plus; break;
    case LE_ONLY_MINUS: op = ScriptOp::Minus; break;
    case LE_ONLY_MUL: op = ScriptOp::Mul; break;
    case LE_ONLY_DIV: op = ScriptOp::Div; break;
    case LE_ONLY_MOD: op = ScriptOp::Mod; break;
    case LE_ONLY_POWER: op = ScriptOp::Power; break;
    case LE_REGEXP: op = ScriptOp::Regexp; break;
    case LE_SUBST: op = ScriptOp::Subst; break;
    case LE_WILDCMP: op = ScriptOp::WildCmp; break;
    default: return false;
    }
    return true;
}

bool Conversion(int type, ScriptConversion& conversion)
{
    switch (type) {
    case LE_GF_DATE: conversion = ScriptConversion::Date; break;
    case LE_GF_DATETIME: conversion = ScriptConversion::DateTime; break;
    case LE_GF_TIME: conversion = ScriptConversion::Time; break;
    case LE_GF_IPADDR: conversion = ScriptConversion::IpAddr; break;
    case LE_GF_DOUBLE: conversion = ScriptConversion::Float; break;
    case LE_GF_INT: conversion = ScriptConversion::Int; break;
    case LE_GF_MILLI: conversion = ScriptConversion::Milli; break;
    case LE_GF_SECOND: conversion = ScriptConversion::Second; break;
    default: return false;
    }
    return true;
}

bool IsTextMatch(ScriptOp op) { return op == ScriptOp::Subst || op == ScriptOp::WildCmp || op == ScriptOp::Regexp; }

const char* TextOf(const ScriptValue& v) { return v.text ? v.text : ""; }

// Copies at most count bytes of text into a scratch buffer.
void CopyMatched(char* out, const char* text, size_t count)
{
    const size_t n = count < ZmLib::TEMP_STR_CAPACITY ? count : ZmLib::TEMP_STR_CAPACITY;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

// A value as the match slots show it.
const char* SlotText(const ScriptValue& v)
{
    if (v.type == SCRIPT_STRING)
        return TextOf(v);
    char* out = ZmLib::StrBase::TempBuffer();
    if (v.type == SCRIPT_DOUBLE)
        snprintf(out, ZmLib::TEMP_BUFFER_SIZE, "%lf", v.Double());
    else
        snprintf(out, ZmLib::TEMP_BUFFER_SIZE, "%" PRId64, v.Int());
    return out;
}

// tostring reads its form from the low 32 bits of the number.
ScriptValue FormLow32(const ScriptValue& form)
{
    if (!form.IsNumber())
        return form;
    const int64_t v = form.type == SCRIPT_DOUBLE ? ScriptOperations::TruncateToInt(form.Double()) : form.Int();
    return ScriptValue::Integer(int32_t(uint32_t(uint64_t(v))));
}

} // namespace

void ScriptLogicalExpParser::Push(const ScriptValue& value)
{
    // A full stack drops the value; the count check of the consumer reports it.
    if (stackCount_ < STACK_SIZE)
        stack_[stackCount_++].SetTemp(value);
}

ScriptValue ScriptLogicalExpParser::Pop() { return stack_[--stackCount_].Get(); }

ScriptValue ScriptLogicalExpParser::EvalChild(const ScriptNode* node, int i)
{
    const ScriptNode* child = node->Child(i);
    const int32_t before = stackCount_;
    if (child)
        MainCycle(child);
    if (stackCount_ != before + 1)
        MakeError("Too few arguments for operation");
    return Pop();
}

void ScriptLogicalExpParser::MakeError(const char* message, const char* argument)
{
    throw ScriptError(CodeParser::FormatError(message, argument, line_));
}

ScriptValue ScriptLogicalExpParser::FieldValue(int32_t field) const
{
    const char* value = record_->Text(field);
    // Borrowed: the record outlives the evaluation, and copying every field
    // of every row would slow a search down.
    if (!FieldIsNumber(field))
        return ScriptValue::Borrowed(value, 0);
    ScriptValue v = ScriptValue::Integer(record_->Int64(field));
    v.text = value;
    return v;
}

void ScriptLogicalExpParser::MainCycle(const ScriptNode* node)
{
    if (node->line)
        line_ = node->line;
    ScriptOperations ops(*this, matchCase != 0);
    ScriptOp op;
    ScriptConversion conversion;
    if (BinaryOp(node->type, op)) {
        const ScriptValue left = EvalChild(node, 0);
        if (op == ScriptOp::And || op == ScriptOp::Or) {
            ScriptValue decided;
            if (ops.ShortCircuit(op, left, decided)) {
                Push(decided);
                return;
            }
        }
        const ScriptValue right = EvalChild(node, 1);
        char* matched = ZmLib::StrBase::TempBuffer();
        matched[0] = '\0';
        const int32_t before = stackCount_;
        CalculateOperation(node, op, left, right, matched);
        if (stackCount_ == before + 1)
            Highlight(node, op, left, right, matched);
        return;
    }
    if (Conversion(node->type, conversion)) {
        Push(ops.Convert(conversion, EvalChild(node, 0)));
        return;
    }
    switch (node->type) {
    case LE_COMA_STRINGS:
    case LE_STRINGS:
        Push(ScriptValue::Borrowed(node->literal.c_str(), node->type == LE_COMA_STRINGS ? 1 : 0));
        break;
    case LE_NUMBER:
        // Read by the preparation pass; a literal that is no number has no value.
        if (!node->user)
            MakeError("Number error");
        Push(*static_cast<const ScriptValue*>(node->user));
        break;
    case LE_IDENT: {
        const auto* info = static_cast<const SearchNodeInfo*>(node->user);
        if (info && info->field >= 0)
            Push(FieldValue(info->field));
        else
            Push(ScriptValue::Borrowed(node->text.c_str(), 0));
        break;
    }
    case LE_NOT:
        Push(ops.Not(EvalChild(node, 0)));
        break;
    case LE_UNARY:
        Push(ops.Negate(EvalChild(node, 0)));
        break;
    case LE_GF_TOSTRING: {
        if (PushArguments(node, 0) != 2)
            MakeError("Too few arguments for operation");
        const ScriptValue value = Pop();
        const ScriptValue form = Pop();
        Push(ops.ToString(value, FormLow32(form)));
        break;
    }
    case LE_STMT_PRINT:
    case LE_STMT_DEBUG:
        Print(node);
        break;
    case LE_USER_CALL:
        UserCall(node);
        break;
    default:
        break;
    }
}

void ScriptLogicalExpParser::CalculateOperation(const ScriptNode* node, ScriptOp op, ScriptValue left,
                                                ScriptValue right, char* matched)
{
    auto known = [](const ScriptValue& v) { return v.type == SCRIPT_STRING || v.IsNumber(); };
    if (!known(left) || !known(right))
        MakeError("Invalid arguments types");
    // Two numbers stay numbers except under the text matches; every other
    // pair is compared as two texts.
    if (left.IsNumber() && (right.type == SCRIPT_STRING || IsTextMatch(op)))
        left = ScriptOperations::NumberToText(left);
    if (left.type == SCRIPT_STRING && right.IsNumber())
        right = ScriptOperations::NumberToText(right);
    ScriptValue result;
    ScriptMatchDetail detail;
    if (op == ScriptOp::Regexp) {
        // Both are texts now; the pattern was compiled by the preparation.
        result = ScriptValue::Integer(PatternMatches(node, TextOf(left)) ? 1 : 0);
    } else {
        ScriptOperations ops(*this, matchCase != 0);
        result = ops.Calculate(op, left, right, nullptr, &detail);
    }
    if (result.Int() != 0) {
        if (op == ScriptOp::Subst && detail.hit)
            CopyMatched(matched, detail.hit, std::strlen(TextOf(right)));
        else if (op == ScriptOp::Regexp || op == ScriptOp::WildCmp)
            CopyMatched(matched, TextOf(left), std::strlen(TextOf(left)));
    }
    Push(result);
}

void ScriptLogicalExpParser::Highlight(const ScriptNode* node, ScriptOp op, const ScriptValue& left,
                                       const ScriptValue& right, const char* matched)
{
    const ScriptValue& result = stack_[stackCount_ - 1].Get();
    const bool nonZero = result.type == SCRIPT_DOUBLE ? result.Double() != 0.0 : result.bits != 0;
    const auto* info = static_cast<const SearchNodeInfo*>(node->user);
    if (!nonZero || !info || !info->operand || (node->parent && node->parent->type == LE_NOT))
        return;
    const ScriptValue& operand = info->operand == node->Child(0) ? left : right;
    if (IsTextMatch(op))
        SetSlot(info->field, op == ScriptOp::Subst ? SEARCH_SLOT_SUBSTRING : SEARCH_SLOT_VALUE, matched);
    else
        SetSlot(info->field, SEARCH_SLOT_VALUE, SlotText(operand));
}

bool ScriptLogicalExpParser::PatternMatches(const ScriptNode* node, const char* subject)
{
    auto* info = static_cast<SearchNodeInfo*>(node->user);
    const size_t length = std::strlen(subject);
    if (!info || !info->pattern || length > size_t(INT32_MAX) || info->exhaustedRound == limitRound)
        return false;
    info->pattern->Match(regexResult_, subject, int(length), &regexContext_);
    if (!regexContext_.MatchLimitExceeded())
        return regexResult_.IsMatched();
    // A pattern that backtracks without end on one text mostly does so on
    // the next ones too: each would cost the whole step budget, and a
    // filter over a large table would never finish. The holder of the
    // expression tells the user that the round's results are incomplete.
    const char* pattern = node->Child(1) ? node->Child(1)->literal.c_str() : "";
    KxScriptChannel.WarningReport(0, "script/scriptlogicalexp/scriptlogicalexpeval", __LINE__,
                                  "ScriptLogicalExpParser::PatternMatches",
                                  "Regular expression \"%s\" exceeded its match limit: it matches nothing for the "
                                  "rest of this search",
                                  pattern);
    info->exhaustedRound = limitRound;
    if (!matchLimitExceeded) {
        matchLimitExceeded = true;
        limitPattern = pattern;
    }
    return false;
}

int ScriptLogicalExpParser::PushArguments(const ScriptNode* node, int first)
{
    const int32_t before = stackCount_;
    for (int i = node->Count() - 1; i >= first; --i)
        MainCycle(node->Child(i));
    return stackCount_ - before;
}

void ScriptLogicalExpParser::Print(const ScriptNode* node)
{
    const int count = node->Count();
    if (PushArguments(node, 0) != count)
        MakeError("Function arguments error");
    ZmLib::TempStr line;
    for (int i = 0; i < count; ++i) {
        std::string piece = ScriptTree::Notation(node->Child(i)) + ":" + CodeParser::ValueToText(Pop(), line_);
        if (i + 1 < count)
            piece += ", ";
        if (KxScriptChannel.Passes(ZmLib::KX_LEVEL_INFO))
            KxScriptChannel.PrintText(0, ZmLib::KX_LEVEL_INFO, "ScriptLogicalExpParser::MainCycle", piece.c_str());
        line.Add(piece.c_str());
    }
    ScriptLibRegistry* registry = ScriptLibRegistry::search;
    int library = -1;
    const int function = registry ? registry->FindFunction("gui.print", library) : -1;
    if (function < 0)
        return;
    Push(ScriptValue::String(line.c_str(), 0));
    CallFunction(function, library, line_, 1);
}

void ScriptLogicalExpParser::UserCall(const ScriptNode* node)
{
    const char* name = node->Child(0) ? node->Child(0)->text.c_str() : "";
    int library = -1;
    if (node->Count() > 1) {
        const ScriptValue first = EvalChild(node, 1);
        if (first.type == SCRIPT_HANDLER) {
            if (!first.handler) {
                char where[32];
                snprintf(where, sizeof(where), " line %d", line_);
                MakeError("Main handler error ", where);
            }
            library = first.handler->library;
        }
    }
    ScriptLibRegistry* registry = ScriptLibRegistry::search;
    const int function = registry ? registry->FindFunction(name, library) : -1;
    // Told with the name's place: the failure is told once for all records.
    if (function < 0)
        throw ScriptError("unknown function \"" + std::string(name) + "\"" +
                          PlaceOf(node->Child(0) ? node->Child(0) : node));
    if (PushArguments(node, 1) != node->Count() - 1)
        MakeError("Arguments error in function", name);
    CallFunction(function, library, line_, node->Count() - 1);
}

void ScriptLogicalExpParser::CallFunction(int function, int library, int line, int count)
{
    ScriptLibRegistry* registry = ScriptLibRegistry::search;
    ScriptArgList args;
    // The value on top is the first argument; past the list's room the
    // values are taken off and dropped.
    for (int i = 0; i < count && stackCount_ > 0; ++i) {
        const ScriptValue v = Pop();
        if (args.count < SCRIPT_MAX_ARGS)
            args.args[args.count++].SetTemp(v);
    }
    CodeParser::CheckFunctionArgs(*registry, function, library, line, args);
    const ScriptLibFunc& descriptor = registry->Function(library, function);
    ScriptValue result;
    result.type = int32_t(descriptor.resultType);
    registry->At(library).library->Run(result, function, &library, line, args);
    // A handler result carries the library's bare object, not a handler
    // block: a later call would read it as one. A search keeps no handlers.
    if (result.type == SCRIPT_FAILED || result.type == SCRIPT_HANDLER)
        MakeError("Return error in function ", descriptor.name);
    Push(result);
}
