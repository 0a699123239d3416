#include "script/scriptbase/scriptvalue.h"

#include <cstdlib>
#include <new>

const char* ScriptTypeName(int32_t type)
{
    static const char* const names[] = {"STRING TYPE",  "INTEGER TYPE", "DOUBLE TYPE",    "ARRAY TYPE",
                                        "HANDLER TYPE", "RECORD TYPE",  "DIFFERENT TYPE", "ERROR TYPE"};
    if (type >= SCRIPT_STRING && type <= SCRIPT_ANY)
        return names[type - 1];
    if (type == SCRIPT_UNDEFINED)
        return "UNDEFINED TYPE";
    if (type == SCRIPT_FAILED)
        return "FAILED TYPE";
    return "UNKNOWN TYPE";
}

ScriptOwnedText::ScriptOwnedText(const char* text, size_t length, const char* more, size_t moreLength)
{
    block_ = static_cast<Block*>(::operator new(sizeof(Block) + length + moreLength + 1));
    block_->refs = 1;
    char* chars = reinterpret_cast<char*>(block_ + 1);
    std::memcpy(chars, text, length);
    if (moreLength)
        std::memcpy(chars + length, more, moreLength);
    chars[length + moreLength] = '\0';
}

void ScriptOwnedText::Free(Block* block)
{
    ::operator delete(block);
}

ScriptArray* ScriptArrayNew()
{
    return new ScriptArray;
}

bool ScriptArrayResize(ScriptArray* array, int32_t size)
{
    if (size < 0)
        return false;
    if (size > array->capacity) {
        int64_t capacity = array->capacity < 8 ? 8 : int64_t(array->capacity) * 2;
        if (capacity < size)
            capacity = size;
        if (capacity > INT32_MAX)
            capacity = INT32_MAX;
        ScriptValueSlot* elements = new (std::nothrow) ScriptValueSlot[size_t(capacity)];
        if (!elements)
            return false;
        for (int32_t i = 0; i < array->size; i++)
            elements[i].SetTemp(array->elements[i].value);
        delete[] array->elements;
        array->elements = elements;
        array->capacity = int32_t(capacity);
    }
    for (int32_t i = size; i < array->size; i++) {
        ScriptArrayFree(array->elements[i].value.array);
        array->elements[i].SetTemp(ScriptValue());
    }
    for (int32_t i = array->size; i < size; i++)
        array->elements[i].SetTemp(ScriptValue());
    array->size = size;
    return true;
}

void ScriptArrayFree(ScriptArray* array)
{
    if (!array)
        return;
    for (int32_t i = 0; i < array->size; i++)
        ScriptArrayFree(array->elements[i].value.array);
    delete[] array->elements;
    delete array;
}

ScriptArray* ScriptArrayCopy(const ScriptArray* array)
{
    if (!array)
        return nullptr;
    ScriptArray* copy = ScriptArrayNew();
    if (!ScriptArrayResize(copy, array->size)) {
        ScriptArrayFree(copy);
        return nullptr;
    }
    for (int32_t i = 0; i < array->size; i++) {
        ScriptValue v = array->elements[i].value;
        v.array = ScriptArrayCopy(v.array);
        copy->elements[i].SetTemp(v);
    }
    return copy;
}
