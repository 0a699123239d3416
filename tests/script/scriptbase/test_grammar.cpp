#include <cstddef>
#include <fstream>
#include <set>

#include "test_grammar_fixture.h"

using grammartest::ChannelCapture;
using grammartest::ParseToTree;
using grammartest::Reports;
using grammartest::TokenNames;

namespace {

// Every visible token as TYPE:text, and the lexer's error count.
struct Lexed {
    std::string tokens;
    ANTLR3_UINT32 errors = 0;
};

Lexed Lex(const std::string& text)
{
    Lexed out;
    pANTLR3_INPUT_STREAM input = MainParser::PrepareStringParser(text.c_str());
    pKxScriptLexer lexer = KxScriptLexerNew(input);
    AntlrRouteErrors(lexer->pLexer->rec, "script");
    pANTLR3_TOKEN_SOURCE source = TOKENSOURCE(lexer);
    for (;;) {
        pANTLR3_COMMON_TOKEN token = source->nextToken(source);
        if (token->getType(token) == ANTLR3_TOKEN_EOF)
            break;
        if (token->getChannel(token) == HIDDEN)
            continue;
        pANTLR3_STRING spelling = token->getText(token);
        if (!out.tokens.empty())
            out.tokens += ' ';
        out.tokens += TokenNames().at(token->getType(token)) + ":" +
                      std::string(reinterpret_cast<const char*>(spelling->chars), spelling->len);
    }
    out.errors = AntlrErrorCount(lexer->pLexer->rec);
    lexer->free(lexer);
    input->close(input);
    return out;
}

} // namespace

TEST(KxScriptTokens, GeneratedNumberingIsTheInterpretersNumbering)
{
    std::ifstream file(KXSCRIPT_TOKENS_FILE);
    ASSERT_TRUE(file.is_open()) << KXSCRIPT_TOKENS_FILE;
    std::set<int> seen;
    std::string line;
    while (std::getline(file, line)) {
        size_t eq = line.rfind('=');
        ASSERT_NE(eq, std::string::npos) << line;
        std::string name = line.substr(0, eq);
        int type = std::stoi(line.substr(eq + 1));
        // The tool also lists each literal under a generated alias.
        if (name.rfind("T__", 0) == 0) {
            EXPECT_EQ(name, "T__" + std::to_string(type));
            continue;
        }
        ASSERT_GE(type, 4) << line;
        ASSERT_LT(type, int(TokenNames().size())) << line;
        EXPECT_EQ(name, TokenNames()[size_t(type)]) << line;
        EXPECT_TRUE(seen.insert(type).second) << line;
    }
    EXPECT_EQ(seen.size(), TokenNames().size() - 4);
}

TEST(KxScriptTokens, ParserInstallsTheNameTable)
{
    ScriptParseObjects objects;
    ASSERT_EQ(MainParser::ParseInput(MainParser::PrepareStringParser("x = 1;"), &objects), 0);
    pANTLR3_UINT8* names = objects.parser->pParser->rec->state->tokenNames;
    for (size_t i = 0; i < TokenNames().size(); ++i)
        EXPECT_STREQ(reinterpret_cast<const char*>(names[i]), TokenNames()[i].c_str()) << i;
    EXPECT_STREQ(reinterpret_cast<const char*>(objects.parser->getGrammarFileName()), "KxScript.g");
    MainParser::FreeObjects(&objects);
}

// The interpreter and the documentation name the rules by their position.
TEST(KxScriptTokens, RulesStandInGrammarOrder)
{
#define R(rule) offsetof(KxScriptParser, rule)
    const size_t offsets[] = {
        R(program), R(stmt), R(function_def), R(functionHeader), R(declarator), R(func_parameter), R(param_kind),
        R(if_stmt), R(for_stmt), R(while_stmt), R(do_stmt), R(for_third), R(block), R(assign_or_var),
        R(simple_stmt), R(inc_dec), R(plus_plus_pref), R(minus_minus_pref), R(plus_plus_post),
        R(minus_minus_post), R(pause_stmt), R(exit_stmt), R(label_stmt), R(goto_stmt), R(var_stmt), R(undef_stmt),
        R(return_stmt), R(assignment), R(array_assign), R(assign_types), R(func_call), R(milli_call),
        R(second_call), R(time_call), R(date_call), R(datetime_call), R(ipaddr_call), R(float_call), R(int_call),
        R(tostring_call), R(fix_call), R(free_call), R(defined_call), R(print_call), R(debug_call), R(user_call),
        R(array_size_call), R(var_decl), R(ident_and_array), R(array_tail), R(ident_and_empty_array),
        R(empty_array_tail), R(expression), R(add_expression), R(mul_expression), R(unary_expression), R(atom),
        R(simple_expression), R(simple_add_expression), R(simple_mul_expression), R(simple_unary), R(simple_atom),
        R(getGrammarFileName),
    };
#undef R
    static_assert(std::size(offsets) == 62 + 1);
    EXPECT_EQ(offsets[0], offsetof(KxScriptParser, pParser) + sizeof(void*));
    for (size_t i = 1; i < std::size(offsets); ++i)
        EXPECT_EQ(offsets[i], offsets[i - 1] + sizeof(void*)) << i;
}

TEST(KxScriptLexer, Tokens)
{
    const struct {
        const char* text;
        const char* tokens;
    } cases[] = {
        {"x.y.z $1 _a9", "IDENT:x.y.z IDENT:$1 IDENT:_a9"},
        {"1x", "NUMBER:1 IDENT:x"},
        {"1.2.3.4 1.5 12", "NUMBER:1.2.3.4 NUMBER:1.5 NUMBER:12"},
        {"0x1F 0x1f", "NUMBER:0x1F NUMBER:0x1f"},
        {"0X1F", "NUMBER:0 IDENT:X1F"},
        // The whole text reaches the interpreter, which converts it in 64 bits.
        {"18446744073709551615 0xFFFFFFFFFFFFFFFF 255.255.255.255",
         "NUMBER:18446744073709551615 NUMBER:0xFFFFFFFFFFFFFFFF NUMBER:255.255.255.255"},
        {"a<=b", "IDENT:a LESS_OR_EQUAL:<= IDENT:b"},
        {"a< =b", "IDENT:a LESS:< ONLY_EQUAL:= IDENT:b"},
        {"a~~b a=~b a~b", "IDENT:a WILDCMP:~~ IDENT:b IDENT:a REGEXP:=~ IDENT:b IDENT:a SUBST:~ IDENT:b"},
        {"a--b", "IDENT:a MINIS_MINUS:-- IDENT:b"},
        {"&& || & | == != > >= < <=",
         "AND:&& OR:|| BIT_AND:& BIT_OR:| EQUAL:== NOT_EQUAL:!= GREATER:> GREATER_OR_EQUAL:>= LESS:< "
         "LESS_OR_EQUAL:<="},
        {"= += -= *= /= %= + - * / % ^ ++",
         "ONLY_EQUAL:= EQ_PLUS:+= EQ_MINUS:-= EQ_MUL:*= EQ_DIV:/= EQ_MOD:%= ONLY_PLUS:+ ONLY_MINUS:- ONLY_MUL:* "
         "ONLY_DIV:/ ONLY_MOD:% ONLY_POWER:^ PLUS_PLUS:++"},
        {". :: ... ?", "ONLY_DOT:. TWO_COM::: PARAM_MULTI:... QUESTION_MARK:?"},
        {"IN OUT IN/OUT in", "PARAM_IN:IN PARAM_OUT:OUT PARAM_IN_OUT:IN/OUT IDENT:in"},
        {"! ( ) , : ; [ ] { }", "'!':! '(':( ')':) ',':, ':':: ';':; '[':[ ']':] '{':{ '}':}"},
        {"do done do.x", "'do':do IDENT:done IDENT:do.x"},
        {"array_size date datetime debug defined else exit fix float for free function goto if int ipaddr",
         "'array_size':array_size 'date':date 'datetime':datetime 'debug':debug 'defined':defined 'else':else "
         "'exit':exit 'fix':fix 'float':float 'for':for 'free':free 'function':function 'goto':goto 'if':if "
         "'int':int 'ipaddr':ipaddr"},
        {"milli pause print return second time tostring undef var while",
         "'milli':milli 'pause':pause 'print':print 'return':return 'second':second 'time':time "
         "'tostring':tostring 'undef':undef 'var':var 'while':while"},
        {"\"a\nb\" 'c\"d'", "STRINGS:\"a\nb\" COMA_STRINGS:'c\"d'"},
        {"'it''s'", "COMA_STRINGS:'it' COMA_STRINGS:'s'"},
        {"a /* x\n y */ b // c\r\n\td\r\n", "IDENT:a IDENT:b IDENT:d"},
        {"a // the last line has no line end", "IDENT:a"},
        {"//", ""},
    };
    for (const auto& c : cases) {
        Lexed lexed = Lex(c.text);
        EXPECT_EQ(lexed.tokens, c.tokens) << c.text;
        EXPECT_EQ(lexed.errors, 0u) << c.text;
    }
}

TEST_F(ChannelCapture, LexicalErrorsAreCountedAndReportedWithTheirLine)
{
    const struct {
        const char* text;
        unsigned errors;
        const char* report;
    } cases[] = {
        {"a #", 1, "KxScriptString(1) : unexpected character '#' at line 1, column 3"},
        {"x = 1;\ny = 2 #;", 1, "KxScriptString(2) : unexpected character '#' at line 2, column 7"},
        {"a\rb", 1, "KxScriptString(1) : unexpected character 'b' at line 1, column 3"},
        {"\n\"open", 1, "KxScriptString(2) : unterminated string at line 2, column 1"},
        {"/* open", 1, "KxScriptString(1) : unterminated comment at line 1, column 1"},
        {"# @", 2,
         "KxScriptString(1) : unexpected character '#' at line 1, column 1\n"
         "KxScriptString(1) : unexpected character '@' at line 1, column 3"},
    };
    for (const auto& c : cases) {
        Reports().clear();
        Lexed lexed = Lex(c.text);
        EXPECT_EQ(lexed.errors, c.errors) << c.text;
        std::vector<std::string> antlr = Texts("ANTLR");
        ASSERT_EQ(antlr.size(), c.errors) << c.text;
        std::string all;
        for (const std::string& t : antlr)
            all += (all.empty() ? "" : "\n") + t;
        EXPECT_EQ(all, c.report) << c.text;
        for (const grammartest::Report& r : Reports())
            EXPECT_EQ(r.level, ZmLib::KX_LEVEL_WARNING);
    }
}

TEST(KxScriptGrammar, TreeShapes)
{
    const struct {
        const char* script;
        const char* tree;
    } cases[] = {
        {"x = -y; x = !(-3); x = ((a));",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (UNARY (IDENT_STMT y))) (STMT_ASSIGN (IDENT_STMT x) = (NOT (UNARY 3))) "
         "(STMT_ASSIGN (IDENT_STMT x) = (IDENT_STMT a)))"},
        {"x += 1; x -= 1; x *= 1; x /= 1; x %= 1;",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) += 1) (STMT_ASSIGN (IDENT_STMT x) -= 1) "
         "(STMT_ASSIGN (IDENT_STMT x) *= 1) (STMT_ASSIGN (IDENT_STMT x) /= 1) (STMT_ASSIGN (IDENT_STMT x) %= 1))"},
        {"var a = {1, 2}; var a[10], b; var a[];",
         "(PROGRAM (STMT_VAR (STMT_ARRAY_ASSIGN a 1 2)) (STMT_VAR (IDENT_STMT a (ARRAY_STMT 10)) (IDENT_STMT b)) "
         "(STMT_VAR (IDENT_STMT a ARRAY_STMT)))"},
        {"var a[3] = 5; var a[] = b;",
         "(PROGRAM (STMT_VAR (STMT_ASSIGN (IDENT_STMT a (ARRAY_STMT 3)) = 5)) (STMT_VAR (STMT_ASSIGN (IDENT_STMT a "
         "ARRAY_STMT) = (IDENT_STMT b))))"},
        {"var a[i] = 1, b += 2, c = 'x';",
         "(PROGRAM (STMT_VAR (STMT_ASSIGN (IDENT_STMT a (ARRAY_STMT i)) = 1) (STMT_ASSIGN (IDENT_STMT b) += 2) "
         "(STMT_ASSIGN (IDENT_STMT c) = 'x')))"},
        {"var a[2 * n] = 1;",
         "(PROGRAM (STMT_VAR (STMT_ASSIGN (IDENT_STMT a (ARRAY_STMT (* 2 n))) = 1)))"},
        {"a[i + 1] = 0; a[] = 0; x = a[i];",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT a (ARRAY_STMT (+ i 1))) = 0) (STMT_ASSIGN (IDENT_STMT a ARRAY_STMT) = 0) "
         "(STMT_ASSIGN (IDENT_STMT x) = (IDENT_STMT a (ARRAY_STMT i))))"},
        {"a[-(i)] = !b[!i];",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT a (ARRAY_STMT (UNARY i))) = (NOT (IDENT_STMT b (ARRAY_STMT (NOT i))))))"},
        // Precedence: AND, +, - and ^ share a level looser than the comparisons.
        {"x = a < b + 1; x = a + b == c; x = a - b - c;",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (+ (< (IDENT_STMT a) (IDENT_STMT b)) 1)) (STMT_ASSIGN (IDENT_STMT x) = "
         "(+ (IDENT_STMT a) (== (IDENT_STMT b) (IDENT_STMT c)))) (STMT_ASSIGN (IDENT_STMT x) = (- (- (IDENT_STMT a) "
         "(IDENT_STMT b)) (IDENT_STMT c))))"},
        {"x = 2 * 3 ^ 2; x = -2 ^ 2;",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (^ (* 2 3) 2)) (STMT_ASSIGN (IDENT_STMT x) = (^ (UNARY 2) 2)))"},
        {"x = !a == b; x = a || b && c; x = 1 == 2 && 3 || 4;",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (== (NOT (IDENT_STMT a)) (IDENT_STMT b))) (STMT_ASSIGN (IDENT_STMT x) = "
         "(|| (IDENT_STMT a) (&& (IDENT_STMT b) (IDENT_STMT c)))) (STMT_ASSIGN (IDENT_STMT x) = (|| (&& (== 1 2) 3) 4)))"},
        {"x = 1 & 2 | 3 % 4 / 5 != 6 >= 7 <= 8 > 9 =~ \"r\" ~ 'p' ~~ 'w' * 0;",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (* (~~ (~ (=~ (> (<= (>= (!= (/ (% (| (& 1 2) 3) 4) 5) 6) 7) 8) 9) "
         "\"r\") 'p') 'w') 0)))"},
        {"x = 0x7FFFFFFFFFFFFFFF + 192.168.0.1 + 1.5;",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (+ (+ 0x7FFFFFFFFFFFFFFF 192.168.0.1) 1.5)))"},
        {"do { } while (done); while (x) { x--; }",
         "(PROGRAM (DO_CYCLE (IDENT_STMT done) BLOCK) (WHILE_CYCLE (IDENT_STMT x) (BLOCK (STMT_MINUS_MINUS_POST x))))"},
        {"print(1); debug(x, 1); L: goto L; exit; pause; undef a, b; return; return 1;",
         "(PROGRAM (STMT_PRINT 1) (STMT_DEBUG (IDENT_STMT x) 1) (STMT_LABEL L) (STMT_GOTO L) STMT_EXIT STMT_PAUSE "
         "(STMT_UNDEF a b) STMT_RETURN (STMT_RETURN 1))"},
        {"if (a < b) { } else { } if (a) { if (b) { } }",
         "(PROGRAM (IF_COND (< (IDENT_STMT a) (IDENT_STMT b)) BLOCK BLOCK) (IF_COND (IDENT_STMT a) (BLOCK (IF_COND "
         "(IDENT_STMT b) BLOCK))))"},
        {"for (var i = 0; i < 3; i++) { }",
         "(PROGRAM (FOR_CYCLE (STMT_VAR (STMT_ASSIGN (IDENT_STMT i) = 0)) (< (IDENT_STMT i) 3) "
         "(STMT_PLUS_PLUS_POST i) BLOCK))"},
        {"for (i = 0; i; i += 2) { f(); }",
         "(PROGRAM (FOR_CYCLE (STMT_ASSIGN (IDENT_STMT i) = 0) (IDENT_STMT i) (STMT_ASSIGN (IDENT_STMT i) += 2) "
         "(BLOCK (USER_CALL f))))"},
        {"for (var i = 0, j; i; --i) { }",
         "(PROGRAM (FOR_CYCLE (STMT_VAR (STMT_ASSIGN (IDENT_STMT i) = 0) (IDENT_STMT j)) (IDENT_STMT i) "
         "(STMT_MINUS_MINUS_PREF i) BLOCK))"},
        {"function f(a, IN b, OUT c, IN/OUT d, ...) { return a; }",
         "(PROGRAM (FUNC_DEF (FUNC_HDR f (FUNC_VAR_DECL a) (FUNC_VAR_DECL IN b) (FUNC_VAR_DECL OUT c) "
         "(FUNC_VAR_DECL IN/OUT d) (FUNC_VAR_DECL ...)) (BLOCK (STMT_RETURN (IDENT_STMT a)))))"},
        {"function g(..., a) { return; } function h() { }",
         "(PROGRAM (FUNC_DEF (FUNC_HDR g (FUNC_VAR_DECL ...) (FUNC_VAR_DECL a)) (BLOCK STMT_RETURN)) (FUNC_DEF (FUNC_HDR "
         "h) BLOCK))"},
        {"++a; --a; a++; a--;",
         "(PROGRAM (STMT_PLUS_PLUS_PREF a) (STMT_MINUS_MINUS_PREF a) (STMT_PLUS_PLUS_POST a) "
         "(STMT_MINUS_MINUS_POST a))"},
        // An increment needs no semicolon before a statement, '}' or the end.
        {"a++ b = 1; { --b } c--", "(PROGRAM (STMT_PLUS_PLUS_POST a) (STMT_ASSIGN (IDENT_STMT b) = 1) "
                                   "(BLOCK (STMT_MINUS_MINUS_PREF b)) (STMT_MINUS_MINUS_POST c))"},
        {"x = gui.print(\"a\", 'b'); f(); x = tostring(a, 16); x = f(g(1), -h());",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (USER_CALL gui.print \"a\" 'b')) (USER_CALL f) (STMT_ASSIGN (IDENT_STMT "
         "x) = (GF_TOSTRING (IDENT_STMT a) 16)) (STMT_ASSIGN (IDENT_STMT x) = (USER_CALL f (USER_CALL g 1) (UNARY "
         "(USER_CALL h)))))"},
        {"x = milli(1) + second(2) + time(3) + date(4) + datetime(5) + ipaddr(6) + float(7) + int(8);",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (+ (+ (+ (+ (+ (+ (+ (GF_MILLI 1) (GF_SECOND 2)) (GF_TIME 3)) "
         "(GF_DATE 4)) (GF_DATETIME 5)) (GF_IPADDR 6)) (GF_DOUBLE 7)) (GF_INT 8))))"},
        {"x = fix(s); free(s); x = defined(s); x = array_size(a); int(1);",
         "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = (STMT_FIX (IDENT_STMT s))) (STMT_FREE (IDENT_STMT s)) "
         "(STMT_ASSIGN (IDENT_STMT x) = (STMT_DEFINED (IDENT_STMT s))) "
         "(STMT_ASSIGN (IDENT_STMT x) = (ARRAY_SIZE a)) (GF_INT 1))"},
        {"x = 1; // the last line has no line end", "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = 1))"},
        {"x = 1;\r\n/* c */\r\n", "(PROGRAM (STMT_ASSIGN (IDENT_STMT x) = 1))"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseToTree(c.script), c.tree) << c.script;
}

TEST(KxScriptGrammar, ImaginaryNodesTakeTheLineOfTheirFirstToken)
{
    ScriptParseObjects objects;
    ASSERT_EQ(MainParser::ParseInput(MainParser::PrepareStringParser("\n\nif (a\n< b) {\n}\n"), &objects), 0);
    auto ifNode = static_cast<pANTLR3_BASE_TREE>(objects.tree->getChild(objects.tree, 0));
    EXPECT_EQ(ifNode->getType(ifNode), ANTLR3_UINT32(IF_COND));
    // The comparison operator is the first token node down the first children.
    EXPECT_EQ(ifNode->getLine(ifNode), 4u);
    MainParser::FreeObjects(&objects);
}

TEST_F(ChannelCapture, SyntaxErrorsRefuseTheScriptWithTheirLine)
{
    const struct {
        const char* script;
        const char* report;
    } cases[] = {
        {"", "KxScriptString(1) : unexpected end of script at line 1, column 1"},
        {"}", "KxScriptString(1) : unexpected '}' at line 1, column 1"},
        // A stray token after a statement is an error, not a quiet end of the script.
        {"if (a) { }\n;\nx = 1;", "KxScriptString(2) : unexpected ';' at line 2, column 1"},
        {"while (a) { };", "KxScriptString(1) : unexpected ';' at line 1, column 14, expected the end of the script"},
        {"x = 1;\n}\ny = 2;", "KxScriptString(2) : unexpected '}' at line 2, column 1"},
        {"x = 1; else { }", "KxScriptString(1) : unexpected 'else' at line 1, column 8"},
        // One prefix operator per atom.
        {"x = !-3;", "KxScriptString(1) : unexpected '-' at line 1, column 6"},
        {"x = --3;", "KxScriptString(1) : unexpected '--' at line 1, column 5"},
        {"x = a ? b : c;", "KxScriptString(1) : unexpected 'a' at line 1, column 5"},
        {"x = a::b;", "KxScriptString(1) : unexpected 'a' at line 1, column 5"},
        {"x = a . b;", "KxScriptString(1) : unexpected 'a' at line 1, column 5"},
        {"if (a) x = 1;", "KxScriptString(1) : unexpected 'x' at line 1, column 8, expected '{'"},
        {"if (a) { } else if (b) { }", "KxScriptString(1) : unexpected 'if' at line 1, column 17, expected '{'"},
        {"while (a) x++;", "KxScriptString(1) : unexpected 'x' at line 1, column 11, expected '{'"},
        {"for (; i < 3; i++) { }", "KxScriptString(1) : unexpected ';' at line 1, column 6"},
        {"for (i = 0; ; i++) { }", "KxScriptString(1) : unexpected ';' at line 1, column 13"},
        {"for (i = 0; i < 3; f()) { }", "KxScriptString(1) : unexpected 'f' at line 1, column 20"},
        {"a = {1, 2};", "KxScriptString(1) : unexpected '{' at line 1, column 5"},
        {"var a = {};", "KxScriptString(1) : unexpected '}' at line 1, column 10"},
        {"x = tostring(a);", "KxScriptString(1) : unexpected ')' at line 1, column 15"},
        {"print();", "KxScriptString(1) : unexpected ')' at line 1, column 7"},
        {"debug();", "KxScriptString(1) : unexpected ')' at line 1, column 7"},
        {"a[f(1)] = 0;", "KxScriptString(1) : unexpected '(' at line 1, column 4, expected ']'"},
        {"a[b[1]] = 0;", "KxScriptString(1) : unexpected '[' at line 1, column 4, expected ']'"},
        {"a[1][2] = 0;", "KxScriptString(1) : unexpected '[' at line 1, column 5"},
        {"x = y++;", "KxScriptString(1) : unexpected 'y' at line 1, column 5"},
        {"a++ else", "KxScriptString(1) : unexpected 'a' at line 1, column 1"},
        {"x = 1\n\n", "KxScriptString(1) : unexpected end of script at line 1, column 6, expected ';'"},
        {"goto L", "KxScriptString(1) : unexpected end of script at line 1, column 7, expected ';'"},
        {"exit", "KxScriptString(1) : unexpected end of script at line 1, column 5, expected ';'"},
        {"do { } while (a)", "KxScriptString(1) : unexpected end of script at line 1, column 17"},
        {"f()", "KxScriptString(1) : unexpected end of script at line 1, column 4"},
        {"x = array_size(a[1]);", "KxScriptString(1) : unexpected '[' at line 1, column 17, expected ')'"},
        {"var a[1 + 2];", "KxScriptString(1) : unexpected ';' at line 1, column 13"},
        {"function f(a b) { }", "KxScriptString(1) : unexpected 'b' at line 1, column 14, expected ')'"},
    };
    for (const auto& c : cases) {
        Reports().clear();
        EXPECT_EQ(ParseToTree(c.script), "") << c.script;
        std::vector<std::string> antlr = Texts("ANTLR");
        ASSERT_FALSE(antlr.empty()) << c.script;
        EXPECT_EQ(antlr[0], c.report) << c.script;
        std::vector<std::string> script = Texts("SCRIPT");
        ASSERT_EQ(script.size(), 1u) << c.script;
        EXPECT_EQ(script[0].rfind("The parser returned ", 0), 0u) << script[0];
    }
}

TEST_F(ChannelCapture, ErrorCountsOfLexerAndParserAreAdded)
{
    const struct {
        const char* script;
        int errors;
    } cases[] = {
        {"x = 1;", 0},
        {"x = 1; #", 1},
        {"x = 1 #;", 1},
        {"#\nx = 1;\n#", 2},
        {"x = 1", 1},
        {"x = 1 # ", 2},
        {"x = 1;\ny = ;\nz = 2;\nw = ;", 2},
    };
    for (const auto& c : cases) {
        Reports().clear();
        EXPECT_EQ(ParseToTree(c.script).empty(), c.errors != 0) << c.script;
        std::vector<std::string> script;
        if (c.errors)
            script.push_back("The parser returned " + std::to_string(c.errors) + " errors, tree walking aborted");
        EXPECT_EQ(Texts("SCRIPT"), script) << c.script;
        EXPECT_EQ(Texts("ANTLR").size(), size_t(c.errors)) << c.script;
    }
}

TEST_F(ChannelCapture, NestingAndTreeDepthAreBoundedInsteadOfOverflowingTheStack)
{
    const int limit = KXSCRIPT_MAX_NESTING;
    auto repeat = [](const std::string& piece, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += piece;
        return s;
    };
    auto parens = [&](int n) { return "x = " + repeat("(", n) + "1" + repeat(")", n) + ";"; };
    auto blocks = [&](int n) { return repeat("{", n) + repeat("}", n); };
    auto index = [&](int n) { return "a[" + repeat("(", n) + "1" + repeat(")", n) + "] = 1;"; };
    auto chain = [&](int n) { return "x = 1" + repeat(" + 1", n) + ";"; };
    // The atom around the innermost literal counts as one level.
    EXPECT_NE(ParseToTree(parens(limit - 1)), "");
    EXPECT_EQ(ParseToTree(parens(limit)), "");
    EXPECT_NE(ParseToTree(blocks(limit)), "");
    EXPECT_EQ(ParseToTree(blocks(limit + 1)), "");
    EXPECT_NE(ParseToTree(index(limit - 2)), "");
    EXPECT_EQ(ParseToTree(index(limit)), "");
    Reports().clear();
    for (const std::string& deep : {parens(10000), blocks(10000), index(10000), "x = " + repeat("f(", 10000) +
                                    repeat(")", 10000) + ";", repeat("(", 10000) + repeat("[", 10000) + repeat("{", 10000)})
        EXPECT_EQ(ParseToTree(deep), "");
    std::vector<std::string> antlr = Texts("ANTLR");
    ASSERT_FALSE(antlr.empty());
    EXPECT_NE(antlr[0].find("nesting too deep"), std::string::npos) << antlr[0];

    EXPECT_NE(ParseToTree(chain(500)), "");
    Reports().clear();
    EXPECT_EQ(ParseToTree("\n" + chain(int(KXSCRIPT_MAX_TREE_DEPTH))), "");
    EXPECT_EQ(Texts("ANTLR"), std::vector<std::string>{"KxScriptString(2) : error : syntax tree deeper than 1000 levels"});
    EXPECT_EQ(ParseToTree(chain(100000)), "");
}
