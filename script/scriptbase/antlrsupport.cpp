#include "script/scriptbase/antlrsupport.h"

#include <cstdio>
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

const char* TokenName(pANTLR3_UINT8* tokenNames, ANTLR3_UINT32 type)
{
    if (type == ANTLR3_TOKEN_EOF)
        return "end of input";
    // Expected types come from the generated parser's own tables, never from
    // the input, so they index the name table it installed.
    if (tokenNames == nullptr)
        return "a token";
    return reinterpret_cast<const char*>(tokenNames[type]);
}

// The generated code leaves some exceptions with the runtime's generic name.
const char* ExceptionName(pANTLR3_EXCEPTION ex)
{
    switch (ex->type) {
    case ANTLR3_MISMATCHED_TOKEN_EXCEPTION:
        return ANTLR3_MISMATCHED_EX_NAME;
    case ANTLR3_NO_VIABLE_ALT_EXCEPTION:
        return ANTLR3_NO_VIABLE_ALT_NAME;
    case ANTLR3_MISMATCHED_SET_EXCEPTION:
        return ANTLR3_MISMATCHED_SET_NAME;
    case ANTLR3_EARLY_EXIT_EXCEPTION:
        return ANTLR3_EARLY_EXIT_NAME;
    case ANTLR3_FAILED_PREDICATE_EXCEPTION:
        return ANTLR3_FAILED_PREDICATE_NAME;
    case ANTLR3_UNWANTED_TOKEN_EXCEPTION:
        return ANTLR3_UNWANTED_TOKEN_EXCEPTION_NAME;
    case ANTLR3_MISSING_TOKEN_EXCEPTION:
        return ANTLR3_MISSING_TOKEN_EXCEPTION_NAME;
    default:
        return ANTLR3_RECOGNITION_EX_NAME;
    }
}

// The column from 0 of a place in an 8-bit input, counted in the text
// itself: the runtime's own count comes out one short after some tokens.
// The fallback for a place outside the text.
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
    return ANTLR3_INT32(at - lineStart);
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
    ANTLR3_UINT32 line = ex->line;
    ANTLR3_INT32 offset = ex->charPositionInLine;

    // A missing token's exception holds the token the runtime made up in its
    // place; the script's own token is the next one.
    auto token = static_cast<pANTLR3_COMMON_TOKEN>(ex->token);
    if (ex->type == ANTLR3_MISSING_TOKEN_EXCEPTION)
        token = stream->_LT(stream, 1);
    char near[QUOTE_MAX + 1] = "";
    if (token == nullptr || token->getType(token) == ANTLR3_TOKEN_EOF) {
        snprintf(near, sizeof near, "end of input");
        // The end of input has no line of its own: just after the last token.
        pANTLR3_COMMON_TOKEN last = stream->_LT(stream, -1);
        if (last != nullptr) {
            line = last->getLine(last);
            offset = ColumnAt(last->input, last->getStopIndex(last) + 1, offset);
        }
    } else {
        pANTLR3_STRING text = token->getText(token);
        if (text != nullptr && text->chars != nullptr)
            Quote(near, sizeof near, text->chars, text->len);
        line = token->getLine(token);
        offset = AntlrColumn(token);
    }

    char detail[160] = "";
    switch (ex->type) {
    case ANTLR3_MISMATCHED_TOKEN_EXCEPTION:
    case ANTLR3_MISSING_TOKEN_EXCEPTION:
        snprintf(detail, sizeof detail, ", expected %s", TokenName(tokenNames, ex->expecting));
        break;
    case ANTLR3_UNWANTED_TOKEN_EXCEPTION:
        snprintf(detail, sizeof detail, ", extraneous input");
        break;
    case ANTLR3_FAILED_PREDICATE_EXCEPTION:
        // The grammars' only predicates are guards with a message of their own.
        snprintf(detail, sizeof detail, ", %s in rule %s",
                 ex->message != nullptr ? static_cast<const char*>(ex->message) : "failed predicate",
                 ex->ruleName != nullptr ? static_cast<const char*>(ex->ruleName) : "?");
        break;
    default:
        break;
    }

    char text[384];
    snprintf(text, sizeof text, "error %u : %s, at offset %d, near '%s'%s", ex->type,
             ExceptionName(ex), offset, near, detail);
    AntlrReport(streamName, line, text);
}

void DisplayLexerError(pANTLR3_BASE_RECOGNIZER recognizer, pANTLR3_UINT8*) noexcept
{
    pANTLR3_EXCEPTION ex = recognizer->state->exception;
    if (ex == nullptr)
        return;
    char near[32];
    if (ex->c == ANTLR3_CHARSTREAM_EOF)
        snprintf(near, sizeof near, "end of input");
    else if (ex->c >= 0x20 && ex->c < 0x7F)
        snprintf(near, sizeof near, "'%c'", char(ex->c));
    else
        snprintf(near, sizeof near, "character 0x%02X", unsigned(ex->c));

    const ANTLR3_INT32 offset =
        ColumnAt(static_cast<pANTLR3_LEXER>(recognizer->super)->input, ex->index, ex->charPositionInLine);
    char text[384];
    snprintf(text, sizeof text, "lexer error %u : %s, at offset %d, near %s", ex->type, ExceptionName(ex), offset,
             near);
    AntlrReport(ex->streamName, ex->line, text);
}

} // namespace

void AntlrReport(pANTLR3_STRING streamName, ANTLR3_UINT32 line, const char* message) noexcept
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
            t_errorLog->errors_.push_back({std::string(name, size_t(length)), line, message});
    } catch (...) {
    }
    try {
        KxAntlrChannel.WarningReport(0, __FILE__, __LINE__, "displayRecognitionError", "%.*s(%u) : %s", length, name,
                                     line, message);
    } catch (...) {
    }
}

ANTLR3_INT32 AntlrColumn(pANTLR3_COMMON_TOKEN token)
{
    return ColumnAt(token->input, token->getStartIndex(token), token->getCharPositionInLine(token));
}

AntlrErrorLog::AntlrErrorLog() : outer_(t_errorLog) { t_errorLog = this; }

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

void AntlrRouteErrors(pANTLR3_BASE_RECOGNIZER recognizer)
{
    if (recognizer == nullptr)
        return;
    recognizer->displayRecognitionError =
        recognizer->type == ANTLR3_TYPE_LEXER ? &DisplayLexerError : &DisplayParserError;
}

ANTLR3_UINT32 AntlrErrorCount(pANTLR3_BASE_RECOGNIZER recognizer)
{
    return recognizer != nullptr && recognizer->state != nullptr ? recognizer->state->errorCount : 0;
}
