#!/usr/bin/env bash
# Builds Fleetwing and runs the whole test suite: the unit and end-to-end tests, the same tests
# built with AddressSanitizer and UndefinedBehaviorSanitizer, the tests of threaded code with
# ThreadSanitizer, and a bounded run of every fuzz target.
# Prints ctest's summary for each and a total; exits non-zero on any failure.
#   FW_FUZZ_SECONDS  length of each fuzz run (default 60)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh" || exit 1

jobs=$(nproc)
fuzz_seconds=${FW_FUZZ_SECONDS:-60}
total_passed=0
total_failed=0
status=0

# configure_and_build DIR CMAKE-ARGS... [-- TARGETS...]
configure_and_build() {
    local dir=$1
    shift
    local args=() targets=()
    while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
    [ $# -gt 0 ] && shift && targets=("$@")
    echo "=== build $(basename "$dir")"
    cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
    local target_args=()
    for t in "${targets[@]}"; do target_args+=(--target "$t"); done
    cmake --build "$dir" -j"$jobs" "${target_args[@]}" 2>&1 | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
    [ "${PIPESTATUS[0]}" -eq 0 ]
}

# run_suite NAME DIR [ctest args...]
run_suite() {
    local name=$1 dir=$2
    shift 2
    echo "=== $name"
    local log="$dir/ctest.log"
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j"$jobs" "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -n "$line" ]; then
        local failed all
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        all=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
        total_passed=$((total_passed + all - failed))
        total_failed=$((total_failed + failed))
    else
        total_failed=$((total_failed + 1))
    fi
    [ "$rc" -eq 0 ] || status=1
}

mkdir -p "$root/build-tests"
cd "$root/build-tests" || exit 1

if configure_and_build "$root/build-tests/unit" -DCMAKE_BUILD_TYPE=RelWithDebInfo; then
    run_suite "unit tests" "$root/build-tests/unit"
else
    echo "unit build failed"; status=1; total_failed=$((total_failed + 1))
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
if configure_and_build "$root/build-tests/asan" -DCMAKE_BUILD_TYPE=Debug \
    -DFW_SANITIZE=address,undefined -DFW_BENCH=OFF; then
    run_suite "unit tests with AddressSanitizer and UndefinedBehaviorSanitizer" "$root/build-tests/asan"
else
    echo "sanitizer build failed"; status=1; total_failed=$((total_failed + 1))
fi

# The tests of code that runs threads, with ThreadSanitizer. Qt itself is not instrumented, so
# only these programs run here.
tsan_targets=(controls_picture_stress_test accel_winsock_test accel_packetobserver_test
    accel_packetobserver_stress_test accel_accelerationswitch_test)
tsan_tests='^(PictureStress|InetNtoa|RawSocket|Both/PacketSocketDraining|PacketObserver|PacketObserverStress|AccelerationSwitch)\.'
if configure_and_build "$root/build-tests/tsan" -DCMAKE_BUILD_TYPE=Debug \
    -DFW_SANITIZE=thread -DFW_BENCH=OFF -- "${tsan_targets[@]}"; then
    TSAN_OPTIONS=halt_on_error=1 run_suite "threaded code with ThreadSanitizer" \
        "$root/build-tests/tsan" -R "$tsan_tests"
else
    echo "thread sanitizer build failed"; status=1; total_failed=$((total_failed + 1))
fi

if configure_and_build "$root/build-tests/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFW_FUZZ=ON \
    -DFW_SANITIZE=address,undefined -DFW_FUZZ_SECONDS="$fuzz_seconds"; then
    # Fuzz runs are CPU-bound: one at a time per core.
    run_suite "fuzz targets, ${fuzz_seconds}s each" "$root/build-tests/fuzz"
else
    echo "fuzz build failed"; status=1; total_failed=$((total_failed + 1))
fi

echo
echo "total: $total_passed passed, $total_failed failed"
exit $status
