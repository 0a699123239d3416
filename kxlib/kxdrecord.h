// A record in memory: the raw record followed by a ready-made text for every
// field, and the per-record links that its table manages. Record processing
// renders the number texts, resolves process and thread names, pairs
// function enter and leave records and classifies presentation errors.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kxlib/fields.h"
#include "utils/kx/kxdprot.h"

class KxTable;
struct KxTblock;
struct SelRange;
struct KxBkmarkEntry;

constexpr int FIELD_NUMBUF_LEN = 344;
static_assert(FieldNumSpansTotal() <= FIELD_NUMBUF_LEN, "every number field's span fits the number buffer");

// Presentation-error kinds.
enum KxdErrorKind : uint32_t {
    KXERR_NoErrors = 0,
    KXERR_TidListBroken,
    KXERR_FuncStackOverflown,
    KXERR_FuncLeaveUnexpected,
    KXERR_FuncLeaveNameIncorrect,
    KXERR_TidTimeRollback,
    KXERR_TimeRollbackWarning,
    KXERR_Nums
};

// The kind's name; "None" for a negative kind, "INCORRECT VALUE" past the
// last one.
const char* KxdErrorKindName(int32_t kind);

// FLAGS bits that record processing reads.
enum KxdRecordFlags : uint32_t {
    KXFLAGS_FUNC_ENTER = 0x2,
    KXFLAGS_FUNC_LEAVE = 0x4,
    KXFLAGS_VERINFO = 0x20,
    KXFLAGS_PROCESS_NAME = 0x400,
    KXFLAGS_THREAD_NAME = 0x1000,
};

// Longest process or thread name that a table keeps.
constexpr int KX_NAME_MAX = 14;

// Reads a name announcement: a label, ':', blanks, the name (ended by ','),
// and further on '=' and the id ("%lli"; 0 when no number follows). The name
// is cut to KX_NAME_MAX characters into name (KX_NAME_MAX + 1 bytes).
// Returns false (nothing to register) without ':' or without a later '='.
bool KxParseNameAnnouncement(const char* text, char* name, uint64_t* id);

// Copies text up to its first ',' and at most KX_NAME_MAX characters.
void KxCopyName(char* name, const char* text);

struct KxdMsg {
    ZmLib::KxdProt prot;
    // Where each field's text lies, from the start of the record: records
    // are copied and moved as plain bytes. 0 (the record's first byte is no
    // text) reads as the empty string.
    uint16_t textOff[FIELD_Nums];
    char NumsBuf[FIELD_NUMBUF_LEN];
    // Index in NumsBuf of its first unused byte.
    uint16_t NumsBufFreePos;

    const char* Text(int field) const
    {
        return textOff[field] ? reinterpret_cast<const char*>(this) + textOff[field] : "";
    }
    // p points into this record: a string of its string area or a number
    // span. Anything else (the "" of a slot whose offset is bad) reads as
    // the empty string.
    void SetText(int field, const char* p)
    {
        const char* base = reinterpret_cast<const char*>(this);
        textOff[field] = p > base && p < base + sizeof(KxdMsg) ? uint16_t(p - base) : 0;
    }

    // Sets every string field's text and renders every number field in
    // formats[field] into its own span of NumsBuf. With reserve (a fresh
    // record) the free position is set past the spans. timeBase: what the
    // TIME needs added to be absolute (KxTable::AbsoluteBase).
    void ConvertNum2Str(bool reserve, const int32_t formats[FIELD_Nums], uint64_t timeBase = 0);
    // Renders one number field into its span, which holds any of its texts.
    // A TIME without a time (absolute 0) shows as the start of a relative
    // table, not as the distance back to 1970.
    void RenderField(int field, uint32_t format, uint64_t timeBase = 0);
    // The value of a number field widened to 64 bits; an error report and 0
    // for a string field.
    int64_t Int64(int field) const;
    // Appends text at opt_len as the slot's string; returns its address (the
    // empty string at area byte 0 when the area is full).
    char* AppendString(int slot, const char* str);
    // Copies the whole message; its texts are found by offset, so they are
    // the copy's own.
    static void Copy(KxdMsg* dest, const KxdMsg* src);
};

static_assert(sizeof(KxdMsg) <= UINT16_MAX, "text offsets reach the whole message");

struct KxdRecord : KxdMsg {
    KxTblock* block;
    KxBkmarkEntry* bookmark;
    SelRange* selRange;
    uint32_t errorKind;

    // Runs once on a record that is already counted in its table (and again
    // in copy mode on a copy that entered another table).
    static void ProcessLine4Client(KxdRecord* record, bool copyMode);
    // ProcessLine4Client in three steps, so that a load can run the middle
    // one on several records at once: the time base (inOrder: the record
    // arrives in table order on the thread that owns the table, so it may
    // start the table's time; copies analysed on other threads arrive after
    // it was started), the texts that depend only on the record and the
    // formats (safe to run on other threads), and everything that depends on
    // the records before it (run in record order).
    static void ProcessTimeBase(KxdRecord* record, bool inOrder);
    static void ProcessOwnTexts(KxdRecord* record, bool copyMode, const int32_t formats[FIELD_Nums],
                                uint64_t timeBase);
    // Without addToAuxTree the caller adds the record to its table's aux tree
    // afterwards (a load adds a chunk at once, KxAuxTree::AddAll).
    static void ProcessInOrder(KxdRecord* record, bool copyMode, bool addToAuxTree = true);

    // A fresh slot: zeroed, no links, error kind 0.
    void Reset();
    // Moves a record to another slot with its links.
    static void Move(KxdRecord* dest, const KxdRecord* src);
    // Copies another table's record into this table's fresh slot: only the
    // message, its TIME moved by timeShift (KxTable::TimeShiftInto); the
    // slot keeps its own links and its error kind 0.
    static void CopyInto(KxdRecord* dest, const KxdRecord* src, int64_t timeShift = 0);

    uint32_t Flags() const { return prot.msg.FLAGS; }

    // Scans of many rows mostly wait for memory, and records lie about a
    // kilobyte apart: they ask for a record's head (the string area's
    // length, the text offsets, the links) some rows ahead, and for the
    // used part of its string area, whose length came with the head, when
    // nearer.
    void PrefetchHead() const
    {
        __builtin_prefetch(&prot.msg.opt_len);
        __builtin_prefetch(textOff);
        __builtin_prefetch(textOff + FIELD_Nums - 1);
        __builtin_prefetch(&errorKind);
    }
    void PrefetchStrings() const
    {
        const char* strings = prot.msg.strings;
        const size_t used = prot.msg.opt_len < sizeof(prot.msg.strings) ? prot.msg.opt_len : sizeof(prot.msg.strings);
        for (size_t at = 64; at < used; at += 64)
            __builtin_prefetch(strings + at);
    }
};
