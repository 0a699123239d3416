// Counts the files of a dropped folder the way a drop on the viewer does:
// a generated tree of small files in 100 subfolders, one of them holding a
// link back to the top (never followed). The whole count must take under a
// second for 100,000 files.
// Usage: bench_dropfolder [files]   (default 100,000)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <QTemporaryDir>
#include <QUrl>

#include "bench/benchargs.h"
#include "kxviewer/droppedfiles.h"

int main(int argc, char** argv)
{
    const uint32_t files = Bench::RecordCountArg(argc, argv, 100000, 10000000);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a scratch folder\n");
        return 1;
    }
    const std::string top = dir.path().toStdString() + "/drop";
    constexpr uint32_t FOLDERS = 100;
    mkdir(top.c_str(), 0700);
    for (uint32_t f = 0; f < FOLDERS; ++f)
        mkdir((top + "/d" + std::to_string(f)).c_str(), 0700);
    if (symlink(top.c_str(), (top + "/d0/loop").c_str()) != 0) {
        std::perror("symlink");
        return 1;
    }
    for (uint32_t i = 0; i < files; ++i) {
        const std::string path = top + "/d" + std::to_string(i % FOLDERS) + "/f" + std::to_string(i) + ".kx";
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
        if (fd < 0) {
            std::perror(path.c_str());
            return 1;
        }
        close(fd);
    }

    const Bench::Clock::time_point start = Bench::Clock::now();
    const DroppedFiles dropped = CollectDroppedFiles({QUrl::fromLocalFile(QString::fromStdString(top))});
    const double seconds = Bench::Seconds(start);
    std::printf("dropped folder: %d files counted in %.3f s (%.0f files/s)%s\n", int(dropped.files.size()), seconds,
                dropped.files.size() / seconds, seconds < 1.0 ? "" : "  SLOWER THAN 1 s");
    return dropped.files.size() == int(files) && seconds < 1.0 ? 0 : 1;
}
