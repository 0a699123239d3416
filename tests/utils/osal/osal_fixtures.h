// Helpers shared by the file-layer and thread tests: a scratch folder removed
// at the end, small file helpers, polling, and a capture of the "SYS"
// channel's reports.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/utils/osal/safescratch.h"
#include "utils/kx/kx.h"

namespace kxtest {

// A private scratch folder on a safe way (see SafeScratchParent).
class TempDir {
public:
    TempDir()
    {
        const std::string parent = SafeScratchParent();
        std::string pattern = parent + "/zmlib-test-XXXXXX";
        if (!parent.empty() && mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
        else
            ADD_FAILURE() << (parent.empty() ? "TMPDIR, /tmp, /var/tmp and HOME are all unsafe or unwritable"
                                             : "no scratch folder can be made in " + parent);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(content.data(), std::streamsize(content.size()));
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Polls a condition every millisecond; the bound of ten seconds only keeps a
// broken build from hanging.
template <typename Condition>
bool Eventually(Condition condition)
{
    for (int i = 0; i < 10000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

struct KxReport {
    int level;
    uint16_t flags;
    std::string text;
};

// Routes the "SYS" channel's events, from any thread, into a list while alive.
class KxCapture {
public:
    KxCapture() : savedOutput_(ZmLib::KxSys.output), savedThreshold_(ZmLib::KxSys.threshold)
    {
        std::lock_guard<std::mutex> lock(Mutex());
        List().clear();
        ZmLib::KxSys.output = &Capture;
        ZmLib::KxSys.threshold = ZmLib::KX_LEVEL_DEBUG;
    }
    ~KxCapture()
    {
        ZmLib::KxSys.output = savedOutput_;
        ZmLib::KxSys.threshold = savedThreshold_;
    }
    KxCapture(const KxCapture&) = delete;
    KxCapture& operator=(const KxCapture&) = delete;

    std::vector<KxReport> Reports() const
    {
        std::lock_guard<std::mutex> lock(Mutex());
        return List();
    }
    bool Empty() const { return Reports().empty(); }
    // Index of the first report with exactly this text, -1 when none.
    int Find(const std::string& text) const
    {
        std::vector<KxReport> reports = Reports();
        for (size_t i = 0; i < reports.size(); ++i)
            if (reports[i].text == text)
                return int(i);
        return -1;
    }
    bool Has(int level, const std::string& text) const
    {
        for (const KxReport& r : Reports())
            if (r.level == level && r.text == text)
                return true;
        return false;
    }

private:
    static std::mutex& Mutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::vector<KxReport>& List()
    {
        static std::vector<KxReport> reports;
        return reports;
    }
    static int Capture(ZmLib::KXEVENT* event, ZmLib::KX*)
    {
        std::lock_guard<std::mutex> lock(Mutex());
        List().push_back({event->level, event->flags, event->text != nullptr ? event->text : ""});
        return 0;
    }

    ZmLib::KxOutputFn savedOutput_;
    int32_t savedThreshold_;
};

} // namespace kxtest
