// The search-expression language: what a user types into the find line or
// the find dialog. Its operator spellings are the script language's; it has
// no statements, variables or assignments.
grammar LogicalExp;

options {
    language = C;
    output = AST;
    ASTLabelType = pANTLR3_BASE_TREE;
}

// Imaginary nodes made by the tree rewrites.
tokens {
    LE_GF_DATE;
    LE_GF_DATETIME;
    LE_GF_DOUBLE;
    LE_GF_INT;
    LE_GF_IPADDR;
    LE_GF_MILLI;
    LE_GF_SECOND;
    LE_GF_TIME;
    LE_GF_TOSTRING;
    LE_NOT;
    LE_STMT_DEBUG;
    LE_STMT_NOT;
    LE_STMT_PRINT;
    LE_UNARY;
    LE_USER_CALL;
}

// The start rule. The evaluator runs or_expr and checks the end of the text
// itself, so that text after a complete expression is refused.
logical_exp
    : expression EOF
    ;

expression
    : or_expr
    ;

or_expr
    : and_expr ( LE_OR^ and_expr )*
    ;

// The levels are not the usual arithmetic ones: '+' binds looser than '>'.
and_expr
    : cmp_expr
      ( ( LE_AND^ | LE_BIT_AND^ | LE_BIT_OR^ | LE_ONLY_MINUS^ | LE_ONLY_PLUS^ | LE_ONLY_POWER^ ) cmp_expr )*
    ;

cmp_expr
    : unary_expr
      ( ( LE_EQUAL^ | LE_GREATER^ | LE_GREATER_OR_EQUAL^ | LE_LESS^ | LE_LESS_OR_EQUAL^ | LE_NOT_EQUAL^
        | LE_ONLY_DIV^ | LE_ONLY_MOD^ | LE_ONLY_MUL^ | LE_REGEXP^ | LE_SUBST^ | LE_WILDCMP^ ) unary_expr )*
    ;

// A prefix operator takes an atom, never another prefix expression.
unary_expr
    : LE_ONLY_MINUS atom -> ^(LE_UNARY atom)
    | '!' atom -> ^(LE_NOT atom)
    | atom
    ;

atom
    : func_call
    | LE_IDENT
    | LE_NUMBER
    | LE_STRINGS
    | LE_COMA_STRINGS
    | '(' expression ')' -> expression
    ;

func_call
    : conv_call
    | tostring_call
    | print_call
    | debug_call
    | user_call
    ;

conv_call
    : 'milli' '(' expression ')' -> ^(LE_GF_MILLI expression)
    | 'second' '(' expression ')' -> ^(LE_GF_SECOND expression)
    | 'time' '(' expression ')' -> ^(LE_GF_TIME expression)
    | 'date' '(' expression ')' -> ^(LE_GF_DATE expression)
    | 'datetime' '(' expression ')' -> ^(LE_GF_DATETIME expression)
    | 'ipaddr' '(' expression ')' -> ^(LE_GF_IPADDR expression)
    | 'float' '(' expression ')' -> ^(LE_GF_DOUBLE expression)
    | 'int' '(' expression ')' -> ^(LE_GF_INT expression)
    ;

tostring_call
    : 'tostring' '(' a=expression ',' b=expression ')' -> ^(LE_GF_TOSTRING $a $b)
    ;

print_call
    : 'gui.print' '(' expression ( ',' expression )* ')' -> ^(LE_STMT_PRINT expression+)
    ;

debug_call
    : 'gui.debug' '(' expression ( ',' expression )* ')' -> ^(LE_STMT_DEBUG expression+)
    ;

user_call
    : LE_IDENT '(' expression ( ',' expression )* ')' -> ^(LE_USER_CALL LE_IDENT expression+)
    ;

LE_AND : '&&' ;
LE_BIT_AND : '&' ;
LE_BIT_OR : '|' ;
LE_COMA_STRINGS : '\'' ( ~'\'' )* '\'' ;
LE_COMMENT : '/*' ( options { greedy = false; } : . )* '*/' { $channel = HIDDEN; } ;
fragment LE_DIGIT : ( '0'..'9' )* ;
fragment LE_DOUBLE : ( '0'..'9' )+ ( '.' LE_DIGIT )* ;
LE_EQUAL : '==' ;
LE_EQ_DIV : '/=' ;
LE_EQ_MINUS : '-=' ;
LE_EQ_MOD : '%=' ;
LE_EQ_MUL : '*=' ;
LE_EQ_PLUS : '+=' ;
LE_GREATER : '>' ;
LE_GREATER_OR_EQUAL : '>=' ;
fragment LE_HEX_DIGITS : '0x' ( '0'..'9' | 'A'..'F' | 'a'..'f' )+ ;
LE_IDENT : ( 'A'..'Z' | 'a'..'z' | '_' ) ( 'A'..'Z' | 'a'..'z' | '_' | '0'..'9' )* ;
LE_LESS : '<' ;
LE_LESS_OR_EQUAL : '<=' ;
// A note at the end of the text needs no line end after it.
LE_LINE_COMMENT : '//' ~( '\n' | '\r' )* ( '\r'? '\n' )? { $channel = HIDDEN; } ;
LE_NOT_EQUAL : '!=' ;
LE_NUMBER : ( '0x' ) => LE_HEX_DIGITS | LE_DOUBLE ;
LE_ONLY_DIV : '/' ;
LE_ONLY_MINUS : '-' ;
LE_ONLY_MOD : '%' ;
LE_ONLY_MUL : '*' ;
LE_ONLY_PLUS : '+' ;
LE_ONLY_POWER : '^' ;
LE_OR : '||' ;
fragment LE_OTHER_HEX_DIGITS : '#' ( '0'..'9' | 'A'..'F' | 'a'..'f' )+ ;
LE_REGEXP : '=~' ;
LE_STRINGS : '"' ( ~'"' )* '"' ;
LE_SUBST : '~' ;
LE_WILDCMP : '~~' ;
// A CR counts only before an LF: a lone one starts no token, and is skipped
// by itself rather than with the blanks before it.
LE_WS : ( ' ' | '\t' | '\n' | { LA(2) == '\n' }?=> '\r\n' )+ { $channel = HIDDEN; } ;
