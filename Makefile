# Two commands for a fresh Debian machine:
#   make run    set up, build, and start the viewer
#   make test   set up, build, and run every test
# The rest are for developers: asan, tsan, mingw, conformance-wine, deb, install, format.
# Each target first installs the Debian packages it needs, and only those (scripts/install-deps GROUP).

.PHONY: all build test run asan tsan mingw conformance-wine deb install format clean

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

test:
	@$(DEPS) test
	@grep -qx 'BUILD_TESTING:BOOL=ON' $(CACHE) 2>/dev/null || cmake --preset linux -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=ON >/dev/null
	cmake --build --preset linux
	ctest --preset linux

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

# The platform conformance tests built for 64-bit Windows and run under wine64, to check that each test pins
# a behaviour real Win32 has.
conformance-wine:
	@$(DEPS) wine
	cmake --preset mingw-x86_64 >/dev/null
	cmake --build --preset mingw-x86_64
	bash scripts/run-conformance-wine build/mingw-x86_64

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
