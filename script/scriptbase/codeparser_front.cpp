// Releasing the front end's objects with the interpreter's own data.
#include "script/scriptbase/codeparser.h"

#include "script/scriptbase/mainparser.h"

void CodeParser::Free()
{
    ResetRun();
    tree_.Clear();
    treeSource_ = nullptr;
    ScriptParseObjects objects;
    objects.input = input;
    objects.lexer = lexer;
    objects.tokens = tokens;
    objects.parser = parser;
    objects.tree = root;
    MainParser::FreeObjects(&objects);
    input = nullptr;
    lexer = nullptr;
    tokens = nullptr;
    parser = nullptr;
    root = nullptr;
}
