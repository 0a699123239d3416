#include "script/scriptbase/mainparser.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "script/scriptbase/antlrsupport.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scriptchannels.h"
#include "utils/osal/readpath.h"

namespace {

// The runtime's token-stream size hint.
constexpr ANTLR3_UINT32 TOKEN_STREAM_SIZE_HINT = 1025;
// The name that in-memory streams give in error reports.
constexpr const char* STRING_STREAM_NAME = "KxScriptString";

#define FRONT_END_WARNING(...) \
    KxScriptChannel.WarningReport(0, "codeparser", __LINE__, "CodeParser::PrepareInputParser", __VA_ARGS__)

// The first node more than `limit` levels below the root, or null.
pANTLR3_BASE_TREE DeeperThan(pANTLR3_BASE_TREE root, ANTLR3_UINT32 limit)
{
    // Each entry: a node and the index of its next child to visit.
    std::vector<std::pair<pANTLR3_BASE_TREE, ANTLR3_UINT32>> stack;
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next == node->getChildCount(node)) {
            stack.pop_back();
            continue;
        }
        auto child = static_cast<pANTLR3_BASE_TREE>(node->getChild(node, next++));
        if (child == nullptr)
            continue;
        if (stack.size() > limit)
            return child;
        stack.emplace_back(child, 0);
    }
    return nullptr;
}

// A stream over the script file, read through the read check (only a
// regular file, to its end; nothing waits on a FIFO) into memory that the
// stream frees when it is closed; null, with why in refusal when it is no
// regular file. The runtime takes sizes in 32 bits.
pANTLR3_INPUT_STREAM ReadScriptFile(const char* path, std::string& refusal)
{
    const int fd = ZmLib::OpenToRead(path, refusal);
    if (fd < 0)
        return nullptr;
    std::string text;
    char piece[65536];
    ssize_t got = 0;
    for (;;) {
        got = read(fd, piece, sizeof piece);
        if (got > 0 && text.size() < UINT32_MAX)
            text.append(piece, size_t(got));
        else if (got >= 0 || errno != EINTR)
            break;
    }
    close(fd);
    auto* data = static_cast<pANTLR3_UINT8>(malloc(text.size() + 1));
    if (got != 0 || data == nullptr) {
        free(data);
        return nullptr;
    }
    memcpy(data, text.c_str(), text.size() + 1);
    pANTLR3_INPUT_STREAM input = antlr3StringStreamNew(data, ANTLR3_ENC_8BIT, ANTLR3_UINT32(text.size()),
                                                       reinterpret_cast<pANTLR3_UINT8>(const_cast<char*>(path)));
    if (input == nullptr)
        free(data);
    else
        input->isAllocated = ANTLR3_TRUE;
    return input;
}

} // namespace

CodeParser* MainParser::PrepareFileParser(const char* path, std::string* error)
{
    if (error)
        *error = "Script compilation error";
    CodeParser* code = nullptr;
    try {
        code = new CodeParser();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    pANTLR3_INPUT_STREAM input = nullptr;
    std::string refusal;
    if (path == nullptr)
        KX_ERROR(ZmLib::KxSys, "Input stream error!");
    else
        input = ReadScriptFile(path, refusal);
    if (input == nullptr && error)
        *error += '\n' + (!refusal.empty() ? refusal : std::string(path ? path : "(no file)") + ": the file cannot be read");
    AntlrErrorLog log;
    // A null input is reported as "Input stream error" by the parse.
    if (code->PrepareInputParser(input) != 0) {
        delete code;
        if (error && !log.Errors().empty())
            *error += '\n' + log.Lines();
        return nullptr;
    }
    if (error)
        error->clear();
    return code;
}

pANTLR3_INPUT_STREAM MainParser::PrepareStringParser(const char* text)
{
    if (text == nullptr) {
        KX_ERROR(ZmLib::KxSys, "Input stream error!");
        FRONT_END_WARNING("Input stream error");
        return nullptr;
    }
    size_t length = strlen(text);
    if (length >= UINT32_MAX) {
        FRONT_END_WARNING("Input stream error");
        return nullptr;
    }
    return antlr3StringStreamNew(reinterpret_cast<pANTLR3_UINT8>(const_cast<char*>(text)), ANTLR3_ENC_8BIT,
                                 ANTLR3_UINT32(length),
                                 reinterpret_cast<pANTLR3_UINT8>(const_cast<char*>(STRING_STREAM_NAME)));
}

int MainParser::ParseInput(pANTLR3_INPUT_STREAM input, ScriptParseObjects* out)
{
    *out = ScriptParseObjects();
    if (input == nullptr) {
        FRONT_END_WARNING("Input stream error");
        return 2;
    }
    ScriptParseObjects made;
    made.input = input;

    made.lexer = KxScriptLexerNew(input);
    if (made.lexer == nullptr) {
        FRONT_END_WARNING("Unable to create the lexer due to malloc() failure");
        FreeObjects(&made);
        return 1;
    }
    AntlrRouteErrors(made.lexer->pLexer->rec, "script");

    made.tokens = antlr3CommonTokenStreamSourceNew(TOKEN_STREAM_SIZE_HINT, TOKENSOURCE(made.lexer));
    if (made.tokens == nullptr) {
        FRONT_END_WARNING("Out of memory trying to allocate token stream");
        FreeObjects(&made);
        return 1;
    }

    made.parser = KxScriptParserNew(made.tokens);
    if (made.parser == nullptr) {
        FRONT_END_WARNING("Out of memory trying to allocate parser");
        FreeObjects(&made);
        return 1;
    }
    AntlrRouteErrors(made.parser->pParser->rec, "script");

    made.tree = made.parser->program(made.parser).tree;

    // The lexer counts its errors apart from the parser's; a stray character
    // refuses the script as surely as a syntax error.
    ANTLR3_UINT32 errors =
        AntlrErrorCount(made.lexer->pLexer->rec) + AntlrErrorCount(made.parser->pParser->rec);
    if (errors == 0 && made.tree == nullptr)
        errors = 1;
    if (errors == 0) {
        if (pANTLR3_BASE_TREE deep = DeeperThan(made.tree, KXSCRIPT_MAX_TREE_DEPTH)) {
            char text[96];
            snprintf(text, sizeof text, "error : syntax tree deeper than %u levels", KXSCRIPT_MAX_TREE_DEPTH);
            AntlrReport(input->fileName, deep->getLine(deep), text);
            errors = 1;
        }
    }
    if (errors != 0) {
        FRONT_END_WARNING("The parser returned %d errors, tree walking aborted", int(errors));
        FreeObjects(&made);
        return 1;
    }
    *out = made;
    return 0;
}

int CodeParser::PrepareInputParser(pANTLR3_INPUT_STREAM stream)
{
    // A second preparation replaces the first script and what was made of it.
    Free();
    ScriptParseObjects objects;
    int result = MainParser::ParseInput(stream, &objects);
    if (result == 0) {
        input = objects.input;
        lexer = objects.lexer;
        tokens = objects.tokens;
        parser = objects.parser;
        root = objects.tree;
    }
    return result;
}

void MainParser::FreeObjects(ScriptParseObjects* objects)
{
    if (objects->parser != nullptr)
        objects->parser->free(objects->parser);
    if (objects->tokens != nullptr)
        objects->tokens->free(objects->tokens);
    if (objects->lexer != nullptr)
        objects->lexer->free(objects->lexer);
    if (objects->input != nullptr)
        objects->input->close(objects->input);
    *objects = ScriptParseObjects();
}
