#pragma once

#include <string>
#include <vector>

class ElxInterface;

// What every text a compiled pattern matches must hold, read from the element tree once: a
// least length, and a set of literals of which every match contains one. A text that fails
// either cannot match, so the matcher need not run. The tree is only read: lookarounds,
// recursions and back references add nothing, which keeps the test a necessary condition only.
class RegexPrefilter {
public:
    void Build(const ElxInterface* top);
    bool MayMatch(const char* text, int length) const;

    int GetMinLength() const { return m_minLength; }

    struct Literal {
        std::string text;
        bool ignoreCase;
    };
    // Every match contains one of these (empty: nothing is known).
    const std::vector<Literal>& GetLiterals() const { return m_literals; }

private:
    struct Facts {
        long long minLength = 0;
        std::vector<Literal> literals;
    };

    static Facts Analyze(const ElxInterface* element);
    static bool Better(const std::vector<Literal>& a, const std::vector<Literal>& b);
    bool FindAny(const char* text, int length) const;

    int m_minLength = 0;
    std::vector<Literal> m_literals;
    // For each byte, the literals that can start with it: bit i stands for m_literals[i].
    unsigned char m_startsWith[256] = {};
    int m_shortest = 0;
};
