// The compiled form of one search expression and the machine that tests
// records against it. A text with no comparison or logical operator is
// searched as a plain substring in every field; any other text is parsed,
// prepared once and evaluated per record on a value stack with the script
// language's value rules.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "kxlib/table/kxsearchexpr.h"
#include "script/scriptbase/scriptnode.h"
#include "script/scriptbase/scriptoperations.h"
#include "script/scriptbase/scriptvalue.h"
#include "script/scriptlogicalexp/searchtext.h"
#include "utils/regex/regexmatchcontext.h"
#include "utils/regex/regexmatchresult.h"

struct ANTLR3_INPUT_STREAM_struct;
struct ANTLR3_COMMON_TOKEN_STREAM_struct;
struct LogicalExpLexer_Ctx_struct;
struct LogicalExpParser_Ctx_struct;

// Hung on a tree node by the preparation pass. On a field identifier: its
// field. On an operator with a field operand: that field and the operand's
// node. On "=~": also the pattern, compiled once.
struct SearchNodeInfo {
    int32_t field = -1;
    const ScriptNode* operand = nullptr;
    std::unique_ptr<RegexBuilder> pattern;
    // The expression's round in which the pattern ran out of its match
    // limit (0: never); it matches nothing for the rest of that round.
    uint32_t exhaustedRound = 0;
};

class ScriptLogicalExpParser final : public KxSearchExpression, private ScriptErrorSink {
public:
    static constexpr int STACK_SIZE = 200;
    static constexpr int MAX_NODE_INFOS = 200;

    ScriptLogicalExpParser();
    ~ScriptLogicalExpParser() override;

    // Makes the tables of the record engine build their expressions here.
    static void Register();
    static KxSearchExpression* Create();
    // The match limit of the patterns that expressions compile from now on.
    static void SetPatternMatchLimit(long long steps) { patternMatchLimit_ = steps; }
    static long long PatternMatchLimit() { return patternMatchLimit_; }

    bool Construct(const char* text, bool matchCase, bool simpleMode) override;
    int Parse() override;
    bool Match(KxdRecord* record) override;
    bool Holds(const KxdRecord& record) const override;
    // Releases the parser objects, the tree and the node infos.
    void Free();

    // The prepared tree (null before a successful parse).
    const ScriptNode* Root() const { return tree_.Root(); }

    uint8_t fieldNamed[FIELD_Nums] = {};
    uint8_t lastResult = 0;
    uint32_t predicateCount = 0;

private:
    // Where a node stands, for the user: " at line L, column C" (the column
    // only where the node's token gave one); column overrides the node's.
    static std::string PlaceOf(const ScriptNode* node, int column = 0);
    int PrepareInputParser(ANTLR3_INPUT_STREAM_struct* input);
    // Why the text does not compile: a warning, or a notice when the text
    // was only tried as an expression.
    void ReportParseFailure(int line, const char* text) const;
    void ReleaseParser();
    int PrepareTree();
    // Sets form and predicates from the prepared tree.
    void DescribeForm();
    void ClearForm();
    void PrepareNode(ScriptNode* node, int depth);
    SearchNodeInfo* InfoOf(ScriptNode* node);
    void PrepareNumber(ScriptNode* node);

    // Keeps the round's first evaluation failure (evalError) and reports it.
    void NoteEvalError(const char* what);
    bool SimpleMatch(KxdRecord* record);
    void ClearSlots();
    void SetSlot(int32_t field, int32_t kind, const char* text);
    // The "=~" test of a node; a pattern that ran out of steps sits out the
    // rest of the round.
    bool PatternMatches(const ScriptNode* node, const char* subject);

    void MainCycle(const ScriptNode* node);
    void CalculateOperation(const ScriptNode* node, ScriptOp op, ScriptValue left, ScriptValue right,
                            char* matched);
    void Highlight(const ScriptNode* node, ScriptOp op, const ScriptValue& left, const ScriptValue& right,
                   const char* matched);
    ScriptValue FieldValue(int32_t field) const;
    void Print(const ScriptNode* node);
    void UserCall(const ScriptNode* node);
    int PushArguments(const ScriptNode* node, int first);
    void CallFunction(int function, int library, int line, int count);
    [[noreturn]] void MakeError(const char* message, const char* argument = nullptr) override;

    // Evaluates a child that must leave exactly one value, and takes it off.
    ScriptValue EvalChild(const ScriptNode* node, int i);
    void Push(const ScriptValue& value);
    ScriptValue Pop();

    LogicalExpLexer_Ctx_struct* lexer_ = nullptr;
    ANTLR3_COMMON_TOKEN_STREAM_struct* tokens_ = nullptr;
    ANTLR3_INPUT_STREAM_struct* input_ = nullptr;
    LogicalExpParser_Ctx_struct* parser_ = nullptr;
    // The runtime's tree, read once into nodes whose texts cost nothing to
    // read again.
    ScriptTree tree_;
    KxdRecord* record_ = nullptr;

    ScriptValueSlot stack_[STACK_SIZE];
    int32_t stackCount_ = 0;
    std::vector<std::unique_ptr<SearchNodeInfo>> infos_;
    // Number literals read once by the preparation pass, each hung on its
    // node; a literal that is no number has none and fails when evaluated.
    std::deque<ScriptValue> literals_;
    int32_t line_ = 0;
    // The simple search's text, and whether a slot may be set (so that a
    // match that filled none need not clear all 25 again).
    SearchRecordFilter simple_;
    bool slotsSet_ = false;
    RegexMatchContext regexContext_;
    RegexMatchResult regexResult_;
    static long long patternMatchLimit_;
};
