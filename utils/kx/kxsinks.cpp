#include "utils/kx/kxsinks.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utils/kx/kx.h"
#include "utils/kx/pkx.h"

namespace ZmLib {

namespace {

void DefaultDebugOutput(const char* text)
{
    const char* env = getenv("KXV_DEBUG_STDERR");
    if (env && strcmp(env, "1") == 0)
        fprintf(stderr, "%s\n", text);
}

void DefaultErrorBox(const char* text)
{
    fprintf(stderr, "KxViewer Error\n%s\n", text);
}

std::atomic<KxvOutputHook> g_outputHook{&DefaultDebugOutput};
std::atomic<KxvOutputHook> g_errorBoxHook{&DefaultErrorBox};

} // namespace

void KxvDebugOutput(const char* text)
{
    g_outputHook.load(std::memory_order_acquire)(text ? text : "");
}

void KxvDebugErrorBox(const char* line)
{
    if (!line)
        line = "";
    const char* text = line;
    const char* first = strstr(line, ">>");
    const char* second = first ? strstr(first + 2, ">>") : nullptr;
    if (second) {
        text = second + 2;
        if (*text == ' ')
            ++text;
    }
    char box[PKX_LINE_SIZE];
    snprintf(box, sizeof box, "%s", text);
    // The bracketed source file and line get a line of their own; a ']' at
    // the very end keeps its terminator.
    char* bracket = strchr(box, ']');
    if (bracket && bracket[1] != 0)
        bracket[1] = '\n';
    g_errorBoxHook.load(std::memory_order_acquire)(box);
}

KxvOutputHook KxvSetDebugOutputHook(KxvOutputHook hook)
{
    return g_outputHook.exchange(hook ? hook : &DefaultDebugOutput);
}

KxvOutputHook KxvSetErrorBoxHook(KxvOutputHook hook)
{
    return g_errorBoxHook.exchange(hook ? hook : &DefaultErrorBox);
}

int NotConstructedOutput(KXEVENT*, KX* channel)
{
    DebugPrintf("Non-constructed KX-Class '%s'", channel && channel->name ? channel->name : "");
    return 0;
}

} // namespace ZmLib
