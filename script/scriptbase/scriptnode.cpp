#include "script/scriptbase/scriptnode.h"

#include <antlr3.h>

#include "script/scriptbase/antlrsupport.h"
#include "script/scriptbase/scripttokens.h"

bool ScriptTree::Build(ANTLR3_BASE_TREE_struct* root) { return Build(root, KS_STRINGS, KS_COMA_STRINGS); }

bool ScriptTree::Build(ANTLR3_BASE_TREE_struct* root, int doubleQuoted, int singleQuoted)
{
    Clear();
    if (!root)
        return false;
    doubleQuoted_ = doubleQuoted;
    singleQuoted_ = singleQuoted;
    root_ = Copy(root, nullptr);
    return true;
}

ScriptNode* ScriptTree::Copy(ANTLR3_BASE_TREE_struct* tree, ScriptNode* parent)
{
    pANTLR3_STRING text = tree->getText(tree);
    nodes_.push_back(std::make_unique<ScriptNode>());
    ScriptNode* node = nodes_.back().get();
    node->type = int(tree->getType(tree));
    node->line = int(tree->getLine(tree));
    pANTLR3_COMMON_TOKEN token = tree->getToken(tree);
    if (token && token->input)
        node->column = int(AntlrColumn(token)) + 1;
    node->parent = parent;
    if (text && text->chars)
        node->text.assign(reinterpret_cast<const char*>(text->chars), text->len);
    // A string literal's text is read once, with the quotes of its kind removed.
    if (node->type == doubleQuoted_ || node->type == singleQuoted_) {
        const char quote = node->type == doubleQuoted_ ? '"' : '\'';
        for (char c : node->text)
            if (c != quote)
                node->literal += c;
    }
    const ANTLR3_UINT32 count = tree->getChildCount(tree);
    for (ANTLR3_UINT32 i = 0; i < count; i++) {
        auto* child = static_cast<pANTLR3_BASE_TREE>(tree->getChild(tree, i));
        if (!child)
            continue;
        ScriptNode* copy = Copy(child, node);
        copy->index = node->Count();
        node->children.push_back(copy);
    }
    return node;
}

void ScriptTree::Clear()
{
    nodes_.clear();
    root_ = nullptr;
}

std::string ScriptTree::Notation(const ScriptNode* node, int bare)
{
    if (node->children.empty())
        return node->text;
    const bool plain = node->type != bare;
    std::string out = plain ? "(" + node->text + " " : std::string();
    for (size_t i = 0; i < node->children.size(); i++) {
        if (i > 0)
            out += ' ';
        out += Notation(node->children[i], bare);
    }
    if (plain)
        out += ")";
    return out;
}
