// The files of the load benchmarks: a scratch folder and the direct load of
// a raw record file.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "kxlib/reader/filekx.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_load.h"
#include "tests/kxlib/kxfilegen.h"

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

// A generated trace as "trace.kx" in a new scratch folder: its path, or
// empty (reported) on failure. The caller removes the file and the folder
// (RemoveScratch).
inline std::string WriteScratchTrace(const char* name, const KxFileGen::Options& options,
                                     KxFileGen::Summary* summary = nullptr)
{
    const std::string dir = MakeScratchDir(name);
    if (dir.empty())
        return std::string();
    const std::string path = dir + "/trace.kx";
    if (!KxFileGen::WriteTrace(path.c_str(), options, summary)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        unlink(path.c_str());
        rmdir(dir.c_str());
        return std::string();
    }
    return path;
}

// The trace of the load benchmarks: 4 processes of 8 threads, calls up to 10
// deep.
inline std::string WriteScratchTrace(const char* name, uint32_t records, KxFileGen::Summary* summary = nullptr)
{
    KxFileGen::Options options;
    options.records = records;
    options.processes = 4;
    options.threadsPerProcess = 8;
    options.maxDepth = 10;
    return WriteScratchTrace(name, options, summary);
}

// A file a window benchmark opens, with the heading its figures go under.
struct HeadedFile {
    std::string heading;
    std::string path;
};

// The two traces of the window benchmarks in folder: one as generated, and
// one whose names rarely repeat. Empty (reported) when one cannot be written.
inline std::vector<HeadedFile> WriteWindowTraces(const std::string& folder, uint32_t records)
{
    std::vector<HeadedFile> files;
    for (const bool rare : {false, true}) {
        const std::string path = folder + (rare ? "/rare.kx" : "/bench.kx");
        KxFileGen::Options options;
        options.records = records;
        options.rareWords = rare;
        KxFileGen::Summary summary;
        if (!KxFileGen::WriteTrace(path.c_str(), options, &summary)) {
            fprintf(stderr, "cannot write %s\n", path.c_str());
            return {};
        }
        char heading[160];
        snprintf(heading, sizeof heading, "%s: %u records, %.1f MB",
                 rare ? "names that rarely repeat" : "generated trace", summary.records,
                 double(summary.bytes) / 1e6);
        files.push_back({heading, path});
    }
    return files;
}

// Removes a file of WriteScratchTrace and its folder.
inline void RemoveScratch(const std::string& path)
{
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
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
