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

# Under wine64: the platform conformance tests built for 64-bit Windows, to check that each test pins a behaviour
# real Win32 has; then the programs themselves built for 64-bit Windows, their imports checked, and the tests
# labelled "wine" that run them under Wine beside the same programs on the platform. A virtual display each,
# for the windows.
conformance-wine: build
	@bash scripts/install-deps wine
	cmake --preset mingw-x86_64 >/dev/null
	cmake --build --preset mingw-x86_64
	xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/run-conformance-wine build/mingw-x86_64
	cmake --preset mingw-x86_64-programs >/dev/null
	cmake --build --preset mingw-x86_64-programs
	@if [ -x scripts/check-imports ]; then scripts/check-imports build/mingw-x86_64-programs; fi
	ctest --preset linux -L wine

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
