# The front door: `make test` on a fresh machine installs what is missing, builds and runs every test.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: deps configure build test test-faults test-asan test-tsan bench demo demo-gui screenshots package clean

deps:
	./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 180 -LE faults

# The long rows of the fault matrix: a tool falling silent at each phase, replies lost on the wire.
test-faults: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 240 -L faults

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) --timeout 300

test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DVELMAR_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The main job on one machine: a virtual tool brought up to date from the local update server
# by velmar-cli (builds what it needs).
demo: configure
	BUILD=$(BUILD) ./scripts/demo.sh

# The desktop program against the same virtual tool and local server: watch it find the tool,
# answer its offer, see the update run. Needs a desktop session (DISPLAY or WAYLAND_DISPLAY).
demo-gui: configure
	BUILD=$(BUILD) ./scripts/demo.sh --gui

# The README's pictures of the desktop program, rendered on a virtual X display.
screenshots: configure
	cmake --build $(BUILD) -j $(JOBS) --target velmar-screenshots
	@for language in en de ja; do \
	  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
	    $(BUILD)/desktop/velmar-screenshots --language $$language docs/screenshots || exit 1; \
	done

# The Debian package (velmar_<version>_amd64.deb in the build folder), checked by lintian.
package: configure
	cmake --build $(BUILD) -j $(JOBS) --target velmar velmar-cli velmar-docs
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error $(BUILD)/velmar_*_amd64.deb

bench: build
	@for b in $(BUILD)/bench/*/velmar-bench-*; do [ -x "$$b" ] && "$$b"; done

# Fuzz targets (libFuzzer): a separate clang build with the sanitizers, every fuzz/<name> built
# as velmar-fuzz-<name> and run for FUZZ_TIME seconds on its seeds (fuzz/<name>/seeds).
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME  ?= 30
.PHONY: fuzz mutation
# Mutation testing (scripts/mutation.py): a seeded sample of MUTANTS faults per folder of src/,
# each rebuilt in a scratch copy and run against its subsystem's tests first. Long: only when asked.
MUTANTS ?= 15
SEED    ?= 1
mutation: build
	MUTANTS=$(MUTANTS) SEED=$(SEED) python3 scripts/mutation.py --jobs $(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVELMAR_SANITIZE=ON -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	@set -e; for dir in fuzz/*/; do \
	  name=$$(basename $$dir); [ -f $$dir/CMakeLists.txt ] || continue; \
	  cmake --build $(FUZZ_BUILD) -j $(JOBS) --target velmar-fuzz-$$name; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$name; \
	  seeds=""; [ -d $$dir/seeds ] && seeds=$$dir/seeds; \
	  $(FUZZ_BUILD)/fuzz/$$name/velmar-fuzz-$$name -max_total_time=$(FUZZ_TIME) \
	    $(FUZZ_BUILD)/corpus/$$name $$seeds; \
	done

# Windows, cross-built with mingw-w64: the libraries and velmar-cli.exe, static. The libraries
# they link are built from Debian's sources first (once; a stamp keeps them).
WIN_BUILD ?= build-win64
.PHONY: build-windows test-windows dist-windows screenshots-windows
$(WIN_BUILD)/CMakeCache.txt:
	./scripts/build-windows-deps.sh $(WIN_BUILD)
	cmake -S . -B $(WIN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DVELMAR_WINDOWS_DEPS=$(abspath $(WIN_BUILD))/deps \
	  -DVELMAR_LINUX_BUILD=$(abspath $(BUILD))

build-windows: deps
	./scripts/build-windows-deps.sh $(WIN_BUILD)
	$(MAKE) $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(JOBS)

# The portable suites under Wine, then velmar-cli.exe under Wine against the Linux virtual
# tool and local server (built in $(BUILD)).
test-windows: build-windows configure
	cmake --build $(BUILD) -j $(JOBS) --target velmar_wine_tests
	cmake --build $(WIN_BUILD) --target velmar-dist-windows
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

dist-windows: build-windows
	cmake --build $(WIN_BUILD) --target velmar-dist-windows

# The README's pictures of velmar.exe, rendered under Wine on a virtual X display against the
# virtual tool and the local server (the window's test driver takes them).
screenshots-windows: build-windows configure
	cmake --build $(BUILD) -j $(JOBS) --target velmar_wine_tests
	./scripts/wine-prefix.sh $(abspath $(WIN_BUILD))/wine
	# In Wine's own desktop for the pictures, so that Wine draws the title bars (Xvfb has no
	# window manager); the tests' prefix goes back to plain windows afterwards.
	$(WIN_BUILD)/wine-run reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
	$(WIN_BUILD)/wine-run reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 900x700 /f >/dev/null
	WINEPREFIX=$(abspath $(WIN_BUILD))/wine VELMAR_WINE_RUN=$(abspath $(WIN_BUILD))/wine-run \
	  VELMAR_CLI_WINDOWS=$(abspath $(WIN_BUILD))/cli/velmar-cli.exe \
	  VELMAR_WINDOW_EXE=$(abspath $(WIN_BUILD))/desktop-win32/velmar.exe \
	  VELMAR_PROBE_EXE=$(abspath $(WIN_BUILD))/tests/windows/velmar-probe.exe \
	  VELMAR_SCREENSHOTS=$(abspath docs/screenshots) LC_ALL=C.UTF-8 \
	  xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/tests/windows/velmar_wine_tests \
	  --gtest_filter=WineWindow.Screenshots; \
	  status=$$?; $(WIN_BUILD)/wine-run reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null; exit $$status

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WIN_BUILD)
