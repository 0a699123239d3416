#include "script/scriptbase/antlrsupport.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

ZmLib::KX KxAntlrChannel("ANTLR");

namespace {

thread_local AntlrErrorLog* t_errorLog = nullptr;

// Longest piece of a script quoted in one report.
constexpr int QUOTE_MAX = 40;
constexpr int STREAM_NAME_MAX = 200;

// Copies at most QUOTE_MAX bytes of a text, control characters as blanks, so
// that a quoted string with line breaks keeps the report on one line.
void Quote(char* out, size_t size, const ANTLR3_UINT8* text, ANTLR3_UINT32 length)
{
    size_t n = 0;
    for (ANTLR3_UINT32 i = 0; i < length && n + 1 < size && n < size_t(QUOTE_MAX); ++i) {
        unsigned char c = text[i];
        out[n++] = c < 0x20 ? ' ' : char(c);
    }
    out[n] = '\0';
}

// How messages name the whole input ("script", "expression"): set on the
// recognizer by AntlrRouteErrors.
const char* WholeOf(pANTLR3_BASE_RECOGNIZER recognizer)
{
    return static_cast<const char*>(recognizer->state->userp);
}

// The named tokens of both grammars (the search grammar's with "LE_" in
// front) as the user types them; a literal's name is its quoted text already.
const struct {
    const char* name;
    const char* words;
} kTokenWords[] = {
    {"IDENT", "a name"},         {"NUMBER", "a number"},       {"STRINGS", "a string"},
    {"COMA_STRINGS", "a string"}, {"AND", "'&&'"},              {"OR", "'||'"},
    {"BIT_AND", "'&'"},          {"BIT_OR", "'|'"},            {"EQUAL", "'=='"},
    {"NOT_EQUAL", "'!='"},       {"GREATER", "'>'"},           {"GREATER_OR_EQUAL", "'>='"},
    {"LESS", "'<'"},             {"LESS_OR_EQUAL", "'<='"},    {"ONLY_EQUAL", "'='"},
    {"EQ_PLUS", "'+='"},         {"EQ_MINUS", "'-='"},         {"EQ_MUL", "'*='"},
    {"EQ_DIV", "'/='"},          {"EQ_MOD", "'%='"},           {"ONLY_PLUS", "'+'"},
    {"ONLY_MINUS", "'-'"},       {"ONLY_MUL", "'*'"},          {"ONLY_DIV", "'/'"},
    {"ONLY_MOD", "'%'"},         {"ONLY_POWER", "'^'"},        {"PLUS_PLUS", "'++'"},
    {"MINIS_MINUS", "'--'"},     {"REGEXP", "'=~'"},           {"SUBST", "'~'"},
    {"WILDCMP", "'~~'"},         {"ONLY_DOT", "'.'"},          {"TWO_COM", "'::'"},
    {"PARAM_MULTI", "'...'"},    {"PARAM_IN", "'IN'"},         {"PARAM_OUT", "'OUT'"},
    {"PARAM_IN_OUT", "'IN/OUT'"}, {"QUESTION_MARK", "'?'"},
};

// What the parser expected, in words; null when it cannot be told. The end
// of the input is named by the caller.
const char* ExpectedWords(pANTLR3_UINT8* tokenNames, ANTLR3_UINT32 type)
{
    // Expected types come from the generated parser's own tables, never from
    // the input, so they index the name table it installed.
    if (tokenNames == nullptr || type < ANTLR3_MIN_TOKEN_TYPE)
        return nullptr;
    const char* name = reinterpret_cast<const char*>(tokenNames[type]);
    if (name == nullptr || name[0] == '\'')
        return name;
    if (std::strncmp(name, "LE_", 3) == 0)
        name += 3;
    for (const auto& token : kTokenWords)
        if (std::strcmp(token.name, name) == 0)
            return token.words;
    return nullptr;
}

// The column from 0 of a place in an 8-bit input, counted in characters of
// the text itself: the runtime's own count is in bytes, and comes out one
// short after some tokens. The fallback for a place outside the text.
ANTLR3_INT32 ColumnAt(pANTLR3_INPUT_STREAM input, ANTLR3_MARKER place, ANTLR3_INT32 fallback)
{
    if (input == nullptr || input->data == nullptr)
        return fallback;
    const auto* base = static_cast<const ANTLR3_UINT8*>(input->data);
    const auto* at = reinterpret_cast<const ANTLR3_UINT8*>(place);
    if (at < base || at > base + input->size(input))
        return fallback;
    const ANTLR3_UINT8* lineStart = at;
    while (lineStart > base && lineStart[-1] != '\n')
        --lineStart;
    return AntlrCharacters(lineStart, at);
}

void DisplayParserError(pANTLR3_BASE_RECOGNIZER recognizer, pANTLR3_UINT8* tokenNames) noexcept
{
    pANTLR3_EXCEPTION ex = recognizer->state->exception;
    if (ex == nullptr)
        return;
    pANTLR3_TOKEN_STREAM stream = static_cast<pANTLR3_PARSER>(recognizer->super)->tstream;
    pANTLR3_STRING streamName = ex->streamName;
    if (streamName == nullptr && stream->tokenSource != nullptr)
        streamName = stream->tokenSource->fileName;
    const char* whole = WholeOf(recognizer);
    ANTLR3_UINT32 line = ex->line;
    ANTLR3_INT32 offset = ex->charPositionInLine;

    // A missing token's exception holds the token the runtime made up in its
    // place; the script's own token is the next one.
    auto token = static_cast<pANTLR3_COMMON_TOKEN>(ex->token);
    if (ex->type == ANTLR3_MISSING_TOKEN_EXCEPTION)
        token = stream->_LT(stream, 1);
    char found[QUOTE_MAX + 3];
    if (token == nullptr || token->getType(token) == ANTLR3_TOKEN_EOF) {
        snprintf(found, sizeof found, "end of %s", whole);
        // The end of input has no line of its own: just after the last token.
        pANTLR3_COMMON_TOKEN last = stream->_LT(stream, -1);
        if (last != nullptr) {
            line = last->getLine(last);
            offset = ColumnAt(last->input, last->getStopIndex(last) + 1, offset);
        }
    } else {
        char near[QUOTE_MAX + 1] = "";
        pANTLR3_STRING text = token->getText(token);
        if (text != nullptr && text->chars != nullptr)
            Quote(near, sizeof near, text->chars, text->len);
        snprintf(found, sizeof found, "'%s'", near);
        line = token->getLine(token);
        offset = AntlrColumn(token);
    }
    const int column = offset > 0 ? offset + 1 : 1;

    char text[384];
    char end[32];
    const char* expected = nullptr;
    switch (ex->type) {
    case ANTLR3_FAILED_PREDICATE_EXCEPTION:
        // The grammars' only predicates are guards with a message of their own.
        snprintf(text, sizeof text, "%s at line %u, column %d",
                 ex->message != nullptr ? static_cast<const char*>(ex->message) : "input refused", line, column);
        break;
    case ANTLR3_MISMATCHED_TOKEN_EXCEPTION:
    case ANTLR3_MISSING_TOKEN_EXCEPTION:
    case ANTLR3_UNWANTED_TOKEN_EXCEPTION:
        snprintf(end, sizeof end, "the end of the %s", whole);
        expected = ex->expecting == ANTLR3_TOKEN_EOF ? end : ExpectedWords(tokenNames, ex->expecting);
        [[fallthrough]];
    default:
        snprintf(text, sizeof text, "unexpected %s at line %u, column %d%s%s", found, line, column,
                 expected != nullptr ? ", expected " : "", expected != nullptr ? expected : "");
        break;
    }
    AntlrReport(streamName, line, text);
}

// The token a lexer was reading when its input ended, when that is a string
// or a comment left open: its name; else null.
const char* OpenToken(pANTLR3_BASE_RECOGNIZER recognizer)
{
    pANTLR3_EXCEPTION ex = recognizer->state->exception;
    pANTLR3_INPUT_STREAM input = static_cast<pANTLR3_LEXER>(recognizer->super)->input;
    if (ex == nullptr || ex->c != ANTLR3_CHARSTREAM_EOF || input->data == nullptr)
        return nullptr;
    const auto* start = reinterpret_cast<const ANTLR3_UINT8*>(recognizer->state->tokenStartCharIndex);
    const auto* base = static_cast<const ANTLR3_UINT8*>(input->data);
    const ANTLR3_UINT8* end = base + input->size(input);
    // The bytes of the token's start that lie inside the text.
    const ptrdiff_t left = start >= base && start < end ? end - start : 0;
    if (left >= 1 && (start[0] == '"' || start[0] == '\''))
        return "unterminated string";
    if (left >= 2 && start[0] == '/' && start[1] == '*')
        return "unterminated comment";
    return nullptr;
}

void DisplayLexerError(pANTLR3_BASE_RECOGNIZER recognizer, pANTLR3_UINT8*) noexcept
{
    pANTLR3_EXCEPTION ex = recognizer->state->exception;
    if (ex == nullptr)
        return;
    pANTLR3_INPUT_STREAM input = static_cast<pANTLR3_LEXER>(recognizer->super)->input;
    ANTLR3_UINT32 line = ex->line;
    ANTLR3_INT32 offset = ColumnAt(input, ex->index, ex->charPositionInLine);
    char what[64];
    if (ex->c == ANTLR3_CHARSTREAM_EOF) {
        // The input ended inside a token: a string or a comment left open is
        // named, at the place it opened.
        pANTLR3_RECOGNIZER_SHARED_STATE state = recognizer->state;
        if (const char* open = OpenToken(recognizer)) {
            snprintf(what, sizeof what, "%s", open);
            line = ANTLR3_UINT32(state->tokenStartLine);
            offset = ColumnAt(input, state->tokenStartCharIndex, offset);
        } else {
            snprintf(what, sizeof what, "unexpected end of %s", WholeOf(recognizer));
        }
    } else if (ex->c >= 0x20 && ex->c < 0x7F) {
        snprintf(what, sizeof what, "unexpected character '%c'", char(ex->c));
    } else {
        snprintf(what, sizeof what, "unexpected character 0x%02X", unsigned(ex->c));
    }
    char text[160];
    snprintf(text, sizeof text, "%s at line %u, column %d", what, line, offset > 0 ? offset + 1 : 1);
    AntlrReport(ex->streamName, line, text);
}

// What a lexer skips, in words: one character named as itself (a control
// character, a byte that is no UTF-8 and a C1 control by its code), or the
// broken start of a token quoted.
void DescribeSkipped(char* out, size_t size, const ANTLR3_UINT8* from, const ANTLR3_UINT8* to)
{
    ANTLR3_UINT32 code = 0;
    const ANTLR3_UINT32 length = AntlrCharacterAt(from, to, &code);
    if (from + length < to) {
        char near[QUOTE_MAX + 1];
        Quote(near, sizeof near, from, ANTLR3_UINT32(to - from));
        snprintf(out, size, "unexpected '%s'", near);
    } else if (length == 1 && code > 0x20 && code < 0x7F) {
        snprintf(out, size, "unexpected character '%c'", char(code));
    } else if (length == 1) {
        snprintf(out, size, "unexpected character 0x%02X", unsigned(code));
    } else if (code < 0xA0) {
        snprintf(out, size, "unexpected character U+%04X", unsigned(code));
    } else {
        snprintf(out, size, "unexpected character '%.*s' (U+%04X)", int(length), reinterpret_cast<const char*>(from),
                 unsigned(code));
    }
}

// The lexer's error report for a language that skips what starts no token:
// a string or a comment left open is an error as the script's lexer has
// it; anything else is skipped, from the start of the token that failed up
// to the place it failed, or its first character when it failed there.
void SkipUnknown(pANTLR3_BASE_RECOGNIZER recognizer) noexcept
{
    pANTLR3_RECOGNIZER_SHARED_STATE state = recognizer->state;
    pANTLR3_INPUT_STREAM input = static_cast<pANTLR3_LEXER>(recognizer->super)->input;
    pANTLR3_INT_STREAM chars = input->istream;
    const auto* base = static_cast<const ANTLR3_UINT8*>(input->data);
    const ANTLR3_UINT8* end = base != nullptr ? base + input->size(input) : nullptr;
    const auto* start = reinterpret_cast<const ANTLR3_UINT8*>(state->tokenStartCharIndex);
    const auto* at = reinterpret_cast<const ANTLR3_UINT8*>(chars->index(chars));
    if (OpenToken(recognizer) != nullptr || base == nullptr || start < base || start >= end || at < start ||
        at > end) {
        ++state->errorCount;
        recognizer->displayRecognitionError(recognizer, state->tokenNames);
        // Nothing is left to read after a token left open; elsewhere the
        // lexer must still move on.
        chars->consume(chars);
        return;
    }
    const ANTLR3_UINT8* skipped = at > start ? at : start + AntlrCharacterAt(start, end);
    char what[96];
    DescribeSkipped(what, sizeof what, start, skipped);
    char text[160];
    const ANTLR3_UINT32 line = ANTLR3_UINT32(state->tokenStartLine);
    snprintf(text, sizeof text, "%s at line %u, column %d, skipped", what, line,
             ColumnAt(input, state->tokenStartCharIndex, 0) + 1);
    AntlrReport(input->fileName, line, text, true);
    // Through the stream, so that it counts the lines passed.
    while (reinterpret_cast<const ANTLR3_UINT8*>(chars->index(chars)) < skipped)
        chars->consume(chars);
}

// The lexer's rules and its token loop both call this after an error: the
// report above moves on by itself, once.
void StayPut(pANTLR3_LEXER) {}

} // namespace

void AntlrSkipUnknownCharacters(pANTLR3_LEXER lexer)
{
    if (lexer == nullptr)
        return;
    lexer->rec->reportError = &SkipUnknown;
    lexer->recover = &StayPut;
}

ANTLR3_UINT32 AntlrCharacterAt(const ANTLR3_UINT8* text, const ANTLR3_UINT8* end, ANTLR3_UINT32* code)
{
    const ANTLR3_UINT8 first = text[0];
    ANTLR3_UINT32 length = 0;
    ANTLR3_UINT32 value = 0;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
        value = first & 0x1Fu;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        value = first & 0x0Fu;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        value = first & 0x07u;
    }
    bool valid = length > 0 && end - text >= ptrdiff_t(length);
    for (ANTLR3_UINT32 i = 1; valid && i < length; ++i) {
        valid = (text[i] & 0xC0) == 0x80;
        value = value << 6 | (text[i] & 0x3Fu);
    }
    // Overlong forms, surrogates and what lies beyond U+10FFFF are no text.
    if (valid && length == 3)
        valid = value >= 0x800 && (value < 0xD800 || value > 0xDFFF);
    if (valid && length == 4)
        valid = value >= 0x10000 && value <= 0x10FFFF;
    if (!valid) {
        length = 1;
        value = first;
    }
    if (code != nullptr)
        *code = value;
    return length;
}

ANTLR3_INT32 AntlrCharacters(const ANTLR3_UINT8* from, const ANTLR3_UINT8* to)
{
    ANTLR3_INT32 count = 0;
    for (const ANTLR3_UINT8* at = from; at < to; at += AntlrCharacterAt(at, to))
        ++count;
    return count;
}

void AntlrReport(pANTLR3_STRING streamName, ANTLR3_UINT32 line, const char* message, bool skipped) noexcept
{
    const char* name = "-unknown source-";
    int length = 16;
    if (streamName != nullptr && streamName->chars != nullptr) {
        name = reinterpret_cast<const char*>(streamName->chars);
        length = streamName->len < ANTLR3_UINT32(STREAM_NAME_MAX) ? int(streamName->len) : STREAM_NAME_MAX;
    }
    // Called from the runtime's C frames: nothing may unwind through them.
    try {
        if (t_errorLog)
            t_errorLog->errors_.push_back({std::string(name, size_t(length)), line, message, skipped});
    } catch (...) {
    }
    try {
        if (t_errorLog && t_errorLog->quiet_)
            KxAntlrChannel.Print(0, ZmLib::KX_LEVEL_NOTICE, "displayRecognitionError", "%.*s(%u) : %s", length, name,
                                 line, message);
        else
            KxAntlrChannel.WarningReport(0, __FILE__, __LINE__, "displayRecognitionError", "%.*s(%u) : %s", length,
                                         name, line, message);
    } catch (...) {
    }
}

ANTLR3_INT32 AntlrColumn(pANTLR3_COMMON_TOKEN token)
{
    return ColumnAt(token->input, token->getStartIndex(token), token->getCharPositionInLine(token));
}

AntlrErrorLog::AntlrErrorLog(bool quiet) : outer_(t_errorLog), quiet_(quiet) { t_errorLog = this; }

AntlrErrorLog::~AntlrErrorLog() { t_errorLog = outer_; }

std::string AntlrErrorLog::Lines() const
{
    std::string text;
    for (const AntlrError& error : errors_) {
        if (!text.empty())
            text += '\n';
        text += error.source + '(' + std::to_string(error.line) + ") : " + error.message;
    }
    return text;
}

void AntlrRouteErrors(pANTLR3_BASE_RECOGNIZER recognizer, const char* whole)
{
    if (recognizer == nullptr)
        return;
    recognizer->state->userp = const_cast<char*>(whole);
    recognizer->displayRecognitionError =
        recognizer->type == ANTLR3_TYPE_LEXER ? &DisplayLexerError : &DisplayParserError;
}

ANTLR3_UINT32 AntlrErrorCount(pANTLR3_BASE_RECOGNIZER recognizer)
{
    return recognizer != nullptr && recognizer->state != nullptr ? recognizer->state->errorCount : 0;
}
