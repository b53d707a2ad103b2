#!/bin/sh
# Runs every fuzz target (or those named) for RUNS runs or SECONDS seconds,
# whichever ends first, starting from its committed corpus in
# tests/fuzz/corpus/<target>/. New inputs go to BUILD/corpus/<target>/ and
# findings to BUILD/findings/, never into the committed folder.
#
#   tests/fuzz/run.sh BUILD RUNS SECONDS [target...]
#
# To refresh the committed corpus from a long run, minimise into it, with
# the -max_len below (capture also with -use_counters=0: its hit counts
# alone would add some two hundred near copies):
#   BUILD/fuzz_<target> -merge=1 tests/fuzz/corpus/<target> BUILD/corpus/<target>
set -e
build=$1 runs=$2 seconds=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

# Allocation stacks of two frames only: Qt's recursive JSON reader makes
# countless distinct deep stacks, and recording every one slowed the runs
# five-fold while memory grew without end. A 16 MB quarantine instead of
# 256 MB keeps memory near 150 MB. Run a finding again with the defaults
# for full stacks.
export ASAN_OPTIONS="${ASAN_OPTIONS:-malloc_context_size=2:quarantine_size_mb=16}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

for target in ${*:-defaults_store capture}; do
  case $target in
    # Every path of the store shows within 1 KB. Longer inputs drift to
    # deep nesting, where Qt's parser takes most of the time; nesting past
    # its limit of 1024 levels is in the committed corpus, which the replay
    # build runs whole.
    defaults_store) max_len=1024 dict=defaults ;;
    # Room for six short copies: trimming and keys need no long texts, and
    # every extra byte costs normalisation in each comparison of keys.
    capture) max_len=256 dict=capture ;;
    *) echo "no such fuzz target: $target" >&2; exit 2 ;;
  esac
  mkdir -p "$build/corpus/$target" "$build/findings"
  echo "== fuzz_$target: up to $runs runs or $seconds s"
  log="$build/fuzz_$target.log"
  "$build/fuzz_$target" -max_len=$max_len -dict="$here/$dict.dict" -runs="$runs" -max_total_time="$seconds" \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
    "$build/corpus/$target" "$here/corpus/$target" 2>"$log" ||
    { tail -n 60 "$log" >&2; echo "fuzz_$target found a problem; its input is in $build/findings/" >&2; exit 1; }
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb))' "$log"
done
