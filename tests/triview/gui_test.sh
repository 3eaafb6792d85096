#!/usr/bin/env bash
# The real viewer under its own Xvfb, driven by xdotool: every hot key, clicks
# and drags in each view, the z-scale, the saved views against the renderers,
# keys outside the table, a failed save, ESC and status 0, a DICOM list with a
# right-drag of the window, the memory a grey stack holds, and no hang or
# abort under any address-space limit.
#   gui_test.sh TRIVIEW_BINARY GUI_FIXTURE
set -uo pipefail
triview=$1
fixture=$2
source "$(dirname "$0")/../../scripts/triview-headless.sh"

work=$(mktemp -d /tmp/triview-gui-test.XXXXXX)
failures=0
checks=0
finish() {
  tvh_cleanup
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

list=
expect_line() {  # expect_line KEY... -- LINE: keys (paced), then s must print LINE
  local keys=() line
  while [ "$1" != -- ]; do keys+=("$1"); shift; done
  for key in "${keys[@]}"; do tvh_key "$key"; done
  line=$(tvh_save) || { fail "no line after ${keys[*]} s"; return; }
  checks=$((checks + 1))
  [ "$line" = "$2" ] || fail "after ${keys[*]} s: '$line', expected '$2'"
}

expect_click() {  # expect_click WINDOW X Y [X Y...] -- LINE: a click or drag, then s
  local args=() line
  while [ "$1" != -- ]; do args+=("$1"); shift; done
  tvh_click "${args[@]}"
  line=$(tvh_save) || { fail "no line after a click in ${args[*]}"; return; }
  checks=$((checks + 1))
  [ "$line" = "$2" ] || fail "after a click in ${args[*]}: '$line', expected '$2'"
}

expect_view() {  # expect_view FILE VIEW Y X SLICE FLIP RAW
  "$fixture" check "$list" "$@" >/dev/null || fail "$1 does not show view $2 at $3 $4 $5 flip $6 raw $7"
}

start() {  # start LIST [OPTIONS...]
  list=$1
  shift
  tvh_start_viewer "$triview" "$@" "$list"
  tvh_wait_windows || { cat "$TVH_TMP/out" "$TVH_TMP/err"; exit 1; }
}

quit() {  # quit SAVES: ESC, status 0, the console text and SAVES last_id lines
  tvh_quit
  [ "$TVH_STATUS" = 0 ] || fail "exit status $TVH_STATUS after ESC, expected 0"
  local head=$'Hot keys: \n\tESC - quit the program'
  [ "$(sed -n 2,3p "$TVH_TMP/out")" = "$head" ] || fail "console: $(head -n 3 "$TVH_TMP/out")"
  [ "$(grep -c '^last_id:' "$TVH_TMP/out")" = "$1" ] || fail "expected $1 last_id lines: $(cat "$TVH_TMP/out")"
}

cd "$work" || exit 1
"$fixture" make . gui_list.txt 48 40 9 || exit 1
# Wide and tall enough that each image fills its window, so a window's
# pixel is the image's.
"$fixture" make . click_list.txt 400 330 80 || exit 1
unset DISPLAY
tvh_start_display || exit 1

# Keys. 48 x 40 x 9: x_posi 24, y_posi 20, slice 4 at start, x-y drawn last.
start gui_list.txt
expect_line -- "last_id:3 isl_0004.jpg"
expect_view isl_0004.jpg 3 20 24 4 0 0
expect_line u -- "last_id:3 isl_0005.jpg"
expect_line f -- "last_id:1 y_0021.jpg"
expect_view y_0021.jpg 1 21 24 5 0 0
expect_line shift+l -- "last_id:2 x_0023.jpg"
expect_view x_0023.jpg 2 21 23 5 0 0
expect_line q -- "last_id:2 x_0023.jpg"
expect_view x_0023.jpg 2 21 23 5 1 0
expect_line c -- "last_id:3 isl_0005.jpg"
expect_view isl_0005.jpg 3 21 23 5 1 1
# Their low bytes read as Q, R, S, U and c; full codes must leave all alone.
expect_line Left Up Right Prior Insert 7 q -- "last_id:2 x_0023.jpg"
expect_view x_0023.jpg 2 21 23 5 0 1
expect_line d b r -- "last_id:2 x_0024.jpg"
expect_view x_0024.jpg 2 20 24 4 0 1
quit 8
[ "$(head -n 1 "$TVH_TMP/out")" = "islice:9" ] || fail "console starts: $(head -n 1 "$TVH_TMP/out")"

# Clicks. 400 x 330 x 80: x_posi 200, y_posi 165, slice 40 at start.
start click_list.txt
# Windows are mapped before their images are drawn, and a click that comes
# before the image lands on another layout; the s answered first means the
# images are up (keys wait in the queue, clicks do not).
expect_line -- "last_id:3 isl_0040.jpg"
expect_click x-y 100 50 -- "last_id:2 x_0100.jpg"  # x-z, then y-z redrawn
expect_view x_0100.jpg 2 50 100 40 0 0
expect_click x-z 30 10 -- "last_id:3 isl_0069.jpg"  # row 10 from the top: slice 79 - 10
expect_view isl_0069.jpg 3 50 30 69 0 0
expect_click y-z 7 70 -- "last_id:3 isl_0009.jpg"
expect_line f -- "last_id:1 y_0008.jpg"
expect_view y_0008.jpg 1 8 30 9 0 0
expect_click x-y 30 8 -- "last_id:1 y_0008.jpg"  # where the planes are: nothing drawn
expect_click x-y 10 10 60 40 200 150 -- "last_id:2 x_0200.jpg"  # a drag ends where it ends
expect_view x_0200.jpg 2 150 200 9 0 0
expect_click x-y 200 300 200 420 -- "last_id:1 y_0329.jpg"  # dragged below: clamped to H - 1
expect_line q -- "last_id:2 x_0200.jpg"
expect_click x-z 5 10 -- "last_id:3 isl_0010.jpg"  # flipped: row 10 is slice 10
expect_view isl_0010.jpg 3 329 5 10 1 0
expect_click y-z 300 79 -- "last_id:3 isl_0079.jpg"
expect_view isl_0079.jpg 3 300 5 79 1 0
# A file that cannot be written is named with the reason, and the viewer goes on.
mkdir y_0300.jpg
expect_line f b -- "last_id:1 y_0300.jpg"
grep -qx 'triview: y_0300.jpg: cannot write file: is a directory' "$TVH_TMP/err" ||
  fail "no reason for the failed save: $(cat "$TVH_TMP/err")"
quit 12

# z-scale 2.5: 80 rows of x-z and y-z take 200 on screen; clicks map back and
# the saved views keep one row per slice.
start click_list.txt --z-scale 2.5
expect_line -- "last_id:3 isl_0040.jpg"
# Each window is its image plus the same trackbar: x-z and y-z 200 rows
# where x-y has 330, once the views are shown.
scaled_heights() {
  local bar=$(($(tvh_window_height x-y) - 330))
  [ "$(tvh_window_height x-z)" = $((200 + bar)) ] && [ "$(tvh_window_height y-z)" = $((200 + bar)) ]
}
checks=$((checks + 1))
tvh_wait_for 10 scaled_heights ||
  fail "x-z, y-z, x-y are $(tvh_window_height x-z), $(tvh_window_height y-z), $(tvh_window_height x-y) high"
import -window root -crop 1200x600+0+0 "$work/z_scale.png" 2>/dev/null
expect_click x-z 20 25 -- "last_id:3 isl_0069.jpg"  # screen row 25 is view row 10
expect_click y-z 15 199 -- "last_id:3 isl_0000.jpg"  # the bottom row is slice 0
expect_line b -- "last_id:1 y_0014.jpg"
expect_view y_0014.jpg 1 14 20 0 0 0
expect_line r -- "last_id:2 x_0021.jpg"
expect_view x_0021.jpg 2 14 21 0 0 0
quit 5
[ -n "${TVH_SCREENSHOT_DIR:-}" ] && cp "$work/z_scale.png" "$TVH_SCREENSHOT_DIR/"

# A DICOM list, named head first: shown in anatomical order (the highest,
# brightest slice on top of x-z), with the files' window in the titles; a
# right-drag changes the window of the views and the titles.
"$fixture" make-dicom . head_list.txt 400 330 12 || exit 1
start head_list.txt --grey --guides
checks=$((checks + 3))
[ "$(tvh_title x-y)" = "x-y  L 40 W 400" ] || fail "x-y title at start: '$(tvh_title x-y)'"
expect_line f b -- "last_id:1 y_0165.jpg"
"$fixture" rows-rise y_0165.jpg >/dev/null || fail "x-z is not in anatomical order: $("$fixture" rows-rise y_0165.jpg)"
cp y_0165.jpg before_drag.jpg
tvh_right_drag x-y 20 20 60 20 100 20
[ "$(tvh_title x-y)" != "x-y  L 40 W 400" ] || fail "the title did not follow the right-drag"
expect_line -- "last_id:1 y_0165.jpg"
cmp -s y_0165.jpg before_drag.jpg && fail "the right-drag did not change the saved view"
quit 2

# Memory: the same 256 x 256 x 200 stack, grey and colour. A grey stack holds
# one byte a pixel, a colour one three. (Not under the sanitizers, whose own
# memory swamps the figures.)
if [[ "$(ldd "$triview")" == *libasan* ]]; then
  echo "$checks checks, $failures failures (memory not measured under the sanitizers)"
  exit $((failures > 0))
fi
"$fixture" make . grey_list.txt 256 256 200 || exit 1
"$fixture" make . tint_list.txt 256 256 200 colour || exit 1
"$fixture" make . lone_list.txt 256 256 1 || exit 1
anonymous_kib() { sed -n 's/^RssAnon:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$TVH_VIEWER_PID/status"; }
declare -A held
for name in grey tint lone; do
  start ${name}_list.txt
  held[$name]=$(anonymous_kib)
  quit 0
done
stack_kib=$((256 * 256 * 200 / 1024))
grey_cost=$((held[grey] - held[lone]))
colour_cost=$((held[tint] - held[lone]))
echo "anonymous memory: grey ${held[grey]} KiB, colour ${held[tint]} KiB, one slice ${held[lone]} KiB"
echo "stack: grey $grey_cost KiB, colour $colour_cost KiB, W x H x N = $stack_kib KiB"
checks=$((checks + 2))
# The views (x-z and y-z are 256 x 200 x 3, and the toolkit's copies) come on top of the stack.
views_kib=$((3 * 2 * 256 * 200 * 3 / 1024))
[ "$grey_cost" -le $((stack_kib + views_kib + 2048)) ] ||
  fail "a grey stack costs $grey_cost KiB, more than $stack_kib + $views_kib + 2048"
[ "$colour_cost" -ge $((grey_cost + 2 * stack_kib - 2048)) ] ||
  fail "a colour stack costs $colour_cost KiB, not about twice W x H x N more than grey"

# A sweep of address-space limits over 1000 slices of 512 x 512: at each the
# viewer is refused with a line and status 1, or shows its windows and ends
# on ESC. The toolkit starts threads after the stack is loaded; short of room
# for them it once waited for ever or aborted.
"$fixture" make . limit_list.txt 512 512 1 || exit 1
slice=$(head -n 1 limit_list.txt)
for _ in $(seq 1000); do echo "$slice"; done >limit_list.txt
for limit_kib in $(seq 300000 20000 800000); do
  checks=$((checks + 1))
  tvh_start_viewer bash -c 'ulimit -v "$1" && exec "$2" "$3"' limited "$limit_kib" "$triview" limit_list.txt
  if ! tvh_wait_for 30 tvh_windows_shown; then
    fail "under ulimit -v $limit_kib the viewer neither ended nor showed its windows: $(cat "$TVH_TMP/err")"
    kill -9 "$TVH_VIEWER_PID" 2>/dev/null
    wait "$TVH_VIEWER_PID" 2>/dev/null
    continue
  fi
  if tvh_viewer_running; then
    timeout 10 xdotool windowfocus --sync "$(tvh_window x-y)" 2>/dev/null
    tvh_quit
  else wait "$TVH_VIEWER_PID"; TVH_STATUS=$?; fi
  case $TVH_STATUS in
    0) ;;
    1) grep -q '^triview: ' "$TVH_TMP/err" || fail "status 1 without a line under ulimit -v $limit_kib" ;;
    *) fail "status $TVH_STATUS under ulimit -v $limit_kib: $(cat "$TVH_TMP/err")" ;;
  esac
done

echo "$checks checks, $failures failures"
[ $failures -eq 0 ]
