#!/usr/bin/env bash
# Makes build-windows/ctview-VERSION-win64.zip for Windows users: the three
# programs, the decoder helper and the viewer's image module, every DLL they
# need, the man pages as text and a short README. Cross-built with Debian's
# mingw-w64 against the libraries scripts/windows-deps.sh builds from
# Debian's sources (cached outside the clone, so later runs take minutes).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 libz-mingw-w64-dev nasm dpkg-dev xz-utils cmake make man-db

deps=$(bash scripts/windows-deps.sh)
version=$(sed -n 's/^project(ctview .*VERSION \([0-9.]*\)).*/\1/p' CMakeLists.txt)
build=build-windows
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
  -DCTVIEW_WINDOWS_DEPS="$deps" -DCMAKE_PREFIX_PATH="$deps" -DJPEG_INCLUDE_DIR="$deps/include" \
  -DJPEG_LIBRARY="$deps/lib/libjpeg.a" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCTVIEW_BENCH=OFF -DCTVIEW_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target dirsort slicejpeg triview dicom_decoder_helper

# The installed layout: programs and their DLLs in bin\, the helper and the
# module in lib\ctview\ (found from bin\ as on Linux), each with the DLLs it loads.
stage=$build/ctview-$version-win64
rm -rf "$stage"
mkdir -p "$stage/bin" "$stage/lib/ctview" "$stage/doc"
runtime=()
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do
  runtime+=("$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")")
done
runtime+=(/usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll /usr/x86_64-w64-mingw32/lib/zlib1.dll)
cp "$build"/bin/{dirsort,slicejpeg,triview}.exe "${runtime[@]}" "$deps"/bin/libopencv_*.dll "$stage/bin/"
cp "$build/lib/ctview-decoder.exe" "$build/lib/libtriview_imread_fallback.dll" "${runtime[@]}" \
  "$stage/lib/ctview/"
x86_64-w64-mingw32-strip "$stage"/bin/* "$stage"/lib/ctview/*
for page in dirsort slicejpeg triview; do
  MANWIDTH=80 man -l "man/$page.1" 2>/dev/null | col -b | sed 's/$/\r/' >"$stage/doc/$page.txt"
done
sed 's/$/\r/' packaging/README-windows.txt >"$stage/README.txt"
rm -f "$build/ctview-$version-win64.zip"
(cd "$build" && cmake -E tar cf "ctview-$version-win64.zip" --format=zip "ctview-$version-win64")
echo "$build/ctview-$version-win64.zip"
