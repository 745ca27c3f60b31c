#!/usr/bin/env bash
# Runs the Windows test programs of a cross build under Wine, on a private
# X server. CTest uses it as the build's CMAKE_CROSSCOMPILING_EMULATOR.
#
#   wine-run.sh --state DIR [--arch A] --start   start Xvfb, make a fresh Wine prefix
#   wine-run.sh --state DIR [--arch A] PROGRAM [ARG...]   run PROGRAM under Wine
#   wine-run.sh --state DIR [--arch A] --stop    end Wine and Xvfb, remove the prefix
#
# A is win32 (the default: 32-bit programs, Debian's wine32) or win64
# (64-bit programs, Debian's wine64, in a 64-bit prefix). DIR (in the build
# folder) holds the throwaway prefix, the display number and Xvfb's process
# id. Xvfb picks a free display itself (-displayfd), and
# it runs before the first Wine command: a wineserver started without a
# display keeps a desktop without a driver, on which windows fail later.
set -euo pipefail

usage() {
  echo "usage: $0 --state DIR [--arch win32|win64] (--start | --stop | PROGRAM [ARG...])" >&2
  exit 2
}

[[ $# -ge 3 && $1 == --state ]] || usage
state=$2
shift 2
arch=win32
if [[ $1 == --arch ]]; then
  [[ $# -ge 3 && ($2 == win32 || $2 == win64) ]] || usage
  arch=$2
  shift 2
fi

export WINEPREFIX="$state/prefix"
export WINEARCH=$arch
# Debian's "wine" runs the 32-bit loader when wine32 is installed; 64-bit
# programs get the 64-bit loader of the wine64 package.
wine=wine
if [[ $arch == win64 ]]; then
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  export WINELOADER=$wine
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts

# Ends the Xvfb recorded in the state folder, if it is still ours.
stop_xvfb() {
  local pid
  pid=$(cat "$state/xvfb.pid" 2>/dev/null) || return 0
  if [[ -n $pid ]] && grep -qa Xvfb "/proc/$pid/cmdline" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$state/xvfb.pid" "$state/display"
}

stop_wine() {
  if [[ -f $state/display && -d $WINEPREFIX ]]; then
    DISPLAY=":$(cat "$state/display")" wineserver -k >/dev/null 2>&1 || true
    DISPLAY=":$(cat "$state/display")" wineserver -w >/dev/null 2>&1 || true
  fi
}

case $1 in
  --start)
    for tool in Xvfb "$wine" wineserver; do
      command -v "$tool" >/dev/null || { echo "$0: $tool not found (scripts/install-deps installs it)" >&2; exit 1; }
    done
    mkdir -p "$state"
    stop_wine  # whatever an interrupted run left behind
    stop_xvfb
    rm -rf "$WINEPREFIX"

    # Xvfb writes the display number it chose to fd 3 once it is ready.
    # Its output goes to a file: CTest waits for every holder of a test's
    # pipes, and Xvfb outlives this test.
    : >"$state/display.new"
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp \
      3>"$state/display.new" </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do
      [[ -s $state/display.new ]] && break
      kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || break
      sleep 0.1
    done
    display=$(tr -dc 0-9 <"$state/display.new")
    rm -f "$state/display.new"
    if [[ -z $display ]]; then
      echo "$0: Xvfb did not start:" >&2
      cat "$state/xvfb.log" >&2
      stop_xvfb
      exit 1
    fi
    echo "$display" >"$state/display"
    export DISPLAY=":$display"

    # A persistent wineserver, so that it does not come and go (and take
    # the desktop with it) between test programs. Like Xvfb, it outlives
    # this test: its output goes to a file.
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >"$state/wine.log" 2>&1
    "$wine" wineboot --init </dev/null >>"$state/wine.log" 2>&1
    # No window manager: unmanaged windows, which hide without waiting
    # for one. And "Arial" is Liberation Sans, with Arial's metrics.
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      </dev/null >>"$state/wine.log" 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f \
      </dev/null >>"$state/wine.log" 2>&1
    echo "Wine prefix $WINEPREFIX ($arch) on display :$display"
    ;;

  --stop)
    stop_wine
    stop_xvfb
    rm -rf "$WINEPREFIX"  # some 600 MB, made afresh by every --start
    echo "Wine and Xvfb stopped"
    ;;

  *)
    if [[ ! -s $state/display ]]; then
      echo "$0: no Wine set up in $state (CTest's wine.start test does it)" >&2
      exit 1
    fi
    export DISPLAY=":$(cat "$state/display")"
    exec "$wine" "$@"
    ;;
esac
