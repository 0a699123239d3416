// Calls of script functions and library functions, parameter binding,
// return, and the print and debug statements.
#include <cstring>
#include <string>

#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scriptchannels.h"
#include "script/scriptbase/scripttokens.h"
#include "utils/common/strbase.h"

namespace {

enum ParamKind { PARAM_PLAIN, PARAM_IN, PARAM_OUT, PARAM_IN_OUT, PARAM_REST };

ParamKind KindOf(const ScriptNode* decl, const char*& name)
{
    const ScriptNode* first = decl->Child(0);
    const ScriptNode* second = decl->Child(1);
    name = second ? second->text.c_str() : first ? first->text.c_str() : "";
    if (!first)
        return PARAM_PLAIN;
    switch (first->type) {
    case KS_PARAM_MULTI: return PARAM_REST;
    case KS_PARAM_IN: return PARAM_IN;
    case KS_PARAM_OUT: return PARAM_OUT;
    case KS_PARAM_IN_OUT: return PARAM_IN_OUT;
    default: return PARAM_PLAIN;
    }
}

// A debug piece's expression: the tree notation without parentheses, a
// variable written as its name (and index) alone.
std::string DebugExpression(const ScriptNode* node)
{
    std::string text = ScriptTree::Notation(node, KS_IDENT_STMT);
    for (char& c : text)
        if (c == '(' || c == ')')
            c = ' ';
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

bool CodeParser::NeedsValue(const ScriptNode* node) const
{
    const ScriptNode* parent = node->parent;
    return parent && parent->type != KS_BLOCK && parent->type != KS_FOR_CYCLE && parent->type != KS_PROGRAM;
}

int CodeParser::FindUserFunction(const char* name) const
{
    for (size_t i = 0; i < functions_.size(); i++)
        if (std::strcmp(functions_[i].name, name) == 0)
            return int(i);
    return -1;
}

void CodeParser::Call(ScriptNode* node)
{
    const int function = FindUserFunction(node->Child(0) ? node->Child(0)->text.c_str() : "");
    if (function >= 0)
        CallUser(node, function);
    else
        CallLibraryNode(node);
}

void CodeParser::CallUser(ScriptNode* node, int function)
{
    const int base = stackCount_;
    {
        UndefinedScope scope(*this, true);
        for (int i = node->Count() - 1; i >= 1; i--)
            EvalKeep(node->children[size_t(i)], "Function arguments error");
    }
    Push(ScriptValue::Integer(node->Count() - 1));

    ScriptNode* def = functions_[size_t(function)].def;
    const int entry = frameCount_;
    // A call needs two frames, the function's own and its body's: refused
    // at the call, whose line the error then carries.
    if (frameCount_ + 2 > MAX_FRAMES)
        MakeError("Error in variable stack");
    const int callLine = line_;
    {
        OpenFrame();
        FrameGuard guard(*this, entry);
        // The body reads its variables strictly, whatever the call's context.
        UndefinedScope strict(*this, false);
        callLine_ = callLine;
        MainCycle(def->Child(1));
    }
    // What follows in the caller's expression is reported at the call.
    line_ = callLine;
    const bool hasValue = returning_ && returnHasValue_;
    returning_ = false;
    ScriptValueSlot result;
    if (hasValue)
        result = Pop();
    stackCount_ = base;
    if (NeedsValue(node)) {
        if (!hasValue)
            MakeError("Function do not return a value");
        Push(result.Get());
    }
}

void CodeParser::Return(ScriptNode* node)
{
    returnHasValue_ = node->Count() > 0;
    if (!returnHasValue_) {
        returning_ = true;
        return;
    }
    // The value leaves the function's frames, which are about to close:
    // it travels as a copy, an array in storage of its own.
    ScriptValue value = EvalOne(node->Child(0), "Too few arguments for operation").Get();
    if (value.array) {
        value.array = ScriptArrayCopy(value.array);
        if (!value.array)
            MakeError("Allocation overflow");
        KeepTemp(value.array);
    }
    Push(value);
    returning_ = true;
}

void CodeParser::BindParameters(ScriptNode* header)
{
    const int64_t count = Pop().Get().Int();
    const int params = header->Count() - 1;
    bool rest = false;
    for (int p = 1; p <= params; p++) {
        const char* name;
        if (KindOf(header->children[size_t(p)], name) == PARAM_REST) {
            if (p != params)
                MakeError("... must be last parameter only");
            rest = true;
        }
    }
    const int declared = rest ? params - 1 : params;
    if (count < declared)
        MakeError("Arguments count in function call less than declared");
    if (count > declared && !rest)
        MakeError("Arguments count in function call more than declared");

    for (int p = 1; p <= declared; p++) {
        const char* name;
        const ParamKind kind = KindOf(header->children[size_t(p)], name);
        const ScriptValueSlot slot = Pop();
        const std::string parameter = std::string("Parameter ") + name;
        if (kind != PARAM_OUT && slot.Get().type == SCRIPT_UNDEFINED)
            MakeError((parameter + " undefined").c_str());
        if (kind == PARAM_OUT || kind == PARAM_IN_OUT) {
            if (!slot.IsReference())
                MakeError((parameter + " must be a variable").c_str());
            Variable* variable = FindVariable(name, true);
            if (!variable)
                variable = CreateVariable(name, false);
            else if (variable->value == &variable->storage)
                FreeValue(variable->storage, true);
            variable->value = slot.current;
            continue;
        }
        SetVariable(name, slot.Get(), true, 1, nullptr);
    }
    if (!rest)
        return;
    SetVariable("args_list", ScriptValue(), true, 2, nullptr, true);
    Variable* list = FindVariable("args_list", true);
    for (int64_t i = 0; i < count - declared; i++)
        AssignValue(*list, Pop().Get(), &i);
}

void CodeParser::CallLibraryNode(ScriptNode* node)
{
    const char* name = node->Child(0) ? node->Child(0)->text.c_str() : "";
    const int argc = node->Count() - 1;
    int library = -1;
    if (argc > 0) {
        ScriptValueSlot first;
        {
            UndefinedScope scope(*this, true);
            EvalKeep(node->Child(1), "Arguments error in function", name);
            first = Pop();
        }
        if (first.Get().type == SCRIPT_HANDLER) {
            if (!first.Get().handler)
                ThrowError("Main handler error ", " line ", line_);
            library = first.Get().handler->library;
        }
    }
    const int function = Registry() ? Registry()->FindFunction(name, library) : -1;
    if (function < 0)
        MakeError("Unknown function call", name);

    const int base = stackCount_;
    {
        UndefinedScope scope(*this, Registry()->Function(library, function).acceptsUndefined != 0);
        for (int i = argc; i >= 1; i--)
            EvalKeep(node->children[size_t(i)], "Arguments error in function", name);
    }
    ScriptArgList args;
    for (int i = 0; i < argc; i++) {
        const ScriptValueSlot slot = Pop();
        if (uint32_t(i) < SCRIPT_MAX_ARGS)
            args.args[i] = slot;
    }
    args.count = uint32_t(argc) < SCRIPT_MAX_ARGS ? uint32_t(argc) : SCRIPT_MAX_ARGS;
    stackCount_ = base;

    ScriptValue result;
    CallLibrary(result, function, library, line_, args);
    if (result.type == SCRIPT_FAILED)
        MakeError("Return error in function ", name);
    if (result.type == SCRIPT_ARRAY && result.array)
        KeepTemp(result.array);
    if (NeedsValue(node))
        Push(result);
}

void CodeParser::CallLibrary(ScriptValue& result, int function, int library, int line, ScriptArgList& args)
{
    const ScriptLibRegistry& registry = *Registry();
    CheckFunctionArgs(registry, function, library, line, args);
    result = ScriptValue();
    result.type = int32_t(registry.Function(library, function).resultType);
    int index = library;
    registry.At(library).library->Run(result, function, &index, line, args);
    // A library that processes events may have let the user stop the script;
    // an array it returned is not kept by anyone then.
    if (stopRequested_.load(std::memory_order_relaxed) && result.type == SCRIPT_ARRAY) {
        ScriptArrayFree(result.array);
        result = ScriptValue();
    }
    CheckStop();
    // A library may point a result's text at its own storage or at scratch
    // memory; the value keeps a copy.
    if (result.BorrowsText())
        result.SetText(result.text);
    if (result.type == SCRIPT_HANDLER)
        result.handler = HandlerBlock(index, result.object);
}

ScriptHandler* CodeParser::HandlerBlock(int library, void* object)
{
    // One block per library object: a loop that keeps getting the same
    // handler does not keep allocating.
    for (const auto& block : handlers_)
        if (block->library == library && block->object == object)
            return block.get();
    handlers_.push_back(std::make_unique<ScriptHandler>(ScriptHandler{library, object}));
    return handlers_.back().get();
}

void CodeParser::CheckFunctionArgs(const ScriptLibRegistry& registry, int function, int library, int line,
                                   const ScriptArgList& args)
{
    const ScriptLibFunc& desc = registry.Function(library, function);
    if (desc.minArgs > args.count)
        throw ScriptError(FormatError("Arguments count error in function", desc.name, line));
    for (uint32_t i = 0; i < uint32_t(SCRIPT_LIB_ARG_CODES) && desc.argTypes[i] != 0; i++) {
        const uint32_t code = desc.argTypes[i];
        if (i >= args.count || code == SCRIPT_ANY)
            continue;
        const int32_t type = args.Arg(i).type;
        if (uint32_t(type) == code || (code == SCRIPT_DOUBLE && type == SCRIPT_INTEGER))
            continue;
        const std::string message = "Argument " + std::to_string(i) + " has incorrect type " +
                                    ScriptTypeName(type) + " in function " + desc.name;
        throw ScriptError(FormatError(message.c_str(), nullptr, line));
    }
}

void CodeParser::Print(ScriptNode* node, bool debug)
{
    const int argc = node->Count();
    const int base = stackCount_;
    for (int i = argc - 1; i >= 0; i--)
        EvalKeep(node->children[size_t(i)], "Function arguments error");
    ZmLib::TempStr total;
    for (int i = 0; i < argc; i++) {
        const ScriptValueSlot slot = Pop();
        std::string piece;
        if (debug)
            piece = DebugExpression(node->children[size_t(i)]) + "= ";
        piece += ValueToText(slot.Get(), line_);
        if (debug && i + 1 < argc)
            piece += ", ";
        if (KxScriptChannel.Passes(ZmLib::KX_LEVEL_INFO))
            KxScriptChannel.PrintText(0, ZmLib::KX_LEVEL_INFO, "CodeParser::MainCycle", piece.c_str());
        total.Add(piece.c_str());
    }
    stackCount_ = base;

    int library = -1;
    const int function = Registry() ? Registry()->FindFunction("gui.print", library) : -1;
    if (function < 0)
        return;
    ScriptArgList args;
    args.count = 1;
    args.args[0].SetTemp(ScriptValue::String(total.c_str(), 0));
    ScriptValue ignored;
    CallLibrary(ignored, function, library, line_, args);
}
