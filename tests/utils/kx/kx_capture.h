// Test fixture of the debug-stream tests: a fresh stream (standard output
// only, SYS registered at level 1) with the GUI sinks captured, channels
// whose records the test keeps, and a reader of raw log files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "utils/kx/kx.h"
#include "utils/kx/kxdprot.h"
#include "utils/kx/kxsinks.h"
#include "utils/kx/pkx.h"

namespace kxtest {

struct Captured {
    std::mutex lock;
    std::vector<std::string> lines;
    std::vector<std::string> boxes;
    std::vector<ZmLib::KxProt> records;
};

inline Captured& Sink()
{
    static Captured captured;
    return captured;
}

template <std::vector<std::string> Captured::*list>
void CaptureText(const char* text)
{
    std::lock_guard<std::mutex> guard(Sink().lock);
    (Sink().*list).emplace_back(text);
}

// A channel output that numbers and builds the record as the stream does,
// and keeps it instead of dispatching it.
inline int CaptureRecord(ZmLib::KXEVENT* event, ZmLib::KX*)
{
    event->seq = ZmLib::KX::NextSeq();
    ZmLib::KxProt record;
    uint32_t length = ZmLib::PKX::BuildMsg(event, &record);
    std::lock_guard<std::mutex> guard(Sink().lock);
    Sink().records.push_back(record);
    return int(length);
}

// A registered channel; with keep set, its records are kept instead of
// dispatched.
struct TestChannel {
    TestChannel(const char* name, uint32_t flags, bool keep = false) : channel(name)
    {
        ZmLib::KX::Register(&channel, flags);
        if (keep)
            channel.output = &CaptureRecord;
    }
    ZmLib::KX channel;
};

// Cuts a raw log into its records; fails the test on a malformed one.
inline std::vector<ZmLib::KxProt> ReadRecords(const std::string& bytes)
{
    using ZmLib::KxProt;
    std::vector<KxProt> records;
    for (size_t pos = 0; pos < bytes.size(); pos += records.back().MessageLength()) {
        KxProt record{};
        memcpy(&record, bytes.data() + pos, std::min<size_t>(KxProt::LEN_HEADER, bytes.size() - pos));
        size_t end = pos + KxProt::LEN_HEADER + record.opt_len;
        if (record.magic != KxProt::MAGIC || record.opt_len == 0 || record.opt_len > KxProt::LEN_STRFIELDS ||
            end > bytes.size()) {
            ADD_FAILURE() << "malformed record at " << pos;
            break;
        }
        memcpy(record.strings, bytes.data() + pos + KxProt::LEN_HEADER, record.opt_len);
        EXPECT_EQ(record.strings[record.opt_len - 1], 0);
        records.push_back(record);
    }
    return records;
}

class KxStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Fixed texts of the time column need a known zone.
        setenv("TZ", "UTC", 1);
        tzset();
        Sink().lines.clear();
        Sink().boxes.clear();
        Sink().records.clear();
        previousOutput_ = ZmLib::KxvSetDebugOutputHook(&CaptureText<&Captured::lines>);
        previousBox_ = ZmLib::KxvSetErrorBoxHook(&CaptureText<&Captured::boxes>);
        ZmLib::PKX::Init(nullptr);
        ZmLib::KX::Init(1, false, nullptr, ZmLib::KX_OUT_STD, false);
    }
    void TearDown() override
    {
        ZmLib::PKX::Done();
        ZmLib::KxvSetDebugOutputHook(previousOutput_);
        ZmLib::KxvSetErrorBoxHook(previousBox_);
    }

    static std::vector<std::string>& Lines() { return Sink().lines; }
    static std::vector<std::string>& Boxes() { return Sink().boxes; }
    static std::vector<ZmLib::KxProt>& Records() { return Sink().records; }

private:
    ZmLib::KxvOutputHook previousOutput_ = nullptr;
    ZmLib::KxvOutputHook previousBox_ = nullptr;
};

} // namespace kxtest
