// Times SearchFilterOn over a table built in memory: a plain word with and
// without match case, a comparison joined with a substring test, and a
// short pattern; records per second for each, the best of three runs. Then
// the plain-word filter against `grep -c` over the same records written out
// as text lines (their 25 field texts, tab-separated): the target is a
// filter at least as fast as grep, a ratio of 1 or more.
// Usage: bench_search [records]   (default 1000000)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/benchargs.h"
#include "bench/benchgrep.h"
#include "kxlib/table/kxtable.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "utils/kx/kxdprot.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

constexpr int RUNS = 3;
const char* const WORD = "timeout";

// Levels -1..3, 64 threads, a text that says "timeout" in one record of 16.
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
        prot.SetIntValue(FIELD_LEVEL, uint64_t(int64_t(i % 5) - 1));
        prot.SetIntValue(FIELD_TID, 1200 + i % 64);
        prot.SetIntValue(FIELD_TIME, 1561910811000000ull + uint64_t(i) * 250);
        prot.SetIntValue(FIELD_NUM1, i % 1000);
        snprintf(text, sizeof(text), "request %u %s after %u ms", i, i % 16 == 0 ? WORD : "answered", i % 977);
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
    uint32_t settles;
};

const Expression kExpressions[] = {
    {WORD, 1, SEARCH_MODE_SIMPLE},
    {"TIMEOUT", 0, SEARCH_MODE_SIMPLE},
    {"LEVEL < 0 && TEXT ~ 'timeout'", 1, SEARCH_MODE_COMPLEX},
    {"TEXT =~ '.*time(out)?.*'", 1, SEARCH_MODE_COMPLEX},
};

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    ScriptLogicalExpParser::Register();
    Clock::time_point start = Clock::now();
    KxTable* table = BuildTable(records);
    printf("table: %u records built in %.2f s\n", records, Seconds(start));

    int status = 0;
    double wordSeconds = 0;
    int32_t wordMatches = -1;
    for (const Expression& e : kExpressions) {
        uint32_t mode = SEARCH_MODE_AUTO;
        if (!table->SearchSetExpression(e.text, e.matchCase, mode) || mode != e.settles) {
            fprintf(stderr, "not settled as expected: %s\n", e.text);
            status = 1;
            continue;
        }
        double best = 0;
        int32_t matches = 0;
        for (int run = 0; run < RUNS; ++run) {
            start = Clock::now();
            matches = table->SearchFilterOn();
            const double seconds = Seconds(start);
            table->ClearFilter();
            if (run == 0 || seconds < best)
                best = seconds;
        }
        printf("SearchFilterOn %-32s %s case %s  %7.3f s  %6.2f M records/s  %7d matches\n", e.text,
               mode == SEARCH_MODE_COMPLEX ? "complex" : "simple ", e.matchCase ? "on " : "off", best,
               double(records) / best / 1e6, matches);
        if (&e == &kExpressions[0]) {
            wordSeconds = best;
            wordMatches = matches;
        }
    }

    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxv-bench-search-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        fprintf(stderr, "no scratch folder %s\n", pattern.c_str());
        status = 1;
    } else {
        const std::string lines = pattern + "/records.txt";
        const std::string countPath = pattern + "/count.txt";
        if (!Bench::WriteLines(*table, lines)) {
            fprintf(stderr, "cannot write %s\n", lines.c_str());
            status = 1;
        } else {
            double best = 0;
            long count = -1;
            for (int run = 0; run < RUNS; ++run) {
                const double seconds = Bench::TimeGrep(WORD, false, lines, countPath, count);
                if (run == 0 || seconds < best)
                    best = seconds;
            }
            if (count < 0) {
                fprintf(stderr, "grep did not run\n");
                status = 1;
            } else {
                printf("grep -c %-39s %7.3f s  %6.2f M records/s  %7ld matches\n", WORD, best,
                       double(records) / best / 1e6, count);
                printf("plain-word filter / grep speed ratio: %.2f (target: 1 or more)\n", best / wordSeconds);
                if (count != wordMatches)
                    status = 1;
            }
        }
        std::error_code error;
        std::filesystem::remove_all(pattern, error);
    }
    table->Release();
    KxTable::SetSearchExpressionFactory(nullptr);
    return status;
}
