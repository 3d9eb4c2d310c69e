# Front door: `make` builds both trees, `make test` installs what is missing,
# builds and runs every test, `make demo` runs the launcher on the sample.
WIN32_DIR  := build/win32
NATIVE_DIR := build/native
export WINEPREFIX := $(CURDIR)/$(WIN32_DIR)/wineprefix
export WINEDEBUG := -all
export WINEDLLOVERRIDES := mscoree,mshtml=

.PHONY: all deps win32 native test demo bench clean

all: win32 native

deps:
	@scripts/install-deps.sh

$(WIN32_DIR)/build.ninja:
	cmake -S . -B $(WIN32_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake

$(NATIVE_DIR)/build.ninja:
	cmake -S . -B $(NATIVE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELM_SANITIZE=ON

win32: $(WIN32_DIR)/build.ninja
	cmake --build $(WIN32_DIR)

native: $(NATIVE_DIR)/build.ninja
	cmake --build $(NATIVE_DIR)

test: deps
	@$(MAKE) --no-print-directory all
	@scripts/run-tests.sh $(WIN32_DIR) $(NATIVE_DIR)

demo: deps
	@$(MAKE) --no-print-directory all
	@scripts/demo.sh

bench: deps
	@$(MAKE) --no-print-directory all
	cmake --build $(WIN32_DIR) --target bench

clean:
	rm -rf build
