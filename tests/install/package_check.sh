#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it: it holds exactly
# what `cmake --install` installs, and its Depends name the libraries the
# binaries link.
#   package_check.sh BUILD_DIR CPACK
# Exits 77 (skipped) without dpkg-shlibdeps or file, which the package needs.
set -uo pipefail
build=$1
cpack=$2
for tool in dpkg-shlibdeps dpkg-deb file; do
  command -v "$tool" >/dev/null || { echo "$tool not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  echo "cpack failed" >&2
  exit 1
}
debs=("$work"/out/ctview_*_amd64.deb)
[ -f "${debs[0]}" ] || { echo "no ctview_*_amd64.deb in $(ls "$work/out")" >&2; exit 1; }
deb=${debs[0]}

failed=0
# The files the install rules give, under /usr as the package puts them.
cmake --install "$build" --prefix "$work/root/usr" >/dev/null || exit 1
(cd "$work/root" && find . -type f | sort) >"$work/installed"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/packaged"
if ! diff "$work/installed" "$work/packaged" >"$work/diff"; then
  echo "package and install tree differ (< installed, > packaged):" >&2
  cat "$work/diff" >&2
  failed=1
fi
for file in ./usr/bin/dirsort ./usr/bin/slicejpeg ./usr/bin/triview \
  ./usr/share/man/man1/dirsort.1.gz ./usr/share/man/man1/slicejpeg.1.gz \
  ./usr/share/man/man1/triview.1.gz ./usr/lib/ctview/ctview-decoder; do
  grep -qx "$file" "$work/packaged" || { echo "package lacks $file" >&2; failed=1; }
done
grep -q '^\./usr/lib/ctview/.*\.so$' "$work/packaged" || {
  echo "package lacks the imread module in /usr/lib/ctview" >&2
  failed=1
}

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The package names alone: "libc6 (>= 2.34), a | b" => libc6, a, b
depends_names=$(sed -E 's/ *\([^)]*\)//g; s/ *[,|] */\n/g' <<<"$depends")
for library in libc6 libstdc++6 libjpeg62-turbo libopencv-core406 libopencv-highgui406 \
  libopencv-imgcodecs406; do
  grep -qxF "$library" <<<"$depends_names" || {
    echo "Depends lacks $library" >&2
    failed=1
  }
done
# Debian's own checker, where it is installed: no error may remain.
if command -v lintian >/dev/null; then
  lintian_out=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges')
  [ -n "$lintian_out" ] && echo "$lintian_out"
  if grep -q '^E: ' <<<"$lintian_out"; then
    echo "lintian reports errors" >&2
    failed=1
  fi
  grep -qx './usr/share/doc/ctview/copyright' "$work/packaged" || { echo "package lacks its copyright file" >&2; failed=1; }
fi
exit $failed
