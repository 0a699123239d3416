#include "tests/kxlib/kxfilegen.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace KxFileGen {

namespace {

void Put(std::string& out, uint64_t value, int width, bool swapped)
{
    for (int i = 0; i < width; ++i) {
        int shift = swapped ? (width - 1 - i) * 8 : i * 8;
        out.push_back(char((value >> shift) & 0xFF));
    }
}

// A small deterministic generator, the same sequence on every platform.
struct Lcg {
    uint32_t state;
    uint32_t Next(uint32_t bound)
    {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % bound;
    }
};

struct ThreadState {
    uint32_t process;
    uint32_t thread;
    std::vector<uint32_t> stack; // function numbers
};

// The process, thread and KX names of a record of rare words.
struct Names {
    std::string process;
    std::string thread;
    std::string kx;
};

void Fill(ZmLib::KxdProt& record, const ThreadState& owner, uint32_t seq, int64_t time, uint32_t flags,
          const char* func, const char* text, const Names* names = nullptr)
{
    memset(&record, 0, sizeof record);
    record.STIME = uint64_t(time + 250);
    record.IP = 0x0001A8C0u | (uint32_t(owner.process + 1) << 24);
    record.msg.FLAGS = flags;
    record.msg.magic = ZmLib::KxProt::MAGIC;
    record.msg.LEVEL = int8_t(int(seq % 5) - 1);
    record.msg.TIME = uint64_t(time);
    record.msg.PID = ProcessId(owner.process);
    record.msg.TID = ThreadId(owner.process, owner.thread);
    record.msg.KXKEY = 0x7F0000000000ull + seq % 7;
    record.msg.SEQ = seq;
    record.msg.LINE = 100 + seq % 400;
    std::string host = "host-" + std::to_string(owner.process);
    std::string file = "src/module" + std::to_string(seq % 6) + ".cpp";
    const char* strings[ZmLib::KxProt::STR_SLOTS] = {};
    strings[ZmLib::KxdProt::SLOT_HOST] = host.c_str();
    strings[ZmLib::KxdProt::SLOT_NODE] = "node-a";
    strings[ZmLib::KxdProt::SLOT_KXNAME] = names ? names->kx.c_str() : (seq % 3) ? "APP" : "NET";
    if (names) {
        strings[ZmLib::KxdProt::SLOT_PNAME] = names->process.c_str();
        strings[ZmLib::KxdProt::SLOT_TNAME] = names->thread.c_str();
    }
    strings[ZmLib::KxdProt::SLOT_FILE] = file.c_str();
    strings[ZmLib::KxdProt::SLOT_FUNC] = func;
    strings[ZmLib::KxdProt::SLOT_TEXT] = text;
    record.SetStrings(strings, nullptr);
}

} // namespace

void AppendHead(std::string& out, const ZmLib::KxdProt& record, Form form, bool swapped)
{
    const ZmLib::KxProt& msg = record.msg;
    if (form == Form::Kxd) {
        Put(out, record.STIME, 8, swapped);
        Put(out, record.IP, 4, false); // IP stays as stored in either order
        Put(out, record.PROT, 1, false);
        Put(out, 0, 3, false);
    }
    Put(out, msg.FLAGS, 4, swapped);
    Put(out, swapped ? ZmLib::KxProt::MAGIC_SWAPPED : msg.magic, 2, false);
    Put(out, msg.reserved, 1, false);
    Put(out, uint8_t(msg.LEVEL), 1, false);
    Put(out, msg.TIME, 8, swapped);
    Put(out, msg.PID, 8, swapped);
    Put(out, msg.TID, 8, swapped);
    Put(out, msg.KXKEY, 8, swapped);
    Put(out, msg.SEQ, 4, swapped);
    Put(out, msg.LINE, 4, swapped);
    for (uint16_t offset : msg.offsets)
        Put(out, offset, 2, swapped);
    Put(out, msg.opt_len, 2, swapped);
    Put(out, msg.reserved2, 2, false);
}

void AppendRecord(std::string& out, const ZmLib::KxdProt& record, Form form, bool swapped)
{
    AppendHead(out, record, form, swapped);
    uint32_t length = record.msg.opt_len < ZmLib::KxProt::LEN_STRFIELDS ? record.msg.opt_len
                                                                         : ZmLib::KxProt::LEN_STRFIELDS;
    out.append(record.msg.strings, length);
}

bool WriteFile(const char* path, const std::string& bytes)
{
    FILE* file = fopen(path, "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

std::string ProcessName(uint32_t process) { return "app-" + std::to_string(process); }

std::string ThreadName(uint32_t process, uint32_t thread)
{
    return "worker-" + std::to_string(process) + "-" + std::to_string(thread);
}

uint64_t ProcessId(uint32_t process) { return 1000 + process; }

uint64_t ThreadId(uint32_t process, uint32_t thread) { return 100000 + process * 100 + thread; }

std::string Word(uint32_t number)
{
    static const char consonants[] = "bdfgklmnprstvz";
    static const char vowels[] = "aeiou";
    constexpr uint32_t syllables = (sizeof consonants - 1) * (sizeof vowels - 1);
    std::string word;
    do {
        const uint32_t syllable = number % syllables;
        word += consonants[syllable / (sizeof vowels - 1)];
        word += vowels[syllable % (sizeof vowels - 1)];
        number /= syllables;
    } while (number != 0);
    return word;
}

std::string Generate(const Options& options, Summary* summary)
{
    Summary sum;
    std::string out;
    std::vector<ThreadState> threads;
    for (uint32_t p = 0; p < options.processes; ++p) {
        for (uint32_t t = 0; t < options.threadsPerProcess; ++t)
            threads.push_back(ThreadState{p, t, {}});
    }
    ZmLib::KxdProt record;
    int64_t time = options.startTime;
    auto emit = [&]() {
        AppendRecord(out, record, options.form, options.swapped);
        ++sum.records;
        time += 17;
    };

    for (uint32_t i = 0; i < threads.size() && sum.records < options.records; ++i) {
        const ThreadState& owner = threads[i];
        if (owner.thread == 0) {
            std::string text = "Process: " + ProcessName(owner.process) + ", PID=" +
                               std::to_string(ProcessId(owner.process));
            Fill(record, owner, sum.records, time, 0x400, nullptr, text.c_str());
            emit();
            ++sum.processNames;
            if (sum.records == options.records)
                break;
        }
        std::string text = "Thread: " + ThreadName(owner.process, owner.thread) + ", TID=" +
                           std::to_string(ThreadId(owner.process, owner.thread));
        Fill(record, owner, sum.records, time, 0x1000, nullptr, text.c_str());
        emit();
        ++sum.threadNames;
    }

    Lcg random{options.seed};
    // Drawing a million words from 2.15 million leaves about 800,000
    // distinct; process and thread names from 1.03 million, about 640,000.
    const uint32_t wordSpace = options.records + options.records / 20 * 23;
    const uint32_t nameSpace = options.records + options.records / 100 * 3;
    Names names;
    const Names* rare = options.rareWords ? &names : nullptr;
    auto rareWord = [&] { return Word(random.Next(wordSpace)); };
    auto rareName = [&] { return Word(random.Next(nameSpace)); };
    uint32_t open = 0; // enters not yet left, over all threads
    while (sum.records < options.records && !threads.empty()) {
        uint32_t remaining = options.records - sum.records;
        size_t pick = random.Next(uint32_t(threads.size()));
        if (remaining <= open) {
            // Only the pending leaves fit: take the next thread that has one.
            while (threads[pick].stack.empty())
                pick = (pick + 1) % threads.size();
        }
        ThreadState& owner = threads[pick];
        uint32_t choice = remaining <= open ? 5 : random.Next(10);
        if (rare) {
            names.process = rareName();
            names.thread = rareName();
            names.kx = rareWord();
        }
        // An enter needs room for its own leave after it.
        if (choice < 4 && owner.stack.size() < options.maxDepth && remaining > open + 1) {
            uint32_t function = random.Next(20);
            std::string func = "func_" + std::to_string(function);
            Fill(record, owner, sum.records, time, 2, func.c_str(), "enter", rare);
            owner.stack.push_back(function);
            ++open;
            ++sum.enters;
        } else if (choice < 7 && !owner.stack.empty()) {
            std::string func = "func_" + std::to_string(owner.stack.back());
            Fill(record, owner, sum.records, time, 4, func.c_str(), nullptr, rare);
            owner.stack.pop_back();
            --open;
            ++sum.leaves;
        } else {
            const std::string text = rare ? rareWord() + " " + rareWord() + " " + rareWord()
                                          : "message " + std::to_string(sum.records) + " of " +
                                                ThreadName(owner.process, owner.thread);
            Fill(record, owner, sum.records, time, 1, nullptr, text.c_str(), rare);
        }
        emit();
    }
    sum.bytes = out.size();
    if (summary)
        *summary = sum;
    return out;
}

bool WriteTrace(const char* path, const Options& options, Summary* summary)
{
    return WriteFile(path, Generate(options, summary));
}

} // namespace KxFileGen
