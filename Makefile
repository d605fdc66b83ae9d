# Thin front over CMake. `make check` is what CI runs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_GEN  ?= -G Ninja
JOBS       ?= $(shell nproc)
CTEST_ARGS ?= --output-on-failure --no-tests=error -j $(JOBS)
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
FUZZ_CHECK_SECONDS ?= 20
FUZZ_JOBS ?= 1

.PHONY: all deps configure build test asan asan-build format format-check check clean fuzz \
  fuzz-build fuzz-check install demo

all: build

deps:
	@scripts/install-deps

# Our own builds treat warnings as errors; a packager's build (plain CMake) does not.
OUR_FLAGS ?= -DQUILLET_WERROR=ON

# The main tree is built as Debian builds a package: build type None and the flags that
# dpkg-buildflags gives, hardening included, so that every test runs on that build, the stress
# runs and the Qt helpers' tests included. Its own tests also configure a fresh Release tree as
# a packager does, and build and run the program and the codec library's tests there.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
DEB_CMAKE_FLAGS = -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
  -DCMAKE_SHARED_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) $(DEB_CMAKE_FLAGS) $(OUR_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) $(CTEST_ARGS)

# The sanitizer tree: every test but the two long stress runs (labelled slow: minutes each here,
# and the main tree runs them), without the Qt helpers, which the program never links and the
# main tree tests. `ctest --test-dir build-asan -L slow` runs those two here by hand.
asan-build: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON \
	  -DQUILLET_BUILD_INTERFACE=OFF $(OUR_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)

asan: asan-build
	ctest --test-dir $(ASAN_BUILD) $(CTEST_ARGS) -LE slow

format:
	git ls-files --cached --others --exclude-standard '*.cpp' '*.h' '*.c' | xargs -r clang-format -i

format-check:
	git ls-files --cached --others --exclude-standard '*.cpp' '*.h' '*.c' | xargs -r clang-format --dry-run --Werror

# libFuzzer targets, built with clang, ASan and UBSan, each run for FUZZ_SECONDS.
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUILLET_FUZZ=ON -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_INTERFACE=OFF $(OUR_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-all

fuzz: fuzz-build
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_JOBS)

# The short run of make check: the targets side by side, one per core.
fuzz-check: fuzz-build
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_CHECK_SECONDS) $(JOBS)

# Each target for ten minutes (50 in all, niced): what a change to the tag code should pass
# before it lands. Faults that take millions of executions to reach show up here.
FUZZ_LONG_SECONDS ?= 600
.PHONY: fuzz-long
fuzz-long: fuzz-build
	nice scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_LONG_SECONDS)


# Each stage in turn, each tree built once; scripts/check-stages prints each stage's time at
# the end. The long stress runs are `make stress-large`.
CHECK_STAGES = format-check build test asan-build asan fuzz-build fuzz-check
check:
	@MAKE='$(MAKE)' scripts/check-stages $(CHECK_STAGES)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(RELEASE_BUILD)

# What `make demo` runs and `make install` installs: the program (with its dictionaries and the
# codec library it depends on) and the sample maker; nothing of the tests, fuzzers or Qt helpers.
INSTALLED_TARGETS = quillet MonkeysAudio quillet_dictionaries
DEMO_TARGETS = $(INSTALLED_TARGETS) make_sample_ape

# The program, its dictionaries, libMonkeysAudio.so and the man page, stripped, into ~/.local by
# default. The install records what it put where in $(PREFIX)/lib/quillet/install_manifest.txt;
# `make uninstall` (with the same PREFIX) removes exactly that, and the folders the install created
# when they are left empty.
PREFIX ?= $(HOME)/.local
.PHONY: uninstall
install: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(INSTALLED_TARGETS)
	scripts/install-program install $(BUILD) '$(PREFIX)'

uninstall:
	scripts/install-program uninstall '$(PREFIX)'

# Installs into a scratch HOME under the build folder, makes a sample file there, and runs
# Quillet on it twice: once writing two fields, once listing.
DEMO_HOME = $(abspath $(BUILD))/demo-home
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	@rm -rf $(DEMO_HOME) && mkdir -p $(DEMO_HOME)
	@cmake --install $(BUILD) --prefix $(DEMO_HOME)/.local >/dev/null
	@$(BUILD)/tools/make_sample_ape $(DEMO_HOME)/Demo.ape 100K
	@echo
	@echo "Installed into $(DEMO_HOME)/.local; the sample file is $(DEMO_HOME)/Demo.ape."
	@echo
	@echo '$$ quillet -T=春の海 -A=宮城道雄 Demo.ape'
	@cd $(DEMO_HOME) && HOME=$(DEMO_HOME) .local/bin/quillet -T=春の海 -A=宮城道雄 Demo.ape
	@echo
	@echo '$$ quillet Demo.ape'
	@cd $(DEMO_HOME) && HOME=$(DEMO_HOME) .local/bin/quillet Demo.ape

# Benchmarks (timings on a shared machine are not tests, so make check never runs them): whole
# runs beside TagLib, mutagen, kid3-cli and a minimal C reader, with peak memory; listings and a
# Title change with cover art of 0, 1 and 15 MB beside the least such a run must do and TagLib,
# in the hardened main tree and in a Release tree; then the codec library's own reads and saves
# on a 100 KB and a 1 GiB file. `make bench-batch` lists 10,000 files two at a time.
RELEASE_BUILD ?= build-release
BENCH_TARGETS = quillet MonkeysAudio make_sample_ape bench_minimal_run bench_minimal_title_save \
  bench_alternate_runs bench_taglib_tag
.PHONY: bench bench-batch bench-release-build
bench-release-build: deps
	cmake -S . -B $(RELEASE_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DQUILLET_BUILD_TESTS=OFF -DQUILLET_BUILD_INTERFACE=OFF $(OUR_FLAGS)
	cmake --build $(RELEASE_BUILD) -j $(JOBS) --target $(BENCH_TARGETS)

bench: build bench-release-build
	bench/whole_run.sh $(BUILD)
	bench/cover_runs.sh $(BUILD) $(RELEASE_BUILD)
	$(BUILD)/bench/ape_tag_bench 200

bench-batch: build bench-release-build
	bench/batch_runs.sh $(BUILD) $(RELEASE_BUILD)

# The crash explorer and the concurrency run at full size (tens of minutes; never in make check):
# the largest tag the library accepts on every tail, ten times the concurrent rounds.
.PHONY: stress-large
stress-large: build
	cmake --build $(BUILD) --target stress-large

# The Debian package, built by dpkg-buildpackage -us -uc -b from a copy of the source in
# $(BUILD)/deb, where quillet_<version>_<arch>.deb lands. Without the package's own tests unless
# DEB_BUILD_OPTIONS says otherwise: `make check` runs them all on a tree built from the same
# source with the same flags, and built with them the package takes many minutes, not one.
DEB_BUILD_OPTIONS ?= nocheck parallel=$(JOBS)
DEB_BUILD_PROFILES ?= $(if $(filter nocheck,$(DEB_BUILD_OPTIONS)),nocheck)
.PHONY: deb
deb: deps
	DEB_BUILD_OPTIONS="$(DEB_BUILD_OPTIONS)" DEB_BUILD_PROFILES="$(DEB_BUILD_PROFILES)" \
	  scripts/build-deb $(BUILD)/deb

# Prints the usage text with the dictionaries of the source tree, in English and in Japanese.
.PHONY: usage-demo
usage-demo: build
	LC_ALL=C $(BUILD)/tag/quillet-usage-demo
	LC_ALL=ja_JP.UTF-8 $(BUILD)/tag/quillet-usage-demo
