#!/usr/bin/env bash
# Builds libtarn and tarn.jar (through scripts/synth.sh), decides two shipped GR(1)
# specifications, one realizable and one not, then runs the Java examples from their source
# files against tarn.jar alone. Works from any directory; as root on Debian it installs missing
# tools first.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
specs=../shared/benchmarks/slugsin

for spec in firefighting unrealizable1; do
  if [ -f "$specs/$spec.slugsin" ]; then
    echo "== scripts/synth.sh --strategy $specs/$spec.slugsin"
    scripts/synth.sh --strategy "$specs/$spec.slugsin"
  fi
done
[ -f build/tarn.jar ] || scripts/synth.sh --help >/dev/null

for example in "Queens.java 8" "Reachability.java" "Hello.java"; do
  echo "== java -cp build/tarn.jar examples/$example"
  # shellcheck disable=SC2086
  java -cp build/tarn.jar examples/$example
done
