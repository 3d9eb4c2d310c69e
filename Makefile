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
PREFIX     ?= /usr/local
# Package times: the last commit's, so that the same sources give the same bytes.
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || echo 315532800)
export SOURCE_DATE_EPOCH

.PHONY: all deps build-deps ship win32 native plain kit kit-win32 test demo bench install package clean

all: win32 native kit kit-win32

deps:
	@scripts/install-deps.sh

# What building the shipped parts and the kit needs, no test tools.
build-deps:
	@scripts/install-deps.sh build

$(SHIP_DIR)/build.ninja:
	cmake -S . -B $(SHIP_DIR) -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DVELM_SHIP=ON \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686-win32.cmake

# Configured again when this file changes, so that an older tree learns of
# the shipped tree.
$(WIN32_DIR)/build.ninja: Makefile | $(SHIP_DIR)/build.ninja
	cmake -S . -B $(WIN32_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake -DVELM_SHIPPED_DIR=$(CURDIR)/$(SHIP_DIR)

$(NATIVE_DIR)/build.ninja:
	cmake -S . -B $(NATIVE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELM_SANITIZE=ON

$(KIT_DIR)/build.ninja: | $(SHIP_DIR)/build.ninja
	cmake -S . -B $(KIT_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELM_KIT=ON \
	  -DVELM_SHIPPED_DIR=$(CURDIR)/$(SHIP_DIR)

ship: $(SHIP_DIR)/build.ninja
	cmake --build $(SHIP_DIR)

win32: ship native $(WIN32_DIR)/build.ninja
	cmake --build $(WIN32_DIR)

native: $(NATIVE_DIR)/build.ninja
	cmake --build $(NATIVE_DIR)

$(PLAIN_DIR)/build.ninja:
	cmake -S . -B $(PLAIN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release

plain: $(PLAIN_DIR)/build.ninja
	cmake --build $(PLAIN_DIR)

kit: ship $(KIT_DIR)/build.ninja
	cmake --build $(KIT_DIR)

$(KIT_WIN32_DIR)/build.ninja: | $(SHIP_DIR)/build.ninja
	cmake -S . -B $(KIT_WIN32_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELM_KIT=ON \
	  -DVELM_SHIPPED_DIR=$(CURDIR)/$(SHIP_DIR) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686-win32.cmake

kit-win32: ship $(KIT_WIN32_DIR)/build.ninja
	cmake --build $(KIT_WIN32_DIR)

test: deps
	@$(MAKE) --no-print-directory all
	@$(MAKE) --no-print-directory plain
	@scripts/run-tests.sh $(WIN32_DIR) $(NATIVE_DIR) $(PLAIN_DIR)

demo: deps
	@$(MAKE) --no-print-directory all
	@scripts/demo.sh

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
