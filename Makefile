# Vestrum: `make run` starts the program, `make test` runs every test headless.
BUILD_DIR ?= build
PROGRAM_DIR := $(BUILD_DIR)/vestrum
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test package bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

# Update keys given to make (`make package VESTRUM_UPDATE_PUBLIC_KEYS="RW...;RW..."`) go into the build's
# settings and stay there; without them the build keeps the keys it has.
configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then \
	  cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo; \
	fi
	@if [ -n "$(VESTRUM_UPDATE_PUBLIC_KEYS)" ]; then \
	  cmake -S . -B $(BUILD_DIR) -DVESTRUM_UPDATE_PUBLIC_KEYS="$(VESTRUM_UPDATE_PUBLIC_KEYS)"; \
	fi

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	@bash scripts/layout-program-folder.sh $(BUILD_DIR) $(PROGRAM_DIR)

run: build
	cd $(PROGRAM_DIR) && ./vestrum

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

# The Debian package build/vestrum_<wersja>_amd64.deb (cmake/Packaging.cmake).
package: build
	cd $(BUILD_DIR) && cpack -G DEB

bench: build
	cmake --build $(BUILD_DIR) --target benchmarks -j $(JOBS)
	@bash scripts/run-benchmarks.sh $(BUILD_DIR)

fuzz:
	@VESTRUM_FUZZ=1 bash scripts/install-deps.sh
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR)
