// Variables: frames, reading, declaring, assigning, and the built-ins that
// work on a variable (undef, array_size, defined, fix, free).
#include <cstring>
#include <string>

#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scripttokens.h"

namespace {

bool IsArrayLike(const ScriptValue& v)
{
    return v.type == SCRIPT_ARRAY || v.type == SCRIPT_RECORD;
}

const char* NameOf(const ScriptNode* node)
{
    return node ? node->text.c_str() : "";
}

// The index node of a variable node (IDENT_STMT), null without brackets.
ScriptNode* IndexNodeOf(const ScriptNode* variable)
{
    ScriptNode* second = variable->Child(1);
    return second && second->type == KS_ARRAY_STMT ? second : nullptr;
}

} // namespace

void CodeParser::OpenFrame()
{
    std::unique_ptr<Frame>& frame = frames_[frameCount_];
    if (!frame)
        frame = std::make_unique<Frame>();
    frame->count = 0;
    frameCount_++;
}

void CodeParser::CloseFrame()
{
    FreeFrame(*frames_[--frameCount_]);
}

void CodeParser::FreeFrame(Frame& frame)
{
    for (int32_t i = 0; i < frame.count; i++) {
        Variable& v = frame.vars[i];
        // A parameter bound to the caller's variable does not own it.
        if (v.value == &v.storage)
            FreeValue(v.storage, true);
    }
    frame.count = 0;
}

void CodeParser::ReleaseTemps(size_t mark)
{
    while (temps_.size() > mark) {
        ScriptArrayFree(temps_.back());
        temps_.pop_back();
    }
}

ScriptValue CodeParser::OwnedCopy(const ScriptValue& value)
{
    ScriptValue copy = value;
    if (value.array) {
        copy.array = ScriptArrayCopy(value.array);
        if (!copy.array)
            MakeError("Allocation overflow");
    }
    return copy;
}

CodeParser::Variable* CodeParser::FindVariable(const char* name, bool innermostOnly)
{
    const int last = innermostOnly ? frameCount_ - 1 : 0;
    for (int f = frameCount_ - 1; f >= last && f >= 0; f--) {
        Frame& frame = *frames_[f];
        for (int32_t i = 0; i < frame.count; i++)
            if (frame.vars[i].name[0] == name[0] && std::strcmp(frame.vars[i].name, name) == 0)
                return &frame.vars[i];
    }
    return nullptr;
}

CodeParser::Variable* CodeParser::CreateVariable(const char* name, bool asArray)
{
    if (frameCount_ == 0)
        MakeError("Error in variable stack");
    Frame& frame = *frames_[frameCount_ - 1];
    if (frame.count >= MAX_VARIABLES)
        MakeError("Allocation overflow");
    Variable& v = frame.vars[frame.count++];
    v.name = name;
    v.storage = ScriptValue();
    v.value = &v.storage;
    if (asArray) {
        v.storage.type = SCRIPT_ARRAY;
        v.storage.array = ScriptArrayNew();
    }
    return &v;
}

void CodeParser::GetVariableValue(const char* name, ScriptNode* indexNode, bool checkUndefined)
{
    // Constants travel as copies, so no call can write into one.
    const ScriptValue* constant = ScriptConstantTable::Global().Find(name);
    Variable* variable = constant ? nullptr : FindVariable(name, false);
    if (!constant && !variable)
        MakeError("Unknown variable", name);
    const ScriptValue& value = constant ? *constant : *variable->value;
    if (!indexNode) {
        if (value.type == SCRIPT_UNDEFINED && checkUndefined && !allowUndefined_)
            MakeError("Variable is undefined", name);
        if (constant)
            Push(value);
        else
            PushReference(variable->value);
        return;
    }
    const int64_t index = EvalIndex(indexNode);
    if (value.type == SCRIPT_RECORD) {
        int library = -1;
        const int function = Registry() ? Registry()->FindFunction("kxrow.get_value", library) : -1;
        if (function < 0)
            MakeError("No get field data function ");
        ScriptArgList args;
        args.count = 2;
        args.args[0].SetTemp(value);
        args.args[1].SetTemp(ScriptValue::Integer(index));
        ScriptValue result;
        CallLibrary(result, function, library, line_, args);
        if (result.type == SCRIPT_FAILED)
            MakeError("Return error in function ", "kxrow.get_value");
        if (result.type == SCRIPT_ARRAY)
            KeepTemp(result.array);
        Push(result);
        return;
    }
    if (value.type != SCRIPT_ARRAY)
        MakeError((std::string(name) + " is not an array").c_str());
    const int32_t size = value.array ? value.array->size : 0;
    if (index < 0 || index >= size) {
        const std::string message = "An array index " + std::to_string(index) + " exceeds size " +
                                    std::to_string(size) + " of array " + name;
        MakeError(message.c_str());
    }
    // An element travels as a copy: growing the array would move it.
    const ScriptValue& element = value.array->elements[index].value;
    if (element.type == SCRIPT_UNDEFINED && checkUndefined && !allowUndefined_)
        MakeError("Variable is undefined", name);
    Push(element);
}

int64_t CodeParser::EvalIndex(ScriptNode* arrayNode)
{
    if (arrayNode->Count() == 0)
        MakeError("Array index not calculated");
    const ScriptValueSlot slot = EvalOne(arrayNode->Child(0), "Array index not calculated");
    if (slot.Get().type != SCRIPT_INTEGER)
        MakeError("Array index wrong type: ", ScriptTypeName(slot.Get().type));
    return slot.Get().Int();
}

void CodeParser::SetVariable(const char* name, const ScriptValue& value, bool create, int mode,
                             const int64_t* index, bool asArray)
{
    if (ScriptConstantTable::Global().Find(name))
        MakeError("You can not assign value to constant ", name);
    Variable* variable = FindVariable(name, mode != 0);
    if (mode == 2) {
        if (variable)
            MakeError("Variable redetermination", name);
        CreateVariable(name, asArray || index);
        return;
    }
    if (!variable) {
        if (!create)
            MakeError("Variable not defined", name);
        variable = CreateVariable(name, asArray || index);
    }
    AssignValue(*variable, value, index);
}

void CodeParser::AssignValue(Variable& variable, const ScriptValue& value, const int64_t* index)
{
    ScriptValue& target = *variable.value;
    if (!index) {
        if (target.type != SCRIPT_UNDEFINED) {
            if (IsArrayLike(target) && !IsArrayLike(value))
                MakeError("You can not assign value to array variable ", variable.name);
            if (!IsArrayLike(target) && IsArrayLike(value))
                MakeError("You can not assign array to non array variable ", variable.name);
        }
        // Copied before the old storage goes: the value may live inside it.
        const ScriptValue copy = OwnedCopy(value);
        ScriptArrayFree(target.array);
        target = copy;
        return;
    }
    if (target.type == SCRIPT_RECORD)
        MakeError("Value of RECORD type can not be changed in this version");
    if (target.type != SCRIPT_ARRAY)
        MakeError((std::string("Variable ") + variable.name + " is not an arrray").c_str());
    if (!target.array)
        target.array = ScriptArrayNew();
    const int64_t i = *index;
    if (i < 0) {
        const std::string message = "An array index " + std::to_string(i) + " exceeds size " +
                                    std::to_string(target.array->size) + " of array " + variable.name;
        MakeError(message.c_str());
    }
    if (i >= target.array->size) {
        if (i >= MAX_ARRAY_SIZE || !ScriptArrayResize(target.array, int32_t(i + 1)))
            MakeError("Allocation overflow");
    }
    const ScriptValue copy = OwnedCopy(value);
    ScriptValue& element = target.array->elements[i].value;
    ScriptArrayFree(element.array);
    element = copy;
}

void CodeParser::Assign(ScriptNode* node)
{
    ScriptNode* target = node->Child(0);
    ScriptNode* op = node->Child(1);
    if (!target || !op)
        MakeError("Too few arguments for assign");
    const char* name = NameOf(target->Child(0));
    ScriptNode* indexNode = IndexNodeOf(target);
    const bool inVar = node->parent && node->parent->type == KS_STMT_VAR;

    ScriptValue value = EvalOne(node->Child(2), "Too few arguments for assign").Get();
    if (op->type != KS_ONLY_EQUAL) {
        ScriptOp compound;
        switch (op->type) {
        case KS_EQ_PLUS: compound = ScriptOp::EqPlus; break;
        case KS_EQ_MINUS: compound = ScriptOp::EqMinus; break;
        case KS_EQ_MUL: compound = ScriptOp::EqMul; break;
        case KS_EQ_DIV: compound = ScriptOp::EqDiv; break;
        default: compound = ScriptOp::EqMod; break;
        }
        GetVariableValue(name, indexNode, true);
        const ScriptValue current = Pop().Get();
        value = ops_.Calculate(compound, current, value);
    }
    const bool emptyBrackets = indexNode && indexNode->Count() == 0;
    if (inVar && emptyBrackets)
        SetVariable(name, value, true, 2, nullptr, true);
    if (indexNode && !emptyBrackets) {
        const int64_t index = EvalIndex(indexNode);
        SetVariable(name, value, inVar, inVar ? 1 : 0, &index);
    } else {
        SetVariable(name, value, inVar, inVar ? 1 : 0, nullptr);
    }
}

void CodeParser::Declare(ScriptNode* node)
{
    SetVariable(NameOf(node->Child(0)), ScriptValue(), true, 2, nullptr, IndexNodeOf(node) != nullptr);
}

void CodeParser::ArrayAssign(ScriptNode* node)
{
    const char* name = NameOf(node->Child(0));
    Variable* variable = FindVariable(name, true);
    if (ScriptConstantTable::Global().Find(name))
        MakeError("You can not assign value to constant ", name);
    if (!variable)
        variable = CreateVariable(name, true);
    FreeValue(*variable->value, true);
    variable->value->type = SCRIPT_ARRAY;
    variable->value->array = ScriptArrayNew();
    const int count = node->Count() - 1;
    const int before = stackCount_;
    for (int i = node->Count() - 1; i >= 1; i--)
        MainCycle(node->children[size_t(i)]);
    if (stackCount_ != before + count)
        MakeError("Array arguments error");
    for (int64_t i = 0; i < count; i++)
        AssignValue(*variable, Pop().Get(), &i);
}

void CodeParser::Undef(ScriptNode* node)
{
    for (ScriptNode* child : node->children) {
        const char* name = NameOf(child);
        if (ScriptConstantTable::Global().Find(name))
            MakeError("You can not assign value to constant ", name);
        Variable* variable = FindVariable(name, false);
        if (!variable)
            MakeError("Unknown variable", name);
        FreeValue(*variable->value, true);
    }
}

void CodeParser::ArraySize(ScriptNode* node)
{
    const char* name = NameOf(node->Child(0));
    {
        UndefinedScope scope(*this, true);
        GetVariableValue(name, nullptr, false);
    }
    const ScriptValue value = Pop().Get();
    if (value.type != SCRIPT_ARRAY)
        MakeError((std::string(name) + " is not an array").c_str());
    Push(ScriptValue::Integer(value.array ? value.array->size : 0));
}

void CodeParser::Defined(ScriptNode* node)
{
    ScriptValueSlot slot;
    {
        UndefinedScope scope(*this, true);
        slot = EvalOne(node->Child(0), "Function arguments error");
    }
    Push(ScriptValue::Integer(slot.Get().type != SCRIPT_UNDEFINED ? 1 : 0));
}

void CodeParser::Fix(ScriptNode* node)
{
    const ScriptValue value = EvalOne(node->Child(0), "Function arguments error").Get();
    if (value.type != SCRIPT_STRING)
        MakeError("Argument of fix() must be a string");
    size_t free = fixed_.size();
    for (size_t i = 0; i < fixed_.size() && free == fixed_.size(); i++)
        if (fixed_[i].type == SCRIPT_UNDEFINED)
            free = i;
    if (free == fixed_.size() && fixed_.size() >= size_t(MAX_TABLE))
        MakeError("Allocation overflow");
    // A text of its own, which free() finds again by its address.
    ScriptValue result = value;
    result.SetText(value.text ? value.text : "");
    if (free == fixed_.size())
        fixed_.push_back(result);
    else
        fixed_[free] = result;
    Push(result);
}

void CodeParser::FreeFixed(ScriptNode* node)
{
    const ScriptValueSlot slot = EvalOne(node->Child(0), "Function arguments error");
    const ScriptValue& value = slot.Get();
    if (value.type != SCRIPT_STRING)
        MakeError("Argument of free() must be a string");
    size_t i = 0;
    while (i < fixed_.size() && (fixed_[i].type == SCRIPT_UNDEFINED || fixed_[i].text != value.text))
        i++;
    if (i == fixed_.size())
        MakeError("String is not fixed");
    // This copy keeps the text alive while its holders let it go.
    const ScriptValue held = value;
    FreeValue(fixed_[i], true);
    if (slot.IsReference())
        FreeValue(*slot.current, true);
    ClearTextReferences(held.text);
    Push(ScriptValue::Integer(0));
}

// Every other variable, element or stack value still showing a freed fixed
// text becomes undefined instead of pointing at released memory.
void CodeParser::ClearTextReferences(const char* text)
{
    struct Walker {
        const char* text;
        void Clear(ScriptValue& v)
        {
            if (v.type == SCRIPT_STRING && v.text == text)
                FreeValue(v, true);
            if (v.type == SCRIPT_ARRAY && v.array)
                for (int32_t i = 0; i < v.array->size; i++)
                    Clear(v.array->elements[i].value);
        }
    } walker{text};
    for (int f = 0; f < frameCount_; f++) {
        Frame& frame = *frames_[f];
        for (int32_t i = 0; i < frame.count; i++)
            walker.Clear(frame.vars[i].storage);
    }
    for (int i = 0; i < stackCount_; i++)
        walker.Clear(stack_[i].value);
    for (ScriptArray* temp : temps_)
        for (int32_t i = 0; i < temp->size; i++)
            walker.Clear(temp->elements[i].value);
}
