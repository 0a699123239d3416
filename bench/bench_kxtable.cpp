// Loads a generated raw record file into a table and times the load, a
// filter by selection and a copy of the selected records.
// Usage: bench_kxtable [records]   (default 1000000)
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/filekx.h"
#include "kxlib/table/kxtable.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxlib/rawload.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Resident bytes of this process; 0 when /proc cannot tell.
uint64_t ResidentBytes()
{
    FILE* statm = fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    unsigned long long size = 0;
    unsigned long long resident = 0;
    int got = fscanf(statm, "%llu %llu", &size, &resident);
    fclose(statm);
    long page = sysconf(_SC_PAGESIZE);
    return got == 2 && page > 0 ? uint64_t(resident) * uint64_t(page) : 0;
}

uint32_t RecordCountArg(int argc, char** argv)
{
    if (argc < 2)
        return 1000000;
    char* end = nullptr;
    unsigned long long n = strtoull(argv[1], &end, 10);
    if (!*argv[1] || *end || n == 0 || n > 100000000ull) {
        fprintf(stderr, "records must be a number from 1 to 100000000, not \"%s\"\n", argv[1]);
        exit(2);
    }
    return uint32_t(n);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = RecordCountArg(argc, argv);
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_kxtable-XXXXXX";
    if (!mkdtemp(&dir[0])) {
        perror("mkdtemp");
        return 1;
    }
    const std::string path = dir + "/trace.kx";

    KxFileGen::Options options;
    options.records = records;
    options.processes = 4;
    options.threadsPerProcess = 8;
    options.maxDepth = 10;
    KxFileGen::Summary summary;
    Clock::time_point start = Clock::now();
    if (!KxFileGen::WriteTrace(path.c_str(), options, &summary)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        rmdir(dir.c_str());
        return 1;
    }
    const double mb = double(summary.bytes) / (1024.0 * 1024.0);
    printf("file:      %u records (%u enters, %u leaves, %u+%u name announcements), %.1f MB, written in %.2f s\n",
           summary.records, summary.enters, summary.leaves, summary.processNames, summary.threadNames, mb,
           Seconds(start));

    const uint64_t residentBefore = ResidentBytes();
    FileKx reader(path.c_str());
    if (reader.Open() != 0) {
        fprintf(stderr, "cannot open %s\n", path.c_str());
        unlink(path.c_str());
        rmdir(dir.c_str());
        return 1;
    }
    KxTable* table = new KxTable(path.c_str(), nullptr, PrefKxTable::Default());
    start = Clock::now();
    RawLoadResult result = LoadRawRecords(reader, *table);
    const double loadSeconds = Seconds(start);
    const uint64_t residentAfter = ResidentBytes();
    unlink(path.c_str());
    rmdir(dir.c_str());
    if (result.gaveUp || result.errors || table->RecordCount() != int32_t(records)) {
        fprintf(stderr, "load failed: %d of %u records, %u errors\n", table->RecordCount(), records, result.errors);
        table->Release();
        return 1;
    }
    const double perRecord =
        residentAfter > residentBefore ? double(residentAfter - residentBefore) / double(records) : 0.0;
    printf("load:      %.3f s, %.0f records/s, %.1f MB/s, %.0f resident bytes/record (record slot %zu bytes), "
           "%d threads, max nesting %d\n",
           loadSeconds, double(records) / loadSeconds, mb / loadSeconds, perRecord, sizeof(KxdRecord),
           table->Tids().Count(), table->MaxNest());

    // Every other hundredth of the table selected: 50 ranges, half the rows.
    const int32_t rows = table->RowCount();
    const int32_t slice = rows / 100 > 0 ? rows / 100 : 1;
    start = Clock::now();
    for (int32_t first = 0; first < rows; first += 2 * slice)
        table->SelRangeSet(first, first + slice - 1, true, 1);
    const double selectSeconds = Seconds(start);
    const uint32_t selected = table->NumSelected;
    printf("select:    %u rows in %u ranges, %.3f s\n", selected, table->RangeCount(), selectSeconds);

    start = Clock::now();
    int32_t visible = table->Selected2Filter();
    printf("filter:    %d visible rows, %.3f s\n", visible, Seconds(start));

    KxTable* copy = new KxTable(nullptr, "copy", PrefKxTable::Default());
    start = Clock::now();
    int32_t copied = table->CopySelectedRecords(*copy, nullptr, 0, -1);
    const double copySeconds = Seconds(start);
    printf("copy:      %d records, %.3f s, %.0f records/s\n", copied, copySeconds, double(copied) / copySeconds);

    start = Clock::now();
    table->ClearFilter();
    printf("unfilter:  %d rows, %.3f s\n", table->RowCount(), Seconds(start));

    copy->Release();
    table->Release();
    return copied == int32_t(selected) && visible == int32_t(selected) ? 0 : 1;
}
