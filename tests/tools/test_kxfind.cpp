// The kxfind runner as built: a raw record file written here, the options,
// what goes to standard output and to standard error, and the exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <sys/inotify.h>
#include <unistd.h>

#include "../kxlib/kxfilegen.h"
#include "../kxlib/table_fixtures.h"
#include "runtool.h"
#include "tests/utils/osal/specialfiles.h"

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
        // A text the auto mode takes as plain is searched without a word
        // about why it is no expression; the complex mode tells why.
        {{"LEVEL == 2 LEVEL"}, 1, {"kxfind: mode 0 (simple)"}},
        {{"-m", "1", "LEVEL == 2 LEVEL"}, 2, {"Unexpected \"LEVEL\" after the end of the expression"}},
        {{"-m", "1", "boot"}, 2, {"kxfind: the search expression is refused: nothing is compared"}},
        {{std::string(1100, 'a')}, 2, {"kxfind: the search expression is longer than 1099 characters"}},
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
        // No report shows the folder the program was built in.
        EXPECT_EQ(r.err.find(KXV_SOURCE_DIR), std::string::npos) << r.err;
    }
}

// A plain text in the auto mode is tried as an expression first; that try
// is no fault and prints no warning.
TEST_F(KxFind, PlainTextSearchesWithoutWarnings)
{
    for (const char* text : {"boot done", "disk error"}) {
        SCOPED_TRACE(text);
        const ToolResult r = Run({text});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("kxfind: mode 0 (simple)\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    }
}

// Why an expression asked for as one (or a pattern with an unbalanced
// bracket in any mode) is refused, or fails on the rows, with the place;
// status 2, whatever the output asked for, and the failure told once
// however many rows it failed on. A refusal is the one line after the
// load's.
TEST_F(KxFind, BrokenExpressionsAreToldWithTheirPlace)
{
    const std::string refused = "kxfind: the search expression is refused: ";
    const std::string failed = "kxfind: the expression failed at row 0: ";
    const std::string loaded = Run({"--count"}).err;
    struct Case {
        std::string expression;
        std::string told;
        const char* mode = "1";
    };
    const Case cases[] = {
        {"TEXT =~ \"((\"",
         refused + "'(' without a closing ')' in the regular expression \"((\" at line 1, column 11\n", "3"},
        {"TEXT =~ \"a[b\"",
         refused + "'[' without a closing ']' in the regular expression \"a[b\" at line 1, column 11\n", "3"},
        {"TEXT =~ \".*a)\"",
         refused + "')' without an opening '(' in the regular expression \".*a)\" at line 1, column 13\n", "3"},
        {"LEVEL = 2",
         refused + "unexpected character '=' at line 1, column 7, skipped; unexpected 'LEVEL' at line 1, column 1\n"},
        {"TEXT =~ \"((\"", refused + "'(' without a closing ')' in the regular expression \"((\" at line 1, column 11\n"},
        {"LEVEL == 2 &&\nTEXT =~ '[a-z'",
         refused + "'[' without a closing ']' in the regular expression '[a-z' at line 2, column 10\n"},
        {"LEVEL ==", refused + "unexpected end of expression at line 1, column 9\n"},
        // Nothing the lexer cannot read is dropped with the rest of the text.
        {"TEXT =~ \"disk\"\" || LEVEL == 2", refused + "unterminated string at line 1, column 15\n"},
        {"TEXT ~ \"disk\" /* || LEVEL == 2", refused + "unterminated comment at line 1, column 15\n"},
        {"", "kxfind: the search expression is empty\n"},
        {" \n", "kxfind: the search expression is empty\n"},
        {"nosuch(TEXT) == 1",
         failed + "unknown function \"nosuch\" at line 1, column 1; rows where it fails are searched for its text\n"},
        {"LEVEL / 0 == 1", failed + "Error: Divide by zero, Line: 1; rows where it fails are searched for its text\n"},
    };
    for (const Case& c : cases) {
        for (const char* output : {"", "--count"}) {
            SCOPED_TRACE(c.expression + " " + output);
            std::vector<std::string> args = {"-m", c.mode, c.expression};
            if (*output)
                args.push_back(output);
            const ToolResult r = Run(args);
            EXPECT_EQ(r.status, 2);
            const size_t at = r.err.find(c.told);
            ASSERT_NE(at, std::string::npos) << r.err;
            // The last line, and only once.
            EXPECT_EQ(at + c.told.size(), r.err.size()) << r.err;
            EXPECT_EQ(r.err.find(c.told, at + 1), std::string::npos) << r.err;
            if (c.told.compare(0, failed.size(), failed) != 0) {
                EXPECT_EQ(r.err, loaded + c.told);
            }
        }
    }
}

// A character that starts no token is skipped, told once as a warning with
// its place, and the expression runs without it.
TEST_F(KxFind, SkippedCharactersAreToldOnceAsAWarning)
{
    const std::string loaded = Run({"--count"}).err;
    const std::string warning = "kxfind: mode 1 (complex)\nkxfind: warning: search expression: unexpected character ";
    const struct {
        std::string expression;
        std::string err; // after the load's lines
        std::string out;
    } cases[] = {
        {"LEVEL == 2;", warning + "';' at line 1, column 11, skipped\n", "1\tLEVEL=2\n3\tLEVEL=2\n"},
        {"LEVEL == -1\r", warning + "0x0D at line 1, column 12, skipped\n", "2\tLEVEL=-1\n"},
        {"LEVEL == 1 ||\n TEXT ~ \"disk\" #", warning + "'#' at line 2, column 16, skipped\n",
         "0\tLEVEL=1\n2\tTEXT=disk\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        const ToolResult r = Run({c.expression});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, loaded + c.err);
        EXPECT_EQ(r.out, c.out);
    }
}

// Reports are messages for the user: no source file and line of the
// program, no debug-stream line.
TEST_F(KxFind, ReportsShowNoSourcePlaces)
{
    const std::string text = dir_.Write("notes.kx", std::string(40, 'x') + "\n" + std::string(2000, 'y') + "\n");
    const std::regex place(R"(\[[A-Za-z0-9_]+\.(cpp|h):[0-9]+\])");
    const std::vector<std::vector<std::string>> runs = {
        {text, "x"},
        {path_, "-m", "1", "LEVEL =="},
        {path_, "-m", "1", "boot"},
        {path_, "-m", "1", "TEXT =~ \"((\""},
        {path_, "-m", "1", "LEVEL / 0 == 1"},
        {path_, std::string(1100, 'a')},
        {dir_.Path("missing.kx"), "x"},
    };
    for (const std::vector<std::string>& args : runs) {
        SCOPED_TRACE(args[0] + " " + args.back().substr(0, 20));
        const ToolResult r = RunTool(KXFIND_PATH, args, dir_);
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(std::regex_search(r.err, place)) << r.err;
        EXPECT_EQ(r.err.find("KX>>"), std::string::npos) << r.err;
        // Each line is the tool's own.
        for (size_t start = 0, end; (end = r.err.find('\n', start)) != std::string::npos; start = end + 1)
            EXPECT_EQ(r.err.compare(start, 8, "kxfind: "), 0) << r.err.substr(start, end - start);
    }
}

// A file that cannot be read is named with the system's reason.
TEST_F(KxFind, UnreadableFilesGiveTheSystemsReason)
{
    const std::filesystem::path folder = dir_.Path("folder.kx");
    std::filesystem::create_directory(folder);
    const struct {
        std::string path;
        int error;
    } cases[] = {{"missing.log", ENOENT}, {dir_.Path("missing.kx"), ENOENT}, {folder.string(), EISDIR}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const ToolResult r = RunTool(KXFIND_PATH, {c.path, "x"}, dir_);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "kxfind: " + c.path + ": " + std::strerror(c.error) + "\n");
        EXPECT_TRUE(r.out.empty());
    }
}

// What cannot be loaded ends with status 2 and says why on standard error:
// a document that is none, and (at once, without waiting for a writer, and
// nothing read in part) whatever is no regular file.
TEST_F(KxFind, WhatCannotBeLoadedEndsWithStatusTwo)
{
    std::string lines;
    for (int i = 0; i < 120; ++i)
        lines += "line " + std::to_string(i) + "\n";
    const std::string broken = dir_.Write("broken.kxl", "no document");
    kxtest::Fifo waiting(dir_.Path("waiting.log")), fed(dir_.Path("fed.log"), lines);
    ASSERT_TRUE(waiting.Made() && fed.Made());
    const bool socketMade = kxtest::MakeSocket(dir_.Path("socket.log"));
    // A pipe as a shell's <(cat f.log) gives it: the lines written, the writer gone.
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(ends[0], F_SETFD, 0), 0);
    ASSERT_EQ(write(ends[1], lines.data(), lines.size()), ssize_t(lines.size()));
    close(ends[1]);
    const std::string piped = "/dev/fd/" + std::to_string(ends[0]);
    const auto refused = [](const std::string& path, const char* kind) {
        return "kxfind: " + path + " is " + kind + ", not a regular file: save it to a file first\n";
    };
    const struct {
        std::string path;
        std::vector<std::string> args;
        std::string err; // the end of standard error
    } cases[] = {
        {broken, {"--count"}, "kxfind: " + broken + " could not be loaded\n"},
        {dir_.Path("waiting.log"), {"-f", "0", "--count"}, refused(dir_.Path("waiting.log"), "a pipe")},
        {dir_.Path("fed.log"), {"-f", "0", "--count"}, refused(dir_.Path("fed.log"), "a pipe")},
        {piped, {"-f", "0", "--count"}, refused(piped, "a pipe")},
        {"/dev/null", {"-f", "0", "--count"}, refused("/dev/null", "a character device")},
        {dir_.Path("socket.log"), {"-f", "0", "--count"}, refused(dir_.Path("socket.log"), "a socket")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.path == dir_.Path("socket.log") && !socketMade)
            continue;
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), c.path);
        const ToolResult r = RunTool(KXFIND_PATH, args, dir_, 5000);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty()) << r.out;
        ASSERT_GE(r.err.size(), c.err.size()) << r.err;
        EXPECT_EQ(r.err.substr(r.err.size() - c.err.size()), c.err);
        // What is refused is refused before anything else is said.
        if (c.path != broken) {
            EXPECT_EQ(r.err, c.err);
        }
    }
    close(ends[0]);
}

// Without an expression --count counts every row, as the usage gives the
// expression as optional beside --count.
TEST_F(KxFind, CountWithoutAnExpressionCountsEveryRow)
{
    const ToolResult r = Run({"--count"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "4\n");
    const std::string empty = dir_.Write("empty.kx", "");
    const ToolResult none = RunTool(KXFIND_PATH, {empty, "--count"}, dir_);
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_EQ(none.out, "0\n");
    // A file that says it is empty (/proc) is read to its end: a line a row.
    std::ifstream status("/proc/self/status");
    const std::string lines(std::istreambuf_iterator<char>(status), {});
    const ToolResult proc = RunTool(KXFIND_PATH, {"/proc/self/status", "-f", "0", "--count"}, dir_);
    EXPECT_EQ(proc.status, 0) << proc.err;
    EXPECT_EQ(proc.out, std::to_string(std::count(lines.begin(), lines.end(), '\n')) + "\n");
}

// The viewer keeps its settings in its program folder when it can: kxfind,
// beside it, reads the formats there as the viewer does; without
// KxViewer.ini there, those of ~/KxViewer/.
TEST(KxFindSettings, FormatsAreReadWhereTheViewerKeepsThem)
{
    const std::string pipe = "[Format1]\nName=\"Pipe\"\nExtension=csv\nEnabled=1\nVisual=2\nJavaException=0\n"
                             "Delimiter=\" \"\nMode=1\nTEXT=0,\"(a[0-9].*)\"\n";
    const struct {
        const char* name;
        bool inProgram; // else in ~/KxViewer/
        bool fifo;      // the formats file is a FIFO: told for what it is, not waited on
    } cases[] = {{"program folder", true, false}, {"home folder", false, false}, {"a FIFO", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string program = dir.Path("bin"), home = dir.Path("KxViewer");
        std::filesystem::create_directory(program);
        std::filesystem::create_directory(home);
        const std::string settings = c.inProgram ? program : home;
        const std::string kxfind = program + "/kxfind";
        std::filesystem::copy_file(KXFIND_PATH, kxfind);
        std::filesystem::permissions(kxfind, std::filesystem::perms::owner_all);
        dir.Write((c.inProgram ? "bin" : "KxViewer") + std::string("/KxViewer.ini"), "[Global]\n");
        const std::string formats = settings + "/KxFormats.ini";
        kxtest::Fifo fifo(c.fifo ? formats : dir.Path("unused"));
        if (!c.fifo)
            dir.Write((c.inProgram ? "bin" : "KxViewer") + std::string("/KxFormats.ini"), pipe);
        const std::string lines = dir.Write("lines.txt", "a0|b|c\na1|b|c\nx|y\n");
        const ToolResult r = RunTool(kxfind.c_str(), {lines, "a1", "-f", "1", "--count"}, dir, 5000);
        if (c.fifo) {
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),
                      "kxfind: " + formats + " is a pipe, not a regular file: save it to a file first\n");
            continue;
        }
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "1\n") << settings;
    }
}

// A tool that only reads finds the settings where they are: neither
// ~/KxViewer/ nor a file in its program folder is made, not even for a
// moment, whether the settings are there or not.
TEST(KxFindSettings, NothingIsMadeInHomeOrTheProgramFolder)
{
    for (const bool withSettings : {false, true}) {
        SCOPED_TRACE(withSettings ? "settings in the program folder" : "no settings");
        TempDir dir;
        const std::string program = dir.Path("bin");
        std::filesystem::create_directory(program);
        const std::string kxfind = program + "/kxfind";
        std::filesystem::copy_file(KXFIND_PATH, kxfind);
        std::filesystem::permissions(kxfind, std::filesystem::perms::owner_all);
        if (withSettings) {
            dir.Write("bin/KxViewer.ini", "[Global]\n");
            dir.Write("bin/KxFormats.ini", "");
        }
        const std::string lines = dir.Write("lines.log", "Dec  7 08:00:01 web1 daemon.info app[1]: a\n");
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, program.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE), 0);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{lines, "-f", "0", "a"}, std::vector<std::string>{lines, "-f", "1", "a"}}) {
            const ToolResult r = RunTool(kxfind.c_str(), args, dir);
            EXPECT_NE(r.status, -1) << r.err;
        }
        char events[4096];
        EXPECT_LT(read(watch, events, sizeof events), 1) << "a file was made in the program folder";
        close(watch);
        EXPECT_FALSE(std::filesystem::exists(dir.Path("KxViewer")));
    }
}
