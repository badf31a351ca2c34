#!/usr/bin/env bash
# Runs the benchmarks: every workload and size from Java through the native entry points, at the
# settings initialize0(256, 4194304) leaves in force, beside BuDDy, alternately (one warm-up run of
# each engine per workload, then ROUNDS rounds of Java, BuDDy, Java, BuDDy, ...), one process per
# run, and prints one table of medians with the spread of the rounds. Two further columns come from
# the C++ driver (CXX_ROUNDS runs each, default 1): the package at the same settings as the Java
# runs, and the package at the tuned settings of bench/README.md. Then the cost of cheap calls
# through JNI and on the package API. Not part of scripts/test.sh.
#
#   bench/run.sh                       everything (about half an hour on 2 cores)
#   ROUNDS=3 bench/run.sh queens:8,9   only the runs named (workload:size,size ...)
#   QUEENS13=1 bench/run.sh            adds one run of Java and BuDDy on 13 queens
#
# Builds in Release mode in build-bench/. Raw results go to build-bench/bench-results.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

ROUNDS=${ROUNDS:-5}
CXX_ROUNDS=${CXX_ROUNDS:-1}
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
cmake --build "$BUILD" -j"$(nproc)" --target ddbench callcost tarn_bench_jni tarn_bench_java >/dev/null
DDBENCH="$BUILD/bench/ddbench"
JAVA=${JAVA_HOME:+$JAVA_HOME/bin/}java
JAVABENCH=("$JAVA" -Dtarn.library="$PWD/$BUILD/libtarn.so" -cp "$BUILD/tarn.jar:$BUILD/java-bench.jar" JavaBench)

if [ $# -gt 0 ]; then
  JOBS=("$@")
else
  JOBS=(queens:8,9,10,11,12 milner:50,100,200,300 philosophers:50,100,200,240)
fi

RESULTS="$BUILD/bench-results.txt"
: >"$RESULTS"

# One run; its line (engine workload size ms peak-KiB count expected) goes to the results file.
run_one() {
  local line
  if [ "$1" = tarn-java ]; then
    line=$("${JAVABENCH[@]}" "$2" "$3") || { echo "wrong answer or failure: $*: $line" >&2; exit 1; }
  else
    line=$("$DDBENCH" "$1" "$2" "$3") || { echo "wrong answer or failure: $*: $line" >&2; exit 1; }
  fi
  echo "$line" >>"$RESULTS"
}

for job in "${JOBS[@]}"; do
  workload=${job%%:*}
  sizes=${job#*:}
  sizes=${sizes//,/ }
  first=${sizes%% *}
  "${JAVABENCH[@]}" "$workload" "$first" >/dev/null
  "$DDBENCH" buddy "$workload" "$first" >/dev/null
  for n in $sizes; do
    echo "running $workload $n ($ROUNDS rounds)" >&2
    for _ in $(seq "$ROUNDS"); do
      run_one tarn-java "$workload" "$n"
      run_one buddy "$workload" "$n"
    done
    for _ in $(seq "$CXX_ROUNDS"); do
      run_one tarn-defaults "$workload" "$n"
      run_one tarn "$workload" "$n"
    done
  done
done
if [ "${QUEENS13:-0}" = 1 ]; then
  run_one tarn-java queens 13
  run_one buddy queens 13
fi

# The table: medians of the rounds, their ratio, the median peak memory, min-max of the rounds, and
# the C++ columns.
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
    printf "| workload | size | Java ms | BuDDy ms | Java/BuDDy | Java MiB | BuDDy MiB | Java min-max ms | BuDDy min-max ms | C++ same settings ms | C++ same settings MiB | C++ tuned ms | C++ tuned MiB |\n"
    printf "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n"
    for (k = 1; k <= keys; k++) {
      key = order[k]; split(key, w, " ")
      t = median(ms["tarn-java", key]); b = median(ms["buddy", key])
      printf "| %s | %s | %.0f | %.0f | %.2f | %.0f | %.0f | %.0f-%.0f | %.0f-%.0f", w[1], w[2], t, b, t / b,
        median(kb["tarn-java", key]) / 1024, median(kb["buddy", key]) / 1024,
        lo(ms["tarn-java", key]), hi(ms["tarn-java", key]), lo(ms["buddy", key]), hi(ms["buddy", key])
      if (ms["tarn-defaults", key] != "") {
        printf " | %.0f | %.0f | %.0f | %.0f |\n", median(ms["tarn-defaults", key]), median(kb["tarn-defaults", key]) / 1024,
          median(ms["tarn", key]), median(kb["tarn", key]) / 1024
      } else {
        printf " | | | | |\n"
      }
    }
  }' "$RESULTS"

echo
echo "Cheap calls (20 million pairs each):"
"$JAVA" -Dtarn.library="$PWD/$BUILD/libtarn.so" -cp "$BUILD/tarn.jar:$BUILD/jni-callcost.jar" JniCallCost
"$BUILD/bench/callcost"
