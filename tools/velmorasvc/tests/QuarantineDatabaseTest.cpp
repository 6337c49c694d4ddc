// The substitute service's database: what it records, what it finds, and what it refuses, on a
// real SQLite file through the ODBC layer.

#include "tools/velmorasvc/QuarantineDatabase.h"
#include "common/ComError.h"
#include "common/StringUtils.h"
#include "platform/ado/odbc/OdbcProvider.h"
#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

using namespace Velmorasvc;

namespace {

TEST(QuarantineDatabase, StoresEveryValueAsGiven)
{
    const testsupport::ScratchFolder folder;
    const std::filesystem::path file = folder.Path() / "q.db";
    const QuarantineItem item{
        L"Q'\"; --\u00e9.tmp", L"N\u00d6DE \u4e2d", 1, L"HED'0001", {L"line \u00e9", L"", L"it's \U0001F600"},
        0x1'0000'0001};
    {
        CQuarantineDatabase database(file);
        ASSERT_EQ(database.AddRun(), 1);
        database.AddItem(item);
        database.AddItem({L"empty.tmp", L"", 1, L"", {}, 0});
    }
    // What another connection reads back from the file.
    const platform::ado::ConnectionPtr pConnection =
        platform::ado::OpenOdbcConnection(L"DRIVER=SQLite3;Database=" + NarrowToWide(file.string()), 5);
    platform::ado::Command command;
    command.activeConnection = pConnection;
    command.strCommandText = L"SELECT FileName, NetworkName, RunId, HedLine, HeaderLineCount, HeaderLines, "
                             L"ContentLength, typeof(FileName) AS Stored FROM QuarantineItems ORDER BY ItemId";
    const platform::ado::RecordsetPtr pRows = command.Execute(false);
    ASSERT_NE(pRows, nullptr);
    ASSERT_EQ(pRows->RecordCount(), 2);
    using platform::Variant;
    const std::vector<std::vector<Variant>> expected = {
        {Variant::String(item.strFileName), Variant::String(item.strNetworkName), Variant::Int32(1),
         Variant::String(item.strHedLine), Variant::Int32(3), Variant::String(L"line \u00e9\r\n\r\nit's \U0001F600"),
         Variant::Int64(0x1'0000'0001), Variant::String(L"text")},
        {Variant::String(L"empty.tmp"), Variant::String(L""), Variant::Int32(1), Variant::String(L""),
         Variant::Int32(0), Variant::String(L""), Variant::Int64(0), Variant::String(L"text")},
    };
    EXPECT_EQ(pRows->Rows(), expected);
}

TEST(QuarantineDatabase, RecordsItemsThatOutliveTheConnectionAndFindsThemByName)
{
    const testsupport::ScratchFolder folder;
    const std::filesystem::path file = folder.Path() / "q.db";
    // Names no statement could hold as written: quotes, a semicolon, text beyond ASCII.
    const std::vector<std::wstring> names = {L"Q1.tmp", L"Q'; DROP TABLE QuarantineItems; --.tmp",
                                             L"Q\u00e9\u4e2d\U0001F600.tmp"};
    {
        CQuarantineDatabase database(file);
        EXPECT_EQ(database.AddRun(), 1);
        EXPECT_EQ(database.AddRun(), 2);
        for (const std::wstring& strName : names)
            database.AddItem({strName, L"N\u00d6DE", 2, L"HED0001", {L"line \u00e9"}, 42});
        EXPECT_EQ(database.FindItem(L"Q2.tmp"), std::nullopt);
        EXPECT_EQ(database.FindItem(L"q1.tmp"), std::nullopt);
    }
    CQuarantineDatabase database(file);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(database.FindItem(names[i]), static_cast<std::int32_t>(i + 1)) << WideToNarrow(names[i]);
    EXPECT_EQ(database.AddRun(), 3);

    // A name is recorded once: a second record is refused with the database's reason.
    try {
        database.AddItem({L"Q1.tmp", L"NODE", 3, L"HED0000", {}, 0});
        ADD_FAILURE() << "recorded twice";
    } catch (const UTIL::COM::_com_error& e) {
        EXPECT_EQ(HResultBits(e.Error()), HResultBits(DB_E_ERRORSINCOMMAND));
        EXPECT_EQ(WideToNarrow(e.Source()), "SQLite");
        EXPECT_NE(WideToNarrow(e.Description()).find("UNIQUE"), std::string::npos) << WideToNarrow(e.Description());
    }
}

TEST(QuarantineDatabase, RefusesAFileNameTheDriverCannotTake)
{
    const testsupport::ScratchFolder folder;
    for (const char* szName : {"a;b.db", "\xc3\xa9.db"}) {
        SCOPED_TRACE(szName);
        try {
            CQuarantineDatabase database(folder.Path() / szName);
            ADD_FAILURE() << "opened";
        } catch (const UTIL::COM::_com_error& e) {
            EXPECT_EQ(HResultBits(e.Error()), HResultBits(E_INVALIDARG));
            EXPECT_EQ(WideToNarrow(e.Description()), "the file name must be ASCII, without ';'");
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

} // namespace
