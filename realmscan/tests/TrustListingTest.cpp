// realmscan's listing through a network that the tests describe: the bytes it writes on each
// stream and its exit status.

#include "TrustListing.h"

#include "common/ComError.h"
#include "common/Exceptions.h"
#include "platform/DebugOutput.h"
#include "testsupport/FakeNetApi.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

using namespace platform::netapi;

namespace {

// A stream in memory, read back as the bytes written.
class MemoryStream
{
public:
    MemoryStream() : m_pStream(::open_memstream(&m_pBuffer, &m_cbBuffer)) {}
    ~MemoryStream()
    {
        std::fclose(m_pStream);
        std::free(m_pBuffer);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    std::FILE* Get() const { return m_pStream; }
    std::string Text() const
    {
        std::fflush(m_pStream);
        return std::string(m_pBuffer, m_cbBuffer);
    }

private:
    char* m_pBuffer = nullptr;
    std::size_t m_cbBuffer = 0;
    std::FILE* m_pStream;
};

struct Listing
{
    std::string strOut;
    std::string strErr;
    int iStatus;
};

// A network whose trust enumeration runs the test's code instead.
class ScriptedTrusts : public testsupport::CFakeNetApi
{
public:
    std::function<DWORD(DomainTrustArray&)> enumerate;
    DWORD DsEnumerateDomainTrustsW(const wchar_t* wszServerName, ULONG ulFlags, DomainTrustArray& trusts) override
    {
        EXPECT_EQ(wszServerName, nullptr);
        EXPECT_EQ(ulFlags, 0x3Fu);
        return enumerate(trusts);
    }
};

Listing List(std::function<DWORD(DomainTrustArray&)> enumerate)
{
    auto pNetApi = std::make_shared<ScriptedTrusts>();
    pNetApi->enumerate = std::move(enumerate);
    const CScopedNetApi scoped(pNetApi);
    const MemoryStream out;
    const MemoryStream err;
    const int iStatus = Realmscan::ListDomainTrusts(out.Get(), err.Get());
    return {out.Text(), err.Text(), iStatus};
}

Listing ListTrusts(std::vector<DS_DOMAIN_TRUSTSW> trusts)
{
    return List([&](DomainTrustArray& answer) {
        answer = DomainTrustArray(trusts);
        return DWORD{0};
    });
}

DS_DOMAIN_TRUSTSW Trust(ULONG ulFlags, ULONG ulType, ULONG ulAttributes)
{
    return {L"CORP", L"corp.example.com", ulFlags, 0, ulType, ulAttributes};
}

// The one line of a one-trust listing that starts with the label.
std::string FieldOf(const Listing& listing, const std::string& strLabel)
{
    const auto start = listing.strOut.find("\n" + strLabel);
    EXPECT_NE(start, std::string::npos) << listing.strOut;
    const auto end = listing.strOut.find('\n', start + 1);
    return listing.strOut.substr(start + 1 + strLabel.size(), end - start - 1 - strLabel.size());
}

} // namespace

TEST(TrustListing, AListingThatCannotBeWrittenFails)
{
    auto pNetApi = std::make_shared<ScriptedTrusts>();
    pNetApi->enumerate = [](DomainTrustArray& answer) {
        answer = DomainTrustArray({Trust(0x3F, 2, 0)});
        return DWORD{0};
    };
    const CScopedNetApi scoped(pNetApi);
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> pFull(std::fopen("/dev/full", "w"), std::fclose);
    ASSERT_TRUE(pFull);
    const MemoryStream err;
    EXPECT_EQ(Realmscan::ListDomainTrusts(pFull.get(), err.Get()), 1);
    EXPECT_EQ(err.Text(), "Error: 0x80070070\n"); // ERROR_DISK_FULL
}

TEST(TrustListing, NoTrustsIsTheTwoLinesAndSuccess)
{
    const Listing listing = ListTrusts({});
    EXPECT_EQ(listing.strOut, "Starting...\n...done.\n");
    EXPECT_EQ(listing.strErr, "");
    EXPECT_EQ(listing.iStatus, 0);
}

TEST(TrustListing, EachTrustIsEightLinesInOrder)
{
    const Listing listing = ListTrusts({
        {L"CORP", L"corp.example.com", 0x1D, 0, 2, 0},
        {L"PARTNER", std::nullopt, 0x2, 0, 1, 1},
        {std::nullopt, L"fabrikam.example", 0x20, 3, 2, 8},
    });
    EXPECT_EQ(listing.strOut,
              "Starting...\n"
              "Index: 0\n"
              "Net BIOS domain name: CORP\n"
              "DNS domain name: corp.example.com\n"
              "Flags: DS_DOMAIN_IN_FOREST DS_DOMAIN_TREE_ROOT DS_DOMAIN_PRIMARY DS_DOMAIN_NATIVE_MODE \n"
              "ParentIndex: 0\n"
              "Trust type: TRUST_TYPE_UPLEVEL\n"
              "Trust attributes: Unknown (0)\n"
              "-----\n"
              "Index: 1\n"
              "Net BIOS domain name: PARTNER\n"
              "DNS domain name: \n"
              "Flags: DS_DOMAIN_DIRECT_OUTBOUND \n"
              "ParentIndex: 0\n"
              "Trust type: TRUST_TYPE_DOWNLEVEL\n"
              "Trust attributes: TRUST_ATTRIBUTE_NON_TRANSITIVE\n"
              "-----\n"
              "Index: 2\n"
              "Net BIOS domain name: \n"
              "DNS domain name: fabrikam.example\n"
              "Flags: DS_DOMAIN_DIRECT_INBOUND \n"
              "ParentIndex: 3\n"
              "Trust type: TRUST_TYPE_UPLEVEL\n"
              "Trust attributes: TRUST_ATTRIBUTE_FOREST_TRANSITIVE\n"
              "-----\n"
              "...done.\n");
    EXPECT_EQ(listing.strErr, "");
    EXPECT_EQ(listing.iStatus, 0);
}

TEST(TrustListing, FlagsAreNamedBitByBitInTableOrder)
{
    const std::pair<ULONG, std::string> cases[] = {
        {0x0, ""},
        {0x3F, "DS_DOMAIN_IN_FOREST DS_DOMAIN_DIRECT_OUTBOUND DS_DOMAIN_TREE_ROOT DS_DOMAIN_PRIMARY "
               "DS_DOMAIN_NATIVE_MODE DS_DOMAIN_DIRECT_INBOUND "},
        {0x41, "DS_DOMAIN_IN_FOREST <unknown:64>"},
        {0xFFFFFFC0, "<unknown:4294967232>"},
    };
    for (const auto& [ulFlags, strText] : cases)
        EXPECT_EQ(FieldOf(ListTrusts({Trust(ulFlags, 2, 0)}), "Flags: "), strText) << ulFlags;
}

TEST(TrustListing, TrustTypesAreNamedByRange)
{
    const std::pair<ULONG, std::string> cases[] = {
        {0, "Unknown (0)"},
        {1, "TRUST_TYPE_DOWNLEVEL"},
        {2, "TRUST_TYPE_UPLEVEL"},
        {3, "TRUST_TYPE_MIT"},
        {4, "Unknown (4)"},
        {5, "Reserved for future use (5)"},
        {0x000FFFFF, "Reserved for future use (1048575)"},
        {0x00100000, "Provider-specific trust levels (1048576)"},
        {0xFFF00000, "Provider-specific trust levels (4293918720)"},
        {0xFFF00001, "Unknown (4293918721)"},
    };
    for (const auto& [ulType, strText] : cases)
        EXPECT_EQ(FieldOf(ListTrusts({Trust(0x8, ulType, 0)}), "Trust type: "), strText) << ulType;
}

TEST(TrustListing, TrustAttributesAreNamedOnlyAsAWholeValue)
{
    const std::pair<ULONG, std::string> cases[] = {
        {0, "Unknown (0)"},
        {1, "TRUST_ATTRIBUTE_NON_TRANSITIVE"},
        {2, "TRUST_ATTRIBUTE_UPLEVEL_ONLY"},
        {8, "TRUST_ATTRIBUTE_FOREST_TRANSITIVE"},
        {16, "TRUST_ATTRIBUTE_CROSS_ORGANIZATION"},
        {32, "TRUST_ATTRIBUTE_WITHIN_FOREST"},
        {40, "Unknown (40)"},
        {4, "Unknown (4)"},
    };
    for (const auto& [ulAttributes, strText] : cases)
        EXPECT_EQ(FieldOf(ListTrusts({Trust(0x8, 2, ulAttributes)}), "Trust attributes: "), strText) << ulAttributes;
}

TEST(TrustListing, EnumerationFailuresAreNamedThenFailWithEFail)
{
    const std::pair<DWORD, std::string> cases[] = {
        {50, "ERROR_NOT_SUPPORTED"},         {1004, "ERROR_INVALID_FLAGS"},        {1311, "ERROR_NO_LOGON_SERVERS"},
        {1786, "ERROR_NO_TRUST_LSA_SECRET"}, {1787, "ERROR_NO_TRUST_SAM_ACCOUNT"}, {5, "Unknown error: 5"},
    };
    for (const auto& [dwError, strName] : cases) {
        const Listing listing = List([dwError = dwError](DomainTrustArray&) { return dwError; });
        EXPECT_EQ(listing.strOut, "Starting...\n") << dwError;
        EXPECT_EQ(listing.strErr, strName + "\nError: 0x80004005\n");
        EXPECT_EQ(listing.iStatus, 1);
    }
}

TEST(TrustListing, ACountWithoutAnArrayFailsWithoutListing)
{
    const Listing listing = List([](DomainTrustArray& trusts) {
        trusts = DomainTrustArray::CountWithoutArray(3);
        return DWORD{0};
    });
    EXPECT_EQ(listing.strOut, "Starting...\n");
    EXPECT_EQ(listing.strErr, "Error: 0x80004005\n");
    EXPECT_EQ(listing.iStatus, 1);
}

TEST(TrustListing, EveryKindOfExceptionEndsWithItsHResult)
{
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { throw UTIL::COM::_com_error(MakeHResult(0x80070005)); }, "Error: 0x80070005\n"},
        {[] { throw UTIL::COM::CAtlException(MakeHResult(0x8007000D)); }, "Error: 0x8007000D\n"},
        {[] { throw UTIL::ERR::CComException("DsEnumerateDomainTrustsW", MakeHResult(0x800706BA)); },
         "Error: 0x800706BA\n"},
        {[] { throw std::bad_alloc(); }, "Error: 0x8007000E\n"},
        {[] { throw UTIL::ERR::CWindowsException("DsEnumerateDomainTrustsW", 1311); }, "Error: 0x80004005\n"},
        {[] { throw std::runtime_error("broken"); }, "Error: 0x80004005\n"},
        {[] { throw 42; }, "Error: 0x8000FFFF\n"},
    };
    for (const auto& c : cases) {
        const Listing listing = List([&c](DomainTrustArray&) -> DWORD {
            c.first();
            return 0;
        });
        EXPECT_EQ(listing.strOut, "Starting...\n");
        EXPECT_EQ(listing.strErr, c.second);
        EXPECT_EQ(listing.iStatus, 1);
    }
}

TEST(TrustListing, NamesAreWrittenWithTheirControlCharactersEscaped)
{
    // Names come from the domain controller, or from whoever answers in its place.
    const Listing listing = ListTrusts({{L"EVIL\x1b]0;title\x07", L"evil.example\r\nIndex: 9\x1b[2J", 0x22, 0, 2, 8}});
    EXPECT_EQ(FieldOf(listing, "Net BIOS domain name: "), "EVIL\\x1b]0;title\\x07");
    EXPECT_EQ(FieldOf(listing, "DNS domain name: "), "evil.example\\x0d\\x0aIndex: 9\\x1b[2J");
    EXPECT_EQ(listing.iStatus, 0);
}

TEST(TrustListing, WhereTheTrustsCameFromIsToldToTheDebuggerOutput)
{
    const platform::CCapturedDebugOutput debugger;
    auto pNetApi = std::make_shared<ScriptedTrusts>();
    pNetApi->enumerate = [&pNetApi](DomainTrustArray& answer) {
        pNetApi->notes = {L"Trusts from the directory of dc1.corp.example.com over LDAP, as HOST$@CORP.EXAMPLE.COM"};
        answer = DomainTrustArray({Trust(0x1D, 2, 0)});
        return DWORD{0};
    };
    const CScopedNetApi scoped(pNetApi);
    const MemoryStream out;
    const MemoryStream err;
    EXPECT_EQ(Realmscan::ListDomainTrusts(out.Get(), err.Get()), 0);
    EXPECT_EQ(debugger.Texts(), std::vector<std::string>{"realmscan: Trusts from the directory of "
                                                         "dc1.corp.example.com over LDAP, as HOST$@CORP.EXAMPLE.COM"});
    EXPECT_EQ(err.Text(), "");
}
