#!/usr/bin/env bash
# Runs triview where no display is usable: under its own Xvfb, it saves the
# three views through the viewer's hot keys (s after x-y, x-z and y-z were
# each drawn last), takes a screenshot of the screen, quits with ESC and
# prints the viewer's output and the paths of the saved images.
#   scripts/triview-headless.sh TRIVIEW_BINARY [LIST]
# Run it in the directory that holds the list; the images are written there.
# Sourced (by the GUI test), it only defines the tvh_* helpers.

TVH_TIMEOUT=${TVH_TIMEOUT:-120}  # seconds for the viewer to load and show its windows
TVH_KEY_GAP=${TVH_KEY_GAP:-0.3}  # the toolkit keeps one key per event batch: pace them
TVH_XVFB_PID=
TVH_VIEWER_PID=
TVH_STATUS=
TVH_TMP=

tvh_log() { echo "triview-headless: $*" >&2; }

# Polls "$@" every 0.1 s for at most $1 seconds.
tvh_wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

tvh_display_usable() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

tvh_xvfb_display() { [ -s "$TVH_TMP/display" ] || ! kill -0 "$TVH_XVFB_PID" 2>/dev/null; }

# Uses the display there is, or starts Xvfb, which picks a free display
# number itself (-displayfd), so parallel runs never share or steal one;
# -noreset keeps it from resetting whenever its last client disconnects.
tvh_start_display() {
  TVH_TMP=$(mktemp -d /tmp/triview-headless.XXXXXX)
  if tvh_display_usable; then return 0; fi
  Xvfb -displayfd 3 -screen 0 2560x1440x24 -nolisten tcp -noreset 3>"$TVH_TMP/display" \
    >"$TVH_TMP/xvfb.log" 2>&1 &
  TVH_XVFB_PID=$!
  if tvh_wait_for 20 tvh_xvfb_display && [ -s "$TVH_TMP/display" ]; then
    export DISPLAY=":$(tr -d '[:space:]' <"$TVH_TMP/display")"
    tvh_wait_for 10 tvh_display_usable && return 0
  fi
  tvh_log "cannot start Xvfb: $(tail -n 1 "$TVH_TMP/xvfb.log")"
  return 1
}

tvh_start_viewer() {
  mkdir -p "$TVH_TMP/runtime"
  chmod 700 "$TVH_TMP/runtime"
  XDG_RUNTIME_DIR="$TVH_TMP/runtime" "$@" >"$TVH_TMP/out" 2>"$TVH_TMP/err" &
  TVH_VIEWER_PID=$!
}

tvh_viewer_running() { kill -0 "$TVH_VIEWER_PID" 2>/dev/null; }

# The window named $1; its title may add the window and level ("x-y  L 40 W 400").
tvh_window() {
  xdotool search --all --onlyvisible --pid "$TVH_VIEWER_PID" --name "^$1(  L .*)?\$" 2>/dev/null |
    sed -n 1p
}

# The title of window $1.
tvh_title() { xdotool getwindowname "$(tvh_window "$1")" 2>/dev/null; }

tvh_windows_shown() {
  tvh_viewer_running || return 0  # stop waiting: it ended
  [ -n "$(tvh_window x-z)" ] && [ -n "$(tvh_window y-z)" ] && [ -n "$(tvh_window x-y)" ]
}

# Waits for the three windows, then gives the x-y window the keyboard.
tvh_wait_windows() {
  tvh_wait_for "$TVH_TIMEOUT" tvh_windows_shown && tvh_viewer_running || {
    tvh_log "the viewer showed no windows"
    return 1
  }
  timeout 10 xdotool windowfocus --sync "$(tvh_window x-y)" || {
    tvh_log "cannot focus the x-y window"
    return 1
  }
}

tvh_key() {
  xdotool key "$1"
  sleep "$TVH_KEY_GAP"
}

# Left click at X Y of the image in window $1; with more points, a drag through them.
tvh_click() {
  local window
  window=$(tvh_window "$1")
  shift
  xdotool mousemove --window "$window" "$1" "$2" mousedown 1
  shift 2
  while [ $# -ge 2 ]; do
    xdotool mousemove --window "$window" "$1" "$2"
    shift 2
  done
  xdotool mouseup 1
  sleep "$TVH_KEY_GAP"
}

# Drag with the right button in window $1 from X Y through the points after it.
tvh_right_drag() {
  local window
  window=$(tvh_window "$1")
  shift
  xdotool mousemove --window "$window" "$1" "$2" mousedown 3
  shift 2
  while [ $# -ge 2 ]; do
    xdotool mousemove --window "$window" "$1" "$2"
    sleep 0.05
    shift 2
  done
  xdotool mouseup 3
  sleep "$TVH_KEY_GAP"
}

# Height of window $1 on screen.
tvh_window_height() {
  xdotool getwindowgeometry "$(tvh_window "$1")" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p'
}

tvh_saved_count() { grep -c '^last_id:' "$TVH_TMP/out" 2>/dev/null || true; }

# Presses s and prints the viewer's "last_id" line for it.
tvh_save() {
  local before
  before=$(tvh_saved_count)
  xdotool key s
  tvh_wait_for 20 tvh_count_above "$before" || {
    tvh_log "no last_id line after s"
    return 1
  }
  grep '^last_id:' "$TVH_TMP/out" | tail -n 1
}
tvh_count_above() { [ "$(tvh_saved_count)" -gt "$1" ]; }

# Presses each key until s reports view $1 drawn last (a key may be lost or clamped).
tvh_save_view() {
  local id=$1 line key
  shift
  for key in "$@"; do
    [ "$key" != - ] && tvh_key "$key"
    line=$(tvh_save) || return 1
    case $line in "last_id:$id "*) echo "${line#* }"; return 0 ;; esac
  done
  tvh_log "view $id was not drawn last after keys $*"
  return 1
}

# ESC, then the viewer's exit status in TVH_STATUS (124 when it would not end).
tvh_quit() {
  xdotool key Escape
  if tvh_wait_for 20 tvh_viewer_stopped; then
    wait "$TVH_VIEWER_PID"
    TVH_STATUS=$?
  else
    tvh_log "the viewer did not end after ESC"
    kill "$TVH_VIEWER_PID" 2>/dev/null
    wait "$TVH_VIEWER_PID" 2>/dev/null
    TVH_STATUS=124
  fi
  TVH_VIEWER_PID=
}
tvh_viewer_stopped() { ! tvh_viewer_running; }

tvh_cleanup() {
  if [ -n "$TVH_VIEWER_PID" ]; then
    kill "$TVH_VIEWER_PID" 2>/dev/null
    wait "$TVH_VIEWER_PID" 2>/dev/null
  fi
  if [ -n "$TVH_XVFB_PID" ]; then
    kill "$TVH_XVFB_PID" 2>/dev/null
    wait "$TVH_XVFB_PID" 2>/dev/null
  fi
  [ -n "$TVH_TMP" ] && rm -rf "$TVH_TMP"
  TVH_VIEWER_PID= TVH_XVFB_PID= TVH_TMP=
}

tvh_main() {
  if [ $# -lt 1 ] || [ "$1" = -h ] || [ "$1" = --help ]; then
    echo "usage: triview-headless.sh TRIVIEW_BINARY [LIST]"
    [ $# -ge 1 ]
    return
  fi
  trap tvh_cleanup EXIT
  trap 'exit 130' INT TERM
  tvh_start_display || return 1
  tvh_start_viewer "$@"
  local xy= xz= yz= screen="$PWD/triview_screen.png" failed=0
  if tvh_wait_windows; then
    xy=$(tvh_save_view 3 - c c) &&
      xz=$(tvh_save_view 1 f b f b) &&
      yz=$(tvh_save_view 2 r l r l) || failed=1
    timeout 30 import -window root "$screen" || {
      tvh_log "cannot take the screenshot"
      failed=1
    }
    tvh_quit
  else
    failed=1
    if tvh_viewer_running; then tvh_quit; else wait "$TVH_VIEWER_PID"; TVH_STATUS=$?; fi
    TVH_VIEWER_PID=
  fi
  cat "$TVH_TMP/out"
  grep -v -e '^QStandardPaths:' "$TVH_TMP/err" >&2
  [ "$TVH_STATUS" -ne 0 ] && tvh_log "triview ended with status $TVH_STATUS"
  [ -n "$xy" ] && echo "x-y view: $PWD/$xy"
  [ -n "$xz" ] && echo "x-z view: $PWD/$xz"
  [ -n "$yz" ] && echo "y-z view: $PWD/$yz"
  [ -f "$screen" ] && echo "screenshot: $screen"
  [ "$TVH_STATUS" -ne 0 ] && return "$TVH_STATUS"
  return $failed
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  tvh_main "$@"
  exit $?
fi
