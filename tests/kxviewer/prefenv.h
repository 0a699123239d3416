// A fresh environment for the preference model: HOME, XDG_CONFIG_HOME and
// TMPDIR in a scratch folder, a program folder of its own, the defaults
// back in place, and the working directory restored afterwards. The GUI
// application comes from the tests' main.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/preftabtable.h"
#include "tests/kxviewer/shellrecorder.h"
#include "tests/utils/osal/osal_fixtures.h"
#include "utils/kx/pkx.h"

namespace kxtest {

class PrefEnv : public ::testing::Test {
protected:
    void SetUp() override
    {
        cwd_ = std::filesystem::current_path().string();
        for (const char* name : ENV_NAMES) {
            const char* value = getenv(name);
            savedEnv_.emplace_back(value != nullptr, value ? value : "");
        }
        home = dir_ / "home";
        program = dir_ / "program/";
        tmp = dir_ / "tmp";
        for (const std::string& d : {home, program, tmp, dir_ / "config"})
            std::filesystem::create_directories(d);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("TMPDIR", tmp.c_str(), 1);
        PrefGlobal::ProgramDir = program;
        PrefGlobal::IniDir.clear();
        ImportFormats = DefaultImportTemplates();
        PrefTabTable::Default() = PrefTabTable();
        PrefGlobal::SetDefaults();
    }
    void TearDown() override
    {
        PrefGlobal::IniViewer.Close();
        PrefGlobal::IniFormats.Close();
        if (ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE))
            ZmLib::PKX::Delete(ZmLib::PKX_ID_FILE);
        ZmLib::KX::SetLevelAll(1);
        std::filesystem::current_path(cwd_);
        ImportFormats = DefaultImportTemplates();
        for (size_t i = 0; i < savedEnv_.size(); ++i) {
            if (savedEnv_[i].first)
                setenv(ENV_NAMES[i], savedEnv_[i].second.c_str(), 1);
            else
                unsetenv(ENV_NAMES[i]);
        }
    }
    // An ini file written by hand before the start.
    void Write(const std::string& path, const std::string& text) { WriteFile(path, text); }

    TempDir dir_;
    std::string home;
    std::string program;
    std::string tmp;
    ShellRecorder shell;

private:
    static constexpr const char* ENV_NAMES[] = {"HOME", "XDG_CONFIG_HOME", "TMPDIR"};
    std::string cwd_;
    std::vector<std::pair<bool, std::string>> savedEnv_;
};

} // namespace kxtest
