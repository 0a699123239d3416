#include "utils/kx/pkxfile.h"

#include <atomic>
#include <cstring>
#include <unistd.h>

namespace ZmLib {

namespace {

// The open log file as the abort handler sees it.
std::atomic<int> g_signalFd{-1};
std::atomic<bool> g_signalTextMode{false};

void WriteAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size) {
        ssize_t done = write(fd, bytes, size);
        if (done <= 0)
            return;
        bytes += done;
        size -= size_t(done);
    }
}

} // namespace

PKXFILE::PKXFILE(uint32_t sizeLimit, bool textMode)
    : PKX(PKX_ID_FILE, KX_OUT_FILE), sizeLimit_(sizeLimit), textMode_(textMode ? 1 : 0)
{
}

PKXFILE::~PKXFILE()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    CloseFile();
}

bool PKXFILE::Open(const char* path)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    CloseFile();
    if (!path || !*path || !file_.SetPath(path))
        return false;
    return Create();
}

bool PKXFILE::Create()
{
    if (access(file_.GetPath(), F_OK) == 0)
        file_.RenameToBak();
    written_ = 0;
    if (!file_.Create())
        return false;
    g_signalTextMode = textMode_ != 0;
    g_signalFd = fileno(file_.Handle);
    return true;
}

void PKXFILE::CloseFile()
{
    g_signalFd = -1;
    file_.Close();
}

// Write errors are not reported: the report would come back here.
void PKXFILE::Write(uint32_t length, const KxProt* record)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!file_.IsOpen())
        return;
    size_t done;
    if (textMode_) {
        char line[PKX_LINE_SIZE + 1];
        FormatLine(record, line, PKX_LINE_SIZE, "TID", "KX>>", 0);
        size_t size = strlen(line);
        line[size++] = '\n';
        done = file_.Write(line, size);
    } else {
        if (length > KxProt::LEN_MAX)
            length = KxProt::LEN_MAX;
        done = file_.Write(record, length);
    }
    file_.Commit();
    written_ += int64_t(done);
    if (uint32_t(written_) >= sizeLimit_) {
        CloseFile();
        Create();
    }
}

void PKXFILE::WriteFromSignal(const char* line, const KxProt* record)
{
    int fd = g_signalFd.load();
    if (fd < 0)
        return;
    if (g_signalTextMode.load()) {
        WriteAll(fd, line, strlen(line));
        WriteAll(fd, "\n", 1);
    } else {
        WriteAll(fd, record, record->MessageLength());
    }
}

} // namespace ZmLib
