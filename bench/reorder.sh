#!/usr/bin/env bash
# Reordering side by side with BuDDy's sifting: every workload and size on tarn and on BuDDy,
# alternately (one warm-up run of each, then ROUNDS rounds of tarn, BuDDy, ...), one process per
# run, and one table of median times with the final node counts. Not part of scripts/test.sh.
#
#   bench/reorder.sh                          everything (a few minutes on 2 cores)
#   ROUNDS=1 bench/reorder.sh comparator:16   only the runs named (workload:size,size ...)
#
# Builds in Release mode in build-bench/. Raw results go to build-bench/reorder-results.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

ROUNDS=${ROUNDS:-3}
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
cmake --build "$BUILD" -j"$(nproc)" --target reorderbench >/dev/null
BENCH="$BUILD/bench/reorderbench"

if [ $# -gt 0 ]; then
  JOBS=("$@")
else
  JOBS=(sift:16,18 comparator:16,32,64 queens:7,8 milner:20,50 philosophers:20,50
        milner-blocked:20,50 philosophers-blocked:20,50)
fi

RESULTS="$BUILD/reorder-results.txt"
: >"$RESULTS"

# One run; its line (engine workload size ms final-nodes count expected) goes to the results file.
run_one() {
  local line
  if ! line=$("$BENCH" "$1" "$2" "$3"); then
    echo "wrong answer or failure: $1 $2 $3: $line" >&2
    exit 1
  fi
  echo "$line" >>"$RESULTS"
}

for job in "${JOBS[@]}"; do
  workload=${job%%:*}
  for n in ${job#*:}; do
    for size in ${n//,/ }; do
      echo "running $workload $size ($ROUNDS rounds)" >&2
      "$BENCH" tarn "$workload" "$size" >/dev/null
      "$BENCH" buddy "$workload" "$size" >/dev/null
      for _ in $(seq "$ROUNDS"); do
        run_one tarn "$workload" "$size"
        run_one buddy "$workload" "$size"
      done
    done
  done
done

awk '
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  {
    key = $2 " " $3
    if (!(key in seen)) { seen[key] = 1; order[++keys] = key }
    ms[$1, key] = ms[$1, key] " " $4
    nodes[$1, key] = $5
  }
  END {
    printf "| workload | size | tarn ms | BuDDy ms | tarn/BuDDy | tarn nodes | BuDDy nodes |\n"
    printf "|---|---:|---:|---:|---:|---:|---:|\n"
    for (k = 1; k <= keys; k++) {
      key = order[k]; split(key, w, " ")
      t = median(ms["tarn", key]); b = median(ms["buddy", key])
      printf "| %s | %s | %.1f | %.1f | %.2f | %d | %d |\n", w[1], w[2], t, b, (b > 0 ? t / b : 0),
        nodes["tarn", key], nodes["buddy", key]
    }
  }' "$RESULTS"
