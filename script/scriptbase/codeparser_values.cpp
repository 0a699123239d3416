// The interpreter's services to libraries: error texts, argument access and
// the printable text of a value.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "script/scriptbase/codeparser.h"
#include "utils/common/strbase.h"

std::string CodeParser::FormatError(const char* message, const char* argument, int line)
{
    std::string text = "Error: ";
    text += message ? message : "";
    if (argument) {
        text += ' ';
        text += argument;
    }
    text += ", Line: " + std::to_string(line);
    return text;
}

void CodeParser::ThrowError(const char* message, const char* argument, int line)
{
    std::string text = message ? message : "";
    if (argument)
        text += argument;
    if (line != -999)
        text += std::to_string(line);
    throw ScriptError(text);
}

namespace {

[[noreturn]] void ArgumentTypeError(int i, int32_t type)
{
    const std::string message = "Argument #" + std::to_string(i) + " has incorrect type";
    CodeParser::ThrowError(message.c_str(), ScriptTypeName(type), -999);
}

} // namespace

int64_t CodeParser::GetArgInt(int i, const ScriptArgList& args, int)
{
    const int32_t type = i >= 0 && uint32_t(i) < args.count ? args.Arg(uint32_t(i)).type : SCRIPT_UNDEFINED;
    if (type != SCRIPT_INTEGER && type != SCRIPT_RECORD)
        ArgumentTypeError(i, type);
    return args.Arg(uint32_t(i)).Int();
}

double CodeParser::GetArgDouble(int i, const ScriptArgList& args, int)
{
    const int32_t type = i >= 0 && uint32_t(i) < args.count ? args.Arg(uint32_t(i)).type : SCRIPT_UNDEFINED;
    if (type != SCRIPT_DOUBLE)
        ArgumentTypeError(i, type);
    return args.Arg(uint32_t(i)).Double();
}

void* CodeParser::GetHandlerObject(const ScriptHandler* handler, int line)
{
    if (!handler)
        ThrowError("Main handler error ", " line ", line);
    return handler->object;
}

const char* CodeParser::ValueToText(const ScriptValue& value, int line)
{
    char* out;
    switch (value.type) {
    case SCRIPT_STRING:
        return value.text ? value.text : "";
    case SCRIPT_INTEGER:
        out = ZmLib::StrBase::TempBuffer();
        snprintf(out, ZmLib::TEMP_STR_CAPACITY + 1, "%" PRId64, value.Int());
        return out;
    case SCRIPT_DOUBLE:
        out = ZmLib::StrBase::TempBuffer();
        snprintf(out, 51, "%f", value.Double());
        return out;
    case SCRIPT_ARRAY:
        out = ZmLib::StrBase::TempBuffer();
        snprintf(out, ZmLib::TEMP_STR_CAPACITY + 1, "Array type.Size:%d", value.array ? value.array->size : 0);
        return out;
    case SCRIPT_HANDLER:
        if (!value.handler)
            ThrowError("Main handler error ", " line ", line);
        out = ZmLib::StrBase::TempBuffer();
        snprintf(out, ZmLib::TEMP_STR_CAPACITY + 1, "Handler type. Lib index:%d", value.handler->library);
        return out;
    case SCRIPT_RECORD:
        out = ZmLib::StrBase::TempBuffer();
        snprintf(out, ZmLib::TEMP_STR_CAPACITY + 1, "Record type.Row index:%" PRId64, value.Int());
        return out;
    case SCRIPT_CSVFILE:
        out = ZmLib::StrBase::TempBuffer();
        snprintf(out, ZmLib::TEMP_STR_CAPACITY + 1, "Csv file type.File path:%s",
                 value.file && value.file->Path() ? value.file->Path() : "");
        return out;
    case SCRIPT_UNDEFINED:
        return "Undefined type";
    default:
        return "";
    }
}

void CodeParser::FreeValue(ScriptValue& value, bool markUndefined)
{
    if (value.type == SCRIPT_UNDEFINED)
        return;
    ScriptArrayFree(value.array);
    value.array = nullptr;
    value.SetText(nullptr);
    value.bits = 0;
    if (markUndefined)
        value.type = SCRIPT_UNDEFINED;
}
