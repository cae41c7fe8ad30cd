#!/usr/bin/env bash
# Builds the benchmarks in Release, writes the corpus (once; it is kept in the build folder),
# runs the engine micro-benchmarks, the whole-run comparison with the two C floors, perl, python and
# sed, the scaling run and, when the Qt window is built, the window benchmarks; prints the tables
# and saves them to <build>/bench-results.md.
#
# Usage: bench/run.sh [--quick] [--rounds N] [--only engine,tools,scaling,window] [--fs ext4j|xfs]
#                     [--tools floor,pool,cli,perl,python,sed] [--pool-threads N]
#                     [--w4-pages 1000,10000,100000]
# Needs: cmake, ninja, g++, libbenchmark-dev, perl, GNU sed, python3, GNU time (/usr/bin/time).
# Disk: about 3 GB in the build folder (build-bench, or $QV_BENCH_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QV_BENCH_BUILD:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_BUILD_BENCH=ON \
  -DQV_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
exec python3 bench/compare.py --build "$build" "$@"
