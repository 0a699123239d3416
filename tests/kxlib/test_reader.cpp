#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kxlib/reader/filekx.h"
#include "kxlib/reader/filekxd.h"
#include "kxlib/reader/kxlibexcept.h"
#include "tests/kxlib/kxfilegen.h"
#include "tests/kxlib/table_fixtures.h"

using KxFileGen::Form;
using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

// Every test gets its own folder and sees the channels' reports.
class ReaderTest : public ::testing::Test {
protected:
    std::unique_ptr<File2Kxd> Open(const char* name, const std::string& bytes, Form form)
    {
        std::string path = dir_.Write(name, bytes);
        std::unique_ptr<File2Kxd> reader;
        if (form == Form::Kx)
            reader.reset(new FileKx(path.c_str()));
        else
            reader.reset(new FileKxd(path.c_str()));
        EXPECT_EQ(reader->Open(), 0);
        return reader;
    }

    TempDir dir_;
    Reports reports_;
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

std::string EndText(KxReader& reader)
{
    KxdProt record;
    reader.SetRecord(&record);
    KxLibExcept end = ExpectThrow(reader);
    EXPECT_EQ(end.code, 1);
    return end.text;
}

// A record with every field of the file forms set to a distinct value.
KxdProt FullRecord()
{
    static const char* const strings[KxProt::STR_SLOTS] = {"myhost",    "node-7", "proc",        "thr",   "CHAN",
                                                           "src/a.cpp", "DoWork", "hello world", "extra", "nine"};
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
    record.SetStrings(strings, nullptr);
    return record;
}

// FullRecord with a string area filled to its last byte: opt_len 384.
KxdProt FullAreaRecord()
{
    KxdProt record = FullRecord();
    memset(record.msg.offsets, 0, sizeof record.msg.offsets);
    memset(record.msg.strings, 'f', KxProt::LEN_STRFIELDS);
    record.msg.strings[0] = 0;
    record.msg.offsets[KxdProt::SLOT_TEXT] = 1;
    record.msg.strings[301] = 0;
    record.msg.offsets[KxdProt::SLOT_STR1] = 302;
    record.msg.strings[KxProt::LEN_STRFIELDS - 1] = 0;
    record.msg.opt_len = KxProt::LEN_STRFIELDS;
    return record;
}

// Compares the fields a raw file carries, byte for byte; the receive prefix
// only for kxd files.
void ExpectSameFields(const KxdProt& got, const KxdProt& want, bool withPrefix)
{
    if (withPrefix) {
        EXPECT_EQ(got.STIME, want.STIME);
        EXPECT_EQ(got.IP, want.IP);
        EXPECT_EQ(got.PROT, want.PROT);
    }
    EXPECT_EQ(memcmp(&got.msg, &want.msg, KxProt::LEN_HEADER + want.msg.opt_len), 0);
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot)
        EXPECT_STREQ(got.String(slot), want.String(slot)) << "slot " << slot;
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

std::string Bytes(const KxdProt& record, Form form, bool swapped = false)
{
    std::string out;
    KxFileGen::AppendRecord(out, record, form, swapped);
    return out;
}

} // namespace

TEST(KxLibExceptTest, TextsOfEveryCodeSurviveTheRing)
{
    const struct {
        int32_t code, record, value;
        const char* text;
    } cases[] = {
        {1, 5, 2, "End of Stream: 5 records accepted, 2 bad records"},
        {4, 9, -1, "Record #9: Error reading from UDP socket (res = -1)"},
        {7, 3, 0, "Record #3: File IO Error)"},
        {12, 0, 30, "Record #0: Received KxProt msg too short: size < KxProt::LEN_HEADER (30 < 72)"},
        {13, 4, 400, "Record #4: Received KxProt msg too long: hdr.opt_len > KxProt::LEN_STRFIELDS (400 > 384)"},
        {14, 8, 0, "Record #8: Bad MAGIC Number!"},
        {6, 0, 0, "Undefined error #6"},
        {-3, 0, 0, "Undefined error #-3"},
    };
    for (const auto& c : cases) {
        KxLibExcept except(c.code, c.record, c.value);
        EXPECT_EQ(except.code, c.code);
        EXPECT_STREQ(except.text, c.text);
    }
    // A text survives 511 later ones; the 512th takes its buffer.
    KxLibExcept first(1, 123, 456);
    const std::string saved = first.text;
    for (uint32_t i = 0; i < KxLibExcept::RING_COUNT - 1; ++i)
        KxLibExcept(14, int32_t(i), 0);
    EXPECT_EQ(saved, first.text);
    KxLibExcept(14, 999, 0);
    EXPECT_STREQ(first.text, "Record #999: Bad MAGIC Number!");
}

TEST_F(ReaderTest, OpenMeasuresReportsAndFails)
{
    std::string path = dir_.Write("a.kx", std::string(100, '\0'));
    FileKx reader(path.c_str());
    EXPECT_EQ(reader.Open(), 0);
    EXPECT_TRUE(Reports::HasPart("About to open \"" + path + "\"", ZmLib::KX_LEVEL_NOTICE));
    EXPECT_EQ(reader.GetFileSize(), 100);
    FileKx missing(dir_.Path("missing.kx").c_str());
    EXPECT_EQ(missing.Open(), 6);
    EXPECT_EQ(missing.GetFileSize(), 0);

    for (const std::string& bad : {dir_.Dir(), dir_.Path(std::string(1200, 'x'))}) {
        FileKxd failing(bad.c_str());
        EXPECT_EQ(failing.Open(), 6) << bad.size();
    }

    std::unique_ptr<File2Kxd> empty = Open("empty.kx", "", Form::Kx);
    std::string end = EndText(*empty);
    EXPECT_EQ(end, "End of Stream: 0 records accepted, 0 bad records");
    EXPECT_TRUE(Reports::HasPart(end, ZmLib::KX_LEVEL_NOTICE));
}

TEST_F(ReaderTest, RecordsReadBackInBothFormsAndByteOrders)
{
    for (const KxdProt& want : {FullRecord(), FullAreaRecord()}) {
        for (Form form : {Form::Kx, Form::Kxd}) {
            const bool kxd = form == Form::Kxd;
            SCOPED_TRACE(testing::Message() << (kxd ? "kxd" : "kx") << ", opt_len " << want.msg.opt_len);
            const size_t size = (kxd ? 88 : 72) + want.msg.opt_len;
            const std::string bytes = Bytes(want, form) + Bytes(want, form, true);
            ASSERT_EQ(bytes.size(), 2 * size);
            // The swapped twin is big-endian: STIME, IP as stored, then FLAGS
            // 00 00 14 02 and magic AB AB; opt_len 384 is 01 80.
            const std::string twin = bytes.substr(size);
            if (kxd) {
                EXPECT_EQ(twin.substr(0, 12), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\xC0\xA8\x01\x01", 12));
            }
            EXPECT_EQ(twin.substr(kxd ? 16 : 0, 6), std::string("\x00\x00\x14\x02\xAB\xAB", 6));
            const uint16_t optLen = want.msg.opt_len;
            const std::string bigEndianLength{char(optLen >> 8), char(optLen & 0xFF)};
            EXPECT_EQ(twin.substr(kxd ? 84 : 68, 2), bigEndianLength);

            std::unique_ptr<File2Kxd> reader = Open(kxd ? "two.kxd" : "two.kx", bytes, form);
            EXPECT_EQ(reader->GetFileSize(), int64_t(bytes.size()));
            for (int i = 0; i < 2; ++i) {
                SCOPED_TRACE(i);
                KxdProt got;
                memset(&got, 0xEE, sizeof got);
                reader->SetRecord(&got);
                EXPECT_EQ(reader->ReadRecord(), int32_t(size));
                ExpectSameFields(got, want, kxd);
                // The receive prefix of a kx file and the viewer-side fields are
                // not the reader's; nothing beyond the message is left over.
                EXPECT_EQ(got.STIME, kxd ? want.STIME : 0xEEEEEEEEEEEEEEEEull);
                EXPECT_EQ(got.NUM2, 0xEEEEEEEEEEEEEEEEull);
                for (uint32_t k = want.msg.opt_len; k < KxProt::LEN_STRFIELDS; ++k)
                    ASSERT_EQ(got.msg.strings[k], 0) << k;
            }
            EXPECT_EQ(EndText(*reader), "End of Stream: 2 records accepted, 0 bad records");
        }
    }
}

// Damaged streams: each bad record is counted, reported as a warning and
// skipped; the records around it read back whole.
TEST_F(ReaderTest, DamagedStreamsKeepTheirGoodRecords)
{
    const KxdProt good = FullRecord();
    KxdProt oversized = BareRecord(1);
    oversized.msg.opt_len = 400; // big-endian 01 90 when swapped
    KxdProt badMagic = BareRecord(2);
    badMagic.msg.magic = 0xAAAB;
    auto head = [&](Form form, bool swapped) {
        std::string out;
        KxFileGen::AppendHead(out, oversized, form, swapped);
        return out + std::string(400, 'z');
    };
    const std::string kx = Bytes(good, Form::Kx);
    const std::string kxd = Bytes(good, Form::Kxd);
    const char* const longText =
        "Record #0: Received KxProt msg too long: hdr.opt_len > KxProt::LEN_STRFIELDS (400 > 384)";
    // In steps, "" is a good record; any other text is the exception's.
    const struct {
        const char* name;
        Form form;
        std::string bytes;
        std::vector<std::string> steps;
        const char* end;
    } cases[] = {
        {"oversized.kx", Form::Kx, head(Form::Kx, false) + kx, {longText, ""}, "1 records accepted, 1 bad records"},
        {"oversized-swapped.kxd",
         Form::Kxd,
         head(Form::Kxd, true) + Bytes(good, Form::Kxd, true),
         {longText, ""},
         "1 records accepted, 1 bad records"},
        {"cut-head.kx",
         Form::Kx,
         kx + kx + kx.substr(0, 30),
         {"", "", "Record #2: Received KxProt msg too short: size < KxProt::LEN_HEADER (30 < 72)"},
         "2 records accepted, 1 bad records"},
        {"cut-strings.kx",
         Form::Kx,
         kx + kx.substr(0, 72 + 10),
         {"", "Record #1: Received KxProt msg too short: size < KxProt::LEN_HEADER (82 < 72)"},
         "1 records accepted, 1 bad records"},
        {"magic.kx", Form::Kx, Bytes(badMagic, Form::Kx), {"Record #0: Bad MAGIC Number!"},
         "0 records accepted, 1 bad records"},
        // A bad kxd head is consumed whole; the next record follows it.
        {"magic.kxd",
         Form::Kxd,
         Bytes(badMagic, Form::Kxd) + kxd + std::string(50, '\x01'),
         {"Record #0: Bad MAGIC Number!", "",
          "Record #1: Received KxProt msg too short: size < KxProt::LEN_HEADER (50 < 72)"},
         "1 records accepted, 2 bad records"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<File2Kxd> reader = Open(c.name, c.bytes, c.form);
        std::vector<KxdProt> records(c.steps.size());
        uint32_t bad = 0;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            reader->SetRecord(&records[i]);
            if (c.steps[i].empty()) {
                EXPECT_EQ(reader->ReadRecord(), int32_t((c.form == Form::Kxd ? 88 : 72) + good.msg.opt_len));
                continue;
            }
            KxLibExcept except = ExpectThrow(*reader);
            EXPECT_EQ(except.code, c.steps[i].find("too long") != std::string::npos ? 13
                                   : c.steps[i].find("MAGIC") != std::string::npos  ? 14
                                                                                    : 12);
            EXPECT_EQ(except.text, c.steps[i]);
            EXPECT_TRUE(Reports::HasPart(c.steps[i], ZmLib::KX_LEVEL_WARNING));
            EXPECT_EQ(reader->Bad(), ++bad);
        }
        // The records read are untouched by the later failures.
        for (size_t i = 0; i < c.steps.size(); ++i)
            if (c.steps[i].empty())
                ExpectSameFields(records[i], good, c.form == Form::Kxd);
        EXPECT_EQ(EndText(*reader), std::string("End of Stream: ") + c.end);
    }
}

// The file is taken in large pieces: a message cut by a piece's end, and a
// skip over the strings of a message that is too long, read as anywhere else.
TEST_F(ReaderTest, MessagesAcrossReadAheadPieces)
{
    const size_t piece = size_t(1) << 20;
    KxdProt oversized = BareRecord(0);
    oversized.msg.opt_len = 400;
    std::string tooLong;
    KxFileGen::AppendHead(tooLong, oversized, Form::Kx, false);
    tooLong += std::string(400, 'z');
    // Where the message that is too long starts, around the first piece's end.
    for (size_t at : {piece - 72 - 200, piece - 30, piece - tooLong.size() - 10, piece + 100}) {
        SCOPED_TRACE(at);
        std::string bytes;
        uint32_t seq = 1;
        while (bytes.size() + 72 + 384 < at)
            bytes += Bytes(BareRecord(seq++), Form::Kx);
        // One record whose strings fill the gap exactly.
        KxdProt filler = BareRecord(seq++);
        filler.msg.opt_len = uint16_t(at - bytes.size() - 72);
        bytes += Bytes(filler, Form::Kx);
        ASSERT_EQ(bytes.size(), at);
        bytes += tooLong;
        for (int k = 0; k < 3; ++k)
            bytes += Bytes(BareRecord(seq++), Form::Kx);
        std::unique_ptr<File2Kxd> reader = Open("pieces.kx", bytes, Form::Kx);
        KxdProt record;
        reader->SetRecord(&record);
        std::vector<uint32_t> seqs;
        int tooLongSeen = 0;
        for (;;) {
            try {
                reader->ReadRecord();
                seqs.push_back(record.msg.SEQ);
            } catch (const KxLibExcept& except) {
                if (except.code == 1)
                    break;
                ASSERT_EQ(except.code, 13);
                ++tooLongSeen;
            }
        }
        EXPECT_EQ(tooLongSeen, 1);
        ASSERT_EQ(seqs.size(), size_t(seq - 1));
        for (size_t k = 0; k < seqs.size(); ++k)
            ASSERT_EQ(seqs[k], k + 1);
    }
}

// A record whose message is read in one piece from the read-ahead buffer,
// and one that the buffer's end cuts in its head, right after it, in its
// strings or right after them: each reads back whole, in both forms.
TEST_F(ReaderTest, RecordsCutByAPieceEndReadWhole)
{
    const size_t piece = size_t(1) << 20;
    const KxdProt want = FullRecord();
    for (Form form : {Form::Kx, Form::Kxd}) {
        const size_t head = form == Form::Kxd ? 88 : 72;
        const std::string full = Bytes(want, form);
        for (size_t cut : {size_t(40), head, head + 10, full.size()}) {
            SCOPED_TRACE(testing::Message() << (form == Form::Kxd ? "kxd" : "kx") << ", cut after " << cut);
            std::string bytes;
            uint32_t seq = 1;
            while (bytes.size() + head + 384 < piece - cut)
                bytes += Bytes(BareRecord(seq++), form);
            KxdProt filler = BareRecord(seq++);
            filler.msg.opt_len = uint16_t(piece - cut - bytes.size() - head);
            bytes += Bytes(filler, form) + full + full;
            ASSERT_EQ(bytes.size(), piece - cut + 2 * full.size());
            std::unique_ptr<File2Kxd> reader = Open("cut", bytes, form);
            KxdProt got;
            for (uint32_t k = 1; k < seq; ++k) {
                reader->SetRecord(&got);
                reader->ReadRecord();
                ASSERT_EQ(got.msg.SEQ, k);
            }
            for (int k = 0; k < 2; ++k) {
                memset(&got, 0xEE, sizeof got);
                reader->SetRecord(&got);
                EXPECT_EQ(reader->ReadRecord(), int32_t(full.size()));
                ExpectSameFields(got, want, form == Form::Kxd);
            }
            EXPECT_EQ(EndText(*reader), "End of Stream: " + std::to_string(seq + 1) + " records accepted, 0 bad records");
        }
    }
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
    std::unique_ptr<File2Kxd> reader = Open("lastbyte.kx", Bytes(record, Form::Kx) + Bytes(empty, Form::Kx), Form::Kx);
    KxdProt got;
    reader->SetRecord(&got);
    EXPECT_EQ(reader->ReadRecord(), 77);
    EXPECT_EQ(got.msg.strings[4], 0);
    EXPECT_STREQ(got.String(KxdProt::SLOT_TEXT), "abc");
    EXPECT_TRUE(Reports::HasPart("Last byte in received KxProt msg != 0", ZmLib::KX_LEVEL_WARNING));

    Reports::All().clear();
    EXPECT_EQ(reader->ReadRecord(), 72);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&got)[87], 0);
    EXPECT_TRUE(Reports::HasPart("Last byte in received KxProt msg != 0", ZmLib::KX_LEVEL_WARNING));
    EXPECT_EQ(reader->Accepted(), 2u);
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
    std::unique_ptr<File2Kxd> reader = Open("offsets.kx", Bytes(record, Form::Kx, true), Form::Kx);
    KxdProt got;
    memset(&got, 'Q', sizeof got); // stale bytes of an earlier record
    reader->SetRecord(&got);
    reader->ReadRecord();
    const uint16_t offsets[KxProt::STR_SLOTS] = {1, 0, 0, 0, 0, 0, 0, 3, 0, 7};
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot)
        EXPECT_EQ(got.msg.offsets[slot], offsets[slot]) << slot;
    EXPECT_STREQ(got.String(KxdProt::SLOT_TEXT), "text");
    EXPECT_STREQ(got.String(9), "");
    EXPECT_TRUE(Reports::HasPart("string offset 65535 of slot 8", ZmLib::KX_LEVEL_WARNING));
    EXPECT_TRUE(Reports::HasPart("string offset 383 of slot 6", ZmLib::KX_LEVEL_WARNING));
    for (uint32_t k = 8; k < KxProt::LEN_STRFIELDS; ++k)
        ASSERT_EQ(got.msg.strings[k], 0) << k;
}

TEST_F(ReaderTest, KxdUnterminatedStringsStayInsideArea)
{
    // No last-byte check for kxd: a full area of text must still end inside.
    KxdProt record = BareRecord(1);
    record.msg.opt_len = 384;
    memset(record.msg.strings, 'A', KxProt::LEN_STRFIELDS);
    record.msg.offsets[KxdProt::SLOT_TEXT] = 10;
    std::unique_ptr<File2Kxd> reader = Open("full.kxd", Bytes(record, Form::Kxd), Form::Kxd);
    KxdProt got;
    reader->SetRecord(&got);
    EXPECT_EQ(reader->ReadRecord(), 88 + 384);
    EXPECT_EQ(got.msg.strings[383], 0);
    EXPECT_EQ(got.msg.strings[0], 0);
    EXPECT_EQ(strlen(got.String(KxdProt::SLOT_TEXT)), 373u);
    EXPECT_STREQ(got.String(KxdProt::SLOT_HOST), "");
}

TEST(CheckStringsTest, CutsLengthClearsOffsetsAndTouchesNothingElse)
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
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot)
        EXPECT_EQ(record.msg.offsets[slot], slot < 8 ? slot * 50 : 0) << slot;
    EXPECT_EQ(record.EXECTIME, 0x42424242u);
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
    EXPECT_TRUE(Reports::HasPart(except.text, ZmLib::KX_LEVEL_ERROR));
    EXPECT_EQ(reader.Bad(), 1u);
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
