# Shortcuts over CMake. `make run` shows the listing of a sample passage,
# `make test` runs every test; see the README for the rest.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
# WERROR=ON makes every warning an error in the native, MinGW and fuzz builds
# (CI builds so); set it before a build folder is first configured.
WERROR ?= OFF
# Each target first installs the Debian packages it needs when they are
# missing (scripts/install-deps.sh, through sudo when not root); INSTALL_DEPS=no
# leaves that out.
INSTALL_DEPS ?= yes
deps = $(if $(filter no,$(INSTALL_DEPS)),true,scripts/install-deps.sh $(1))

.PHONY: all build run test install test-asan full-dict fuzz corpus bench quality clean format qt deps \
        package package-check

all: build

deps:
	@$(call deps,core serve)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDODEVUZ_WERROR=$(WERROR) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/dodevuz get --shift -C $(BUILD)/data $(BUILD)/data/samples/passage.sjis

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The desktop program dodevuz-qt (build/dodevuz-qt), with Qt 6 installed
# first when it is missing.
qt:
	@$(call deps,core qt)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDODEVUZ_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The desktop program dodevuz-qt, its desktop entry and the sample data under
# PREFIX: `make install` (/usr/local; as root) or `make install PREFIX=~/.local`.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Debian packages dodevuz and dodevuz-qt in $(BUILD)/packages/ (CPack), from
# a build that has Qt; `make package-check` installs them (as root), runs
# what they installed, and removes them again.
package:
	@$(call deps,core qt package)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDODEVUZ_WERROR=$(WERROR) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack

package-check: package
	scripts/check-packages.sh $(BUILD)/packages

# The full dictionary from Debian's edict package into dict/ (not committed),
# with our romaji table and an index made and checked by dodevuz; then
# `build/dodevuz get --shift -C dict FILE`.
full-dict: build
	scripts/get-full-dictionary.sh dict

# Passages of real Japanese prose from Debian's manpages-ja into corpus/
# (not committed), for the benchmark.
corpus:
	scripts/make-corpus.sh corpus

# The benchmark of a Get on the full dictionary (made into dict/ and corpus/
# when missing), in a Release build of its own (build-bench); writes
# docs/performance.md and prints it.
bench:
	@$(call deps,core bench)
	bench/run-bench.sh

# The quality report of the listing, classic and with dictionary forms, against
# MeCab's base forms of the 1 MB corpus (MeCab installed when missing); writes
# docs/quality.md and prints it.
quality:
	bench/run-quality.sh

test-asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DDODEVUZ_SANITIZE=address,undefined"

# libFuzzer targets built with clang; FUZZ_SECONDS each (default 30).
fuzz:
	@$(call deps,core serve fuzz)
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DDODEVUZ_FUZZ=ON -DDODEVUZ_TESTS=OFF -DDODEVUZ_QT=OFF -DDODEVUZ_SANITIZE=address,undefined \
	  -DDODEVUZ_WERROR=$(WERROR)
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	scripts/fuzz.sh $(FUZZ_SECONDS)

# The Win32 program, cross-built with MinGW-w64 into $(WIN_BUILD)/shell/win32/dodevuz.exe
# (statically linked), with the driver of its end-to-end test.
WIN_BUILD ?= build-win
.PHONY: screenshot-serve win win-deps wine-test screenshot-win32 win-zip win-zip-check

win-deps:
	@$(call deps,core win)

$(WIN_BUILD)/CMakeCache.txt: | win-deps
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DDODEVUZ_WERROR=$(WERROR)

win: win-deps $(WIN_BUILD)/CMakeCache.txt
	cmake --build $(WIN_BUILD) -j $(JOBS) --target dodevuz wine_driver

# dodevuz.exe driven through its window under Wine and Xvfb.
wine-test: win build
	tests/wine/run.sh $(WIN_BUILD) $(BUILD)

# $(WIN_BUILD)/dodevuz-VERSION-win64.zip: dodevuz.exe, the sample data (with
# the index the native build makes) and a short README.txt.
win-zip: win build
	@$(call deps,package)
	scripts/make-win-zip.sh $(WIN_BUILD) $(BUILD)

# The zip unpacked into an empty folder and driven there under Wine.
win-zip-check: win-zip
	scripts/check-win-zip.sh $(WIN_BUILD) $(BUILD)

# The picture of the reading page in the README, taken by the browser test.
screenshot-serve: build
	tests/browser/run.sh $(BUILD)/dodevuz $(BUILD)/data docs/screenshot-serve.png

screenshot-win32: win
	@$(call deps,screenshot)
	scripts/screenshot-win32.sh $(WIN_BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-fuzz build-bench
