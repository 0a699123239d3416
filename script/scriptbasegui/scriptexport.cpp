#include "script/scriptbasegui/scriptexport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/scriptbase/codeparser.h"
#include "utils/osal/writepath.h"

class ScriptCsvFile : public ScriptFileObject {
public:
    ScriptCsvFile(const char* path, FILE* stream, int64_t columns) : path_(path), stream_(stream), columns_(columns)
    {
    }
    ~ScriptCsvFile() { Close(); }
    ScriptCsvFile(const ScriptCsvFile&) = delete;
    ScriptCsvFile& operator=(const ScriptCsvFile&) = delete;

    const char* Path() const override { return path_.c_str(); }
    FILE* Stream() const { return stream_; }
    int64_t Columns() const { return columns_; }
    // The system's error when buffered lines could not be written, else 0.
    int Close()
    {
        if (!stream_)
            return 0;
        errno = 0;
        const int error = std::fclose(stream_) == 0 ? 0 : errno;
        stream_ = nullptr;
        return error;
    }

private:
    std::string path_;
    FILE* stream_;
    int64_t columns_;
};

namespace {

constexpr uint32_t F = SCRIPT_CSVFILE;

const ScriptLibFunc kFunctions[ScriptExport::FUNCTION_COUNT] = {
    {"csv.open", 0, F, 2, {SCRIPT_STRING, SCRIPT_INTEGER}},
    {"csv.close", 0, SCRIPT_INTEGER, 1, {F}},
    {"csv.add_header", 0, SCRIPT_INTEGER, 2, {F, SCRIPT_STRING}},
    {"csv.add_line", 0, SCRIPT_INTEGER, 2, {F, SCRIPT_ANY}},
    {"csv.add_array", 0, SCRIPT_INTEGER, 2, {F, SCRIPT_ARRAY}},
};

// "File can't be created", the path and why.
[[noreturn]] void CannotCreate(const char* path, const std::string& why, int line)
{
    CodeParser::ThrowError("File can't be created ", (std::string(path) + ": " + why + " line ").c_str(), line);
}

// "Can't write file", the path and the system's reason, in the machine's
// language.
std::string WriteFailure(const char* path, int error)
{
    return std::string("Can't write file ") + path + ": " + std::strerror(error);
}

[[noreturn]] void WriteFailure(const char* path, int error, int line)
{
    CodeParser::ThrowError(WriteFailure(path, error).c_str(), " line ", line);
}

// Wide enough for "%f" of any double.
constexpr size_t kNumberText = 400;

} // namespace

ScriptExport::ScriptExport() = default;
ScriptExport::~ScriptExport() = default;

void ScriptExport::Init(ScriptLibRegistry* registry)
{
    if (registry)
        registry->Add(this, kFunctions, FUNCTION_COUNT);
}

bool ScriptExport::Run(ScriptValue& result, int function, int*, int line, ScriptArgList& args)
{
    switch (function) {
    case 0:
        result.file = Open(line, args);
        return true;
    case 1:
        Close(OpenFileOf(args, line), line);
        return true;
    case 2:
    case 3:
        result.SetInt(AddLine(function == 2, line, args));
        return true;
    case 4:
        // Registered, but what an array should become is not settled.
        return true;
    default:
        return false;
    }
}

std::string ScriptExport::RunEnded()
{
    std::string problems;
    for (const auto& file : files_) {
        const int error = file->Close();
        if (error == 0)
            continue;
        if (!problems.empty())
            problems += '\n';
        problems += WriteFailure(file->Path(), error);
    }
    files_.clear();
    return problems;
}

ScriptCsvFile* ScriptExport::Open(int line, const ScriptArgList& args)
{
    const char* path = args.Arg(0).text ? args.Arg(0).text : "";
    const int64_t columns = CodeParser::GetArgInt(1, args, line);
    // Checked before the file is created, so a refused call leaves an
    // existing file as it was.
    if (columns <= 0)
        CannotCreate(path, "the column count " + std::to_string(columns) + " is not positive", line);
    if (std::strlen(path) >= PATH_CAPACITY)
        CannotCreate(path, "the path is longer than " + std::to_string(PATH_CAPACITY - 1) + " characters", line);
    // Written in place, through a link only where the kernel would follow
    // one (another user's link or file in /tmp is refused, and nothing is
    // made or written).
    std::string refusal;
    const int fd = ZmLib::OpenWriteTarget(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666, refusal);
    FILE* stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!stream) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        CannotCreate(path, ZmLib::WriteRefusal(refusal, error), line);
    }
    files_.push_back(std::make_unique<ScriptCsvFile>(path, stream, columns));
    return files_.back().get();
}

ScriptCsvFile& ScriptExport::OpenFileOf(const ScriptArgList& args, int line)
{
    const ScriptFileObject* object = args.Arg(0).file;
    // Only the objects of this run are trusted; the newest are used most.
    for (auto it = files_.rbegin(); object && it != files_.rend(); ++it)
        if (it->get() == object && (*it)->Stream())
            return **it;
    throw ScriptError(CodeParser::FormatError("CSV file error ", " line ", line));
}

void ScriptExport::Close(ScriptCsvFile& file, int line)
{
    if (const int error = file.Close())
        WriteFailure(file.Path(), error, line);
}

int64_t ScriptExport::AddLine(bool header, int line, const ScriptArgList& args)
{
    ScriptCsvFile& file = OpenFileOf(args, line);
    if (int64_t(args.count) != file.Columns() + 1)
        CodeParser::ThrowError(header ? "Headers count not equal to CSV column count "
                                      : "Arguments count not equal to CSV column count ",
                               "line ", line);
    text_.clear();
    char number[kNumberText];
    for (uint32_t i = 1; i < args.count; i++) {
        if (i > 1)
            text_ += ',';
        const ScriptValue& value = args.Arg(i);
        if (value.type == SCRIPT_STRING) {
            text_ += value.text ? value.text : "";
        } else if (header) {
            CodeParser::ThrowError(("Argument " + std::to_string(i) + " must be a string ").c_str(), nullptr, line);
        } else if (value.type == SCRIPT_INTEGER) {
            text_.append(number, std::to_chars(number, number + sizeof number, value.Int()).ptr);
        } else if (value.type == SCRIPT_DOUBLE) {
            text_.append(number, size_t(std::snprintf(number, sizeof number, "%f", value.Double())));
        } else {
            CodeParser::ThrowError(("Argument " + std::to_string(i) + " type error ").c_str(), nullptr, line);
        }
    }
    text_ += '\n';
    errno = 0;
    if (std::fwrite(text_.data(), 1, text_.size(), file.Stream()) != text_.size())
        WriteFailure(file.Path(), errno, line);
    return int64_t(text_.size());
}
