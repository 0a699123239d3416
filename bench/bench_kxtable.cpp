// Loads generated raw record files into tables and sets the load against
// what the machine does with the same bytes: read() of the file and a memcpy
// of its size. Then a copy of selected records and a ".kxl" save and reload.
// Usage: bench_kxtable [records] [workers] [threads per process]
//   without records: 100 k, 1 M and 4 M records, and 200 k records whose
//   thread names are nearly all distinct; 10 M records (about 10 GB of
//   memory) only when asked for by records. workers 0 (default) takes every
//   core, 1 the sequential loop.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "kxlib/reader/filekxl.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_load.h"
#include "tests/kxlib/kxfilegen.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

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

// CPU seconds that every thread of this process took so far.
double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Seconds to read the whole file with read() in 1 MB pieces.
double ReadSeconds(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return 0;
    std::vector<char> buffer(size_t(1) << 20);
    Clock::time_point start = Clock::now();
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    double seconds = Seconds(start);
    close(fd);
    return seconds;
}

// Seconds to memcpy bytes between two buffers whose pages are in already.
double MemcpySeconds(uint64_t bytes)
{
    std::vector<char> from(bytes, 1);
    std::vector<char> to(bytes, 2);
    Clock::time_point start = Clock::now();
    memcpy(to.data(), from.data(), bytes);
    double seconds = Seconds(start);
    // Keeps the copy from being optimised away.
    return to[bytes / 2] == 1 ? seconds : -seconds;
}

// Seconds for every core to take in bytes of new memory, a write per page:
// what the table's slots cost the machine before any record is copied.
double FreshMemorySeconds(uint64_t bytes, unsigned threads)
{
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return 0;
    char* memory = static_cast<char*>(mapped);
    const uint64_t share = (bytes / threads + 4095) & ~uint64_t(4095);
    Clock::time_point start = Clock::now();
    std::vector<std::thread> touching;
    for (unsigned t = 0; t < threads; ++t) {
        touching.emplace_back([memory, bytes, share, t] {
            for (uint64_t at = share * t; at < bytes && at < share * (t + 1); at += 4096)
                memory[at] = 1;
        });
    }
    for (std::thread& thread : touching)
        thread.join();
    double seconds = Seconds(start);
    munmap(memory, bytes);
    return seconds;
}

struct Case {
    const char* label;
    uint32_t records;
    uint32_t threadsPerProcess;
    bool full; // with save, reload and copy
};

// Releases the table once saved: the reload should not find the memory of
// the saved table still taken, and the largest sizes do not fit twice.
void SaveAndReload(KxTable* table, const std::string& dir, int workers, double loadRate)
{
    const std::string path = dir + "/trace.kxl";
    const std::string ini = "[Table]\n";
    const int32_t records = table->RecordCount();
    Clock::time_point start = Clock::now();
    bool saved = FileKxl::Save(path.c_str(), *table, ini.c_str(), ini.size(), true);
    const double saveSeconds = Seconds(start);
    start = Clock::now();
    table->Release();
    const double releaseSeconds = Seconds(start);
    if (!saved) {
        printf("  kxl save failed\n");
        return;
    }
    FileKxl reader(path.c_str());
    if (reader.Open() != 0) {
        printf("  kxl open failed\n");
        unlink(path.c_str());
        return;
    }
    KxTable* copy = new KxTable(path.c_str(), nullptr, PrefKxTable::Default());
    KxLoadOptions options;
    options.workers = workers;
    start = Clock::now();
    KxLoadResult result = KxLoadRecords(reader, *copy, reader.GetFileSize(), options);
    const double reloadSeconds = Seconds(start);
    printf("  kxl:     save %.0f records/s (%.2f of the raw load), release of the table %.3f s, reload %.0f "
           "records/s (%.2f)%s\n",
           double(records) / saveSeconds, double(records) / saveSeconds / loadRate, releaseSeconds,
           double(records) / reloadSeconds, double(records) / reloadSeconds / loadRate,
           copy->RecordCount() == records && result.errors == 0 ? "" : "  RELOAD INCOMPLETE");
    copy->Release();
    unlink(path.c_str());
}

void CopySelected(KxTable& table)
{
    // Every other hundredth of the table selected, at most 1 M rows.
    const int32_t rows = table.RowCount();
    const int32_t slice = rows / 100 > 0 ? rows / 100 : 1;
    const int32_t most = 1000000;
    for (int32_t first = 0; first < rows && int32_t(table.NumSelected) < most; first += 2 * slice)
        table.SelRangeSet(first, std::min(first + slice, rows) - 1, true, 1);
    KxTable* copy = new KxTable(nullptr, "copy", PrefKxTable::Default());
    Clock::time_point start = Clock::now();
    int32_t copied = table.CopySelectedRecords(*copy, nullptr, 0, -1);
    const double seconds = Seconds(start);
    printf("  copy:    %d records, %.0f records/s\n", copied, double(copied) / seconds);
    copy->Release();
    table.ClearSelections();
}

bool Run(const Case& c, const std::string& dir, int workers)
{
    const std::string path = dir + "/trace.kx";
    KxFileGen::Options options;
    options.records = c.records;
    options.processes = 4;
    options.threadsPerProcess = c.threadsPerProcess;
    options.maxDepth = 10;
    KxFileGen::Summary summary;
    if (!KxFileGen::WriteTrace(path.c_str(), options, &summary)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    const double mb = double(summary.bytes) / (1024.0 * 1024.0);
    printf("%s: %u records, %u threads, %.1f MB\n", c.label, summary.records, 4 * c.threadsPerProcess, mb);

    const double readRate = mb / ReadSeconds(path);
    const double memcpyRate = mb / MemcpySeconds(summary.bytes);

    // Times at 10, 20, 80 and 90 % of the records: the rate early and late
    // in the load shows whether records cost more as the table grows.
    const int32_t marks[4] = {int32_t(c.records / 10), int32_t(c.records / 5), int32_t(c.records / 5 * 4),
                              int32_t(c.records / 10 * 9)};
    Clock::time_point markTimes[4];
    auto progress = [&marks, &markTimes](int32_t attempts, int64_t) {
        for (int k = 0; k < 4; ++k)
            if (attempts == marks[k])
                markTimes[k] = Clock::now();
        return true;
    };
    const uint64_t residentBefore = ResidentBytes();
    KxLoadResult result;
    const double cpuStart = ProcessCpuSeconds();
    Clock::time_point start = Clock::now();
    KxTable* table = Bench::LoadRawKx(path, workers, &result, progress);
    const double seconds = Seconds(start);
    const double loadCpu = ProcessCpuSeconds() - cpuStart;
    const uint64_t residentAfter = ResidentBytes();
    unlink(path.c_str());
    if (!table || table->RecordCount() != int32_t(c.records) || result.errors) {
        fprintf(stderr, "load failed: %d of %u records, %d errors\n", table ? table->RecordCount() : 0, c.records,
                result.errors);
        if (table)
            table->Release();
        return false;
    }
    const double loadRate = double(c.records) / seconds;
    const double loadMb = mb / seconds;
    const double perRecord =
        residentAfter > residentBefore ? double(residentAfter - residentBefore) / double(c.records) : 0.0;
    printf("  load:    %.3f s, %.0f records/s, %.1f MB/s, %.0f resident bytes/record (slot %zu bytes), "
           "%d aux-tree nodes\n",
           seconds, loadRate, loadMb, perRecord, sizeof(KxdRecord), table->AuxTree().Count());
    auto rate = [&marks, &markTimes](int from, int to) {
        return double(marks[to] - marks[from]) / std::chrono::duration<double>(markTimes[to] - markTimes[from]).count();
    };
    printf("  growth:  %.0f records/s from 10 to 20 %%, %.0f from 80 to 90 %% (%.2f)\n", rate(0, 1), rate(2, 3),
           rate(2, 3) / rate(0, 1));
    printf("  machine: read() %.0f MB/s, memcpy %.0f MB/s; load/read() %.3f, load/memcpy %.3f\n", readRate,
           memcpyRate, loadMb / readRate, loadMb / memcpyRate);
    // Measured while the table holds its slots, so that it takes memory the
    // table did not; the load's slots per second against it.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const uint64_t slotBytes = uint64_t(c.records) * sizeof(KxdRecord);
    const double freshCpuStart = ProcessCpuSeconds();
    const double freshSeconds = FreshMemorySeconds(slotBytes, cores);
    const double freshCpu = ProcessCpuSeconds() - freshCpuStart;
    if (freshSeconds > 0) {
        printf("  memory:  new pages for the slots on %u threads %.0f MB/s, %.0f slots/s; load/new pages %.3f\n",
               cores, double(slotBytes) / (1024.0 * 1024.0) / freshSeconds, double(c.records) / freshSeconds,
               loadRate * freshSeconds / double(c.records));
        // The load takes the same pages and does its own work besides: even
        // with every core busy all along it cannot end before its CPU time
        // spread over the cores, which bounds its ratio.
        printf("  cpu:     load %.3f s (%.0f ns/record), new pages alone %.3f s; load/new pages at most %.3f on "
               "%u idle cores\n",
               loadCpu, loadCpu * 1e9 / double(c.records), freshCpu, freshSeconds * cores / loadCpu, cores);
    }
    if (c.full) {
        CopySelected(*table);
        SaveAndReload(table, dir, workers, loadRate);
    } else {
        table->Release();
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = Bench::MakeScratchDir("bench_kxtable");
    if (dir.empty())
        return 1;
    const int workers = argc > 2 ? atoi(argv[2]) : 0;
    const int threadsPerProcess = argc > 3 ? atoi(argv[3]) : 8;
    std::vector<Case> cases;
    if (argc > 1) {
        if (threadsPerProcess < 1) {
            fprintf(stderr, "threads per process must be a positive number\n");
            return 1;
        }
        cases.push_back(
            {"records", Bench::RecordCountArg(argc, argv, 1000000, 100000000), uint32_t(threadsPerProcess), true});
    } else {
        cases = {{"100k", 100000, 8, true},
                 {"1M", 1000000, 8, true},
                 {"4M", 4000000, 8, true},
                 {"200k distinct threads", 200000, 33250, false}};
    }
    bool ok = true;
    for (const Case& c : cases)
        ok = Run(c, dir, workers) && ok;
    rmdir(dir.c_str());
    return ok ? 0 : 1;
}
