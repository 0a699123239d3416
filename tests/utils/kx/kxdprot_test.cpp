#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "utils/kx/kx.h"
#include "utils/kx/kxdprot.h"
#include "utils/kx/pkx.h"

using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

using Put = void (*)(uint8_t* bytes, size_t offset, uint64_t value, int width);

void PutLE(uint8_t* bytes, size_t offset, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = uint8_t(value >> (8 * i));
}

void PutBE(uint8_t* bytes, size_t offset, uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[offset + width - 1 - i] = uint8_t(value >> (8 * i));
}

struct NumberField {
    int field;
    size_t offset;
    int width;
    uint64_t raw;
    int64_t value;
};

// Every number field at its byte offset in the 496-byte record.
const NumberField FIELDS[] = {
    {KxdProt::FLD_STIME, 0, 8, 1561910811000000ull, 1561910811000000ll},
    {KxdProt::FLD_IP, 8, 4, 0x0101A8C0, 0x0101A8C0},
    {KxdProt::FLD_PROT, 12, 1, 3, 3},
    {KxdProt::FLD_FLAGS, 16, 4, 0x1501, 0x1501},
    {KxdProt::FLD_LEVEL, 23, 1, 0xFE, -2},
    {KxdProt::FLD_TIME, 24, 8, 0x0005E8E1C3A4B2C1ull, 0x0005E8E1C3A4B2C1ll},
    {KxdProt::FLD_PID, 32, 8, 4321, 4321},
    {KxdProt::FLD_TID, 40, 8, 0x1122334455667788ull, 0x1122334455667788ll},
    {KxdProt::FLD_KXKEY, 48, 8, 0xDEADBEEFCAFEF00Dull, int64_t(0xDEADBEEFCAFEF00Dull)},
    {KxdProt::FLD_SEQ, 56, 4, 123456, 123456},
    {KxdProt::FLD_LINE, 60, 4, 77, 77},
    {KxdProt::FLD_ETIME, 472, 4, 250, 250},
    {KxdProt::FLD_NEST, 476, 2, 2, 2},
    {KxdProt::FLD_COUNT, 478, 2, 9, 9},
    {KxdProt::FLD_NUM1, 480, 8, 0x0102030405060708ull, 0x0102030405060708ll},
    {KxdProt::FLD_NUM2, 488, 8, 0xFFFFFFFFFFFFFFFFull, -1},
};

// A record with every field set; the wire header (bytes 16 to 87) in the
// given byte order, the rest little-endian.
void BuildRecord(uint8_t* bytes, Put put)
{
    memset(bytes, 0, KxdProt::SIZE);
    for (const NumberField& f : FIELDS)
        (f.offset >= 16 && f.offset < 88 ? put : &PutLE)(bytes, f.offset, f.raw, f.width);
    put(bytes, 20, put == &PutLE ? 0xAAAA : 0xABAB, 2);
    bytes[22] = 0x5A;
    put(bytes, 64 + 2 * KxdProt::SLOT_TEXT, 1, 2);
    put(bytes, 84, 6, 2);
    memcpy(bytes + 88, "\0hello", 7);
}

KxdProt Zeroed()
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    return record;
}

} // namespace

TEST(KxdProtLayout, EveryFieldReadsAndWritesItsBytesInBothOrders)
{
    uint8_t bytes[KxdProt::SIZE];
    BuildRecord(bytes, &PutLE);
    KxdProt record;
    memcpy(&record, bytes, sizeof record);
    EXPECT_EQ(record.msg.magic, KxProt::MAGIC);
    EXPECT_EQ(record.msg.reserved, 0x5A);
    EXPECT_STREQ(record.String(KxdProt::SLOT_TEXT), "hello");
    EXPECT_STREQ(record.String(KxdProt::SLOT_HOST), "");
    EXPECT_EQ(record.msg.MessageLength(), 78u);

    for (const NumberField& f : FIELDS) {
        SCOPED_TRACE(f.field);
        EXPECT_EQ(record.GetIntValue(f.field), f.value);
        // Bits above the field's width are dropped, neighbours untouched.
        uint8_t expected[KxdProt::SIZE] = {};
        PutLE(expected, f.offset, f.raw, f.width);
        KxdProt written = Zeroed();
        written.SetIntValue(f.field, f.width == 8 ? f.raw : f.raw | (~0ull << (8 * f.width)));
        EXPECT_EQ(memcmp(&written, expected, sizeof expected), 0);
        EXPECT_EQ(written.GetIntValue(f.field), f.value);
    }

    // The twin in the opposite byte order decodes to the same values.
    BuildRecord(bytes, &PutBE);
    KxdProt twin;
    memcpy(&twin, bytes, sizeof twin);
    EXPECT_EQ(twin.msg.magic ^ KxProt::MAGIC, 0x0101);
    twin.SwapHeader();
    EXPECT_EQ(memcmp(&twin, &record, sizeof twin), 0);
}

TEST(KxdProtLayoutDeathTest, SetIntValueOfAStringFieldStops)
{
    KxdProt record = Zeroed();
    // The report reaches standard error through the direct path and the
    // default debug sink, whatever outputs earlier tests left behind.
    setenv("KXV_DEBUG_STDERR", "1", 1);
    ZmLib::KxOutputFn saved = ZmLib::KxSys.output;
    ZmLib::KxSys.output = &ZmLib::PKX::EmitToGui;
    for (int field : {18, 25, -1})
        EXPECT_DEATH(record.SetIntValue(field, 1), "Incorrect field enum value") << field;
    ZmLib::KxSys.output = saved;
    unsetenv("KXV_DEBUG_STDERR");
}

TEST(KxdProtStrings, HostileOffsetsReadAsEmpty)
{
    KxdProt record = Zeroed();
    memset(record.msg.strings, 'x', sizeof record.msg.strings);
    record.msg.strings[0] = 0;
    for (uint16_t offset : {384, 0xFFFF, 10}) {
        record.msg.offsets[7] = offset;
        EXPECT_STREQ(record.String(7), "") << offset;
    }
    record.msg.strings[383] = 0;
    EXPECT_EQ(strlen(record.String(7)), 373u);
    EXPECT_STREQ(record.String(-1), "");
    EXPECT_STREQ(record.String(10), "");
    record.msg.opt_len = 0xFFFF;
    EXPECT_EQ(record.msg.MessageLength(), KxProt::LEN_MAX);
}

TEST(KxdProtStrings, SetStringsPacking)
{
    const std::string q100(100, 'q');
    const std::string a381(381, 'a');
    const char* q = q100.c_str();
    struct Case {
        const char* name;
        std::array<const char*, 10> texts;
        bool withLengths;
        std::array<uint16_t, 10> lengths;
        std::array<uint16_t, 10> offsets;
        uint16_t optLen;
        int probeSlot;
        size_t probeLength;
    };
    const Case cases[] = {
        {"single text", {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "abc"}, false, {},
         {0, 0, 0, 0, 0, 0, 0, 1}, 5, 7, 3},
        // opt_len ends at the final position, never left at 0: an append at
        // 0 would overwrite the empty string that absent slots point to.
        {"ten long texts stop at the limit", {q, q, q, q, q, q, q, q, q, q}, false, {},
         {1, 102, 203, 304}, 384, 3, 79},
        {"ten long texts with lengths keep offsets", {q, q, q, q, q, q, q, q, q, q}, true,
         {100, 100, 100, 100, 100, 100, 100, 100, 100, 100}, {1, 102, 203, 304, 305, 306, 307, 308, 309, 310}, 311,
         2, 100},
        {"exact lengths and null slots", {"hostXXXX", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, ""},
         true, {4}, {1, 0, 0, 0, 0, 0, 0, 0, 6}, 7, 0, 4},
        {"a text ending at the limit stops the packing", {a381.c_str(), "late"}, false, {}, {1}, 383, 0, 381},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KxdProt record = Zeroed();
        for (uint16_t& offset : record.msg.offsets)
            offset = 77;
        record.SetStrings(c.texts.data(), c.withLengths ? c.lengths.data() : nullptr);
        for (int slot = 0; slot < 10; ++slot) {
            EXPECT_EQ(record.msg.offsets[slot], c.offsets[size_t(slot)]) << slot;
            if (c.texts[size_t(slot)]) {
                EXPECT_EQ(std::string(c.texts[size_t(slot)]).rfind(record.String(slot), 0), 0u) << slot;
            }
        }
        EXPECT_EQ(record.msg.opt_len, c.optLen);
        EXPECT_EQ(record.msg.strings[0], 0);
        EXPECT_EQ(record.msg.strings[c.optLen - 1], 0);
        EXPECT_EQ(strlen(record.String(c.probeSlot)), c.probeLength);
    }
}

TEST(KxdProtStrings, AppendRawCutsAtTheAreaAndThenGivesNoOffset)
{
    // On the stack, so that a write past the area is caught.
    KxProt record;
    memset(&record, 0x5A, sizeof record);
    uint32_t pos = 1;
    EXPECT_EQ(record.AppendRaw(pos, "SYS"), 1u);
    EXPECT_EQ(pos, 5u);
    EXPECT_EQ(record.AppendRaw(pos, ""), 5u);
    EXPECT_EQ(pos, 6u);
    const std::string longText(500, 'L');
    EXPECT_EQ(record.AppendRaw(pos, longText.c_str()), 6u);
    EXPECT_EQ(pos, KxProt::LEN_STRFIELDS);
    EXPECT_EQ(record.strings[KxProt::LEN_STRFIELDS - 1], 0);
    EXPECT_EQ(strlen(record.strings + 6), KxProt::LEN_STRFIELDS - 7);
    for (const char* late : {"late", ""}) {
        EXPECT_EQ(record.AppendRaw(pos, late), 0u) << late;
        EXPECT_EQ(pos, KxProt::LEN_STRFIELDS);
    }
    EXPECT_STREQ(record.strings + 1, "SYS");
}

TEST(KxdProtStrings, AppendRawOfATextEndingOneBeforeTheLimit)
{
    KxProt record;
    memset(&record, 0, sizeof record);
    uint32_t pos = 1;
    const std::string fits(KxProt::LEN_STRFIELDS - 2, 'f');
    EXPECT_EQ(record.AppendRaw(pos, fits.c_str()), 1u);
    EXPECT_EQ(pos, KxProt::LEN_STRFIELDS);
    EXPECT_EQ(record.String(0), std::string());
    record.offsets[7] = 1;
    EXPECT_EQ(record.String(7), fits);
    EXPECT_EQ(record.AppendRaw(pos, "x"), 0u);
}
