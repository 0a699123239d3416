// The examples of the help pages, run as the pages give them: each search
// example through kxfind over the pages' sample syslog, each script through
// kxscript, and the CSV file the worked script example writes. A page that
// shows what the tools do not do fails here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../kxlib/table_fixtures.h"
#include "runtool.h"

namespace {

std::string Page(const char* name) { return ReadAll(std::string(KXV_DOC_DIR) + "/" + name); }

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The text a browser shows for a piece of a page: tags out, entities read.
std::string Shown(std::string html)
{
    for (size_t open = html.find('<'); open != std::string::npos; open = html.find('<', open)) {
        const size_t close = html.find('>', open);
        if (close == std::string::npos)
            break;
        html.erase(open, close - open + 1);
    }
    ReplaceAll(html, "&lt;", "<");
    ReplaceAll(html, "&gt;", ">");
    ReplaceAll(html, "&quot;", "\"");
    ReplaceAll(html, "&amp;", "&");
    return html;
}

// The contents of every element whose opening tag starts with open, up to
// the next close, in page order.
std::vector<std::string> Elements(const std::string& page, const std::string& open, const std::string& close)
{
    std::vector<std::string> parts;
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at)) {
        const size_t start = page.find('>', at);
        const size_t end = start == std::string::npos ? start : page.find(close, start);
        if (end == std::string::npos)
            break;
        parts.push_back(page.substr(start + 1, end - start - 1));
        at = end;
    }
    return parts;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// The sample syslog of the search page, written into dir.
std::string WriteSample(const TempDir& dir)
{
    const std::vector<std::string> sample = Elements(Page("search.html"), "<pre id=\"sample\"", "</pre>");
    EXPECT_EQ(sample.size(), 1u);
    return dir.Write("sys.log", sample.empty() ? std::string() : Shown(sample[0]));
}

} // namespace

TEST(HelpPages, SearchExamplesFindTheRowsTheyName)
{
    TempDir dir;
    const std::string log = WriteSample(dir);
    const std::vector<std::string> rows = Elements(Page("search.html"), "<tr class=\"example\"", "</tr>");
    ASSERT_GE(rows.size(), 10u);
    for (const std::string& row : rows) {
        const std::vector<std::string> cells = Elements(row, "<td", "</td>");
        ASSERT_GE(cells.size(), 2u) << row;
        const std::string expression = Shown(cells[0]);
        SCOPED_TRACE(expression);
        const ToolResult r = RunTool(KXFIND_PATH, {log, "-f", "0", "--", expression}, dir);
        // kxfind counts rows from 0, the page from 1.
        std::string found;
        for (const std::string& line : Lines(r.out))
            found += (found.empty() ? "" : ", ") + std::to_string(std::stoi(line.substr(0, line.find('\t'))) + 1);
        EXPECT_EQ(found.empty() ? "none" : found, Shown(cells[1])) << r.err;
        EXPECT_EQ(r.status, found.empty() ? 1 : 0);
    }
}

// What the search page says of letters beyond A to Z, tried: its search
// does not find its text with Match case off, the text itself does.
TEST(HelpPages, LettersBeyondAToZCompareAsWritten)
{
    const std::string page = Page("search.html");
    const std::vector<std::string> search = Elements(page, "<code class=\"case-search\"", "</code>");
    const std::vector<std::string> text = Elements(page, "<code class=\"case-text\"", "</code>");
    ASSERT_EQ(search.size(), 1u);
    ASSERT_EQ(text.size(), 1u);
    TempDir dir;
    const std::string log = dir.Write("sys.log", "Dec  7 08:00:03 db1 daemon.err app[7]: " + Shown(text[0]) + "\n");
    const ToolResult other = RunTool(KXFIND_PATH, {log, "-f", "0", "--", Shown(search[0])}, dir);
    EXPECT_EQ(other.status, 1) << other.out << other.err;
    const ToolResult same = RunTool(KXFIND_PATH, {log, "-f", "0", "--", "TEXT ~ \"" + Shown(text[0]) + "\""}, dir);
    EXPECT_EQ(same.status, 0) << same.err;
}

TEST(HelpPages, ScriptExamplesPrintWhatThePageShows)
{
    const std::string page = Page("scripts.html");
    const std::vector<std::string> scripts = Elements(page, "<pre class=\"script\"", "</pre>");
    const std::vector<std::string> outputs = Elements(page, "<pre class=\"output\"", "</pre>");
    ASSERT_GE(scripts.size(), 4u);
    ASSERT_EQ(scripts.size(), outputs.size());
    ASSERT_NE(page.find("<pre class=\"script\" id=\"worked-example\">"), std::string::npos);
    TempDir dir;
    WriteSample(dir);
    for (size_t k = 0; k < scripts.size(); ++k) {
        const std::string script = Shown(scripts[k]);
        SCOPED_TRACE(script);
        const ToolResult r = RunTool(KXSCRIPT_PATH, {dir.Write("example.js", script)}, dir);
        // What the script prints, then the error that ended it; the loader's
        // reports and the debug stream are not the script's.
        std::string shown = r.out;
        bool failed = false;
        for (const std::string& line : Lines(r.err))
            if (line.rfind("kxscript: ", 0) != 0 && line.rfind("KX>>", 0) != 0) {
                shown += line + "\n";
                failed = true;
            }
        EXPECT_EQ(shown, Shown(outputs[k]));
        EXPECT_EQ(r.status, failed ? 1 : 0);
    }
    const std::vector<std::string> csv = Elements(page, "<pre id=\"worked-csv\"", "</pre>");
    ASSERT_EQ(csv.size(), 1u);
    EXPECT_EQ(ReadAll(dir.Path("levels.csv")), Shown(csv[0]));
}

// The line limit is a count of bytes, whatever the characters: the pages
// and the README say so wherever they give it.
TEST(HelpPages, TheLineLimitIsGivenInBytes)
{
    for (const std::string& name : {std::string("importformats.html"), std::string("../README.md")}) {
        SCOPED_TRACE(name);
        const std::string text = Page(name.c_str());
        std::string flat;
        for (char c : text)
            if (c != '\n' || (!flat.empty() && flat.back() != ' '))
                flat += c == '\n' ? ' ' : c;
        bool stated = false;
        for (const char* limit : {"1099 ", "1,099 "}) {
            for (size_t at = flat.find(limit); at != std::string::npos; at = flat.find(limit, at + 1)) {
                EXPECT_EQ(flat.compare(at + strlen(limit), 5, "bytes"), 0) << flat.substr(at, 40);
                stated = true;
            }
        }
        EXPECT_TRUE(stated);
    }
}
