#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz, then runs each one
# for SECONDS over a fresh copy of its seed corpus in tests/fuzz/:
#   scripts/fuzz.sh SECONDS
# The targets run one after the other, one job each: the machine is shared.
# What a target finds (crash-*, leak-*, timeout-*, oom-*) stays in
# build-fuzz/runs/TARGET/ beside its log, and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:?usage: scripts/fuzz.sh SECONDS}

CC=clang CXX=clang++ scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPASSERELLE_FUZZ=ON -DPASSERELLE_TESTS=OFF \
  -DPASSERELLE_WINDOW=OFF -DPASSERELLE_BENCH=OFF

status=0
for target in import whole_run; do
  run=$root/build-fuzz/runs/$target
  rm -rf "$run"
  mkdir -p "$run/corpus"
  cp "$root/tests/fuzz/$target/"* "$run/corpus/"
  # The targets write their files under TMPDIR. A whole run creates and
  # deletes a dozen files per input, which on tmpfs goes twice as fast as
  # on disk.
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch=$(mktemp -d /dev/shm/passerelle-fuzz.XXXXXX)
  else
    scratch=$run/tmp
    mkdir -p "$scratch"
  fi
  echo "== fuzz_$target for $seconds s"
  if ! (cd "$run" && TMPDIR="$scratch" "$root/build-fuzz/fuzz/fuzz_$target" corpus \
    -dict="$root/fuzz/$target.dict" -max_total_time="$seconds" -rss_limit_mb=4096 \
    -timeout=30 -jobs=1 -print_final_stats=1 -artifact_prefix="$run/"); then
    status=1
  fi
  rm -rf "$scratch"
  # The job's log (fuzz-0.log) is long; its first and last figures and any
  # finding make the summary.
  echo "== fuzz_$target summary"
  grep -aE '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|ERROR|invariant broken|SUMMARY' \
    "$run/fuzz-0.log" || true
  if compgen -G "$run/crash-*" >/dev/null || compgen -G "$run/leak-*" >/dev/null ||
    compgen -G "$run/timeout-*" >/dev/null || compgen -G "$run/oom-*" >/dev/null; then
    echo "fuzz_$target found a fault: see $run" >&2
    status=1
  fi
done
exit "$status"
