// The value that both interpreters compute with, the slot it travels in on
// an evaluation stack, and the heap blocks behind arrays and handlers.
#pragma once

#include <cstdint>
#include <cstring>

enum ScriptType : int32_t {
    SCRIPT_STRING = 1,
    SCRIPT_INTEGER = 2,
    SCRIPT_DOUBLE = 3,
    SCRIPT_ARRAY = 4,
    SCRIPT_HANDLER = 5,
    SCRIPT_RECORD = 6,
    SCRIPT_CSVFILE = 7,
    // Descriptors only: the argument may have any type.
    SCRIPT_ANY = 8,
    SCRIPT_UNDEFINED = 9,
    // A library function's result only: the call failed.
    SCRIPT_FAILED = 10,
};

// The name used in messages for a type code.
const char* ScriptTypeName(int32_t type);

struct ScriptArray;
struct ScriptHandler;

// The object behind a csv-file value: a library's output file.
class ScriptFileObject {
public:
    virtual const char* Path() const = 0;

protected:
    ~ScriptFileObject() = default;
};

// Plain data, copied word for word. The number word holds an integer, the
// bits of a double, a record's row index or a string's exactness flag.
struct ScriptValue {
    int32_t type = SCRIPT_UNDEFINED;
    union {
        const char* text;          // string
        ScriptHandler* handler;    // handler
        ScriptFileObject* file;    // csv file
        void* object;              // record: the row object of its library
    };
    uint64_t bits = 0;
    ScriptArray* array = nullptr;

    ScriptValue() : text(nullptr) {}

    int64_t Int() const { return int64_t(bits); }
    double Double() const
    {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    bool IsNumber() const { return type == SCRIPT_INTEGER || type == SCRIPT_DOUBLE; }
    // A number as double, an integer converted.
    double AsDouble() const { return type == SCRIPT_DOUBLE ? Double() : double(Int()); }

    void SetInt(int64_t v) { bits = uint64_t(v); }
    void SetDouble(double d) { std::memcpy(&bits, &d, sizeof d); }

    static ScriptValue Integer(int64_t v)
    {
        ScriptValue r;
        r.type = SCRIPT_INTEGER;
        r.SetInt(v);
        return r;
    }
    static ScriptValue Real(double d)
    {
        ScriptValue r;
        r.type = SCRIPT_DOUBLE;
        r.SetDouble(d);
        return r;
    }
    // exact: 1 for a single-quoted literal, 0 for every other string.
    static ScriptValue String(const char* text, int exact = 0)
    {
        ScriptValue r;
        r.type = SCRIPT_STRING;
        r.text = text;
        r.bits = uint64_t(exact);
        return r;
    }
};

// A value on an evaluation stack or in an argument list. `current` points at
// the inline copy (a temporary) or at a variable's storage (a reference).
struct ScriptValueSlot {
    ScriptValue* current = &value;
    ScriptValue value;

    ScriptValueSlot() = default;
    ScriptValueSlot(const ScriptValueSlot& other) : value(other.value)
    {
        current = other.IsReference() ? other.current : &value;
    }
    ScriptValueSlot& operator=(const ScriptValueSlot& other)
    {
        value = other.value;
        current = other.IsReference() ? other.current : &value;
        return *this;
    }

    bool IsReference() const { return current != &value; }
    const ScriptValue& Get() const { return *current; }
    void SetTemp(const ScriptValue& v)
    {
        value = v;
        current = &value;
    }
    void SetReference(ScriptValue* variable)
    {
        value = *variable;
        current = variable;
    }
};

// Array block: the elements are owned by the array (nested arrays too).
struct ScriptArray {
    int32_t capacity = 0;
    int32_t size = 0;
    ScriptValueSlot* elements = nullptr;
};

// Handler block: the library that made the object and the object.
struct ScriptHandler {
    int32_t library = 0;
    void* object = nullptr;
};

// Array helpers. Elements added by Resize are undefined.
ScriptArray* ScriptArrayNew();
// False when the size is negative or the storage cannot grow.
bool ScriptArrayResize(ScriptArray* array, int32_t size);
// Frees the element storage (each element's own array too) and the block.
void ScriptArrayFree(ScriptArray* array);
// A deep copy: the elements' arrays are copied too. Null for null.
ScriptArray* ScriptArrayCopy(const ScriptArray* array);

// Argument list of a library call, in call order.
constexpr uint32_t SCRIPT_MAX_ARGS = 20;
struct ScriptArgList {
    uint32_t count = 0;
    ScriptValueSlot args[SCRIPT_MAX_ARGS];

    const ScriptValue& Arg(uint32_t i) const { return args[i].Get(); }
};
