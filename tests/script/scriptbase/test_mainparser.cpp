// The front end: string and file streams, the parse results, error reports
// with file and line, and the release of what it made.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "script/scriptbase/codeparser.h"
#include "test_grammar_fixture.h"
#include "tests/utils/osal/specialfiles.h"

using grammartest::Reports;

namespace {

class MainParserTest : public grammartest::ChannelCapture {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kxscript-front-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text)
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::string dir_;
};

} // namespace

TEST_F(MainParserTest, StringStreams)
{
    EXPECT_EQ(MainParser::PrepareStringParser(nullptr), nullptr);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_EQ(Reports()[0].channel + ":" + Reports()[0].text, "SYS:Input stream error!");
    EXPECT_EQ(Reports()[0].level, ZmLib::KX_LEVEL_ERROR);
    EXPECT_EQ(Reports()[1].channel + ":" + Reports()[1].function + ":" + Reports()[1].text,
              "SCRIPT:CodeParser::PrepareInputParser:Input stream error");
    EXPECT_EQ(Reports()[1].level, ZmLib::KX_LEVEL_WARNING);

    pANTLR3_INPUT_STREAM empty = MainParser::PrepareStringParser("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->size(empty), 0u);
    empty->close(empty);
}

TEST_F(MainParserTest, ParseInputResults)
{
    ScriptParseObjects objects;
    EXPECT_EQ(MainParser::ParseInput(nullptr, &objects), 2);
    EXPECT_EQ(Texts("SCRIPT"), std::vector<std::string>{"Input stream error"});
    EXPECT_EQ(objects.tree, nullptr);

    Reports().clear();
    EXPECT_EQ(MainParser::ParseInput(MainParser::PrepareStringParser(""), &objects), 1);
    EXPECT_EQ(Texts("SCRIPT"), std::vector<std::string>{"The parser returned 1 errors, tree walking aborted"});
    EXPECT_EQ(objects.input, nullptr);
    EXPECT_EQ(objects.parser, nullptr);

    ASSERT_EQ(MainParser::ParseInput(MainParser::PrepareStringParser("pause;"), &objects), 0);
    EXPECT_EQ(objects.tree->getType(objects.tree), ANTLR3_UINT32(PROGRAM));
    MainParser::FreeObjects(&objects);
    EXPECT_EQ(objects.input, nullptr);
    EXPECT_EQ(objects.tree, nullptr);
    MainParser::FreeObjects(&objects);
}

TEST_F(MainParserTest, FileParserRefusesWhatItCannotRead)
{
    std::string error;
    const std::string fifoPath = dir_ + "/fifo.kxs";
    kxtest::Fifo fifo(fifoPath);
    ASSERT_TRUE(fifo.Made());
    const struct { std::string path; std::string why; } cases[] = {
        {dir_ + "/missing.kxs", dir_ + "/missing.kxs: the file cannot be read"},
        {dir_, dir_ + ": the file cannot be read"},
        // At once, saying what it is.
        {fifoPath, fifoPath + " is a pipe, not a regular file: save it to a file first"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Reports().clear();
        kxtest::FifoGuard guard(fifo, std::chrono::seconds(3));
        EXPECT_EQ(MainParser::PrepareFileParser(c.path.c_str(), &error), nullptr);
        EXPECT_FALSE(guard.Waited());
        EXPECT_EQ(Texts("SCRIPT"), std::vector<std::string>{"Input stream error"});
        EXPECT_EQ(error, "Script compilation error\n" + c.why);
    }
    Reports().clear();
    EXPECT_EQ(MainParser::PrepareFileParser(nullptr, &error), nullptr);
    EXPECT_EQ(Texts("SYS"), std::vector<std::string>{"Input stream error!"});
    EXPECT_EQ(Texts("SCRIPT"), std::vector<std::string>{"Input stream error"});
    EXPECT_EQ(error, "Script compilation error\n(no file): the file cannot be read");
    // An empty file is a script without statements.
    Reports().clear();
    const std::string empty = Write("empty.kxs", "");
    EXPECT_EQ(MainParser::PrepareFileParser(empty.c_str(), &error), nullptr);
    EXPECT_EQ(Texts("SCRIPT").size(), 1u);
    EXPECT_EQ(error, "Script compilation error\n" + empty +
                         "(1) : unexpected end of script at line 1, column 1");
}

TEST_F(MainParserTest, FileParserRefusesErrorsWithFileAndLine)
{
    // user: the lines after "Script compilation error", each after the folder
    const struct {
        const char* name;
        const char* text;
        const char* antlr;
        const char* script;
        std::vector<const char*> user;
    } cases[] = {
        {"syntax.kxs", "var x = 1;\nx = ;\n", "/syntax.kxs(2) : unexpected",
         "The parser returned 1 errors, tree walking aborted",
         {"/syntax.kxs(2) : unexpected ';' at line 2, column 5"}},
        {"lexical.kxs", "var x = 1;\n\nx = 2; #\n", "/lexical.kxs(3) : unexpected character",
         "The parser returned 1 errors, tree walking aborted",
         {"/lexical.kxs(3) : unexpected character '#' at line 3, column 8"}},
        {"both.kxs", "var x = 1 #;\nx = ;\n", "/both.kxs(1) : unexpected character",
         "The parser returned 2 errors, tree walking aborted",
         {"/both.kxs(1) : unexpected character '#' at line 1, column 11",
          "/both.kxs(2) : unexpected ';' at line 2, column 5"}},
        {"stray.kxs", "if (x) {\n}\n;\nprint(x);\n", "/stray.kxs(3) : unexpected",
         "The parser returned 1 errors, tree walking aborted",
         {"/stray.kxs(3) : unexpected ';' at line 3, column 1"}},
    };
    for (const auto& c : cases) {
        Reports().clear();
        testing::internal::CaptureStderr();
        std::string error;
        EXPECT_EQ(MainParser::PrepareFileParser(Write(c.name, c.text).c_str(), &error), nullptr) << c.name;
        std::string user = "Script compilation error";
        for (const char* line : c.user)
            user += "\n" + dir_ + line;
        EXPECT_EQ(error, user);
        // The runtime's own display would have printed here.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
        std::vector<std::string> antlr = Texts("ANTLR");
        ASSERT_FALSE(antlr.empty()) << c.name;
        EXPECT_EQ(antlr[0].find(dir_ + c.antlr), 0u) << antlr[0];
        EXPECT_EQ(Texts("SCRIPT"), std::vector<std::string>{c.script}) << c.name;
    }
}

TEST_F(MainParserTest, FileParserHandsTheTreeToACodeParser)
{
    // The last line is a comment without a line end.
    std::string error = "left from before";
    CodeParser* code =
        MainParser::PrepareFileParser(Write("ok.kxs", "var x = 1;\r\nprint(x);\r\n// done").c_str(), &error);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(Reports().empty());
    ASSERT_NE(code->root, nullptr);
    pANTLR3_STRING tree = code->root->toStringTree(code->root);
    EXPECT_STREQ(reinterpret_cast<const char*>(tree->chars),
                 "(PROGRAM (STMT_VAR (STMT_ASSIGN (IDENT_STMT x) = 1)) (STMT_PRINT (IDENT_STMT x)))");
    EXPECT_TRUE(code->input && code->lexer && code->tokens && code->parser);

    // Preparing again releases the first objects; a null input leaves none.
    EXPECT_EQ(code->PrepareInputParser(MainParser::PrepareStringParser("exit;")), 0);
    EXPECT_EQ(code->PrepareInputParser(nullptr), 2);
    EXPECT_EQ(code->root, nullptr);
    EXPECT_EQ(code->parser, nullptr);
    code->Free();
    delete code;
}

// Every failure path frees what it made: LeakSanitizer checks at exit.
TEST_F(MainParserTest, ThousandFailedParsesLeakNothing)
{
    const std::string deep = "x = " + std::string(400, '(') + "1" + std::string(400, ')') + ";";
    const std::string files[] = {
        Write("a.kxs", "#"),
        Write("b.kxs", "x = ;"),
        Write("c.kxs", "if (a) { } ;"),
        Write("d.kxs", "x = !-3;"),
        Write("e.kxs", "\"open"),
        Write("f.kxs", deep),
    };
    const char* texts[] = {"", "}", "x = 1 #;", "var a = {};", "/* open", deep.c_str()};
    for (int i = 0; i < 1000; ++i) {
        const size_t k = size_t(i) % std::size(files);
        EXPECT_EQ(MainParser::PrepareFileParser(files[k].c_str()), nullptr);
        ScriptParseObjects objects;
        EXPECT_EQ(MainParser::ParseInput(MainParser::PrepareStringParser(texts[k]), &objects), 1);
    }
    EXPECT_EQ(Texts("SCRIPT").size(), 2000u);
}

namespace {

int ThrowingOutput(ZmLib::KXEVENT*, ZmLib::KX*)
{
    throw std::runtime_error("output failed");
}

} // namespace

// The error display runs inside the runtime's C frames: an output that throws
// must not unwind through them.
TEST_F(MainParserTest, ErrorDisplayNeverThrowsIntoTheRuntime)
{
    KxAntlrChannel.output = &ThrowingOutput;
    ScriptParseObjects objects;
    int result = -1;
    EXPECT_NO_THROW(result = MainParser::ParseInput(MainParser::PrepareStringParser("x = 1 #;\ny = ;"), &objects));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Texts("SCRIPT"), std::vector<std::string>{"The parser returned 2 errors, tree walking aborted"});
}
