// The substitute service's configuration: the text its clients load, and the file it starts from.

#include "ServiceConfig.h"
#include "common/StringUtils.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

using namespace Velmorasvc;

namespace {

struct ParseCase
{
    const wchar_t* wszText;
    int iBadLine;                       // 0: the text is a configuration
    const wchar_t* wszQuarantineFolder; // what it names, or null
};

TEST(ConfigValues, ReadsNameValueLinesAndNamesTheFirstLineThatIsNone)
{
    const std::vector<ParseCase> cases = {
        {L"", 0, nullptr},
        {L"QuarantineFolder=/srv/q", 0, L"/srv/q"},
        {L"QuarantineFolder=/srv/q\r\nDatabase=/srv/q.db\r\n", 0, L"/srv/q"},
        {L"# a comment\n\n   \n\tquarantinefolder\t=  /srv/q  \n", 0, L"/srv/q"},
        {L"QuarantineFolder=/first\nQUARANTINEFOLDER=/last\n", 0, L"/last"},
        {L"QuarantineFolder=a=b", 0, L"a=b"},
        {L"QuarantineFolder=", 0, L""},
        {L"Other=1\nno sign\nQuarantineFolder=/srv/q", 2, nullptr},
        {L"=value", 1, nullptr},
        {L"  = value", 1, nullptr},
        {L"Other=1\r\n\r\n#\r\n[section]\r\n", 4, nullptr},
    };
    for (const ParseCase& parseCase : cases) {
        SCOPED_TRACE(WideToNarrow(parseCase.wszText));
        int iBadLine = 0;
        const std::optional<CConfigValues> values = CConfigValues::Parse(parseCase.wszText, iBadLine);
        EXPECT_EQ(values.has_value(), parseCase.iBadLine == 0);
        if (!values) {
            EXPECT_EQ(iBadLine, parseCase.iBadLine);
            continue;
        }
        const std::optional<std::wstring> folder = values->Find(kQuarantineFolderName);
        EXPECT_EQ(folder.has_value(), parseCase.wszQuarantineFolder != nullptr);
        if (folder && parseCase.wszQuarantineFolder) {
            EXPECT_EQ(*folder, parseCase.wszQuarantineFolder);
        }
    }
}

TEST(ServiceSettings, NeedBothTheQuarantineFolderAndTheDatabase)
{
    const testsupport::ScratchFolder folder;
    const auto good = folder.Write("good.conf", "QuarantineFolder=/srv/q\nDatabase=/srv/q.db\n");
    std::string strError;
    const std::optional<ServiceSettings> settings = LoadServiceSettings(good, strError);
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->quarantineFolder, "/srv/q");
    EXPECT_EQ(settings->database, "/srv/q.db");
    EXPECT_EQ(settings->strText, L"QuarantineFolder=/srv/q\nDatabase=/srv/q.db\n");
    EXPECT_FALSE(settings->importGate.has_value());
    const auto gated =
        folder.Write("gated.conf", "QuarantineFolder=/srv/q\nDatabase=/srv/q.db\nImportGate=/srv/gate\n");
    EXPECT_EQ(LoadServiceSettings(gated, strError).value().importGate, std::filesystem::path("/srv/gate"));

    const std::vector<std::pair<std::string, std::string>> failures = {
        {"QuarantineFolder=/srv/q\n", " names no Database"},
        {"Database=/srv/q.db\nQuarantineFolder=\n", " names no QuarantineFolder"},
        {"QuarantineFolder=/srv/q\nDatabase /srv/q.db\n", ": line 2 is not Name=Value"},
    };
    for (const auto& [strText, strMessage] : failures) {
        SCOPED_TRACE(strText);
        const auto file = folder.Write("bad.conf", strText);
        EXPECT_FALSE(LoadServiceSettings(file, strError).has_value());
        EXPECT_EQ(strError, file.string() + strMessage);
    }
    EXPECT_FALSE(LoadServiceSettings(folder.Path() / "missing.conf", strError).has_value());
    EXPECT_EQ(strError, "cannot read " + (folder.Path() / "missing.conf").string());
}

} // namespace
