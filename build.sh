#!/usr/bin/env bash
# One entry point for building, running, testing and benchmarking VELMOR on Debian.
#   ./build.sh run     install what is missing, build, start the program under Wine
#   ./build.sh test    build and run every test under Wine (and Xvfb); more arguments go to CTest
#   ./build.sh build   build only
#   ./build.sh bench   build and run the benchmarks
#   ./build.sh release build the PE32 product and pack it for Windows users into build/
#   ./build.sh setup   install the toolchain, Wine and Xvfb (as root, or through sudo)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
PACKAGES="g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb xdotool imagemagick cmake make googletest time procps"

# Whether this machine executes 32-bit x86 Linux code: a 91-byte program that only exits.
# Some virtual machines refuse it; 32-bit Wine cannot start there, so it is not installed.
runs_32_bit_code() {
  local probe; probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0'\
'\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08'\
'\x5b\0\0\0\x5b\0\0\0\x05\0\0\0\0\x10\0\0\x31\xdb\x31\xc0\x40\xcd\x80' > "$probe"
  chmod +x "$probe"
  local status=0
  ( "$probe" ) 2>/dev/null || status=1
  rm -f "$probe"
  return $status
}

setup() {
  local packages=$PACKAGES
  runs_32_bit_code && packages="$packages wine32:i386"
  local missing=""
  for p in $packages; do dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"; done
  [ -n "$missing" ] || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing:$missing" >&2
  $sudo dpkg --add-architecture i386
  # A mirror caught in the middle of a sync serves index files that do not match; it mends
  # itself within minutes.
  for attempt in 1 2 3 4; do
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null &&
      return 0
    [ $attempt -lt 4 ] && { echo "Installing failed; trying again in 30 s" >&2; sleep 30; }
  done
  return 1
}

# Some machines cannot execute 32-bit Linux code at all, and so cannot start 32-bit Wine;
# there the tests are built for 64-bit Windows and run under 64-bit Wine instead.
test_arch() {  # VELMOR_ARCH=x86_64 takes the 64-bit path on a machine that has both
  if [ -n "${VELMOR_ARCH:-}" ]; then echo "$VELMOR_ARCH"; return; fi
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
}

configure_and_build() {  # arch, tests ON/OFF, [the PE32 build whose executables a test checks]
  local dir="build/$1"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$1-w64-mingw32.cmake" \
        -DVELMOR_TESTS="$2" ${3:+-DVELMOR_PE32_DIR="$3"} >/dev/null
  cmake --build "$dir" -j "$(nproc)" -- --no-print-directory >/dev/null
}

build() {
  local arch; arch=$(test_arch)
  if [ "$arch" = i686 ]; then
    configure_and_build i686 ON "$ROOT/build/i686"
  else
    configure_and_build i686 OFF
    configure_and_build x86_64 ON "$ROOT/build/i686"
  fi
}

wine_env() {  # arch: the environment every Wine call of that build uses
  local dir="$ROOT/build/$1"
  export WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # Wine passes file names to Linux in the locale's character set: only UTF-8 holds them all.
  case "$(locale charmap 2>/dev/null)" in UTF-8) ;; *) export LC_ALL=C.UTF-8 ;; esac
  if [ "$1" = i686 ]; then export WINEARCH=win32 WINE=/usr/lib/wine/wine
  else export WINEARCH=win64 WINE=/usr/lib/wine/wine64; fi
}

XVFB_PID=""
start_session() {  # arch: an X display and a running wineserver for the whole session
  wine_env "$1"
  local number="$ROOT/build/xvfb-display"
  rm -f "$number"
  Xvfb -displayfd 9 -nolisten tcp 9>"$number" 2>/dev/null &
  XVFB_PID=$!
  for _ in $(seq 100); do [ "$(wc -l < "$number")" -ge 1 ] && break; sleep 0.1; done
  export DISPLAY=":$(tr -d '\n' < "$number")"
  trap stop_session EXIT
  # Wine's own services start with the first program of a session and keep the output
  # pipes they inherit: start them here, away from CTest's pipes, and keep them running.
  mkdir -p "$WINEPREFIX"
  wineserver -p 2>/dev/null || true  # one may already serve this prefix, which is as good
  "$WINE" wineboot -i >/dev/null 2>&1
  install_caption_font
  no_crash_dialog
  use_virtual_desktop
}

# A crashing program would otherwise wait for someone to close Wine's crash dialog, and its
# test with it; without the dialog the debugger prints the backtrace and ends the program.
no_crash_dialog() {
  grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null && return 0
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

# Without a window manager Wine pays about two seconds whenever an active window goes away,
# and draws no caption bars. A virtual desktop behaves like a Windows desktop in both.
use_virtual_desktop() {
  grep -q '"Desktop"="Default"' "$WINEPREFIX/user.reg" 2>/dev/null && return 0
  "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  wineserver -k 2>/dev/null || true
  wineserver -w
  wineserver -p
  "$WINE" wineboot >/dev/null 2>&1
}

# Wine draws caption buttons with its own Marlett font, but this Wine does not look for its
# fonts in its data folder: without a copy in the prefix the buttons show as "0 1 r".
install_caption_font() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" font=/usr/share/wine/fonts/marlett.ttf
  [ -f "$fonts/marlett.ttf" ] || [ ! -f "$font" ] || { mkdir -p "$fonts" && cp "$font" "$fonts/"; }
}

stop_session() {
  wineserver -k 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}

refuse_root() {
  if [ "$(id -u)" -eq 0 ]; then
    echo "Run the tests as an ordinary user: as root, read-only files are writable under Wine" >&2
    echo "and the tests would lie. As root, use .ci/run, which makes such a user." >&2
    exit 1
  fi
}

run() {
  local arch; arch=$(test_arch)
  wine_env "$arch"
  if [ -z "${DISPLAY:-}" ]; then
    echo "No X display: start it from a desktop session, or as: xvfb-run -a ./build.sh run" >&2
    exit 1
  fi
  [ -d "$WINEPREFIX" ] || "$WINE" wineboot -i >/dev/null 2>&1
  install_caption_font
  echo "Starting build/$arch/shell/velmor.exe"
  (cd "$ROOT/build" && "$WINE" "$ROOT/build/$arch/shell/velmor.exe")
}

release() {
  cmake -DBUILD="$ROOT/build/i686" -DOUT="$ROOT/build" -P cmake/make_release.cmake
}

case "${1:-}" in
  setup) setup ;;
  build) setup; build ;;
  run)   setup; build; run ;;
  release) setup; build; release ;;
  test)  refuse_root; build; release >/dev/null; arch=$(test_arch)
         [ "$arch" = i686 ] || [ -n "${VELMOR_ARCH:-}" ] ||
           echo "note: this machine cannot run 32-bit Wine; tests run as 64-bit Windows programs" >&2
         start_session "$arch"
         shift
         ctest --test-dir "build/$arch" --output-on-failure --timeout 600 -j 2 "$@" ;;
  bench) build; arch=$(test_arch); start_session "$arch"; bench/run.sh "build/$arch" ;;
  *) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
