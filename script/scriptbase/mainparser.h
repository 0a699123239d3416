// The script front end: reads a script into the syntax tree of the generated
// KxScript parser (node kinds: the token types of KxScriptParser.h; shapes:
// see KxScript.g) and hands it to a new CodeParser.
#pragma once

#include <antlr3.h>

#include <string>

#include "KxScriptLexer.h"
#include "KxScriptParser.h"

class CodeParser;

// Syntax trees deeper than this are refused, so that code walking a tree
// recursively (the interpreter, the runtime's toStringTree) has a bounded
// depth. Bracket nesting is bounded in the grammar (KXSCRIPT_MAX_NESTING).
constexpr ANTLR3_UINT32 KXSCRIPT_MAX_TREE_DEPTH = 1000;

// The runtime objects of one parsed script, in the order they are made. The
// tree (a PROGRAM node) lives in the parser's and the input's memory and is
// valid until they are freed.
struct ScriptParseObjects {
    pANTLR3_INPUT_STREAM input = nullptr;
    pKxScriptLexer lexer = nullptr;
    pANTLR3_COMMON_TOKEN_STREAM tokens = nullptr;
    pKxScriptParser parser = nullptr;
    pANTLR3_BASE_TREE tree = nullptr;
};

class MainParser {
public:
    // Parses a script file into a new CodeParser; null on any failure, with
    // the reasons on the debug stream ("SCRIPT"; syntax errors on "ANTLR")
    // and, for the user, in *error: "Script compilation error", then one
    // line per syntax error ("<file>(<line>) : <message>") or one saying the
    // file cannot be read.
    static CodeParser* PrepareFileParser(const char* path, std::string* error = nullptr);

    // An 8-bit input stream over a NUL-terminated text, which it does not
    // copy: the text must outlive the stream. Null for a null text.
    static pANTLR3_INPUT_STREAM PrepareStringParser(const char* text);

    // Lexes and parses an input stream, taking it over. Returns 0 with every
    // object in `out` when the tree is ready; 2 for a null input ("Input
    // stream error"); 1 when an object cannot be made or any lexical, syntax
    // or depth error was counted. On failure everything made here is freed,
    // the input included, and `out` is left empty.
    static int ParseInput(pANTLR3_INPUT_STREAM input, ScriptParseObjects* out);

    // Frees the parser, the token stream, the lexer and the input, in that
    // order, and empties `objects`. Safe on a partly filled or empty set.
    static void FreeObjects(ScriptParseObjects* objects);
};
