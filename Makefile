# Two commands for a fresh Debian machine:
#   make run    set up, build, and start the viewer
#   make test   set up, build, and run every test
# The rest are for developers: asan, tsan, mingw, conformance-wine, format.

.PHONY: all deps build test run asan tsan mingw conformance-wine format clean

all: build

deps:
	@bash scripts/install-deps

build/linux/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset linux >/dev/null

build: deps build/linux/build.ninja
	cmake --build --preset linux

test: build
	ctest --preset linux
	@bash scripts/show-skips build/linux

run: build
	@scripts/run-viewer

asan: deps
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan
	ctest --preset linux-asan

tsan: deps
	cmake --preset linux-tsan >/dev/null
	cmake --build --preset linux-tsan
	ctest --preset linux-tsan

mingw: deps
	cmake --preset mingw-i686 >/dev/null
	cmake --build --preset mingw-i686

# The platform conformance tests built for 64-bit Windows and run under wine64, to check that each test pins
# a behaviour real Win32 has. Not part of CI.
# Debian installs the wine64 loader outside PATH, so look for it where the package puts it.
WINE64_FOUND = command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ]
APT_AS_ROOT = $(if $(filter 0,$(shell id -u)),,sudo)
conformance-wine: deps
	@$(WINE64_FOUND) || { echo "conformance-wine: installing wine64"; \
	  DEBIAN_FRONTEND=noninteractive $(APT_AS_ROOT) apt-get install -y -qq wine64 >/dev/null || \
	  { $(APT_AS_ROOT) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(APT_AS_ROOT) apt-get install -y -qq wine64 >/dev/null; }; }
	cmake --preset mingw-x86_64 >/dev/null
	cmake --build --preset mingw-x86_64
	bash scripts/run-conformance-wine build/mingw-x86_64

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
