// Test fixture of the debug-stream tests: a fresh stream (standard output
// only, SYS registered at level 1) with the GUI sinks captured, and a channel
// output that keeps the records it is given.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
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
    std::vector<uint32_t> lengths;

    void Clear()
    {
        std::lock_guard<std::mutex> guard(lock);
        lines.clear();
        boxes.clear();
        records.clear();
        lengths.clear();
    }
};

inline Captured& Sink()
{
    static Captured captured;
    return captured;
}

inline void CaptureLine(const char* text)
{
    std::lock_guard<std::mutex> guard(Sink().lock);
    Sink().lines.emplace_back(text);
}

inline void CaptureBox(const char* text)
{
    std::lock_guard<std::mutex> guard(Sink().lock);
    Sink().boxes.emplace_back(text);
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
    Sink().lengths.push_back(length);
    return int(length);
}

// Fixed texts of the time column need a known zone.
struct UtcZone {
    UtcZone()
    {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

class KxStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static UtcZone utc;
        Sink().Clear();
        previousOutput_ = ZmLib::KxvSetDebugOutputHook(&CaptureLine);
        previousBox_ = ZmLib::KxvSetErrorBoxHook(&CaptureBox);
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
