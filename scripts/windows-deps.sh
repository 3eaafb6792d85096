#!/usr/bin/env bash
# Cross-builds, from Debian's own source packages, the libraries the Windows
# programs need (libjpeg-turbo, OpenCV with only core, imgproc, imgcodecs
# with JPEG and highgui on Win32, GDCM, and GoogleTest for the unit tests)
# into a cache folder outside the clone, keyed by their versions, and reuses
# it when present. Prints the folder.
#   scripts/windows-deps.sh        (CTVIEW_DEPS_CACHE overrides ~/.cache/ctview-win64)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
log() { echo "windows-deps: $*" >&2; }

# The system's own Debian mirror: the URI of its first bookworm entry.
mirror() {
  local uri
  uri=$(awk '$1 == "deb" { i = 2; if ($i ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
               if ($(i + 1) == "bookworm") { print $i; exit } }' /etc/apt/sources.list 2>/dev/null)
  [ -n "$uri" ] || uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk -v RS= '/Types:[^\n]* deb([ \n]|$)/ && /Suites:[^\n]*bookworm[ \n]/ {
      if (match($0, /URIs: *[^ \n]+/)) { split(substr($0, RSTART, RLENGTH), f, / +/); print f[2]; exit } }')
  echo "${uri:-http://deb.debian.org/debian}"
}

ensure_sources() {
  # apt-get source needs a deb-src entry for the archive the system uses.
  if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\n' "$(mirror)" \
      >/etc/apt/sources.list.d/ctview-deb-src.sources
    apt-get update -qq
  fi
}

# The version built: the one these scripts were tried with while the archive
# has it, else the archive's newest (a point release replaces a version).
version_of() {  # version_of PACKAGE TRIED_VERSION
  local offered
  offered=$(apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p')
  if [ -z "$offered" ] || grep -qxF "$2" <<<"$offered"; then
    echo "$2"
    return
  fi
  local newest
  newest=$(sort -V <<<"$offered" | tail -n 1)
  log "$1 $2 is no longer in the archive: building $newest"
  echo "$newest"
}

ensure_sources
jpeg_version=$(version_of libjpeg-turbo 1:2.1.5-2)
opencv_version=$(version_of opencv 4.6.0+dfsg-12)
gdcm_version=$(version_of gdcm 3.0.21-1)
gtest_version=$(version_of googletest 1.12.1-0.2)
cache=${CTVIEW_DEPS_CACHE:-$HOME/.cache/ctview-win64}
prefix=$cache/jpeg-${jpeg_version#1:}_opencv-${opencv_version}_gdcm-${gdcm_version}_gtest-${gtest_version}
jobs=$(nproc)

if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

fetch() {  # fetch PACKAGE VERSION: unpacked source under $work, its folder printed
  (cd "$work" && apt-get source -qq --download-only "$1=$2" >/dev/null)
  local upstream=${2#*:}
  upstream=${upstream%-*}
  local tarball
  tarball=$(ls "$work/$1_${upstream}.orig.tar."* | head -n 1)
  mkdir -p "$work/$1"
  tar -xf "$tarball" -C "$work/$1" --strip-components=1
  echo "$work/$1"
}

cmake_build() {  # cmake_build SOURCE BUILD [CMAKE OPTIONS...]
  local source=$1 build=$2
  shift 2
  cmake -S "$source" -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" -DCTVIEW_WINDOWS_DEPS="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$build.log" 2>&1 ||
    { tail -n 30 "$build.log" >&2; return 1; }
  cmake --build "$build" -j"$jobs" >>"$build.log" 2>&1 || { tail -n 30 "$build.log" >&2; return 1; }
  cmake --install "$build" >>"$build.log" 2>&1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/ctview-win-deps.XXXXXX")
chmod 755 "$work"  # apt fetches as its own user
trap 'rm -rf "$work"' EXIT
mkdir -p "$prefix"
# Each library is marked done once installed, so a failed run resumes there.
done_already() { [ -f "$prefix/.done-$1" ]; }
mark_done() { touch "$prefix/.done-$1"; }

build_jpeg() {
  log "libjpeg-turbo $jpeg_version"
  local source
  source=$(fetch libjpeg-turbo "$jpeg_version")
  cmake_build "$source" "$work/jpeg-build" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_opencv() {
  log "OpenCV $opencv_version"
  local source
  source=$(fetch opencv "$opencv_version")
  local off=()
  for option in WITH_PNG WITH_TIFF WITH_WEBP WITH_OPENJPEG WITH_JASPER WITH_OPENEXR WITH_IMGCODEC_HDR \
    WITH_IMGCODEC_SUNRASTER WITH_IMGCODEC_PXM WITH_IMGCODEC_PFM WITH_GDAL WITH_GDCM WITH_FFMPEG \
    WITH_GSTREAMER WITH_DSHOW WITH_MSMF WITH_IPP WITH_OPENCL WITH_TBB WITH_OPENMP WITH_EIGEN WITH_LAPACK \
    WITH_PROTOBUF WITH_ADE WITH_QT WITH_GTK WITH_OPENGL WITH_VTK WITH_1394 WITH_QUIRC WITH_ITT \
    BUILD_TESTS BUILD_PERF_TESTS BUILD_EXAMPLES BUILD_opencv_apps BUILD_DOCS BUILD_JAVA \
    BUILD_opencv_python3 BUILD_opencv_python2 BUILD_ZLIB BUILD_JPEG BUILD_PNG BUILD_TIFF BUILD_WEBP \
    BUILD_OPENEXR BUILD_OPENJPEG BUILD_JASPER BUILD_PROTOBUF; do
    off+=("-D$option=OFF")
  done
  cmake_build "$source" "$work/opencv-build" -DBUILD_LIST=core,imgproc,imgcodecs,highgui \
    -DBUILD_SHARED_LIBS=ON -DWITH_WIN32UI=ON -DWITH_JPEG=ON -DOPENCV_GENERATE_PKGCONFIG=OFF \
    -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" \
    -DCV_TRACE=OFF -DINSTALL_CREATE_DISTRIB=OFF "${off[@]}"
}

build_gdcm() {
  log "GDCM $gdcm_version"
  local source
  source=$(fetch gdcm "$gdcm_version")
  # Its MR3 reader guards Windows code (no iconv, _aligned_malloc) with
  # _MSC_VER where mingw needs _WIN32; the one MSVC version test stays.
  sed -i -E 's/^#(ifn?def) _MSC_VER$/#\1 _WIN32/' "$source/Utilities/gdcmext/mec_mr3_io.c"
  cmake_build "$source" "$work/gdcm-build" -DGDCM_BUILD_SHARED_LIBS=OFF \
    -DGDCM_BUILD_APPLICATIONS=OFF -DGDCM_BUILD_TESTING=OFF -DGDCM_BUILD_EXAMPLES=OFF \
    -DGDCM_BUILD_DOCBOOK_MANPAGES=OFF -DGDCM_DOCUMENTATION=OFF -DGDCM_WRAP_PYTHON=OFF \
    -DGDCM_WRAP_CSHARP=OFF -DGDCM_WRAP_JAVA=OFF -DGDCM_USE_SYSTEM_ZLIB=ON -DGDCM_USE_SYSTEM_EXPAT=OFF \
    -DGDCM_USE_SYSTEM_OPENJPEG=OFF -DGDCM_USE_SYSTEM_CHARLS=OFF
}

build_gtest() {
  log "GoogleTest $gtest_version"
  local source
  source=$(fetch googletest "$gtest_version")
  cmake_build "$source" "$work/gtest-build" -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
}

for library in jpeg opencv gdcm gtest; do
  done_already "$library" || { "build_$library" && mark_done "$library"; }
done
touch "$prefix/.complete"
echo "$prefix"
