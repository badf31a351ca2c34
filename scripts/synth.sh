#!/usr/bin/env bash
# Decides whether a GR(1) specification in the slugsin format is realizable:
#   scripts/synth.sh [--efp] [--eun] [--fpr] [--counter] [--check] [--strategy] [--trace] FILE.slugsin
# prints `realizable` or `unrealizable`, the iteration counts, the solve time and the peak node
# count (scripts/synth.sh --help lists the options). Builds libtarn and tarn.jar first when they
# are missing or older than their sources; the build's output goes to standard error. As root on
# Debian it installs missing build tools first. Works from any directory.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jar="$root/build/tarn.jar"

needs_build() {
  [ ! -f "$jar" ] && return 0
  [ -n "$(find "$root/src" "$root/java" "$root/CMakeLists.txt" -newer "$jar" -type f -print -quit)" ]
}

install_tools() {
  local missing=()
  for tool in cmake g++ make java javac; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  # Configuring the build also sets up the tests, which need JUnit and GoogleTest.
  [ -e /usr/share/java/junit-platform-console-standalone.jar ] || missing+=("junit5")
  [ -e /usr/include/gtest/gtest.h ] || missing+=("libgtest-dev")
  [ "${#missing[@]}" -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "installing build tools (missing: ${missing[*]})" >&2
    apt-get update >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
      cmake g++ make openjdk-17-jdk-headless junit5 libgtest-dev >&2
  else
    echo "missing tools: ${missing[*]}" >&2
    echo "install them (Debian: cmake g++ make openjdk-17-jdk-headless junit5 libgtest-dev) and run again" >&2
    exit 1
  fi
}

if needs_build; then
  install_tools
  echo "building tarn.jar" >&2
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >&2
  cmake --build "$root/build" -j2 --target tarn_jar >&2
fi

exec java -jar "$jar" "$@"
