// The kxfind runner as built: a raw record file written here, the options,
// what goes to standard output and to standard error, and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../kxlib/kxfilegen.h"
#include "../kxlib/table_fixtures.h"
#include "runtool.h"

namespace {

class KxFind : public ::testing::Test {
protected:
    void SetUp() override
    {
        const struct {
            int level;
            const char* text;
        } records[] = {{1, "boot done"}, {2, "Boot\tagain"}, {-1, "disk error"}, {2, "line\nbreak"}};
        std::string bytes;
        for (const auto& r : records) {
            RawRecord raw;
            raw.text = r.text;
            ZmLib::KxdProt prot = raw.Build();
            prot.SetIntValue(FIELD_LEVEL, uint64_t(int64_t(r.level)));
            KxFileGen::AppendRecord(bytes, prot, KxFileGen::Form::Kx, false);
        }
        path_ = dir_.Path("trace.kx");
        ASSERT_TRUE(KxFileGen::WriteFile(path_.c_str(), bytes));
    }

    // Runs kxfind on the file with args.
    ToolResult Run(std::vector<std::string> args) const
    {
        args.insert(args.begin(), path_);
        return RunTool(KXFIND_PATH, std::move(args), dir_);
    }

    TempDir dir_;
    std::string path_;
};

} // namespace

TEST_F(KxFind, MatchingRowsAndCounts)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"boot"}, 0, "0\tTEXT=boot\n1\tTEXT=Boot\n"},
        {{"boot", "-c"}, 0, "0\tTEXT=boot\n"},
        {{"boot", "--count"}, 0, "2\n"},
        {{"--count", "-c", "absent"}, 1, "0\n"},
        {{"LEVEL == 2"}, 0, "1\tLEVEL=2\n3\tLEVEL=2\n"},
        {{"LEVEL == 2", "-m", "0"}, 1, ""},
        // Slot texts keep to one line.
        {{"TEXT ~ \"t\tag\""}, 0, "1\tTEXT=t\\tag\n"},
        {{"!(LEVEL == 2) && !(LEVEL < 0)"}, 0, "0\t\n"},
        // After "--" a text starting with '-' is the expression.
        {{"--", "-1 == LEVEL"}, 0, "2\tLEVEL=-1\n"},
        {{"-m", "3", "--", "-c"}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.args.back());
        const ToolResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
}

TEST_F(KxFind, DumpShowsEveryFieldOfEveryRow)
{
    const ToolResult r = Run({"--dump"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(r.out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 5u);
    std::string header;
    for (int field = 0; field < FIELD_Nums; ++field)
        header += std::string(field ? "\t" : "") + FieldKey(field);
    EXPECT_EQ(lines[0], header);
    for (const std::string& line : lines)
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), FIELD_Nums - 1) << line;
    EXPECT_NE(lines[2].find("\tBoot\\tagain\t"), std::string::npos) << lines[2];
    EXPECT_NE(lines[4].find("\tline\\nbreak\t"), std::string::npos) << lines[4];
}

// What goes to standard error; status 2 (refused) prints nothing else.
TEST_F(KxFind, SettledModeErrorsAndRefusals)
{
    const std::string usage = "usage: kxfind";
    struct Case {
        std::vector<std::string> args;
        int status; // -1: not checked
        std::vector<std::string> err;
    };
    const std::vector<Case> cases = {
        {{"LEVEL == 2"}, 0, {"kxfind: mode 1 (complex)"}},
        {{"LEVEL == 2 LEVEL"}, -1, {"kxfind: mode 0 (simple)", "Unexpected \"LEVEL\" after the end of the expression"}},
        {{"-m", "1", "boot"}, 2, {"Search expression parse error"}},
        {{std::string(1100, 'a')}, 2, {"Search expression longer than 1099 characters"}},
        // Import format 1 does not exist beside the built-in "SysLog".
        {{"x", "-f", "1"}, 2, {"no import format 1"}},
        {{}, 2, {usage}},                          // neither expression nor dump
        {{"x", "--dump"}, 2, {usage}},             // a dump takes no expression
        {{"x", "--count", "--dump"}, 2, {usage}},  // one output at a time
        {{"x", "-m", "2"}, 2, {usage}},            // no such mode
        {{"x", "-f"}, 2, {usage}},                 // a format number is missing
        {{"x", "-f", "-1"}, 2, {usage}},
        {{"x", "-q"}, 2, {usage}},
        {{"x", "y"}, 2, {usage}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.args.size() << " args, " << (c.args.empty() ? "" : c.args.back()));
        const ToolResult r = Run(c.args);
        EXPECT_TRUE(c.status < 0 || r.status == c.status) << r.status;
        EXPECT_TRUE(c.status != 2 || r.out.empty()) << r.out;
        for (const std::string& text : c.err)
            EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
    }
}

