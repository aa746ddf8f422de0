# The two commands of the Quick start: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DPANDREL_WERROR=ON

WINDOWS_BUILD ?= build-windows
VERSION     = $(shell awk '/^project.pandrel VERSION/ {print $$3}' CMakeLists.txt)
WINDOWS_CMAKE_FLAGS = -G Ninja -DPANDREL_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

.PHONY: all deps configure build test test-asan test-windows windows windows-configure demo deb bench fuzz format clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) test-windows

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DPANDREL_SANITIZE=ON -DPANDREL_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The Windows build, cross-built with mingw-w64: dist/windows/pandrel.exe,
# dist/windows/tarvelin.exe and dist/pandrel-<version>-windows-x64.zip.
windows-configure:
	@scripts/windows-deps
	cmake -S . -B $(WINDOWS_BUILD) $(WINDOWS_CMAKE_FLAGS) -DPANDREL_NATIVE_BUILD=$(CURDIR)/$(BUILD)

windows: windows-configure
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target pandrel tarvelin
	scripts/make-windows-zip $(WINDOWS_BUILD) $(VERSION)

# The Windows build's tests under wine, beside the native tool they are
# compared with.
test-windows: build windows-configure
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j $(JOBS)

# Builds only what the demo runs: the two programs and the sample maker.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target pandrel tarvelin make_fixture
	scripts/demo $(BUILD)

# The Debian packages, in dist/.
deb: deps
	@scripts/install-deps debhelper dpkg-dev fakeroot lintian
	scripts/make-deb $(JOBS)

bench: build windows
	@scripts/install-deps cabextract time msitools 7zip
	PANDREL_EXE=$(WINDOWS_BUILD)/tool/pandrel.exe scripts/bench $(BUILD)

FUZZ_SECONDS ?= 60
fuzz:
	@scripts/install-deps clang libclang-rt-14-dev
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPANDREL_FUZZ=ON -DPANDREL_BENCH=OFF -DPANDREL_FRONT=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_open_package fuzz_extract fuzz_commands fuzz_lzx make_seeds
	scripts/fuzz build-fuzz $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WINDOWS_BUILD) build-windows-deps build-fuzz build-deb dist
