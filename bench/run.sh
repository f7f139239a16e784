#!/usr/bin/env bash
# Speed and peak memory of velmorc against dd, measured side by side in one run, for every
# translation kernel this machine runs; before that, each kernel alone in memory.
# Usage: bench/run.sh BUILD_DIR   (./build.sh bench sets up Wine and calls this)
#   BENCH_PAIRS    pairs per ratio and file size (default 15, at least 7)
#   BENCH_SIZES    file sizes in MiB (default "512 1024")
#   BENCH_KERNELS  the kernels to measure end to end (default: every one this machine runs;
#                  none: only the replace's cost, the guess's and the observer's)
#   BENCH_PIN      0 lets the system place every process where it likes (default 1: one core)
#   BENCH_REPLACE  0 leaves out what replacing an existing output costs (default 1)
#
# Each ratio is the median over pairs of runs made back to back (A, B, A, B, ...), so that
# a slower spell of a shared machine weighs on both sides of a pair alike. No output file
# is ever deleted between runs: memory handed back to the host costs the next program that
# takes it about a second per 512 MiB, which would measure the order of the runs.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
velmorc="$build/shell/velmorc.exe"
: "${WINE:?run through ./build.sh bench}"
pairs=${BENCH_PAIRS:-15}
sizes=${BENCH_SIZES:-512 1024}
[ "$pairs" -ge 7 ] || { echo "BENCH_PAIRS must be at least 7" >&2; exit 2; }

# In memory where the machine has a tmpfs: disk write-back would swamp what is measured.
data="$build/bench-data"
[ -d /dev/shm ] && [ -w /dev/shm ] && data="/dev/shm/velmor-bench-$(id -u)"
mkdir -p "$data"
pin=()
cleanup() {
  [ ${#pin[@]} -eq 0 ] || taskset -p -c "0-$(($(nproc) - 1))" "$server" >/dev/null 2>&1 || true
  rm -rf "$data"
}
trap cleanup EXIT
cd "$data"
: > empty.ebc

# The Wine server of this prefix does part of a Windows program's work in its own process:
# cutting an existing output to zero length, for one, which dd pays for in its own time.
server=""
for pid in $(pgrep -u "$(id -u)" wineserver); do
  if tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then server=$pid; fi
done
[ -n "$server" ] || { echo "no Wine server runs for $WINEPREFIX" >&2; exit 2; }
ticks=$(getconf CLK_TCK)

# Every program, and velmorc's Wine server with it, runs on one core. The server cuts the old
# output, and the memory that frees waits on the server's core: a velmorc placed on the other
# core writes into memory taken afresh, which on a virtual machine that hands free memory back
# to its host costs up to half a second more per 512 MiB, at random. On Windows the system
# cuts the file in the caller's own thread, as dd does here.
if [ "${BENCH_PIN:-1}" != 0 ] && command -v taskset >/dev/null; then
  core=$(($(nproc) - 1))
  taskset -p -c "$core" "$server" >/dev/null
  pin=(taskset -c "$core")
fi
server_seconds() { awk -v hz="$ticks" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$server/stat"; }

# One run: "wall-seconds processor-seconds" on stdout, its peak resident set (KiB) appended
# to the file named by $peak_file. Processor time (user + system, the Wine server's
# included) leaves out the waits of a busy machine, so it shows what the wall time hides
# when other work shares the cores.
peak_file=/dev/null
timed() {
  local start end kib cpu0 cpu1 s0 s1
  times > cpu.txt; { read -r _; read -r cpu0; } < cpu.txt
  s0=$(server_seconds)
  start=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o timing.txt "$@" >/dev/null 2>&1
  end=$EPOCHREALTIME
  s1=$(server_seconds)
  times > cpu.txt; { read -r _; read -r cpu1; } < cpu.txt
  read -r kib < timing.txt
  echo "$kib" >> "$peak_file"
  echo "$start $end $cpu0 $cpu1 $s0 $s1" | awk '{ for (i = 3; i <= 6; ++i) { split($i, p, "m"); t[i] = p[1] * 60 + p[2] }
                                                 printf "%.4f %.4f\n", $2 - $1, t[5] + t[6] - t[3] - t[4] + $8 - $7 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { sort -g "$1" | awk '{ v[NR] = $1 } END { printf "pairs %.2f to %.2f", v[1], v[NR] }'; }
peak_mib() { sort -g "$1" | tail -1 | awk '{ printf "%.1f", $1 / 1024 }'; }

echo "velmorc runs under Wine ($WINE); its times include starting a Windows process."
echo "$(nproc) cores; processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "vector features: $(grep -m1 '^flags' /proc/cpuinfo | tr ' ' '\n' | grep -x -E 'ssse3|avx2|avx512bw|avx512vbmi' | tr '\n' ' ')"
echo "Ratios are medians of $pairs back-to-back pairs; times are medians of the same runs."
echo "Processor time is user plus system time; for velmorc it includes its Wine server's."
if [ ${#pin[@]} -gt 0 ]; then echo "Every program and the Wine server run on core $core (BENCH_PIN=0: anywhere)."
else echo "Programs run wherever the system places them."; fi
echo

"${pin[@]}" "$WINE" "$build/bench/kernel_bench.exe"
echo

# velmorc itself says which kernels it runs: it refuses any other with exit code 2.
kernels=${BENCH_KERNELS:-}
[ "$kernels" != none ] || kernels=" "
if [ -z "$kernels" ]; then
  for k in plain ssse3 avx2 avx512vbmi; do
    VELMOR_KERNEL=$k "$WINE" "$velmorc" empty.ebc out-empty.txt >/dev/null 2>&1 && kernels="$kernels $k"
  done
fi
echo "End to end, for each kernel this machine runs (VELMOR_KERNEL):$kernels"
echo

# The goals are the vector kernels'; the plain loop, which every x86 processor runs, has none.
# The SSSE3 kernel, for processors without AVX2, has a wider one for its steady state and
# none against dd conv=ascii. An empty goal is none.
verdict() {
  [ "$kernel" != plain ] || { echo "no goal for the plain loop"; return; }
  [ -n "$2" ] || { echo "no goal for $kernel"; return; }
  awk -v r="$1" -v g="$2" 'BEGIN { print (r <= g) ? "goal <= " g ": met" : "goal <= " g ": NOT met" }'
}
steady_goal() { [ "$kernel" = ssse3 ] && echo 1.60 || echo 1.30; }
ascii_goal() { [ "$kernel" = ssse3 ] || echo 0.80; }
failed=0
summary=""
for kernel in $kernels; do
  export VELMOR_KERNEL=$kernel
  for mib in $sizes; do
    input="in-$mib.ebc"
    [ -s "$input" ] || head -c $((mib * 1024 * 1024)) /dev/urandom > "$input"
    cat "$input" > /dev/null
    # Each command keeps writing its own output, so each file reuses the memory it holds.
    plain=(      "${pin[@]}" "$WINE" "$velmorc" "$input" "out-$mib-velmorc.txt")
    records=(    "${pin[@]}" "$WINE" "$velmorc" "$input" "out-$mib-records.txt" 80)
    empty=(      "${pin[@]}" "$WINE" "$velmorc" empty.ebc "out-empty.txt")
    copy=(       "${pin[@]}" dd if="$input" of="out-$mib-dd.txt" bs=2M status=none)
    ascii=(      "${pin[@]}" dd if="$input" of="out-$mib-ascii.txt" bs=2M conv=ascii status=none)
    for warm in plain records empty copy ascii; do  # every output file exists at full size
      declare -n command=$warm
      timed "${command[@]}" > /dev/null
    done
    unset -n command

    for f in r1 r2 r3 c1 c2 c3 t-plain t-ascii t-copy t-empty t-records peak-plain peak-records peak-empty; do
      : > $f.txt
    done
    for _ in $(seq "$pairs"); do
      peak_file=peak-plain.txt;   read -r a ca < <(timed "${plain[@]}")
      peak_file=/dev/null;        read -r b cb < <(timed "${ascii[@]}")
      echo "$a $b" | awk '{ print $1 / $2 }' >> r1.txt
      echo "$ca $cb" | awk '{ print $1 / $2 }' >> c1.txt
      echo "$a" >> t-plain.txt; echo "$b" >> t-ascii.txt
    done
    for _ in $(seq "$pairs"); do
      peak_file=peak-plain.txt;   read -r a ca < <(timed "${plain[@]}")
      peak_file=/dev/null;        read -r b cb < <(timed "${copy[@]}")
      peak_file=peak-empty.txt;   read -r e ce < <(timed "${empty[@]}")
      echo "$a $b $e" | awk '{ print ($1 - $3) / $2 }' >> r2.txt
      echo "$ca $cb $ce" | awk '{ print ($1 - $3) / $2 }' >> c2.txt
      echo "$a" >> t-plain.txt; echo "$b" >> t-copy.txt; echo "$e" >> t-empty.txt
    done
    for _ in $(seq "$pairs"); do
      peak_file=peak-records.txt; read -r a ca < <(timed "${records[@]}")
      peak_file=peak-plain.txt;   read -r b cb < <(timed "${plain[@]}")
      echo "$a $b" | awk '{ print $1 / $2 }' >> r3.txt
      echo "$ca $cb" | awk '{ print $1 / $2 }' >> c3.txt
      echo "$a" >> t-records.txt; echo "$b" >> t-plain.txt
    done
    r1=$(median < r1.txt); r2=$(median < r2.txt); r3=$(median < r3.txt)
    c1=$(median < c1.txt); c2=$(median < c2.txt); c3=$(median < c3.txt)

    echo "kernel $kernel, $mib MiB                       median time   peak memory"
    printf '  %-40s %7.3f s   %7s MiB\n' "velmorc plain" "$(median < t-plain.txt)" "$(peak_mib peak-plain.txt)"
    printf '  %-40s %7.3f s   %7s MiB\n' "velmorc LRECL 80" "$(median < t-records.txt)" "$(peak_mib peak-records.txt)"
    printf '  %-40s %7.3f s   %7s MiB\n' "velmorc, empty input (Wine start-up)" "$(median < t-empty.txt)" "$(peak_mib peak-empty.txt)"
    printf '  %-40s %7.3f s\n' "dd bs=2M (plain copy)" "$(median < t-copy.txt)"
    printf '  %-40s %7.3f s\n' "dd bs=2M conv=ascii" "$(median < t-ascii.txt)"
    printf '  %-52s %5.2f  (%s; %s; by processor time %.2f)\n' "velmorc plain / dd conv=ascii" "$r1" "$(verdict "$r1" "$(ascii_goal)")" "$(spread r1.txt)" "$c1"
    printf '  %-52s %5.2f  (%s; %s; by processor time %.2f)\n' "(velmorc plain - velmorc empty) / dd plain copy" "$r2" "$(verdict "$r2" "$(steady_goal)")" "$(spread r2.txt)" "$c2"
    printf '  %-52s %5.2f  (%s; %s; by processor time %.2f)\n' "velmorc LRECL 80 / velmorc plain" "$r3" "$(verdict "$r3" 1.10)" "$(spread r3.txt)" "$c3"
    printf '  %-52s %5s MiB\n' "peak memory of the job beyond Wine's own" \
      "$(awk -v a="$(peak_mib peak-plain.txt)" -v b="$(peak_mib peak-records.txt)" -v e="$(peak_mib peak-empty.txt)" \
          'BEGIN { m = a > b ? a : b; printf "%.1f", m - e }')"
    echo
    for r in "$r1:$(ascii_goal)" "$r2:$(steady_goal)" "$r3:1.10"; do
      case "$(verdict "${r%%:*}" "${r##*:}")" in *"NOT met") failed=1 ;; esac
    done
    summary+=$(printf '\n  %-12s %5s MiB %10.2f %18.2f %14.2f' "$kernel" "$mib" "$r2" "$r3" "$r1")
    rm -f "$input" out-"$mib"-*.txt
  done
done
echo "Goals: steady <= 1.30 (ssse3 1.60), LRECL 80 <= 1.10, plain / conv=ascii <= 0.80 (ssse3 none)"
echo "  kernel        size   steady / copy   LRECL 80 / plain   plain / ascii$summary"
echo

# What the replace costs: a job writes a disk output as a temporary file and renames it over the
# old one at its end. Written in place, as every output was before the replace and as it still
# is in a folder whose path leaves no room for a temporary name, the same job is the peer; an
# in-place run against another in-place run shows the machine's own noise. All with the kernel
# velmorc chooses itself.
#
# While a replacing job writes, the old output still holds its memory, so the new one takes
# memory that was free. On a virtual machine that hands free memory back to its host, that
# costs up to a second per 512 MiB when the memory has been free for a while, and nothing when
# it was freed a moment ago: dd writing a temporary file and mv renaming it over the old one
# pays the same. So each timed run follows a run of the same command (warm: the memory the
# last run freed is what this one takes, as in a series of jobs), and the cold figures, with
# no such run before them, stand beside dd's own write-and-rename.
if [ "${BENCH_REPLACE:-1}" != 0 ]; then
  unset VELMOR_KERNEL
  # The Windows name is "Z:" and the Unix one: 245 bytes leaves room for "\o.txt", not for
  # "\~velmor-XXXXXXXX.tmp".
  cramped="$data/$(head -c $((245 - 2 - ${#data} - 1)) /dev/zero | tr '\0' d)"
  mkdir -p "$cramped"
  echo "What replacing an existing output costs (velmorc's own kernel; medians of $pairs pairs):"
  for mib in $sizes; do
    input="in-$mib.ebc"
    head -c $((mib * 1024 * 1024)) /dev/urandom > "$input"
    dd_replaced=("${pin[@]}" sh -c "dd if=$input of=out-$mib-dd.tmp bs=2M status=none && mv -f out-$mib-dd.tmp out-$mib-dd.txt")
    dd_inplace=( "${pin[@]}" dd if="$input" of="out-$mib-dd-inplace.txt" bs=2M status=none)
    for form in plain 80; do
      lrecl=(); [ "$form" = plain ] || lrecl=(80)
      replaced=( "${pin[@]}" "$WINE" "$velmorc" "$input" "out-$mib-replaced.txt" "${lrecl[@]}")
      inplace=(  "${pin[@]}" "$WINE" "$velmorc" "$input" "${cramped#"$data/"}/o.txt" "${lrecl[@]}")
      inplace2=( "${pin[@]}" "$WINE" "$velmorc" "$input" "${cramped#"$data/"}/p.txt" "${lrecl[@]}")
      for warm in replaced inplace inplace2 dd_replaced dd_inplace; do
        declare -n command=$warm
        timed "${command[@]}" > /dev/null
      done
      unset -n command
      [ -z "$(find "$cramped" -name '~velmor-*')" ] || { echo "a temporary file was made where none fits" >&2; exit 1; }
      : > rr.txt; : > rn.txt; : > rc.txt; : > rd.txt; : > t-replaced.txt; : > t-inplace.txt
      for _ in $(seq "$pairs"); do
        timed "${replaced[@]}" > /dev/null; read -r a _ < <(timed "${replaced[@]}")
        timed "${inplace[@]}" > /dev/null;  read -r b _ < <(timed "${inplace[@]}")
        timed "${inplace2[@]}" > /dev/null; read -r c _ < <(timed "${inplace2[@]}")
        echo "$a $b" | awk '{ print $1 / $2 }' >> rr.txt
        echo "$c $b" | awk '{ print $1 / $2 }' >> rn.txt
        echo "$a" >> t-replaced.txt; echo "$b" >> t-inplace.txt
      done
      for _ in $(seq "$pairs"); do
        read -r a _ < <(timed "${replaced[@]}")
        read -r b _ < <(timed "${inplace[@]}")
        read -r d _ < <(timed "${dd_replaced[@]}")
        read -r e _ < <(timed "${dd_inplace[@]}")
        echo "$a $b" | awk '{ print $1 / $2 }' >> rc.txt
        echo "$d $e" | awk '{ print $1 / $2 }' >> rd.txt
      done
      # No slower within the noise: the median pair at most the highest of the in-place pairs.
      # Where the machine charges for the second copy's memory, dd's own write-and-rename shows
      # how much: a replace no dearer than dd's costs the job nothing of its own.
      ratio=$(median < rr.txt); noise_high=$(sort -g rn.txt | tail -1); dd_ratio=$(median < rd.txt)
      verdict=$(awk -v r="$ratio" -v n="$noise_high" -v d="$dd_ratio" 'BEGIN {
        if (r <= 1 || r <= n) print "no slower: met"
        else if (r <= d) print "slower than the noise, as dd and mv are: the memory of the second copy"
        else print "slower than the noise and than dd and mv: NOT met" }')
      [ "$form" = plain ] && name="plain" || name="LRECL 80"
      printf '  %-9s %5s MiB, warm: replaced %.3f s, in place %.3f s; replaced / in place %.3f (%s; %s)\n' \
        "$name" "$mib" "$(median < t-replaced.txt)" "$(median < t-inplace.txt)" "$ratio" "$(spread rr.txt)" "$verdict"
      printf '  %-9s %5s MiB, warm: noise, in place / in place %.3f (%s; highest %.3f)\n' \
        "$name" "$mib" "$(median < rn.txt)" "$(spread rn.txt)" "$noise_high"
      printf '  %-9s %5s MiB, cold: replaced / in place %.3f (%s); dd and mv / dd in place %.3f (%s)\n' \
        "$name" "$mib" "$(median < rc.txt)" "$(spread rc.txt)" "$(median < rd.txt)" "$(spread rd.txt)"
      case "$verdict" in *"NOT met") failed=1 ;; esac
    done
    rm -f "$input" out-"$mib"-*.txt "$cramped"/*.txt
  done
  echo
fi

# The record-length guess on files of every kind it meets, beside reading what it reads.
"${pin[@]}" "$WINE" "$build/bench/guess_bench.exe" "$pairs" || failed=1
echo

# What keeping the dialog alive costs a job: a sparse 1 GiB input costs no disk, NUL no memory.
truncate -s 1G sparse.ebc
"${pin[@]}" "$WINE" "$build/bench/observer_cost.exe" sparse.ebc NUL 11
rm -f sparse.ebc
echo

[ "$failed" -eq 0 ] && echo "All goals met." || echo "Some goals are not met."
