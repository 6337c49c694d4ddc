#pragma once
// Running keepctl as its users do, for the black-box tests: both trace logs written to files of
// the test's scratch folder, its temporary files there too.

#include "testsupport/RunProgram.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

class KeepctlFixture : public ::testing::Test
{
protected:
    // Runs keepctl with the trace logs in logs/ and the extra variables given.
    testsupport::ProgramResult RunKeepctl(const std::vector<std::string>& arguments,
                                          std::map<std::string, std::string> environment = {}) const
    {
        return testsupport::RunProgram(KEEPCTL_PATH, arguments, KeepctlEnvironment(std::move(environment)));
    }

    // The variables given, and those that put the trace logs in logs/ and temporary files in the
    // scratch folder.
    std::map<std::string, std::string> KeepctlEnvironment(std::map<std::string, std::string> environment = {}) const
    {
        const std::string strLogs = (m_folder.Path() / "logs").string();
        const auto registry = m_folder.Write(
            "registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keepctl]\r\n"
                            "\"TraceFileName\"=\"" +
                                strLogs +
                                "/keepctl\"\r\n\"OutputToDebugger\"=dword:0\r\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Vestrel\\VLDebugLogs\\Keeplib]\r\n"
                                "\"TraceFileName\"=\"" +
                                strLogs + "/keeplib\"\r\n\"OutputToDebugger\"=dword:0\r\n" + m_strRegistryKeys);
        environment.emplace("VESTREL_REGISTRY_FILE", registry.string());
        environment.emplace("TMPDIR", m_folder.Path().string());
        return environment;
    }

    // The text of the one trace file whose name starts with the prefix.
    std::string TraceFile(const std::string& strPrefix) const
    {
        std::string strText;
        int nFiles = 0;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path() / "logs")) {
            if (entry.path().filename().string().starts_with(strPrefix + "-")) {
                strText = testsupport::ReadFile(entry.path());
                ++nFiles;
            }
        }
        EXPECT_EQ(nFiles, 1) << strPrefix;
        return strText;
    }

    // Removes the trace files of earlier runs.
    void ClearTraces() const { std::filesystem::remove_all(m_folder.Path() / "logs"); }

    testsupport::ScratchFolder m_folder;
    // Further keys of the registry file of every run, in the file's own form.
    std::string m_strRegistryKeys;
};
