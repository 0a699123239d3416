// The "kxtable." script functions over the table documents of the main
// window, and "gui.print". A handler designates a table tab; every call
// checks it against the open documents, so a script that kept the handler
// of a closed tab gets an error instead of a dangling tab. After each call
// the event loop runs once, so the window stays live while a script runs.
#pragma once

#include <cstdint>
#include <string>

#include "script/scriptbase/scriptlib.h"

class ScriptKxTable;
class TabBase;
class TabTable;

class ScriptKxView : public ScriptLibRun {
public:
    static constexpr int FUNCTION_COUNT = 50;
    // The functions by their index in the descriptor table.
    enum Function : int {
        F_OPEN, F_SIZE, F_NAME, F_SELECT, F_FILTER, F_CLEAR_FILTER, F_CLEAR_BOOKMARK, F_CLEAR_SELECT, F_BOOKMARK,
        F_SELECTED_COUNT, F_FILTERED_COUNT, F_SET_EXPRESSION, F_FIND_NEXT, F_FIND_PREV, F_CURRENT_ROW,
        F_SET_CURRENT_REC, F_GET_CUR_RECORD, F_GET_RECORD, F_JUMP_NEXT, F_JUMP_PREV, F_JUMP_NEXT_SELECTION,
        F_JUMP_PREV_SELECTION, F_JUMP_NEXT_BOOKMARK, F_JUMP_PREV_BOOKMARK, F_JUMP_NEXT_D_ERROR, F_JUMP_PREV_D_ERROR,
        F_JUMP_NEXT_P_ERROR, F_JUMP_PREV_P_ERROR, F_PRINT, F_SET_OUTLINE_FILTER, F_PIN_PHRASE, F_UNPIN_PHRASE,
        F_SET_OUTLINE_CONDITIONS, F_SET_JUMP_CONDITIONS, F_SHOW_IN_TABLE, F_GET_CUR_TABLE, F_GET_TABLE,
        F_GET_CUR_TABLE_LL, F_GET_TABLE_LL, F_COPY, F_PASTE, F_COPY_ALL, F_PASTE_TO_ROW, F_OPEN_GRAPH, F_SET_ACTIVE,
        F_SHOW_INFO_PANEL, F_SHOW_OUTLINE_PANEL, F_SET_IMMEDIATE_REFRESH, F_PIN_EXPRESSION_SET,
        F_PIN_EXPRESSION_SHOW_ALL, F_COUNT
    };


    // table, tableLibrary: the table library and its registry index; the
    // "_ll" functions return its handlers, and the record and jump
    // functions read the tab's table through it.
    void Init(ScriptLibRegistry* registry, ScriptKxTable* table, int tableLibrary);
    bool Run(ScriptValue& result, int function, int* library, int line, ScriptArgList& args) override;
    // The immediate-refresh flag a script may have left off is on again.
    std::string RunEnded() override;

private:
    int64_t RunOnTab(TabTable* tab, ScriptValue& result, int function, int line, ScriptArgList& args);
    // The table library's function of the same index on the tab's table.
    int64_t OnTable(TabTable* tab, ScriptValue& result, int function, int line, const ScriptArgList& args);
    static TabTable* HandlerTab(const ScriptArgList& args, int line);
    static TabTable* NamedTab(const char* name, int line);
    static TabTable* CurrentTab(int line);

    ScriptKxTable* table_ = nullptr;
    int tableLibrary_ = -1;
};
