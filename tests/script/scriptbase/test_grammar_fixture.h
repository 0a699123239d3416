// The token-name table as the interpreter numbers it, a capture of the
// "ANTLR", "SCRIPT" and "SYS" channels, and a parse to tree text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/scriptbase/antlrsupport.h"
#include "script/scriptbase/mainparser.h"
#include "script/scriptbase/scriptchannels.h"
#include "tests/utils/kx/kx_channel_capture.h"

namespace grammartest {

// Index = token type.
inline const std::vector<std::string>& TokenNames()
{
    static const std::vector<std::string> names = {
        "<invalid>", "<EOR>", "<DOWN>", "<UP>",
        "AND", "ARRAY_SIZE", "ARRAY_STMT", "BIT_AND", "BIT_OR", "BLOCK", "COMA_STRINGS", "COMMENT", "COND_EXP",
        "DOUBLE", "DO_CYCLE", "EQUAL", "EQ_DIV", "EQ_MINUS", "EQ_MOD", "EQ_MUL", "EQ_PLUS", "FOR_CYCLE",
        "FUNC_DEF", "FUNC_HDR", "FUNC_VAR_DECL", "GF_DATE", "GF_DATETIME", "GF_DOUBLE", "GF_INT", "GF_IPADDR",
        "GF_MILLI", "GF_SECOND", "GF_TIME", "GF_TOSTRING", "GREATER", "GREATER_OR_EQUAL", "HEX_DIGITS", "IDENT",
        "IDENT_STMT", "IF_COND", "LESS", "LESS_OR_EQUAL", "LINE_COMMENT", "MINIS_MINUS", "NOT", "NOT_EQUAL",
        "NUMBER", "ONLY_DIV", "ONLY_DOT", "ONLY_EQUAL", "ONLY_MINUS", "ONLY_MOD", "ONLY_MUL", "ONLY_PLUS",
        "ONLY_POWER", "OR", "OTHER_HEX_DIGITS", "PARAM_IN", "PARAM_IN_OUT", "PARAM_MULTI", "PARAM_OUT",
        "PLUS_PLUS", "PROGRAM", "QUESTION_MARK", "REGEXP", "STMT_ARRAY_ASSIGN", "STMT_ASSIGN", "STMT_DEBUG",
        "STMT_DEFINED", "STMT_EXIT", "STMT_FIX", "STMT_FREE", "STMT_GOTO", "STMT_LABEL", "STMT_MINUS_MINUS_POST",
        "STMT_MINUS_MINUS_PREF", "STMT_PAUSE", "STMT_PLUS_PLUS_POST", "STMT_PLUS_PLUS_PREF", "STMT_PRINT",
        "STMT_RETURN", "STMT_UNDEF", "STMT_VAR", "STRINGS", "SUBST", "TWO_COM", "UNARY", "USER_CALL",
        "WHILE_CYCLE", "WILDCMP", "WS",
        "'!'", "'('", "')'", "','", "':'", "';'", "'['", "']'", "'array_size'", "'date'", "'datetime'",
        "'debug'", "'defined'", "'do'", "'else'", "'exit'", "'fix'", "'float'", "'for'", "'free'",
        "'function'", "'goto'", "'if'", "'int'", "'ipaddr'", "'milli'", "'pause'", "'print'", "'return'",
        "'second'", "'time'", "'tostring'", "'undef'", "'var'", "'while'", "'{'", "'}'",
    };
    return names;
}

using Report = kxtest::ChannelEvent;
inline std::vector<Report>& Reports() { return kxtest::ChannelEvents(); }

// Keeps what the front end reports instead of sending it to the stream.
class ChannelCapture : public ::testing::Test {
protected:
    static std::vector<std::string> Texts(const std::string& channel) { return kxtest::ChannelCapture::Texts(channel); }

private:
    kxtest::ChannelCapture capture_{&KxAntlrChannel, &KxScriptChannel, &ZmLib::KxSys};
};

// Parses a text through the front end; the tree in the runtime's notation,
// or empty when the script is refused.
inline std::string ParseToTree(const std::string& text)
{
    ScriptParseObjects objects;
    if (MainParser::ParseInput(MainParser::PrepareStringParser(text.c_str()), &objects) != 0)
        return "";
    pANTLR3_STRING tree = objects.tree->toStringTree(objects.tree);
    std::string result(reinterpret_cast<const char*>(tree->chars), tree->len);
    MainParser::FreeObjects(&objects);
    return result;
}

} // namespace grammartest
