// The kxscript runner's reports on a script that does not compile (the
// compiler's messages as a user reads them, never the program's own source
// file and line or the debug stream's time and thread) and on a file that a
// script may not write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>

#include "runtool.h"

TEST(KxScript, CompileErrorsShowNoSourcePlaces)
{
    const std::regex place(R"(\[[A-Za-z0-9_]+(\.(cpp|h))?:[0-9]+\])");
    const struct {
        const char* script;
        const char* told; // the compiler's first message, after the script's folder
    } cases[] = {
        {"var x = 1;\nx = ;\n", "broken.js(2) : unexpected ';' at line 2, column 5"},
        {"var x = 1 #;\n", "broken.js(1) : unexpected character '#' at line 1, column 11"},
        {"var s = \"open;\n", "broken.js(1) : unterminated string at line 1, column 9"},
        {"var x = 1; /* open\n", "broken.js(1) : unterminated comment at line 1, column 12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        TempDir dir;
        const ToolResult r = RunTool(KXSCRIPT_PATH, {dir.Write("broken.js", c.script)}, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty()) << r.out;
        EXPECT_NE(r.err.find(std::string("Script compilation error\n") + dir.Path(c.told) + "\n"), std::string::npos)
            << r.err;
        EXPECT_FALSE(std::regex_search(r.err, place)) << r.err;
        EXPECT_EQ(r.err.find("KX>>"), std::string::npos) << r.err;
    }
}

// A FIFO given to csv.open is refused at once, with the script's line,
// whether or not anything reads it: the run never waits for a reader.
TEST(KxScript, CsvOpenOfAFifoIsRefusedAtOnce)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.Path("fifo.csv").c_str(), 0600), 0);
    const std::string script = "var x = 1;\nvar f = csv.open(\"fifo.csv\", 1);\ncsv.add_line(f, \"x\");\n";
    const ToolResult r = RunTool(KXSCRIPT_PATH, {dir.Write("fifo.js", script)}, dir, 10000);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "File can't be created fifo.csv: fifo.csv is a pipe, not a regular file: save it to a file first "
                     "line 2\n");
}
