#!/usr/bin/env bash
# Builds libtarn, tarn.jar and the examples, then runs the Hello example.
# Works from any directory. As root on Debian it installs missing tools first.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

missing=()
for tool in cmake g++ make java javac; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ! -e /usr/share/java/junit-platform-console-standalone.jar ]; then
  missing+=("junit5")
fi
# The build configures the unit tests too, which need GoogleTest.
if [ ! -e /usr/include/gtest/gtest.h ]; then
  missing+=("libgtest-dev")
fi
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "installing build tools (missing: ${missing[*]})"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      cmake g++ make openjdk-17-jdk-headless junit5 libgtest-dev
  else
    echo "missing tools: ${missing[*]}" >&2
    echo "install them (Debian: cmake g++ make openjdk-17-jdk-headless junit5 libgtest-dev) and run again" >&2
    exit 1
  fi
fi

# The build is incremental, so it runs every time and keeps the demo current.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2 --target tarn tarn_jar tarn_examples

java -cp build/tarn.jar:build/examples.jar -Dtarn.library="$PWD/build/libtarn.so" Hello
