#include "kxviewer/scriptkxview.h"

#include <QCoreApplication>
#include <QFile>

#include "kxlib/table/kxtable.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/tabtable.h"
#include "script/scriptbasegui/scriptkxtable.h"
#include "script/scriptbase/codeparser.h"

namespace {

constexpr uint32_t S = SCRIPT_STRING;
constexpr uint32_t I = SCRIPT_INTEGER;
constexpr uint32_t H = SCRIPT_HANDLER;
constexpr uint32_t R = SCRIPT_RECORD;
constexpr int NO_LINE = -999;


const ScriptLibFunc kFunctions[ScriptKxView::FUNCTION_COUNT] = {
    {"kxtable.open", 0, H, 2, {S, I}},
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
    {"kxtable.set_expression", 0, I, 2, {H, S, I}},
    {"kxtable.find_next", 0, I, 1, {H, S}},
    {"kxtable.find_prev", 0, I, 1, {H, S}},
    {"kxtable.current_row", 0, I, 1, {H}},
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
    {"gui.print", 0, I, 1, {S}},
    {"kxtable.set_outline_filter", 0, I, 1, {H}},
    {"kxtable.pin_phrase", 0, I, 1, {H, I}},
    {"kxtable.unpin_phrase", 0, I, 2, {H, I}},
    {"kxtable.set_outline_conditions", 0, I, 7, {H, I, I, I, I, I, I}},
    {"kxtable.set_jump_conditions", 0, I, 7, {H, I, I, I, I, I, I}},
    {"kxtable.show_in_table", 0, I, 1, {H}},
    {"kxtable.get_cur_table", 0, H, 1, {S}},
    {"kxtable.get_table", 0, H, 1, {S}},
    {"kxtable.get_cur_table_ll", 0, H, 1, {H}},
    {"kxtable.get_table_ll", 0, H, 1, {S}},
    {"kxtable.copy", 0, I, 1, {H}},
    {"kxtable.paste", 0, I, 1, {H}},
    {"kxtable.copy_all", 0, I, 1, {H}},
    {"kxtable.paste_to_row", 0, I, 2, {H, I}},
    {"kxtable.open_graph", 0, I, 1, {H}},
    {"kxtable.set_active", 0, I, 1, {H}},
    {"kxtable.show_info_panel", 0, I, 1, {H}},
    {"kxtable.show_outline_panel", 0, I, 1, {H}},
    {"kxtable.set_immediate_refresh", 0, I, 1, {I}},
    {"kxtable.pin_expression_set", 0, I, 3, {H, I, S, I}},
    {"kxtable.pin_expression_show_all", 0, I, 1, {H}},
};
static_assert(ScriptKxView::F_COUNT == ScriptKxView::FUNCTION_COUNT, "one descriptor per function");

[[noreturn]] void Fail(const char* message, const char* argument = nullptr) { CodeParser::ThrowError(message, argument, NO_LINE); }

const char* Text(const ScriptArgList& args, uint32_t i) { return args.Arg(i).text ? args.Arg(i).text : ""; }

} // namespace

void ScriptKxView::Init(ScriptLibRegistry* registry, ScriptKxTable* table, int tableLibrary)
{
    table_ = table;
    tableLibrary_ = tableLibrary;
    registry->Add(this, kFunctions, FUNCTION_COUNT);
}

std::string ScriptKxView::RunEnded()
{
    TabBase::ImmediateRefresh = 1;
    return std::string();
}

int64_t ScriptKxView::OnTable(TabTable* tab, ScriptValue& result, int function, int line, const ScriptArgList& args)
{
    table_->Hold(tab->Table);
    ScriptHandler handler{tableLibrary_, tab->Table};
    ScriptValue value;
    value.type = SCRIPT_HANDLER;
    value.handler = &handler;
    ScriptArgList onTable = args;
    onTable.args[0].SetTemp(value);
    int library = tableLibrary_;
    table_->Run(result, function, &library, line, onTable);
    return result.Int();
}

TabTable* ScriptKxView::HandlerTab(const ScriptArgList& args, int line)
{
    const ScriptValue& value = args.Arg(0);
    void* object = value.type == SCRIPT_HANDLER && value.handler ? value.handler->object : nullptr;
    // The tab may have closed since the script took the handler: only an
    // open document is used.
    if (object && TearOffMain::Me)
        for (TearOffTabDock* dock : TearOffMain::Me->Docks)
            if (dock == object)
                if (auto* tab = qobject_cast<TabTable*>(dock))
                    return tab;
    CodeParser::ThrowError("KxView handler error ", " line ", line);
}

TabTable* ScriptKxView::CurrentTab(int)
{
    MainWindow* window = MainWindow::Instance();
    TabTable* tab = window ? window->CurrentTabTable() : nullptr;
    if (!tab)
        Fail("Current dock is not a table");
    return tab;
}

TabTable* ScriptKxView::NamedTab(const char* name, int)
{
    if (TearOffMain* main = TearOffMain::Me) {
        const QList<TearOffTabDock*>& docks = main->Docks;
        for (int i = int(docks.size()) - 1; i >= 2; --i) {
            auto* tab = qobject_cast<TabTable*>(docks[i]);
            if (tab && std::strcmp(tab->Table->Name(), name) == 0)
                return tab;
        }
    }
    Fail("Table not found ", name);
}

bool ScriptKxView::Run(ScriptValue& result, int function, int* library, int line, ScriptArgList& args)
{
    if (function < 0 || function >= FUNCTION_COUNT)
        return false;
    switch (function) {
    case F_OPEN: {
        MainWindow* window = MainWindow::Instance();
        TabTable* tab = nullptr;
        if (window) {
            MainWindow::OpenWithoutRecent = true;
            tab = window->OpenFile(QFile::decodeName(Text(args, 0)), TearOffMain::MainHost, -1,
                                   MainWindow::OPEN_PATTERNS_OR_ASK);
            MainWindow::OpenWithoutRecent = false;
        }
        if (!tab)
            Fail("Can not open table");
        PrefGlobal::Save();
        result.object = tab;
        break;
    }
    case F_PRINT: {
        QString text = QString::fromLocal8Bit(Text(args, 0));
        text.remove(QStringLiteral("IDENT_STMT "));
        MainWindow::AddToSystemLog(text);
        result.SetInt(0);
        break;
    }
    case F_GET_CUR_TABLE:
    case F_GET_TABLE:
        result.object = function == F_GET_CUR_TABLE ? CurrentTab(line) : NamedTab(Text(args, 0), line);
        break;
    case F_GET_CUR_TABLE_LL:
    case F_GET_TABLE_LL: {
        TabTable* tab = function == F_GET_CUR_TABLE_LL ? CurrentTab(line) : NamedTab(Text(args, 0), line);
        table_->Hold(tab->Table);
        result.object = tab->Table;
        *library = tableLibrary_;
        break;
    }
    case F_SET_IMMEDIATE_REFRESH: {
        const bool on = CodeParser::GetArgInt(0, args, line) != 0;
        TabBase::ImmediateRefresh = on ? 1 : 0;
        MainWindow* window = MainWindow::Instance();
        if (TabTable* tab = on && window ? window->CurrentTabTable() : nullptr) {
            tab->RefreshOutlineTable();
            tab->UpdateBase();
        }
        result.SetInt(0);
        break;
    }
    default:
        result.SetInt(RunOnTab(HandlerTab(args, line), result, function, line, args));
        break;
    }
    if (function != F_SELECT)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return true;
}
