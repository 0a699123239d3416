// The table library through the real interpreter: scripts open a raw record
// file written here with kxtable.open_ll and work on its table.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>

// The parser runtime's header comes before Qt's "emit" macro.
#include "script/scriptbase/antlrsupport.h"

#include "../../kxlib/kxfilegen.h"
#include "../../kxlib/table_fixtures.h"
#include "../scriptbase/script_fixture.h"
#include "script/scriptbasegui/scriptkxtable.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tests/shellword.h"

namespace {

constexpr uint64_t WIDE_PID = 0x100000005; // beyond 32 bits

// Prints, and stands in for the view library handing out a tab's table as
// a handler of the table library (held or not).
class ViewStandIn : public ScriptLibRun {
public:
    enum { PRINT, TABLE_LL, TABLE_UNHELD, CLOSE_TAB, ERASE, PASTE, APPEND, FUNCTIONS };

    std::string printed;
    ScriptKxTable* tables = nullptr;
    int tableLibrary = -1;
    KxTable* tab = nullptr; // the tab's reference

    static inline const ScriptLibFunc TABLE[FUNCTIONS] = {
        {"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}}, {"test.table_ll", 0, SCRIPT_HANDLER, 0, {0}},
        {"test.table_unheld", 0, SCRIPT_HANDLER, 0, {0}}, {"test.close_tab", 0, SCRIPT_INTEGER, 0, {0}},
        {"test.erase", 0, SCRIPT_INTEGER, 2, {SCRIPT_INTEGER, SCRIPT_HANDLER}},
        {"test.paste", 0, SCRIPT_INTEGER, 2, {SCRIPT_INTEGER, SCRIPT_HANDLER}},
        {"test.append", 0, SCRIPT_INTEGER, 2, {SCRIPT_INTEGER, SCRIPT_HANDLER}}};

    bool Run(ScriptValue& result, int function, int* library, int, ScriptArgList& args) override
    {
        switch (function) {
        case PRINT: printed += std::string(args.Arg(0).text) + "\n"; break;
        case TABLE_LL: tables->Hold(tab); [[fallthrough]];
        case TABLE_UNHELD: result.object = tab, *library = tableLibrary; break;
        case CLOSE_TAB: tab->Release(), tab = nullptr; break;
        // Rows erased or pasted at a row of a handler's table, as a tab's
        // commands do; a handler first would send the call to its library.
        case ERASE: Table(args).DelRecord(int32_t(args.Arg(0).Int() - 1)); break;
        case PASTE: Table(args).InsertRecord(int32_t(args.Arg(0).Int() - 1)); break;
        case APPEND: Table(args).NewRecord(); break;
        default: return false;
        }
        return true;
    }

private:
    // The table of the handler, made editable as a tab's "Editable" does.
    static KxTable& Table(const ScriptArgList& args)
    {
        auto& table = *static_cast<KxTable*>(args.Arg(1).handler->object);
        table.Prefs().editable = 1;
        return table;
    }
};

class ScriptKxTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const struct { int level; uint64_t pid; const char* text; } records[] = {{1, 100, "#1 boot done"},
            {2, 100, "#2 Boot again"}, {-1, WIDE_PID, "#3 disk error"}, {2, 100, "#4 retry"}, {1, 100, "#5 done"}};
        std::string bytes;
        for (const auto& r : records) {
            RawRecord raw;
            raw.text = r.text, raw.pid = r.pid, raw.tname = "worker";
            ZmLib::KxdProt prot = raw.Build();
            prot.SetIntValue(FIELD_LEVEL, uint64_t(int64_t(r.level)));
            KxFileGen::AppendRecord(bytes, prot, KxFileGen::Form::Kx, false);
        }
        path_ = dir_.Path("trace.kx");
        ASSERT_TRUE(KxFileGen::WriteFile(path_.c_str(), bytes));

        ScriptConstantTable::Global().Clear();
        ScriptLibRegistry::script = &registry_;
        ScriptLogicalExpParser::Register();
        view_.tables = &tables_;
        registry_.Add(&view_, ViewStandIn::TABLE, ViewStandIn::FUNCTIONS);
        view_.tableLibrary = tables_.Init(&registry_);
        liveBefore_ = KxTable::LiveCount();
    }
    void TearDown() override
    {
        EXPECT_EQ(KxTable::LiveCount(), liveBefore_) << "every table of a run is released at its end";
        KxTable::SetSearchExpressionFactory(nullptr);
        ScriptLibRegistry::script = nullptr;
        ScriptConstantTable::Global().Clear();
    }

    // The printed lines, then how the run ended when it failed. Every
    // script starts with h on the trace, so its own lines count from 2.
    std::string Run(const std::string& script)
    {
        view_.printed.clear();
        const std::string text = "var h = kxtable.open_ll(" + ScriptString(path_) + ", 0);\n" + script;
        CodeParser code;
        const std::string tail = scripttest::RunText(code, text);
        registry_.RunEnded();
        return view_.printed + tail;
    }

    template <size_t N>
    void ExpectRuns(const scripttest::ScriptCase (&cases)[N])
    {
        scripttest::ExpectRunsWith(cases, [this](const char* script) { return Run(script); });
    }

    TempDir dir_;
    std::string path_;
    ScriptLibRegistry registry_;
    ViewStandIn view_;
    ScriptKxTable tables_;
    int32_t liveBefore_ = 0;
};

TEST_F(ScriptKxTableTest, FunctionsOnASmallTable)
{
    const scripttest::ScriptCase cases[] = {
        // Arguments are evaluated last to first: one call per print where the order matters.
        {"print(kxtable.size(h), ' ', kxtable.name(h), ' ', kxtable.get_cur_row(h));", "5 trace -1\n"},
        {"var r = kxtable.get_record(h, 3); print(kxrow.get_index(r), kxrow.get_value(r, TEXT));", "3#3 disk error\n"},
        {"var r = kxtable.get_record(h, 1); print(kxrow.get_value(r, TNAME), kxrow.get_value(r, LEVEL) + 1);", "worker2\n"},
        {"kxtable.set_current_rec(h, 2); var r = kxtable.get_cur_record(h); print(kxrow.get_index(r));", "2\n"},
        // Searching, with the negative codes of no match and no expression.
        {"print(kxtable.find_next(h, ''));", "-2\n"},
        {"kxtable.set_expression(h, 'error'); print(kxtable.find_next(h, '')); print(kxtable.find_next(h, ''));", "2\n-1\n"},
        {"kxtable.set_expression(h, 'BOOT', 1); print(kxtable.find_next(h, ''));", "-1\n"},
        {"kxtable.set_current_rec(h, 5); kxtable.set_expression(h, 'boot', 0, 0); print(kxtable.find_prev(h, ''));", "1\n"},
        {"print(kxtable.set_expression(h, 'x', 0, 2));", "ERROR Third parameter 'Search mode' error: 2"},
        // The named modes are the ones the call takes.
        {"kxtable.set_expression(h, 'TEXT ~ \"boot\"', 0, SEARCHMODE_COMPLEX); print(kxtable.find_next(h, ''));", "0\n"},
        {"kxtable.set_expression(h, 'TEXT ~ \"boot\"', 0, SEARCHMODE_SIMPLE); print(kxtable.find_next(h, ''));", "-1\n"},
        {"kxtable.set_expression(h, 'TEXT ~ \"boot\"', 0, SEARCHMODE_AUTO); print(kxtable.find_next(h, ''));", "0\n"},
        {"print(kxtable.set_expression(h, 'x', 0, 4294967296));", "ERROR Third parameter 'Search mode' error: 4294967296"},
        // The filter: a real one, one that matches everything, none at all.
        {"kxtable.set_expression(h, 'boot'); var n = kxtable.filter(h);\n"
         "print(n, kxtable.size(h), kxtable.filtered_count(h)); kxtable.clear_filter(h); print(kxtable.size(h));",
         "222\n5\n"},
        {"kxtable.set_expression(h, '#'); print(kxtable.filter(h), kxtable.filtered_count(h));", "50\n"},
        // Each read in a statement of its own, after the filter ran: it is
        // off, so it counts nothing and another filter may be set.
        {"kxtable.set_expression(h, '#'); print(kxtable.filter(h)); print(kxtable.filtered_count(h));"
         " print(kxtable.size(h)); kxtable.set_expression(h, 'boot'); print(kxtable.filter(h));",
         "5\n0\n5\n2\n"},
        {"kxtable.set_expression(h, 'nowhere'); print(kxtable.filter(h), kxtable.size(h));", "05\n"},
        {"print(kxtable.filter(h));", "ERROR Search expression in not ready"},
        {"kxtable.set_expression(h, 'boot'); kxtable.filter(h); kxtable.filter(h);", "ERROR Filter is already set"},
        {"kxtable.select(h, 2, 3); kxtable.set_expression(h, 'boot'); kxtable.filter(h); print(kxtable.selected_count(h));",
         "0\n"},
        // Selections and their jumps.
        {"kxtable.select(h, 2, 3, COLOR_RED); kxtable.set_current_rec(h, 1); print(kxtable.selected_count(h));"
         "print(kxtable.jump_next_selection(h)); kxtable.clear_select(h); print(kxtable.selected_count(h));", "2\n1\n0\n"},
        {"kxtable.set_current_rec(h, 2); kxtable.select(h, 2, 3); print(kxtable.jump_next_selection(h));"
         "print(kxtable.get_cur_row(h)); print(kxtable.jump_prev_selection(h));", "2\n2\n1\n"},
        // Bookmarks.
        {"kxtable.set_current_rec(h, 3); print(kxtable.bookmark(h)); print(kxtable.bookmark(h));"
         "kxtable.set_current_rec(h, 1); print(kxtable.jump_next_bookmark(h)); print(kxtable.jump_next_bookmark(h));"
         "print(kxtable.jump_prev_bookmark(h)); print(kxtable.clear_bookmark(h)); print(kxtable.clear_bookmark(h));",
         "1\n0\n2\n-1\n-1\n1\n0\n"},
        // Data errors (LEVEL below 0); presentation errors there are none.
        {"print(kxtable.jump_next_d_error(h)); print(kxtable.jump_next_d_error(h)); print(kxtable.get_cur_row(h));",
         "2\n-1\n2\n"},
        {"kxtable.set_current_rec(h, 5); print(kxtable.jump_prev_d_error(h)); print(kxtable.jump_next_p_error(h));",
         "2\n-1\n"},
        {"print(kxtable.jump_next(h, ''), kxtable.jump_prev(h, ''), kxtable.get_cur_row(h));", "00-1\n"},
    };
    ExpectRuns(cases);
}

// Row numbers from a script are checked whole against the rows: no fatal
// table access, and no 64-bit number wrapped into a valid row.
TEST_F(ScriptKxTableTest, RowsAndFieldIndicesAreChecked)
{
    const scripttest::ScriptCase cases[] = {
        {"var r = kxtable.get_record(h, 0);", "ERROR Row 0 out of range, the table has 5 rows line 2"},
        {"var r = kxtable.get_record(h, 6);", "ERROR Row 6 out of range, the table has 5 rows line 2"},
        {"var r = kxtable.get_record(h, -4294967295);",
         "ERROR Row -4294967295 out of range, the table has 5 rows line 2"},
        {"var r = kxtable.get_record(h, 4294967297);",
         "ERROR Row 4294967297 out of range, the table has 5 rows line 2"},
        // A table opens without a current row.
        {"var x = 1;\nvar r = kxtable.get_cur_record(h);", "ERROR Row 0 out of range, the table has 5 rows line 3"},
        {"var x = 1;\nkxtable.bookmark(h);", "ERROR Row 0 out of range, the table has 5 rows line 3"},
        {"kxtable.set_current_rec(h, 0);", "ERROR Row 0 out of range, the table has 5 rows line 2"},
        {"kxtable.set_current_rec(h, 4294967298);", "ERROR Row 4294967298 out of range, the table has 5 rows line 2"},
        {"kxtable.set_expression(h, 'boot'); kxtable.filter(h); var r = kxtable.get_record(h, 3);",
         "ERROR Row 3 out of range, the table has 2 rows line 2"},
        // A selection clamps to the rows, also from beyond 32 bits.
        {"kxtable.select(h, 4, 4294967298); print(kxtable.selected_count(h));", "2\n"},
        {"kxtable.select(h, 1, 2, 4294967296);", "ERROR Argument 3 out of range 4294967296 line 2"},
        {"kxtable.select(h, 1, 2, -1);", "ERROR Argument 3 out of range -1 line 2"},
        {"var r = kxtable.get_record(h, 1); var v = kxrow.get_value(r, -1);", "ERROR Field index error"},
        {"var r = kxtable.get_record(h, 1); var v = kxrow.get_value(r, NUM1);", "ERROR Field index error"},
        {"var r = kxtable.get_record(h, 1); var v = kxrow.get_value(r, 4294967296 + TEXT);", "ERROR Field index error"},
        {"var r = kxtable.get_record(h, 1); print(kxrow.get_value(r, COUNT));", "0\n"},
        // The whole 64-bit value, as a number.
        {"var r = kxtable.get_record(h, 3); var v = kxrow.get_value(r, PID); print(v, ' ', v + 1);",
         "4294967301 4294967302\n"},
    };
    ExpectRuns(cases);
}

// A record value read after rows of its table were erased or pasted ends
// the run with an error that names it, never reads another row's record;
// one taken afterwards, or one whose rows stayed, reads as it was.
TEST_F(ScriptKxTableTest, RecordsGoOutOfDateWhenRowsMove)
{
    const char* stale = "Record of row 3 is out of date: rows of its table were erased, inserted or filtered since it "
                        "was taken line ";
    const std::string staleLine3 = std::string("ERROR ") + stale + "3";
    const scripttest::ScriptCase cases[] = {
        {"var r = kxtable.get_record(h, 3);\nprint(kxrow.get_value(r, TEXT));", "#3 disk error\n"},
        {"var r = kxtable.get_record(h, 3); test.erase(1, h);\nprint(kxrow.get_value(r, TEXT));", staleLine3.c_str()},
        {"var r = kxtable.get_record(h, 3); test.erase(5, h);\nprint(kxrow.get_index(r));", staleLine3.c_str()},
        {"var r = kxtable.get_record(h, 3); test.paste(1, h);\nprint(r[TEXT]);", staleLine3.c_str()},
        {"kxtable.set_current_rec(h, 3); var r = kxtable.get_cur_record(h); test.paste(2, h);\nprint(r[TEXT]);",
         staleLine3.c_str()},
        {"var r = kxtable.get_record(h, 3); kxtable.set_expression(h, 'boot'); kxtable.filter(h);\nprint(r[TEXT]);",
         staleLine3.c_str()},
        // Taken after the change: the row as it is now.
        {"test.erase(1, h); var r = kxtable.get_record(h, 3); print(r[TEXT], ' ', kxrow.get_index(r));",
         "#4 retry 3\n"},
        // Rows added at the end move no row: the record reads as it was.
        {"var r = kxtable.get_record(h, 3); test.append(0, h); print(r[TEXT], ' ', kxtable.size(h));",
         "#3 disk error 6\n"},
        // Two records of one state of the rows, then one of the next.
        {"var a = kxtable.get_record(h, 1); var b = kxtable.get_record(h, 5); test.erase(2, h);\n"
         "var c = kxtable.get_record(h, 1); print(c[TEXT]); print(b[TEXT]);",
         "#1 boot done\nERROR Record of row 5 is out of date: rows of its table were erased, inserted or filtered "
         "since it was taken line 3"},
    };
    ExpectRuns(cases);
}

TEST_F(ScriptKxTableTest, HandlersHoldTheirTable)
{
    const struct { int records; const char* script; const char* expected; } cases[] = {
        // The tab closes mid-run: the table lives on until the run ends.
        {1, "var t = test.table_ll(); test.close_tab(); print(kxtable.size(t));", "1\n"},
        {1, "var x = 1;\nvar t = test.table_unheld(); print(kxtable.size(t));", "ERROR KxTable handler error  line 3"},
        // A run that fails gives its references back all the same.
        {1, "var t = test.table_ll(); var r = kxtable.get_record(t, 1); var v = kxrow.get_value(r, 23);",
         "ERROR Field index error"},
        {0, "var t = test.table_ll(); var r = kxtable.get_record(t, 1);",
         "ERROR Row 1 out of range, the table has 0 rows line 2"},
    };
    for (const auto& c : cases) {
        view_.tab = new KxTable(nullptr, "tab", PlainPrefs());
        for (int i = 0; i < c.records; ++i)
            view_.tab->NewRecord();
        EXPECT_EQ(c.expected, Run(c.script)) << c.script;
        EXPECT_EQ(tables_.HeldCount(), 0);
        if (view_.tab) {
            EXPECT_EQ(view_.tab->RefCount(), 1u) << c.script;
            view_.tab->Release();
        }
    }
}

// open_ll tells a file's kind as the open road does: by its suffix, then by
// the import formats' patterns. A file it cannot open ends the script with
// why (the system's reason, the readers' or the loader's words) and the line.
TEST_F(ScriptKxTableTest, OpenLlLoadsByKind)
{
    static const char FIFO[] = "a FIFO";
    // bytes null: the trace, FIFO: a FIFO; why: <path> stands for the path
    const struct { const char* name; const char* bytes; const char* opened; std::string why; } cases[] = {
        {"copy.KX", nullptr, "5 copy\n", ""},
        {"system.log", "Jan  1 00:00:01 host app: one\nJan  1 00:00:02 host app: two\n", "2 system\n", ""},
        {"notes.txt", "no format claims this\n", nullptr, "no file type or import format claims its name"},
        {"missing.kx", "", nullptr, std::strerror(ENOENT)},
        {"fifo.kx", FIFO, nullptr, "<path> is a pipe, not a regular file: save it to a file first"},
        {"broken.kxl", "no sections\n", nullptr, "Error opening file \"<path>\": not a KXL file"},
    };
    for (const auto& c : cases) {
        const std::string path = dir_.Path(c.name);
        if (!c.bytes)
            std::filesystem::copy_file(path_, path);
        else if (c.bytes == FIFO)
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        else if (*c.bytes)
            dir_.Write(c.name, c.bytes);
        std::string why = c.why;
        if (const size_t at = why.find("<path>"); at != std::string::npos)
            why.replace(at, 6, path);
        const std::string expected = c.opened ? c.opened : "ERROR Can not open table " + path + ": " + why + " line 2";
        EXPECT_EQ(expected, Run("var f = kxtable.open_ll(" + ScriptString(path) + ", 0); print(kxtable.size(f), ' ', kxtable.name(f));"))
            << c.name;
    }
}

// A refused expression ends the script with the expression engine's reason
// and the line; a text that is no expression at all, with the reason alone.
TEST_F(ScriptKxTableTest, RefusedExpressionsSayWhy)
{
    // What the engine says of a text read as a complex expression.
    const auto engine = [](const std::string& text) {
        KxSearchExpression* expression = KxTable::NewSearchExpression();
        if (expression->Construct(text.c_str(), false, false))
            expression->Parse();
        const std::string reason = expression->parseError;
        expression->Release();
        return reason;
    };
    const std::string broken = "(TEXT ==", pattern = "TEXT =~ \"((\"";
    const struct { std::string script; std::string told; } cases[] = {
        {"kxtable.set_expression(h, '" + broken + "', 0, 1);", broken + ": " + engine(broken)},
        {"kxtable.set_expression(h, 'boot', 0, 1);", "boot: " + engine("boot")},
        {"kxtable.set_expression(h, '" + pattern + "', 0, 1);", pattern + ": " + engine(pattern)},
        // In automatic mode too, as the find line refuses it.
        {"kxtable.set_expression(h, '" + pattern + "');", pattern + ": " + engine(pattern)},
        {"kxtable.set_expression(h, '');", engine("")},
    };
    for (const auto& c : cases)
        EXPECT_EQ("ERROR Search expression error: " + c.told + " line 2", Run(c.script)) << c.script;
}

TEST_F(ScriptKxTableTest, ConstantValues)
{
    // The fields, conversions and search modes count from 0 in this order.
    const char* const counted[] = {"STIME IP PROT HOST FLAGS TIME SEQ NODE PID PNAME TID TNAME LEVEL KXNAME KXKEY FILE "
                                   "LINE FUNC TEXT STR1 NEST ETIME COUNT NUM1 NUM2",
                                   "CONVERSION_INT CONVERSION_FLOAT CONVERSION_IP_ADDR CONVERSION_DATE CONVERSION_TIME "
                                   "CONVERSION_TIME_MICRO CONVERSION_TIME_MILLI CONVERSION_TIME_SECOND CONVERSION_DATE_TIME",
                                   "SEARCHMODE_SIMPLE SEARCHMODE_COMPLEX"};
    const std::pair<const char*, int64_t> colors[] = {
        {"GRAY", 0xC5CABD},  {"CYAN", 0x00FFFF},   {"BLUE", 0x67BCDB},    {"TEAL", 0x00B4B4},
        {"GREEN", 0x14A55C}, {"LIME", 0x00FF00},   {"OLIVE", 0xA2AB58},   {"ORANGE", 0xFFA22F},
        {"YELLOW", 0xFFFF00}, {"MAGENTA", 0xFF40FF}, {"RED", 0xFF6464}, {"BROWN", 0xDD9451}};
    std::string script, expected;
    size_t count = std::size(colors);
    for (const char* names : counted) {
        std::istringstream words(names);
        std::string name;
        for (int value = 0; words >> name; ++value, ++count) {
            script += "print(" + name + ");\n";
            expected += std::to_string(value) + "\n";
        }
    }
    for (const auto& [name, value] : colors) {
        script += std::string("print(COLOR_") + name + ");\n";
        expected += std::to_string(value) + "\n";
    }
    // Automatic is the mode kxtable.set_expression takes when none is given.
    script += "print(SEARCHMODE_AUTO);\n";
    expected += "3\n";
    ++count;
    EXPECT_EQ(count, size_t(ScriptKxTable::CONSTANT_COUNT)) << "every constant is checked";
    EXPECT_EQ(expected, Run(script));
}

} // namespace
