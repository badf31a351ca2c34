#!/usr/bin/env bash
# Sets up what the build needs (on Debian, from its packages), builds the library, the jar and
# the tests, and runs every test through CTest: the unit tests, the same unit tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the JUnit tests that load build/libtarn.so
# into a real JVM, and the benchmarks' smoke tests. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
command -v make >/dev/null || need+=(make)
[ -d /usr/lib/jvm/java-17-openjdk-amd64/include ] || need+=(openjdk-17-jdk-headless)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/share/java/junit-platform-console-standalone.jar ] || need+=(junit5)
# The benchmarks' smoke test checks tarn's answers against BuDDy's as well when it is installed.
[ -f /usr/include/bdd.h ] || need+=(libbdd-dev)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${need[*]} (run as root, or install them with apt-get)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure -j"$(nproc)"
