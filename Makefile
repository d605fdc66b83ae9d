# Thin front over CMake. `make check` is what CI runs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_GEN  ?= -G Ninja
JOBS       ?= $(shell nproc)
CTEST_ARGS ?= --output-on-failure --no-tests=error -j $(JOBS)
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_CHECK_SECONDS ?= 20

.PHONY: all deps configure build test asan format format-check check clean fuzz fuzz-build fuzz-check

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

# libFuzzer targets, built with clang, ASan and UBSan, each run for FUZZ_SECONDS.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLET_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_INTERFACE=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-all

fuzz: fuzz-build
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-check: fuzz-build
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_CHECK_SECONDS)

check: format-check test asan fuzz-check

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# Prints the usage text with the dictionaries of the source tree, in English and in Japanese.
.PHONY: usage-demo
usage-demo: build
	LC_ALL=C $(BUILD)/tag/quillet-usage-demo
	LC_ALL=ja_JP.UTF-8 $(BUILD)/tag/quillet-usage-demo
