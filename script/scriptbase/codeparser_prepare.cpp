// The preparation pass (tables of functions, calls, gotos, labels and
// patterns) and the check pass over them.
#include <cstring>
#include <string>

#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scripttokens.h"
#include "script/scriptbase/scripttracer.h"

void CodeParser::PrepareTree(ScriptNode* node, int depth)
{
    if (node->line != 0)
        line_ = node->line;
    if (node->type != KS_FUNC_DEF) {
        PrepareNode(node);
        for (ScriptNode* child : node->children) {
            ScriptTracer::PrintTreeInfo(child, depth + 1);
            PrepareTree(child, depth + 1);
        }
        return;
    }
    if (gotoLists_.size() >= size_t(MAX_TABLE))
        MakeError("Allocation overflow");
    // A definition inside a function body returns to the enclosing
    // function's lists and return state afterwards.
    const int outerState = returnState_;
    const int outerList = currentList_;
    returnState_ = -1;
    currentList_ = int(gotoLists_.size());
    gotoLists_.push_back(std::make_unique<GotoList>());
    labelLists_.push_back(std::make_unique<GotoList>());
    functionDepth_++;
    const size_t entry = functions_.size();
    for (ScriptNode* child : node->children) {
        ScriptTracer::PrintTreeInfo(child, depth + 1);
        PrepareTree(child, depth + 1);
    }
    functionDepth_--;
    if (entry < functions_.size())
        functions_[entry].returnState = returnState_;
    returnState_ = outerState;
    currentList_ = outerList;
}

void CodeParser::PrepareNode(ScriptNode* node)
{
    switch (node->type) {
    case KS_PROGRAM:
        if (gotoLists_.empty()) {
            gotoLists_.push_back(std::make_unique<GotoList>());
            labelLists_.push_back(std::make_unique<GotoList>());
        }
        break;
    case KS_FUNC_HDR: {
        const char* name = node->Child(0) ? node->Child(0)->text.c_str() : "";
        if (FindUserFunction(name) >= 0)
            MakeError("Found duplicate func name", name);
        if (functions_.size() >= size_t(MAX_TABLE))
            MakeError("Allocation overflow");
        functions_.push_back(UserFunction{node->parent, name, 0});
        break;
    }
    case KS_STMT_RETURN:
        if (functionDepth_ == 0)
            MakeError("<return> can be used only in function definition");
        returnState_ = node->Count() == 0 ? line_ + 1 : 0;
        break;
    case KS_STMT_GOTO: {
        GotoList& list = *gotoLists_[size_t(currentList_)];
        if (list.count >= MAX_GOTOS)
            MakeError("Allocation overflow");
        GotoEntry& entry = list.entries[list.count++];
        entry = GotoEntry{node->parent, nullptr, node->Child(0) ? node->Child(0)->text.c_str() : "", line_};
        node->user = &entry;
        break;
    }
    case KS_STMT_LABEL: {
        GotoList& list = *labelLists_[size_t(currentList_)];
        const char* name = node->Child(0) ? node->Child(0)->text.c_str() : "";
        for (int32_t i = 0; i < list.count; i++)
            if (std::strcmp(list.entries[i].name, name) == 0)
                MakeError("Found duplicate label", name);
        if (list.count >= MAX_GOTOS)
            MakeError("Allocation overflow");
        list.entries[list.count++] = GotoEntry{node->parent, node, name, line_};
        break;
    }
    case KS_REGEXP: {
        if (node->Count() != 2)
            MakeError("Error arguments count");
        const ScriptNode* pattern = node->Child(1);
        if (pattern->type != KS_STRINGS && pattern->type != KS_COMA_STRINGS)
            break;
        if (compiled_.size() >= size_t(MAX_TABLE))
            MakeError("Allocation overflow");
        compiled_.push_back(std::make_unique<RegexBuilder>(pattern->literal.c_str()));
        node->user = compiled_.back().get();
        break;
    }
    case KS_NUMBER: {
        // Read once; a literal that is no number is reported when it runs.
        ScriptValue value;
        node->user = nullptr;
        if (ScriptOperations::ReadNumber(node->text.c_str(), value)) {
            literals_.push_back(value);
            node->user = &literals_.back();
        }
        break;
    }
    case KS_STRINGS:
    case KS_COMA_STRINGS:
        // Made once: every run of the literal shares the one text.
        literals_.push_back(ScriptValue::String(node->literal.c_str(), node->type == KS_COMA_STRINGS ? 1 : 0));
        node->user = &literals_.back();
        break;
    case KS_USER_CALL: {
        const char* name = node->Child(0) ? node->Child(0)->text.c_str() : "";
        int library = -1;
        if (Registry() && Registry()->FindFunction(name, library) >= 0)
            break;
        if (calls_.size() >= size_t(MAX_TABLE))
            MakeError("Allocation overflow");
        calls_.push_back(UserCall{NeedsValue(node) ? line_ : 0, line_, name});
        break;
    }
    default:
        break;
    }
}

void CodeParser::CheckTree()
{
    for (size_t list = 0; list < gotoLists_.size(); list++) {
        GotoList& gotos = *gotoLists_[list];
        const GotoList& labels = *labelLists_[list];
        for (int32_t g = 0; g < gotos.count; g++) {
            GotoEntry& jump = gotos.entries[g];
            line_ = jump.line;
            const GotoEntry* label = nullptr;
            for (int32_t l = 0; l < labels.count && !label; l++)
                if (std::strcmp(labels.entries[l].name, jump.name) == 0)
                    label = &labels.entries[l];
            if (!label)
                MakeError("Goto without label: ", jump.name);
            jump.label = label->label;
            const ScriptNode* p = jump.parent;
            while (p != label->parent) {
                if (!p || !p->parent)
                    MakeError("Goto must be in it's label parent block: ", jump.name);
                p = p->parent;
            }
        }
    }
    for (const UserCall& call : calls_) {
        line_ = call.line;
        const int function = FindUserFunction(call.name);
        if (function < 0)
            MakeError("Unknown function call ", call.name);
        const int state = functions_[size_t(function)].returnState;
        if (call.needsValue == 0 || state == 0)
            continue;
        std::string message = "Return not found in function: ";
        message += call.name;
        if (state != -1)
            message = "Return with no arguments in function: " + std::string(call.name) + " at Line: " +
                      std::to_string(state - 1);
        MakeError(message.c_str(), "But waiting for return at");
    }
}
