#pragma once
// The product's service inside the test's own process: its objects answer as the test sets them
// up, and every call is logged. Thread-safe: the import calls it from its worker thread.

#include "platform/ErrorInfo.h"
#include "vaultfeed/ServiceInterfaces.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace VaultfeedTests {

struct FakeAnswer
{
    HRESULT hr = S_OK;
    platform::Variant varResult;
    // For ImportFile: the file is recorded whatever the answer, as when the service commits and its
    // reply is lost; IsFileKnown knows it from then on.
    bool bRecorded = false;
};

// A call of the fake that fails, and the text the failure is expected to end up as.
struct FakeFailure
{
    const wchar_t* wszCall;
    HRESULT hr;
    std::optional<platform::ErrorInfo> info;
    std::wstring strExpected;
};

class CFakeService : public Vaultfeed::IServiceConnection
{
public:
    CFakeService();

    // The call, named as the log names it ("GetConfigStore", "QueryInterface IConfigStore",
    // "CreateInstance QuarantineConfig", ...), fails with hr and leaves the error information.
    void FailCall(const std::wstring& strCall, HRESULT hr, std::optional<platform::ErrorInfo> info = {});
    // How IsFileKnown and ImportFile answer for a file; by default a file is unknown and imports.
    void AnswerKnown(const std::wstring& strFileName, FakeAnswer answer);
    void AnswerImport(const std::wstring& strFileName, FakeAnswer answer);
    // From the nth call of IsFileKnown or ImportFile on (counting from 1), every one fails with hr.
    void DisappearFromCall(unsigned nCall, HRESULT hr);
    // Runs inside every ImportFile, before it answers.
    void OnImportFile(std::function<void(const std::wstring& strFileName)> hook);
    // Runs on every Interrupt, on the interrupting thread.
    void OnInterrupt(std::function<void()> hook);

    void SetConfigText(std::wstring strText);
    void SetQuarantineFolder(std::wstring strFolder);

    // Every call so far, one line each: "IsFileKnown Q1.tmp", "ImportFile Q1.tmp NODE context#1".
    std::vector<std::wstring> Calls() const;
    // The calls of IsFileKnown and ImportFile only.
    std::vector<std::wstring> FileCalls() const;

    HRESULT CreateInstance(const Vaultfeed::CLSID& clsid, Vaultfeed::UnknownPtr& pObject) override;
    void Interrupt() override;

    // What the objects share.
    struct State;

private:
    std::shared_ptr<State> m_pState;
};

} // namespace VaultfeedTests
