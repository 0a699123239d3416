// Times search expressions over a table built in memory: compiling each
// expression, one pass of record tests over every row, and the filter.
// Usage: bench_search [records]   (default 1000000)
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/benchargs.h"
#include "kxlib/table/kxtable.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "utils/kx/kxdprot.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// Levels 0..4, 64 threads, a text that says "timeout" in one record of 16.
KxTable* BuildTable(uint32_t records)
{
    PrefKxTable prefs = PrefKxTable::Default();
    prefs.NormalizeTime = 0;
    KxTable* table = new KxTable(nullptr, "bench", prefs);
    char text[96];
    for (uint32_t i = 0; i < records; ++i) {
        ZmLib::KxdProt prot;
        memset(&prot, 0, sizeof(prot));
        prot.msg.magic = ZmLib::KxProt::MAGIC;
        prot.SetIntValue(FIELD_LEVEL, i % 5);
        prot.SetIntValue(FIELD_TID, 1200 + i % 64);
        prot.SetIntValue(FIELD_TIME, 1561910811000000ull + uint64_t(i) * 250);
        prot.SetIntValue(FIELD_NUM1, i % 1000);
        snprintf(text, sizeof(text), "request %u %s after %u ms", i, i % 16 == 0 ? "timeout" : "answered", i % 977);
        const char* strings[ZmLib::KxProt::STR_SLOTS] = {};
        strings[ZmLib::KxdProt::SLOT_TEXT] = text;
        strings[ZmLib::KxdProt::SLOT_FILE] = "server/requests.cpp";
        strings[ZmLib::KxdProt::SLOT_FUNC] = "HandleRequest";
        prot.SetStrings(strings, nullptr);
        table->AppendRecord(prot);
    }
    return table;
}

struct Expression {
    const char* text;
    uint8_t matchCase;
};

const Expression kExpressions[] = {
    {"timeout", 1},
    {"TIMEOUT", 0},
    {"LEVEL == 2", 1},
    {"LEVEL > 1 && TEXT ~ \"timeout\"", 1},
    {"TEXT == \"*timeout*\"", 1},
    {"TEXT =~ \".*time(out)?.*\"", 1},
    {"TID == \"12*\" && (NUM1 * 2 + 1) > 1000", 1},
    {"tostring(TIME, 5) ~ \".25\"", 1},
};

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    ScriptLogicalExpParser::Register();
    Clock::time_point start = Clock::now();
    KxTable* table = BuildTable(records);
    printf("table:     %u records built in %.2f s\n", records, Seconds(start));

    int status = 0;
    for (const Expression& e : kExpressions) {
        uint32_t mode = SEARCH_MODE_AUTO;
        start = Clock::now();
        const bool set = table->SearchSetExpression(e.text, e.matchCase, mode);
        const double compile = Seconds(start);
        if (!set) {
            fprintf(stderr, "refused: %s\n", e.text);
            status = 1;
            continue;
        }
        start = Clock::now();
        int32_t matches = 0;
        for (int32_t row = 0; row < table->RowCount(); ++row)
            matches += table->SearchMatch(table->GetRecord(row)) ? 1 : 0;
        const double scan = Seconds(start);
        start = Clock::now();
        const int32_t filtered = table->SearchFilterOn();
        const double filter = Seconds(start);
        table->ClearFilter();
        printf("%-45s %s  compile %7.3f ms  scan %7.3f s (%5.2f M records/s, %7d matches)  filter %7.3f s\n",
               e.text, mode == SEARCH_MODE_COMPLEX ? "complex" : "simple ", compile * 1e3, scan,
               double(records) / scan / 1e6, matches, filter);
        if (filtered != matches)
            status = 1;
    }
    table->Release();
    KxTable::SetSearchExpressionFactory(nullptr);
    return status;
}
