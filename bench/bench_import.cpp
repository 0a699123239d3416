// Text import: a generated syslog-style file through the built-in "SysLog"
// format with the document loader into a table, the text-log reader alone,
// and delimited text through the delimited-text reader. Prints lines/s,
// MB/s and resident bytes per record; asserts nothing.
// Usage: bench_import [lines]   (default 1000000)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <QFileInfo>

#include "kxlib/reader/filecsv.h"
#include "kxlib/reader/log2kxdmulti.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/importformat.h"
#include "kxviewer/shellservices.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Resident bytes now; 0 when /proc cannot tell.
uint64_t Resident()
{
    unsigned long long pages[2] = {0, 0};
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr)
        return 0;
    const bool ok = fscanf(statm, "%llu %llu", &pages[0], &pages[1]) == 2;
    fclose(statm);
    return ok ? uint64_t(pages[1]) * uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

// The loader's messages would go to unregistered channels.
class QuietShell : public KxvShellServices {
public:
    void AddToSystemLog(const QString&, LogIcon) override {}
    void ShowStatus(const QString&, bool, int) override {}
    int Information(const QString& text, bool) override
    {
        fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return 0;
    }
};

const char* const Hosts[] = {"buildhost", "web01", "db01", "gw"};
const char* const Levels[] = {"daemon.info", "kern.warning", "auth.notice", "user.err", "cron.debug"};
const char* const Procs[] = {"sshd", "kernel", "systemd", "CRON", "postfix/smtpd"};
const char* const Words[] = {"connection", "from", "accepted", "session", "opened", "for", "user",
                             "root", "closed", "port", "timeout", "retrying", "disk", "usage"};
const char* const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// withLevel adds the "facility.level" word that the built-in format reads
// between host and process; pids is the number of process ids per name.
uint64_t WriteSyslog(const std::string& path, uint32_t lines, bool withLevel, uint32_t pids)
{
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    uint32_t seed = 12345;
    auto next = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (uint32_t k = 0; k < lines; ++k) {
        const uint32_t second = k / 50;
        fprintf(out, "%s %2u %02u:%02u:%02u %s ", Months[(second / 86400 / 28) % 12], 1 + (second / 86400) % 28,
                (second / 3600) % 24, (second / 60) % 60, second % 60, Hosts[next() % 4]);
        if (withLevel)
            fprintf(out, "%s ", Levels[next() % 5]);
        fprintf(out, "%s[%u]:", Procs[next() % 5], 100 + next() % pids);
        for (uint32_t w = 2 + next() % 14; w > 0; --w)
            fprintf(out, " %s", Words[next() % 14]);
        fputc('\n', out);
    }
    fclose(out);
    return std::filesystem::file_size(path);
}

uint64_t WriteCsv(const std::string& path, uint32_t lines)
{
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
        return 0;
    for (uint32_t k = 0; k < lines; ++k)
        fprintf(out, "%llu,%u,%u,%u,%d,%s;%s;message number %u of the benchmark\n",
                1561910811000000ull + k * 1000ull, k, 100 + k % 7, 7 + k % 13, int(k % 5) - 2, Hosts[k % 4],
                Procs[k % 5], k);
    fclose(out);
    return std::filesystem::file_size(path);
}

// bytes 0: no MB/s figure.
void Print(const char* what, uint32_t lines, uint64_t bytes, double seconds)
{
    printf("%-44s %9u lines %8.3f s %11.0f lines/s", what, lines, seconds, lines / seconds);
    if (bytes != 0)
        printf(" %8.1f MB/s", double(bytes) / 1e6 / seconds);
    printf("\n");
}

// Reads every line of an opened text reader into one record; returns the
// number of lines.
template <class PerRecord>
uint32_t ReadEvery(KxReader& reader, PerRecord perRecord)
{
    ZmLib::KxdProt record;
    reader.SetRecord(&record);
    uint32_t lines = 0;
    try {
        for (;;) {
            reader.ReadRecord();
            ++lines;
            perRecord(record);
        }
    } catch (int32_t) {
    }
    return lines;
}

// The text-log reader alone, every line into one record.
void ReaderOnly(const std::string& path, uint64_t bytes, const char* what)
{
    const ImportFormat& syslog = ImportFormats[0];
    DocLoader::ImportFields fields;
    std::string expression;
    if (!DocLoader::BuildImportRegex(syslog, fields, expression))
        return;
    Log2KxdMulti reader(path.c_str());
    reader.AddTemplate(expression.c_str(), fields.field, fields.count, false);
    if (reader.Open() != 0)
        return;
    uint32_t matched = 0;
    const auto start = Clock::now();
    const uint32_t lines = ReadEvery(reader, [&matched](const ZmLib::KxdProt& record) {
        matched += record.msg.offsets[ZmLib::KxdProt::SLOT_HOST] != 0;
    });
    Print(what, lines, bytes, Since(start));
    printf("%-44s %9u of %u lines matched\n", "", matched, lines);
}

// maxRecords < 0: the whole file.
void Import(const std::string& path, uint64_t bytes, const char* what, int32_t maxRecords = -1)
{
    const uint64_t before = Resident();
    const auto start = Clock::now();
    DocLoader loader(QFileInfo(QString::fromLocal8Bit(path.c_str())), 0);
    KxTable* table = loader.Load(maxRecords);
    const double seconds = Since(start);
    if (table == nullptr) {
        printf("%s: load failed\n", what);
        return;
    }
    const uint32_t rows = uint32_t(table->RecordCount());
    Print(what, rows, maxRecords < 0 ? bytes : 0, seconds);
    // Memory freed by earlier loads is taken again first; only a load that
    // grew the process gives a figure.
    const uint64_t after = Resident();
    if (after > before)
        printf("%-44s %9.0f resident bytes per record\n", "", double(after - before) / rows);
    table->Release();
}

void Csv(const std::string& path, uint64_t bytes)
{
    const int32_t fields[] = {FIELD_TIME, FIELD_SEQ, FIELD_PID, FIELD_TID, FIELD_LEVEL, FIELD_HOST, FIELD_KXNAME,
                              FIELD_TEXT};
    FileCsv reader(path.c_str(), 8, fields, ';');
    if (reader.Open() != 0)
        return;
    const auto start = Clock::now();
    const uint32_t lines = ReadEvery(reader, [](const ZmLib::KxdProt&) {});
    Print("delimited text, 8 columns (reader)", lines, bytes, Since(start));
}

uint32_t LineCountArg(int argc, char** argv)
{
    if (argc < 2)
        return 1000000;
    char* end = nullptr;
    const unsigned long n = strtoul(argv[1], &end, 10);
    if (*end != 0 || n == 0 || n > 50000000ul) {
        fprintf(stderr, "lines must be a number from 1 to 50000000, not \"%s\"\n", argv[1]);
        exit(2);
    }
    return uint32_t(n);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t lines = LineCountArg(argc, argv);
    QuietShell shell;
    KxvSetShell(&shell);
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_import-XXXXXX";
    if (!mkdtemp(&dir[0])) {
        perror("mkdtemp");
        return 1;
    }
    const std::string leveled = dir + "/leveled.log";
    const std::string manyPids = dir + "/manypids.log";
    const std::string plain = dir + "/plain.log";
    const std::string csv = dir + "/data.csv";
    const uint64_t leveledBytes = WriteSyslog(leveled, lines, true, 4);
    const uint64_t manyPidsBytes = WriteSyslog(manyPids, lines, true, 30000);
    const uint64_t plainBytes = WriteSyslog(plain, lines, false, 4);
    const uint64_t csvBytes = WriteCsv(csv, lines);
    printf("%u lines each: syslog %.1f MB, delimited text %.1f MB\n", lines, double(leveledBytes) / 1e6,
           double(csvBytes) / 1e6);

    ReaderOnly(leveled, leveledBytes, "syslog with level words (reader)");
    ReaderOnly(plain, plainBytes, "syslog without level words (reader)");
    Import(leveled, leveledBytes, "syslog, 20 process names (loader, table)");
    Import(plain, plainBytes, "syslog, no line matching (loader, table)");
    // Every "name[pid]" is its own aux-tree entry; the first 100000 lines
    // show the cost of that.
    Import(manyPids, manyPidsBytes, "syslog, 150000 process names (first 100000)", 100000);
    Csv(csv, csvBytes);

    KxvSetShell(nullptr);
    std::filesystem::remove_all(dir);
    return 0;
}
