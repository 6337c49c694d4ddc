#!/usr/bin/env bash
# Checks the format, then makes every build of CMakePresets.json, all with warnings as errors:
# Release with g++ (what users get, and what the benchmarks measure), where every test runs, the
# domain tests in a real domain; Release with clang++, so that every target compiles optimised with
# both compilers; the headless build a server without a display makes (no tests, no windows);
# clang++ under AddressSanitizer and UndefinedBehaviorSanitizer (where the fuzz harnesses become
# libFuzzer targets), where every test runs again; ThreadSanitizer, for the tests of the code that
# starts threads; and the Debian package as a packager builds it (Release, no tests), then checked.
set -euo pipefail
cd "$(dirname "$0")/.."
# Server browses ask this machine only, at a port nobody serves, unless a step says otherwise:
# nothing here may reach, or broadcast to, the networks around it.
export VESTREL_BROWSE_TARGETS=127.0.0.1:9

scripts/check-format.sh

jobs=$(nproc)

cmake --preset build
cmake --build --preset build -j "$jobs"
ctest --preset build -j "$jobs"

# The tests in a real Active Directory domain: the lab is built in namespaces of this machine,
# used and torn down here, while nothing compiles (provisioning a domain is CPU-bound). Nothing of
# it may broadcast, even inside the lab.
DOMAINLAB_CAPTURE=1 tests/domain/domainlab.sh test build/bin/domain_tests --gtest_brief=1

cmake --preset clang
cmake --build --preset clang -j "$jobs"

# A server's build: no tests and no windows, so no GoogleTest and no Qt Widgets needed.
cmake --preset headless
cmake --build --preset headless -j "$jobs"

cmake --preset sanitize
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

# The import job, the deadlines of driver calls, events, stop signals and the trace log run
# threads of their own: their tests run again where a data race fails them.
cmake --preset threads
cmake --build --preset threads -j "$jobs"
for test in vaultfeed_tests ado_odbc_tests platform_tests trace_tests; do
    TSAN_OPTIONS=halt_on_error=1 "build-threads/bin/$test" --gtest_brief=1
done

scripts/package.sh
packaging/tests/package-test.sh build-package/velmora-admin-tools_*.deb
