// The "kxtable." functions on a record table itself (no tab, view or
// Outline) and the "kxrow." functions on its records, with the constants
// that scripts use for fields, colours, conversions and search modes.
// Every table a handler of this library designates is held by one reference
// until the run ends, so a tab closed mid-run leaves the script's table
// alive; a handler whose table the library does not hold is refused.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "script/scriptbase/scriptlib.h"

class KxTable;
struct KxdRecord;

class ScriptKxTable : public ScriptLibRun {
public:
    static constexpr int FUNCTION_COUNT = 30;
    static constexpr int CONSTANT_COUNT = 49;

    ScriptKxTable() = default;
    ~ScriptKxTable() override;
    ScriptKxTable(const ScriptKxTable&) = delete;
    ScriptKxTable& operator=(const ScriptKxTable&) = delete;

    // Adds the constants to the global table and the library to registry;
    // returns the library's index there (-1 when the registry is full).
    int Init(ScriptLibRegistry* registry);
    bool Run(ScriptValue& result, int function, int* library, int line, ScriptArgList& args) override;

    // Takes a reference on a table before a handler of this library hands
    // it to a script (another library's look-up does this too).
    void Hold(KxTable* table);
    // Gives back every reference taken during the run.
    std::string RunEnded() override;
    int32_t HeldCount() const { return int32_t(held_.size()); }
    // Ends the run when table refused the expression text (accepted false)
    // or read its pattern only leniently: "Search expression error: " with
    // the text, the engine's reason and the line.
    static void CheckExpression(const KxTable& table, bool accepted, const char* text, int line);

private:
    // What a record value stands for: a row of its table as the rows were
    // when it was taken. Rows erased, inserted or filtered since make it
    // out of date, and reading it is then an error, never another row.
    struct RecordTicket {
        KxTable* table;
        uint64_t rowsVersion;
    };

    KxTable& TableOf(const ScriptArgList& args, int line) const;
    // Makes result the record value of row (0-based) of table.
    void SetRecord(ScriptValue& result, KxTable& table, int32_t row);
    // Loads a file the way the open road tells its kind; the table is held.
    // Null, with why, for a file that cannot be read, is no regular file,
    // is of no kind known or fails to load (the loader's reason).
    KxTable* Open(const char* path, std::string& why);
    // The record a record value names; an error when it is out of date or
    // its row is gone.
    static const KxdRecord& RecordOf(const ScriptValue& value, int line);
    static void GetValue(ScriptValue& result, const ScriptArgList& args, int line);

    std::vector<KxTable*> held_;
    // One ticket for each table and rows version that records were taken
    // from, so a loop over every row takes one; kept until the run ends.
    std::deque<RecordTicket> tickets_;
    std::unordered_map<const KxTable*, RecordTicket*> latestTicket_;
};
