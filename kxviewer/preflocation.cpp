// Where the ini files live, moving them, and the per-user work folder.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "utils/osal/fileb.h"
#include "utils/osal/privatedir.h"
#include "utils/osal/process.h"

namespace {

const char INI_VIEWER[] = "KxViewer.ini";
const char INI_FORMATS[] = "KxFormats.ini";

std::string WithSlash(std::string dir)
{
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

std::string WithoutSlash(std::string dir)
{
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

// $HOME, else the user's home folder in the user database; empty when
// neither names one.
std::string HomeDir()
{
    const char* home = getenv("HOME");
    std::string dir = home && *home ? home : "";
    if (dir.empty())
        if (const passwd* pw = getpwuid(geteuid()))
            dir = pw->pw_dir ? pw->pw_dir : "";
    return dir;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Copies source (read through the read check: the program folder may be
// shared) over target; false with why for the user.
bool CopyFile(const std::string& source, const std::string& target, std::string& why)
{
    ZmLib::FILEB in;
    std::string refusal;
    if (in.SetPath(source.c_str()) && in.OpenToRead(refusal) && in.Copy(target.c_str()))
        return true;
    why = refusal.empty() ? "Cannot write '" + target + "', please check it is writable!" : refusal;
    return false;
}

} // namespace

std::string PrefGlobal::HomeIniDir()
{
    const std::string dir = HomeDir();
    return dir.empty() ? std::string() : WithSlash(dir) + "KxViewer/";
}

std::string PrefGlobal::NoIniLocationReason()
{
    return "neither '" + WithSlash(ProgramDir) + "' nor '" + HomeIniDir() +
           "' is writable, settings will not be kept";
}

std::string PrefGlobal::IniLocationText()
{
    return IniDir.empty() ? "none, " + NoIniLocationReason() : IniDir;
}

bool PrefGlobal::IsDirWritable(const std::string& dir)
{
    if (dir.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    // A fresh name of our own, so that no file of the user is touched.
    std::string probe = WithSlash(dir) + "tmp_data.txt.XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

void PrefGlobal::TakeProgramDir()
{
    if (!ProgramDir.empty())
        return;
    const char* exeDir = ZmLib::PROCESS::ExeDir();
    ProgramDir = exeDir ? exeDir : "";
}

std::string PrefGlobal::FindIniLocation()
{
    std::string program = WithSlash(ProgramDir);
    std::string home = HomeIniDir();
    if (!home.empty()) {
        std::error_code error;
        std::filesystem::create_directories(home, error);
    }
    std::string result;
    if (!program.empty() && FileExists(program + INI_VIEWER))
        result = program;
    else if (!home.empty() && FileExists(home + INI_VIEWER))
        result = home;
    else if (IsDirWritable(program))
        result = program;
    else if (IsDirWritable(home))
        result = home;
    IniInProgramDir = result != home;
    return result;
}

bool PrefGlobal::MoveIniFiles(int32_t choice)
{
    std::string target = choice == 0 ? HomeIniDir() : WithSlash(ProgramDir);
    if (!IsDirWritable(target)) {
        Report("The chosen location is not writable. Probably you need administrator's privileges!");
        IniInProgramDir = choice == 0;
        return IniInProgramDir;
    }
    if (target == IniDir) {
        IniInProgramDir = IniDir != HomeIniDir();
        return IniInProgramDir;
    }

    // Both files are written out as they are now, so that each exists. The
    // move is the user's own request: a failure is told even when a save
    // told it before.
    IniViewer.Ini.SetModified(true);
    IniFormats.Ini.SetModified(true);
    bool moved = CheckIniWritable(IniViewer, true) && CheckIniWritable(IniFormats, true);
    // Both are copied before either old one goes: a failure leaves the old
    // pair in place and in use. A copy already made is taken back, since the
    // next start would prefer a lone KxViewer.ini there and miss the formats.
    const char* const names[] = {INI_VIEWER, INI_FORMATS};
    size_t copied = 0;
    std::string why;
    while (moved && copied < std::size(names)) {
        moved = CopyFile(IniDir + names[copied], target + names[copied], why);
        if (moved)
            ++copied;
        else
            Report(why);
    }
    if (!moved)
        for (size_t i = 0; i < copied; ++i)
            unlink((target + names[i]).c_str());
    // On failure both stay open as they are, unsaved changes included.
    if (moved) {
        IniViewer.Close();
        IniFormats.Close();
        for (const char* name : names)
            unlink((IniDir + name).c_str());
        IniDir = target;
        KxvShell().AddToSystemLog(QString::fromLocal8Bit(("Ini-files moved to directory: " + IniDir).c_str()));
        OpenIniFiles();
    }
    IniInProgramDir = IniDir != HomeIniDir();
    return IniInProgramDir;
}

std::string PrefGlobal::WorkDirFor(uid_t uid, std::string* why)
{
    const char* tmp = getenv("TMPDIR");
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const char* cache = getenv("XDG_CACHE_HOME");
    const std::string home = HomeDir();
    const std::string sub = SETTINGS_SUB_PATH; // "/KXviewer/"
    const std::string name = sub.substr(1, sub.size() - 2) + "-" + std::to_string(uid);
    std::string chosenWhy;
    const std::string folder = ZmLib::ChooseWorkFolder(
        WithoutSlash(tmp && *tmp ? tmp : "/tmp"), WithoutSlash(runtime ? runtime : ""),
        WithoutSlash(cache && *cache == '/' ? std::string(cache) : home.empty() ? std::string() : home + "/.cache"),
        name, uid, chosenWhy);
    if (why)
        *why = chosenWhy;
    return folder;
}

bool PrefGlobal::IsWorkFile(const std::string& name)
{
    const size_t prefix = strlen(COMPARE_PREFIX);
    const size_t suffix = strlen(COMPARE_SUFFIX);
    for (const char* update : {UPDATE_VERSION, UPDATE_SIGNATURE, UPDATE_EXECUTABLE, UPDATE_INSTALLER})
        if (name == update)
            return true;
    return name.size() >= prefix + suffix && name.compare(0, prefix, COMPARE_PREFIX) == 0 &&
           name.compare(name.size() - suffix, suffix, COMPARE_SUFFIX) == 0;
}

std::string PrefGlobal::HoldWorkDir(ZmLib::PrivateDir& dir)
{
    const std::string refused = WorkDir.empty() ? std::string() : dir.Hold(WorkDir);
    if (!WorkDir.empty() && refused.empty())
        return refused;
    // Someone may have taken the name since the start (another user's folder
    // in /tmp): the next safe place is taken as at the start, not the
    // refusal repeated until a restart.
    std::string why;
    const std::string chosen = WorkDirFor(geteuid(), &why);
    if (chosen.empty())
        return why;
    if (chosen == WorkDir)
        return refused;
    const std::string held = dir.Hold(chosen);
    if (!held.empty())
        return held;
    WorkDir = chosen;
    if (!why.empty())
        KxvShell().AddToSystemLog(QString::fromLocal8Bit(why.c_str()));
    return held;
}

bool PrefGlobal::RemoveOwnWorkFiles(const std::string& dir, std::string* why)
{
    std::string problem;
    struct stat st;
    ZmLib::PrivateDir held;
    if (lstat(WithoutSlash(dir).c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        problem = "The work folder " + dir + " cannot be used: " + strerror(errno);
    } else if ((problem = held.Hold(dir)).empty() && !held.RemoveOwn(IsWorkFile, &problem)) {
        problem = "The viewer's files in the work folder " + dir + " could not be removed: " + problem;
    }
    if (why)
        *why = problem;
    return problem.empty();
}
