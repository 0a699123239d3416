// kxfind: loads a file as the viewer does and runs a search expression over
// its rows as the find line does, for trying the expression language by hand
// and from scripts.
//
//   kxfind FILE [EXPRESSION] [-c] [-m 0|1|3] [-f N] [--count|--dump]
//
//   -c       match case
//   -m MODE  the requested mode: 0 simple (a plain text), 1 complex (an
//            expression), 3 decided by the text (the default)
//   -f N     imports FILE as text through import format N ("SysLog" is 0);
//            without it FILE is a document (.kxl) or a raw record file
//            (.kx, .kxtcp, .kxudp, .kxd), told by its suffix
//   --count  prints only the number of matching rows; without EXPRESSION
//            the number of all rows
//   --dump   (without EXPRESSION) prints a header of the 25 field keys and
//            then every row's 25 field texts
//   --       ends the options, so that an expression may start with '-'
//
// Each matching row prints as its row number (from 0), a tab, then the
// filled match slots as KEY=text separated by tabs. Fields are separated by
// tabs, so tabs and line ends inside a text are shown as \t, \n and \r. The
// settled mode, why an expression is refused (with the place, in one line),
// what the expression skipped (a character that starts no token, as a
// warning), and the reports of the debug stream (their level and text) go
// to standard error. Mode 3 refuses a regular expression with an unbalanced
// bracket, as the viewer's find line does.
// The import formats in effect are the built-in ones and those of the
// KxFormats.ini the viewer uses (in its program folder when that holds
// KxViewer.ini, else in ~/KxViewer/), read where they are: kxfind makes and
// writes nothing. The table has the default table preferences, and no
// Thread/KX Name tree, which only the viewer's pane shows.
//
// Exit status: 0 when a row matches or the dump is printed, 1 when no row
// matches, 2 on bad usage, when the file or the expression is refused, or
// when evaluating the expression failed on a row (such a row is searched
// for the expression's text, as the viewer does, and the first failure is
// told).
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

// The parser runtime's header comes before Qt's, whose "emit" macro would
// empty a member name of the runtime's lexer.
#include "script/scriptbase/antlrsupport.h"

#include <QFileInfo>

#include "kxlib/kxchannels.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "script/scriptbase/scriptchannels.h"
#include "script/scriptbase/scriptlib.h"
#include "script/scriptbasegui/scriptmath.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tools/kxfind/recordline.h"
#include "tools/stderrmessages.h"
#include "tools/stderrshell.h"
#include "utils/common/inifile.h"
#include "utils/kx/kx.h"
#include "utils/kx/pkx.h"
#include "utils/osal/readpath.h"

namespace {

enum class Output { Rows, Count, Dump };

struct Options {
    const char* path = nullptr;
    const char* expression = nullptr;
    bool matchCase = false;
    uint32_t mode = SEARCH_MODE_AUTO;
    int32_t format = -1;
    Output output = Output::Rows;
};

int Usage()
{
    std::fprintf(stderr, "usage: kxfind FILE EXPRESSION [-c] [-m 0|1|3] [-f N] [--count]\n"
                         "       kxfind FILE --count|--dump [-f N]\n");
    return 2;
}

// A whole decimal number from 0 to INT32_MAX.
bool ReadIndex(const char* text, int32_t& out)
{
    if (*text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*end || value > INT32_MAX)
        return false;
    out = int32_t(value);
    return true;
}

bool ReadMode(const char* text, uint32_t& mode)
{
    if (std::strcmp(text, "0") == 0)
        mode = SEARCH_MODE_SIMPLE;
    else if (std::strcmp(text, "1") == 0)
        mode = SEARCH_MODE_COMPLEX;
    else if (std::strcmp(text, "3") == 0)
        mode = SEARCH_MODE_AUTO;
    else
        return false;
    return true;
}

bool SetOutput(Options& options, Output output)
{
    if (options.output != Output::Rows)
        return false;
    options.output = output;
    return true;
}

bool ParseArgs(int argc, char** argv, Options& options)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const bool option = !optionsEnded && arg[0] == '-' && arg[1] != '\0';
        if (!option) {
            if (!options.path)
                options.path = arg;
            else if (!options.expression)
                options.expression = arg;
            else
                return false;
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "-c") == 0) {
            options.matchCase = true;
        } else if (std::strcmp(arg, "-m") == 0) {
            if (++i == argc || !ReadMode(argv[i], options.mode))
                return false;
        } else if (std::strcmp(arg, "-f") == 0) {
            if (++i == argc || !ReadIndex(argv[i], options.format))
                return false;
        } else if (std::strcmp(arg, "--count") == 0) {
            if (!SetOutput(options, Output::Count))
                return false;
        } else if (std::strcmp(arg, "--dump") == 0) {
            if (!SetOutput(options, Output::Dump))
                return false;
        } else {
            return false;
        }
    }
    if (!options.path)
        return false;
    // A dump shows every row and a count without an expression counts them
    // all; a listing needs something to search for.
    if (options.output == Output::Dump)
        return options.expression == nullptr;
    return options.expression != nullptr || options.output == Output::Count;
}

void StartDebugStream()
{
    ZmLib::PKX::Init(nullptr);
    ZmLib::PKX::UseStd(new StderrMessages("kxfind"));
    ZmLib::KX::Init(ZmLib::KX_LEVEL_WARNING, false, nullptr, ZmLib::KX_OUT_STD, false);
    for (ZmLib::KX* channel : {&KxScriptChannel, &KxAntlrChannel, &KxTableChannel, &KxReaderChannel,
                               &KxvTearoffChannel, &KxvSyslogChannel})
        ZmLib::KX::Register(channel, ZmLib::KX_OUT_STD);
    ZmLib::KX::SetLevelAll(ZmLib::KX_LEVEL_WARNING);
}

bool IsFile(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The user's formats, from where the viewer keeps its settings (kxfind is
// built beside the viewer, so that their program folder is the same), read
// as the viewer reads them. The viewer's own search for the folder makes
// ~/KxViewer/ and tries writing in its candidates: only existing files are
// looked at here, and nothing is written back.
void LoadUserFormats()
{
    PrefGlobal::TakeProgramDir();
    const std::string program = PrefGlobal::ProgramDir.empty() || PrefGlobal::ProgramDir.back() == '/'
                                    ? PrefGlobal::ProgramDir
                                    : PrefGlobal::ProgramDir + '/';
    const std::string dir =
        !program.empty() && IsFile(program + "KxViewer.ini") ? program : PrefGlobal::HomeIniDir();
    if (dir.empty())
        return;
    ZmLib::IniFile file;
    if (file.Open(dir.c_str(), "KxFormats", "ini"))
        PrefGlobal::LoadFormats(file.Ini, ImportFormats, false, false);
    else if (!file.Refusal().empty())
        std::fprintf(stderr, "kxfind: %s\n", file.Refusal().c_str());
}

// The file readable, or why not: the system's words, or what it is when it
// is no regular file (a pipe is refused at once, never read in part).
bool Readable(const char* path)
{
    std::string refusal;
    const int fd = ZmLib::OpenToRead(path, refusal);
    if (fd >= 0) {
        close(fd);
        return true;
    }
    if (!refusal.empty())
        std::fprintf(stderr, "kxfind: %s\n", refusal.c_str());
    else
        std::fprintf(stderr, "kxfind: %s: %s\n", path, std::strerror(errno));
    return false;
}

bool TypeOfFile(const Options& options, const QFileInfo& file, int32_t& typeId)
{
    if (options.format >= 0) {
        LoadUserFormats();
        if (size_t(options.format) >= ImportFormats.size()) {
            std::fprintf(stderr, "kxfind: no import format %d; formats 0 to %zu are in effect\n", options.format,
                         ImportFormats.size() - 1);
            return false;
        }
        typeId = options.format;
        return true;
    }
    bool known = false;
    typeId = FileTypeBySuffix(QFile::encodeName(file.suffix()).constData(), &known);
    if (!known)
        std::fprintf(stderr, "kxfind: %s is neither a document nor a raw record file; -f N imports it as text\n",
                     options.path);
    return known;
}

void Dump(KxTable& table)
{
    std::string line;
    for (int field = 0; field < FIELD_Nums; ++field) {
        if (field > 0)
            line += '\t';
        line += FieldKey(field);
    }
    std::printf("%s\n", line.c_str());
    for (int32_t row = 0; row < table.RowCount(); ++row) {
        line.clear();
        AppendFieldTexts(line, *table.GetRecord(row));
        std::printf("%s\n", line.c_str());
    }
}

// The matching rows, printed; their count. failedRow: the first row on
// which evaluating the expression failed, else -1.
int32_t Print(KxTable& table, int32_t& failedRow)
{
    KxSearchExpression* expr = table.SearchExpression();
    expr->StartRound();
    failedRow = -1;
    int32_t matches = 0;
    std::string line;
    for (int32_t row = 0; row < table.RowCount(); ++row) {
        const bool matched = table.SearchMatch(table.GetRecord(row));
        if (failedRow < 0 && !expr->evalError.empty())
            failedRow = row;
        if (!matched)
            continue;
        ++matches;
        line = std::to_string(row) + '\t';
        bool first = true;
        for (int field = 0; field < FIELD_Nums; ++field) {
            const SearchMatchSlot& slot = expr->matchSlots[field];
            if (!slot.set)
                continue;
            if (!first)
                line += '\t';
            first = false;
            line += FieldKey(field);
            line += '=';
            AppendEscaped(line, slot.text);
        }
        std::printf("%s\n", line.c_str());
    }
    return matches;
}

// The reports of the parser, one a line, as one line.
std::string OneLine(std::string text)
{
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.replace(at, 1, "; ");
    return text;
}

// Sets the expression. Why it is refused, and what it skips, kxfind tells
// in its own words, once: the debug stream's warnings of the same parse
// stay off standard error meanwhile (its errors still pass).
bool SetExpression(KxTable& table, const Options& options, uint32_t& mode)
{
    ZmLib::PKX* output = ZmLib::PKX::FindOutput(ZmLib::KX_OUT_STD);
    const int32_t threshold = output ? output->threshold : 0;
    if (output)
        output->threshold = ZmLib::KX_LEVEL_ERROR;
    const bool set = table.SearchSetExpression(options.expression, options.matchCase ? 1 : 0, mode);
    if (output)
        output->threshold = threshold;
    const std::string& reason = table.SearchError();
    if (set) {
        // The find line refuses such a pattern for the commands too.
        const std::string& problem = table.SearchExpression()->patternProblem;
        if (mode != SEARCH_MODE_COMPLEX || problem.empty())
            return true;
        std::fprintf(stderr, "kxfind: the search expression is refused: %s\n", problem.c_str());
    } else if (table.SearchMode() == SEARCH_MODE_UNDECIDED && !reason.empty()) {
        // A text taken as no expression at all (blank, too long) is told in
        // a sentence of its own.
        std::fprintf(stderr, "kxfind: %s\n", reason.c_str());
    } else {
        std::fprintf(stderr, "kxfind: the search expression is refused%s%s\n", reason.empty() ? "" : ": ",
                     OneLine(reason).c_str());
    }
    return false;
}

// The search and its output; the exit status.
int Search(KxTable& table, const Options& options)
{
    uint32_t mode = options.mode;
    if (!SetExpression(table, options, mode))
        return 2;
    std::fprintf(stderr, "kxfind: mode %u (%s)\n", mode, mode == SEARCH_MODE_COMPLEX ? "complex" : "simple");
    const std::string& skipped = table.SearchExpression()->skipped;
    for (size_t start = 0, end = 0; start < skipped.size(); start = end + 1) {
        end = std::min(skipped.find('\n', start), skipped.size());
        std::fprintf(stderr, "kxfind: warning: search expression: %.*s\n", int(end - start), skipped.data() + start);
    }
    std::vector<uint8_t> hits;
    int32_t failedRow = -1;
    int32_t matches = 0;
    if (options.output == Output::Rows) {
        matches = Print(table, failedRow);
    } else {
        matches = table.SearchMarkRows(hits);
        failedRow = table.SearchErrorRow();
    }
    if (options.output == Output::Count)
        std::printf("%d\n", matches);
    if (failedRow >= 0) {
        std::fprintf(stderr, "kxfind: the expression failed at row %d: %s; rows where it fails are searched for its text\n",
                     failedRow, table.SearchExpression()->evalError.c_str());
        return 2;
    }
    return matches > 0 ? 0 : 1;
}

int Run(const Options& options)
{
    const QFileInfo file(QFile::decodeName(options.path));
    int32_t typeId = 0;
    if (!Readable(options.path) || !TypeOfFile(options, file, typeId))
        return 2;
    DocLoader loader(file, typeId);
    loader.SkipAuxTree();
    KxTable* table = loader.Load(-1);
    if (!table) {
        std::fprintf(stderr, "kxfind: %s could not be loaded\n", options.path);
        return 2;
    }
    int status = 0;
    if (options.output == Output::Dump) {
        Dump(*table);
    } else if (!options.expression) {
        std::printf("%d\n", table->RowCount());
        status = table->RowCount() > 0 ? 0 : 1;
    } else {
        status = Search(*table, options);
    }
    table->Release();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArgs(argc, argv, options))
        return Usage();
    StartDebugStream();
    StderrShell shell("kxfind");
    KxvSetShell(&shell);

    // The viewer's search registry holds the math library alone.
    ScriptLibRegistry search;
    ScriptLibRegistry::search = &search;
    ScriptMath math;
    math.Init(nullptr, &search);
    ScriptLogicalExpParser::Register();

    const int status = Run(options);
    std::fflush(stdout);

    KxTable::SetSearchExpressionFactory(nullptr);
    ScriptLibRegistry::search = nullptr;
    KxvSetShell(nullptr);
    ZmLib::KX::Done();
    ZmLib::PKX::Done();
    return status;
}
