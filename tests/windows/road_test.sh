#!/usr/bin/env bash
# The whole road with the Windows programs under wine against the Linux
# build: dirsort -> slicejpeg -> dirsort on a phantom series and on
# compressed files (RLE, JPEG-LS, JPEG 2000 from pydicom's test files), lists,
# max files (CR LF turned to LF) and JPEGs compared byte for byte, console
# text line for line; names and text as a Japanese Windows has them (code
# page 932, one list for "txt" and "TXT"); then triview.exe in Xvfb: three
# windows, u, a click, s saves the expected views, ESC ends with 0.
#   road_test.sh LINUX_BUILD_DIR UNZIPPED_WINDOWS_PACKAGE_DIR
set -uo pipefail
linux=$1/bin
windows=$2/bin
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/ctview-wine-road.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Both builds in one UTF-8 locale (wine takes its code page from it; under
# "C" it could not even name the Japanese files).
export LC_ALL=C.UTF-8
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  wineserver -k 2>/dev/null
  WINEPREFIX=$work/prefix-ja wineserver -k 2>/dev/null
  tvh_cleanup 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# A text file the Windows build wrote (CR LF) holds the Linux build's (LF) lines.
same_text() { cmp -s "$1" <(tr -d '\r' <"$2" 2>/dev/null); }

same_outputs() {  # same_outputs CASE: every file of lin/ and win/ and the console text
  local name=$1 file count=0
  diff <(tr -d '\r' <"$work/$name/lin/out.txt") <(tr -d '\r' <"$work/$name/win/out.txt") >/dev/null ||
    fail "$name: standard output differs"
  diff <(tr -d '\r' <"$work/$name/lin/err.txt") <(tr -d '\r' <"$work/$name/win/err.txt") >/dev/null ||
    fail "$name: standard error differs"
  while read -r file; do
    case $file in
      *.txt)  # lists and max files end their lines with CR LF on Windows
        [ "$(grep -c $'\r$' "$work/$name/win/$file")" = "$(wc -l <"$work/$name/win/$file")" ] ||
          fail "$name: $file has lines without CR LF"
        same_text "$work/$name/lin/$file" "$work/$name/win/$file" ;;
      *) cmp -s "$work/$name/lin/$file" "$work/$name/win/$file" ;;
    esac || fail "$name: $file differs"
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
# One server for the whole test: a server ending as the next program starts
# resets that program's connection. finish ends it.
mkdir -p "$WINEPREFIX"
wineserver -p
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

# Paths longer than 260 characters, as archives nest them.
segment=$(printf 'a%.0s' $(seq 60))
deep=long/$segment/$segment/$segment/$segment/$segment/deep
for side in lin win; do
  mkdir -p "$work/long/$side/$deep"
  "$linux/phantom_series" --slices 3 --width 32 --height 32 "$work/long/$side/$deep" >/dev/null
done
(cd "$work/long/lin" && "$linux/dirsort" "$deep" >/dev/null && "$linux/slicejpeg" deep_list.txt >/dev/null 2>&1)
(cd "$work/long/win" && wine "$windows/dirsort.exe" "$deep" >/dev/null &&
  wine "$windows/slicejpeg.exe" deep_list.txt >/dev/null 2>&1) || fail "long: the .exe runs failed"
for file in deep_list.txt deep_max.txt; do
  same_text "$work/long/lin/$file" "$work/long/win/$file" || fail "long: $file differs or is missing"
done
for file in "$deep/deep001.jpg" "$deep/deep003.jpg"; do
  cmp -s "$work/long/lin/$file" "$work/long/win/$file" || fail "long: ${file##*/} differs or is missing"
done
echo "long: paths of ${#deep} characters and more checked"

# A Japanese Windows: the ANSI code page is 932 (wine takes it from the
# locale's name). Lists hold Shift_JIS names, the console speaks Shift_JIS,
# a name code page 932 cannot hold is reported and left out, and "txt" and
# "TXT" share one list, as wine's file names ignore case as Windows does.
mkdir -p "$work/cp932/s"
cp "$work/phantom/lin/sample/IM.1" "$work/cp932/s/日本.1"
cp "$work/phantom/lin/sample/IM.2" "$work/cp932/s/é.2"
touch "$work/cp932/s/a.txt" "$work/cp932/s/b.TXT"
sjis() { iconv -f UTF-8 -t CP932; }
cd "$work/cp932" || exit 1
# A prefix keeps the locale it was made in: a Japanese one of its own.
japanese() { LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 WINEPREFIX=$work/prefix-ja "$@"; }
mkdir -p "$work/prefix-ja"
japanese wineserver -p
japanese wineboot --init >/dev/null 2>&1
japanese wine "$windows/dirsort.exe" s >out.txt 2>err.txt
echo $? >status.txt
[ "$(cat status.txt)" = 1 ] || fail "cp932: dirsort.exe ended with $(cat status.txt), expected 1"
cmp -s s_list.txt <(printf 's\\日本.1\r\n' | sjis) || fail "cp932: s_list.txt: $(od -c s_list.txt)"
cmp -s s_txt_list.txt <(printf 's\\a.txt\r\ns\\b.TXT\r\n') || fail "cp932: s_txt_list.txt: $(cat s_txt_list.txt)"
[ "$(ls | grep -ci '^s_txt_list.txt$')" = 1 ] || fail "cp932: more than one txt list"
grep -q "$(printf 'ファイル名: 日本.1' | sjis)" out.txt || fail "cp932: no Shift_JIS line on the console"
grep -qx $'dirsort: s: 1 names the code page cannot hold left out of the lists\r' err.txt ||
  fail "cp932: $(cat err.txt)"
grep -q 'dirsort: s_txt_list.txt: also holds the .TXT files' err.txt || fail "cp932: $(cat err.txt)"
japanese wine "$windows/slicejpeg.exe" s_list.txt >/dev/null 2>err.txt ||
  fail "cp932: slicejpeg.exe cannot read the Shift_JIS list: $(cat err.txt)"
[ -f s/s001.jpg ] || [ -f s/s1.jpg ] || fail "cp932: no JPEG from the Shift_JIS list: $(ls s)"
echo "cp932: checked"

# The viewer: its Win32 windows under Xvfb, driven as a user would.
cd "$work/phantom/win" || exit 1
tvh_start_viewer wine "$windows/triview.exe" sample_jpg_list.txt
if tvh_wait_for 60 tvh_windows_shown && tvh_viewer_running; then
  window=$(xdotool search --name '^x-y$' | head -n 1)
  xdotool key --window "$window" u 2>/dev/null
  sleep 0.5
  xdotool key --window "$window" s 2>/dev/null
  tvh_wait_for 10 test -f isl_0007.jpg || fail "triview.exe: s saved no isl_0007.jpg"
  # The trackbar sits above the 256-row image: a click 50 rows into the
  # image moves x-z to row 50 and y-z to column 100; f then moves x-z one down.
  bar=$(($(tvh_window_height x-y) - 256))
  xdotool mousemove --window "$window" 100 $((bar + 50)) click 1 2>/dev/null
  sleep 0.5
  for key in s f s; do xdotool key --window "$window" "$key" 2>/dev/null; sleep 0.5; done
  tvh_wait_for 10 test -f y_0051.jpg || fail "triview.exe: after a click and f, no y_0051.jpg"
  xdotool key --window "$window" Escape 2>/dev/null
  tvh_wait_for 20 tvh_viewer_stopped || fail "triview.exe did not end on ESC"
  wait "$TVH_VIEWER_PID"
  status=$?
  [ "$status" = 0 ] || fail "triview.exe ended with $status"
  [ "$(grep '^last_id:' "$TVH_TMP/out" | tr -d '\r' | tr '\n' ' ')" = \
    "last_id:3 isl_0007.jpg last_id:2 x_0100.jpg last_id:1 y_0051.jpg " ] ||
    fail "triview.exe: $(cat "$TVH_TMP/out")"
else
  fail "triview.exe showed no windows: $(cat "$TVH_TMP/err")"
fi
echo "$failures failures"
[ $failures -eq 0 ]
