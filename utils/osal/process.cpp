#include "utils/osal/process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "utils/kx/kx.h"

extern char** environ;

namespace ZmLib {

namespace {

constexpr const char* SPAWN_FUNCTION = "ZmLib::PROCESS::Spawn";

// The shell's error numbers, which the callers and the log know.
constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_PNF = 3;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_OOM = 8;
constexpr int SE_ERR_BAD_FORMAT = 11;
constexpr int SE_ERR_NOASSOC = 31;

int ShellError(int error)
{
    switch (error) {
    case ENOENT:
        return SE_ERR_FNF;
    case ENOTDIR:
        return SE_ERR_PNF;
    case EACCES:
    case EPERM:
        return SE_ERR_ACCESSDENIED;
    case ENOMEM:
    case EAGAIN:
        return SE_ERR_OOM;
    case ENOEXEC:
        return SE_ERR_BAD_FORMAT;
    default:
        return SE_ERR_NOASSOC;
    }
}

void SpawnPrint(const char* format, const char* text)
{
    KxSys.Print(0, KX_LEVEL_NOTICE, SPAWN_FUNCTION, format, text);
}

void SpawnPrint(const char* format, int value)
{
    KxSys.Print(0, KX_LEVEL_NOTICE, SPAWN_FUNCTION, format, value);
}

// Children of Spawn not yet reaped. Only these are waited for: other parts
// of the program own their children.
std::mutex g_childMutex;
std::vector<pid_t> g_children;

// The child starts with default signal handling and an empty mask,
// whatever this process ignores or blocks. 0 or the error number.
int SpawnChild(pid_t& pid, const char* program, bool search, const posix_spawn_file_actions_t* actions,
               char* const* argv, char* const* envp = environ)
{
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = search ? posix_spawnp(&pid, program, actions, &attr, argv, envp)
                          : posix_spawn(&pid, program, actions, &attr, argv, envp);
    posix_spawnattr_destroy(&attr);
    return rc;
}

void ReapEndedChildren()
{
    std::lock_guard<std::mutex> lock(g_childMutex);
    auto ended = [](pid_t pid) {
        pid_t rc;
        while ((rc = waitpid(pid, nullptr, WNOHANG)) < 0 && errno == EINTR) {
        }
        // Gone already (ECHILD) counts as ended.
        return rc != 0;
    };
    g_children.erase(std::remove_if(g_children.begin(), g_children.end(), ended), g_children.end());
}

// The child reads nothing of ours: standard input is /dev/null, whatever
// this process was started with (an upgrade's package, say).
void InputFromNull(posix_spawn_file_actions_t& actions)
{
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
}

// The child's id, kept to be reaped.
int64_t Kept(pid_t pid)
{
    std::lock_guard<std::mutex> lock(g_childMutex);
    g_children.push_back(pid);
    return int64_t(pid);
}

// The child's id, kept, once rc says it started; 0 with the reason in why
// when not.
int64_t Started(int rc, pid_t pid, std::string& why)
{
    if (rc == 0)
        return Kept(pid);
    why = strerror(rc);
    return 0;
}

// The strings as the null-terminated list that exec takes.
std::vector<char*> ExecList(const std::vector<std::string>& strings)
{
    std::vector<char*> list;
    list.reserve(strings.size() + 1);
    for (const std::string& text : strings)
        list.push_back(const_cast<char*>(text.c_str()));
    list.push_back(nullptr);
    return list;
}

} // namespace

char* PROCESS::ExePath()
{
    char* buffer = StrBase::TempBuffer();
    ssize_t n = readlink("/proc/self/exe", buffer, TEMP_STR_CAPACITY + 1);
    // A path that fills the buffer may have been cut: not given out.
    if (n <= 0 || size_t(n) > TEMP_STR_CAPACITY)
        return nullptr;
    buffer[n] = 0;
    return buffer;
}

char* PROCESS::DirOf(const char* path)
{
    if (path == nullptr)
        return nullptr;
    if (*path == '"')
        ++path;
    char* buffer = StrBase::TempBuffer();
    size_t length = strnlen(path, TEMP_STR_CAPACITY);
    char* lastSlash = nullptr;
    for (size_t i = 0; i < length; ++i) {
        buffer[i] = path[i] == '\\' ? '/' : path[i];
        if (buffer[i] == '/')
            lastSlash = buffer + i;
    }
    if (lastSlash == nullptr)
        return nullptr;
    lastSlash[1] = 0;
    return buffer;
}

char* PROCESS::ExeDir()
{
    return DirOf(ExePath());
}

char* PROCESS::ModulePath(const void* address)
{
    if (address == nullptr)
        address = reinterpret_cast<const void*>(&PROCESS::ModulePath);
    Dl_info info;
    struct link_map* map = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 || map == nullptr)
        return nullptr;
    // The main program's link map has an empty name.
    if (map->l_name == nullptr || map->l_name[0] == 0)
        return ExePath();
    if (strlen(map->l_name) > TEMP_STR_CAPACITY)
        return nullptr;
    char* buffer = StrBase::TempBuffer();
    strcpy(buffer, map->l_name);
    return buffer;
}

void PROCESS::InitName()
{
    const char* path = ExePath();
    if (path == nullptr) {
        name_[0] = 0;
        return;
    }
    const char* base = strrchr(path, '/');
    base = base != nullptr ? base + 1 : path;
    const char* dot = strrchr(base, '.');
    size_t length = dot != nullptr && dot != base ? size_t(dot - base) : strlen(base);
    if (length > sizeof name_ - 1)
        length = sizeof name_ - 1;
    memcpy(name_, base, length);
    name_[length] = 0;
}

void PROCESS::BuildParams(int count, const char* const* args, StrBase& out)
{
    out.Clear();
    for (int i = 0; i < count && args != nullptr; ++i)
        out.AddFormat("\"%s\" ", args[i] != nullptr ? args[i] : "");
}

int64_t PROCESS::Spawn(const char* program, int count, const char* const* args)
{
    if (program == nullptr || *program == 0 || count < 0 || (count > 0 && args == nullptr)) {
        SpawnPrint("ShellExecute returned error %d", SE_ERR_FNF);
        return 0;
    }
    ReapEndedChildren();
    SpawnPrint("About to call ShellExecute:%s", program);
    TempStr params;
    BuildParams(count, args, params);
    SpawnPrint("Arguments:%s", params.c_str());

    std::vector<char*> argv;
    argv.reserve(size_t(count) + 2);
    argv.push_back(const_cast<char*>(program));
    for (int i = 0; i < count; ++i)
        argv.push_back(const_cast<char*>(args[i] != nullptr ? args[i] : ""));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    InputFromNull(actions);
    pid_t pid = 0;
    int rc = SpawnChild(pid, program, true, &actions, argv.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        int code = ShellError(rc);
        // There is no elevation on this system: the denial is the answer.
        if (code == SE_ERR_ACCESSDENIED)
            SpawnPrint("%s", "ShellExecute returned SE_ERR_ACCESSDENIED, trying 'runas'");
        SpawnPrint("ShellExecute returned error %d", code);
        return 0;
    }
    return Kept(pid);
}

int64_t PROCESS::SpawnOpenFile(int fd, std::string& why)
{
    ReapEndedChildren();
    // The child gets the descriptor without close-on-exec and runs the file
    // through it, so no name is looked up again.
    const std::string program = "/proc/self/fd/" + std::to_string(fd);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, fd);
    InputFromNull(actions);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = SpawnChild(pid, program.c_str(), false, &actions, argv);
    posix_spawn_file_actions_destroy(&actions);
    return Started(rc, pid, why);
}

int64_t PROCESS::SpawnWithInput(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<std::string>& environment, int input, std::string& why)
{
    ReapEndedChildren();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    const std::vector<char*> argv = ExecList(all);
    const std::vector<char*> envp = ExecList(environment);
    pid_t pid = 0;
    const int rc = SpawnChild(pid, program.c_str(), false, &actions, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return Started(rc, pid, why);
}

int64_t NowMicros()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t TickMillis()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int64_t LocalTimeOffset()
{
    return LocalTimeOffsetAt(NowMicros());
}

int64_t LocalTimeOffsetAt(int64_t us)
{
    // Whole seconds, rounded down, so that a moment before 1970 keeps its
    // second.
    time_t seconds = time_t(us / 1000000 - (us % 1000000 < 0 ? 1 : 0));
    // localtime_r takes the C library's zone lock at every call: a load
    // that dates every line on several workers would queue on it. The last
    // answer of this thread stands while the second and the zone are the same.
    struct Last {
        bool known = false;
        time_t seconds = 0;
        std::string zone;
        int64_t offset = 0;
    };
    thread_local Last last;
    const char* tz = getenv("TZ");
    const bool zoneSet = tz != nullptr;
    if (last.known && last.seconds == seconds && (zoneSet ? last.zone == tz : last.zone == "\n"))
        return last.offset;
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr)
        return 0;
    // "\n" stands for no TZ at all, which no zone text is.
    last = {true, seconds, zoneSet ? std::string(tz) : std::string("\n"), int64_t(local.tm_gmtoff) * 1000000};
    return last.offset;
}

void BusyWait(int64_t microseconds)
{
    int64_t target = TickMillis() * 1000 + microseconds;
    while (TickMillis() * 1000 < target) {
    }
}

} // namespace ZmLib
