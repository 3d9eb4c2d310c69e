# Front door: `make` builds every tree, `make test` installs what is missing,
# builds and runs every test, `make demo` runs the launcher on the sample,
# `make install PREFIX=DIR` installs the publisher's kit, `make package`
# builds its Debian package and Windows zip in build/packages/.
WIN32_DIR  := build/win32
NATIVE_DIR := build/native
# The native tree again without sanitizers, so that what they would mask
# (their fixed fill of fresh memory, say) shows in the unit tests.
PLAIN_DIR  := build/native-plain
# The shipped stub and plug-in, built for size with the win32 thread model.
SHIP_DIR   := build/ship
# The kit: a Release fmix (no sanitizers), installed and packaged, and the
# same for Windows: a Release fmix.exe in a zip with the shipped parts.
KIT_DIR    := build/kit
KIT_WIN32_DIR := build/kit-win32
# The libFuzzer targets, built with clang (make deps installs it; without it
# `make` leaves them out and their test skips).
FUZZ_DIR   := build/fuzz
FUZZ_TREE  := $(if $(shell command -v clang++),fuzz)
PREFIX     ?= /usr/local
# Package times: the last commit's, so that the same sources give the same bytes.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || echo 315532800)
export SOURCE_DATE_EPOCH

.PHONY: all deps build-deps ship win32 native plain kit kit-win32 fuzz test demo bench install package clean

# Every tree, the test trees included, so that `make test` spends its time
# on the tests.
all: win32 native plain kit kit-win32 $(FUZZ_TREE)

deps:
	@scripts/install-deps.sh

# What building the shipped parts and the kit needs, no test tools.
build-deps:
	@scripts/install-deps.sh build

# Each tree is a preset of CMakePresets.json, configured the first time it is
# built, and again when the presets change.
build/%/build.ninja: CMakePresets.json
	cmake --preset $*

ship: $(SHIP_DIR)/build.ninja
	cmake --build $(SHIP_DIR)

win32: ship native $(WIN32_DIR)/build.ninja
	cmake --build $(WIN32_DIR)

native: $(NATIVE_DIR)/build.ninja
	cmake --build $(NATIVE_DIR)

plain: $(PLAIN_DIR)/build.ninja
	cmake --build $(PLAIN_DIR)

fuzz: $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR)

kit: ship $(KIT_DIR)/build.ninja
	cmake --build $(KIT_DIR)

kit-win32: ship $(KIT_WIN32_DIR)/build.ninja
	cmake --build $(KIT_WIN32_DIR)

test: deps
	@$(MAKE) --no-print-directory all
	@scripts/run-tests.sh $(WIN32_DIR) $(NATIVE_DIR) $(PLAIN_DIR)

demo: deps
	@$(MAKE) --no-print-directory all
	@scripts/demo.py

bench: deps
	@$(MAKE) --no-print-directory all
	cmake --build $(WIN32_DIR) --target bench

install: build-deps
	@$(MAKE) --no-print-directory kit
	cmake --install $(KIT_DIR) --prefix $(PREFIX) --strip

package: build-deps
	@$(MAKE) --no-print-directory kit kit-win32
	cd $(KIT_DIR) && cpack
	cd $(KIT_WIN32_DIR) && cpack

clean:
	rm -rf build
