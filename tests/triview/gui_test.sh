#!/usr/bin/env bash
# The real viewer under its own Xvfb, driven by xdotool: every hot key, the
# saved views against the renderers, keys outside the table, ESC and status 0.
#   gui_test.sh TRIVIEW_BINARY GUI_FIXTURE
set -uo pipefail
triview=$1
fixture=$2
source "$(dirname "$0")/../../scripts/triview-headless.sh"

work=$(mktemp -d /tmp/triview-gui-test.XXXXXX)
failures=0
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

expect_line() {  # expect_line KEY... -- LINE: keys (paced), then s must print LINE
  local keys=() line
  while [ "$1" != -- ]; do keys+=("$1"); shift; done
  for key in "${keys[@]}"; do tvh_key "$key"; done
  line=$(tvh_save) || { fail "no line after ${keys[*]} s"; return; }
  [ "$line" = "$2" ] || fail "after ${keys[*]} s: '$line', expected '$2'"
}

expect_view() {  # expect_view FILE VIEW Y X SLICE FLIP RAW
  "$fixture" check gui_list.txt "$@" || fail "$1 does not show view $2 at $3 $4 $5 flip $6 raw $7"
}

cd "$work" || exit 1
"$fixture" make . || exit 1
unset DISPLAY
tvh_start_display || exit 1
tvh_start_viewer "$triview" gui_list.txt
tvh_wait_windows || { cat "$TVH_TMP/out" "$TVH_TMP/err"; exit 1; }

# 48 x 40 x 9: x_posi 24, y_posi 20, slice 4 at start, x-y drawn last.
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

tvh_quit
[ "$TVH_STATUS" = 0 ] || fail "exit status $TVH_STATUS after ESC, expected 0"
expected_head=$'islice:9\nHot keys: \n\tESC - quit the program'
[ "$(head -n 3 "$TVH_TMP/out")" = "$expected_head" ] || fail "console starts: $(head -n 3 "$TVH_TMP/out")"
[ "$(grep -c '^last_id:' "$TVH_TMP/out")" = 8 ] || fail "expected 8 last_id lines: $(cat "$TVH_TMP/out")"

echo "8 saves checked, $failures failures"
[ $failures -eq 0 ]
