// Function libraries: the descriptor by which a library declares a function,
// the library interface, the registries the libraries enter, and the named
// constants they add.
#pragma once

#include <cstdint>
#include <string>

#include "script/scriptbase/scriptvalue.h"

constexpr int SCRIPT_LIB_ARG_CODES = 21;

struct ScriptLibFunc {
    // The full call name as written in scripts ("gui.print").
    const char* name;
    // Non-zero: the arguments may be undefined variables.
    uint32_t acceptsUndefined;
    // Type preset in the result before the call.
    uint32_t resultType;
    uint32_t minArgs;
    // Types of the leading arguments, ending at the first 0; 8 = any.
    uint32_t argTypes[SCRIPT_LIB_ARG_CODES];
};

class ScriptLibRun {
public:
    virtual ~ScriptLibRun() = default;
    // Performs function `function` of the library's table. A failure sets the
    // result type to SCRIPT_FAILED or throws a ScriptError (ThrowError). A
    // handler or record result puts its object in `result.object`; a function
    // that returns another library's handler writes that library's index. A
    // string result's text must outlive the statement (scratch or library
    // storage); an array result (ScriptArrayNew) passes to the interpreter.
    virtual bool Run(ScriptValue& result, int function, int* library, int line, ScriptArgList& args);
    // Called once after every run, however it ended (normally, by exit, by a
    // stop or by an error): the library closes what the run left open and
    // drops what it kept for the run. Returns what failed on the way, empty
    // when nothing did.
    virtual std::string RunEnded();
};

class ScriptLibRegistry {
public:
    static constexpr int MAX_LIBRARIES = 10;

    struct Entry {
        ScriptLibRun* library;
        const ScriptLibFunc* functions;
        int32_t count;
    };

    // Appends while fewer than ten libraries are present; a further one is
    // ignored. Returns the library index, -1 when ignored.
    int Add(ScriptLibRun* library, const ScriptLibFunc* functions, int32_t count);
    // The function index, -1 when absent. library >= 0 limits the search to
    // that library; a negative one searches every library in order and is
    // set to the library that holds the name.
    int FindFunction(const char* name, int& library) const;
    // Tells every library that the run ended (each library once, however
    // often it was entered); their failures, one a line.
    std::string RunEnded();

    int Count() const { return count_; }
    const Entry& At(int library) const { return entries_[library]; }
    const ScriptLibFunc& Function(int library, int function) const { return entries_[library].functions[function]; }

    // The process-wide registries: for scripts and for search expressions.
    // Null until the shell (or a runner) creates them.
    static ScriptLibRegistry* script;
    static ScriptLibRegistry* search;

private:
    int32_t count_ = 0;
    Entry entries_[MAX_LIBRARIES] = {};
};

// Named constants: read-only variables of every script.
struct ScriptConstant {
    const char* name;
    const ScriptValue* value;
    ScriptValue storage;
};

class ScriptConstantTable {
public:
    static constexpr int MAX_CONSTANTS = 200;

    // Appends while fewer than 200 are present; false when dropped.
    bool Add(const char* name, const ScriptValue& value);
    bool AddInt(const char* name, int64_t value) { return Add(name, ScriptValue::Integer(value)); }
    // The value of the first constant of that name, null when none.
    const ScriptValue* Find(const char* name) const;
    void Clear() { count_ = 0; }

    // The process-wide table.
    static ScriptConstantTable& Global();

private:
    int32_t count_ = 0;
    ScriptConstant entries_[MAX_CONSTANTS];
};
