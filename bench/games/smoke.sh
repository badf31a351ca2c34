#!/usr/bin/env bash
# Smoke test of the game benchmark: the BuDDy solvers give every shipped slugsin example its known
# verdict (both solvers, complementary), reject the malformed one, and give the small generated
# specifications the verdict their generator states.
#   smoke.sh GAMEGEN GAMEBUDDY SLUGSIN_DIR
set -euo pipefail
gamegen=$1
gamebuddy=$2
examples=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

check() {  # file expected-verdict
  if ! "$gamebuddy" --nodes 10000 --cache 10000 --check --expect "$2" "$1" >"$tmp/out" 2>  if ! "$gamebuddy" --check --expect "$2" "$1" >"$tmp/out" 2>&1; then1; then
    echo "FAIL: $1 (expected $2):"; cat "$tmp/out"; failures=$((failures + 1))
  fi
}

for f in "$examples"/*.slugsin; do
  case $(basename "$f") in
    unicycle_robot.slugsin)
      if "$gamebuddy" --nodes 10000 --cache 10000 "$f" >"$tmp/out" 2>&1 || ! grep -q 'line 46' "$tmp/out"; then
        echo "FAIL: $f is malformed at line 46:"; cat "$tmp/out"; failures=$((failures + 1))
      fi ;;
    unrealizable1.slugsin | example_outermost_fixed_point_unrealizability.slugsin)
      check "$f" unrealizable ;;
    *) check "$f" realizable ;;
  esac
done

for family in arbiter arbiter-u bus bus-u; do
  for n in 1 2 3; do
    "$gamegen" "$family" "$n" >"$tmp/spec.slugsin"
    check "$tmp/spec.slugsin" "$(sed -n 's/^# expected: //p' "$tmp/spec.slugsin")"
  done
done

[ "$failures" -eq 0 ] && echo "all verdicts as expected"
exit "$((failures > 0))"
