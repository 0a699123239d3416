// Helpers shared by the file-layer tests: a scratch folder removed at the
// end, small file helpers, and a capture of the "SYS" channel's reports.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "utils/kx/kx.h"

namespace kxtest {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zmlib-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
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

// Routes the "SYS" channel's events into a list while alive.
class KxCapture {
public:
    KxCapture() : savedOutput_(ZmLib::KxSys.output), savedThreshold_(ZmLib::KxSys.threshold)
    {
        Reports().clear();
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

    bool Empty() const { return Reports().empty(); }
    bool Has(int level, const std::string& text) const
    {
        for (const auto& r : Reports())
            if (r.first == level && r.second == text)
                return true;
        return false;
    }

private:
    static std::vector<std::pair<int, std::string>>& Reports()
    {
        static std::vector<std::pair<int, std::string>> reports;
        return reports;
    }
    static int Capture(ZmLib::KXEVENT* event, ZmLib::KX*)
    {
        Reports().emplace_back(event->level, event->text != nullptr ? event->text : "");
        return 0;
    }

    ZmLib::KxOutputFn savedOutput_;
    int32_t savedThreshold_;
};

} // namespace kxtest
