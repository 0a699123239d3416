// Throughput of the regular-expression engine on a file of 1,000,000 syslog-style lines: the
// five-group import template, the built-in "SysLog" expression (on lines with a level word), the
// examples' "Debian syslog" format and two whole-line searches, each beside grep on the same file
// with the equivalent pattern. Ours and grep -cP alternate over five rounds and the medians are
// compared, as the machine may be shared. Also the time runaway patterns take to reach the
// match limit.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "utils/regex/regexbuilder.h"

extern char** environ;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// With `levels`, a "facility.level" word stands between the host and the program.
std::string MakeText(int count, bool levels)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kPrograms[] = {"sshd", "kernel", "cron", "systemd-logind", "postfix/smtpd"};
    static const char* const kLevels[] = {"daemon.info ", "kern.warning ", "auth.notice ", "user.err "};
    static const char* const kMessages[] = {
        "Accepted publickey for deploy from 10.1.2.3 port 52144 ssh2",
        "usb 1-1: new high-speed USB device number 4 using xhci_hcd",
        "(root) CMD (run-parts /etc/cron.hourly)",
        "New session 42 of user operator.",
        "connect from mail.example.org[192.0.2.17]",
        "ERROR: write to /var/spool/queue failed with code 28",
        "Connection Timeout while waiting for the peer 198.51.100.4",
        "pam_unix(sshd:auth): authentication failure; logname= uid=0 euid=0",
        "Received disconnect from 203.0.113.9 port 41122:11: disconnected by user",
        "Reloading configuration of the service units on request of user root",
    };
    std::string text;
    char line[256];
    for (int i = 0; i < count; ++i) {
        const int kind = i % 5;
        const int second = i % 86400;
        const char* message = kMessages[(i * 7 + i / 5) % 10];
        const char* level = levels ? kLevels[i % 4] : "";
        if (kind == 1) {
            std::snprintf(line, sizeof line, "%s %2d %02d:%02d:%02d host%d %s%s: %s\n", kMonths[i % 12], 1 + i % 28,
                          second / 3600, second / 60 % 60, second % 60, i % 7, level, kPrograms[kind], message);
        } else {
            std::snprintf(line, sizeof line, "%s %2d %02d:%02d:%02d host%d %s%s[%d]: %s\n", kMonths[i % 12],
                          1 + i % 28, second / 3600, second / 60 % 60, second % 60, i % 7, level, kPrograms[kind],
                          100 + i % 30000, message);
        }
        text += line;
    }
    return text;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// Matches every line of the text, as the text-log import does; returns the lines matched.
long CountMatches(const RegexBuilder& builder, const std::string& text)
{
    RegexMatchResult result;
    RegexMatchContext context;
    long matched = 0;
    const char* line = text.data();
    const char* end = line + text.size();
    while (line < end) {
        const char* newline = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        const char* stop = newline ? newline : end;
        if (builder.Match(result, line, static_cast<int>(stop - line), &context).IsMatched())
            ++matched;
        line = stop + 1;
    }
    return matched;
}

// Runs grep with the arguments and reads the count it prints; -1 when grep cannot run.
long RunGrep(const std::vector<std::string>& arguments, double& seconds)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("grep"));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "grep", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::string output;
    char buffer[256];
    ssize_t got;
    while (spawned == 0 && (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<size_t>(got));
    close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return -1;
    seconds = Seconds(start);
    return std::strtol(output.c_str(), nullptr, 10);
}

// The file and its text: plain lines, or lines with level words.
struct Subject {
    std::string text;
    std::string path;
};

// grepP and grepE name the file as "FILE"; grepE may be empty.
struct Search {
    const char* name;
    const char* pattern;
    bool levels;
    std::vector<std::string> grepP;
    std::vector<std::string> grepE;
};

std::vector<std::string> OnFile(std::vector<std::string> arguments, const std::string& path)
{
    std::replace(arguments.begin(), arguments.end(), std::string("FILE"), path);
    return arguments;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Ours and grep -cP in turn over the rounds; prints the medians. False when the counts differ.
bool Compare(const Search& search, const Subject& subject, int lines)
{
    constexpr int kRounds = 5;
    const RegexBuilder builder(search.pattern);
    std::vector<double> ours;
    std::vector<double> grep;
    long matched = 0;
    long grepCount = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        matched = CountMatches(builder, subject.text);
        ours.push_back(Seconds(start));
        double seconds = 0;
        grepCount = RunGrep(OnFile(search.grepP, subject.path), seconds);
        if (grepCount >= 0)
            grep.push_back(seconds);
    }
    const double rate = lines / Median(ours);
    std::printf("%s: %ld lines matched, median of %d %.3f s, %.0f lines/s, %.1f MB/s\n", search.name, matched, kRounds,
                Median(ours), rate, subject.text.size() / Median(ours) / 1e6);
    bool consistent = true;
    if (grep.empty()) {
        std::printf("  grep -cP: not available, no ratio\n");
    } else {
        const double grepRate = lines / Median(grep);
        std::printf("  grep -cP: %ld lines, median %.3f s, %.0f lines/s; ours is %.2f of grep's rate\n", grepCount,
                    Median(grep), grepRate, rate / grepRate);
        consistent = grepCount == matched;
    }
    if (search.grepE.empty())
        return consistent;
    double seconds = 0;
    const long count = RunGrep(OnFile(search.grepE, subject.path), seconds);
    if (count < 0) {
        std::printf("  grep %s: not available, no ratio\n", search.grepE[0].c_str());
        return consistent;
    }
    std::printf("  grep %s (one run): %ld lines in %.3f s, %.0f lines/s; ours is %.2f of grep's rate\n",
                search.grepE[0].c_str(), count, seconds, lines / seconds, rate / (lines / seconds));
    return consistent && count == matched;
}

}  // namespace

int main()
{
    const int kLines = 1000000;
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/kxv-bench-regex-XXXXXX";
    if (!mkdtemp(&folder[0])) {
        std::perror("mkdtemp");
        return 1;
    }
    Subject subjects[2];
    bool written = true;
    for (int levels = 0; levels < 2; ++levels) {
        subjects[levels].text = MakeText(kLines, levels != 0);
        subjects[levels].path = folder + (levels ? "/syslog-levels.txt" : "/syslog.txt");
        written = written && WriteFile(subjects[levels].path, subjects[levels].text);
    }
    if (written) {
        std::printf("%d lines, %.1f MB in %s; with level words %.1f MB\n", kLines, subjects[0].text.size() / 1e6,
                    subjects[0].path.c_str(), subjects[1].text.size() / 1e6);
    } else {
        std::perror(folder.c_str());
    }

    const char* const kTemplate = "(\\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d) (\\S+) ([\\w./-]+)(?:\\[(\\d+)\\])?: (.*)";
    const char* const kSysLog = "(\\w{3}[\\d\\W]+)\\s(\\(?\\w+\\)?)\\s[\\w\\.]+?(\\w+)\\s([^:]+):?\\s(.*)";
    // The examples' "Debian syslog" format as the loader composes it, with the optional line end.
    const char* const kDebian =
        "(\\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d)\\s+(\\S+)\\s+([^\\s\\[:]+)(?:\\[(\\d+)\\])?:\\s?(.*?)\\r?\\n?";
    const std::vector<Search> searches = {
        {"five-group template", kTemplate, false, {"-cP", std::string("^") + kTemplate + "$", "FILE"},
         {"-cE",
          "^([[:alnum:]_]{3} [ 0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]) ([^[:space:]]+) ([[:alnum:]_./-]+)"
          "(\\[([0-9]+)\\])?: (.*)$",
          "FILE"}},
        {"built-in SysLog expression", kSysLog, true, {"-cP", std::string("^") + kSysLog + "$", "FILE"}, {}},
        {"examples' Debian syslog format", kDebian, false, {"-cP", std::string("^") + kDebian + "$", "FILE"}, {}},
        {"five-group template, no line matching", kTemplate, true,
         {"-cP", std::string("^") + kTemplate + "$", "FILE"}, {}},
        {".*ERROR.*", ".*ERROR.*", false, {"-cP", ".*ERROR.*", "FILE"}, {"-cE", ".*ERROR.*", "FILE"}},
        {"(?i).*(error|timeout|failed).*", "(?i).*(error|timeout|failed).*", false,
         {"-cP", "(?i).*(error|timeout|failed).*", "FILE"},
         {"-ciE", ".*(error|timeout|failed).*", "FILE"}},
    };
    bool consistent = true;
    for (const Search& search : searches)
        consistent = Compare(search, subjects[search.levels ? 1 : 0], kLines) && consistent;

    const RegexBuilder runaway("(|)(?R)?");
    RegexMatchResult result;
    RegexMatchContext context;
    const auto start = std::chrono::steady_clock::now();
    runaway.Match(result, "", 0, &context);
    std::printf("(|)(?R)? on the empty text: %s after %.3f s (limit %lld steps)\n",
                context.MatchLimitExceeded() ? "match limit exceeded" : "finished", Seconds(start),
                runaway.GetMatchLimit());

    // Every end of (\S*) enters a possessive scan of the rest of the line: the steps it is
    // charged end it, as they end the greedy form.
    const std::string longLine = std::string(100000, 'a') + "xb";
    for (const char* pattern : {"(\\S*)\\s*(\\S*+)x", "(\\S*)\\s*(\\S*)x"}) {
        const RegexBuilder builder(pattern);
        const auto lineStart = std::chrono::steady_clock::now();
        builder.Match(result, longLine.data(), static_cast<int>(longLine.size()), &context);
        std::printf("%s on a line of %zu bytes: %s after %.3f s\n", pattern, longLine.size(),
                    context.MatchLimitExceeded() ? "match limit exceeded" : "finished", Seconds(lineStart));
    }

    for (const Subject& subject : subjects)
        std::remove(subject.path.c_str());
    rmdir(folder.c_str());
    if (!consistent)
        std::printf("counts differ from grep\n");
    return consistent ? 0 : 1;
}
