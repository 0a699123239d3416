// "Try Test File" of the import-format editor on a large text log, as the
// user waits for it: from the button to the result dialog with its rows,
// ten times. The log (1 GB by default) is written to a temporary folder and
// goes with it; the run also reports how much of the file was read.
// Usage: bench_trytest [megabytes]   (default 1024)
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "bench/benchargs.h"
#include "kxviewer/importdialog.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

constexpr int RUNS = 10;

// Syslog lines up to the size asked.
bool WriteLog(const std::string& path, uint64_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    std::string block;
    for (int i = 0; block.size() < (1u << 20); ++i)
        block += "Dec  7 11:00:" + std::to_string(10 + i % 50) + " host1 daemon.info sshd[" +
                 std::to_string(100 + i % 900) + "]: Accepted publickey for user" + std::to_string(i) + "\n";
    for (uint64_t written = 0; written < bytes && out; written += block.size())
        out.write(block.data(), std::streamsize(block.size()));
    return bool(out);
}

// Bytes this process has read from storage so far.
uint64_t BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

// Drives the editor: picks the built-in format, presses "Try Test File"
// RUNS times and times each run up to its result dialog.
class TryPrompt : public TearOffPrompt {
public:
    explicit TryPrompt(QString path) : path_(std::move(path)) {}
    int Exec(QDialog* dialog) override
    {
        auto* editor = qobject_cast<ImportDialog*>(dialog);
        if (editor == nullptr) {
            times.push_back(Seconds(start_));
            rows.push_back(dialog->findChild<QTableWidget*>()->rowCount());
            return QDialog::Accepted;
        }
        editor->SetTestFile(path_);
        editor->FillFormatTree(0);
        QPushButton* tryButton = nullptr;
        for (QPushButton* button : editor->findChildren<QPushButton*>())
            if (button->text() == "Try Test File")
                tryButton = button;
        for (int run = 0; run < RUNS; ++run) {
            start_ = Clock::now();
            tryButton->click();
        }
        return QDialog::Rejected;
    }

    std::vector<double> times;
    std::vector<int> rows;

private:
    QString path_;
    Clock::time_point start_;
};

} // namespace

int main(int argc, char** argv)
{
    const uint64_t megabytes = Bench::RecordCountArg(argc, argv, 1024, 16384);
    QTemporaryDir home;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/.config"), 1);
    const std::string path = home.path().toStdString() + "/big.txt";
    if (!WriteLog(path, megabytes << 20)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    int code = 0;
    {
        KxvStartup process(argc, argv);
        MainWindow* window = process.Window();
        TryPrompt prompt(QFile::decodeName(path.c_str()));
        TearOffPrompt* previous = TearOffMain::SetPrompt(&prompt);
        const uint64_t readBefore = BytesRead();
        window->ImportPrefDialog();
        const uint64_t read = BytesRead() - readBefore;
        TearOffMain::SetPrompt(previous);
        if (prompt.times.size() != size_t(RUNS)) {
            fprintf(stderr, "only %zu of %d runs showed a result\n", prompt.times.size(), RUNS);
            code = 1;
        } else {
            std::vector<double> sorted = prompt.times;
            std::sort(sorted.begin(), sorted.end());
            printf("file: %llu MB; rows shown per run: %d\n", static_cast<unsigned long long>(megabytes),
                   prompt.rows.front());
            printf("Try Test File to rows shown: median %.1f ms, slowest %.1f ms (%d runs)\n",
                   sorted[RUNS / 2] * 1000.0, sorted.back() * 1000.0, RUNS);
            printf("bytes read during the runs: %.1f MB\n", double(read) / 1e6);
        }
    }
    return code;
}
