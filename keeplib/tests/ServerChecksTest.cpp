#include "FakeServer.h"
#include "keeplib/Exports.h"

class ServerChecksTest : public FakeServerTest
{
protected:
    void InstanceVersionIs(const std::wstring& strServer, std::int32_t lVersion)
    {
        // Each server answers on its own connection; the fake tells them apart by order.
        Rows(L"xp_msver 'ProductVersion'", {L"Index", L"Name", L"Internal_Value", L"Character_Value"},
             {{Variant::Int32(2), Variant::String(L"ProductVersion"), Variant::Int32(lVersion),
               Variant::String(strServer)}},
             1);
    }
    void MembershipIs(const Variant& value) { Rows(L"SELECT IS_SRVROLEMEMBER(", {L"SrvRoleMember"}, {{value}}, 1); }
    std::vector<std::wstring> Servers() const
    {
        std::vector<std::wstring> servers;
        for (const std::wstring& strLine : Log())
            if (strLine.starts_with(L"Open: "))
                servers.push_back(strLine.substr(strLine.find(L"Data Source=") + 12,
                                                 strLine.find(L';', 26) - strLine.find(L"Data Source=") - 12));
        return servers;
    }
};

TEST_F(ServerChecksTest, VersionThresholdIsSqlServer2000)
{
    InstanceVersionIs(L"A", 0x80000);
    EXPECT_EQ(KeeplibSQLServerCheck(60, L"A", 30, 0, nullptr, nullptr), S_OK);
    InstanceVersionIs(L"A", 0x7FFFF);
    EXPECT_EQ(KeeplibSQLServerCheck(60, L"A", 30, 0, nullptr, nullptr), S_FALSE);
    EXPECT_TRUE(Traced("INF: Instance version less than SQL Server 2000/MSDE"));
    EXPECT_EQ(Statements(), (std::vector<std::wstring>(2, L"xp_msver 'ProductVersion'")));
}

TEST_F(ServerChecksTest, MirroredPairStopsAtTheFirstOldServer)
{
    InstanceVersionIs(L"A", 0x70000);
    EXPECT_EQ(KeeplibSQLServerCheck(60, L"A;B", 30, 0, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(Servers(), (std::vector<std::wstring>{L"A"}));

    m_pServer = std::make_shared<testsupport::CFakeProvider>();
    const platform::ado::CScopedProvider provider(m_pServer);
    InstanceVersionIs(L"A", 0x90000);
    InstanceVersionIs(L"B", 0x70000);
    EXPECT_EQ(KeeplibSQLServerCheck(60, L"A;B", 30, 0, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(Servers(), (std::vector<std::wstring>{L"A", L"B"}));
}

TEST_F(ServerChecksTest, TextTypedVersionIsUnexpected)
{
    Rows(L"xp_msver", {L"Internal_Value", L"Character_Value"}, {{Variant::String(L"524288"), Variant::String(L"8.0")}});
    EXPECT_EQ(KeeplibSQLServerCheck(60, L"A", 30, 0, nullptr, nullptr), E_UNEXPECTED);
    EXPECT_TRUE(Traced("ERR: Field[Internal_Value]->get_Value is not VT_I4."));
}

TEST_F(ServerChecksTest, RoleMembership)
{
    MembershipIs(Variant::Int32(1));
    EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"A", 30, 0, nullptr, nullptr, L"sysadmin"), S_OK);
    MembershipIs(Variant::Int32(0));
    EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"A", 30, 0, nullptr, nullptr, L"sysadmin"), S_FALSE);
    MembershipIs(Variant::Null());
    EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"A", 30, 0, nullptr, nullptr, L"no'such"), E_FAIL);
    EXPECT_TRUE(Traced("ERR: Failed 'V_VT(&varValue) != VT_I4' : Win32 error 0x80004005"));
    EXPECT_EQ(Statements().back(), L"SELECT IS_SRVROLEMEMBER('no''such') AS [SrvRoleMember]");
}

TEST_F(ServerChecksTest, RoleMembershipOfAPairNeedsBothServers)
{
    MembershipIs(Variant::Int32(0));
    MembershipIs(Variant::Int32(1));
    EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"A;B", 30, 0, nullptr, nullptr, L"dbcreator"), S_FALSE);
    EXPECT_EQ(Servers(), (std::vector<std::wstring>{L"A", L"B"}));
}

TEST_F(ServerChecksTest, EmptyNamesAreRefusedBeforeAnyConnection)
{
    EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"", 30, 0, nullptr, nullptr, L"sysadmin"), E_INVALIDARG);
    EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"A", 30, 0, nullptr, nullptr, L""), E_INVALIDARG);
    EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"A", 30, 0, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_TRUE(Log().empty());
}

TEST_F(ServerChecksTest, VersionAnswersOfAnotherShapeFailAsAdoReadsThem)
{
    struct ShapeCase
    {
        const char* szName;
        std::vector<std::wstring> fields;
        std::vector<std::vector<Variant>> rows;
        HRESULT hr;
        const char* szTraced;
    };
    const ShapeCase cases[] = {
        {"no row: the field is there, its value is not",
         {L"Internal_Value", L"Character_Value"},
         {},
         platform::ado::ADO_E_NO_CURRENT_RECORD,
         "ERR: Field[Internal_Value]->get_Value failed with hr=(0x800a0bcd)."},
        {"no version number",
         {L"Character_Value"},
         {{Variant::String(L"8.0")}},
         platform::ado::ADO_E_ITEM_NOT_FOUND,
         "ERR: Fields->get_Item[Internal_Value] failed with hr=(0x800a0cc1)."},
        {"no version text",
         {L"Internal_Value"},
         {{Variant::Int32(0x80000)}},
         platform::ado::ADO_E_ITEM_NOT_FOUND,
         "ERR: Fields->get_Item[Character_Value] failed with hr=(0x800a0cc1)."},
        {"a version text that is no text",
         {L"Internal_Value", L"Character_Value"},
         {{Variant::Int32(0x80000), Variant::Null()}},
         E_UNEXPECTED,
         "ERR: Field[Character_Value]->get_Value is not VT_BSTR."},
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.szName);
        m_pServer = std::make_shared<testsupport::CFakeProvider>();
        const platform::ado::CScopedProvider provider(m_pServer);
        Rows(L"xp_msver", c.fields, c.rows);
        EXPECT_EQ(KeeplibSQLServerCheck(60, L"A", 30, 0, nullptr, nullptr), c.hr);
        EXPECT_TRUE(Traced(c.szTraced));
        EXPECT_TRUE(Traced(
            FormatA("ERR: Keeplibs::KeeplibInstanceVersion failed with hr=(0x%08x).", static_cast<unsigned>(c.hr))));
    }
}

TEST_F(ServerChecksTest, InstanceCheckStopsAtTheFirstServerThatCannotBeReached)
{
    InstanceVersionIs(L"A", 0x90000);
    FailOpen(L"Data Source=B", E_FAIL);
    EXPECT_EQ(KeeplibSQLServerCheck(60, L"A;B", 30, 0, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(Servers(), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_TRUE(Traced("ERR: Connect(master) failed with hr=(0x80004005)."));

    // The partner is never tried after the principal failed.
    m_pServer = std::make_shared<testsupport::CFakeProvider>();
    const platform::ado::CScopedProvider provider(m_pServer);
    FailOpen(L"Data Source=A", E_FAIL);
    EXPECT_EQ(KeeplibSQLServerCheck(60, L"A;B", 30, 0, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(Servers(), (std::vector<std::wstring>{L"A"}));
}

TEST_F(ServerChecksTest, RoleAnswerMustBeOneRow)
{
    for (const std::size_t cRows : {0u, 2u}) {
        m_pServer = std::make_shared<testsupport::CFakeProvider>();
        const platform::ado::CScopedProvider provider(m_pServer);
        Rows(L"SELECT IS_SRVROLEMEMBER(", {L"SrvRoleMember"},
             std::vector<std::vector<Variant>>(cRows, {Variant::Int32(1)}));
        EXPECT_EQ(KeeplibSQLServerCheckSvrRole(60, L"A", 30, 0, nullptr, nullptr, L"sysadmin"), E_FAIL) << cRows;
        EXPECT_TRUE(Traced(FormatA("INF: nRecordCount=%zu", cRows)));
        EXPECT_TRUE(Traced("ERR: Failed 'nRecordCount != 1' : Win32 error 0x80004005"));
        // The connection is closed all the same.
        EXPECT_EQ(Log().back(), L"Close");
    }
}
