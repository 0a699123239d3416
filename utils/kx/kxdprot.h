// The raw record: 496 bytes, little-endian, as it lies on the wire of the
// debug stream, in raw record files and in documents. KxProt is its middle
// part (the 72-byte header and the string area), the wire message.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "records are stored little-endian and read in place");

namespace ZmLib {

struct KxProt {
    static constexpr uint32_t LEN_HEADER = 72;
    static constexpr uint32_t LEN_STRFIELDS = 384;
    static constexpr uint32_t LEN_MAX = LEN_HEADER + LEN_STRFIELDS;
    static constexpr uint16_t MAGIC = 0xAAAA;
    static constexpr uint16_t MAGIC_SWAPPED = 0xABAB;
    static constexpr int STR_SLOTS = 10;

    uint32_t FLAGS;
    uint16_t magic;
    uint8_t reserved;
    int8_t LEVEL;
    uint64_t TIME;
    uint64_t PID;
    uint64_t TID;
    uint64_t KXKEY;
    uint32_t SEQ;
    uint32_t LINE;
    uint16_t offsets[STR_SLOTS];
    uint16_t opt_len;
    uint16_t reserved2;
    char strings[LEN_STRFIELDS];

    // The string of a slot; "" for an empty slot, an offset outside the area
    // or a string without its terminator inside the area.
    const char* String(int slot) const;
    // Reverses the bytes of the header's numbers and sets the magic.
    void SwapHeader();
    // Bytes of the message: the header and opt_len bytes of the string area
    // (opt_len capped at the area's size).
    uint32_t MessageLength() const;
    // Writes text with its terminator at pos of the string area and moves pos
    // past it; async-signal-safe. A text that does not fit is cut; one with
    // no room left gets offset 0 and writes nothing. Returns the offset.
    uint16_t AppendRaw(uint32_t& pos, const char* text);
};

static_assert(sizeof(KxProt) == KxProt::LEN_MAX, "wire message size");
static_assert(offsetof(KxProt, FLAGS) == 0, "FLAGS");
static_assert(offsetof(KxProt, magic) == 4, "magic");
static_assert(offsetof(KxProt, reserved) == 6, "reserved");
static_assert(offsetof(KxProt, LEVEL) == 7, "LEVEL");
static_assert(offsetof(KxProt, TIME) == 8, "TIME");
static_assert(offsetof(KxProt, PID) == 16, "PID");
static_assert(offsetof(KxProt, TID) == 24, "TID");
static_assert(offsetof(KxProt, KXKEY) == 32, "KXKEY");
static_assert(offsetof(KxProt, SEQ) == 40, "SEQ");
static_assert(offsetof(KxProt, LINE) == 44, "LINE");
static_assert(offsetof(KxProt, offsets) == 48, "offsets");
static_assert(offsetof(KxProt, opt_len) == 68, "opt_len");
static_assert(offsetof(KxProt, strings) == KxProt::LEN_HEADER, "strings");

struct KxdProt {
    static constexpr uint32_t SIZE = 496;

    // Indices of the record fields stored as numbers.
    enum NumberField : int {
        FLD_STIME = 0,
        FLD_IP = 1,
        FLD_PROT = 2,
        FLD_FLAGS = 4,
        FLD_TIME = 5,
        FLD_SEQ = 6,
        FLD_PID = 8,
        FLD_TID = 10,
        FLD_LEVEL = 12,
        FLD_KXKEY = 14,
        FLD_LINE = 16,
        FLD_NEST = 20,
        FLD_ETIME = 21,
        FLD_COUNT = 22,
        FLD_NUM1 = 23,
        FLD_NUM2 = 24,
    };
    // String slots of the offset table; slot 9 belongs to no field.
    enum StringSlot : int {
        SLOT_HOST = 0,
        SLOT_NODE = 1,
        SLOT_PNAME = 2,
        SLOT_TNAME = 3,
        SLOT_KXNAME = 4,
        SLOT_FILE = 5,
        SLOT_FUNC = 6,
        SLOT_TEXT = 7,
        SLOT_STR1 = 8,
    };

    uint64_t STIME;
    uint32_t IP;
    uint8_t PROT;
    uint8_t reserved[3];
    KxProt msg;
    uint32_t EXECTIME; // field ETIME; <cerrno> owns that name
    uint16_t NEST;
    uint16_t COUNT;
    uint64_t NUM1;
    uint64_t NUM2;

    static bool IsNumberField(int field);
    // The number field widened to 64 bits (LEVEL sign-extended, the others
    // zero-extended); 0 for any index that is not a number field.
    int64_t GetIntValue(int field) const;
    // Stores the value at the field's width. Any other index is an internal
    // error: "Incorrect field enum value" on SYS, then abort.
    void SetIntValue(int field, uint64_t value);
    // Rebuilds the string area from ten optional strings indexed by slot,
    // optionally with exact lengths. opt_len always ends at the final
    // position, so later appends never land on byte 0.
    void SetStrings(const char* const strings[KxProt::STR_SLOTS], const uint16_t* lengths);

    const char* String(int slot) const { return msg.String(slot); }
    void SwapHeader() { msg.SwapHeader(); }
};

static_assert(sizeof(KxdProt) == KxdProt::SIZE, "record size");
static_assert(offsetof(KxdProt, STIME) == 0, "STIME");
static_assert(offsetof(KxdProt, IP) == 8, "IP");
static_assert(offsetof(KxdProt, PROT) == 12, "PROT");
static_assert(offsetof(KxdProt, reserved) == 13, "reserved");
static_assert(offsetof(KxdProt, msg) == 16, "wire message");
static_assert(offsetof(KxdProt, msg) + offsetof(KxProt, magic) == 20, "magic");
static_assert(offsetof(KxdProt, msg) + offsetof(KxProt, LEVEL) == 23, "LEVEL");
static_assert(offsetof(KxdProt, msg) + offsetof(KxProt, TIME) == 24, "TIME");
static_assert(offsetof(KxdProt, msg) + offsetof(KxProt, SEQ) == 56, "SEQ");
static_assert(offsetof(KxdProt, msg) + offsetof(KxProt, offsets) == 64, "offsets");
static_assert(offsetof(KxdProt, msg) + offsetof(KxProt, opt_len) == 84, "opt_len");
static_assert(offsetof(KxdProt, msg) + offsetof(KxProt, strings) == 88, "strings");
static_assert(offsetof(KxdProt, EXECTIME) == 472, "ETIME");
static_assert(offsetof(KxdProt, NEST) == 476, "NEST");
static_assert(offsetof(KxdProt, COUNT) == 478, "COUNT");
static_assert(offsetof(KxdProt, NUM1) == 480, "NUM1");
static_assert(offsetof(KxdProt, NUM2) == 488, "NUM2");

} // namespace ZmLib
