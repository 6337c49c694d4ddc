#pragma once
// Waiting for an import job as its progress page does, without hanging a test.

#include "vaultfeed/ImportJob.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace VaultfeedTests {

// Polls the job until its run is done; a run that never ends fails the test instead.
inline Vaultfeed::ImportProgress WaitUntilDone(const Vaultfeed::CImportJob& job)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::chrono::steady_clock::now() < deadline) {
        Vaultfeed::ImportProgress progress = job.GetProgress();
        if (progress.bDone)
            return progress;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ADD_FAILURE() << "the run never ended";
    return {};
}

} // namespace VaultfeedTests
