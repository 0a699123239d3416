#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "utils/kx/kxdprot.h"

using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

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

KxdProt Zeroed()
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    return record;
}

// A record with every header field set, written in the given byte order.
void BuildHeader(uint8_t* bytes, void (*put)(uint8_t*, size_t, uint64_t, int))
{
    memset(bytes, 0, KxdProt::SIZE);
    put(bytes, 16, 0x00001501, 4);
    put(bytes, 20, put == &PutLE ? 0xAAAA : 0xABAB, 2);
    bytes[22] = 0x5A;
    bytes[23] = 0xFE;
    put(bytes, 24, 0x0005E8E1C3A4B2C1ull, 8);
    put(bytes, 32, 4321, 8);
    put(bytes, 40, 0x1122334455667788ull, 8);
    put(bytes, 48, 0xDEADBEEFCAFEF00Dull, 8);
    put(bytes, 56, 123456, 4);
    put(bytes, 60, 77, 4);
    for (int slot = 0; slot < 10; ++slot)
        put(bytes, 64 + 2 * slot, slot == 7 ? 1 : 0, 2);
    put(bytes, 84, 6, 2);
    memcpy(bytes + 88, "\0hello", 7);
}

} // namespace

TEST(KxdProtLayout, HandBuiltBytesReadAsFields)
{
    uint8_t bytes[KxdProt::SIZE];
    BuildHeader(bytes, &PutLE);
    PutLE(bytes, 0, 1561910811000000ull, 8);
    PutLE(bytes, 8, 0x0101A8C0, 4);
    bytes[12] = 3;
    PutLE(bytes, 472, 250, 4);
    PutLE(bytes, 476, 2, 2);
    PutLE(bytes, 478, 9, 2);
    PutLE(bytes, 480, 0x0102030405060708ull, 8);
    PutLE(bytes, 488, 42, 8);

    KxdProt record;
    memcpy(&record, bytes, sizeof record);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_STIME), 1561910811000000ll);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_IP), 0x0101A8C0);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_PROT), 3);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_FLAGS), 0x1501);
    EXPECT_EQ(record.msg.magic, KxProt::MAGIC);
    EXPECT_EQ(record.msg.reserved, 0x5A);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_LEVEL), -2);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_TIME), 0x0005E8E1C3A4B2C1ll);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_PID), 4321);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_TID), 0x1122334455667788ll);
    EXPECT_EQ(uint64_t(record.GetIntValue(KxdProt::FLD_KXKEY)), 0xDEADBEEFCAFEF00Dull);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_SEQ), 123456);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_LINE), 77);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_ETIME), 250);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_NEST), 2);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_COUNT), 9);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_NUM1), 0x0102030405060708ll);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_NUM2), 42);
    EXPECT_STREQ(record.String(KxdProt::SLOT_TEXT), "hello");
    EXPECT_STREQ(record.String(KxdProt::SLOT_HOST), "");
    EXPECT_EQ(record.msg.MessageLength(), 78u);
}

TEST(KxdProtLayout, SetIntValueWritesTheDocumentedBytes)
{
    KxdProt record = Zeroed();
    record.SetIntValue(KxdProt::FLD_TIME, 1561910811000000ull);
    record.SetIntValue(KxdProt::FLD_LEVEL, uint64_t(-1));
    record.SetIntValue(KxdProt::FLD_NEST, 70000);
    record.SetIntValue(KxdProt::FLD_SEQ, 0x1234567890ull);
    record.SetIntValue(KxdProt::FLD_PROT, 0x1FF);
    record.SetIntValue(KxdProt::FLD_NUM2, 0xFFFFFFFFFFFFFFFFull);

    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
    uint64_t time = 0;
    for (int i = 7; i >= 0; --i)
        time = (time << 8) | bytes[24 + i];
    EXPECT_EQ(time, 1561910811000000ull);
    EXPECT_EQ(bytes[23], 0xFF);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_LEVEL), -1);
    EXPECT_EQ(bytes[476] | bytes[477] << 8, 4464);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_NEST), 4464);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_SEQ), 0x34567890);
    EXPECT_EQ(bytes[12], 0xFF);
    EXPECT_EQ(bytes[13], 0);
    EXPECT_EQ(record.GetIntValue(KxdProt::FLD_NUM2), -1);
    EXPECT_EQ(bytes[495], 0xFF);
}


TEST(KxdProtLayoutDeathTest, SetIntValueOfAStringFieldStops)
{
    KxdProt record = Zeroed();
    // The report reaches standard error through the default debug sink.
    setenv("KXV_DEBUG_STDERR", "1", 1);
    EXPECT_DEATH(record.SetIntValue(18, 1), "Incorrect field enum value");
    EXPECT_DEATH(record.SetIntValue(25, 1), "Incorrect field enum value");
    EXPECT_DEATH(record.SetIntValue(-1, 1), "Incorrect field enum value");
    unsetenv("KXV_DEBUG_STDERR");
}

TEST(KxdProtSwap, FlagsOfTheOppositeOrderReadAfterTheSwap)
{
    KxdProt record = Zeroed();
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&record);
    bytes[20] = 0xAB;
    bytes[21] = 0xAB;
    bytes[16] = 0;
    bytes[17] = 0;
    bytes[18] = 0;
    bytes[19] = 2;
    record.SwapHeader();
    EXPECT_EQ(record.msg.FLAGS, 2u);
    EXPECT_EQ(record.msg.magic, 0xAAAA);
}

TEST(KxdProtSwap, OppositeOrderTwinDecodesToTheSameValues)
{
    uint8_t little[KxdProt::SIZE];
    uint8_t big[KxdProt::SIZE];
    BuildHeader(little, &PutLE);
    BuildHeader(big, &PutBE);
    // Fields outside the wire header are not the swap's business.
    PutLE(big, 0, 99, 8);
    PutLE(little, 0, 99, 8);

    KxdProt a, b;
    memcpy(&a, little, sizeof a);
    memcpy(&b, big, sizeof b);
    EXPECT_EQ(b.msg.magic ^ KxProt::MAGIC, 0x0101);
    b.SwapHeader();
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    EXPECT_STREQ(b.String(KxdProt::SLOT_TEXT), "hello");
    EXPECT_EQ(b.msg.LEVEL, -2);
    EXPECT_EQ(b.msg.reserved, 0x5A);
}

TEST(KxdProtStrings, HostileOffsetsReadAsEmpty)
{
    KxdProt record = Zeroed();
    memset(record.msg.strings, 'x', sizeof record.msg.strings);
    record.msg.strings[0] = 0;
    record.msg.offsets[7] = 384;
    EXPECT_STREQ(record.String(7), "");
    record.msg.offsets[7] = 0xFFFF;
    EXPECT_STREQ(record.String(7), "");
    // No terminator between the offset and the end of the area.
    record.msg.offsets[7] = 10;
    EXPECT_STREQ(record.String(7), "");
    record.msg.strings[383] = 0;
    EXPECT_EQ(strlen(record.String(7)), 373u);
    EXPECT_STREQ(record.String(-1), "");
    EXPECT_STREQ(record.String(10), "");
    record.msg.opt_len = 0xFFFF;
    EXPECT_EQ(record.msg.MessageLength(), KxProt::LEN_MAX);
}

TEST(KxdProtStrings, SingleTextSlot)
{
    KxdProt record = Zeroed();
    const char* strings[10] = {};
    strings[KxdProt::SLOT_TEXT] = "abc";
    record.SetStrings(strings, nullptr);
    EXPECT_EQ(record.msg.offsets[7], 1);
    EXPECT_EQ(memcmp(record.msg.strings, "\0abc\0", 5), 0);
    EXPECT_EQ(record.msg.opt_len, 5);
    for (int slot = 0; slot < 10; ++slot) {
        if (slot != 7) {
            EXPECT_EQ(record.msg.offsets[slot], 0) << slot;
        }
    }
}

TEST(KxdProtStrings, TenLongStringsWithoutLengthsStopAtTheLimit)
{
    std::string hundred(100, 'q');
    const char* strings[10];
    for (auto& s : strings)
        s = hundred.c_str();
    KxdProt record = Zeroed();
    record.SetStrings(strings, nullptr);
    EXPECT_EQ(record.msg.offsets[0], 1);
    EXPECT_EQ(record.msg.offsets[1], 102);
    EXPECT_EQ(record.msg.offsets[2], 203);
    EXPECT_EQ(record.msg.offsets[3], 304);
    EXPECT_EQ(strlen(record.String(3)), 79u);
    for (int slot = 4; slot < 10; ++slot)
        EXPECT_EQ(record.msg.offsets[slot], 0) << slot;
    // opt_len ends at the final position, never left at 0 (an append at 0
    // would overwrite the empty string that absent slots point to).
    EXPECT_EQ(record.msg.opt_len, 384);
    EXPECT_EQ(record.msg.strings[383], 0);
}

TEST(KxdProtStrings, TenLongStringsWithLengthsKeepOffsetsButNoText)
{
    std::string hundred(100, 'q');
    const char* strings[10];
    uint16_t lengths[10];
    for (int i = 0; i < 10; ++i) {
        strings[i] = hundred.c_str();
        lengths[i] = 100;
    }
    KxdProt record = Zeroed();
    record.SetStrings(strings, lengths);
    EXPECT_EQ(record.msg.offsets[2], 203);
    EXPECT_EQ(strlen(record.String(2)), 100u);
    for (int slot = 3; slot < 10; ++slot) {
        EXPECT_EQ(record.msg.offsets[slot], 304 + (slot - 3)) << slot;
        EXPECT_STREQ(record.String(slot), "") << slot;
    }
    EXPECT_EQ(record.msg.opt_len, 311);
}

TEST(KxdProtStrings, ExactLengthsAndNullSlots)
{
    const char* strings[10] = {};
    uint16_t lengths[10] = {};
    strings[KxdProt::SLOT_HOST] = "hostXXXX";
    lengths[KxdProt::SLOT_HOST] = 4;
    strings[KxdProt::SLOT_STR1] = "";
    KxdProt record = Zeroed();
    record.msg.offsets[5] = 77;
    record.SetStrings(strings, lengths);
    EXPECT_STREQ(record.String(KxdProt::SLOT_HOST), "host");
    EXPECT_EQ(record.msg.offsets[5], 0);
    EXPECT_EQ(record.msg.offsets[8], 6);
    EXPECT_EQ(record.msg.opt_len, 7);
}

TEST(KxdProtStrings, StringEndingAtTheLimitStopsThePacking)
{
    std::string first(381, 'a');
    const char* strings[10] = {};
    strings[0] = first.c_str();
    strings[1] = "late";
    KxdProt record = Zeroed();
    record.SetStrings(strings, nullptr);
    EXPECT_EQ(strlen(record.String(0)), 381u);
    EXPECT_EQ(record.msg.offsets[1], 0);
    EXPECT_EQ(record.msg.opt_len, 383);
    EXPECT_EQ(record.msg.strings[382], 0);
}
