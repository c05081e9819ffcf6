# Thin wrapper over CMake and ctest. Every target installs what is missing first.
BUILD := build
JOBS  := $(shell nproc)

.PHONY: all deps configure build test demo bench screenshots clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@scripts/with-wine.sh ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --timeout 120

demo: build
	@scripts/with-wine.sh scripts/demo.sh

bench: build
	@scripts/with-wine.sh scripts/bench.sh

screenshots: build
	@scripts/with-wine.sh scripts/screenshots.sh

clean:
	@-[ -d $(BUILD)/wineprefix ] && WINEPREFIX=$(CURDIR)/$(BUILD)/wineprefix wineserver -k 2>/dev/null; true
	@rm -rf $(BUILD)
