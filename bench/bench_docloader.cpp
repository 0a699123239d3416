// Loads a generated raw record file through the document loader and sets its
// rate beside the record load it calls, with every core and with the
// sequential loop. Each figure is the best of three rounds.
// Usage: bench_docloader [records]   (default 1,000,000)
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include <QFileInfo>
#include <QString>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvglobals.h"
#include "tests/kxlib/kxfilegen.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

constexpr int ROUNDS = 3;

struct Way {
    const char* label;
    std::function<KxTable*()> load;
    double best = 0; // records per second
};

// Seconds of one load; negative when it did not keep every record.
double TimeLoad(uint32_t records, const std::function<KxTable*()>& load)
{
    Clock::time_point start = Clock::now();
    KxTable* table = load();
    const double seconds = Seconds(start);
    const bool whole = table && table->RecordCount() == int32_t(records);
    if (table)
        table->Release();
    return whole ? seconds : -1;
}

KxTable* LoadDirect(const std::string& path, int workers)
{
    KxLoadResult result;
    return Bench::LoadRawKx(path, workers, &result);
}

KxTable* LoadThroughDocLoader(const std::string& path)
{
    DocLoader loader(QFileInfo(QString::fromLocal8Bit(path.c_str())), FILE_TYPE_KX);
    return loader.Load(-1);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    KxFileGen::Summary summary;
    const std::string path = Bench::WriteScratchTrace("bench_docloader", records, &summary);
    if (path.empty())
        return 1;
    printf("raw file: %u records, %.1f MB\n", summary.records, double(summary.bytes) / (1024.0 * 1024.0));
    // Rounds take the ways in turn, so that none is favoured by what the
    // machine's caches and free memory were left with.
    Way ways[] = {
        {"document loader", [&] { return LoadThroughDocLoader(path); }},
        {"direct, every core", [&] { return LoadDirect(path, 0); }},
        {"direct, one thread", [&] { return LoadDirect(path, 1); }},
    };
    bool ok = true;
    for (int round = 0; round < ROUNDS && ok; ++round) {
        for (Way& way : ways) {
            const double seconds = TimeLoad(records, way.load);
            ok = ok && seconds > 0;
            way.best = std::max(way.best, double(records) / seconds);
        }
    }
    Bench::RemoveScratch(path);
    if (!ok) {
        fprintf(stderr, "a load did not keep all %u records\n", records);
        return 1;
    }
    for (const Way& way : ways)
        printf("  %-20s %.0f records/s (%.2f of the direct load)\n", way.label, way.best, way.best / ways[1].best);
    return 0;
}
