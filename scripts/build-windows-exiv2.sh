#!/usr/bin/env bash
# Builds the photo metadata library (exiv2, with expat for XMP and Debian's MinGW zlib) for the
# Windows cross build, from Debian's own source packages: the same release the Linux build uses,
# with Debian's patches. The sources are checked against the hashes Debian publishes for bookworm.
# Static libraries land in build/windows-deps/prefix; a second run with them in place does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
ROOT="$PWD/build/windows-deps"
PREFIX="$ROOT/prefix"
STAMP="$PREFIX/.exiv2-0.27.6-1"
[ -f "$STAMP" ] && exit 0

POOL=${DEBIAN_POOL:-http://deb.debian.org/debian/pool/main}
SOURCES=(
  "e/exiv2/exiv2_0.27.6.orig.tar.gz f16ee5ff08b6994c66106109417857f13e711fca100ac43c6a403d4f02b59602"
  "e/exiv2/exiv2_0.27.6-1.debian.tar.xz abc4aa851abd1fd5ae9f28076ac42388190a99e5ae04c9615fed4ea789b55ebf"
  "e/expat/expat_2.5.0.orig.tar.gz ab00ee05c7067fd10a35c5d2a4922ebba746ddd50ff83b79c828da17bbdf1757"
  "e/expat/expat_2.5.0-1+deb12u2.debian.tar.xz 7e29f5db5067e55193540089ed0f3ec9676704cf79dcea81a9bfb9f49435ae53"
)
mkdir -p "$ROOT/src"
for entry in "${SOURCES[@]}"; do
  read -r path sum <<<"$entry"
  file="$ROOT/src/$(basename "$path")"
  if ! echo "$sum  $file" | sha256sum -c --status 2>/dev/null; then
    curl -sSf --retry 3 -o "$file.part" "$POOL/$path"
    mv "$file.part" "$file"
    echo "$sum  $file" | sha256sum -c --quiet
  fi
done

# Unpacks a source package afresh and applies Debian's patches in their order.
unpack() {
  local orig=$1 debian=$2 dir=$3
  rm -rf "$ROOT/src/$dir"
  tar xf "$ROOT/src/$orig" -C "$ROOT/src"
  tar xf "$ROOT/src/$debian" -C "$ROOT/src/$dir"
  local p
  while read -r p; do
    [ -n "$p" ] && [ "${p#\#}" = "$p" ] && patch -d "$ROOT/src/$dir" -p1 -s <"$ROOT/src/$dir/debian/patches/$p"
  done <"$ROOT/src/$dir/debian/patches/series"
}
unpack expat_2.5.0.orig.tar.gz expat_2.5.0-1+deb12u2.debian.tar.xz libexpat-R_2_5_0
# Debian builds expat with autotools, whose XML_DTD is 1, and a backported fix tests for that value;
# the CMake template defines it empty.
sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$ROOT/src/libexpat-R_2_5_0/expat/expat_config.h.cmake"
unpack exiv2_0.27.6.orig.tar.gz exiv2_0.27.6-1.debian.tar.xz exiv2-0.27.6

# The program's own toolchain defines UNICODE for the whole build; the libraries are built as their
# authors build them, narrow.
TOOLCHAIN="$ROOT/toolchain.cmake"
cat >"$TOOLCHAIN" <<'END'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
END
common=(-DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX"
        -DCMAKE_FIND_ROOT_PATH="/usr/x86_64-w64-mingw32;$PREFIX" -DBUILD_SHARED_LIBS=OFF)

cmake -S "$ROOT/src/libexpat-R_2_5_0/expat" -B "$ROOT/expat" "${common[@]}" -DEXPAT_SHARED_LIBS=OFF \
  -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF \
  -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
cmake --build "$ROOT/expat" -j "$JOBS" --target install >/dev/null

cmake -S "$ROOT/src/exiv2-0.27.6" -B "$ROOT/exiv2" "${common[@]}" -DEXIV2_ENABLE_XMP=ON \
  -DEXIV2_ENABLE_PNG=ON -DEXIV2_ENABLE_NLS=OFF -DEXIV2_ENABLE_WEBREADY=OFF -DEXIV2_ENABLE_CURL=OFF \
  -DEXIV2_ENABLE_PRINTUCS2=OFF -DEXIV2_ENABLE_LENSDATA=ON -DEXIV2_ENABLE_BMFF=OFF \
  -DEXIV2_BUILD_SAMPLES=OFF -DEXIV2_BUILD_EXIV2_COMMAND=OFF -DEXIV2_BUILD_UNIT_TESTS=OFF \
  -DEXIV2_BUILD_DOC=OFF -DEXIV2_ENABLE_DYNAMIC_RUNTIME=OFF -DEXIV2_TEAM_WARNINGS_AS_ERRORS=OFF \
  -DEXPAT_INCLUDE_DIR="$PREFIX/include" -DEXPAT_LIBRARY="$PREFIX/lib/libexpat.a" >/dev/null
cmake --build "$ROOT/exiv2" -j "$JOBS" --target install >/dev/null
touch "$STAMP"
