// Helpers of the search-expression tests: records in a table, compiled
// expressions, the tree in the runtime's notation and the reports of the
// "SCRIPT" and "ANTLR" channels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kxlib/table/kxtable.h"
#include "script/scriptbase/antlrsupport.h"
#include "script/scriptbase/scriptchannels.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tests/script/scriptlogicalexp/patternlimit.h"

// Collects the reports of "SCRIPT" and "ANTLR" at every level while alive.
class ScriptReports {
public:
    ScriptReports()
    {
        for (int k = 0; k < 2; ++k) {
            saved_[k] = Channel(k).output;
            threshold_[k] = Channel(k).threshold;
            Channel(k).output = &Collect;
            Channel(k).threshold = ZmLib::KX_LEVEL_DEBUG;
        }
        All().clear();
    }
    ~ScriptReports()
    {
        for (int k = 0; k < 2; ++k) {
            Channel(k).output = saved_[k];
            Channel(k).threshold = threshold_[k];
        }
    }
    ScriptReports(const ScriptReports&) = delete;
    ScriptReports& operator=(const ScriptReports&) = delete;

    // Each report as "<channel>: <text>".
    static std::vector<std::string>& All()
    {
        static std::vector<std::string> reports;
        return reports;
    }
    static bool Has(const std::string& text)
    {
        for (const std::string& r : All())
            if (r == text)
                return true;
        return false;
    }
    static int CountFrom(const char* channel)
    {
        int n = 0;
        for (const std::string& r : All())
            n += r.compare(0, strlen(channel), channel) == 0;
        return n;
    }

private:
    static ZmLib::KX& Channel(int k) { return k == 0 ? KxScriptChannel : KxAntlrChannel; }
    static int Collect(ZmLib::KXEVENT* event, ZmLib::KX* channel)
    {
        All().push_back(std::string(channel->name) + ": " + (event->text ? event->text : ""));
        return 0;
    }
    ZmLib::KxOutputFn saved_[2];
    int32_t threshold_[2];
};

// An expression built and parsed as a table builds it; mode < 0 skips Parse.
struct Expr {
    ScriptLogicalExpParser* p = new ScriptLogicalExpParser;
    int parsed = -1;

    explicit Expr(const char* text, bool matchCase = true, bool simple = false)
    {
        if (p->Construct(text, matchCase, simple))
            parsed = p->Parse();
    }
    ~Expr() { p->Release(); }
    Expr(const Expr&) = delete;
    Expr& operator=(const Expr&) = delete;
    ScriptLogicalExpParser* operator->() const { return p; }
};

inline std::string Notation(const ScriptNode* node)
{
    return node ? ScriptTree::Notation(node) : "<none>";
}
