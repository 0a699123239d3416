// Text import: a generated syslog-style file through the built-in "SysLog"
// format with the document loader into a table (every line matched, and no
// line matched), the text-log reader alone, and delimited text through the
// loader, each with 1 and 8 workers. The reference, `grep -cxP` with the
// same expression over the same file, runs in turn with the 8-worker load,
// for the built-in format and for the examples' "Debian syslog" format (on
// lines without a level word); their medians are compared. Prints lines/s, MB/s and resident bytes per
// record, and the stages of one import taken one after the other on one
// thread (the table view's stage needs the window: bench_open prints it);
// asserts nothing.
// Usage: bench_import [lines [rounds]]   (defaults 1000000 and 3)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QFileInfo>

#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/reader/log2kxdmulti.h"
#include "kxlib/reader/textchunks.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/importformat.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "utils/common/inifile.h"
#include "utils/regex/regexbuilder.h"
#include "utils/regex/regexmatchcontext.h"
#include "utils/regex/regexmatchresult.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Processor seconds of every thread so far: on a loaded machine the work a
// line takes shows here when the wall clock shows the load.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

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
void Print(const std::string& what, uint32_t lines, uint64_t bytes, double seconds, double cpu)
{
    printf("%-48s %9u lines %8.3f s %11.0f lines/s", what.c_str(), lines, seconds, lines / seconds);
    if (bytes != 0)
        printf(" %8.1f MB/s", double(bytes) / 1e6 / seconds);
    printf(" %6.2f us cpu/line\n", cpu * 1e6 / lines);
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

// Every line of the file in pieces of the text reader's size; the line ends
// found, or 0 when it cannot be read.
template <class PerLine>
uint32_t EveryLine(const std::string& path, PerLine perLine)
{
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr)
        return 0;
    std::vector<char> buffer(TextChunks::READ_SIZE + TextChunks::ROW_BYTES_MAX);
    size_t kept = 0;
    uint32_t lines = 0;
    for (;;) {
        const size_t got = fread(buffer.data() + kept, 1, TextChunks::READ_SIZE, in);
        const size_t end = kept + got;
        size_t at = 0;
        while (const char* lf = static_cast<const char*>(memchr(buffer.data() + at, '\n', end - at))) {
            const size_t next = size_t(lf - buffer.data()) + 1;
            perLine(buffer.data() + at, uint32_t(next - at));
            ++lines;
            at = next;
        }
        kept = end - at;
        memmove(buffer.data(), buffer.data() + at, kept);
        if (got == 0)
            break;
    }
    fclose(in);
    return lines;
}

// One stage's line: its seconds and its share of all of them.
void PrintStage(const char* what, double seconds, double total)
{
    printf("  %-58s %8.3f s %5.1f %%\n", what, seconds, total > 0 ? 100 * seconds / total : 0.0);
}

// The stages of an import of the syslog, one after the other on this
// thread, each over every line or record: what the loader's threads share.
void Stages(const std::string& path)
{
    DocLoader::ImportFields fields;
    std::string expression;
    if (!DocLoader::BuildImportRegex(ImportFormats[0], fields, expression))
        return;
    std::vector<std::pair<const char*, double>> stages;
    auto start = Clock::now();
    uint64_t bytes = 0;
    const uint32_t lines = EveryLine(path, [&bytes](const char*, uint32_t length) { bytes += length; });
    stages.emplace_back("reading (the file in pieces, its line ends)", Since(start));

    RegexBuilder regex(expression.c_str(), 0);
    RegexMatchResult result;
    RegexMatchContext context;
    uint32_t matched = 0;
    start = Clock::now();
    EveryLine(path, [&](const char* line, uint32_t length) {
        matched += regex.Match(result, line, int(length), &context).IsMatched();
    });
    stages.emplace_back("matching (the template on every line)", Since(start) - stages[0].second);

    // The reader's records, kept for the table's stages; their memory is
    // taken in before the stage.
    std::vector<ZmLib::KxdProt> records(lines);
    Log2KxdMulti reader(path.c_str());
    reader.AddTemplate(expression.c_str(), fields.field, fields.count, false);
    reader.SetWorkers(1);
    if (reader.Open() != 0)
        return;
    start = Clock::now();
    size_t read = 0;
    ReadEvery(reader, [&records, &read](const ZmLib::KxdProt& record) {
        if (read < records.size())
            records[read++] = record;
    });
    records.resize(read);
    stages.emplace_back("records (fields from the groups, with the above)", Since(start));
    stages.back().second -= stages[0].second + stages[1].second;

    KxTable* table = new KxTable(path.c_str(), "stages", PrefKxTable::Default());
    std::vector<KxdRecord*> rows(records.size());
    start = Clock::now();
    for (size_t k = 0; k < records.size(); ++k) {
        rows[k] = table->NewRecord();
        rows[k]->prot = records[k];
        KxdRecord::ProcessTimeBase(rows[k], true);
    }
    table->SettleRecordsBeforeTime();
    stages.emplace_back("slots (the table's memory, the time base)", Since(start));
    start = Clock::now();
    for (KxdRecord* row : rows)
        KxdRecord::ProcessOwnTexts(row, false, table->Prefs().formats, table->AbsoluteBase());
    stages.emplace_back("analysis (number and time texts)", Since(start));
    start = Clock::now();
    for (KxdRecord* row : rows)
        KxdRecord::ProcessInOrder(row, false, false);
    stages.emplace_back("names (process and thread names, in order)", Since(start));
    start = Clock::now();
    table->AuxTree().AddAll(rows.data(), rows.size());
    stages.emplace_back("names (the aux tree)", Since(start));
    start = Clock::now();
    table->Release();
    stages.emplace_back("release (the table's memory back)", Since(start));

    double total = 0;
    for (const auto& stage : stages)
        total += stage.second;
    printf("stages of one import, one thread: %u lines, %.1f MB, %u matched; %.3f s in all\n", lines,
           double(bytes) / 1e6, matched, total);
    for (const auto& stage : stages)
        PrintStage(stage.first, stage.second, total);
    printf("  %-58s\n", "view (the table view): see bench_open");
}

// The text-log reader alone, every line into one record.
void ReaderOnly(const std::string& path, uint64_t bytes, const char* what, int workers)
{
    const ImportFormat& syslog = ImportFormats[0];
    DocLoader::ImportFields fields;
    std::string expression;
    if (!DocLoader::BuildImportRegex(syslog, fields, expression))
        return;
    Log2KxdMulti reader(path.c_str());
    reader.AddTemplate(expression.c_str(), fields.field, fields.count, false);
    reader.SetWorkers(workers);
    if (reader.Open() != 0)
        return;
    uint32_t matched = 0;
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    const uint32_t lines = ReadEvery(reader, [&matched](const ZmLib::KxdProt& record) {
        matched += record.msg.offsets[ZmLib::KxdProt::SLOT_HOST] != 0;
    });
    const double seconds = Since(start);
    Print(std::string(what) + ", " + std::to_string(workers) + " w", lines, bytes, seconds, CpuSeconds() - cpu);
    printf("%-48s %9u of %u lines matched\n", "", matched, lines);
}

// Loads the file with the format typeId; the seconds taken, negative when
// the load failed. maxRecords < 0: the whole file.
double Import(const std::string& path, uint64_t bytes, const std::string& what, int32_t typeId, int workers,
              int32_t maxRecords = -1)
{
    const uint64_t before = Resident();
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    DocLoader loader(QFileInfo(QString::fromLocal8Bit(path.c_str())), typeId);
    loader.SetWorkers(workers);
    KxTable* table = loader.Load(maxRecords);
    const double seconds = Since(start);
    if (table == nullptr) {
        printf("%s: load failed\n", what.c_str());
        return -1;
    }
    const uint32_t rows = uint32_t(table->RecordCount());
    Print(what + ", " + std::to_string(workers) + " w", rows, maxRecords < 0 ? bytes : 0, seconds,
          CpuSeconds() - cpu);
    // Memory freed by earlier loads is taken again first; only a load that
    // grew the process gives a figure.
    const uint64_t after = Resident();
    if (after > before)
        printf("%-48s %9.0f resident bytes per record\n", "", double(after - before) / rows);
    table->Release();
    return seconds;
}

// Delimited text in the column order WriteCsv writes; its index in
// ImportFormats.
int32_t AddCsvFormat()
{
    ImportFormat csv;
    csv.name = "BenchCsv";
    csv.extension = "csv";
    csv.delimiter = ";";
    csv.mode = IMPORT_MODE_DELIMITED;
    csv.visual = 2;
    int32_t column = 0;
    for (const char* key : {"TIME", "SEQ", "PID", "TID", "LEVEL", "HOST", "KXNAME", "TEXT"})
        csv.fields.push_back({key, column++, ";"});
    ImportFormats.push_back(csv);
    return int32_t(ImportFormats.size() - 1);
}

// Seconds that `grep -cxP expression path` takes; negative when it cannot
// run. Its count goes to countPath.
double Grep(const std::string& expression, const std::string& path, const std::string& countPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, countPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> args{"grep", "-cxP", expression, path};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, "grep", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    return Since(start);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The 8-worker load of a syslog whose every line the format matches and the
// reference in turn, rounds times; prints both medians and the loader's rate
// as a share of grep's.
void AgainstGrep(const std::string& path, uint64_t bytes, uint32_t lines, int rounds, int32_t typeId,
                 const std::string& countPath)
{
    const ImportFormat& format = ImportFormats[size_t(typeId)];
    DocLoader::ImportFields fields;
    std::string expression;
    if (!DocLoader::BuildImportRegex(format, fields, expression))
        return;
    std::vector<double> ours, grep;
    for (int r = 0; r < rounds; ++r) {
        const double load = Import(path, bytes, "\"" + format.name + "\", every line matched (round)", typeId, 8);
        const double reference = Grep(expression, path, countPath);
        if (load > 0)
            ours.push_back(lines / load);
        if (reference > 0)
            grep.push_back(lines / reference);
    }
    std::ifstream count(countPath);
    std::string matched;
    std::getline(count, matched);
    printf("grep -cxP \"%s\" counted %s lines\n", expression.c_str(), matched.c_str());
    printf("\"%s\", median of %d rounds: loader, 8 workers %.3f s, %.0f lines/s; grep -cxP %.3f s, %.0f lines/s; "
           "loader/grep %.2f\n",
           format.name.c_str(), rounds, Median(ours) > 0 ? lines / Median(ours) : 0.0, Median(ours),
           Median(grep) > 0 ? lines / Median(grep) : 0.0, Median(grep),
           Median(grep) > 0 ? Median(ours) / Median(grep) : 0.0);
}

// The "Debian syslog" format of the examples shipped with the sources, added
// to the formats in effect as a user's "Load Formats" adds it; its index, or
// -1 when the examples cannot be read.
int32_t AddDebianFormat()
{
    ZmLib::IniFile ini;
    ImportFormatList read;
    if (!ini.Open(KXV_EXAMPLES_DIR "/KxFormats-examples.ini", nullptr, nullptr))
        return -1;
    PrefGlobal::LoadFormats(ini.Ini, read, true, false);
    ini.Ini.SetModified(false);
    for (const ImportFormat& format : read) {
        if (format.name == "Debian syslog") {
            ImportFormats.push_back(format);
            return int32_t(ImportFormats.size() - 1);
        }
    }
    return -1;
}

uint32_t NumberArg(int argc, char** argv, int k, uint32_t absent, uint32_t most, const char* what)
{
    if (argc <= k)
        return absent;
    char* end = nullptr;
    const unsigned long n = strtoul(argv[k], &end, 10);
    if (*end != 0 || n == 0 || n > most) {
        fprintf(stderr, "%s must be a number from 1 to %u, not \"%s\"\n", what, most, argv[k]);
        exit(2);
    }
    return uint32_t(n);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t lines = NumberArg(argc, argv, 1, 1000000, 50000000, "lines");
    const int rounds = int(NumberArg(argc, argv, 2, 3, 99, "rounds"));
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
    const int32_t csvFormat = AddCsvFormat();
    printf("%u lines each: syslog %.1f MB, delimited text %.1f MB\n", lines, double(leveledBytes) / 1e6,
           double(csvBytes) / 1e6);

    for (int workers : {1, 8}) {
        ReaderOnly(leveled, leveledBytes, "syslog, every line matched (reader)", workers);
        ReaderOnly(plain, plainBytes, "syslog, no line matched (reader)", workers);
    }
    for (int workers : {1, 8}) {
        Import(leveled, leveledBytes, "syslog, every line matched (loader)", 0, workers);
        Import(plain, plainBytes, "syslog, no line matched (loader)", 0, workers);
        Import(csv, csvBytes, "delimited text, 8 columns (loader)", csvFormat, workers);
        // Every "name[pid]" is its own aux-tree entry; the first 100000
        // lines show the cost of that.
        Import(manyPids, manyPidsBytes, "syslog, 150000 process names (first 100000)", 0, workers, 100000);
    }
    Stages(leveled);
    AgainstGrep(leveled, leveledBytes, lines, rounds, 0, dir + "/grep.out");
    const int32_t debian = AddDebianFormat();
    if (debian < 0)
        printf("the examples' \"Debian syslog\" format could not be read from %s\n", KXV_EXAMPLES_DIR);
    else
        AgainstGrep(plain, plainBytes, lines, rounds, debian, dir + "/grep.out");

    KxvSetShell(nullptr);
    std::filesystem::remove_all(dir);
    return 0;
}
