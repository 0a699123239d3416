// Throughput of the regular-expression engine on a syslog-style import template, and the time of
// one pathological pattern (nested repeats on a text that fails).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "utils/regex/regexbuilder.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<std::string> MakeLines(int count)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kPrograms[] = {"sshd", "kernel", "cron", "systemd-logind", "postfix/smtpd"};
    static const char* const kMessages[] = {
        "Accepted publickey for deploy from 10.1.2.3 port 52144 ssh2",
        "usb 1-1: new high-speed USB device number 4 using xhci_hcd",
        "(root) CMD (run-parts /etc/cron.hourly)",
        "New session 42 of user operator.",
        "connect from mail.example.org[192.0.2.17]",
    };
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(count));
    char line[256];
    for (int i = 0; i < count; ++i) {
        const int kind = i % 5;
        const int second = i % 86400;
        if (kind == 1) {
            std::snprintf(line, sizeof line, "%s %2d %02d:%02d:%02d host%d %s: %s", kMonths[i % 12], 1 + i % 28,
                          second / 3600, second / 60 % 60, second % 60, i % 7, kPrograms[kind], kMessages[kind]);
        } else {
            std::snprintf(line, sizeof line, "%s %2d %02d:%02d:%02d host%d %s[%d]: %s", kMonths[i % 12], 1 + i % 28,
                          second / 3600, second / 60 % 60, second % 60, i % 7, kPrograms[kind], 100 + i % 30000,
                          kMessages[kind]);
        }
        lines.emplace_back(line);
    }
    return lines;
}

}  // namespace

int main()
{
    const int kLines = 1000000;
    const std::vector<std::string> lines = MakeLines(kLines);
    size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size();

    const RegexBuilder syslog("(\\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d) (\\S+) ([\\w./-]+)(?:\\[(\\d+)\\])?: (.*)");
    RegexMatchResult result;
    RegexMatchContext context;
    int matched = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& line : lines) {
        if (syslog.Match(result, line.data(), static_cast<int>(line.size()), &context).IsMatched())
            ++matched;
    }
    const double elapsed = Seconds(start);
    std::printf("syslog template, 5 groups: %d of %d lines matched in %.3f s\n", matched, kLines, elapsed);
    std::printf("  %.0f lines/s, %.1f MB/s\n", kLines / elapsed, bytes / elapsed / 1e6);

    const int kRun = 48;
    const std::string failing = std::string(kRun, 'a') + "c";
    const RegexBuilder nested("((a+)+)+b");
    const auto pathological = std::chrono::steady_clock::now();
    const bool found = nested.Match(result, failing.data(), static_cast<int>(failing.size())).IsMatched();
    std::printf("pathological ((a+)+)+b on %d x 'a' + 'c': %s in %.3f s\n", kRun, found ? "matched" : "no match",
                Seconds(pathological));
    return matched == kLines && !found ? 0 : 1;
}
