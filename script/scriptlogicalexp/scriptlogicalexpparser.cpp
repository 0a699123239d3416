// Building, preparing and releasing a search expression, and the record test
// that drives the evaluator.
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "LogicalExpLexer.h"
#include "LogicalExpParser.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "script/scriptbase/antlrsupport.h"
#include "script/scriptbase/mainparser.h"
#include "script/scriptbase/scriptchannels.h"
#include "script/scriptbase/scripttracer.h"
#include "utils/common/strbase.h"

namespace {

constexpr const char* SOURCE = "script/scriptlogicalexp/scriptlogicalexpparser";

// The parser's reports for the user, one a line, each with its own line and
// column; skippedOnly: only those of what the lexer skipped.
std::string ErrorsText(const std::vector<AntlrError>& errors, bool skippedOnly = false)
{
    std::string text;
    for (const AntlrError& error : errors) {
        if (skippedOnly && !error.skipped)
            continue;
        if (!text.empty())
            text += '\n';
        text += error.message;
    }
    return text;
}

int32_t PredicateOp(int type)
{
    switch (type) {
    case LE_LESS: return SEARCH_OP_LESS;
    case LE_LESS_OR_EQUAL: return SEARCH_OP_LESS_OR_EQUAL;
    case LE_GREATER: return SEARCH_OP_GREATER;
    case LE_GREATER_OR_EQUAL: return SEARCH_OP_GREATER_OR_EQUAL;
    case LE_EQUAL: return SEARCH_OP_EQUAL;
    case LE_NOT_EQUAL: return SEARCH_OP_NOT_EQUAL;
    case LE_SUBST: return SEARCH_OP_SUBSTRING;
    case LE_REGEXP: return SEARCH_OP_WILDCARD;
    default: return SEARCH_OP_NONE;
    }
}

// "FIELD op literal" into its field's predicate, and "!(FIELD != literal)"
// as ==, the exact form a rebuilt expression gives a value with an apostrophe
// and a wildcard; false for anything else and for a field named a second
// time. The literal's quotes are not kept, so a double-quoted one is taken
// only where the rebuilt expression means the same: == compares
// double-quoted text by wildcards, a rebuilt one exactly.
bool TakePredicate(const ScriptNode* node, SearchPredicate* predicates)
{
    const bool negated = node->type == LE_NOT && node->Count() == 1 && node->Child(0)->type == LE_NOT_EQUAL;
    if (negated)
        node = node->Child(0);
    const int32_t op = negated ? SEARCH_OP_EQUAL : PredicateOp(node->type);
    if (op == SEARCH_OP_NONE || node->Count() != 2)
        return false;
    const ScriptNode* key = node->Child(0);
    const ScriptNode* literal = node->Child(1);
    const int32_t field = key->type == LE_IDENT && key->children.empty() ? FieldIndexByKey(key->text.c_str()) : -1;
    if (field < 0 || predicates[field].op != SEARCH_OP_NONE)
        return false;
    std::string value;
    if (literal->type == LE_NUMBER) {
        value = literal->text;
    } else if (literal->type == LE_COMA_STRINGS) {
        value = literal->literal;
    } else if (literal->type == LE_STRINGS) {
        value = literal->literal;
        if (!negated && op == SEARCH_OP_EQUAL && value.find_first_of("*?") != std::string::npos)
            return false;
    } else {
        return false;
    }
    predicates[field] = SearchPredicate{op, value};
    return true;
}

// The column of a byte of a string literal's value, counted in characters
// of the literal's text with its quotes; the closing quote for the value's
// end.
int ColumnInLiteral(const ScriptNode* literal, int offset, char quote)
{
    if (literal->column <= 0)
        return 0;
    const auto* text = reinterpret_cast<const ANTLR3_UINT8*>(literal->text.data());
    const auto column = [&](size_t i) { return literal->column + int(AntlrCharacters(text, text + i)); };
    int seen = 0;
    for (size_t i = 1; i < literal->text.size(); ++i) {
        if (literal->text[i] == quote)
            continue;
        if (seen++ == offset)
            return column(i);
    }
    return column(literal->text.size() - 1);
}

// The predicates of a chain of one logical operator (chain) down to its
// leaves, however it is grouped.
bool TakeChain(const ScriptNode* node, int chain, SearchPredicate* predicates)
{
    if (node->type != chain)
        return TakePredicate(node, predicates);
    return node->Count() == 2 && TakeChain(node->Child(0), chain, predicates) &&
           TakeChain(node->Child(1), chain, predicates);
}

} // namespace

std::string ScriptLogicalExpParser::PlaceOf(const ScriptNode* node, int column)
{
    if (column <= 0)
        column = node->column;
    std::string place = " at line " + std::to_string(node->line);
    if (column > 0)
        place += ", column " + std::to_string(column);
    return place;
}

long long ScriptLogicalExpParser::patternMatchLimit_ = RegexBuilder::kDefaultMatchLimit;

ScriptLogicalExpParser::ScriptLogicalExpParser() = default;

ScriptLogicalExpParser::~ScriptLogicalExpParser() { Free(); }

void ScriptLogicalExpParser::Register() { KxTable::SetSearchExpressionFactory(&Create); }

KxSearchExpression* ScriptLogicalExpParser::Create() { return new (std::nothrow) ScriptLogicalExpParser; }

bool ScriptLogicalExpParser::Construct(const char* expression, bool caseSensitive, bool simpleMode)
{
    parseError.clear();
    patternProblem.clear();
    skipped.clear();
    // Blanks and line ends alone: nothing to search for.
    if (!expression || expression[std::strspn(expression, " \t\r\n")] == '\0') {
        parseError = "the search expression is empty";
        mode = SEARCH_MODE_NONE;
        return false;
    }
    // A longer text would have to be cut, and a cut expression may mean
    // something else (an unclosed string, a lost operand): refused.
    if (std::strlen(expression) >= sizeof(text)) {
        KxScriptChannel.WarningReport(0, SOURCE, __LINE__, "ScriptLogicalExpParser::Construct",
                                      "Search expression longer than %d characters", int(sizeof(text)) - 1);
        parseError = "the search expression is longer than " + std::to_string(sizeof(text) - 1) + " characters";
        mode = SEARCH_MODE_NONE;
        return false;
    }
    // A new text on a parsed object: the old tree and parser objects go.
    Free();
    std::strcpy(text, expression);
    matchCase = caseSensitive ? 1 : 0;
    mode = simpleMode ? SEARCH_MODE_SIMPLE : SEARCH_MODE_UNDECIDED;
    std::memset(matchSlots, 0, sizeof(matchSlots));
    ClearForm();
    slotsSet_ = false;
    simple_.Set(text, caseSensitive);
    if (KxScriptChannel.Passes(ZmLib::KX_LEVEL_NOTICE))
        KxScriptChannel.Print(0, ZmLib::KX_LEVEL_NOTICE, "ScriptLogicalExpParser::Construct",
                              "ScriptLogicalExpParser expression: %s, matchcase = %d, simplemode = %d", text,
                              int(matchCase), int(simpleMode));
    return true;
}

int ScriptLogicalExpParser::Parse()
{
    if (mode == SEARCH_MODE_NONE || mode == SEARCH_MODE_SIMPLE) {
        if (KxScriptChannel.Passes(ZmLib::KX_LEVEL_NOTICE))
            KxScriptChannel.PrintText(0, ZmLib::KX_LEVEL_NOTICE, "ScriptLogicalExpParser::Parse",
                                      "In simple or none mode, no needing to parse");
        return 0;
    }
    // Parsed already: the objects are built once per text.
    if (mode == SEARCH_MODE_COMPLEX)
        return 0;
    if (PrepareInputParser(MainParser::PrepareStringParser(text)) != 0 || PrepareTree() != 0) {
        mode = SEARCH_MODE_SIMPLE;
        skipped.clear();
        return 1;
    }
    // A plain text is searched whole, with what the lexer skipped in it.
    if (mode == SEARCH_MODE_COMPLEX)
        DescribeForm();
    else
        skipped.clear();
    return 0;
}

void ScriptLogicalExpParser::ClearForm()
{
    form = SEARCH_FORM_OTHER;
    for (SearchPredicate& predicate : predicates)
        predicate = SearchPredicate();
}

void ScriptLogicalExpParser::DescribeForm()
{
    const ScriptNode* root = tree_.Root();
    const int chain = root->type == LE_AND || root->type == LE_OR ? root->type : 0;
    if (!TakeChain(root, chain, predicates)) {
        ClearForm();
        return;
    }
    form = chain == LE_AND ? SEARCH_FORM_AND : chain == LE_OR ? SEARCH_FORM_OR : SEARCH_FORM_SINGLE;
}

int ScriptLogicalExpParser::PrepareInputParser(pANTLR3_INPUT_STREAM input)
{
    const char* function = "ScriptLogicalExpParser::PrepareInputParser";
    if (!input) {
        KxScriptChannel.WarningReport(0, SOURCE, __LINE__, function, "Input stream error");
        return 1;
    }
    input_ = input;
    lexer_ = LogicalExpLexerNew(input_);
    if (!lexer_) {
        KxScriptChannel.WarningReport(0, SOURCE, __LINE__, function,
                                      "Unable to create the lexer due to malloc() failure");
        ReleaseParser();
        return 1;
    }
    tokens_ = antlr3CommonTokenStreamSourceNew(1025, TOKENSOURCE(lexer_));
    if (!tokens_) {
        KxScriptChannel.WarningReport(0, SOURCE, __LINE__, function, "Out of memory trying to allocate token stream");
        ReleaseParser();
        return 1;
    }
    parser_ = LogicalExpParserNew(tokens_);
    if (!parser_) {
        KxScriptChannel.WarningReport(0, SOURCE, __LINE__, function, "Out of memory trying to allocate parser");
        ReleaseParser();
        return 1;
    }
    AntlrRouteErrors(lexer_->pLexer->rec, "expression");
    AntlrSkipUnknownCharacters(lexer_->pLexer);
    AntlrRouteErrors(parser_->pParser->rec, "expression");
    AntlrErrorLog log(tentative);
    pANTLR3_BASE_TREE root = parser_->or_expr(parser_).tree;
    const ANTLR3_UINT32 parserErrors = AntlrErrorCount(parser_->pParser->rec);
    // A character that starts no token is skipped and the expression runs
    // without it; a string or a comment left open would take the rest of
    // the text with it, and an expression read without that would search
    // for less than was typed.
    const ANTLR3_UINT32 errors = parserErrors + AntlrErrorCount(lexer_->pLexer->rec);
    // The expression must take the whole text: "LEVEL == 2 TID == 5" read
    // up to its first half would search for half of what was typed.
    std::string unexpected;
    pANTLR3_TOKEN_STREAM stream = tokens_->tstream;
    pANTLR3_COMMON_TOKEN next = root && !parserErrors ? stream->_LT(stream, 1) : nullptr;
    if (next && next->getType(next) != ANTLR3_TOKEN_EOF) {
        pANTLR3_STRING rest = next->getText(next);
        char what[160];
        std::snprintf(what, sizeof what, "Unexpected \"%.40s\" after the end of the expression, line %d, column %d",
                      rest && rest->chars ? reinterpret_cast<const char*>(rest->chars) : "", int(next->getLine(next)),
                      int(AntlrColumn(next)) + 1);
        unexpected = what;
    }
    if (errors || !root || !unexpected.empty()) {
        char failed[80];
        std::snprintf(failed, sizeof failed, "The parser returned %d errors, tree walking aborted", int(errors));
        ReportParseFailure(__LINE__, unexpected.empty() ? failed : unexpected.c_str());
        parseError = ErrorsText(log.Errors());
        if (!unexpected.empty())
            parseError += (parseError.empty() ? "" : "\n") + unexpected;
        ReleaseParser();
        return 1;
    }
    skipped = ErrorsText(log.Errors(), true);
    tree_.Build(root, LE_STRINGS, LE_COMA_STRINGS);
    return 0;
}

void ScriptLogicalExpParser::ReportParseFailure(int line, const char* text) const
{
    const char* function = "ScriptLogicalExpParser::PrepareInputParser";
    if (tentative)
        KxScriptChannel.PrintText(0, ZmLib::KX_LEVEL_NOTICE, function, text);
    else
        KxScriptChannel.WarningReport(0, SOURCE, uint32_t(line), function, "%s", text);
}

void ScriptLogicalExpParser::ReleaseParser()
{
    if (parser_)
        parser_->free(parser_);
    if (tokens_)
        tokens_->free(tokens_);
    if (lexer_)
        lexer_->free(lexer_);
    if (input_)
        input_->close(input_);
    parser_ = nullptr;
    tokens_ = nullptr;
    lexer_ = nullptr;
    input_ = nullptr;
}

void ScriptLogicalExpParser::Free()
{
    infos_.clear();
    literals_.clear();
    tree_.Clear();
    ReleaseParser();
}

void ScriptLogicalExpParser::ClearSlots()
{
    if (slotsSet_)
        std::memset(matchSlots, 0, sizeof(matchSlots));
    slotsSet_ = false;
}

void ScriptLogicalExpParser::SetSlot(int32_t field, int32_t kind, const char* slotText)
{
    matchSlots[field] = SearchMatchSlot{kind, slotText, 1};
    slotsSet_ = true;
}

bool ScriptLogicalExpParser::Match(KxdRecord* record)
{
    if (mode < SEARCH_MODE_SIMPLE) {
        if (KxScriptChannel.Passes(ZmLib::KX_LEVEL_INFO))
            KxScriptChannel.Print(0, ZmLib::KX_LEVEL_INFO, "ScriptLogicalExpParser::Match",
                                  "FiTree::Match: Expression was not set correctly Mode = %d", int(mode));
        return false;
    }
    ClearSlots();
    if (mode == SEARCH_MODE_COMPLEX && tree_.Root()) {
        record_ = record;
        lastResult = 0;
        stackCount_ = 0;
        try {
            MainCycle(tree_.Root());
            if (stackCount_ == 1) {
                const ScriptValue v = Pop();
                lastResult = (v.type == SCRIPT_DOUBLE ? v.Double() > 0.0 : v.Int() > 0) ? 1 : 0;
            }
            return lastResult != 0;
        } catch (const ScriptError& error) {
            // The record is tested by the plain search; what the failed
            // evaluation highlighted does not belong to that answer.
            ClearSlots();
            NoteEvalError(error.what());
        }
    }
    return SimpleMatch(record);
}

void ScriptLogicalExpParser::NoteEvalError(const char* what)
{
    // The same failure mostly repeats on every record: told once a round.
    if (!evalError.empty())
        return;
    evalError = what;
    KxScriptChannel.WarningReport(0, SOURCE, __LINE__, "ScriptLogicalExpParser::Match",
                                  "%s; records on which the expression fails are searched for its text", what);
}

bool ScriptLogicalExpParser::SimpleMatch(KxdRecord* record)
{
    if (!simple_.MayHold(*record))
        return false;
    const size_t length = std::strlen(text);
    bool found = false;
    for (int32_t field : simple_.Fields()) {
        const char* hit = simple_.Find(record->Text(field));
        if (!hit)
            continue;
        char* copy = ZmLib::StrBase::TempBuffer();
        std::memcpy(copy, hit, length);
        copy[length] = '\0';
        SetSlot(field, SEARCH_SLOT_SUBSTRING, copy);
        found = true;
    }
    return found;
}

bool ScriptLogicalExpParser::Holds(const KxdRecord& record) const
{
    return mode == SEARCH_MODE_SIMPLE && simple_.Holds(record);
}

int ScriptLogicalExpParser::PrepareTree()
{
    predicateCount = 0;
    ScriptNode* root = tree_.Root();
    ScriptTracer::PrintTreeInfo(root, 0);
    try {
        PrepareNode(root, 0);
    } catch (const ScriptError& error) {
        parseError = error.what();
        return 1;
    }
    mode = predicateCount ? SEARCH_MODE_COMPLEX : SEARCH_MODE_SIMPLE;
    // Why a complex search refuses the text: it is searched as plain text.
    if (!predicateCount)
        parseError = "nothing is compared: a complex expression needs a comparison, as in TEXT ~ \"word\"";
    return 0;
}

SearchNodeInfo* ScriptLogicalExpParser::InfoOf(ScriptNode* node)
{
    if (node->user)
        return static_cast<SearchNodeInfo*>(node->user);
    if (int(infos_.size()) >= MAX_NODE_INFOS)
        MakeError("Allocation overflow");
    infos_.push_back(std::make_unique<SearchNodeInfo>());
    node->user = infos_.back().get();
    return infos_.back().get();
}

void ScriptLogicalExpParser::PrepareNumber(ScriptNode* node)
{
    ScriptValue value;
    if (!ScriptOperations::ReadNumber(node->text.c_str(), value))
        return;
    literals_.push_back(value);
    node->user = &literals_.back();
}

void ScriptLogicalExpParser::PrepareNode(ScriptNode* node, int depth)
{
    if (node->line)
        line_ = node->line;
    switch (node->type) {
    case LE_AND:
    case LE_OR:
    case LE_EQUAL:
    case LE_NOT_EQUAL:
    case LE_GREATER:
    case LE_GREATER_OR_EQUAL:
    case LE_LESS:
    case LE_LESS_OR_EQUAL:
    case LE_SUBST:
    case LE_WILDCMP:
        ++predicateCount;
        break;
    case LE_REGEXP: {
        ++predicateCount;
        if (node->Count() != 2)
            MakeError("Error arguments count");
        SearchNodeInfo* info = InfoOf(node);
        ScriptNode* pattern = node->Child(1);
        if (pattern->type != LE_STRINGS && pattern->type != LE_COMA_STRINGS)
            MakeError("Regular expression must be string constant");
        info->pattern = std::make_unique<RegexBuilder>(pattern->literal.c_str(), 0);
        info->pattern->SetMatchLimit(patternMatchLimit_);
        // The dialect reads an unbalanced bracket somehow, and such a pattern
        // mostly matches nothing the user meant: an expression asked for as
        // one is refused with the place. A text that may as well be plain
        // keeps the dialect's reading, and why it would be refused.
        if (info->pattern->GetProblem()) {
            const char quote = pattern->type == LE_STRINGS ? '"' : '\'';
            const int column = ColumnInLiteral(pattern, info->pattern->GetProblemOffset(), quote);
            const std::string problem = std::string(info->pattern->GetProblem()) + " in the regular expression " +
                                        pattern->text + PlaceOf(pattern, column);
            if (!tentative)
                throw ScriptError(problem);
            if (patternProblem.empty())
                patternProblem = problem;
        }
        break;
    }
    case LE_NUMBER:
        PrepareNumber(node);
        break;
    case LE_IDENT: {
        const int32_t field = FieldIndexByKey(node->text.c_str());
        if (field < 0)
            break;
        fieldNamed[field] = 1;
        SearchNodeInfo* info = InfoOf(node);
        info->field = field;
        info->operand = nullptr;
        if (node->parent) {
            SearchNodeInfo* parent = InfoOf(node->parent);
            parent->field = field;
            parent->operand = node;
        }
        break;
    }
    default:
        break;
    }
    for (ScriptNode* child : node->children) {
        ScriptTracer::PrintTreeInfo(child, depth + 1);
        PrepareNode(child, depth + 1);
    }
}
