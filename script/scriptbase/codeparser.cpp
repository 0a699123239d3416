#include "script/scriptbase/codeparser.h"

#include "script/scriptbase/scripttokens.h"
#include "utils/osal/process.h"

void (*ProcessEventsCallback)() = nullptr;
void (*WaitEventsCallback)() = nullptr;

CodeParser::CodeParser() : ops_(*this, true) {}

CodeParser::~CodeParser()
{
    Free();
}

void CodeParser::MakeError(const char* message, const char* argument)
{
    throw ScriptError(FormatError(message, argument, line_));
}

void CodeParser::ResetRun()
{
    while (frameCount_ > 0)
        CloseFrame();
    ReleaseTemps(0);
    stackCount_ = 0;
    functions_.clear();
    calls_.clear();
    gotoLists_.clear();
    labelLists_.clear();
    compiled_.clear();
    literals_.clear();
    fixed_.clear();
    handlers_.clear();
    returnState_ = -1;
    currentList_ = 0;
    functionDepth_ = 0;
    allowUndefined_ = false;
    returning_ = false;
}

void CodeParser::Run()
{
    if (root && root != treeSource_) {
        tree_.Build(root);
        treeSource_ = root;
    }
    if (!tree_.Root())
        return;
    // A stop request lasts until the run it ends, however the run ends.
    struct StopReset {
        std::atomic<bool>& flag;
        ~StopReset() { flag.store(false, std::memory_order_relaxed); }
    } stopReset{stopRequested_};
    ResetRun();
    pollCountdown_ = POLL_STEPS;
    lastPoll_ = ZmLib::TickMillis();
    ScriptNode* top = tree_.Root();
    PrepareTree(top, 0);
    CheckTree();
    MainCycle(top);
}

// Stop may be called from a signal handler.
static_assert(std::atomic<bool>::is_always_lock_free);

void CodeParser::Stop()
{
    stopRequested_.store(true, std::memory_order_relaxed);
}

void CodeParser::WaitWhilePaused()
{
    pause = 0;
    void (*wait)() = WaitEventsCallback ? WaitEventsCallback : ProcessEventsCallback;
    // Without an event loop nothing could resume the script.
    if (!wait)
        return;
    while (!pause && !stopRequested_.load(std::memory_order_relaxed))
        wait();
    pause = 0;
    lastPoll_ = ZmLib::TickMillis();
}

void CodeParser::PollEvents()
{
    pollCountdown_ = POLL_STEPS;
    if (!ProcessEventsCallback)
        return;
    const int64_t now = ZmLib::TickMillis();
    if (now - lastPoll_ < POLL_INTERVAL_MS)
        return;
    lastPoll_ = now;
    ProcessEventsCallback();
}

void CodeParser::MainCycle(ScriptNode* node)
{
    // The grammar always builds complete shapes; a missing part still ends
    // the run with an error instead of a crash.
    if (!node)
        MakeError("Error arguments count");
    if (--pollCountdown_ <= 0)
        PollEvents();
    if (pause)
        WaitWhilePaused();
    CheckStop();
    if (node->line != 0)
        line_ = node->line;
    if (!RunStatement(node))
        RunExpression(node);
}

bool CodeParser::RunStatement(ScriptNode* node)
{
    switch (node->type) {
    case KS_PROGRAM:
    case KS_BLOCK:
        RunBlock(node);
        return true;
    case KS_STMT_VAR:
        for (ScriptNode* child : node->children) {
            if (child->type == KS_IDENT_STMT)
                Declare(child);
            else
                MainCycle(child);
        }
        return true;
    case KS_STMT_ASSIGN:
        Assign(node);
        return true;
    case KS_STMT_ARRAY_ASSIGN:
        ArrayAssign(node);
        return true;
    case KS_STMT_UNDEF:
        Undef(node);
        return true;
    case KS_IF_COND:
        if (Condition(node->Child(0)))
            MainCycle(node->Child(1));
        else if (node->Count() > 2)
            MainCycle(node->Child(2));
        return true;
    case KS_WHILE_CYCLE:
        while (Condition(node->Child(0))) {
            MainCycle(node->Child(1));
            if (returning_)
                break;
        }
        return true;
    case KS_DO_CYCLE:
        do
            MainCycle(node->Child(1));
        while (!returning_ && Condition(node->Child(0)));
        return true;
    case KS_FOR_CYCLE:
        MainCycle(node->Child(0));
        while (Condition(node->Child(1))) {
            MainCycle(node->Child(3));
            if (returning_)
                break;
            MainCycle(node->Child(2));
        }
        return true;
    case KS_STMT_GOTO:
        throw static_cast<GotoEntry*>(node->user);
    case KS_STMT_RETURN:
        Return(node);
        return true;
    case KS_STMT_EXIT:
        pause = 0;
        throw EXIT_SCRIPT;
    case KS_STMT_PRINT:
    case KS_STMT_DEBUG:
        Print(node, node->type == KS_STMT_DEBUG);
        return true;
    case KS_FUNC_DEF:
    case KS_STMT_LABEL:
    case KS_STMT_PAUSE:
    case KS_FUNC_VAR_DECL:
        return true;
    default:
        return false;
    }
}

void CodeParser::RunChildren(ScriptNode* node, int first, ScriptNode* start)
{
    for (int i = first; i < node->Count(); i++) {
        ScriptNode* child = node->children[size_t(i)];
        if (start) {
            if (child != start)
                continue;
            start = nullptr;
        }
        if (child->type == KS_FUNC_DEF)
            continue;
        const int stackMark = stackCount_;
        const size_t tempMark = temps_.size();
        MainCycle(child);
        // The return value stays on the stack for the call.
        if (returning_)
            return;
        // A statement leaves nothing behind: a keyword call used as a
        // statement pushed a value nobody takes.
        if (stackCount_ > stackMark)
            stackCount_ = stackMark;
        ReleaseTemps(tempMark);
    }
}

void CodeParser::RunBlock(ScriptNode* node)
{
    const int entry = frameCount_;
    // Refused at once: a block that ran without its frame would let
    // unbounded recursion exhaust the machine's stack.
    if (frameCount_ >= MAX_FRAMES)
        MakeError("Error in variable stack");
    OpenFrame();
    FrameGuard guard(*this, entry);
    ScriptNode* parent = node->parent;
    if (parent && parent->type == KS_FUNC_DEF) {
        // A wrong argument is the call's fault: reported at its line.
        line_ = callLine_;
        BindParameters(parent->Child(0));
    }
    ScriptNode* start = nullptr;
    for (;;) {
        try {
            RunChildren(node, 0, start);
            break;
        } catch (GotoEntry* jump) {
            if (jump->label && jump->label->parent == node) {
                start = jump->label;
                continue;
            }
            if (!parent || parent->type == KS_FUNC_DEF) {
                line_ = jump->line;
                MakeError("Goto label found error");
            }
            throw;
        }
    }
    if (frameCount_ != entry + 1)
        MakeError("Error in variable stack");
}

bool CodeParser::Condition(ScriptNode* node)
{
    return EvalOne(node, "Cycle condition error").Get().bits != 0;
}

void CodeParser::Push(const ScriptValue& value)
{
    NextSlot().SetTemp(value);
}

void CodeParser::Push(ScriptValue&& value)
{
    NextSlot().SetTemp(std::move(value));
}

void CodeParser::PushReference(ScriptValue* variable)
{
    NextSlot().SetReference(variable);
}

ScriptValueSlot CodeParser::Pop()
{
    // Moved out: the text a popped value held goes with its last user.
    return std::move(stack_[--stackCount_]);
}

ScriptValueSlot CodeParser::EvalOne(ScriptNode* node, const char* message)
{
    EvalKeep(node, message);
    return Pop();
}

void CodeParser::EvalKeep(ScriptNode* node, const char* message, const char* argument)
{
    const int before = stackCount_;
    if (node)
        MainCycle(node);
    if (stackCount_ != before + 1)
        MakeError(message, argument);
}
