#!/usr/bin/env bash
# Builds the libraries the Windows programs link, for x86_64-w64-mingw32, into $1/deps:
#   libzip  from Debian's source package, static, zlib only, Windows' own crypto;
#   SQLite  the amalgamation made from Debian's source package, as a static library;
#   GoogleTest from the sources libgtest-dev installs under /usr/src/googletest.
# A stamp of the versions and of this script makes a second run cost nothing.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$root/build-win64}")"
prefix="$build/deps"
work="$build/deps-src"
toolchain="$root/cmake/mingw-w64.cmake"
jobs="${JOBS:-$(nproc)}"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

version_of() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo none; }
stamp="libzip=$(apt-cache showsrc libzip 2>/dev/null | sed -n 's/^Version: //p' | head -1)
sqlite3=$(apt-cache showsrc sqlite3 2>/dev/null | sed -n 's/^Version: //p' | head -1)
googletest=$(version_of libgtest-dev)
json=$(version_of nlohmann-json3-dev)
mingw=$(version_of g++-mingw-w64-x86-64-posix)
script=$(sha256sum "$0" "$toolchain" | cut -c1-16 | tr '\n' ' ')"

if [ -f "$prefix/.stamp" ] && [ "$(cat "$prefix/.stamp")" = "$stamp" ]; then
  echo "build-windows-deps: up to date in $prefix"
  exit 0
fi

rm -rf "$prefix" "$work"
mkdir -p "$prefix" "$work"
cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix"
       -DVELMAR_WINDOWS_DEPS="$prefix")

# Debian's sources, unpacked with their patches applied. apt runs the download as _apt when it
# can; the folder must let it write.
chmod 0777 "$work"
(cd "$work" && apt-get source -qq libzip sqlite3 >/dev/null 2>&1) || {
  echo "build-windows-deps: apt-get source failed; is there a deb-src entry? (scripts/install-deps.sh adds one)" >&2
  exit 1
}

echo "build-windows-deps: libzip"
libzip_src="$(find "$work" -maxdepth 1 -type d -name 'libzip-*' | head -1)"
cmake -S "$libzip_src" -B "$work/libzip-build" "${generator[@]}" "${cross[@]}" -Wno-dev \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
  -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
  -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF >/dev/null
cmake --build "$work/libzip-build" -j "$jobs" >/dev/null
cmake --install "$work/libzip-build" >/dev/null

echo "build-windows-deps: SQLite"
sqlite_src="$(find "$work" -maxdepth 1 -type d -name 'sqlite3-*' | head -1)"
mkdir -p "$work/sqlite-build"
(cd "$work/sqlite-build" && "$sqlite_src/configure" --with-tcl=/usr/lib/tcl8.6 >/dev/null 2>&1 &&
   make -j "$jobs" sqlite3.c >/dev/null 2>&1)
x86_64-w64-mingw32-gcc-posix -O2 -c "$work/sqlite-build/sqlite3.c" -o "$work/sqlite-build/sqlite3.o" \
  -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION
mkdir -p "$prefix/include" "$prefix/lib"
x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$work/sqlite-build/sqlite3.o"
cp "$work/sqlite-build/sqlite3.h" "$work/sqlite-build/sqlite3ext.h" "$prefix/include/"

echo "build-windows-deps: GoogleTest"
cmake -S /usr/src/googletest -B "$work/googletest-build" "${generator[@]}" "${cross[@]}" \
  -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$work/googletest-build" -j "$jobs" >/dev/null
cmake --install "$work/googletest-build" >/dev/null

echo "build-windows-deps: nlohmann-json (header-only)"
cp -r /usr/include/nlohmann "$prefix/include/"

rm -rf "$work"
printf '%s' "$stamp" > "$prefix/.stamp"
echo "build-windows-deps: built into $prefix"
