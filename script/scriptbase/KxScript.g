// The script language: lexer and tree-building parser.
// Token numbers are shared with the interpreter, which switches on them. The
// tool numbers the named types in ASCII order of their names and then the
// literals in ASCII order of their spelling, so the set of names below (the
// imaginary ones, the fragments and the lexer rules) fixes every number:
// adding, removing or renaming one renumbers the language.
grammar KxScript;

options {
    language = C;
    output = AST;
    ASTLabelType = pANTLR3_BASE_TREE;
}

// Imaginary node kinds built by the rewrites. COND_EXP and DOUBLE are never
// built; they only hold their places in the numbering.
tokens {
    ARRAY_SIZE;
    ARRAY_STMT;
    BLOCK;
    COND_EXP;
    DOUBLE;
    DO_CYCLE;
    FOR_CYCLE;
    FUNC_DEF;
    FUNC_HDR;
    FUNC_VAR_DECL;
    GF_DATE;
    GF_DATETIME;
    GF_DOUBLE;
    GF_INT;
    GF_IPADDR;
    GF_MILLI;
    GF_SECOND;
    GF_TIME;
    GF_TOSTRING;
    IDENT_STMT;
    IF_COND;
    NOT;
    PROGRAM;
    STMT_ARRAY_ASSIGN;
    STMT_ASSIGN;
    STMT_DEBUG;
    STMT_DEFINED;
    STMT_EXIT;
    STMT_FIX;
    STMT_FREE;
    STMT_GOTO;
    STMT_LABEL;
    STMT_MINUS_MINUS_POST;
    STMT_MINUS_MINUS_PREF;
    STMT_PAUSE;
    STMT_PLUS_PLUS_POST;
    STMT_PLUS_PLUS_PREF;
    STMT_PRINT;
    STMT_RETURN;
    STMT_UNDEF;
    STMT_VAR;
    UNARY;
    USER_CALL;
    WHILE_CYCLE;
}

// Recursive descent recurses once per open bracket: '(' in expressions and
// calls, '[' in indexes, '{' in blocks. Every such cycle passes through block,
// atom or simple_atom, which count their depth and refuse to go deeper than
// the limit, so hostile input cannot overflow the stack. The refusal is a
// failed-predicate error (the only one this grammar raises); the rule then
// recovers as from any syntax error.
@parser::header {
#define KXSCRIPT_MAX_NESTING 256
}

@parser::context {
    ANTLR3_UINT32 nesting;
}

@parser::members {
// The tool's validating predicate does not leave the rule when it fails, so
// the guard raises the error and jumps to the rule's exit itself.
#define NESTING_GUARD(which)                                            \
    if (ctx->nesting > KXSCRIPT_MAX_NESTING) {                          \
        CONSTRUCTEX();                                                  \
        EXCEPTION->type = ANTLR3_FAILED_PREDICATE_EXCEPTION;            \
        EXCEPTION->name = (void *)ANTLR3_FAILED_PREDICATE_NAME;         \
        EXCEPTION->message = (void *)"nesting too deep";                \
        EXCEPTION->ruleName = (void *)#which;                           \
        goto rule##which##Ex;                                           \
    }
}

// ---------------------------------------------------------------- parser

// The whole input must be statements: a stray token after the last one is a
// syntax error with its line, not a silent end of the script.
program
    : stmt+ EOF -> ^(PROGRAM stmt+)
    ;

stmt
    : simple_stmt
    | func_call ';'!
    | inc_dec
    | function_def
    | for_stmt
    | while_stmt
    | do_stmt ';'!
    | block
    | if_stmt
    ;

function_def
    : functionHeader block -> ^(FUNC_DEF functionHeader block)
    ;

functionHeader
    : 'function' IDENT '(' (declarator (',' declarator)*)? ')' -> ^(FUNC_HDR IDENT declarator*)
    ;

declarator
    : func_parameter -> ^(FUNC_VAR_DECL func_parameter)
    ;

func_parameter
    : PARAM_MULTI
    | param_kind IDENT
    | IDENT
    ;

param_kind
    : PARAM_IN
    | PARAM_IN_OUT
    | PARAM_OUT
    ;

if_stmt
    : 'if' '(' expression ')' thenBlock=block ('else' elseBlock=block)?
        -> ^(IF_COND expression $thenBlock $elseBlock?)
    ;

for_stmt
    : 'for' '(' assign_or_var ';' expression ';' for_third ')' block
        -> ^(FOR_CYCLE assign_or_var expression for_third block)
    ;

while_stmt
    : 'while' '(' expression ')' block -> ^(WHILE_CYCLE expression block)
    ;

// The condition comes first in the tree although it is written last.
do_stmt
    : 'do' block 'while' '(' expression ')' -> ^(DO_CYCLE expression block)
    ;

for_third
    : assignment
    | inc_dec
    ;

block
@init { ctx->nesting++; }
    : { NESTING_GUARD(block) } '{' stmt* '}' -> ^(BLOCK stmt*)
    ;
    finally { ctx->nesting--; }

assign_or_var
    : assignment
    | var_stmt
    ;

simple_stmt
    : assignment ';'!
    | return_stmt ';'!
    | var_stmt ';'!
    | goto_stmt ';'!
    | label_stmt
    | exit_stmt ';'!
    | inc_dec ';'!
    | pause_stmt ';'!
    | undef_stmt ';'!
    ;

inc_dec
    : plus_plus_pref
    | minus_minus_pref
    | plus_plus_post
    | minus_minus_post
    ;

plus_plus_pref
    : PLUS_PLUS IDENT -> ^(STMT_PLUS_PLUS_PREF IDENT)
    ;

minus_minus_pref
    : MINIS_MINUS IDENT -> ^(STMT_MINUS_MINUS_PREF IDENT)
    ;

plus_plus_post
    : IDENT PLUS_PLUS -> ^(STMT_PLUS_PLUS_POST IDENT)
    ;

minus_minus_post
    : IDENT MINIS_MINUS -> ^(STMT_MINUS_MINUS_POST IDENT)
    ;

pause_stmt
    : 'pause' -> STMT_PAUSE
    ;

exit_stmt
    : 'exit' -> STMT_EXIT
    ;

label_stmt
    : IDENT ':' -> ^(STMT_LABEL IDENT)
    ;

goto_stmt
    : 'goto' IDENT -> ^(STMT_GOTO IDENT)
    ;

var_stmt
    : 'var' var_decl (',' var_decl)* -> ^(STMT_VAR var_decl+)
    ;

undef_stmt
    : 'undef' IDENT (',' IDENT)* -> ^(STMT_UNDEF IDENT+)
    ;

return_stmt
    : 'return' expression? -> ^(STMT_RETURN expression?)
    ;

assignment
    : ident_and_array assign_types expression -> ^(STMT_ASSIGN ident_and_array assign_types expression)
    ;

array_assign
    : IDENT ONLY_EQUAL '{' expression (',' expression)* '}' -> ^(STMT_ARRAY_ASSIGN IDENT expression+)
    ;

assign_types
    : ONLY_EQUAL
    | EQ_PLUS
    | EQ_MINUS
    | EQ_MUL
    | EQ_DIV
    | EQ_MOD
    ;

func_call
    : user_call
    | milli_call
    | second_call
    | time_call
    | date_call
    | datetime_call
    | ipaddr_call
    | float_call
    | int_call
    | tostring_call
    | fix_call
    | free_call
    | defined_call
    | print_call
    | debug_call
    | array_size_call
    ;

milli_call
    : 'milli' '(' expression ')' -> ^(GF_MILLI expression)
    ;

second_call
    : 'second' '(' expression ')' -> ^(GF_SECOND expression)
    ;

time_call
    : 'time' '(' expression ')' -> ^(GF_TIME expression)
    ;

date_call
    : 'date' '(' expression ')' -> ^(GF_DATE expression)
    ;

datetime_call
    : 'datetime' '(' expression ')' -> ^(GF_DATETIME expression)
    ;

ipaddr_call
    : 'ipaddr' '(' expression ')' -> ^(GF_IPADDR expression)
    ;

float_call
    : 'float' '(' expression ')' -> ^(GF_DOUBLE expression)
    ;

int_call
    : 'int' '(' expression ')' -> ^(GF_INT expression)
    ;

tostring_call
    : 'tostring' '(' expression ',' expression ')' -> ^(GF_TOSTRING expression expression)
    ;

fix_call
    : 'fix' '(' expression ')' -> ^(STMT_FIX expression)
    ;

free_call
    : 'free' '(' expression ')' -> ^(STMT_FREE expression)
    ;

defined_call
    : 'defined' '(' expression ')' -> ^(STMT_DEFINED expression)
    ;

print_call
    : 'print' '(' expression (',' expression)* ')' -> ^(STMT_PRINT expression+)
    ;

debug_call
    : 'debug' '(' expression (',' expression)* ')' -> ^(STMT_DEBUG expression+)
    ;

user_call
    : IDENT '(' (expression (',' expression)*)? ')' -> ^(USER_CALL IDENT expression*)
    ;

array_size_call
    : 'array_size' '(' IDENT ')' -> ^(ARRAY_SIZE IDENT)
    ;

// A sized or bracketed name followed by ',' or ';' is a declaration; with an
// assignment operator after the brackets it is an indexed assignment.
var_decl
    : ident_and_empty_array
    | array_assign
    | assignment
    ;

ident_and_array
    : IDENT array_tail? -> ^(IDENT_STMT IDENT array_tail?)
    ;

array_tail
    : '[' simple_expression? ']' -> ^(ARRAY_STMT simple_expression?)
    ;

ident_and_empty_array
    : IDENT empty_array_tail? -> ^(IDENT_STMT IDENT empty_array_tail?)
    ;

empty_array_tail
    : '[' NUMBER? ']' -> ^(ARRAY_STMT NUMBER?)
    ;

expression
    : add_expression (OR^ add_expression)*
    ;

add_expression
    : mul_expression ((AND | ONLY_MINUS | ONLY_PLUS | ONLY_POWER)^ mul_expression)*
    ;

mul_expression
    : unary_expression
        ((BIT_AND | BIT_OR | EQUAL | GREATER | GREATER_OR_EQUAL | LESS | LESS_OR_EQUAL | NOT_EQUAL
         | ONLY_DIV | ONLY_MOD | ONLY_MUL | REGEXP | SUBST | WILDCMP)^ unary_expression)*
    ;

// At most one prefix operator, applied to an atom: !-3 is a syntax error and
// is written !(-3).
unary_expression
    : ONLY_MINUS atom -> ^(UNARY atom)
    | '!' atom -> ^(NOT atom)
    | atom
    ;

atom
@init { ctx->nesting++; }
    : { NESTING_GUARD(atom) }
        ( func_call
        | ident_and_array
        | NUMBER
        | STRINGS
        | COMA_STRINGS
        | '('! expression ')'!
        )
    ;
    finally { ctx->nesting--; }

// Index expressions: the same levels over bare names and literals only.
simple_expression
    : simple_add_expression (OR^ simple_add_expression)*
    ;

simple_add_expression
    : simple_mul_expression ((AND | ONLY_MINUS | ONLY_PLUS | ONLY_POWER)^ simple_mul_expression)*
    ;

simple_mul_expression
    : simple_unary
        ((BIT_AND | BIT_OR | EQUAL | GREATER | GREATER_OR_EQUAL | LESS | LESS_OR_EQUAL | NOT_EQUAL
         | ONLY_DIV | ONLY_MOD | ONLY_MUL | REGEXP | SUBST | WILDCMP)^ simple_unary)*
    ;

simple_unary
    : ONLY_MINUS simple_atom -> ^(UNARY simple_atom)
    | '!' simple_atom -> ^(NOT simple_atom)
    | simple_atom
    ;

simple_atom
@init { ctx->nesting++; }
    : { NESTING_GUARD(simple_atom) }
        ( IDENT
        | NUMBER
        | STRINGS
        | COMA_STRINGS
        | '('! simple_expression ')'!
        )
    ;
    finally { ctx->nesting--; }

// ---------------------------------------------------------------- lexer

AND : '&&' ;
OR : '||' ;
BIT_AND : '&' ;
BIT_OR : '|' ;
EQUAL : '==' ;
NOT_EQUAL : '!=' ;
GREATER : '>' ;
GREATER_OR_EQUAL : '>=' ;
LESS : '<' ;
LESS_OR_EQUAL : '<=' ;
ONLY_EQUAL : '=' ;
EQ_PLUS : '+=' ;
EQ_MINUS : '-=' ;
EQ_MUL : '*=' ;
EQ_DIV : '/=' ;
EQ_MOD : '%=' ;
ONLY_PLUS : '+' ;
ONLY_MINUS : '-' ;
ONLY_MUL : '*' ;
ONLY_DIV : '/' ;
ONLY_MOD : '%' ;
ONLY_POWER : '^' ;
PLUS_PLUS : '++' ;
MINIS_MINUS : '--' ;
REGEXP : '=~' ;
SUBST : '~' ;
WILDCMP : '~~' ;
ONLY_DOT : '.' ;
TWO_COM : '::' ;
PARAM_MULTI : '...' ;
PARAM_IN : 'IN' ;
PARAM_OUT : 'OUT' ;
PARAM_IN_OUT : 'IN/OUT' ;
// No rule accepts it: the language has no conditional operator.
QUESTION_MARK : '?' ;

IDENT
    : ('$' | 'A'..'Z' | 'a'..'z' | '_') ('A'..'Z' | 'a'..'z' | '0'..'9' | '_' | '.')*
    ;

// The token keeps its whole text (hex digits, every dotted group); the
// interpreter converts it, in 64 bits.
NUMBER
    : '0x' HEX_DIGITS
    | ('0'..'9')+ OTHER_HEX_DIGITS*
    ;

fragment HEX_DIGITS
    : ('0'..'9' | 'a'..'f' | 'A'..'F')+
    ;

// One '.'-separated group of a decimal number or an IPv4 address.
fragment OTHER_HEX_DIGITS
    : '.' ('0'..'9')+
    ;

STRINGS
    : '"' (~'"')* '"'
    ;

COMA_STRINGS
    : '\'' (~'\'')* '\''
    ;

WS
    : (' ' | '\t' | '\n' | '\r\n')+ { $channel = HIDDEN; }
    ;

COMMENT
    : '/*' (options { greedy = false; } : .)* '*/' { $channel = HIDDEN; }
    ;

// The line end is optional so that a comment may end the file.
LINE_COMMENT
    : '//' ~('\r' | '\n')* ('\r'? '\n')? { $channel = HIDDEN; }
    ;
