#!/usr/bin/env bash
# Speed and peak memory of velmorc against dd, measured side by side in one run.
# Usage: bench/run.sh BUILD_DIR   (./build.sh bench sets up Wine and calls this)
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
velmorc="$build/shell/velmorc.exe"
: "${WINE:?run through ./build.sh bench}"
# In memory where the machine has a tmpfs: disk write-back would swamp what is measured.
data="$build/bench-data"
[ -d /dev/shm ] && [ -w /dev/shm ] && data="/dev/shm/velmor-bench-$(id -u)"
mkdir -p "$data"
cd "$data"
runs=${BENCH_RUNS:-5}

[ -s big.ebc ] || head -c $((1024 * 1024 * 1024)) /dev/urandom > big.ebc
[ -s small.ebc ] || head -c $((100 * 1024 * 1024)) /dev/urandom > small.ebc
cat big.ebc small.ebc > /dev/null  # both in the page cache before the first timing

declare -A SECONDS_OF MEMORY_OF
measure() {  # name, command...: best wall time of $runs runs, and the peak memory then
  local name=$1; shift
  local best="" memory="" secs kib
  for _ in $(seq "$runs"); do
    rm -f out.txt
    /usr/bin/time -f '%e %M' -o timing.txt "$@" >/dev/null 2>&1
    read -r secs kib < timing.txt
    if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then best=$secs; memory=$kib; fi
  done
  rm -f out.txt timing.txt
  SECONDS_OF[$name]=$best
  MEMORY_OF[$name]=$memory
  printf '%-34s %8.2f s %9.1f MiB\n' "$name" "$best" "$(awk "BEGIN{print $memory/1024}")"
}
trap 'rm -rf "$data"' EXIT
ratio() { awk "BEGIN{printf \"%.2f\", ${SECONDS_OF[$1]} / ${SECONDS_OF[$2]}}"; }

echo "Best of $runs runs; peak memory is the process's maximum resident set."
echo "velmorc runs under Wine ($WINE): its times include starting a Windows process."
echo
echo "1 GiB, plain form"
measure "velmorc plain"            "$WINE" "$velmorc" big.ebc out.txt
measure "dd bs=2M (plain copy)"    dd if=big.ebc of=out.txt bs=2M status=none
measure "dd conv=ascii bs=2M"      dd if=big.ebc of=out.txt bs=2M conv=ascii status=none
measure "velmorc, empty input"     "$WINE" "$velmorc" /dev/null out.txt
echo
echo "100 MiB, records of 80 bytes"
measure "velmorc LRECL 80"         "$WINE" "$velmorc" small.ebc out.txt 80
measure "velmorc plain (100 MiB)"  "$WINE" "$velmorc" small.ebc out.txt
measure "dd conv=ascii,unblock cbs=80" dd if=small.ebc of=out.txt cbs=80 conv=ascii,unblock status=none
echo
echo "velmorc plain / dd plain copy:        $(ratio "velmorc plain" "dd bs=2M (plain copy)")  (goal <= 1.10)"
echo "velmorc plain / dd conv=ascii:        $(ratio "velmorc plain" "dd conv=ascii bs=2M")"
echo "velmorc LRECL 80 / velmorc plain:     $(ratio "velmorc LRECL 80" "velmorc plain (100 MiB)")  (goal <= 1.20)"
echo "velmorc LRECL 80 / dd ascii,unblock:  $(ratio "velmorc LRECL 80" "dd conv=ascii,unblock cbs=80")"
