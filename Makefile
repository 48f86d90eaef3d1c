# Two commands for a fresh Debian machine:
#   make run    set up, build, and start the viewer
#   make test   set up, build, and run every test
# The rest are for developers: asan, tsan, mingw, conformance-wine, deb, install, format.
# Each target first installs the Debian packages it needs, and only those (scripts/install-deps GROUP).

.PHONY: all build test-build test run asan tsan mingw conformance-wine deb install format clean

DEPS = bash scripts/install-deps
CACHE = build/linux/CMakeCache.txt

all: build

# make run builds without the tests, so that it needs none of their packages; make test turns them on in
# the same build tree, which keeps everything built so far.
build:
	@$(DEPS) run
	@[ -f $(CACHE) ] || cmake --preset linux -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
	cmake --build --preset linux

run: build
	@scripts/run-viewer

# The build with the tests and benchmarks, which make test and the Wine runs use.
test-build:
	@$(DEPS) test
	@grep -qx 'BUILD_TESTING:BOOL=ON' $(CACHE) 2>/dev/null || cmake --preset linux -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=ON >/dev/null
	cmake --build --preset linux

test: test-build
	ctest --preset linux
	@bash scripts/show-skips build/linux

asan:
	@$(DEPS) sanitizers
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan
	ctest --preset linux-asan

tsan:
	@$(DEPS) sanitizers
	cmake --preset linux-tsan >/dev/null
	cmake --build --preset linux-tsan
	ctest --preset linux-tsan

mingw:
	@$(DEPS) mingw
	cmake --preset mingw-i686 >/dev/null
	cmake --build --preset mingw-i686

# Under wine64: the platform conformance tests built for 64-bit Windows, to check that each test pins a behaviour
# real Win32 has; then the programs themselves built for 64-bit Windows, their imports checked, and the tests
# labelled "wine" that run them under Wine beside the same programs on the platform. A virtual display each,
# for the windows.
conformance-wine: test-build
	@$(DEPS) wine
	cmake --preset mingw-x86_64 >/dev/null
	cmake --build --preset mingw-x86_64
	xvfb-run -a -s "-screen 0 1024x768x24" bash scripts/run-conformance-wine build/mingw-x86_64
	cmake --preset mingw-x86_64-programs >/dev/null
	cmake --build --preset mingw-x86_64-programs
	scripts/check-imports build/mingw-x86_64-programs
	ctest --preset linux -L wine

# The Debian packages tarvoke and vessamir (build/linux/packages/), checked by lintian.
deb: build
	@$(DEPS) deb
	rm -rf build/linux/packages
	cd build/linux && cpack -G DEB -B packages
	lintian --fail-on error,warning build/linux/packages/*.deb

# Installs the programs, the service's unit, the man pages and the desktop entry under /usr/local. It does
# not build, so that `sudo make install` leaves no root-owned files in the build tree.
install:
	@[ -f $(CACHE) ] || { echo "make install: nothing built yet: make build first" >&2; exit 1; }
	cmake --install build/linux

format:
	@$(DEPS) format
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
