# Thin front over CMake. `make check` is what CI runs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_GEN  ?= -G Ninja
JOBS       ?= $(shell nproc)
CTEST_ARGS ?= --output-on-failure --no-tests=error -j $(JOBS)

.PHONY: all deps configure build test asan format format-check check clean

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) $(CTEST_ARGS)

asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) $(CTEST_ARGS)

format:
	git ls-files --cached --others --exclude-standard '*.cpp' '*.h' '*.c' | xargs -r clang-format -i

format-check:
	git ls-files --cached --others --exclude-standard '*.cpp' '*.h' '*.c' | xargs -r clang-format --dry-run --Werror

check: format-check test asan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# Prints the usage text with the dictionaries of the source tree, in English and in Japanese.
.PHONY: usage-demo
usage-demo: build
	LC_ALL=C $(BUILD)/tag/quillet-usage-demo
	LC_ALL=ja_JP.UTF-8 $(BUILD)/tag/quillet-usage-demo
