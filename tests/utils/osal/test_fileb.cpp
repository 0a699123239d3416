#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/osal/fileb.h"

using kxtest::Exists;
using kxtest::KxCapture;
using kxtest::ReadFile;
using kxtest::WriteFile;
using ZmLib::FILEB;

namespace {

std::string Bytes(size_t count)
{
    std::string s;
    for (size_t i = 0; i < count; ++i)
        s.push_back(char(i * 7 + 3));
    return s;
}

// A stream whose end lies beyond its data: a file that shrank between being
// measured and being read.
struct Shrunk {
    int64_t end;
    std::string data;
    int64_t pos = 0;
};

FILE* OpenShrunk(int64_t end, const std::string& data)
{
    cookie_io_functions_t io{};
    io.read = [](void* c, char* buffer, size_t size) -> ssize_t {
        auto* f = static_cast<Shrunk*>(c);
        size_t n = f->pos < int64_t(f->data.size()) ? std::min(size, f->data.size() - size_t(f->pos)) : 0;
        memcpy(buffer, f->data.data() + f->pos, n);
        f->pos += int64_t(n);
        return ssize_t(n);
    };
    io.seek = [](void* c, off64_t* offset, int whence) {
        auto* f = static_cast<Shrunk*>(c);
        *offset = f->pos = *offset + (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : f->end);
        return 0;
    };
    io.close = [](void* c) {
        delete static_cast<Shrunk*>(c);
        return 0;
    };
    return fopencookie(new Shrunk{end, data}, "r", io);
}

class Fileb : public ::testing::Test {
protected:
    std::string P(const std::string& name) const { return dir / name; }
    size_t EntryCount() const
    {
        size_t n = 0;
        for (auto it = std::filesystem::directory_iterator(dir.Path()); it != std::filesystem::directory_iterator();
             ++it)
            ++n;
        return n;
    }
    int Mode(const std::string& name) const
    {
        struct stat st;
        return stat(P(name).c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    }

    kxtest::TempDir dir;
    FILEB f;
};

} // namespace

TEST_F(Fileb, ReadToMemoryReadsEveryByteAndRereadsAGrowingFile)
{
    WriteFile(P("empty"), "");
    ASSERT_TRUE(f.Open(P("empty").c_str(), "rb"));
    EXPECT_EQ(f.ReadToMemory(), 0u);
    ASSERT_NE(f.Membuf, nullptr);
    EXPECT_EQ(f.Membuf[0], 0);

    std::string content = Bytes(70000);
    WriteFile(P("log"), content);
    ASSERT_TRUE(f.Open(P("log").c_str(), "rb"));
    EXPECT_EQ(f.Membuf, nullptr);
    for (const char* more : {"", "second\n"}) {
        std::ofstream(P("log"), std::ios::app) << more;
        content += more;
        ASSERT_EQ(f.ReadToMemory(), content.size());
        EXPECT_EQ(f.MembufSize, content.size());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(f.Membuf), content.size() + 1), content + '\0');
    }
}

TEST_F(Fileb, MissingStreamOrImageOrPathIsRefusedWithReport)
{
    KxCapture capture;
    EXPECT_FALSE(f.Open(P("missing").c_str(), "rb"));
    EXPECT_FALSE(f.Open(std::string(1100, 'a').c_str(), "wb"));
    EXPECT_EQ(f.ReadToMemory(), 0u);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "Handle"));
    EXPECT_EQ(f.Size(), FILEB::SIZE_ERROR);
    f.FreeMemory();
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "Membuf"));
    EXPECT_EQ(f.Printf("closed"), -1);
}

TEST_F(Fileb, OnlyRegularFilesAreReadWhole)
{
    // A folder reports an end near 2^63 and a device an empty file: neither
    // may come back as an image.
    for (const std::string& path : {dir.Path(), std::string("/dev/null")}) {
        KxCapture capture;
        ASSERT_TRUE(f.Open(path.c_str(), "rb")) << path;
        EXPECT_EQ(f.ReadToMemory(), 0u) << path;
        EXPECT_EQ(f.Membuf, nullptr) << path;
        EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "IsRegularStream(Handle)")) << path;
        EXPECT_FALSE(f.Copy(P("dst").c_str())) << path;
        EXPECT_FALSE(Exists(P("dst")));
    }
}

TEST_F(Fileb, FileShrinkingWhileReadFailsWithReport)
{
    KxCapture capture;
    f.Handle = OpenShrunk(5000, std::string(1200, 'x'));
    ASSERT_NE(f.Handle, nullptr);
    EXPECT_EQ(f.ReadToMemory(), 0u);
    EXPECT_EQ(f.Membuf, nullptr);
    EXPECT_EQ(f.MembufSize, 0u);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "size == MembufSize"));
    // Copy stops at the same point and creates nothing.
    EXPECT_FALSE(f.Copy(P("dst").c_str()));
    EXPECT_EQ(EntryCount(), 0u);
}

TEST_F(Fileb, CopyReplacesContentKeepsPermissionsLeavesNoTemporaryFile)
{
    std::string content = Bytes(300000);
    WriteFile(P("src"), content);
    WriteFile(P("dst"), "old");
    chmod(P("dst").c_str(), 0640);
    ASSERT_TRUE(f.Open(P("src").c_str(), "rb"));
    EXPECT_TRUE(f.Copy(P("dst").c_str()));
    EXPECT_EQ(ReadFile(P("dst")), content);
    EXPECT_EQ(Mode("dst"), 0640);
    EXPECT_EQ(f.Membuf, nullptr);
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(Fileb, CopyOntoASymbolicLinkReplacesItsFileAndKeepsTheLink)
{
    WriteFile(P("src"), "new content");
    ASSERT_EQ(mkdir(P("sub").c_str(), 0700), 0);
    WriteFile(P("sub/real"), "old");
    chmod(P("sub/real").c_str(), 0640);
    ASSERT_EQ(symlink("sub/real", P("link").c_str()), 0);
    ASSERT_TRUE(f.Open(P("src").c_str(), "rb"));
    EXPECT_TRUE(f.Copy(P("link").c_str()));
    struct stat st;
    ASSERT_EQ(lstat(P("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(P("sub/real")), "new content");
    EXPECT_EQ(Mode("sub/real"), 0640);
    // The temporary file lay beside the final file and is gone.
    EXPECT_EQ(EntryCount(), 3u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(P("sub")), {}), 1);
}

TEST_F(Fileb, CopyToAPathWhoseTemporaryNameIsTooLongFailsWithReport)
{
    WriteFile(P("src"), "data");
    ASSERT_TRUE(f.Open(P("src").c_str(), "rb"));
    // Fits a PathStr itself; with ".<pid>.<n>.tmp" it no longer does.
    std::string dest = dir.Path() + "/";
    while (dest.size() < 1095)
        dest += dest.size() % 200 == 0 ? '/' : 'a';
    KxCapture capture;
    EXPECT_FALSE(f.Copy(dest.c_str()));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "file.SetPath(temp.c_str())"));
    EXPECT_EQ(f.Membuf, nullptr);
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(Fileb, CopyIntoUnwritablePlacesFails)
{
    WriteFile(P("src"), "data");
    WriteFile(P("plain"), "x");
    ASSERT_TRUE(f.Open(P("src").c_str(), "rb"));
    KxCapture capture;
    EXPECT_FALSE(f.Copy(P("plain/dst").c_str()));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "fdest"));
    EXPECT_EQ(f.Membuf, nullptr);

    ASSERT_EQ(mkdir(P("ro").c_str(), 0555), 0);
    int probe = open(P("ro/probe").c_str(), O_WRONLY | O_CREAT, 0600);
    if (probe >= 0) {
        close(probe);
        GTEST_SKIP() << "this user writes into folders without write permission (root)";
    }
    EXPECT_FALSE(f.Copy(P("ro/dst").c_str()));
    EXPECT_FALSE(Exists(P("ro/dst")));
}

TEST_F(Fileb, CopyWithShortWriteFailsAndKeepsThePreviousDestination)
{
    WriteFile(P("src"), Bytes(200000));
    WriteFile(P("dst"), "previous");
    // A file size limit makes the write fall short; it is set in a child so
    // that the test process keeps its own limits.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(!f.Open(P("src").c_str(), "rb") ? 2 : f.Copy(P("dst").c_str()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(P("dst")), "previous");
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(Fileb, SizesBeyond4GiBAreExactAndSizeRewindsTheStream)
{
    const int64_t size = (int64_t(5) << 30) + 3;
    int fd = open(P("sparse").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    int rc = ftruncate(fd, off_t(size));
    close(fd);
    if (rc != 0)
        GTEST_SKIP() << "the file system refuses a sparse file of 5 GiB";

    EXPECT_EQ(FILEB::GetSize_(P("sparse").c_str()), uint64_t(size));
    EXPECT_EQ(FILEB::GetSize32(P("sparse").c_str()), 0u);
    ASSERT_TRUE(f.Open(P("sparse").c_str(), "r+b"));
    const int64_t far = (int64_t(4) << 30) + 1;
    ASSERT_TRUE(f.Seek64(far));
    EXPECT_EQ(f.Write("Z", 1), 1u);
    EXPECT_EQ(f.Size(), uint64_t(size));
    EXPECT_EQ(f.Tell64(), 0);
    ASSERT_TRUE(f.Seek64(far));
    char ch = 0;
    EXPECT_EQ(f.Read(&ch, 1), 1u);
    EXPECT_EQ(ch, 'Z');

    WriteFile(P("small"), "12345");
    EXPECT_EQ(FILEB::GetSize32(P("small").c_str()), 5u);
    EXPECT_EQ(FILEB::GetSize_(P("none").c_str()), 0u);
}

TEST_F(Fileb, PrintfCutsAt1099Characters)
{
    ASSERT_TRUE(f.Open(P("p").c_str(), "wb"));
    EXPECT_EQ(f.Printf("%d-%s", 42, "x"), 4);
    EXPECT_EQ(f.Printf("%s", std::string(2000, 'w').c_str()), 1099);
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(ReadFile(P("p")), "42-x" + std::string(1099, 'w'));
}

TEST_F(Fileb, RenameToBakLeavesOnlyTheBackup)
{
    WriteFile(P("a.kx"), "new");
    WriteFile(P("a.kx.bak"), "older");
    ASSERT_TRUE(f.SetPath(P("a.kx").c_str()));
    EXPECT_TRUE(f.RenameToBak());
    EXPECT_FALSE(Exists(P("a.kx")));
    EXPECT_EQ(ReadFile(P("a.kx.bak")), "new");
    EXPECT_FALSE(f.RenameToBak());
}

TEST_F(Fileb, AttributesMapPermissionsFoldersAndDotNames)
{
    WriteFile(P("f"), "x");
    WriteFile(P(".hidden"), "x");
    // A trailing separator and the name ".." do not make a hidden folder.
    const std::pair<std::string, uint32_t> cases[] = {
        {P("f"), ZmLib::FILE_ATTRIB_NORMAL},         {P(".hidden"), ZmLib::FILE_ATTRIB_HIDDEN},
        {dir.Path(), ZmLib::FILE_ATTRIB_DIRECTORY},  {dir.Path() + "/", ZmLib::FILE_ATTRIB_DIRECTORY},
        {P(".."), ZmLib::FILE_ATTRIB_DIRECTORY},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FILEB::GetAttributes(c.first.c_str()), c.second) << c.first;

    chmod(P("f").c_str(), 0664);
    ASSERT_TRUE(FILEB::SetAttrib_(P("f").c_str(), ZmLib::FILE_ATTRIB_READONLY, true));
    EXPECT_EQ(Mode("f"), 0444);
    bool out = false;
    ASSERT_TRUE(FILEB::GetAttrib_(P("f").c_str(), ZmLib::FILE_ATTRIB_READONLY, &out));
    EXPECT_TRUE(out);
    ASSERT_TRUE(FILEB::SetAttrib_(P("f").c_str(), ZmLib::FILE_ATTRIB_READONLY, false));
    EXPECT_EQ(Mode("f"), 0644);
}

TEST_F(Fileb, UnknownPathsAndRefusedAttributeChangesReport)
{
    WriteFile(P("f"), "x");
    KxCapture capture;
    bool out = true;
    EXPECT_FALSE(FILEB::GetAttrib_(P("none").c_str(), ZmLib::FILE_ATTRIB_READONLY, &out));
    EXPECT_FALSE(FILEB::SetAttrib_(P("none").c_str(), ZmLib::FILE_ATTRIB_READONLY, true));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "attr != ((DWORD)-1)"));
    // Hiding would need a rename, which is not an attribute change.
    EXPECT_FALSE(FILEB::SetAttrib_(P("f").c_str(), ZmLib::FILE_ATTRIB_HIDDEN, true));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY,
                            "ApplyAttributes(path, attr, set ? (attr | mask) : (attr & ~mask))"));
    EXPECT_TRUE(Exists(P("f")));
    EXPECT_EQ(FILEB::GetWriteTime(P("none").c_str()), 0);
    EXPECT_FALSE(FILEB::SetTimeSecs(P("none").c_str(), 5));
    EXPECT_EQ(ZmLib::DiskFree(P("none").c_str()), 0);
    EXPECT_GT(ZmLib::DiskFree(dir.Path().c_str()), 0);
}

TEST_F(Fileb, TimesRoundTripInSecondsAndFileTimes)
{
    WriteFile(P("t"), "x");
    std::string name = P("t");
    const char* path = name.c_str();
    ASSERT_TRUE(FILEB::SetTimeSecs(path, 1000000000));
    EXPECT_EQ(FILEB::GetModTime(path), 1000000000);
    EXPECT_EQ(FILEB::GetWriteTime(path), 116444736000000000LL + 10000000000000000LL);

    const int64_t fileTime = ZmLib::MicrosToFileTime(1561852800123456LL);
    ASSERT_TRUE(FILEB::SetTime(path, fileTime));
    EXPECT_EQ(FILEB::GetWriteTime(path), fileTime);
    EXPECT_EQ(FILEB::GetModTime(path), 1561852800);
    // Half a second before 1970 lies in the second -1.
    ASSERT_TRUE(FILEB::SetTime(path, ZmLib::MicrosToFileTime(-500000)));
    EXPECT_EQ(FILEB::GetModTime(path), -1);
    EXPECT_EQ(FILEB::GetWriteTime(path), ZmLib::MicrosToFileTime(-500000));
}
