// Times "Select Levels": the aux tree of a loaded document rebuilt with two
// new level fields, for pairs from a few values per level to nearly one per
// record. The document is a generated trace in which one record in ten is a
// warning or an error.
// Usage: bench_auxlevels [records]   (default 1,000,000)
#include <cstdio>
#include <string>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "bench/benchlevels.h"
#include "kxlib/kxauxtree.h"
#include "kxlib/table/kxtable.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// The command's budget on a million records.
constexpr double LIMIT_SECONDS = 1.0;

int32_t SecondLevelNodes(const KxAuxTree& tree)
{
    int32_t count = 0;
    for (const KxAuxNode1* node = tree.First(); node; node = node->next)
        count += node->count;
    return count;
}

const char* Key(int32_t field)
{
    return field < 0 ? "-" : FieldKey(field);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    const std::string path = Bench::WriteScratchTrace("bench_auxlevels", records);
    if (path.empty())
        return 1;
    KxLoadResult result;
    KxTable* table = Bench::LoadRawKx(path, 0, &result);
    Bench::RemoveScratch(path);
    if (!table || table->RecordCount() != int32_t(records)) {
        fprintf(stderr, "cannot load %u records\n", records);
        return 1;
    }
    const int32_t flagged = Bench::MarkWarningsAndErrors(*table);
    printf("%d records, %d warnings and errors\n", table->RecordCount(), flagged);

    // First level, second level (-1: none).
    const int32_t pairs[][2] = {
        {FIELD_TNAME, FIELD_KXNAME}, {FIELD_PNAME, FIELD_TNAME}, {FIELD_LEVEL, FIELD_FUNC},
        {FIELD_FILE, FIELD_LINE},    {FIELD_TID, FIELD_TEXT},    {FIELD_TEXT, -1},
        {FIELD_SEQ, FIELD_TIME},
    };
    for (const auto& pair : pairs) {
        table->Prefs().TreeLevel1Field = pair[0];
        table->Prefs().TreeLevel2Field = pair[1];
        const Clock::time_point start = Clock::now();
        table->RebuildAuxTree();
        const double seconds = Seconds(start);
        const bool slow = seconds > LIMIT_SECONDS * records / 1000000.0;
        printf("levels %-6s %-6s %9.1f ms   %8d + %8d nodes%s\n", Key(pair[0]), Key(pair[1]), seconds * 1000,
               table->AuxTree().Count(), SecondLevelNodes(table->AuxTree()), slow ? "   OVER THE LIMIT" : "");
    }
    table->Release();
    return 0;
}
