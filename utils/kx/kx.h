// The debug-stream client: named channels, the level scale, the event and
// every emitting operation. Events go to the channel's output function,
// which turns them into raw records for the output channels.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdlib>

namespace ZmLib {

// Level scale: smaller is more severe.
enum KxLevel : int32_t {
    KX_LEVEL_ASSERT = -6,
    KX_LEVEL_VERIFY = -5,
    KX_LEVEL_EMERGENCY = -4,
    KX_LEVEL_ALERT = -3,
    KX_LEVEL_CRITICAL = -2,
    KX_LEVEL_ERROR = -1,
    KX_LEVEL_WARNING = 0,
    KX_LEVEL_NOTICE = 1,
    KX_LEVEL_INFO = 2,
    KX_LEVEL_DEBUG = 3,
};

// Record FLAGS bits set by the emitters and the callers of KX::Emit.
enum KxFlags : uint16_t {
    KXF_TEXT = 1,          // TEXT is ready text, not a format
    KXF_FUNC_ENTER = 2,
    KXF_FUNC_LEAVE = 4,
    KXF_VERSION = 32,
    KXF_MARK = 64,
    KXF_PROCESS_START = 0x1500,
    KXF_NEW_INSTANCE = 0x4000,
    KXF_DEL_INSTANCE = 0x8000,
};

// Output mask values of the channels' flags.
enum KxOutputMask : uint32_t {
    KX_OUT_STD = 1,
    KX_OUT_FILE = 2,
    KX_OUT_UDP = 4,
};

struct KXEVENT {
    uint32_t mask;
    uint64_t time;      // FILETIME (100 ns since 1601, UTC)
    uint32_t seq;
    uint64_t tid;
    int8_t level;
    uint16_t flags;
    const char* name;
    uint64_t key;
    const char* file;
    uint32_t line;
    const char* function;
    // Always ready text: the emitters format when they emit, so an
    // assertion's expression is never used as a format.
    const char* text;
};

// The debug-stream text ring: 512 buffers of 1104 bytes.
constexpr uint32_t KX_RING_COUNT = 512;
constexpr uint32_t KX_RING_SIZE = 1104;

class KX;
using KxOutputFn = int (*)(KXEVENT* event, KX* channel);

// Output of a channel that has not been registered: prints
// "Non-constructed KX-Class '%s'" through the direct path and drops the event.
int NotConstructedOutput(KXEVENT* event, KX* channel);

class KX {
public:
    // Constant-initialised channel: not linked, threshold 0, no flags, its
    // own route, output preset to NotConstructedOutput.
    constexpr explicit KX(const char* name, KxOutputFn output = &NotConstructedOutput)
        : next(nullptr), threshold(0), savedThreshold(0), flags(0), route(this), name(name), output(output)
    {
    }
    KX(const KX&) = delete;
    KX& operator=(const KX&) = delete;

    // Process start and channel management.
    static bool Init(int32_t defaultLevel, bool installHandlers, void (*abortCallback)(), uint32_t sysFlags,
                     bool spoolerMode);
    static void AbortHandler(int signal);
    // Ends the timer thread that Init started; a later Init starts it again.
    static void Done();
    static void Register(KX* channel, uint32_t flags);
    static KX* FindByName(const char* name);
    static void SetLevelAll(int32_t level);
    // The process's print-mode word: stored for whoever asks, nothing in the
    // stream reads it.
    static void SetPrintMode(int32_t mode);
    static int32_t PrintMode();
    static void SetFlagsAll(uint32_t flags);
    static void AddFlagsAll(uint32_t flags);
    static void SuspendAll();
    static void RestoreAll();
    static KX* Head();
    // The next process-wide sequence number (atomic; 0 after Init).
    static uint32_t NextSeq();

    // Emitters. The expression of an assertion is copied as it stands,
    // never used as a format.
    int AssertReport(uint64_t key, bool verify, const char* file, uint32_t line, const char* function,
                     const char* expression);
    int ErrorReport(uint64_t key, const char* file, uint32_t line, const char* function, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    int WarningReport(uint64_t key, const char* file, uint32_t line, const char* function, const char* format, ...)
        __attribute__((format(printf, 6, 7)));
    int Notice(uint64_t key, const char* format, ...) __attribute__((format(printf, 3, 4)));
    int NoticeText(uint64_t key, const char* text);
    int Print(uint64_t key, int32_t level, const char* function, const char* format, ...)
        __attribute__((format(printf, 5, 6)));
    int PrintText(uint64_t key, int32_t level, const char* function, const char* text);
    int FuncEnter(uint64_t key, int32_t level, const char* function, const char* format = nullptr, ...)
        __attribute__((format(printf, 5, 6)));
    int FuncLeave(uint64_t key, int32_t level, const char* function);
    int Emit(uint64_t key, uint16_t flags, const char* format = nullptr, ...) __attribute__((format(printf, 4, 5)));

    // Direct path: "%s [%s:%d] %s" with the assertion (0) or verification (1)
    // prefix.
    static void PrintTagged(int prefixIndex, const char* file, int line, const char* function,
                            const char* expression);

    bool Passes(int32_t level) const { return level <= threshold; }

private:
    int Fire(int32_t level, uint32_t mask, uint16_t flagsWord, uint64_t key, const char* file, uint32_t line,
             const char* function, const char* text, va_list* args);

public:
    KX* next;
    int32_t threshold;
    int32_t savedThreshold;
    uint32_t flags;
    KX* route;
    const char* name;
    KxOutputFn output;
};

// Scope guard: the leave record of every traced entry, on every path out.
class KxFuncGuard {
public:
    KxFuncGuard(KX& channel, int32_t level, const char* function)
        : channel_(channel), level_(level), function_(function)
    {
        channel_.FuncEnter(0, level_, function_);
    }
    ~KxFuncGuard() { channel_.FuncLeave(0, level_, function_); }
    KxFuncGuard(const KxFuncGuard&) = delete;
    KxFuncGuard& operator=(const KxFuncGuard&) = delete;

private:
    KX& channel_;
    int32_t level_;
    const char* function_;
};

// The library's own channel "SYS".
extern KX KxSys;

// Formats into the debug-stream text ring (512 buffers of 1104 bytes); the
// text stays valid until 512 later texts were formatted.
char* KxRingBuffer();
// The name of a report's source file without its folders: what the reports
// show, so that no folder of the machine the program was built on reaches a
// user. Null stays null.
const char* SourceName(const char* file);

} // namespace ZmLib

// Reporting macros: the channel is a ZmLib::KX object.
#define KX_ASSERT(ch, expr)                                                                    \
    do {                                                                                       \
        if (!(expr)) {                                                                         \
            (ch).AssertReport(0, false, __FILE__, __LINE__, __func__, #expr);                  \
            ::abort();                                                                         \
        }                                                                                      \
    } while (0)
// Evaluate to the condition; a failed one is reported at level -5 with the
// expression, or with a fixed text copied verbatim.
#define KX_VERIFY_TEXT(ch, expr, text) \
    ((expr) ? true : ((ch).AssertReport(0, true, __FILE__, __LINE__, __func__, (text)), false))
#define KX_VERIFY(ch, expr) KX_VERIFY_TEXT(ch, expr, #expr)
#define KX_ERROR(ch, ...) (ch).ErrorReport(0, __FILE__, __LINE__, __func__, __VA_ARGS__)
#define KX_WARNING(ch, ...) (ch).WarningReport(0, __FILE__, __LINE__, __func__, __VA_ARGS__)
#define KX_NOTICE(ch, ...) (ch).Notice(0, __VA_ARGS__)
#define KX_PRINT(ch, level, ...)                                  \
    do {                                                          \
        if ((ch).Passes(level))                                   \
            (ch).Print(0, (level), __func__, __VA_ARGS__);        \
    } while (0)
#define KX_FUNC_CONCAT2(a, b) a##b
#define KX_FUNC_CONCAT(a, b) KX_FUNC_CONCAT2(a, b)
#define KX_FUNC(ch, level) ::ZmLib::KxFuncGuard KX_FUNC_CONCAT(kxFuncGuard_, __LINE__)((ch), (level), __func__)

