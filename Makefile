# A thin layer over the setup script, CMake and CTest.
#   make        set up (first time) and build build/win32/Kestrana.exe
#   make run    build and run the program under Wine
#   make test   build and run every test: host, win32 and end-to-end
# and, for developers, the release targets at the end of this file.
JOBS ?= $(shell nproc)
WIN32_DIR := build/win32
HOST_DIR := build/host

.PHONY: all setup win32-config win32 exe host run test clean

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

run: exe
	@bash scripts/run.sh

test: win32 host
	@ctest --test-dir $(HOST_DIR) --output-on-failure
	@bash scripts/wine-session.sh ctest --test-dir $(WIN32_DIR) --output-on-failure

clean:
	rm -rf $(WIN32_DIR) $(HOST_DIR) build/wine build/screenshots build/dist build/repro

# The release (README, "The release").
#   make dist                build/dist/Kestrana-<version>.zip from build/win32/Kestrana.exe
#   make check-reproducible  the release built twice from clean clones, compared byte for byte
#   make screenshots         the three windows under Xvfb, into docs/
.PHONY: dist check-reproducible screenshots

dist: exe
	@python3 scripts/make-dist.py

check-reproducible: setup
	@bash scripts/check-reproducible.sh

screenshots: win32-config
	@cmake --build $(WIN32_DIR) --target Kestrana kestrana_e2e -j$(JOBS)
	@bash scripts/screenshots.sh
