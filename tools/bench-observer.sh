#!/usr/bin/env bash
# Measures the CPU time the packet observer spends per drained packet against tcpdump's at the
# same load: a paced stream of UDP datagrams on loopback (default 200,000 a second for 3 s per
# measurement, three rounds), inside a network namespace made for the run, whose only interface
# is loopback, so that no packet leaves it. Needs root (namespaces, raw sockets).
#   BUILD_DIR         build folder (default build-bench)
#   FW_BENCH_RATE     packets per second
#   FW_BENCH_SECONDS  length of each load
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
"$root/tools/install-deps.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFW_BENCH=ON >/dev/null
cmake --build "$build" --target observer_bench -j"$(nproc)" >&2

ns="fwbench-$$"
cleanup() { ip netns delete "$ns" 2>/dev/null || true; }
trap cleanup EXIT
ip netns add "$ns"
ip netns exec "$ns" sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
ip -n "$ns" link set lo up

# The benchmark refuses to run where any interface but loopback exists.
ip netns exec "$ns" "$build/bench/observer_bench" --benchmark_counters_tabular=true "$@"
