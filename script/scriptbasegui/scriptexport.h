// The "csv." script functions: comma-separated text files written line by
// line, values unquoted as the viewer's own CSV export and reader have them.
// The files of a run are closed when the run ends, however it ended.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "script/scriptbase/scriptlib.h"

class ScriptCsvFile;

class ScriptExport : public ScriptLibRun {
public:
    static constexpr int FUNCTION_COUNT = 5;
    // A path's buffer, its terminating zero included: a longer path is
    // refused rather than cut.
    static constexpr size_t PATH_CAPACITY = 1100;

    ScriptExport();
    ~ScriptExport() override;
    ScriptExport(const ScriptExport&) = delete;
    ScriptExport& operator=(const ScriptExport&) = delete;

    void Init(ScriptLibRegistry* registry);
    bool Run(ScriptValue& result, int function, int* library, int line, ScriptArgList& args) override;
    // Closes the files the run left open; the ones whose lines could not
    // all be written are named.
    std::string RunEnded() override;

private:
    ScriptCsvFile* Open(int line, const ScriptArgList& args);
    // The open file of the first argument; ends the script otherwise.
    ScriptCsvFile& OpenFileOf(const ScriptArgList& args, int line);
    void Close(ScriptCsvFile& file, int line);
    int64_t AddLine(bool header, int line, const ScriptArgList& args);

    std::vector<std::unique_ptr<ScriptCsvFile>> files_;
    // The line being built, kept to reuse its storage.
    std::string text_;
};
