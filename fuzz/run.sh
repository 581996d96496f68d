#!/bin/sh
# Runs the fuzz targets, one at a time, each for a bounded time on its seeds, and prints one
# summary line per target. Exits non-zero when any target found something (a crash, a sanitizer
# report, an input slower than the timeout, or memory beyond the limit) or failed to run.
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]      (all targets when none are named)
# Under BUILD_DIR: fuzz-seeds/ (generated and data/ seeds), fuzz-corpus/<target>/ (kept from run to
# run), fuzz-findings/<target>/ (this run's findings) and fuzz-logs/<target>.log.
set -u
mkdir -p "$1"
build=$(cd "$1" && pwd)
seconds=$2
shift 2
src=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$src")
bin=$build/fuzz
targets=${*:-$("$bin/recite-fuzz-replay" --list)}

# Seeds: the library's own writers, and resource files of data/.
gen=$build/fuzz-seeds
rm -rf "$gen"
"$bin/recite-fuzz-replay" --seeds "$gen" >/dev/null || { echo "fuzz: seed generation failed" >&2; exit 2; }
copy() {
  t=$1
  shift
  mkdir -p "$gen/$t"
  for f in "$@"; do cp "$root/$f" "$gen/$t/data-$(echo "$f" | tr / _)"; done
}
copy param data/demo/recog.prm data/demo/assess.prm data/en-us/recog.prm data/en-us/assess.prm
copy config data/demo/mfcc.cfg data/en-us/mfcc.cfg
copy label data/demo/utt1.lab data/demo/utt2.lab data/demo/utt3.lab data/demo/utt4.lab data/demo/utt5.lab
copy wpa data/demo/words.wpa
copy scoreparams data/en-us/rank2score.txt data/en-us/discount.txt
mkdir -p "$gen/tnm"
for tnm in data/demo/english.tnm data/en-us/english.tnm; do
  { cat "$root/$tnm"; printf '\n--8<--\n'; cat "$root/data/demo/texts.txt"; } >"$gen/tnm/data-$(echo "$tnm" | tr / _)"
done

# The targets' scratch directories go here; a crashing run can't remove its own.
TMPDIR=$build/fuzz-tmp
export TMPDIR
mkdir -p "$build/fuzz-logs"
total=0
for t in $targets; do
  corpus=$build/fuzz-corpus/$t
  findings=$build/fuzz-findings/$t
  log=$build/fuzz-logs/$t.log
  rm -rf "$findings" "$TMPDIR"
  mkdir -p "$corpus" "$findings" "$TMPDIR"
  dirs="$corpus"
  for d in "$src/seeds/$t" "$gen/$t"; do
    [ -d "$d" ] && dirs="$dirs $d"
  done
  # stdout carries the library's console lines: closed (-close_fd_mask=1).
  # shellcheck disable=SC2086
  UBSAN_OPTIONS=print_stacktrace=1 "$bin/fuzz-$t" $dirs -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  [ -n "$runs" ] || runs=$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#')
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  corp=$(grep -o 'corp: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)
  found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) | wc -l)
  if [ "$rc" -ne 0 ] && [ "$found" -eq 0 ]; then
    found=1
    echo "fuzz $t: exit status $rc without a saved input; see $log"
  fi
  echo "fuzz $t: ${runs:-0} runs, cov ${cov:-?}, corpus ${corp:-?}, peak rss ${rss:-?} MB, findings $found"
  find "$findings" -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) \
    -exec echo "    {}" \;
  total=$((total + found))
done
rm -rf "$TMPDIR"
if [ "$total" -ne 0 ]; then
  echo "fuzz: $total finding(s); logs in $build/fuzz-logs (replay: $bin/recite-fuzz-replay TARGET FILE)"
  exit 1
fi
echo "fuzz: no findings"
