#include "script/scriptbase/scriptlib.h"

#include <cstring>

ScriptLibRegistry* ScriptLibRegistry::script = nullptr;
ScriptLibRegistry* ScriptLibRegistry::search = nullptr;

bool ScriptLibRun::Run(ScriptValue&, int, int*, int, ScriptArgList&)
{
    return false;
}

std::string ScriptLibRun::RunEnded()
{
    return std::string();
}

int ScriptLibRegistry::Add(ScriptLibRun* library, const ScriptLibFunc* functions, int32_t count)
{
    if (count_ >= MAX_LIBRARIES || count < 0)
        return -1;
    entries_[count_] = Entry{library, functions, count};
    return count_++;
}

int ScriptLibRegistry::FindFunction(const char* name, int& library) const
{
    if (!name)
        return -1;
    int first = library;
    int last = library;
    if (library < 0) {
        library = 0;
        first = 0;
        last = count_ - 1;
    }
    for (int lib = first; lib <= last && lib < count_; lib++) {
        const Entry& e = entries_[lib];
        for (int32_t f = 0; f < e.count; f++) {
            // Every call asks here: the first byte turns most names away.
            if (e.functions[f].name[0] == name[0] && std::strcmp(e.functions[f].name, name) == 0) {
                library = lib;
                return f;
            }
        }
    }
    return -1;
}

std::string ScriptLibRegistry::RunEnded()
{
    std::string problems;
    for (int32_t lib = 0; lib < count_; lib++) {
        ScriptLibRun* library = entries_[lib].library;
        bool seen = false;
        for (int32_t earlier = 0; earlier < lib && !seen; earlier++)
            seen = entries_[earlier].library == library;
        if (seen || !library)
            continue;
        const std::string text = library->RunEnded();
        if (text.empty())
            continue;
        if (!problems.empty())
            problems += '\n';
        problems += text;
    }
    return problems;
}

bool ScriptConstantTable::Add(const char* name, const ScriptValue& value)
{
    if (count_ >= MAX_CONSTANTS)
        return false;
    ScriptConstant& c = entries_[count_++];
    c.name = name;
    c.storage = value;
    c.value = &c.storage;
    return true;
}

const ScriptValue* ScriptConstantTable::Find(const char* name) const
{
    // Every variable read asks here first: the first byte turns away almost
    // every other name without a call.
    for (int32_t i = 0; i < count_; i++)
        if (entries_[i].name[0] == name[0] && std::strcmp(entries_[i].name, name) == 0)
            return entries_[i].value;
    return nullptr;
}

ScriptConstantTable& ScriptConstantTable::Global()
{
    static ScriptConstantTable table;
    return table;
}
