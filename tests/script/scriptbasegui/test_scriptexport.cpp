// The csv library: the bytes it writes, its refusals (which leave an
// existing file as it was), its errors, and the files a run leaves open,
// closed with whole lines when the run ends however it ended.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "script/scriptbasegui/scriptexport.h"
#include "tests/script/scriptbase/script_fixture.h"
#include "tests/utils/osal/otherowners.h"
#include "tests/utils/osal/specialfiles.h"
#include "utils/osal/readpath.h"
#include "utils/osal/writepath.h"

using scripttest::ScriptFixture;

namespace {

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// How the readers refuse the path: "<path> is a pipe, not a regular file...".
std::string NotRegular(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return ZmLib::NotRegularFile(path.c_str(), st);
}

class CsvLibrary : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        csv_.Init(&registry_);
        char pattern[] = "/tmp/kxcsvXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir_ = pattern;
        path_ = dir_ + "/out.csv";
    }
    void TearDown() override
    {
        std::filesystem::remove_all(dir_);
        ScriptFixture::TearDown();
    }
    // Runs with P standing for the file's path; what run end reported
    // follows "ENDED".
    std::string RunCsv(const std::string& script)
    {
        std::string output = Run(Replace(script, "P", path_));
        const std::string ended = registry_.RunEnded();
        if (!ended.empty())
            output += " ENDED " + ended;
        return Replace(output, path_, "P");
    }
    std::string Written() const
    {
        std::ifstream file(path_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return file ? text.str() : "<none>";
    }

    ScriptExport csv_;
    std::string dir_;
    std::string path_;
};

TEST_F(CsvLibrary, WritesAndRefuses)
{
    const std::string wide(1500, 'w'), columns = "Arguments count not equal to CSV column count";
    const std::string closed = "ERROR Error: CSV file error   line , Line: 1", created = "ERROR File can't be created P";
    const std::string missing = std::strerror(ENOENT);
    // before: the file's content ahead of the run, when given; written: the file's content after it
    const struct { std::string script; const char* before; std::string expected; std::string written; } cases[] = {
        // Values joined by ',' unquoted, integers in 64 bits, doubles with
        // six decimals; the result is the bytes written.
        {"var f = csv.open(\"P\", 3); print(csv.add_line(f, 1, 2.5, \"a,b\")); print(csv.add_header(f, \"x\", "
         "\"y\", \"z\")); csv.add_line(f, 5000000 * 1000000, -0.5, \"\"); print(csv.close(f));",
         nullptr, "15\n6\n0\n", "1,2.500000,a,b\nx,y,z\n5000000000000,-0.500000,\n"},
        // A line longer than any scratch text is written whole.
        {"var f = csv.open(\"P\", 2); csv.add_line(f, \"" + wide + "\", \"" + wide + "\");", nullptr, "",
         wide + "," + wide + "\n"},
        {"var f = csv.open(\"P\", 1); var a = {1}; print(csv.add_array(f, a));", nullptr, "0\n", ""},
        // An existing file is emptied by a successful open only.
        {"var f = csv.open(\"P\", 1);", "keep\n", "", ""},
        {"csv.open(\"P\", 0);", "keep\n", created + ": the column count 0 is not positive line 1", "keep\n"},
        {"csv.open(\"P\", -1);", nullptr, created + ": the column count -1 is not positive line 1", "<none>"},
        {"csv.open(\"P/no/such.csv\", 1);", nullptr, created + "/no/such.csv: " + missing + " line 1", "<none>"},
        // Column counts and types.
        {"var f = csv.open(\"P\", 3);\ncsv.add_line(f, 1, 2);", nullptr, "ERROR " + columns + " line 2", ""},
        {"var f = csv.open(\"P\", 1);\ncsv.add_line(f, 1, 2);", nullptr, "ERROR " + columns + " line 2", ""},
        {"var f = csv.open(\"P\", 3); csv.add_header(f, \"a\", \"b\");", nullptr,
         "ERROR Headers count not equal to CSV column count line 1", ""},
        {"var f = csv.open(\"P\", 2); csv.add_header(f, \"a\", 2);", nullptr, "ERROR Argument 2 must be a string 1", ""},
        {"var f = csv.open(\"P\", 1); var a = {1}; csv.add_line(f, a);", nullptr, "ERROR Argument 1 type error 1", ""},
        // A closed file is refused.
        {"var f = csv.open(\"P\", 1); csv.close(f); csv.add_line(f, 1);", nullptr, closed, ""},
        {"var f = csv.open(\"P\", 1); csv.close(f); csv.close(f);", nullptr, closed, ""},
        // A device is not opened (lines that cannot be written, at the close
        // or when the run ends, are the size limit's cases below).
        {"var f = csv.open(\"/dev/full\", 1); csv.add_line(f, \"x\");\ncsv.close(f);", nullptr,
         "ERROR File can't be created /dev/full: " + NotRegular("/dev/full") + " line 1", "<none>"},
        // A run that fails closes its files with their lines.
        {"var f = csv.open(\"P\", 1); csv.add_line(f, \"x\"); var y = 1 / 0;", nullptr,
         "ERROR Error: Divide by zero, Line: 1", "x\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script.substr(0, 200));
        std::filesystem::remove(path_);
        if (c.before)
            std::ofstream(path_, std::ios::binary) << c.before;
        EXPECT_EQ(c.expected, RunCsv(c.script));
        EXPECT_EQ(c.written, Written());
    }
}

// Files of this process stop growing at the limit while it lives; writes
// beyond it fail with EFBIG instead of a signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : savedSignal_(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedSignal_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*savedSignal_)(int);
};

// A write that fails names the system's reason wherever it fails: in the
// line's own write (longer than the stream's buffer), at the close, or when
// the run ends.
TEST_F(CsvLibrary, FailedWritesNameTheSystemsReason)
{
    const std::string wide(3 * BUFSIZ, 'w');
    const std::string large = std::strerror(EFBIG);
    const struct { const char* what; std::string script; rlim_t limit; std::string expected; } cases[] = {
        {"a size limit in the write", "var f = csv.open(\"P\", 1);\ncsv.add_line(f, \"" + wide + "\");", 100,
         "ERROR Can't write file P: " + large + " line 2"},
        {"a size limit at the close", "var f = csv.open(\"P\", 1); csv.add_line(f, \"0123456789\");\n\ncsv.close(f);",
         5, "ERROR Can't write file P: " + large + " line 3"},
        {"a size limit at the run's end", "var f = csv.open(\"P\", 1); csv.add_line(f, \"0123456789\");", 5,
         " ENDED Can't write file P: " + large},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path_);
        std::string output;
        {
            const FileSizeLimit limit(c.limit > 0 ? c.limit : RLIM_INFINITY);
            output = RunCsv(c.script);
        }
        EXPECT_EQ(c.expected, output);
    }
}

// A stop in the middle of writing leaves every line that was added, whole.
TEST_F(CsvLibrary, StopLeavesWholeLines)
{
    EXPECT_EQ("EXIT 1", RunCsv("var f = csv.open(\"P\", 2); var i = 0; while (i < 2000) { csv.add_line(f, i, "
                               "\"abcdef\"); i++; if (i == 1500) { test.stop(); } }"));
    std::string expected;
    for (int i = 0; i < 1500; i++)
        expected += std::to_string(i) + ",abcdef\n";
    EXPECT_EQ(expected, Written());
}

// A path longer than its buffer is refused, not cut to another file's name.
TEST_F(CsvLibrary, OverlongPathRefused)
{
    std::string path = dir_ + "/";
    if (path.size() % 2)
        path += "/";
    while (path.size() < ScriptExport::PATH_CAPACITY - 2)
        path += "./";
    path += "xy.csv";
    ASSERT_GE(path.size(), ScriptExport::PATH_CAPACITY);
    const std::string script = "csv.open(\"" + path + "\", 1);";
    EXPECT_EQ("ERROR File can't be created " + path + ": the path is longer than 1099 characters line 1", Run(script));
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

// Another user's link in a shared sticky folder is refused, naming it, and
// nothing is written where it points; the user's own link there writes its
// file and stays a link.
TEST_F(CsvLibrary, OthersLinksInSharedFoldersAreRefused)
{
    kxtest::OtherOwners owners;
    const std::string shared = dir_ + "/shared", victim = dir_ + "/victim.csv", made = dir_ + "/made.csv";
    ASSERT_TRUE(kxtest::MakeSharedFolder(shared));
    std::ofstream(victim) << "victim";
    // victimAfter: the linked file's content after the run; made: whether the
    // dangling links' file exists then
    const struct {
        const char* name;
        const std::string& target;
        bool theirs;
        const char* victimAfter;
        bool made;
    } cases[] = {
        {"/theirs.csv", victim, true, "victim", false},
        {"/dangling.csv", made, true, "victim", false},
        {"/own.csv", victim, false, "a\n", false},
        {"/owndangling.csv", made, false, "a\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string link = shared + c.name;
        ASSERT_EQ(symlink(c.target.c_str(), link.c_str()), 0);
        if (c.theirs)
            owners.Set(link);
        const std::string refused = "ERROR File can't be created " + link + ": " + kxtest::OtherOwners::Refusal(link);
        const std::string expected = c.theirs ? refused + " line 1" : "";
        EXPECT_EQ(expected, Run("var f = csv.open(\"" + link + "\", 1); csv.add_line(f, \"a\"); csv.close(f);"));
        std::ifstream file(victim);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), c.victimAfter);
        EXPECT_EQ(std::filesystem::exists(made), c.made);
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
}

// What another user puts in the path between the check and the open: a
// link planted there, or a file of theirs.
std::string plantLink; // the link's target; empty: a file
void PlantInTheWay(const char* target)
{
    unlink(target);
    if (!plantLink.empty())
        ASSERT_EQ(symlink(plantLink.c_str(), target), 0);
    else
        std::ofstream(target) << "theirs";
}

// A refused open always says why: another user's file planted under the
// name (world-writable, so anyone could read what lands in it) is not
// written; what is put there while the file is opened is not written
// through; what is no regular file is not opened, nor waited on; a plain
// system failure gives the system's reason.
TEST_F(CsvLibrary, RefusedOpensSayWhyAndWriteNothing)
{
    kxtest::OtherOwners owners;
    const std::string shared = dir_ + "/shared", victim = dir_ + "/victim.csv";
    ASSERT_TRUE(kxtest::MakeSharedFolder(shared));
    std::ofstream(victim) << "victim";
    const std::string theirs = shared + "/theirs.csv", raced = shared + "/raced.csv", fifo = dir_ + "/fifo.csv";
    std::ofstream(theirs) << "theirs";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(chmod(theirs.c_str(), 0666), 0);
    owners.Set(theirs);
    const struct {
        const char* what;
        std::string path;
        bool race;
        std::string link; // planted in the race; empty: a file of theirs
        std::string why;
        std::string left; // the path's content afterwards
        bool reader = false; // the FIFO has a reader
    } cases[] = {
        {"another user's file", theirs, false, "", kxtest::OtherOwners::FileRefusal(theirs), "theirs"},
        {"a link put there in the open", raced, true, victim, raced + " was made a link after it was checked", ""},
        {"a file put there in the open", raced, true, "", kxtest::OtherOwners::FileRefusal(raced), "theirs"},
        {"a folder", dir_, false, "", std::strerror(EISDIR), ""},
        {"a FIFO without a reader", fifo, false, "", NotRegular(fifo), ""},
        {"a FIFO with a reader", fifo, false, "", NotRegular(fifo), "", true},
        {"a device", "/dev/null", false, "", NotRegular("/dev/null"), ""},
    };
    const ZmLib::BeforeWriteOpenFunc saved = ZmLib::BeforeWriteOpen;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        plantLink = c.link;
        if (c.race) {
            std::filesystem::remove(raced);
            owners.Set(raced);
            ZmLib::BeforeWriteOpen = &PlantInTheWay;
        }
        int reader = c.reader ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        std::string output;
        {
            // A reader comes to an open that waits for one: the test fails
            // rather than hangs.
            kxtest::FifoGuard guard(std::chrono::seconds(2),
                                    [&] { reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
            output = Run("var f = csv.open(\"" + c.path + "\", 1); csv.add_line(f, \"mine\"); csv.close(f);");
            EXPECT_FALSE(guard.Waited());
        }
        ZmLib::BeforeWriteOpen = saved;
        char byte = 0;
        if (reader >= 0) {
            EXPECT_LE(read(reader, &byte, 1), 0);
            close(reader);
        }
        EXPECT_TRUE(std::filesystem::is_fifo(fifo));
        EXPECT_EQ(output, "ERROR File can't be created " + c.path + ": " + c.why + " line 1");
        std::ifstream file(victim);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "victim");
        if (!c.left.empty()) {
            std::ifstream left(c.path);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(left), {}), c.left);
        }
    }
}

} // namespace
