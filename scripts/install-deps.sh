#!/usr/bin/env bash
# Installs the Debian packages Velmar needs to build and test, only those missing.
# Safe to run again; runs apt as root, through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config   # compiler and build
  ccache                                         # one compiler cache for every build folder
  libgtest-dev libgmock-dev libbenchmark-dev     # tests and benchmarks
  libcurl4-openssl-dev                           # HTTP transport to the update server
  libsqlite3-dev                                 # the update history (SQLite's C API)
  libzip-dev zip unzip                           # zip packages held in memory; real zip tools in tests
  nlohmann-json3-dev                             # JSON profiles, catalogues and state files of the tools
  libcpp-httplib-dev libssl-dev zlib1g-dev       # the local update server; libcrypto's SHA-256
  libmodbus-dev mbpoll                           # independent Modbus peers, tests only
  tinyproxy                                      # independent HTTP proxy, tests only
  clang libclang-rt-14-dev                       # fuzz targets and sanitizer runtimes
  qt6-base-dev libgl-dev                         # the desktop program (Qt 6 Widgets)
  qt6-qpa-plugins                                # Qt's platform plugins (offscreen in tests, xcb on a desktop)
  xvfb xauth fonts-dejavu-core                   # a virtual X display for the screenshots
  desktop-file-utils                             # checks the installed desktop entry, tests only
  libudev-dev                                    # hotplug: serial ports appearing and going
  dpkg-dev file lintian                          # the Debian package: shlibdeps, and its checker
  fonts-ipafont-gothic                           # Japanese texts in tests and screenshots
  g++-mingw-w64-x86-64-posix mingw-w64-tools     # the Windows cross-build (C++20 with std::thread)
  libz-mingw-w64-dev                             # zlib for Windows
  wine64 wine                                    # runs the Windows programs in tests
  tcl                                            # SQLite's amalgamation for Windows is made with tclsh
  nsis                                           # the Windows installer (makensis)
)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

# The Windows libraries are built from Debian's source packages, which need a deb-src entry.
# One is added beside the existing deb entries when the apt sources have none.
have_deb_src() {
  grep -qsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
    /etc/apt/sources.list.d/*.list
}
added_deb_src=0
if ! have_deb_src; then
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -n '/^Types:.*\bdeb\b/,/^$/p' "$f" | sed 's/^Types:.*/Types: deb-src/' |
      "${as_root[@]}" tee -a /etc/apt/sources.list.d/velmar-deb-src.sources >/dev/null
    echo | "${as_root[@]}" tee -a /etc/apt/sources.list.d/velmar-deb-src.sources >/dev/null
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      "${as_root[@]}" tee -a /etc/apt/sources.list.d/velmar-deb-src.list >/dev/null || true
  fi
  added_deb_src=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  [ "$added_deb_src" -eq 0 ] || "${as_root[@]}" apt-get update -qq
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
