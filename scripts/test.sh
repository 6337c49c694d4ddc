#!/usr/bin/env bash
# Builds the project twice, optimised with g++ (what users get, and what the benchmarks measure)
# and with clang++ under AddressSanitizer and UndefinedBehaviorSanitizer (where the fuzz harnesses
# become libFuzzer targets), and runs every test in both builds; runs the tests of the code that
# starts threads under ThreadSanitizer; then builds the Debian package as a packager does
# (Release) and checks it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Server browses ask this machine only, at a port nobody serves, unless a step says otherwise:
# nothing here may reach, or broadcast to, the networks around it.
export VESTREL_BROWSE_TARGETS=127.0.0.1:9

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DVESTREL_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# The import job, the deadlines of driver calls, events, stop signals and the trace log run
# threads of their own: their tests run again where a data race fails them.
threaded_tests=(vaultfeed_tests ado_odbc_tests platform_tests trace_tests)
cmake -S . -B build-threads -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DVESTREL_SANITIZE_THREADS=ON
cmake --build build-threads -j "$jobs" --target "${threaded_tests[@]}"
for test in "${threaded_tests[@]}"; do
    TSAN_OPTIONS=halt_on_error=1 "build-threads/bin/$test" --gtest_brief=1
done

scripts/package.sh
packaging/tests/package-test.sh build-package/velmora-admin-tools_*.deb
