#include "utils/kx/kx.h"

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "utils/common/textring.h"
#include "utils/kx/kxdprot.h"
#include "utils/kx/pkx.h"
#include "utils/kx/pkxfile.h"
#include "utils/osal/fileb.h"
#include "utils/osal/process.h"
#include "utils/osal/thread.h"
#include "utils/osal/timeros.h"

namespace ZmLib {

KX KxSys("SYS", &PKX::EmitToGui);

namespace {

KX* g_head = nullptr;
int32_t g_printMode = 0;
int32_t g_defaultLevel = 0;
std::atomic<uint32_t> g_seq{0};
TextRing<KX_RING_COUNT, KX_RING_SIZE> g_ring;

void (*volatile g_abortCallback)() = nullptr;

int8_t ClampLevel(int32_t level)
{
    if (level < -128)
        return -128;
    if (level > 127)
        return 127;
    return int8_t(level);
}

char* FormatV(const char* format, va_list args)
{
    char* text = KxRingBuffer();
    vsnprintf(text, KX_RING_SIZE, format ? format : "", args);
    return text;
}

// Writes the decimal digits of value into out; async-signal-safe.
char* AppendInt(char* out, int value)
{
    char digits[12];
    int count = 0;
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    do {
        digits[count++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *out++ = '-';
    while (count)
        *out++ = digits[--count];
    *out = 0;
    return out;
}

} // namespace

char* KxRingBuffer()
{
    return g_ring.Take();
}

const char* SourceName(const char* file)
{
    if (file == nullptr)
        return nullptr;
    const char* slash = std::strrchr(file, '/');
    return slash ? slash + 1 : file;
}

bool KX::Init(int32_t defaultLevel, bool installHandlers, void (*abortCallback)(), uint32_t sysFlags,
              bool spoolerMode)
{
    // Started on every Init, not only the first: an Init after KX::Done must
    // get its timer thread back. A running thread is left as it is.
    TIMER_OS::Init();
    if (PROCESS::TimeBase == 0) {
        PROCESS::TimeBase = NowMicros() - TickMillis() * 1000;
        PROCESS::LocalOffset = LocalTimeOffset();
    }
    if (PROCESS::MainThreadId == 0) {
        PROCESS::MainThreadId = uint64_t(CurrentThreadId());
        PROCESS::InitName();
    }
    g_defaultLevel = defaultLevel;
    KxSys.threshold = defaultLevel;
    KxSys.flags = sysFlags;
    KxSys.output = &PKX::EmitSeq;
    KxSys.next = nullptr;
    g_head = &KxSys;
    g_seq = 0;
    if (installHandlers) {
        g_abortCallback = abortCallback;
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = &KX::AbortHandler;
        sigemptyset(&action.sa_mask);
        for (int sig : {SIGABRT, SIGFPE, SIGILL, SIGINT, SIGSEGV})
            sigaction(sig, &action, nullptr);
    }
    if (spoolerMode) {
        PrintTagged(0, __FILE__, __LINE__, __func__, "!spoolermode");
        return false;
    }
    return true;
}

namespace {

// How long the abort handler's report and callback may take before the
// process ends without them.
constexpr unsigned ABORT_BOUND_SECONDS = 2;

void EndAbortedProcess(int) { _exit(1); }

// A report that blocks (standard error a full pipe, a callback waiting for
// a lock that the interrupted thread holds) must not keep the process
// alive: SIGALRM ends it with the handler's exit code. Every call here is
// async-signal-safe.
void BoundAbortHandler()
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = &EndAbortedProcess;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    alarm(ABORT_BOUND_SECONDS);
}

} // namespace

// Runs inside a signal handler: only async-signal-safe calls. The report
// goes to standard error and, as a record, to the log file.
void KX::AbortHandler(int signal)
{
    BoundAbortHandler();
    KxSys.flags |= KX_OUT_STD;
    char line[64] = "PROCESS ABORT HANDLER: signal ";
    char* end = AppendInt(line + strlen(line), signal);
    *end = '\n';
    ssize_t ignored = write(STDERR_FILENO, line, size_t(end + 1 - line));
    (void)ignored;
    *end = 0;

    KxProt record;
    memset(&record, 0, sizeof record);
    record.FLAGS = KXF_TEXT;
    record.magic = KxProt::MAGIC;
    record.LEVEL = KX_LEVEL_ERROR;
    record.TIME = uint64_t(NowMicros());
    record.PID = PROCESS::MainThreadId;
    record.TID = uint64_t(CurrentThreadId());
    record.SEQ = g_seq.fetch_add(1);
    uint32_t pos = 1;
    record.offsets[KxdProt::SLOT_KXNAME] = record.AppendRaw(pos, KxSys.name);
    record.offsets[KxdProt::SLOT_FILE] = record.AppendRaw(pos, "<unknown>");
    record.offsets[KxdProt::SLOT_TEXT] = record.AppendRaw(pos, line);
    record.opt_len = uint16_t(pos);
    PKXFILE::WriteFromSignal(line, &record);

    if (g_abortCallback)
        g_abortCallback();
    _exit(1);
}

void KX::Done() { TIMER_OS::Done(); }

void KX::Register(KX* channel, uint32_t flags)
{
    channel->flags = flags;
    channel->threshold = g_defaultLevel;
    channel->output = &PKX::EmitSeq;
    // A channel registered twice stays listed once: pushing it again would
    // close the list into a loop.
    for (KX* listed = g_head; listed; listed = listed->next) {
        if (listed == channel)
            return;
    }
    channel->next = g_head;
    g_head = channel;
}

KX* KX::FindByName(const char* name)
{
    for (KX* channel = g_head; channel; channel = channel->next) {
        if (name && strcmp(channel->name, name) == 0)
            return channel;
    }
    return nullptr;
}

void KX::SetLevelAll(int32_t level)
{
    for (KX* channel = g_head; channel; channel = channel->next)
        channel->threshold = level;
}

void KX::SetPrintMode(int32_t mode)
{
    g_printMode = mode;
}

int32_t KX::PrintMode()
{
    return g_printMode;
}

void KX::SetFlagsAll(uint32_t flags)
{
    for (KX* channel = g_head; channel; channel = channel->next)
        channel->flags = flags;
}

void KX::AddFlagsAll(uint32_t flags)
{
    for (KX* channel = g_head; channel; channel = channel->next)
        channel->flags |= flags;
}

void KX::SuspendAll()
{
    for (KX* channel = g_head; channel; channel = channel->next) {
        if (channel->threshold >= 0) {
            channel->savedThreshold = channel->threshold;
            channel->threshold = -1;
        }
    }
}

void KX::RestoreAll()
{
    for (KX* channel = g_head; channel; channel = channel->next) {
        if (channel->threshold < 0)
            channel->threshold = channel->savedThreshold;
    }
}

KX* KX::Head() { return g_head; }

uint32_t KX::NextSeq() { return g_seq.fetch_add(1); }

// Fills the event every emitter sends and hands it to the output. With args
// the text is a format expanded here; without, it is copied as it stands
// (never used as a format: the expression of an assertion).
int KX::Fire(int32_t level, uint32_t mask, uint16_t flagsWord, uint64_t key, const char* file, uint32_t line,
             const char* function, const char* text, va_list* args)
{
    KXEVENT event{};
    event.mask = mask;
    event.level = ClampLevel(level);
    event.flags = flagsWord;
    event.key = key;
    event.file = SourceName(file);
    event.line = line;
    event.function = function;
    event.text = args ? FormatV(text, *args) : text;
    event.time = (uint64_t(NowMicros()) + FILETIME_EPOCH_US) * 10;
    event.tid = uint64_t(CurrentThreadId());
    event.name = route->name;
    return route->output(&event, this);
}

int KX::AssertReport(uint64_t key, bool verify, const char* file, uint32_t line, const char* function,
                     const char* expression)
{
    return Fire(verify ? KX_LEVEL_VERIFY : KX_LEVEL_ASSERT, flags | KX_OUT_STD, 0, key, file, line, function,
                expression, nullptr);
}

int KX::ErrorReport(uint64_t key, const char* file, uint32_t line, const char* function, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = Fire(KX_LEVEL_ERROR, flags | KX_OUT_STD, KXF_TEXT, key, file, line, function, format, &args);
    va_end(args);
    return result;
}

int KX::WarningReport(uint64_t key, const char* file, uint32_t line, const char* function, const char* format,
                      ...)
{
    va_list args;
    va_start(args, format);
    int result = Fire(KX_LEVEL_WARNING, flags | KX_OUT_STD, KXF_TEXT, key, file, line, function, format, &args);
    va_end(args);
    return result;
}

int KX::Notice(uint64_t key, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = Fire(KX_LEVEL_NOTICE, flags | KX_OUT_STD, KXF_TEXT, key, nullptr, 0, nullptr, format, &args);
    va_end(args);
    return result;
}

int KX::NoticeText(uint64_t key, const char* text)
{
    return Fire(KX_LEVEL_NOTICE, flags | KX_OUT_STD, KXF_TEXT, key, nullptr, 0, nullptr, text, nullptr);
}

int KX::Print(uint64_t key, int32_t level, const char* function, const char* format, ...)
{
    if (!Passes(level))
        return 0;
    va_list args;
    va_start(args, format);
    int result = Fire(level, flags, KXF_TEXT, key, nullptr, 0, function, format, &args);
    va_end(args);
    return result;
}

int KX::PrintText(uint64_t key, int32_t level, const char* function, const char* text)
{
    if (!Passes(level))
        return 0;
    return Fire(level, flags, KXF_TEXT, key, nullptr, 0, function, text, nullptr);
}

int KX::FuncEnter(uint64_t key, int32_t level, const char* function, const char* format, ...)
{
    if (!Passes(level))
        return 0;
    va_list args;
    va_start(args, format);
    int result = Fire(level, flags, format ? KXF_FUNC_ENTER | KXF_TEXT : KXF_FUNC_ENTER, key, nullptr, 0, function,
                      format, format ? &args : nullptr);
    va_end(args);
    return result;
}

int KX::FuncLeave(uint64_t, int32_t level, const char* function)
{
    if (!Passes(level))
        return 0;
    return Fire(level, flags, KXF_FUNC_LEAVE, 0, nullptr, 0, function, nullptr, nullptr);
}

int KX::Emit(uint64_t key, uint16_t flagsWord, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int result = Fire(KX_LEVEL_NOTICE, flags, format ? flagsWord | KXF_TEXT : flagsWord, key, nullptr, 0, nullptr,
                      format, format ? &args : nullptr);
    va_end(args);
    return result;
}

void KX::PrintTagged(int prefixIndex, const char* file, int line, const char*, const char* expression)
{
    DebugPrintf("%s [%s:%d] %s", prefixIndex == 0 ? "ASSERT failure " : "VERIFY failure ", file ? SourceName(file) : "",
                line, expression ? expression : "");
}

} // namespace ZmLib
