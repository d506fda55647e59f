#!/bin/sh
# Runs a libFuzzer target for a bounded time over a scratch copy of its seed
# corpus, with a fixed seed. Fails on any crash, leak or sanitizer report.
# usage: run-fuzzer.sh FUZZER SEED_CORPUS_DIR WORK_DIR SECONDS
set -eu
fuzzer=$1 seeds=$2 work=$3 seconds=$4
rm -rf "$work"
mkdir -p "$work"
if [ -d "$seeds" ]; then
    cp -r "$seeds"/. "$work"/
fi
artifacts="$work.artifacts"
rm -rf "$artifacts"
mkdir -p "$artifacts"
exec "$fuzzer" -seed=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$work"
