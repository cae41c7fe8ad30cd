#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build folder of their own and runs each for a
# bounded time, both at once. A crash or a broken property stops the script with a failure and
# leaves the input that caused it in the build folder.
# Usage: tools/fuzz.sh [seconds per target, default 60]   (FUZZ_BUILD: the build folder)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
folder=${FUZZ_BUILD:-build/fuzz}
targets=(profile insertion)

CC=clang CXX=clang++ cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_FUZZ=ON -DQV_BUILD_TESTS=OFF -DQV_BUILD_GUI=OFF -DQV_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$folder" --target "${targets[@]/#/fuzz_}"

# New inputs go to the build folder's corpus; the seeds in fuzz/corpus are only read.
pids=()
for name in "${targets[@]}"; do
  mkdir -p "$folder/corpus/$name" "$folder/findings/$name"
  "$folder/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$folder/findings/$name/" "$folder/corpus/$name" "fuzz/corpus/$name" \
    >"$folder/$name.log" 2>&1 &
  pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
  name=${targets[$i]}
  if wait "${pids[$i]}"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$folder/$name.log")
    echo "fuzz_$name: $runs executions in $seconds s, no finding"
  else
    status=1
    echo "fuzz_$name: FAILED; the input is in $folder/findings/$name/" >&2
    tail -n 40 "$folder/$name.log" >&2
  fi
done
exit $status
