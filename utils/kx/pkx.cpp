#include "utils/kx/pkx.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utils/kx/kxsinks.h"
#include "utils/kx/pkxfile.h"
#include "utils/kx/pkxudp.h"
#include "utils/common/convert.h"
#include "utils/osal/fileb.h"
#include "utils/osal/process.h"
#include "utils/osal/sock.h"

namespace ZmLib {

namespace {

PKX* g_arrayPkx[PKX_ID_COUNT];

constexpr uint32_t TRUNCATED_AT = 370;
const char TRUNCATED_MARK[] = " TRUNCATED...";
static_assert(TRUNCATED_AT + sizeof TRUNCATED_MARK == KxProt::LEN_STRFIELDS, "marker ends the area");

const char* const LEVEL_PREFIX[8] = {"ASSERT failure ", "VERIFY failure ", "EMERGENCY ", "ALERT ",
                                     "CRITICAL ",       "ERROR ",          "WARNING ",   "INFO: "};

// A bounded writer over a caller's buffer; it always keeps the terminator
// and drops what does not fit.
class LineWriter {
public:
    LineWriter(char* out, size_t size) : out_(out), size_(size)
    {
        if (size_)
            out_[0] = 0;
    }
    void Add(const char* text, size_t count)
    {
        if (!size_)
            return;
        size_t room = size_ - 1 - length_;
        if (count > room)
            count = room;
        memcpy(out_ + length_, text, count);
        length_ += count;
        out_[length_] = 0;
    }
    void Add(const char* text) { Add(text, strlen(text)); }
    void Fill(size_t count, char ch)
    {
        while (count--)
            Add(&ch, 1);
    }
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        char piece[64];
        va_list args;
        va_start(args, format);
        vsnprintf(piece, sizeof piece, format, args);
        va_end(args);
        Add(piece);
    }
    size_t Length() const { return length_; }

private:
    char* out_;
    size_t size_;
    size_t length_ = 0;
};

// Places the strings of a message one after another in its string area.
// A string that does not fit is cut and the area closed with the marker;
// a string that would start inside the marker gets no offset.
class StringPacker {
public:
    explicit StringPacker(KxProt* record) : record_(record) {}

    void Put(int slot, const char* text)
    {
        if (overflow_)
            return;
        size_t length = strlen(text);
        if (pos_ + length + 1 <= KxProt::LEN_STRFIELDS) {
            record_->offsets[slot] = uint16_t(pos_);
            memcpy(record_->strings + pos_, text, length + 1);
            pos_ += uint32_t(length + 1);
            return;
        }
        overflow_ = true;
        if (pos_ < TRUNCATED_AT) {
            record_->offsets[slot] = uint16_t(pos_);
            memcpy(record_->strings + pos_, text, TRUNCATED_AT - pos_);
        }
        memcpy(record_->strings + TRUNCATED_AT, TRUNCATED_MARK, sizeof TRUNCATED_MARK);
        pos_ = KxProt::LEN_STRFIELDS;
    }
    bool Overflow() const { return overflow_; }
    uint32_t Position() const { return pos_; }

private:
    KxProt* record_;
    uint32_t pos_ = 1;
    bool overflow_ = false;
};

// The body of a line: the entered or left function, or the level prefix
// with the place and the text up to its first LF. True for a failure
// (a level below 0) that is no function trace.
bool AddBody(LineWriter& line, const KxProt* record)
{
    if (record->FLAGS & (KXF_FUNC_ENTER | KXF_FUNC_LEAVE)) {
        line.Add((record->FLAGS & KXF_FUNC_ENTER) ? "-> " : "<- ");
        line.Add(record->String(KxdProt::SLOT_FUNC));
        return false;
    }
    if (record->LEVEL <= 0) {
        int index = record->LEVEL < KX_LEVEL_ASSERT ? 0 : record->LEVEL + 6;
        line.Add(LEVEL_PREFIX[index]);
        line.Add("[", 1);
        line.Add(record->String(KxdProt::SLOT_FILE));
        line.Format(":%u] ", record->LINE);
    }
    const char* text = record->String(KxdProt::SLOT_TEXT);
    line.Add(text, strcspn(text, "\n"));
    return record->LEVEL < 0;
}

} // namespace

bool PKX::Init(const char* logPath)
{
    DeleteFrom(PKX_ID_STD);
    if (!SOCK::Init())
        KX::PrintTagged(1, __FILE__, __LINE__, __func__, "WSAStartup (0x0101, &wsadata) == 0");
    NewStd();
    if (logPath)
        NewFile(logPath, 0x7FFFFFFF, false);
    return true;
}

uint32_t PKX::NewStd()
{
    if (g_arrayPkx[PKX_ID_STD]) {
        KX::PrintTagged(1, __FILE__, __LINE__, __func__, "ArrayPkx[PKX_ID_STD] == 0");
        return 0;
    }
    g_arrayPkx[PKX_ID_STD] = new PKXSTD();
    return KX_OUT_STD;
}

uint32_t PKX::UseStd(PKX* output)
{
    delete g_arrayPkx[PKX_ID_STD];
    g_arrayPkx[PKX_ID_STD] = output;
    return KX_OUT_STD;
}

uint32_t PKX::NewFile(const char* path, uint32_t sizeLimit, bool textMode)
{
    if (!CheckPkxId(PKX_ID_FILE))
        return 0;
    PKXFILE* file = new PKXFILE(sizeLimit, textMode);
    if (!file->Open(path)) {
        PrintError(__FILE__, __LINE__, __func__, "PKXFILE %s open failure", path ? path : "");
        delete file;
        return 0;
    }
    g_arrayPkx[PKX_ID_FILE] = file;
    return KX_OUT_FILE;
}

uint32_t PKX::NewUdp(uint32_t address, uint16_t port)
{
    if (!CheckPkxId(PKX_ID_UDP))
        return 0;
    PKXUDP* udp = new PKXUDP(address, port);
    if (!udp->Open()) {
        delete udp;
        KX::PrintTagged(0, __FILE__, __LINE__, __func__, "Socket.Open (SOCK_UDP, false)");
        abort();
    }
    g_arrayPkx[PKX_ID_UDP] = udp;
    return KX_OUT_UDP;
}

bool PKX::CheckPkxId(int32_t id)
{
    if (id < 0 || id >= PKX_ID_COUNT || g_arrayPkx[id]) {
        KX::PrintTagged(1, __FILE__, __LINE__, __func__, "ArrayPkx[id]==0");
        return false;
    }
    return true;
}

bool PKX::Delete(int32_t id)
{
    if (id == PKX_ID_STD) {
        KX::PrintTagged(0, __FILE__, __LINE__, __func__, "id != PKX_ID_STD");
        return false;
    }
    if (id < 0 || id >= PKX_ID_COUNT || !g_arrayPkx[id]) {
        KX::PrintTagged(1, __FILE__, __LINE__, __func__, "ArrayPkx[id]");
        return false;
    }
    delete g_arrayPkx[id];
    g_arrayPkx[id] = nullptr;
    return true;
}

void PKX::DeleteFrom(int32_t id)
{
    for (int32_t slot = id < 0 ? 0 : id; slot < PKX_ID_COUNT; ++slot) {
        delete g_arrayPkx[slot];
        g_arrayPkx[slot] = nullptr;
    }
}

void PKX::Done()
{
    DeleteFrom(PKX_ID_STD);
    SOCK::Done();
}

PKX* PKX::FindOutput(uint32_t mask)
{
    for (PKX* output : g_arrayPkx) {
        if (output && (output->mask & mask))
            return output;
    }
    return nullptr;
}

int PKX::EmitSeq(KXEVENT* event, KX*)
{
    event->seq = KX::NextSeq();
    return EmitNoSeq(event);
}

int PKX::EmitNoSeq(KXEVENT* event)
{
    KxProt record;
    uint32_t length = BuildMsg(event, &record);
    Dispatch(event->mask, length, &record);
    return int(length);
}

int PKX::EmitToGui(KXEVENT* event, KX*)
{
    event->seq = KX::NextSeq();
    KxProt record;
    uint32_t length = BuildMsg(event, &record);
    char* line = KxRingBuffer();
    FormatLine(&record, line, KX_RING_SIZE, "TID", "KX>>", 0);
    KxvDebugOutput(line);
    return int(length);
}

void PKX::Dispatch(uint32_t mask, uint32_t length, const KxProt* record)
{
    for (PKX* output : g_arrayPkx) {
        if (output && (output->mask & mask) && output->threshold >= record->LEVEL)
            output->Write(length, record);
    }
}

void PKX::DispatchAll(uint32_t mask, uint32_t length, const KxProt* record)
{
    for (PKX* output : g_arrayPkx) {
        if (output && (output->mask & mask))
            output->Write(length, record);
    }
}

uint32_t PKX::BuildMsg(const KXEVENT* event, KxProt* out)
{
    memset(out, 0, sizeof *out);
    out->FLAGS = event->flags;
    out->magic = KxProt::MAGIC;
    out->LEVEL = event->level;
    out->TIME = event->time / 10 - uint64_t(FILETIME_EPOCH_US);
    out->PID = PROCESS::MainThreadId;
    out->TID = event->tid;
    out->KXKEY = event->key;
    out->SEQ = event->seq;
    out->LINE = event->line;

    const char* text = event->text;

    StringPacker packer(out);
    packer.Put(KxdProt::SLOT_KXNAME, event->name ? event->name : "");
    if (event->file)
        packer.Put(KxdProt::SLOT_FILE, event->file);
    if (event->function)
        packer.Put(KxdProt::SLOT_FUNC, event->function);
    if (text)
        packer.Put(KxdProt::SLOT_TEXT, text);
    if (packer.Overflow()) {
        KxvDebugOutput("Printed line is too long:");
        KxvDebugOutput(text ? text : "");
    }
    out->opt_len = uint16_t(packer.Position());
    return KxProt::LEN_HEADER + out->opt_len;
}

bool PKX::FormatLine(const KxProt* record, char* out, size_t size, const char* threadLabel, const char* prefix,
                     int64_t timeBase)
{
    LineWriter line(out, size);
    line.Add(prefix ? prefix : "");
    line.Add((record->FLAGS & KXF_MARK) ? "*" : " ", 1);
    char time[64];
    if (timeBase != 0)
        RelTime2StrUs(int64_t(record->TIME - uint64_t(timeBase)), time, sizeof time);
    else
        Time2StrAbs(int64_t(record->TIME + uint64_t(PROCESS::LocalOffset)), time, sizeof time);
    line.Add(time);
    line.Format(" #%7d ", int(record->SEQ));

    const char* tname = record->String(KxdProt::SLOT_TNAME);
    const char* owner = threadLabel ? threadLabel : tname;
    char thread[40];
    snprintf(thread, sizeof thread, "%s(%llu)", owner, (unsigned long long)record->TID);
    size_t threadLength = strlen(thread);
    if (threadLength < 20)
        line.Fill(20 - threadLength, (threadLabel || *tname) ? ' ' : '-');
    line.Add(thread, threadLength);

    line.Add(" ", 1);
    const char* name = record->String(KxdProt::SLOT_KXNAME);
    line.Add(name);
    size_t nameLength = strlen(name);
    if (nameLength < 10)
        line.Fill(10 - nameLength, ' ');
    line.Add(" >> ");

    return AddBody(line, record);
}

void PKX::FormatLineShort(const KxProt* record, char* out, size_t size, const char* prefix)
{
    LineWriter line(out, size);
    line.Add(prefix ? prefix : "");
    line.Add((record->FLAGS & KXF_MARK) ? "*" : " ", 1);
    line.Add(record->String(KxdProt::SLOT_KXNAME));
    line.Add(" >> ");
    AddBody(line, record);
}

void PKX::PrintError(const char* file, int line, const char*, const char* format, ...)
{
    char* text = KxRingBuffer();
    int length = snprintf(text, KX_RING_SIZE, "ERROR [%s:%d] ", file ? SourceName(file) : "", line);
    if (length < 0 || uint32_t(length) >= KX_RING_SIZE)
        length = int(strlen(text));
    va_list args;
    va_start(args, format);
    vsnprintf(text + length, KX_RING_SIZE - uint32_t(length), format, args);
    va_end(args);
    KxvDebugOutput(text);
}

void PKXSTD::Write(uint32_t, const KxProt* record)
{
    char line[PKX_LINE_SIZE];
    FormatLine(record, line, sizeof line, "TID", "KX>>", 0);
    KxvDebugOutput(line);
    if (record->LEVEL < 0 && !(record->FLAGS & (KXF_FUNC_ENTER | KXF_FUNC_LEAVE)))
        KxvDebugErrorBox(line);
}

void DebugPrintf(const char* format, ...)
{
    char* text = KxRingBuffer();
    va_list args;
    va_start(args, format);
    vsnprintf(text, KX_RING_SIZE, format ? format : "", args);
    va_end(args);
    KxvDebugOutput(text);
}

} // namespace ZmLib
