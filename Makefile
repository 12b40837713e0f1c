# Thin wrapper over CMake. Each target first installs what is missing (Debian), then builds.
BUILD_DIR ?= build
export BUILD_DIR
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
JOBS ?= $(shell nproc)

.PHONY: all setup configure build installer run test bench clean

all: build

setup:
	@tools/setup-debian.sh

configure: setup
	cmake -S . -B $(BUILD_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# build/Parvalisk-<version>-setup.exe, with NSIS.
installer: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target installer

run: build
	tools/run-program.sh

test: build
	tools/run-tests.sh

bench: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target benches
	tools/run-benches.sh

clean:
	rm -rf $(BUILD_DIR)
