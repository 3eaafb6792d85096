#!/usr/bin/env bash
# Runs a cross-built Windows program under wine for CTest and GoogleTest's
# test discovery: the DLLs come from mingw-w64 and the libraries' cache, the
# wine prefix from the build folder, and wine's own chatter is kept quiet.
#   wine-run.sh DEPS_DIR WINE_PREFIX PROGRAM.exe [ARGUMENTS...]
set -euo pipefail
deps=$1 prefix=$2
shift 2
gcc_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:$gcc_runtime;Z:/usr/x86_64-w64-mingw32/lib;Z:$deps/bin"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# wine maps file names through the Unix locale's encoding, and under "C" it
# cannot name a file "日.1" at all: the tests run in one UTF-8 locale.
export LC_ALL=C.UTF-8
# Unit tests open no window; without a display wine starts no desktop for them.
unset DISPLAY
mkdir -p "$prefix"
# The first run makes the prefix, and only one does: a test whose wine makes
# it on the way takes a minute and more to end, past discovery's timeout.
if [ ! -f "$prefix/system.reg" ]; then
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      wineboot --init >/dev/null 2>&1
      wineserver -w
    fi
  ) 9>"$prefix.lock"
fi
# A server that stays 30 s after its last client: one that ends as a parallel
# test starts resets that test's connection ("recvmsg: Connection reset by
# peer"). Where one runs already, this does nothing.
wineserver -p30 2>/dev/null || true
exec wine "$@"
