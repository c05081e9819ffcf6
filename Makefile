# Thin wrapper over scripts/each-arch.sh, CMake and ctest. Every target
# installs what is missing first.
#
# ARCH=auto (the default) uses every build this machine can run: the i686
# tree in build/ where 32-bit programs start, and the x86-64 test tree in
# build/x64/. ARCH=i686 or ARCH=x64 uses one tree only. The product stub,
# build/zimbro-sfx.exe, is the i686 build on every machine.
ARCH ?= auto
export ARCH
# `make install PREFIX=...`: bin/zimbro-pack and share/zimbro-sfx/zimbro-sfx.exe.
PREFIX ?= /usr/local

.PHONY: all deps build test test-large demo bench fuzz screenshots install clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@scripts/each-arch.sh build

test: deps
	@scripts/each-arch.sh test

# The real sizes (a member of 5 GiB, 70,000 members), once: not part of test.
test-large: deps
	@scripts/each-arch.sh test-large

demo: deps
	@scripts/each-arch.sh demo

bench: deps
	@scripts/each-arch.sh bench

fuzz: deps
	@scripts/each-arch.sh fuzz

screenshots: deps
	@scripts/each-arch.sh screenshots

install: build
	@cmake --install build --prefix "$(PREFIX)"

clean:
	@-[ -d build/wineprefix ] && WINEPREFIX=$(CURDIR)/build/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null; true
	@-[ -d build/x64/wineprefix ] && WINEPREFIX=$(CURDIR)/build/x64/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null; true
	@rm -rf build
