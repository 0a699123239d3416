#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "kxlib/reader/kxlibexcept.h"
#include "tests/kxlib/kxfilegen.h"

using KxFileGen::Form;
using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

struct Event {
    int level;
    std::string text;
};

std::vector<Event> g_events;

int Capture(ZmLib::KXEVENT* event, ZmLib::KX*)
{
    g_events.push_back(Event{event->level, event->text ? event->text : ""});
    return 0;
}

// Every test gets its own folder and sees the READER channel's events.
class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tmp = getenv("TMPDIR");
        dir_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxreader-XXXXXX";
        ASSERT_NE(mkdtemp(&dir_[0]), nullptr);
        savedOutput_ = KxReaderChannel.output;
        savedThreshold_ = KxReaderChannel.threshold;
        KxReaderChannel.output = &Capture;
        KxReaderChannel.threshold = ZmLib::KX_LEVEL_NOTICE;
        g_events.clear();
    }
    void TearDown() override
    {
        KxReaderChannel.output = savedOutput_;
        KxReaderChannel.threshold = savedThreshold_;
        for (const std::string& file : files_)
            unlink(file.c_str());
        rmdir(dir_.c_str());
    }

    std::string Write(const char* name, const std::string& bytes)
    {
        std::string path = dir_ + "/" + name;
        EXPECT_TRUE(KxFileGen::WriteFile(path.c_str(), bytes));
        files_.push_back(path);
        return path;
    }

    bool HasEvent(int level, const std::string& part) const
    {
        for (const Event& event : g_events) {
            if (event.level == level && event.text.find(part) != std::string::npos)
                return true;
        }
        return false;
    }

    std::string dir_;
    std::vector<std::string> files_;
    ZmLib::KxOutputFn savedOutput_ = nullptr;
    int32_t savedThreshold_ = 0;
};

// Reads one record and returns the thrown exception; fails when none comes.
KxLibExcept ExpectThrow(KxReader& reader)
{
    try {
        reader.ReadRecord();
    } catch (const KxLibExcept& except) {
        return except;
    }
    ADD_FAILURE() << "ReadRecord did not throw";
    return KxLibExcept();
}

const char* const kStrings[KxProt::STR_SLOTS] = {"myhost", "node-7", "proc", "thr", "CHAN",
                                                 "src/a.cpp", "DoWork", "hello world", "extra", "nine"};

// A record with every field of the file forms set to a distinct value.
KxdProt FullRecord()
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    record.STIME = 0x0102030405060708ull;
    record.IP = 0x0101A8C0; // 192.168.1.1
    record.PROT = 3;
    record.msg.FLAGS = 0x00001402;
    record.msg.magic = KxProt::MAGIC;
    record.msg.reserved = 0x5A;
    record.msg.LEVEL = -3;
    record.msg.TIME = 1561910811123456ull;
    record.msg.PID = 0x1122334455667788ull;
    record.msg.TID = 0x8877665544332211ull;
    record.msg.KXKEY = 0xDEADBEEFCAFEF00Dull;
    record.msg.SEQ = 0xA1B2C3D4;
    record.msg.LINE = 4321;
    record.SetStrings(kStrings, nullptr);
    return record;
}

// Compares the fields a raw file carries; the prefix only for kxd files.
void ExpectSameFields(const KxdProt& got, const KxdProt& want, bool withPrefix)
{
    if (withPrefix) {
        EXPECT_EQ(got.STIME, want.STIME);
        EXPECT_EQ(got.IP, want.IP);
        EXPECT_EQ(got.PROT, want.PROT);
    }
    EXPECT_EQ(got.msg.FLAGS, want.msg.FLAGS);
    EXPECT_EQ(got.msg.magic, KxProt::MAGIC);
    EXPECT_EQ(got.msg.reserved, want.msg.reserved);
    EXPECT_EQ(got.msg.LEVEL, want.msg.LEVEL);
    EXPECT_EQ(got.msg.TIME, want.msg.TIME);
    EXPECT_EQ(got.msg.PID, want.msg.PID);
    EXPECT_EQ(got.msg.TID, want.msg.TID);
    EXPECT_EQ(got.msg.KXKEY, want.msg.KXKEY);
    EXPECT_EQ(got.msg.SEQ, want.msg.SEQ);
    EXPECT_EQ(got.msg.LINE, want.msg.LINE);
    EXPECT_EQ(got.msg.opt_len, want.msg.opt_len);
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot) {
        EXPECT_EQ(got.msg.offsets[slot], want.msg.offsets[slot]) << "slot " << slot;
        EXPECT_STREQ(got.String(slot), want.String(slot)) << "slot " << slot;
    }
}

// A record with no strings whose opt_len and offsets the caller sets.
KxdProt BareRecord(uint32_t seq)
{
    KxdProt record;
    memset(&record, 0, sizeof record);
    record.msg.magic = KxProt::MAGIC;
    record.msg.SEQ = seq;
    return record;
}

} // namespace

// ---------------------------------------------------------------- texts

TEST(KxLibExceptTest, TextsOfEveryCode)
{
    EXPECT_STREQ(KxLibExcept(1, 5, 2).text, "End of Stream: 5 records accepted, 2 bad records");
    EXPECT_STREQ(KxLibExcept(4, 9, -1).text, "Record #9: Error reading from UDP socket (res = -1)");
    EXPECT_STREQ(KxLibExcept(7, 3, 0).text, "Record #3: File IO Error)");
    EXPECT_STREQ(KxLibExcept(12, 0, 30).text,
                 "Record #0: Received KxProt msg too short: size < KxProt::LEN_HEADER (30 < 72)");
    EXPECT_STREQ(KxLibExcept(13, 4, 400).text,
                 "Record #4: Received KxProt msg too long: hdr.opt_len > KxProt::LEN_STRFIELDS (400 > 384)");
    EXPECT_STREQ(KxLibExcept(14, 8, 0).text, "Record #8: Bad MAGIC Number!");
    EXPECT_STREQ(KxLibExcept(6, 0, 0).text, "Undefined error #6");
    EXPECT_STREQ(KxLibExcept(-3, 0, 0).text, "Undefined error #-3");
    EXPECT_EQ(KxLibExcept(13, 0, 0).code, 13);
}

TEST(KxLibExceptTest, TextSurvives511LaterTexts)
{
    KxLibExcept first(1, 123, 456);
    const std::string saved = first.text;
    for (uint32_t i = 0; i < KxLibExcept::RING_COUNT - 1; ++i)
        KxLibExcept(14, int32_t(i), 0);
    EXPECT_EQ(saved, first.text);
    KxLibExcept(14, 999, 0);
    EXPECT_STREQ(first.text, "Record #999: Bad MAGIC Number!");
}

// ---------------------------------------------------------------- opening

TEST_F(ReaderTest, OpenReportsPathAndMeasuresFile)
{
    std::string path = Write("a.kx", std::string(100, '\0'));
    FileKx reader(path.c_str());
    EXPECT_EQ(reader.Open(), 0);
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_NOTICE, "About to open \"" + path + "\""));
    EXPECT_EQ(reader.GetFileSize(), 100);
}

TEST_F(ReaderTest, OpenFailuresGiveSix)
{
    std::string missing = dir_ + "/missing.kx";
    FileKx noFile(missing.c_str());
    EXPECT_EQ(noFile.Open(), 6);
    EXPECT_EQ(noFile.GetFileSize(), 0);

    FileKx folder(dir_.c_str());
    EXPECT_EQ(folder.Open(), 6);

    std::string tooLong = dir_ + "/" + std::string(1200, 'x');
    FileKxd longPath(tooLong.c_str());
    EXPECT_EQ(longPath.Open(), 6);
}

// ---------------------------------------------------------------- kx files

TEST_F(ReaderTest, EmptyFileIsEndOfStream)
{
    std::string path = Write("empty.kx", "");
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt record;
    reader.SetRecord(&record);
    KxLibExcept end = ExpectThrow(reader);
    EXPECT_EQ(end.code, 1);
    EXPECT_STREQ(end.text, "End of Stream: 0 records accepted, 0 bad records");
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_NOTICE, end.text));
}

TEST_F(ReaderTest, KxRecordsReadBackInBothByteOrders)
{
    KxdProt want = FullRecord();
    std::string bytes;
    KxFileGen::AppendRecord(bytes, want, Form::Kx, false);
    KxFileGen::AppendRecord(bytes, want, Form::Kx, true);
    ASSERT_EQ(bytes.size(), 2 * (72 + want.msg.opt_len));
    // The swapped twin really is big-endian: magic AB AB, FLAGS 00 00 14 02.
    size_t twin = 72 + want.msg.opt_len;
    EXPECT_EQ(bytes.substr(twin, 6), std::string("\x00\x00\x14\x02\xAB\xAB", 6));

    std::string path = Write("two.kx", bytes);
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    for (int i = 0; i < 2; ++i) {
        KxdProt got;
        memset(&got, 0xEE, sizeof got);
        reader.SetRecord(&got);
        EXPECT_EQ(reader.ReadRecord(), int32_t(72 + want.msg.opt_len));
        SCOPED_TRACE(i);
        ExpectSameFields(got, want, false);
        // The receive prefix and the viewer-side fields are not the reader's.
        EXPECT_EQ(got.STIME, 0xEEEEEEEEEEEEEEEEull);
        EXPECT_EQ(got.NUM2, 0xEEEEEEEEEEEEEEEEull);
        // Nothing of the string area beyond the message is left over.
        for (uint32_t k = want.msg.opt_len; k < KxProt::LEN_STRFIELDS; ++k)
            ASSERT_EQ(got.msg.strings[k], 0) << k;
    }
    EXPECT_EQ(reader.Accepted(), 2u);
    KxdProt record;
    reader.SetRecord(&record);
    EXPECT_STREQ(ExpectThrow(reader).text, "End of Stream: 2 records accepted, 0 bad records");
}

TEST_F(ReaderTest, OversizedMessageIsSkippedAndNextOneRead)
{
    KxdProt longOne = BareRecord(1);
    longOne.msg.opt_len = 400;
    std::string bytes;
    KxFileGen::AppendHead(bytes, longOne, Form::Kx, false);
    bytes.append(400, 'z');
    KxdProt good = FullRecord();
    KxFileGen::AppendRecord(bytes, good, Form::Kx, false);

    std::string path = Write("long.kx", bytes);
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt record;
    reader.SetRecord(&record);
    KxLibExcept bad = ExpectThrow(reader);
    EXPECT_EQ(bad.code, 13);
    EXPECT_NE(std::string(bad.text).find("(400 > 384)"), std::string::npos) << bad.text;
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_WARNING, bad.text));
    EXPECT_EQ(reader.Bad(), 1u);

    EXPECT_EQ(reader.ReadRecord(), int32_t(72 + good.msg.opt_len));
    ExpectSameFields(record, good, false);
    EXPECT_STREQ(ExpectThrow(reader).text, "End of Stream: 1 records accepted, 1 bad records");
}

TEST_F(ReaderTest, OversizedMessageInSwappedOrderIsSkippedToo)
{
    KxdProt longOne = BareRecord(1);
    longOne.msg.opt_len = 0x0190; // 400, written big-endian as 01 90
    std::string bytes;
    KxFileGen::AppendHead(bytes, longOne, Form::Kxd, true);
    bytes.append(400, 'z');
    KxdProt good = FullRecord();
    KxFileGen::AppendRecord(bytes, good, Form::Kxd, true);

    std::string path = Write("long.kxd", bytes);
    FileKxd reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt record;
    reader.SetRecord(&record);
    EXPECT_EQ(ExpectThrow(reader).code, 13);
    EXPECT_EQ(reader.ReadRecord(), int32_t(88 + good.msg.opt_len));
    ExpectSameFields(record, good, true);
}

TEST_F(ReaderTest, FileCutInHeaderKeepsEarlierRecords)
{
    KxdProt good = FullRecord();
    std::string bytes;
    KxFileGen::AppendRecord(bytes, good, Form::Kx, false);
    KxFileGen::AppendRecord(bytes, good, Form::Kx, false);
    std::string third;
    KxFileGen::AppendRecord(third, good, Form::Kx, false);
    bytes += third.substr(0, 30);

    std::string path = Write("cut.kx", bytes);
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt records[3];
    for (int i = 0; i < 2; ++i) {
        reader.SetRecord(&records[i]);
        reader.ReadRecord();
        ExpectSameFields(records[i], good, false);
    }
    reader.SetRecord(&records[2]);
    KxLibExcept cut = ExpectThrow(reader);
    EXPECT_EQ(cut.code, 12);
    EXPECT_STREQ(cut.text, "Record #2: Received KxProt msg too short: size < KxProt::LEN_HEADER (30 < 72)");
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_WARNING, cut.text));
    KxLibExcept end = ExpectThrow(reader);
    EXPECT_EQ(end.code, 1);
    EXPECT_STREQ(end.text, "End of Stream: 2 records accepted, 1 bad records");
    // The records already read are untouched by the failures.
    ExpectSameFields(records[0], good, false);
    ExpectSameFields(records[1], good, false);
}

TEST_F(ReaderTest, FileCutInStringsIsShortRecord)
{
    KxdProt good = FullRecord();
    std::string bytes;
    KxFileGen::AppendRecord(bytes, good, Form::Kx, false);
    std::string second;
    KxFileGen::AppendRecord(second, good, Form::Kx, false);
    bytes += second.substr(0, 72 + 10);

    std::string path = Write("cutstr.kx", bytes);
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt record;
    reader.SetRecord(&record);
    reader.ReadRecord();
    KxLibExcept cut = ExpectThrow(reader);
    EXPECT_EQ(cut.code, 12);
    EXPECT_STREQ(cut.text, "Record #1: Received KxProt msg too short: size < KxProt::LEN_HEADER (82 < 72)");
    EXPECT_EQ(reader.Accepted(), 1u);
    EXPECT_EQ(reader.Bad(), 1u);
    EXPECT_EQ(ExpectThrow(reader).code, 1);
}

TEST_F(ReaderTest, BadMagicIsCountedAndThrown)
{
    KxdProt bad = BareRecord(1);
    bad.msg.magic = 0xAAAB;
    std::string bytes;
    KxFileGen::AppendRecord(bytes, bad, Form::Kx, false);

    std::string path = Write("magic.kx", bytes);
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt record;
    reader.SetRecord(&record);
    KxLibExcept except = ExpectThrow(reader);
    EXPECT_EQ(except.code, 14);
    EXPECT_STREQ(except.text, "Record #0: Bad MAGIC Number!");
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_WARNING, except.text));
    EXPECT_EQ(reader.Bad(), 1u);
    EXPECT_STREQ(ExpectThrow(reader).text, "End of Stream: 0 records accepted, 1 bad records");
}

TEST_F(ReaderTest, LastByteOfMessageIsForcedToZero)
{
    KxdProt record = BareRecord(1);
    const char* strings[KxProt::STR_SLOTS] = {};
    strings[KxdProt::SLOT_TEXT] = "abc";
    record.SetStrings(strings, nullptr); // area 0 'a' 'b' 'c' 0, opt_len 5
    record.msg.strings[4] = 'x';
    KxdProt empty = BareRecord(2);
    empty.msg.reserved2 = 0x4100; // header byte 87 is 'A'
    std::string bytes;
    KxFileGen::AppendRecord(bytes, record, Form::Kx, false);
    KxFileGen::AppendRecord(bytes, empty, Form::Kx, false);

    std::string path = Write("lastbyte.kx", bytes);
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt got;
    reader.SetRecord(&got);
    EXPECT_EQ(reader.ReadRecord(), 77);
    EXPECT_EQ(got.msg.strings[4], 0);
    EXPECT_STREQ(got.String(KxdProt::SLOT_TEXT), "abc");
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_WARNING, "Last byte in received KxProt msg != 0"));

    g_events.clear();
    EXPECT_EQ(reader.ReadRecord(), 72);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&got)[87], 0);
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_WARNING, "Last byte in received KxProt msg != 0"));
    EXPECT_EQ(reader.Accepted(), 2u);
}

TEST_F(ReaderTest, HostileOffsetsAreCleared)
{
    KxdProt record = BareRecord(1);
    const char* strings[KxProt::STR_SLOTS] = {};
    strings[KxdProt::SLOT_HOST] = "h";
    strings[KxdProt::SLOT_TEXT] = "text";
    record.SetStrings(strings, nullptr); // HOST 1, TEXT 3, opt_len 8
    ASSERT_EQ(record.msg.opt_len, 8);
    record.msg.offsets[KxdProt::SLOT_FILE] = 8;      // just at opt_len
    record.msg.offsets[KxdProt::SLOT_FUNC] = 383;    // inside the area, beyond the message
    record.msg.offsets[KxdProt::SLOT_STR1] = 0xFFFF; // far past the record
    record.msg.offsets[9] = 7;                       // the last byte, in bounds
    std::string bytes;
    KxFileGen::AppendRecord(bytes, record, Form::Kx, true);

    std::string path = Write("offsets.kx", bytes);
    FileKx reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt got;
    memset(&got, 'Q', sizeof got); // stale bytes of an earlier record
    reader.SetRecord(&got);
    reader.ReadRecord();
    EXPECT_EQ(got.msg.offsets[KxdProt::SLOT_HOST], 1);
    EXPECT_EQ(got.msg.offsets[KxdProt::SLOT_TEXT], 3);
    EXPECT_EQ(got.msg.offsets[9], 7);
    EXPECT_EQ(got.msg.offsets[KxdProt::SLOT_FILE], 0);
    EXPECT_EQ(got.msg.offsets[KxdProt::SLOT_FUNC], 0);
    EXPECT_EQ(got.msg.offsets[KxdProt::SLOT_STR1], 0);
    EXPECT_STREQ(got.String(KxdProt::SLOT_TEXT), "text");
    EXPECT_STREQ(got.String(9), "");
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_WARNING, "string offset 65535 of slot 8"));
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_WARNING, "string offset 383 of slot 6"));
    for (uint32_t k = 8; k < KxProt::LEN_STRFIELDS; ++k)
        ASSERT_EQ(got.msg.strings[k], 0) << k;
}

// ---------------------------------------------------------------- kxd files

TEST_F(ReaderTest, KxdRecordsReadBackInBothByteOrders)
{
    KxdProt want = FullRecord();
    std::string bytes;
    KxFileGen::AppendRecord(bytes, want, Form::Kxd, false);
    KxFileGen::AppendRecord(bytes, want, Form::Kxd, true);
    ASSERT_EQ(bytes.size(), 2 * (88 + want.msg.opt_len));
    size_t twin = 88 + want.msg.opt_len;
    // Big-endian STIME, IP as stored, magic at head byte 20.
    EXPECT_EQ(bytes.substr(twin, 12), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\xC0\xA8\x01\x01", 12));
    EXPECT_EQ(bytes.substr(twin + 20, 2), "\xAB\xAB");

    std::string path = Write("two.kxd", bytes);
    FileKxd reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    EXPECT_EQ(reader.GetFileSize(), int64_t(bytes.size()));
    int64_t consumed = 0;
    for (int i = 0; i < 2; ++i) {
        KxdProt got;
        memset(&got, 0, sizeof got);
        reader.SetRecord(&got);
        int32_t amount = reader.ReadRecord();
        EXPECT_EQ(amount, int32_t(88 + want.msg.opt_len));
        consumed += amount;
        SCOPED_TRACE(i);
        ExpectSameFields(got, want, true);
    }
    EXPECT_EQ(consumed, reader.GetFileSize());
    KxdProt record;
    reader.SetRecord(&record);
    EXPECT_STREQ(ExpectThrow(reader).text, "End of Stream: 2 records accepted, 0 bad records");
}

TEST_F(ReaderTest, KxdShortHeadAndBadMagic)
{
    KxdProt good = FullRecord();
    KxdProt bad = BareRecord(2);
    bad.msg.magic = 0x1234;
    std::string bytes;
    KxFileGen::AppendRecord(bytes, bad, Form::Kxd, false);
    KxFileGen::AppendRecord(bytes, good, Form::Kxd, false);
    bytes.append(50, '\x01');

    std::string path = Write("bad.kxd", bytes);
    FileKxd reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt record;
    reader.SetRecord(&record);
    EXPECT_EQ(ExpectThrow(reader).code, 14);
    // The bad head was consumed; the next record follows it directly.
    EXPECT_EQ(reader.ReadRecord(), int32_t(88 + good.msg.opt_len));
    ExpectSameFields(record, good, true);
    KxLibExcept cut = ExpectThrow(reader);
    EXPECT_EQ(cut.code, 12);
    EXPECT_STREQ(cut.text, "Record #1: Received KxProt msg too short: size < KxProt::LEN_HEADER (50 < 72)");
    EXPECT_STREQ(ExpectThrow(reader).text, "End of Stream: 1 records accepted, 2 bad records");
}

TEST_F(ReaderTest, KxdUnterminatedStringsStayInsideArea)
{
    // No last-byte check for kxd: a full area of text must still end inside.
    KxdProt record = BareRecord(1);
    record.msg.opt_len = 384;
    memset(record.msg.strings, 'A', KxProt::LEN_STRFIELDS);
    record.msg.offsets[KxdProt::SLOT_TEXT] = 10;
    std::string bytes;
    KxFileGen::AppendRecord(bytes, record, Form::Kxd, false);

    std::string path = Write("full.kxd", bytes);
    FileKxd reader(path.c_str());
    ASSERT_EQ(reader.Open(), 0);
    KxdProt got;
    reader.SetRecord(&got);
    EXPECT_EQ(reader.ReadRecord(), 88 + 384);
    EXPECT_EQ(got.msg.strings[383], 0);
    EXPECT_EQ(got.msg.strings[0], 0);
    EXPECT_EQ(strlen(got.String(KxdProt::SLOT_TEXT)), 373u);
    EXPECT_STREQ(got.String(KxdProt::SLOT_HOST), "");
}

// ---------------------------------------------------------------- checks

TEST(CheckStringsTest, CutsLengthAndClearsOffsets)
{
    KxdProt record;
    memset(&record, 'B', sizeof record);
    record.msg.opt_len = 500;
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot)
        record.msg.offsets[slot] = uint16_t(slot * 50);
    KxReader::CheckStrings(record, 0);
    EXPECT_EQ(record.msg.opt_len, 384);
    EXPECT_EQ(record.msg.strings[0], 0);
    EXPECT_EQ(record.msg.strings[383], 0);
    for (int slot = 0; slot < 8; ++slot)
        EXPECT_EQ(record.msg.offsets[slot], slot * 50);
    EXPECT_EQ(record.msg.offsets[8], 0); // 400
    EXPECT_EQ(record.msg.offsets[9], 0); // 450
    // Bytes outside the string area are not touched.
    EXPECT_EQ(record.EXECTIME, 0x42424242u);
}

TEST(CheckStringsTest, EmptyMessageClearsWholeArea)
{
    KxdProt record;
    memset(&record, 'C', sizeof record);
    record.msg.opt_len = 0;
    for (uint16_t& offset : record.msg.offsets)
        offset = 1;
    KxReader::CheckStrings(record, 0);
    for (uint32_t k = 0; k < KxProt::LEN_STRFIELDS; ++k)
        ASSERT_EQ(record.msg.strings[k], 0);
    for (uint16_t offset : record.msg.offsets)
        EXPECT_EQ(offset, 0);
}

TEST_F(ReaderTest, ReadErrorIsFileIoError)
{
    // The first page of the address space is never mapped: reading it fails.
    FileKx reader("/proc/self/mem");
    if (reader.Open() != 0)
        GTEST_SKIP() << "/proc/self/mem not readable here";
    KxdProt record;
    reader.SetRecord(&record);
    KxLibExcept except = ExpectThrow(reader);
    EXPECT_EQ(except.code, 7);
    EXPECT_STREQ(except.text, "Record #0: File IO Error)");
    EXPECT_TRUE(HasEvent(ZmLib::KX_LEVEL_ERROR, except.text));
    EXPECT_EQ(reader.Bad(), 1u);
}

// ---------------------------------------------------------------- generated traces

namespace {

struct TraceCheck {
    uint32_t records = 0;
    uint32_t enters = 0;
    uint32_t leaves = 0;
    uint32_t processNames = 0;
    uint32_t threadNames = 0;
    bool timeRises = true;
    std::map<uint64_t, std::vector<std::string>> stacks; // by TID
    std::vector<std::string> announcements;
};

TraceCheck ReadTrace(KxReader& reader)
{
    TraceCheck check;
    KxdProt record;
    reader.SetRecord(&record);
    uint64_t lastTime = 0;
    for (;;) {
        try {
            reader.ReadRecord();
        } catch (const ZmLib::KxExcept& except) {
            EXPECT_EQ(except.code, 1) << except.text;
            break;
        }
        ++check.records;
        if (record.msg.TIME <= lastTime)
            check.timeRises = false;
        lastTime = record.msg.TIME;
        std::vector<std::string>& stack = check.stacks[record.msg.TID];
        if (record.msg.FLAGS & 0x4) {
            ++check.leaves;
            EXPECT_FALSE(stack.empty());
            if (!stack.empty()) {
                EXPECT_EQ(stack.back(), record.String(KxdProt::SLOT_FUNC));
                stack.pop_back();
            }
        } else if (record.msg.FLAGS & 0x2) {
            ++check.enters;
            stack.push_back(record.String(KxdProt::SLOT_FUNC));
        }
        if (record.msg.FLAGS & 0x400) {
            ++check.processNames;
            check.announcements.push_back(record.String(KxdProt::SLOT_TEXT));
        }
        if (record.msg.FLAGS & 0x1000) {
            ++check.threadNames;
            check.announcements.push_back(record.String(KxdProt::SLOT_TEXT));
        }
    }
    return check;
}

} // namespace

TEST_F(ReaderTest, GeneratedTraceReadsBackBalanced)
{
    for (Form form : {Form::Kx, Form::Kxd}) {
        for (bool swapped : {false, true}) {
            SCOPED_TRACE(std::string(form == Form::Kx ? "kx" : "kxd") + (swapped ? " swapped" : ""));
            KxFileGen::Options options;
            options.records = 2000;
            options.form = form;
            options.swapped = swapped;
            KxFileGen::Summary summary;
            std::string path = dir_ + (form == Form::Kx ? "/trace.kx" : "/trace.kxd");
            ASSERT_TRUE(KxFileGen::WriteTrace(path.c_str(), options, &summary));
            files_.push_back(path);
            EXPECT_EQ(summary.records, 2000u);
            EXPECT_EQ(summary.processNames, 3u);
            EXPECT_EQ(summary.threadNames, 12u);
            EXPECT_GT(summary.enters, 100u);
            EXPECT_EQ(summary.enters, summary.leaves);

            std::unique_ptr<File2Kxd> reader;
            if (form == Form::Kx)
                reader.reset(new FileKx(path.c_str()));
            else
                reader.reset(new FileKxd(path.c_str()));
            ASSERT_EQ(reader->Open(), 0);
            EXPECT_EQ(reader->GetFileSize(), int64_t(summary.bytes));
            TraceCheck check = ReadTrace(*reader);
            EXPECT_EQ(check.records, summary.records);
            EXPECT_EQ(check.enters, summary.enters);
            EXPECT_EQ(check.leaves, summary.leaves);
            EXPECT_EQ(check.processNames, 3u);
            EXPECT_EQ(check.threadNames, 12u);
            EXPECT_TRUE(check.timeRises);
            EXPECT_EQ(check.stacks.size(), 12u);
            for (const auto& entry : check.stacks)
                EXPECT_TRUE(entry.second.empty()) << "TID " << entry.first;
            ASSERT_GE(check.announcements.size(), 2u);
            EXPECT_EQ(check.announcements[0], "Process: app-0, PID=1000");
            EXPECT_EQ(check.announcements[1], "Thread: worker-0-0, TID=100000");
            EXPECT_EQ(reader->Bad(), 0u);
        }
    }
}

TEST(KxFileGenTest, TinyTracesStayExactAndBalanced)
{
    for (uint32_t count : {0u, 1u, 3u, 16u, 17u, 40u}) {
        KxFileGen::Options options;
        options.records = count;
        KxFileGen::Summary summary;
        std::string bytes = KxFileGen::Generate(options, &summary);
        EXPECT_EQ(summary.records, count);
        EXPECT_EQ(summary.enters, summary.leaves) << count;
        EXPECT_EQ(summary.bytes, bytes.size());
    }
}

