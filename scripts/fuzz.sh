#!/usr/bin/env bash
# Runs the random differential tester: SEEDS seeds (default 20) of STEPS steps each (default
# 2000), starting at seed FIRST (default 1), against build/libtarn.so. Each seed creates a manager
# with small tables, performs random BDD and ADD operations, substitutions, counts, cofactors,
# references and releases, and checks every result against truth tables computed in Java. A
# failure prints a line starting with FAIL that names the seed, then the last steps; the script
# exits non-zero. Builds the library and the test jar only when they are missing.
#
# usage: scripts/fuzz.sh [SEEDS [STEPS [FIRST]]]
set -uo pipefail
cd "$(dirname "$0")/.."

seeds=${1:-20}
steps=${2:-2000}
first=${3:-1}
lib=$PWD/build/libtarn.so
jars=build/tarn-tests.jar:build/tarn.jar

if [ ! -f "$lib" ] || [ ! -f build/tarn-tests.jar ] || [ ! -f build/tarn.jar ]; then
  if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null || { echo "FAIL: cmake configure"; exit 1; }
  fi
  cmake --build build -j"$(nproc)" --target tarn tarn_java_tests >/dev/null ||
    { echo "FAIL: build of libtarn.so and the test jar"; exit 1; }
fi

java -cp "$jars" tarn.test.Fuzz "$lib" "$first" "$seeds" "$steps"
status=$?
if [ $status -ne 0 ] && [ $status -ne 1 ]; then
  # the JVM itself ended abnormally (a crash in native code, or a usage error)
  echo "FAIL: the fuzz JVM ended with status $status"
fi
exit $status
