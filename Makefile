# A thin layer over the setup script, CMake and CTest.
#   make        set up (first time) and build build/win32/Kestrana.exe
#   make run    build the program alone and run it under Wine
#   make test   build and run every test: host, win32 and end-to-end, the
#               release templates, replay the fuzz corpora, and lint
# For developers:
#   make fuzz                fuzz each target for FUZZ_SECONDS seconds (default 60)
#   make lint                static analysis of the program's sources (clang-tidy)
#   make bench               time Kestrana.exe against hand-written programs
#   make dist                build/dist/Kestrana-<version>.zip from build/win32/Kestrana.exe
#   make check-reproducible  the release built twice from clean clones, compared byte for byte
#   make screenshots         the three windows under Xvfb, into docs/
JOBS ?= $(shell nproc)
WIN32_DIR := build/win32
HOST_DIR := build/host
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60

.PHONY: all setup win32-config win32 exe host fuzz-build fuzz run test lint bench dist check-reproducible \
	screenshots clean

all: win32

setup:
	@bash scripts/setup.sh

win32-config: setup
	@test -f $(WIN32_DIR)/CMakeCache.txt || cmake -S . -B $(WIN32_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake

win32: win32-config
	@cmake --build $(WIN32_DIR) -j$(JOBS)

# The program alone, without the test programs.
exe: win32-config
	@cmake --build $(WIN32_DIR) --target Kestrana -j$(JOBS)

host: setup
	@test -f $(HOST_DIR)/CMakeCache.txt || cmake -S . -B $(HOST_DIR)
	@cmake --build $(HOST_DIR) -j$(JOBS)

# The fuzz targets need clang, so they are a build of their own.
fuzz-build: setup
	@test -f $(FUZZ_DIR)/CMakeCache.txt || cmake -S tests/fuzz -B $(FUZZ_DIR) -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
	@cmake --build $(FUZZ_DIR) -j$(JOBS)

fuzz: fuzz-build
	@bash tests/fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

run: exe
	@bash scripts/run.sh

test: win32 host fuzz-build
	@bash scripts/lint.sh $(WIN32_DIR)
	@ctest --test-dir $(HOST_DIR) --output-on-failure
	@ctest --test-dir $(FUZZ_DIR) --output-on-failure
	@bash scripts/wine-session.sh ctest --test-dir $(WIN32_DIR) --output-on-failure

lint: exe
	@bash scripts/lint.sh $(WIN32_DIR)

bench: win32
	@cmake --build $(WIN32_DIR) --target bench_programs -j$(JOBS)
	@bash scripts/bench.sh

dist: exe
	@python3 scripts/make-dist.py

check-reproducible: setup
	@bash scripts/check-reproducible.sh

screenshots: win32-config
	@cmake --build $(WIN32_DIR) --target Kestrana kestrana_e2e -j$(JOBS)
	@bash scripts/screenshots.sh

clean:
	rm -rf $(WIN32_DIR) $(HOST_DIR) $(FUZZ_DIR) build/wine build/screenshots build/dist build/repro
