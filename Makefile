# A thin layer over the setup script, CMake and CTest.
#   make        set up (first time) and build build/win32/Kestrana.exe
#   make run    build and run the program under Wine
#   make test   build and run every test: host, win32 and end-to-end, and lint
#   make lint   static analysis of the program's sources (clang-tidy)
JOBS ?= $(shell nproc)
WIN32_DIR := build/win32
HOST_DIR := build/host

.PHONY: all setup win32 host run test lint clean

all: win32

setup:
	@bash scripts/setup.sh

win32: setup
	@test -f $(WIN32_DIR)/CMakeCache.txt || cmake -S . -B $(WIN32_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
	@cmake --build $(WIN32_DIR) -j$(JOBS)

host: setup
	@test -f $(HOST_DIR)/CMakeCache.txt || cmake -S . -B $(HOST_DIR)
	@cmake --build $(HOST_DIR) -j$(JOBS)

run: win32
	@bash scripts/run.sh

lint: win32
	@bash scripts/lint.sh $(WIN32_DIR)

test: win32 host
	@bash scripts/lint.sh $(WIN32_DIR)
	@ctest --test-dir $(HOST_DIR) --output-on-failure
	@bash scripts/wine-session.sh ctest --test-dir $(WIN32_DIR) --output-on-failure

clean:
	rm -rf $(WIN32_DIR) $(HOST_DIR) build/wine build/screenshots
