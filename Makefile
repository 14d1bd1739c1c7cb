# Vantrel: `make run` plays the show, `make test` runs every test.
# Both install what is missing first (Debian 12, as root).

BUILD      ?= build/release
TESTBUILD  ?= build/asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

# The leak checker's tracer reads the thread-local blocks of libraries loaded at run time (the
# picture library's); intercepting their look-ups left it a stale entry that crashed it at exit.
export ASAN_OPTIONS  = detect_leaks=1:abort_on_error=0:halt_on_error=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS = halt_on_error=1:print_stacktrace=1

.PHONY: all setup build run test test-build test-profiled bench soak tsan fuzz format clean install package windows test-windows

all: build

setup:
	bash scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The show full screen on the current display (any key ends it); without a display, 20 s on a
# private X server with screenshots under build/run/. Builds only what it runs: the show, its
# package and the desktop helper.
run: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target vantrel xdesk content > $(BUILD)/make-run.log 2>&1 || \
		{ cat $(BUILD)/make-run.log; exit 1; }
	@bash scripts/run.sh $(BUILD)

test-build: setup
	cmake -S . -B $(TESTBUILD) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON
	cmake --build $(TESTBUILD) -j $(JOBS)

# Tests without a display run as they are; tests labelled `display` get a private Xvfb.
test: test-build
	cd $(TESTBUILD) && ctest --output-on-failure -LE display
	@if cd $(TESTBUILD) && ctest -N -L display | grep -q 'Total Tests: [1-9]'; then \
		xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --output-on-failure -L display; \
	fi
	@$(MAKE) --no-print-directory test-profiled

# The reduction as optimised builds compile it, with its training profile, must reduce every
# mesh to the same result as the plain build above.
PROFILEDBUILD ?= build/profiled
test-profiled: setup
	cmake -S . -B $(PROFILEDBUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(PROFILEDBUILD) -j $(JOBS) --target test_geometry
	cd $(PROFILEDBUILD) && ctest --output-on-failure -R '^MeshReduce'

# The micro-benchmarks, then the whole show against its peers (frame rate, CPU, start-up).
bench: setup
	bash scripts/setup.sh bench
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVANTREL_BENCH=ON -DVANTREL_TESTS=OFF
	cmake --build build/bench -j $(JOBS)
	@for b in build/bench/bench/bench_*; do [ -x "$$b" ] && "$$b"; done; true
	bash bench/show_bench.sh build/bench

# 24 hours of show time on the virtual clock in a small window; memory, textures and open files
# must stay flat. `make test` runs the same for ten minutes of show time.
soak: test-build
	cd $(TESTBUILD) && VANTREL_SOAK_SECONDS=86400 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
		tests/test_shell_display --gtest_filter='ShowSoak.*'

# The tests that start and stop the render loop, and the close tests end to end, under
# ThreadSanitizer.
TSANBUILD ?= build/tsan
tsan: setup
	cmake -S . -B $(TSANBUILD) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_TSAN=ON
	cmake --build $(TSANBUILD) -j $(JOBS) --target test_base test_shell_display vantrel xdesk
	cd $(TSANBUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/support/tsan.supp \
		tests/test_base --gtest_filter='*Loop*'
	cd $(TSANBUILD) && VANTREL_RACE_COUNT=1000 TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/support/tsan.supp xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
		tests/test_shell_display --gtest_filter='*Loop*:SceneDisplay.*-SceneDisplay.FramesAfterTheFirstDoNotAllocate'
	TSAN_OPTIONS=halt_on_error=1:exitcode=66:suppressions=$(CURDIR)/tests/support/tsan.supp bash tests/shell/saver_e2e.sh $(TSANBUILD)/vantrel $(TSANBUILD)/xdesk

# Fuzzes the loaders of outside data for FUZZ_SECONDS, seeded with the OBJ/MTL test files.
# Needs clang with its fuzzer runtime (Debian: clang, libclang-rt-dev); not part of `make test`.
FUZZ_SECONDS ?= 300
TESTDATA     ?= ../shared/testdata
fuzz: setup
	@command -v clang++ >/dev/null || { echo "make fuzz needs clang++ (apt-get install clang libclang-rt-dev)"; exit 1; }
	cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DVANTREL_FUZZ=ON -DVANTREL_TESTS=OFF
	cmake --build build/fuzz -j $(JOBS) --target load_fuzz
	mkdir -p build/fuzz/corpus build/fuzz/crashes
	@for f in $(TESTDATA)/obj-*/*.obj; do [ -f "$$f" ] && { printf '\002'; head -c 20000 "$$f"; } > "build/fuzz/corpus/obj-$$(basename "$$f")"; done; true
	@for f in $(TESTDATA)/obj-*/*.mtl; do [ -f "$$f" ] && { printf '\003'; cat "$$f"; } > "build/fuzz/corpus/mtl-$$(basename "$$f")"; done; true
	build/fuzz/load_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=20000 -timeout=10 \
		-artifact_prefix=build/fuzz/crashes/ build/fuzz/corpus

# Installs into PREFIX (default /usr/local), under DESTDIR when set.
PREFIX ?= /usr/local
install: setup
	cmake -S . -B build/install -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build build/install -j $(JOBS)
	DESTDIR=$(DESTDIR) cmake --install build/install

# A Debian package of the show and its tools, installed under /usr: build/package/vantrel_*.deb.
package: setup
	cmake -S . -B build/package -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build/package -j $(JOBS)
	cd build/package && cpack
	@ls build/package/vantrel_*.deb

# The Windows build: the 32-bit product in build/windows (vantrel.scr, fxpack.exe and vantrel.dat
# beside them). The package is drawn by a Linux build (HOSTBUILD), which also lends the tests xdesk.
WINBUILD   ?= build/windows
WIN64BUILD ?= build/windows64
HOSTBUILD  ?= $(BUILD)
WINE_ENV    = WINEPREFIX=$(abspath $(WIN64BUILD))/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
windows: setup
	bash scripts/setup.sh windows
	@test -f $(HOSTBUILD)/CMakeCache.txt || cmake -S . -B $(HOSTBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF
	cmake --build $(HOSTBUILD) -j $(JOBS) --target content xdesk
	cmake -S . -B $(WINBUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DCMAKE_BUILD_TYPE=Release \
		-DVANTREL_TESTS=OFF -DVANTREL_HOST_CONTENT=$(abspath $(HOSTBUILD))/vantrel.dat
	cmake --build $(WINBUILD) -j $(JOBS)

# The Windows tests: the 32-bit product as it ships, then a 64-bit build of the same sources under
# 64-bit Wine on a private X server (unit tests, then the screen saver end to end). 32-bit Wine
# needs a machine that runs 32-bit Linux programs, which ours may not.
# The screen is larger than the tests' largest window (1024 x 768) with its frame.
test-windows: windows
	cmake -S . -B $(WIN64BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
		-DVANTREL_TESTS=ON -DVANTREL_HOST_CONTENT=$(abspath $(HOSTBUILD))/vantrel.dat
	cmake --build $(WIN64BUILD) -j $(JOBS)
	bash tests/packaging/windows_product_test.sh $(WINBUILD)
	$(WINE_ENV) xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c \
		'wineboot -i >/dev/null 2>&1; bash tests/windows/run_unit_tests.sh $(WIN64BUILD); rc=$$?; wineserver -k; exit $$rc'
	bash tests/shell/saver_wine_e2e.sh $(WIN64BUILD)/vantrel.scr $(WIN64BUILD)/tests/preview_parent_w32.exe \
		$(HOSTBUILD)/xdesk

format: setup
	find src tests tools bench \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 -r clang-format -i

clean:
	rm -rf build
