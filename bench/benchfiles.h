// The files of the load benchmarks: a scratch folder and the direct load of
// a raw record file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include "kxlib/reader/filekx.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_load.h"

namespace Bench {

// A new folder "<$TMPDIR or /tmp>/<name>-XXXXXX"; empty (reported) when it
// cannot be made.
inline std::string MakeScratchDir(const char* name)
{
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
    if (!mkdtemp(&dir[0])) {
        perror("mkdtemp");
        return std::string();
    }
    return dir;
}

// A raw kx file read straight into a new table by the record load with the
// given workers, every record with PROT 0 as the document loader stores it;
// null when the file cannot be opened. progress as for the record load.
inline KxTable* LoadRawKx(const std::string& path, int workers, KxLoadResult* result,
                          std::function<bool(int32_t attempts, int64_t consumed)> progress = nullptr)
{
    FileKx reader(path.c_str());
    if (reader.Open() != 0)
        return nullptr;
    KxTable* table = new KxTable(path.c_str(), nullptr, PrefKxTable::Default());
    KxLoadOptions options;
    options.workers = workers;
    options.prot = 0;
    options.progress = std::move(progress);
    *result = KxLoadRecords(reader, *table, reader.GetFileSize(), options);
    table->SetModified(false);
    return table;
}

} // namespace Bench
