// The debug stream of a command-line tool as its user reads it: each report
// as one line on standard error behind the tool's name, with its level word
// and text, without the time, thread and source place that the Debug panel
// and the log file keep for developers.
#pragma once

#include <cstdio>
#include <string>

#include "utils/kx/pkx.h"

class StderrMessages : public ZmLib::PKX {
public:
    explicit StderrMessages(const char* tool) : PKX(ZmLib::PKX_ID_STD, ZmLib::KX_OUT_STD), tool_(tool) {}

    void Write(uint32_t, const ZmLib::KxProt* record) override
    {
        if (record->FLAGS & (ZmLib::KXF_FUNC_ENTER | ZmLib::KXF_FUNC_LEAVE))
            return;
        std::string line = std::string(tool_) + ": ";
        if (record->LEVEL < ZmLib::KX_LEVEL_WARNING)
            line += "error: ";
        else if (record->LEVEL == ZmLib::KX_LEVEL_WARNING)
            line += "warning: ";
        line += record->String(ZmLib::KxdProt::SLOT_TEXT);
        line += '\n';
        // One write a line: the loader's workers report too.
        std::fputs(line.c_str(), stderr);
    }

private:
    const char* tool_;
};
