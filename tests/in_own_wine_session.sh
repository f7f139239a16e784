#!/bin/sh
# in_own_wine_session.sh PREFIX WINE WINEARCH PROGRAM [ARGS...]
# Runs a Windows program in a Wine prefix and on an X display of its own, for a test that
# changes what the prefix's programs see (its DPI): the prefix and the display the other tests
# share, two at a time, stay as they are. The prefix is made on first use (about 15 s) and
# kept; the display and the prefix's programs end with the run.
set -eu
prefix=$1 wine=$2 arch=$3
shift 3
export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$(locale charmap 2>/dev/null)" in UTF-8) ;; *) export LC_ALL=C.UTF-8 ;; esac

number=$(mktemp)
Xvfb -displayfd 9 -nolisten tcp -screen 0 1280x1024x24 9>"$number" 2>/dev/null &
xvfb=$!
finish() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -f "$number"
}
trap finish EXIT
for _ in $(seq 100); do [ "$(wc -l < "$number")" -ge 1 ] && break; sleep 0.1; done
DISPLAY=":$(tr -d '\n' < "$number")"
export DISPLAY

# A virtual desktop, as in the shared prefix: drawn caption bars, and no two-second wait
# whenever an active window closes without a window manager.
if ! grep -q '"Desktop"="Default"' "$prefix/user.reg" 2>/dev/null; then
  "$wine" wineboot -i >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  fonts="$prefix/drive_c/windows/Fonts"
  [ ! -f /usr/share/wine/fonts/marlett.ttf ] || { mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"; }
  wineserver -k 2>/dev/null || true
  wineserver -w
fi
"$wine" "$@"
