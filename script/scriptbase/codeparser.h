// The script interpreter: holds a parsed script and runs it by walking its
// syntax tree. Errors end the run as a thrown ScriptError, `exit` and a stop
// request as a thrown CodeParser::ExitCode.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "script/scriptbase/scriptlib.h"
#include "script/scriptbase/scriptnode.h"
#include "script/scriptbase/scriptoperations.h"
#include "script/scriptbase/scriptvalue.h"

struct ANTLR3_INPUT_STREAM_struct;
struct ANTLR3_COMMON_TOKEN_STREAM_struct;
struct ANTLR3_BASE_TREE_struct;
struct KxScriptLexer_Ctx_struct;
struct KxScriptParser_Ctx_struct;

// Set by the shell to one round of its event processing; a running script
// calls it every POLL_INTERVAL_MS, so that the window stays live and Stop
// and Pause can be pressed.
extern void (*ProcessEventsCallback)();
// Set by the shell to a wait for the next events; a paused script sleeps in
// it (in ProcessEventsCallback when this is not set).
extern void (*WaitEventsCallback)();

class CodeParser final : public ScriptErrorSink {
public:
    // Thrown to end a script: 0 by `exit`, 1 by a stop request.
    enum ExitCode : int { EXIT_SCRIPT = 0, EXIT_STOP = 1 };

    static constexpr int MAX_STACK = 200;
    static constexpr int MAX_FRAMES = 10;
    static constexpr int MAX_VARIABLES = 200;
    static constexpr int MAX_TABLE = 200;
    static constexpr int MAX_GOTOS = 20;
    static constexpr int32_t MAX_ARRAY_SIZE = 1 << 22;
    // The clock is read every POLL_STEPS steps; events are polled when
    // POLL_INTERVAL_MS have passed since the last poll.
    static constexpr int POLL_STEPS = 256;
    static constexpr int64_t POLL_INTERVAL_MS = 20;

    CodeParser();
    ~CodeParser();
    CodeParser(const CodeParser&) = delete;
    CodeParser& operator=(const CodeParser&) = delete;

    // The front end's objects, released by Free in the order parser, token
    // stream, lexer, input stream.
    KxScriptLexer_Ctx_struct* lexer = nullptr;
    ANTLR3_COMMON_TOKEN_STREAM_struct* tokens = nullptr;
    ANTLR3_INPUT_STREAM_struct* input = nullptr;
    KxScriptParser_Ctx_struct* parser = nullptr;
    ANTLR3_BASE_TREE_struct* root = nullptr;

    // Parses the input (taken over) and keeps the objects: 0 when the tree
    // is ready, 1 when a step failed or the parse counted errors, 2 for a
    // null input. Defined with the front end (mainparser.cpp).
    int PrepareInputParser(ANTLR3_INPUT_STREAM_struct* input);

    // Set from outside to pause, and again to resume.
    uint8_t pause = 0;
    // Case-sensitive string comparison; set at creation and never cleared.
    uint8_t matchCase = 1;

    // Preparation, check and execution. Does nothing without a tree.
    void Run();
    // Requests the end of the running script and returns: the interpreter
    // throws ExitCode 1 inside its own frames after the current statement,
    // in the pause wait or after the current library call. It only sets a
    // lock-free flag, so a signal handler may call it too. A request made
    // before Run stops the script at its first statement.
    void Stop();
    // Releases the prepared data and the front end's objects.
    void Free();
    // The line of the statement being run, or where the run ended.
    int CurrentLine() const { return line_; }


    [[noreturn]] void MakeError(const char* message, const char* argument = nullptr) override;

    // Library services.
    static std::string FormatError(const char* message, const char* argument, int line);
    [[noreturn]] static void ThrowError(const char* message, const char* argument, int line);
    static int64_t GetArgInt(int i, const ScriptArgList& args, int line);
    static double GetArgDouble(int i, const ScriptArgList& args, int line);
    static void* GetHandlerObject(const ScriptHandler* handler, int line);
    static const char* ValueToText(const ScriptValue& value, int line);
    static void FreeValue(ScriptValue& value, bool markUndefined);
    // Argument count and types against the descriptor; throws the framed error.
    static void CheckFunctionArgs(const ScriptLibRegistry& registry, int function, int library, int line,
                                  const ScriptArgList& args);
    // The checked call; a handler result is wrapped in a handler block that
    // lives as long as this interpreter.
    void CallLibrary(ScriptValue& result, int function, int library, int line, ScriptArgList& args);

private:
    struct Variable {
        const char* name;
        ScriptValue* value;
        ScriptValue storage;
    };
    struct Frame {
        int32_t count = 0;
        Variable vars[MAX_VARIABLES];
    };
    struct GotoEntry {
        ScriptNode* parent;
        ScriptNode* label;
        const char* name;
        int line;
    };
    struct GotoList {
        int32_t count = 0;
        GotoEntry entries[MAX_GOTOS];
    };
    struct UserFunction {
        ScriptNode* def;
        const char* name;
        int returnState;
    };
    struct UserCall {
        int needsValue;
        int line;
        const char* name;
    };
    // Closes the frames a block or a function opened, on every way out.
    class FrameGuard {
    public:
        FrameGuard(CodeParser& parser, int entry) : parser_(parser), entry_(entry) {}
        ~FrameGuard()
        {
            while (parser_.frameCount_ > entry_)
                parser_.CloseFrame();
        }
        FrameGuard(const FrameGuard&) = delete;
        FrameGuard& operator=(const FrameGuard&) = delete;

    private:
        CodeParser& parser_;
        int entry_;
    };
    // Sets the allow-undefined flag for one evaluation.
    class UndefinedScope {
    public:
        UndefinedScope(CodeParser& parser, bool allow) : parser_(parser), saved_(parser.allowUndefined_)
        {
            parser_.allowUndefined_ = allow;
        }
        ~UndefinedScope() { parser_.allowUndefined_ = saved_; }
        UndefinedScope(const UndefinedScope&) = delete;
        UndefinedScope& operator=(const UndefinedScope&) = delete;

    private:
        CodeParser& parser_;
        bool saved_;
    };

    // Passes and the statement loop (codeparser.cpp, codeparser_prepare.cpp).
    void ResetRun();
    void PrepareTree(ScriptNode* node, int depth);
    void PrepareNode(ScriptNode* node);
    void CheckTree();
    void MainCycle(ScriptNode* node);
    bool RunStatement(ScriptNode* node);
    void RunChildren(ScriptNode* node, int first, ScriptNode* start);
    void RunBlock(ScriptNode* node);
    bool Condition(ScriptNode* node);
    void WaitWhilePaused();
    void PollEvents();
    // Unwinds with ExitCode 1 when a stop was requested.
    void CheckStop()
    {
        if (stopRequested_.load(std::memory_order_relaxed)) {
            pause = 0;
            throw EXIT_STOP;
        }
    }

    // Expressions (codeparser_expr.cpp).
    bool RunExpression(ScriptNode* node);
    void BinaryOperation(ScriptNode* node, ScriptOp op);
    void SetMatchVariables(const ScriptMatchDetail& detail, bool matched);
    void Increment(ScriptNode* node, bool plus);
    void Conversion(ScriptNode* node);

    // Stack.
    // The next free stack slot, taken.
    ScriptValueSlot& NextSlot()
    {
        if (stackCount_ >= MAX_STACK)
            MakeError("Allocation overflow");
        return stack_[stackCount_++];
    }
    void Push(const ScriptValue& value);
    void Push(ScriptValue&& value);
    void PushReference(ScriptValue* variable);
    ScriptValueSlot Pop();
    // Evaluates a node that must leave exactly one value, and takes it off.
    ScriptValueSlot EvalOne(ScriptNode* node, const char* message);
    // The same, leaving the value on the stack.
    void EvalKeep(ScriptNode* node, const char* message, const char* argument = nullptr);

    // Variables (codeparser_vars.cpp).
    Variable* FindVariable(const char* name, bool innermostOnly);
    Variable* CreateVariable(const char* name, bool asArray);
    void GetVariableValue(const char* name, ScriptNode* indexNode, bool checkUndefined);
    int64_t EvalIndex(ScriptNode* arrayNode);
    // index: null without one. mode 0 assigns the nearest variable, 1 the
    // innermost frame's (creating it), 2 declares in the innermost frame.
    void SetVariable(const char* name, const ScriptValue& value, bool create, int mode, const int64_t* index,
                     bool asArray = false);
    void AssignValue(Variable& variable, const ScriptValue& value, const int64_t* index);
    void Assign(ScriptNode* node);
    void Declare(ScriptNode* node);
    void ArrayAssign(ScriptNode* node);
    void Undef(ScriptNode* node);
    void ArraySize(ScriptNode* node);
    void Defined(ScriptNode* node);
    void Fix(ScriptNode* node);
    void FreeFixed(ScriptNode* node);
    void ClearTextReferences(const char* text);
    void OpenFrame();
    void CloseFrame();
    void FreeFrame(Frame& frame);
    ScriptValue OwnedCopy(const ScriptValue& value);
    void KeepTemp(ScriptArray* array) { temps_.push_back(array); }
    void ReleaseTemps(size_t mark);

    // Calls (codeparser_calls.cpp).
    void Call(ScriptNode* node);
    void CallUser(ScriptNode* node, int function);
    void CallLibraryNode(ScriptNode* node);
    void BindParameters(ScriptNode* header);
    void Return(ScriptNode* node);
    void Print(ScriptNode* node, bool debug);
    bool NeedsValue(const ScriptNode* node) const;
    int FindUserFunction(const char* name) const;
    ScriptHandler* HandlerBlock(int library, void* object);

    ScriptLibRegistry* Registry() const { return ScriptLibRegistry::script; }

    ScriptTree tree_;
    // The parsed root the tree was copied from.
    ANTLR3_BASE_TREE_struct* treeSource_ = nullptr;
    ScriptOperations ops_;
    int line_ = 0;
    // The line of the user call whose body is about to bind its parameters.
    int callLine_ = 0;
    std::atomic<bool> stopRequested_{false};
    int pollCountdown_ = POLL_STEPS;
    int64_t lastPoll_ = 0;
    bool allowUndefined_ = false;
    // A return statement ran: the statements up to its function are left
    // (a flag rather than an exception, which would make every call slow).
    bool returning_ = false;
    bool returnHasValue_ = false;

    // Preparation state.
    int returnState_ = -1;
    int currentList_ = 0;
    int functionDepth_ = 0;
    std::vector<UserFunction> functions_;
    std::vector<UserCall> calls_;
    std::vector<std::unique_ptr<GotoList>> gotoLists_;
    std::vector<std::unique_ptr<GotoList>> labelLists_;
    std::vector<std::unique_ptr<RegexBuilder>> compiled_;
    // The strings made by fix(); a freed one is left undefined.
    std::vector<ScriptValue> fixed_;
    // The values of the number and string literals; a deque keeps their
    // addresses.
    std::deque<ScriptValue> literals_;

    // Run state.
    ScriptValueSlot stack_[MAX_STACK];
    int stackCount_ = 0;
    std::unique_ptr<Frame> frames_[MAX_FRAMES];
    int frameCount_ = 0;
    std::vector<ScriptArray*> temps_;
    std::vector<std::unique_ptr<ScriptHandler>> handlers_;
};
