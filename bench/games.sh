#!/usr/bin/env bash
# Game solving side by side: generated GR(1) specifications (bench/games/gamegen) solved by the
# synthesis command on tarn (scripts/synth.sh, GR(1) and with --counter the Rabin game) and by the
# same fixpoints over BuDDy (bench/games/gamebuddy), alternately, one process per run; then tarn
# alone with each heuristic on. Not part of scripts/test.sh.
#
#   bench/games.sh                     every family, sizes growing until BuDDy needs 10 s
#   bench/games.sh arbiter:4,6 bus:5   only the families and sizes named
#   ROUNDS=3 SOLVERS="gr1" bench/games.sh
#
# Environment: ROUNDS (alternating rounds per size, default 3), SOLVERS ("gr1 rabin"),
# TARGET_MS (the BuDDy solve time that ends a family's growing sizes, default 10000),
# MAX_SIZE (the largest size tried when growing, default 12), HEURISTICS ("efp eun fpr", empty
# to skip them), HEURISTIC_SIZES (how many of the largest sizes get the heuristic runs, default 2).
#
# A verdict that differs from the generator's, or iteration counts that differ between the two
# engines (heuristics off: the same fixpoint, so the same counts), stops the script. Times are the
# solve times each side reports (wall clock, parsing and building excluded); memory is the peak
# resident size of each run's process tree (/usr/bin/time), which on tarn's side includes the
# JVM. Raw results go to build-bench/games-results.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

ROUNDS=${ROUNDS:-3}
SOLVERS=${SOLVERS:-gr1 rabin}
TARGET_MS=${TARGET_MS:-10000}
MAX_SIZE=${MAX_SIZE:-12}
HEURISTICS=${HEURISTICS-efp eun fpr}
HEURISTIC_SIZES=${HEURISTIC_SIZES:-2}
BUILD=build-bench
SPECS="$BUILD/games"

need=()
[ -f /usr/include/bdd.h ] || need+=(libbdd-dev)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
  else
    echo "missing packages: ${need[*]}" >&2
    exit 1
  fi
fi

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF -DTARN_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target gamegen gamebuddy >/dev/null
# The synthesis command builds its jar and library when they are missing or stale.
scripts/synth.sh --help >/dev/null
mkdir -p "$SPECS"
RESULTS="$BUILD/games-results.txt"
: >"$RESULTS"

# One run; appends "engine solver heuristics family size verdict z y x ms peakKiB" to the results
# and prints the milliseconds.
run_one() {  # engine solver heuristic family size
  local engine=$1 solver=$2 heuristic=$3 family=$4 n=$5 spec="$SPECS/$4-$5.slugsin" out rss
  out=$(mktemp)
  rss=$(mktemp)
  if [ "$engine" = tarn ]; then
    local args=()
    [ "$solver" = rabin ] && args+=(--counter)
    [ "$heuristic" != off ] && args+=("--$heuristic")
    /usr/bin/time -f %M -o "$rss" scripts/synth.sh "${args[@]}" "$spec" >"$out" 2>/dev/null
    awk -v rss="$(cat "$rss")" -v head="tarn $solver $heuristic $family $n" '
      NR == 1 { verdict = $1 }
      /iterations:/ { gsub(",", ""); z = $3; y = $5; x = $7 }
      /solve time:/ { ms = $3 * 1000 }
      END { printf "%s %s %s %s %s %.1f %s\n", head, verdict, z, y, x, ms, rss }' "$out" >>"$RESULTS"
  else
    local args=()
    [ "$solver" = rabin ] && args+=(--rabin)
    /usr/bin/time -f %M -o "$rss" "$BUILD/bench/gamebuddy" "${args[@]}" "$spec" >"$out"
    awk -v rss="$(cat "$rss")" -v head="buddy $solver off $family $n" '
      { for (k = 3; k <= NF; k++) { split($k, kv, "="); v[kv[1]] = kv[2] } verdict = $2 }
      END { printf "%s %s %s %s %s %s %s\n", head, verdict, v["zIter"], v["yIter"], v["xIter"], v["solveMs"], rss }' \
      "$out" >>"$RESULTS"
  fi
  rm -f "$out" "$rss"
  local line expected
  line=$(tail -n 1 "$RESULTS")
  expected=$(sed -n 's/^# expected: //p' "$spec")
  if [ "$(echo "$line" | cut -d' ' -f6)" != "$expected" ]; then
    echo "wrong verdict (expected $expected): $line" >&2
    exit 1
  fi
  echo "$line" | cut -d' ' -f10
}

# Median of the milliseconds of the BuDDy runs of one size and solver so far.
buddy_median() {  # solver family size
  awk -v s="$1" -v f="$2" -v n="$3" '$1 == "buddy" && $2 == s && $4 == f && $5 == n { print $10 }' "$RESULTS" |
    sort -g | awk '{ a[NR] = $1 } END { print NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

# Both engines at one size, ROUNDS alternating rounds (tarn first).
# Checks that the iteration counts agree.
compare() {  # family size
  local family=$1 n=$2 solver
  "$BUILD/bench/gamegen" "$family" "$n" >"$SPECS/$family-$n.slugsin"
  for solver in $SOLVERS; do
    echo "running $family $n $solver ($ROUNDS rounds)" >&2
    for _ in $(seq "$ROUNDS"); do
      run_one tarn "$solver" off "$family" "$n" >/dev/null
      run_one buddy "$solver" off "$family" "$n" >/dev/null
    done
    local counts
    counts=$(awk -v s="$solver" -v f="$family" -v n="$n" \
      '$2 == s && $3 == "off" && $4 == f && $5 == n { print $7, $8, $9 }' "$RESULTS" | sort -u | wc -l)
    if [ "$counts" != 1 ]; then
      echo "iteration counts differ between the engines: $family $n $solver" >&2
      grep " $solver off $family $n " "$RESULTS" >&2
      exit 1
    fi
  done
}

if [ $# -gt 0 ]; then
  JOBS=("$@")
else
  JOBS=(arbiter:grow arbiter-u:grow bus:grow bus-u:grow)
fi

declare -A largest
for job in "${JOBS[@]}"; do
  family=${job%%:*}
  sizes=${job#*:}
  done_sizes=()
  if [ "$sizes" = grow ]; then
    for n in $(seq 2 "$MAX_SIZE"); do
      compare "$family" "$n"
      done_sizes+=("$n")
      slowest=0
      for solver in $SOLVERS; do
        m=$(buddy_median "$solver" "$family" "$n")
        slowest=$(awk -v a="$slowest" -v b="$m" 'BEGIN { print (b > a ? b : a) }')
      done
      awk -v a="$slowest" -v t="$TARGET_MS" 'BEGIN { exit !(a >= t) }' && break
    done
  else
    for n in ${sizes//,/ }; do
      compare "$family" "$n"
      done_sizes+=("$n")
    done
  fi
  largest[$family]="${done_sizes[*]: -$HEURISTIC_SIZES}"
done

# Tarn with each heuristic on, at the largest sizes of each family.
for family in "${!largest[@]}"; do
  for n in ${largest[$family]}; do
    for solver in $SOLVERS; do
      for h in $HEURISTICS; do
        echo "running $family $n $solver with $h" >&2
        run_one tarn "$solver" "$h" "$family" "$n" >/dev/null
      done
    done
  done
done

# The tables: medians of the rounds.
awk '
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  {
    key = $4 " " $5 " " $2
    if (!(key in seen)) { seen[key] = 1; order[++keys] = key }
    run = $1 "|" $3 "|" key
    ms[run] = ms[run] " " $10
    kb[run] = kb[run] " " $11
    it[run] = $7 "/" $8 "/" $9
    verdict[key] = $6
  }
  END {
    print "| family | size | solver | verdict | iterations z/y/x | tarn ms | BuDDy ms | tarn/BuDDy | tarn MiB | BuDDy MiB |"
    print "|---|---:|---|---|---|---:|---:|---:|---:|---:|"
    for (k = 1; k <= keys; k++) {
      key = order[k]; split(key, w, " ")
      t = median(ms["tarn|off|" key]); b = median(ms["buddy|off|" key])
      printf "| %s | %s | %s | %s | %s | %.0f | %.0f | %.2f | %.0f | %.0f |\n", w[1], w[2], w[3], verdict[key],
        it["tarn|off|" key], t, b, (b > 0 ? t / b : 0),
        median(kb["tarn|off|" key]) / 1024, median(kb["buddy|off|" key]) / 1024
    }
    print ""
    print "tarn with one heuristic on (ms, iterations z/y/x), against heuristics off:"
    print ""
    print "| family | size | solver | off | efp | eun | fpr |"
    print "|---|---:|---|---|---|---|---|"
    for (k = 1; k <= keys; k++) {
      key = order[k]; split(key, w, " ")
      line = sprintf("| %s | %s | %s | %.0f (%s)", w[1], w[2], w[3], median(ms["tarn|off|" key]), it["tarn|off|" key])
      any = 0
      split("efp eun fpr", hs, " ")
      for (h = 1; h <= 3; h++) {
        run = "tarn|" hs[h] "|" key
        if (run in ms) { line = line sprintf(" | %.0f (%s)", median(ms[run]), it[run]); any = 1 }
        else line = line " | -"
      }
      if (any) print line " |"
    }
  }' "$RESULTS"
