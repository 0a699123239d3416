// The value that both interpreters compute with, the slot it travels in on
// an evaluation stack, and the heap blocks behind arrays and handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

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

// A counted heap copy of a text. The copies of a value share one block; the
// last copy to go frees it, so a text lives exactly as long as its values.
class ScriptOwnedText {
public:
    ScriptOwnedText() = default;
    // The first length bytes of text, then the first moreLength of more.
    ScriptOwnedText(const char* text, size_t length, const char* more = nullptr, size_t moreLength = 0);
    ScriptOwnedText(const ScriptOwnedText& other) : block_(other.block_)
    {
        if (block_)
            block_->refs++;
    }
    ScriptOwnedText(ScriptOwnedText&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    ScriptOwnedText& operator=(const ScriptOwnedText& other)
    {
        if (other.block_)
            other.block_->refs++;
        Release();
        block_ = other.block_;
        return *this;
    }
    // Exchanges: the text this held goes with the other, which is about to
    // go itself, so that taking a value over costs no release here.
    ScriptOwnedText& operator=(ScriptOwnedText&& other) noexcept
    {
        std::swap(block_, other.block_);
        return *this;
    }
    ~ScriptOwnedText() { Release(); }

    // The text, null when nothing is held.
    const char* Text() const { return block_ ? reinterpret_cast<const char*>(block_ + 1) : nullptr; }

private:
    // The text's bytes follow the block.
    struct Block {
        size_t refs;
    };
    void Release()
    {
        if (block_ && __builtin_expect(--block_->refs == 0, 0))
            Free(block_);
        block_ = nullptr;
    }
    [[gnu::cold]] static void Free(Block* block);

    Block* block_ = nullptr;
};

// Copied member by member; a string's text (and a number's, where it has
// one) is held by the value itself, never borrowed from scratch or library
// storage. The number word holds an integer, the bits of a double, a
// record's row index or a string's exactness flag.
struct ScriptValue {
    int32_t type = SCRIPT_UNDEFINED;
    union {
        const char* text;          // string, or a number's own text
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

    // A string or number whose text word is set but not held by the value:
    // a library pointed it at its own storage.
    bool BorrowsText() const
    {
        return (type == SCRIPT_STRING || IsNumber()) && text && text != owned_.Text();
    }
    // Holds a copy of the text (null clears it).
    void SetText(const char* from) { SetText(from, from ? std::strlen(from) : 0); }
    void SetText(const char* from, size_t length)
    {
        owned_ = from ? ScriptOwnedText(from, length) : ScriptOwnedText();
        text = owned_.Text();
    }

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
    // A string on a copy of the text. exact: 1 for a single-quoted literal,
    // 0 for every other string.
    static ScriptValue String(const char* text, int exact = 0)
    {
        ScriptValue r = Borrowed(nullptr, exact);
        r.SetText(text);
        return r;
    }
    static ScriptValue String(const char* text, size_t length, int exact)
    {
        ScriptValue r = Borrowed(nullptr, exact);
        r.SetText(text, length);
        return r;
    }
    // A string on the first length bytes of text followed by the first
    // moreLength bytes of more: a concatenation made in one copy.
    static ScriptValue Joined(const char* text, size_t length, const char* more, size_t moreLength)
    {
        ScriptValue r = Borrowed(nullptr, 0);
        r.owned_ = ScriptOwnedText(text, length, more, moreLength);
        r.text = r.owned_.Text();
        return r;
    }
    // A string on a text that the caller keeps unchanged for as long as the
    // value and its copies live (the search evaluator's record texts, which
    // live through one evaluation).
    static ScriptValue Borrowed(const char* text, int exact = 0)
    {
        ScriptValue r;
        r.type = SCRIPT_STRING;
        r.text = text;
        r.bits = uint64_t(exact);
        return r;
    }

private:
    ScriptOwnedText owned_;
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
    ScriptValueSlot(ScriptValueSlot&& other) noexcept : value(std::move(other.value))
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
    void SetTemp(ScriptValue&& v)
    {
        value = std::move(v);
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
