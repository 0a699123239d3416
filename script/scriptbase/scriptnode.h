// The interpreter's copy of a parsed script's syntax tree. It is read once
// from the parser runtime's tree, so that running a script calls no C
// runtime code (no exception crosses a C frame) and reading a node's text
// allocates nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct ANTLR3_BASE_TREE_struct;

struct ScriptNode {
    int type = 0;
    // The runtime's line: an imaginary node answers with its first child's.
    int line = 0;
    // The column from 1 where the node's token starts in its line; 0 for a
    // node made without a token.
    int column = 0;
    // Position among the parent's children.
    int index = 0;
    std::string text;
    // A string literal's text without its quotes.
    std::string literal;
    ScriptNode* parent = nullptr;
    std::vector<ScriptNode*> children;
    // Preparation data: a goto's entry, a REGEXP node's compiled pattern,
    // a NUMBER literal's value.
    void* user = nullptr;

    int Count() const { return int(children.size()); }
    ScriptNode* Child(int i) const { return i >= 0 && i < Count() ? children[size_t(i)] : nullptr; }
};

class ScriptTree {
public:
    // Copies a parsed tree of the script grammar; false for a null root.
    bool Build(ANTLR3_BASE_TREE_struct* root);
    // The same for a grammar whose string literals in double and in single
    // quotes have these token types.
    bool Build(ANTLR3_BASE_TREE_struct* root, int doubleQuoted, int singleQuoted);

    ScriptNode* Root() const { return root_; }
    void Clear();

    // The runtime's tree notation: "(text child child)" for a node with
    // children, its text for a leaf. A node of type `bare` is written as its
    // children alone, without parentheses and text of its own.
    static std::string Notation(const ScriptNode* node, int bare = 0);

private:
    ScriptNode* Copy(ANTLR3_BASE_TREE_struct* tree, ScriptNode* parent);

    std::vector<std::unique_ptr<ScriptNode>> nodes_;
    ScriptNode* root_ = nullptr;
    int doubleQuoted_ = 0;
    int singleQuoted_ = 0;
};
