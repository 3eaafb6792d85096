#!/usr/bin/env bash
# The whole road with the Windows programs under wine against the Linux
# build: dirsort -> slicejpeg -> dirsort on a phantom series and on
# compressed files (RLE, JPEG-LS, JPEG 2000 from pydicom's test files), lists,
# max files and JPEGs compared byte for byte, console text line for line
# (CR LF aside); then triview.exe in Xvfb: three windows, u, s saves the
# expected slice, ESC ends with 0.
#   road_test.sh LINUX_BUILD_DIR UNZIPPED_WINDOWS_PACKAGE_DIR
set -uo pipefail
linux=$1/bin
windows=$2/bin
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/ctview-wine-road.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  wineserver -k 2>/dev/null
  tvh_cleanup 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

same_outputs() {  # same_outputs CASE: every file of lin/ and win/ and the console text
  local name=$1 file count=0
  diff <(tr -d '\r' <"$work/$name/lin/out.txt") <(tr -d '\r' <"$work/$name/win/out.txt") >/dev/null ||
    fail "$name: standard output differs"
  diff <(tr -d '\r' <"$work/$name/lin/err.txt") <(tr -d '\r' <"$work/$name/win/err.txt") >/dev/null ||
    fail "$name: standard error differs"
  while read -r file; do
    cmp -s "$work/$name/lin/$file" "$work/$name/win/$file" || fail "$name: $file differs"
    count=$((count + 1))
  done < <(cd "$work/$name/lin" && find . -type f ! -name '*.txt' -o -name '*list.txt' -o -name '*_max.txt')
  echo "$name: $count files compared"
}

road() {  # road CASE FOLDER SLICEJPEG_OPTIONS...: both builds, then compared
  local name=$1 folder=$2
  shift 2
  (cd "$work/$name/lin" && "$linux/dirsort" "$folder" >/dev/null &&
    "$linux/slicejpeg" "$@" "${folder}_list.txt" >out.txt 2>err.txt; "$linux/dirsort" "$folder" >/dev/null)
  (cd "$work/$name/win" && wine "$windows/dirsort.exe" "$folder" >/dev/null &&
    wine "$windows/slicejpeg.exe" "$@" "${folder}_list.txt" >out.txt 2>err.txt
   wine "$windows/dirsort.exe" "$folder" >/dev/null)
  same_outputs "$name"
}

# wine's desktop process keeps the display it first met: Xvfb comes first.
source "$here/../../scripts/triview-headless.sh"
unset DISPLAY
tvh_start_display || exit 1
wineboot --init >/dev/null 2>&1
for side in lin win; do
  mkdir -p "$work/phantom/$side" "$work/compressed/$side/mr"
  (cd "$work/phantom/$side" && "$linux/phantom_series" --slices 12 --geometry sample >/dev/null)
done
road phantom sample --window soft

pydicom_files=$(/usr/bin/python3 -c 'import pydicom, os; print(os.path.dirname(pydicom.__file__))' \
  2>/dev/null)/data/test_files
if [ -d "$pydicom_files" ]; then
  i=1
  for file in MR_small_RLE.dcm MR_small_jpeg_ls_lossless.dcm JPEG2000.dcm; do
    for side in lin win; do cp "$pydicom_files/$file" "$work/compressed/$side/mr/IM.$i"; done
    i=$((i + 1))
  done
  road compressed mr --series all
else
  echo "compressed road skipped: python3-pydicom is not installed"
fi

# The viewer: its Win32 windows under Xvfb, driven as a user would.
cd "$work/phantom/win" || exit 1
tvh_start_viewer wine "$windows/triview.exe" sample_jpg_list.txt
if tvh_wait_for 60 tvh_windows_shown && tvh_viewer_running; then
  window=$(xdotool search --name '^x-y$' | head -n 1)
  xdotool key --window "$window" u 2>/dev/null
  sleep 0.5
  xdotool key --window "$window" s 2>/dev/null
  tvh_wait_for 10 test -f isl_0007.jpg || fail "triview.exe: s saved no isl_0007.jpg"
  xdotool key --window "$window" Escape 2>/dev/null
  tvh_wait_for 20 tvh_viewer_stopped || fail "triview.exe did not end on ESC"
  wait "$TVH_VIEWER_PID"
  status=$?
  [ "$status" = 0 ] || fail "triview.exe ended with $status"
  grep -q '^last_id:3 isl_0007.jpg' "$TVH_TMP/out" || fail "triview.exe: $(cat "$TVH_TMP/out")"
else
  fail "triview.exe showed no windows: $(cat "$TVH_TMP/err")"
fi
echo "$failures failures"
[ $failures -eq 0 ]
