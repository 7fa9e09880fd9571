# A thin layer over the setup script, CMake and CTest.
#   make        set up (first time) and build both Windows builds:
#               build/win32/Kestrana.exe (the product) and build/win64/Kestrana.exe
#   make run    build the program alone and run it under Wine
#   make test   build and run every test: host, the program files, win32 and
#               end-to-end on each build the machine can run, the release
#               templates, replay the fuzz corpora, and lint
# For developers:
#   make fuzz                fuzz each target for FUZZ_SECONDS seconds (default 60)
#   make lint                static analysis of the program's sources (clang-tidy)
#   make bench               time Kestrana.exe against hand-written programs
#   make dist                build/dist/Kestrana-<version>.zip from both builds; with
#                            SIGN_PKCS12=FILE SIGN_PASSWORD_FILE=FILE [SIGN_TIMESTAMP_URL=URL]
#                            the programs in it are signed
#   make check-reproducible  the release built twice from clean clones, compared byte for byte
#   make screenshots         the three windows under Xvfb, into docs/
#   make test-debian         make run and make test in a fresh root of the other Debian release
#                            (DEBIAN=12 or 13), as a newcomer there; needs root
#   make test-no-32bit       make run and make test as on a machine whose kernel runs no
#                            32-bit code; needs root
JOBS ?= $(shell nproc)
# The Windows builds, one folder each under build/, and their toolchains.
ARCHS := win32 win64
TOOLCHAIN_win32 := cmake/i686-w64-mingw32.cmake
TOOLCHAIN_win64 := cmake/x86_64-w64-mingw32.cmake
# The product's build, whose compile commands the static analysis reads
# (the sources are the same in both).
LINT_ARCH := win32
HOST_DIR := build/host
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
# The release make test-debian runs in; by default the other of the two
# the tree is built on.
DEBIAN ?=
# $(call build-targets,TARGET...): those targets in every Windows build.
build-targets = for arch in $(ARCHS); do cmake --build build/$$arch --target $(1) -j$(JOBS) || exit 1; done

.PHONY: all setup windows $(ARCHS) $(ARCHS:%=%-config) exe host fuzz-build fuzz run test lint bench dist \
	check-reproducible screenshots test-debian test-no-32bit clean

all: windows

# The set-up names the command to run again when the archive fails it.
setup:
	@KESTRANA_COMMAND='$(strip make $(MAKECMDGOALS))' bash scripts/setup.sh

$(ARCHS:%=%-config): %-config: setup
	@test -f build/$*/CMakeCache.txt || cmake -S . -B build/$* -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN_$*)

$(ARCHS): %: %-config
	@cmake --build build/$* -j$(JOBS)

windows: $(ARCHS)

# The program alone, without the test programs.
exe: $(ARCHS:%=%-config)
	@$(call build-targets,Kestrana)

host: setup
	@test -f $(HOST_DIR)/CMakeCache.txt || cmake -S . -B $(HOST_DIR)
	@cmake --build $(HOST_DIR) -j$(JOBS)

# The fuzz targets need clang, so they are a build of their own.
fuzz-build: setup
	@test -f $(FUZZ_DIR)/CMakeCache.txt || cmake -S tests/fuzz -B $(FUZZ_DIR) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	@cmake --build $(FUZZ_DIR) -j$(JOBS)

fuzz: fuzz-build
	@bash tests/fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

run: exe
	@bash scripts/run.sh

test: windows host fuzz-build
	@bash scripts/lint.sh build/$(LINT_ARCH)
	@ctest --test-dir $(HOST_DIR) --output-on-failure
	@ctest --test-dir $(FUZZ_DIR) --output-on-failure
	@bash scripts/test-windows.sh $(ARCHS)

lint: exe
	@bash scripts/lint.sh build/$(LINT_ARCH)

bench: windows
	@$(call build-targets,bench_programs)
	@bash scripts/bench.sh $(ARCHS)

dist: exe
	@python3 scripts/make-dist.py

check-reproducible: setup
	@bash scripts/check-reproducible.sh

screenshots: $(ARCHS:%=%-config)
	@$(call build-targets,Kestrana kestrana_e2e)
	@bash scripts/screenshots.sh

test-debian: setup
	@bash scripts/test-debian.sh $(DEBIAN)

test-no-32bit: setup
	@bash scripts/test-no-32bit.sh

clean:
	rm -rf $(ARCHS:%=build/%) $(HOST_DIR) $(FUZZ_DIR) build/wine build/screenshots build/dist build/repro
