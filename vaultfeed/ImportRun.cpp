#include "vaultfeed/ImportRun.h"

#include "QuarantineLock.h"
#include "QuarantineSearch.h"
#include "common/StringUtils.h"
#include "platform/Win32Error.h"
#include "vaultfeed/FileOperations.h"
#include "vaultfeed/ImportReport.h"
#include "vaultfeed/ServiceCalls.h"

#include <algorithm>
#include <chrono>
#include <sys/stat.h>

namespace Vaultfeed {
namespace {

using platform::ERROR_FILE_EXISTS;
using platform::ERROR_FILE_NOT_FOUND;
using platform::ERROR_NO_MORE_FILES;
using platform::ERROR_SUCCESS;

// The folder, ending with a separator.
std::string FolderPath(std::string strPath)
{
    if (!strPath.empty() && strPath.back() != '/')
        strPath += '/';
    return strPath;
}

bool IsExistingFolder(const std::string& strPath)
{
    struct stat status
    {
    };
    return ::stat(strPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// A search ends with one of these when it found no entry, or no more; any other error is a folder
// that could not be read.
bool EndedNormally(DWORD dwSearch)
{
    return dwSearch == ERROR_NO_MORE_FILES || dwSearch == ERROR_FILE_NOT_FOUND;
}

bool IsCorruptedAnswer(const platform::Variant& varResult)
{
    return varResult.Type() == platform::VT_I4 && varResult.Int32Value() == 1;
}

// What the service says of a file whose import failed.
enum class Recorded { Yes, No, Unknown };

class CImportRun
{
public:
    CImportRun(const ImportParameters& params, IServiceConnection& service, platform::CAutoResetEvent& cancel,
               const ProgressReport& report)
        : m_params(params), m_service(service), m_cancel(cancel), m_report(report)
    {
    }

    void Run()
    {
        try {
            Walk();
        } catch (const UTIL::COM::_com_error& e) {
            ReportDone(kSeverityError, ComErrorText(e));
        } catch (...) {
            ReportDone(kSeverityError, L"Caught general exception");
        }
    }

private:
    void Walk()
    {
        const std::string strSourceFolder = FolderPath(m_params.strSourceFolder);
        m_strQuarantineFolder = FolderPath(m_params.strQuarantineFolder);
        m_strWalkedFolder = m_params.lMode == kModeQuarantineFolder ? m_strQuarantineFolder : strSourceFolder;
        if (!IsExistingFolder(m_strWalkedFolder) || !IsExistingFolder(m_strQuarantineFolder))
            return ReportDone(kSeverityError, L"Error: invalid input argument.");
        // Another run at work on the folder is not waited for: the report says so at once, where a
        // wait would hold a setup script or a wizard without a word for as long as that run takes.
        const CQuarantineLock lock(m_strQuarantineFolder);

        const CServicePtr<IServiceRoot> pRoot = CreateServiceObject<IServiceRoot>(m_service, CLSID_ServiceRoot);
        UnknownPtr pImportObject;
        CallOrRaise([&] { return pRoot->GetQuarantineImport(pImportObject); });
        m_pImport = QueryForInterface<IQuarantineImport>(pImportObject);
        const HRESULT hrContext = m_pImport->CreateImportContext(m_pContext);
        if (FAILED(hrContext))
            return ReportDone(kSeverityError, FormatW(L"Error 0x%08x", HResultBits(hrContext)));

        const std::uint64_t uTotal = std::max<std::uint32_t>(CountQuarantineEntries(m_strWalkedFolder), 1);
        CQuarantineSearch search;
        SearchEntry entry;
        DWORD dwSearch = search.FindFirst(m_strWalkedFolder, entry);
        if (dwSearch != ERROR_SUCCESS) {
            return EndedNormally(dwSearch) ? ReportDone(kSeverityWarning, L"No quarantine file has been found.")
                                           : ReportDone(kSeverityError, L"Error: unexpected error.");
        }
        for (; dwSearch == ERROR_SUCCESS; dwSearch = search.FindNext(entry)) {
            ++m_counters.uProcessed;
            if (m_cancel.Wait(std::chrono::milliseconds(0)))
                return;
            const auto lPercent = static_cast<std::int32_t>(
                std::min<std::uint64_t>(std::uint64_t{m_counters.uProcessed} * 100 / uTotal, 100));
            m_report({false, lPercent, kSeveritySuccess, {}});
            if (entry.bIsFolder)
                ++m_counters.uSubfoldersIgnored;
            else if (!ImportEntry(entry.strName))
                return;
        }
        if (!EndedNormally(dwSearch))
            return ReportDone(kSeverityError, L"Error: unexpected error.");
        ImportReport report = BuildFinalReport(m_counters);
        m_report({true, 100, report.lSeverity, std::move(report.strText)});
    }

    // Copies one file into place and hands it to the service; false when the run ends with it.
    bool ImportEntry(const std::string& strName)
    {
        const std::string strTarget = m_strQuarantineFolder + strName;
        CMadeCopy copy;
        const DWORD dwCopy = CopyFileNoReplace(m_strWalkedFolder + strName, strTarget, copy);
        const bool bCopied = dwCopy == ERROR_SUCCESS;
        if (!bCopied && dwCopy != ERROR_FILE_EXISTS) {
            ++m_counters.uFailedToCopy;
            return true;
        }

        const std::wstring strFileName = NarrowToWide(strName);
        platform::Variant varKnown;
        const HRESULT hrKnown = m_pImport->IsFileKnown(strFileName, varKnown);
        const bool bFirstAsked = !std::exchange(m_bAskedBefore, true);
        if (FAILED(hrKnown)) {
            if (bFirstAsked) {
                ReportDone(kSeverityError, FormatW(L"Error 0x%08x", HResultBits(hrKnown)));
                return false;
            }
            ++m_counters.uFailedToImport;
            return true;
        }
        if (varKnown.Type() != platform::VT_EMPTY) {
            ++m_counters.uAlreadyInDatabase;
            return true;
        }

        platform::Variant varResult;
        if (SUCCEEDED(m_pImport->ImportFile(strFileName, m_params.strNetworkName, m_pContext, varResult))) {
            ++m_counters.uImported;
            return true;
        }
        const bool bCorrupted = IsCorruptedAnswer(varResult);
        // Only a damaged file's answer says for certain that nothing was recorded. Any other failure
        // may be a reply lost after the service committed (a time-out, a lost connection): the file
        // then stays, counted as what the service says it is.
        if (!bCorrupted) {
            const Recorded recorded = AskWhetherRecorded(strFileName);
            if (recorded == Recorded::Yes) {
                ++m_counters.uImported;
                return true;
            }
            if (recorded == Recorded::Unknown) {
                ++m_counters.uFailedToImport;
                return true;
            }
        }
        ++m_counters.uFailedToImport;
        if (bCopied) {
            DeleteCopy(strTarget, copy);
            // A damaged file met in an unattended run is dropped without counting as a failure.
            if (bCorrupted && m_params.lMode == kModeCommandLine)
                --m_counters.uFailedToImport;
        } else if (bCorrupted && MoveFileReplacing(strTarget, strTarget + ".bad")) {
            --m_counters.uFailedToImport;
            ++m_counters.uCorruptedRenamed;
        }
        return true;
    }

    Recorded AskWhetherRecorded(const std::wstring& strFileName)
    {
        platform::Variant varKnown;
        if (FAILED(m_pImport->IsFileKnown(strFileName, varKnown)))
            return Recorded::Unknown;
        return varKnown.Type() == platform::VT_EMPTY ? Recorded::No : Recorded::Yes;
    }

    // A run that ends early: at percent 0.
    void ReportDone(std::int32_t lSeverity, std::wstring strText)
    {
        m_report({true, 0, lSeverity, std::move(strText)});
    }

    const ImportParameters& m_params;
    IServiceConnection& m_service;
    platform::CAutoResetEvent& m_cancel;
    const ProgressReport& m_report;
    std::string m_strWalkedFolder;
    std::string m_strQuarantineFolder;
    CServicePtr<IQuarantineImport> m_pImport;
    UnknownPtr m_pContext;
    ImportCounters m_counters;
    bool m_bAskedBefore = false;
};

} // namespace

void RunImport(const ImportParameters& params, IServiceConnection& service, platform::CAutoResetEvent& cancel,
               const ProgressReport& report)
{
    CImportRun(params, service, cancel, report).Run();
}

} // namespace Vaultfeed
