// The output channels of the debug stream: the registry of up to three
// outputs, the event path that turns events into raw records, the text-line
// format shared by the Debug panel and the text log, and the direct path for
// lines about the output machinery itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "utils/kx/kx.h"
#include "utils/kx/kxdprot.h"

namespace ZmLib {

// Size of the buffer a text line is formatted into.
constexpr uint32_t PKX_LINE_SIZE = 1100;

enum PkxId : int32_t {
    PKX_ID_STD = 0,
    PKX_ID_FILE = 1,
    PKX_ID_UDP = 2,
    PKX_ID_COUNT = 3,
};

class PKX {
public:
    PKX(int32_t id, uint32_t mask) : id(id), mask(mask) {}
    virtual ~PKX() = default;
    PKX(const PKX&) = delete;
    PKX& operator=(const PKX&) = delete;

    // Writes one record of length bytes (header and used string area).
    virtual void Write(uint32_t length, const KxProt* record) = 0;

    // Registry. Init starts socket use for the process and Done ends it.
    static bool Init(const char* logPath);
    static uint32_t NewStd();
    // Puts output, made with the standard output's id and mask, in place of
    // the standard output (which goes), for a tool that shows the stream in
    // a form of its own; takes it over and returns the mask.
    static uint32_t UseStd(PKX* output);
    static uint32_t NewFile(const char* path, uint32_t sizeLimit, bool textMode);
    // The UDP output to address (first octet in the low byte) and port: its
    // mask, 0 when the slot is taken. A socket that cannot be opened is an
    // assertion failure ("Socket.Open (SOCK_UDP, false)") and aborts.
    static uint32_t NewUdp(uint32_t address, uint16_t port);
    // False, with the verification line "ArrayPkx[id]==0", when the slot is
    // taken or the id is out of range.
    static bool CheckPkxId(int32_t id);
    static bool Delete(int32_t id);
    static void DeleteFrom(int32_t id);
    static void Done();
    static PKX* FindOutput(uint32_t mask);

    // Event path.
    static int EmitSeq(KXEVENT* event, KX* channel);
    static int EmitToGui(KXEVENT* event, KX* channel);
    static int EmitNoSeq(KXEVENT* event);
    static void Dispatch(uint32_t mask, uint32_t length, const KxProt* record);
    static void DispatchAll(uint32_t mask, uint32_t length, const KxProt* record);

    // Builds the wire message of an event; returns its length (72 + opt_len).
    static uint32_t BuildMsg(const KXEVENT* event, KxProt* out);

    // The text line of a record into out (size bytes, always terminated).
    // timeBase 0 writes local absolute time, otherwise the time relative to
    // it. True when LEVEL is negative and the body is a text.
    static bool FormatLine(const KxProt* record, char* out, size_t size, const char* threadLabel,
                           const char* prefix, int64_t timeBase);
    static void FormatLineShort(const KxProt* record, char* out, size_t size, const char* prefix);

    // Direct path: "ERROR [%s:%d] " and the formatted text.
    static void PrintError(const char* file, int line, const char* function, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    int32_t threshold = 127;
    int32_t id;
    uint32_t mask;
};

// The standard output: the text line to the Debug panel and debugger output,
// and failures also to the error box.
class PKXSTD : public PKX {
public:
    PKXSTD() : PKX(PKX_ID_STD, KX_OUT_STD) {}
    void Write(uint32_t length, const KxProt* record) override;
};

// Direct path: formats into the debug text ring and passes the line to
// KxvDebugOutput.
void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace ZmLib
