#!/usr/bin/env bash
# Runs the benchmarks: every workload and size on tarn and on BuDDy, alternately (one warm-up run
# of each, then ROUNDS rounds of tarn, BuDDy, tarn, BuDDy, ...), one process per run, and prints
# one table of medians with the spread of the rounds, then the cost of cheap calls through JNI and
# on the package API. Not part of scripts/test.sh.
#
#   bench/run.sh                       everything (about a quarter of an hour on 2 cores)
#   ROUNDS=3 bench/run.sh queens:8,9   only the runs named (workload:size,size ...)
#   QUEENS13=1 bench/run.sh            adds one run of each engine on 13 queens
#
# Builds in Release mode in build-bench/. Raw results go to build-bench/bench-results.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

ROUNDS=${ROUNDS:-5}
BUILD=build-bench

if [ ! -f /usr/include/bdd.h ]; then
  if [ "$(id -u)" -eq 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libbdd-dev >/dev/null
  else
    echo "BuDDy is missing: install the Debian package libbdd-dev" >&2
    exit 1
  fi
fi

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DTARN_BUILD_TESTS=OFF -DTARN_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target ddbench callcost tarn_bench_jni >/dev/null
DDBENCH="$BUILD/bench/ddbench"

if [ $# -gt 0 ]; then
  JOBS=("$@")
else
  JOBS=(queens:8,9,10,11,12 milner:50,100,200 philosophers:50,100,200)
fi

RESULTS="$BUILD/bench-results.txt"
: >"$RESULTS"

# One run; its line (engine workload size ms peak-KiB count expected) goes to the results file.
run_one() {
  local line
  if ! line=$("$DDBENCH" "$1" "$2" "$3"); then
    echo "wrong answer or failure: $1 $2 $3: $line" >&2
    exit 1
  fi
  echo "$line" >>"$RESULTS"
}

for job in "${JOBS[@]}"; do
  workload=${job%%:*}
  for size in ${job#*:}; do
    size=${size//,/ }
    for n in $size; do
      echo "running $workload $n ($ROUNDS rounds)" >&2
      "$DDBENCH" tarn "$workload" "$n" >/dev/null
      "$DDBENCH" buddy "$workload" "$n" >/dev/null
      for _ in $(seq "$ROUNDS"); do
        run_one tarn "$workload" "$n"
        run_one buddy "$workload" "$n"
      done
    done
  done
done
if [ "${QUEENS13:-0}" = 1 ]; then
  run_one tarn queens 13
  run_one buddy queens 13
fi

# The table: medians of the rounds, their ratio, the median peak memory, and min-max of the rounds.
awk '
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  function lo(list,   n, a, i, m) { n = split(list, a, " "); m = a[1]; for (i = 2; i <= n; i++) if (a[i] < m) m = a[i]; return m }
  function hi(list,   n, a, i, m) { n = split(list, a, " "); m = a[1]; for (i = 2; i <= n; i++) if (a[i] > m) m = a[i]; return m }
  {
    key = $2 " " $3
    if (!(key in seen)) { seen[key] = 1; order[++keys] = key }
    ms[$1, key] = ms[$1, key] " " $4
    kb[$1, key] = kb[$1, key] " " $5
  }
  END {
    printf "| workload | size | tarn ms | BuDDy ms | tarn/BuDDy | tarn MiB | BuDDy MiB | tarn min-max ms | BuDDy min-max ms |\n"
    printf "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n"
    for (k = 1; k <= keys; k++) {
      key = order[k]; split(key, w, " ")
      t = median(ms["tarn", key]); b = median(ms["buddy", key])
      printf "| %s | %s | %.0f | %.0f | %.2f | %.0f | %.0f | %.0f-%.0f | %.0f-%.0f |\n", w[1], w[2], t, b, t / b,
        median(kb["tarn", key]) / 1024, median(kb["buddy", key]) / 1024,
        lo(ms["tarn", key]), hi(ms["tarn", key]), lo(ms["buddy", key]), hi(ms["buddy", key])
    }
  }' "$RESULTS"

echo
echo "Cheap calls (20 million pairs each):"
JAVA=${JAVA_HOME:+$JAVA_HOME/bin/}java
"$JAVA" -Dtarn.library="$PWD/$BUILD/libtarn.so" -cp "$BUILD/tarn.jar:$BUILD/jni-callcost.jar" JniCallCost
"$BUILD/bench/callcost"
