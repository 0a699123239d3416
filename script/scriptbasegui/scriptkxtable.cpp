#include "script/scriptbasegui/scriptkxtable.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include <QFile>
#include <QFileInfo>

#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/openfilekind.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/scriptchannels.h"
#include "utils/osal/readpath.h"

namespace {

enum Function {
    OPEN_LL,
    SIZE,
    NAME,
    SELECT,
    FILTER,
    CLEAR_FILTER,
    CLEAR_BOOKMARK,
    CLEAR_SELECT,
    BOOKMARK,
    SELECTED_COUNT,
    FILTERED_COUNT,
    SET_EXPRESSION,
    FIND_NEXT,
    FIND_PREV,
    GET_CUR_ROW,
    SET_CURRENT_REC,
    GET_CUR_RECORD,
    GET_RECORD,
    JUMP_NEXT,
    JUMP_PREV,
    JUMP_NEXT_SELECTION,
    JUMP_PREV_SELECTION,
    JUMP_NEXT_BOOKMARK,
    JUMP_PREV_BOOKMARK,
    JUMP_NEXT_D_ERROR,
    JUMP_PREV_D_ERROR,
    JUMP_NEXT_P_ERROR,
    JUMP_PREV_P_ERROR,
    ROW_GET_INDEX,
    ROW_GET_VALUE,
};

constexpr uint32_t H = SCRIPT_HANDLER, I = SCRIPT_INTEGER, S = SCRIPT_STRING, R = SCRIPT_RECORD;

const ScriptLibFunc kFunctions[ScriptKxTable::FUNCTION_COUNT] = {
    {"kxtable.open_ll", 0, H, 2, {S, I}},
    {"kxtable.size", 0, I, 1, {H}},
    {"kxtable.name", 0, S, 1, {H}},
    {"kxtable.select", 0, I, 3, {H, I, I}},
    {"kxtable.filter", 0, I, 1, {H}},
    {"kxtable.clear_filter", 0, I, 1, {H}},
    {"kxtable.clear_bookmark", 0, I, 1, {H}},
    {"kxtable.clear_select", 0, I, 1, {H}},
    {"kxtable.bookmark", 0, I, 1, {H}},
    {"kxtable.selected_count", 0, I, 1, {H}},
    {"kxtable.filtered_count", 0, I, 1, {H}},
    {"kxtable.set_expression", 0, I, 2, {H, S, I, I}},
    {"kxtable.find_next", 0, I, 1, {H, S}},
    {"kxtable.find_prev", 0, I, 1, {H, S}},
    {"kxtable.get_cur_row", 0, I, 1, {H}},
    {"kxtable.set_current_rec", 0, I, 2, {H, I}},
    {"kxtable.get_cur_record", 0, R, 1, {H}},
    {"kxtable.get_record", 0, R, 2, {H, I}},
    {"kxtable.jump_next", 0, I, 1, {H, S}},
    {"kxtable.jump_prev", 0, I, 1, {H, S}},
    {"kxtable.jump_next_selection", 0, I, 1, {H}},
    {"kxtable.jump_prev_selection", 0, I, 1, {H}},
    {"kxtable.jump_next_bookmark", 0, I, 1, {H}},
    {"kxtable.jump_prev_bookmark", 0, I, 1, {H}},
    {"kxtable.jump_next_d_error", 0, I, 1, {H}},
    {"kxtable.jump_prev_d_error", 0, I, 1, {H}},
    {"kxtable.jump_next_p_error", 0, I, 1, {H}},
    {"kxtable.jump_prev_p_error", 0, I, 1, {H}},
    {"kxrow.get_index", 0, I, 1, {R}},
    {"kxrow.get_value", 0, S, 2, {R, I}},
};

struct NamedValue {
    const char* name;
    int64_t value;
};

const NamedValue kColors[] = {
    {"COLOR_GRAY", 0xC5CABD},   {"COLOR_CYAN", 0x00FFFF},   {"COLOR_BLUE", 0x67BCDB},
    {"COLOR_TEAL", 0x00B4B4},   {"COLOR_GREEN", 0x14A55C},  {"COLOR_LIME", 0x00FF00},
    {"COLOR_OLIVE", 0xA2AB58},  {"COLOR_ORANGE", 0xFFA22F}, {"COLOR_YELLOW", 0xFFFF00},
    {"COLOR_MAGENTA", 0xFF40FF}, {"COLOR_RED", 0xFF6464},   {"COLOR_BROWN", 0xDD9451},
};

const NamedValue kOtherConstants[] = {
    {"CONVERSION_INT", 0},         {"CONVERSION_FLOAT", 1},        {"CONVERSION_IP_ADDR", 2},
    {"CONVERSION_DATE", 3},        {"CONVERSION_TIME", 4},         {"CONVERSION_TIME_MICRO", 5},
    {"CONVERSION_TIME_MILLI", 6},  {"CONVERSION_TIME_SECOND", 7},  {"CONVERSION_DATE_TIME", 8},
    // The modes as kxtable.set_expression takes them.
    {"SEARCHMODE_AUTO", SEARCH_MODE_AUTO}, {"SEARCHMODE_COMPLEX", SEARCH_MODE_COMPLEX},
    {"SEARCHMODE_SIMPLE", SEARCH_MODE_SIMPLE},
};

static_assert(FIELD_Nums + std::size(kColors) + std::size(kOtherConstants) == ScriptKxTable::CONSTANT_COUNT,
              "every constant is counted");

// The highest field index a script may read: NUM1 and NUM2 stay hidden.
constexpr int64_t LAST_READABLE_FIELD = FIELD_COUNT;

[[noreturn]] void RowError(int64_t row, const KxTable& table, int line)
{
    // Worded as the view library words it: one script text serves both.
    const std::string text =
        "Row " + std::to_string(row) + " out of range, the table has " + std::to_string(table.RowCount()) + " rows";
    CodeParser::ThrowError(text.c_str(), " line ", line);
}

// The zero-based row of a one-based script row, refused outside the rows.
int32_t CheckedRow(int64_t row, const KxTable& table, int line)
{
    if (row < 1 || row > table.RowCount())
        RowError(row, table, line);
    return int32_t(row - 1);
}

// A one-based script row for a selection, which clamps to the rows itself:
// values beyond 32 bits stay beyond the rows instead of wrapping into them.
int32_t ClampedRow(int64_t row)
{
    return int32_t(std::clamp<int64_t>(row, INT32_MIN + 1LL, INT32_MAX) - 1);
}

int64_t OptionalInt(const ScriptArgList& args, uint32_t i, int line, int64_t absent)
{
    return args.count > i ? CodeParser::GetArgInt(int(i), args, line) : absent;
}

// A row found by a search or jump becomes the current one.
int64_t MoveTo(KxTable& table, int32_t row)
{
    if (row >= 0)
        table.SetCurRow(row);
    return row;
}

int64_t Filter(KxTable& table)
{
    if (table.FilterOn)
        CodeParser::ThrowError("Filter is already set", nullptr, -999);
    if (table.SearchMode() < 0)
        CodeParser::ThrowError("Search expression in not ready", nullptr, -999);
    if (table.NumSelected)
        table.ClearSelections();
    const int32_t before = table.RowCount();
    const int32_t count = table.SearchFilterOn();
    // A filter that hides nothing or everything is no filter.
    if (table.FilterOn && (count == 0 || count == before))
        table.ClearFilter();
    return count;
}

// "Search expression error: " with what was refused and why, on one line:
// the parser's several reports, one a line, are joined by "; ".
[[noreturn]] void ExpressionError(std::string told, int line)
{
    for (size_t at = told.find('\n'); at != std::string::npos; at = told.find('\n', at))
        told.replace(at, 1, "; ");
    CodeParser::ThrowError(("Search expression error: " + told).c_str(), " line ", line);
}

int64_t SetExpression(KxTable& table, const ScriptArgList& args, int line)
{
    const uint8_t matchCase = OptionalInt(args, 2, line, 0) >= 1 ? 1 : 0;
    const int64_t requested = OptionalInt(args, 3, line, SEARCH_MODE_AUTO);
    if (requested != SEARCH_MODE_SIMPLE && requested != SEARCH_MODE_COMPLEX && requested != SEARCH_MODE_AUTO)
        CodeParser::ThrowError("Third parameter 'Search mode' error: ", std::to_string(requested).c_str(), -999);
    uint32_t mode = uint32_t(requested);
    const char* text = args.Arg(1).text ? args.Arg(1).text : "";
    ScriptKxTable::CheckExpression(table, table.SearchSetExpression(text, matchCase, mode), text, line);
    return 1;
}

// The current row's record; a table without one names the row it lacks.
KxdRecord* CurrentRecord(KxTable& table, int line)
{
    return table.GetRecord(CheckedRow(int64_t(table.CurRow()) + 1, table, line));
}

int64_t SetBookmark(KxTable& table, bool on, int line)
{
    KxdRecord* record = CurrentRecord(table, line);
    if ((record->bookmark != nullptr) == on)
        return 0;
    table.BookmarkSet(table.CurRow(), on);
    return 1;
}

int64_t JumpToBookmark(KxTable& table, bool forward)
{
    const KxBkmarkEntry* entry = table.BookmarkGetHelper(table.CurRow(), forward);
    return entry ? MoveTo(table, entry->index) : -1;
}

// Functions 1..27 on the handler's table, but for the two that take records.
void RunOnTable(KxTable& table, int function, ScriptValue& result, const ScriptArgList& args, int line)
{
    int64_t value = 0;
    switch (function) {
    case SIZE: value = table.RowCount(); break;
    case NAME: result.text = table.Name(); return;
    case SELECT: {
        const int64_t tag = OptionalInt(args, 3, line, 0);
        if (tag < 0 || tag > int64_t(UINT32_MAX)) {
            const std::string text = "Argument 3 out of range " + std::to_string(tag);
            CodeParser::ThrowError(text.c_str(), " line ", line);
        }
        table.SelRangeSet(ClampedRow(args.Arg(1).Int()), ClampedRow(args.Arg(2).Int()), true, uint32_t(tag));
        break;
    }
    case FILTER: value = Filter(table); break;
    case CLEAR_FILTER:
        if (table.FilterOn)
            table.ClearFilter();
        break;
    case CLEAR_BOOKMARK: value = SetBookmark(table, false, line); break;
    case CLEAR_SELECT: table.ClearSelections(); break;
    case BOOKMARK: value = SetBookmark(table, true, line); break;
    case SELECTED_COUNT: value = table.NumSelected; break;
    case FILTERED_COUNT: value = table.FilterOn ? table.RowCount() : 0; break;
    case SET_EXPRESSION: value = SetExpression(table, args, line); break;
    case FIND_NEXT: value = MoveTo(table, table.SearchNext()); break;
    case FIND_PREV: value = MoveTo(table, table.SearchPrev()); break;
    case GET_CUR_ROW: value = table.CurRow(); break;
    case SET_CURRENT_REC:
        table.SetCurRow(CheckedRow(args.Arg(1).Int(), table, line));
        value = table.CurRow();
        break;
    case JUMP_NEXT_SELECTION: value = MoveTo(table, table.SelRangeGetNextBoundary()); break;
    case JUMP_PREV_SELECTION: value = MoveTo(table, table.SelRangeGetPrevBoundary()); break;
    case JUMP_NEXT_BOOKMARK: value = JumpToBookmark(table, true); break;
    case JUMP_PREV_BOOKMARK: value = JumpToBookmark(table, false); break;
    case JUMP_NEXT_D_ERROR: value = MoveTo(table, table.SearchFlaggedNext(KxTable::FLAGGED_DATA_ERROR)); break;
    case JUMP_PREV_D_ERROR: value = MoveTo(table, table.SearchFlaggedPrev(KxTable::FLAGGED_DATA_ERROR)); break;
    case JUMP_NEXT_P_ERROR: value = MoveTo(table, table.SearchFlaggedNext(KxTable::FLAGGED_PRES_ERROR)); break;
    case JUMP_PREV_P_ERROR: value = MoveTo(table, table.SearchFlaggedPrev(KxTable::FLAGGED_PRES_ERROR)); break;
    default: break; // jump_next and jump_prev jump only in a view
    }
    result.SetInt(value);
}

} // namespace

void ScriptKxTable::CheckExpression(const KxTable& table, bool accepted, const char* text, int line)
{
    if (!accepted) {
        const std::string& reason = table.SearchError();
        // A text taken as no expression at all (blank, too long) is told by
        // the reason alone.
        if (table.SearchMode() == SEARCH_MODE_UNDECIDED && !reason.empty())
            ExpressionError(reason, line);
        ExpressionError(reason.empty() ? text : text + (": " + reason), line);
    }
    // A pattern the dialect reads only leniently is refused, as the find
    // line refuses it, rather than searched for what it happens to match.
    const KxSearchExpression* expression = table.SearchExpression();
    if (expression && !expression->patternProblem.empty())
        ExpressionError(text + (": " + expression->patternProblem), line);
}

ScriptKxTable::~ScriptKxTable() { RunEnded(); }

int ScriptKxTable::Init(ScriptLibRegistry* registry)
{
    ScriptConstantTable& constants = ScriptConstantTable::Global();
    for (int field = 0; field < FIELD_Nums; ++field)
        constants.AddInt(FieldKey(field), field);
    int position = 0;
    for (const NamedValue& color : kColors) {
        constants.AddInt(color.name, color.value);
        KxScriptChannel.Print(0, ZmLib::KX_LEVEL_NOTICE, "ScriptKxTable::Init", "Color%02d %s = %06X", position++,
                              color.name, unsigned(color.value));
    }
    for (const NamedValue& constant : kOtherConstants)
        constants.AddInt(constant.name, constant.value);
    return registry ? registry->Add(this, kFunctions, FUNCTION_COUNT) : -1;
}

void ScriptKxTable::Hold(KxTable* table)
{
    if (!table || std::find(held_.begin(), held_.end(), table) != held_.end())
        return;
    table->AddRef();
    held_.push_back(table);
}

std::string ScriptKxTable::RunEnded()
{
    latestTicket_.clear();
    tickets_.clear();
    for (KxTable* table : held_)
        table->Release();
    held_.clear();
    return std::string();
}

KxTable& ScriptKxTable::TableOf(const ScriptArgList& args, int line) const
{
    auto* table = static_cast<KxTable*>(CodeParser::GetHandlerObject(args.Arg(0).handler, line));
    if (!table || std::find(held_.begin(), held_.end(), table) == held_.end())
        CodeParser::ThrowError("KxTable handler error ", " line ", line);
    return *table;
}

KxTable* ScriptKxTable::Open(const char* path, std::string& why)
{
    // Tried here first, through the read check, so that the loader (which
    // shows a box) is reached only with a regular file it can open.
    const int fd = ZmLib::OpenToRead(path, why);
    if (fd < 0) {
        if (why.empty())
            why = std::strerror(errno);
        return nullptr;
    }
    close(fd);
    const QFileInfo file(QFile::decodeName(path));
    bool byType = false;
    int32_t typeId = FileTypeBySuffix(QFile::encodeName(file.suffix()).constData(), &byType);
    if (!byType) {
        typeId = OpenFileKind::FormatForSuffix(file.suffix());
        if (typeId < 0) {
            why = "no file type or import format claims its name";
            return nullptr;
        }
    }
    DocLoader loader(file, typeId);
    KxTable* table = loader.Load(-1);
    // The loader's reference is the one the run holds.
    if (table)
        held_.push_back(table);
    else
        why = loader.Failure().toLocal8Bit().toStdString();
    return table;
}

void ScriptKxTable::SetRecord(ScriptValue& result, KxTable& table, int32_t row)
{
    RecordTicket*& latest = latestTicket_[&table];
    if (!latest || latest->rowsVersion != table.RowsVersion()) {
        tickets_.push_back({&table, table.RowsVersion()});
        latest = &tickets_.back();
    }
    result.object = latest;
    result.SetInt(int64_t(row) + 1);
}

const KxdRecord& ScriptKxTable::RecordOf(const ScriptValue& value, int line)
{
    const auto* ticket = static_cast<const RecordTicket*>(value.object);
    if (!ticket)
        CodeParser::ThrowError("Record error ", " line ", line);
    KxTable& table = *ticket->table;
    if (table.RowsVersion() != ticket->rowsVersion) {
        const std::string text = "Record of row " + std::to_string(value.Int()) +
                                 " is out of date: rows of its table were erased, inserted or filtered since it "
                                 "was taken";
        CodeParser::ThrowError(text.c_str(), " line ", line);
    }
    return *table.GetRecord(CheckedRow(value.Int(), table, line));
}

void ScriptKxTable::GetValue(ScriptValue& result, const ScriptArgList& args, int line)
{
    const KxdRecord* record = &RecordOf(args.Arg(0), line);
    const int64_t field = args.Arg(1).Int();
    if (field < 0 || field > LAST_READABLE_FIELD)
        CodeParser::ThrowError("Field index error", nullptr, -999);
    result.text = record->Text(int(field));
    if (FieldIsNumber(int32_t(field))) {
        result.type = SCRIPT_INTEGER;
        result.SetInt(record->Int64(int(field)));
    }
}

bool ScriptKxTable::Run(ScriptValue& result, int function, int*, int line, ScriptArgList& args)
{
    switch (function) {
    case OPEN_LL: {
        const char* path = args.Arg(0).text ? args.Arg(0).text : "";
        std::string why;
        result.object = Open(path, why);
        if (!result.object)
            CodeParser::ThrowError(("Can not open table " + std::string(path) + ": " + why).c_str(), " line ", line);
        return true;
    }
    case ROW_GET_INDEX:
        RecordOf(args.Arg(0), line);
        result.SetInt(args.Arg(0).Int());
        return true;
    case ROW_GET_VALUE: GetValue(result, args, line); return true;
    default: break;
    }
    if (function < 0 || function >= FUNCTION_COUNT)
        return false;
    KxTable& table = TableOf(args, line);
    if (function == GET_CUR_RECORD)
        SetRecord(result, table, CheckedRow(int64_t(table.CurRow()) + 1, table, line));
    else if (function == GET_RECORD)
        SetRecord(result, table, CheckedRow(args.Arg(1).Int(), table, line));
    else
        RunOnTable(table, function, result, args, line);
    return true;
}
