// The example import formats shipped with the sources, composed as the loader composes them: each
// takes the regular-expression engine's fast path, which reads their samples, random lines of
// syslog's pieces and lines under small step budgets as the element tree does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kxviewer/docloader.h"
#include "kxviewer/importformat.h"
#include "kxviewer/prefdata.h"
#include "tests/utils/regex/fastpathagree.h"
#include "utils/common/inifile.h"
#include "utils/regex/regexbuilder.h"

namespace {

// Every format of the examples with the expression the loader builds for it.
std::vector<std::pair<std::string, std::string>> ExampleTemplates()
{
    ZmLib::IniFile ini;
    ImportFormatList read;
    if (!ini.Open(KXV_EXAMPLES_DIR "/KxFormats-examples.ini", nullptr, nullptr))
        return {};
    PrefGlobal::LoadFormats(ini.Ini, read, true, false);
    ini.Ini.SetModified(false);
    std::vector<std::pair<std::string, std::string>> templates;
    for (const ImportFormat& format : read) {
        DocLoader::ImportFields fields;
        std::string expression;
        if (format.mode == IMPORT_MODE_REGEX && DocLoader::BuildImportRegex(format, fields, expression))
            templates.emplace_back(format.name, expression);
    }
    return templates;
}

}  // namespace

TEST(FormatTemplates, ExamplesTakeTheFastPathAsTheTree)
{
    const auto templates = ExampleTemplates();
    ASSERT_EQ(templates.size(), 4u);
    std::vector<std::string> lines = {
        "Dec  7 08:00:00 web1 nginx[812]: GET /index.html 200\n",
        "Dec 17 08:00:01 db-1.lan kernel: [ 12.345] eth0: link up\r\n",
        "Dec  7 08:00:02 web1 CRON[1203]: (root) CMD (run-parts /etc/cron.hourly)\n",
        "Dec  7 08:00:03 web1 systemd[1]:\n",
        "Dec  7 08:00:00 2026 host kern.info prog: msg\n",
        "Jan 12 34 host lv n: t\n",
        "2024-12-07T08:00:00.237123+01:00 web1 nginx[812]: GET /index.html 200\n",
        "2024-12-07T08:00:01Z db1 kernel: eth0: link up\n",
        "2024-12-07 08:00:00,web1,nginx,812,info,\"GET /index.html 200\"\n",
        "2024-12-07T08:00:01.5,db1,,,,plain text, with a comma\r\n",
        "time,host,program,pid,level,text\n",
    };
    const std::vector<std::string> random = RandomSyslogLines(10000, 12);
    lines.insert(lines.end(), random.begin(), random.end());
    for (const auto& t : templates) {
        SCOPED_TRACE(t.first + ": " + t.second);
        const RegexBuilder builder(t.second.c_str());
        ASSERT_TRUE(builder.HasFastPath());
        EXPECT_EQ(LinesDecided(builder, lines), lines.size());
        const std::vector<std::string> some(lines.begin(), lines.begin() + 200);
        for (const long long limit : {1LL, 20LL, 100LL, 1000LL}) {
            SCOPED_TRACE("limit " + std::to_string(limit));
            RegexBuilder limited(t.second.c_str());
            limited.SetMatchLimit(limit);
            LinesDecided(limited, some);
        }
    }
}
