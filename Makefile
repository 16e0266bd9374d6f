# Varimark: `make run` and `make test` work on a fresh Debian 12 machine.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60
# More configure options, such as -DVARIMARK_WERROR=ON (CI: warnings fail the build).
CMAKE_FLAGS ?=

.PHONY: all deps deps-run deps-package deps-test deps-bench deps-fuzz configure configure-run build run \
	test test-sanitize test-tsan tidy package bench fuzz format screenshot clean

all: build

# The Debian packages for a purpose: run (build and run the programs), package (make
# package), test, bench, fuzz.
deps: deps-test
deps-run deps-package deps-test deps-bench deps-fuzz deps-tidy: deps-%:
	@scripts/install-deps.sh $*

# make run needs only what running needs: no test or benchmark libraries.
configure-run: deps-run
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DVARIMARK_BUILD_TESTS=OFF -DVARIMARK_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null

configure: deps-test
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DVARIMARK_BUILD_TESTS=ON -DVARIMARK_BUILD_BENCH=ON $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR)

run: configure-run
	@cmake --build $(BUILD_DIR) --target varimark varimark-cli
	$(BUILD_DIR)/bin/varimark

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure --timeout 300 -j 2

# The whole test suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer;
# any report fails the test that caused it.
SANITIZE_DIR ?= $(BUILD_DIR)-sanitize
test-sanitize: deps-test
	@cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARIMARK_SANITIZE=ON \
	    -DVARIMARK_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(SANITIZE_DIR)
	@cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure --timeout 600 -j 2

# The tests that run the library and varimark-cli on several threads at once, built with
# ThreadSanitizer: the API from eight threads, and the batch of hundreds of lines with
# --jobs 2 (about 5 seconds; the build is most of the time). Any data race
# reported fails the test that caused it (varimark-cli's own reports end it with status 66).
TSAN_DIR ?= $(BUILD_DIR)-tsan
test-tsan: deps-test
	@cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARIMARK_TSAN=ON \
	    -DVARIMARK_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(TSAN_DIR) --target test_api_threads test_cli_batch
	@cd $(TSAN_DIR) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	    ctest --output-on-failure --timeout 300 -j 2 \
	    -R 'ApiThreads\.|CliBatch\.ManyLinesOnTwoThreads'

# clang-tidy on our code with .clang-tidy's checks (the naming of CONTRIBUTING.md, functions of
# at most 60 lines, a few bug-prone checks), through the build's compile_commands.json: any
# finding fails. The compiler's own warnings are the build's to report (clang's
# -Wconversion would also take in the sign conversions GCC's leaves out).
tidy: deps-tidy build
	@run-clang-tidy -p $(BUILD_DIR) -j $$(nproc) -quiet -extra-arg=-Wno-error \
	    -extra-arg=-Wno-sign-conversion \
	    $$(ls engine/*.cpp export/*.cpp render/*.cpp verify/*.cpp platform/*.cpp library/*.cpp \
	          control/*.cpp app/*.cpp cli/*.cpp) >$(BUILD_DIR)/tidy.log 2>&1 \
	    || { grep -E '(warning|error):' $(BUILD_DIR)/tidy.log | sort -u; exit 1; }
	@echo "clang-tidy: no findings"

# The Debian packages in build/packages/, checked by lintian: varimark, varimark-cli,
# libvarimark1, libvarimark-dev, python3-varimark and their debug symbols
# (install: sudo apt install ./build/packages/varimark_*.deb ...).
package: deps-run deps-package
	@scripts/build-packages.sh $(BUILD_DIR)/packages

bench: deps-bench build
	$(BUILD_DIR)/bin/bench_encode
	$(BUILD_DIR)/bin/bench_render
	$(BUILD_DIR)/bin/bench_output
	$(BUILD_DIR)/bin/bench_tiff
	$(BUILD_DIR)/bin/bench_gif
	$(BUILD_DIR)/bin/bench_app
	$(BUILD_DIR)/bin/bench_verify
	VARIMARK_CLI=$(BUILD_DIR)/bin/varimark-cli bench/one_call.py
	VARIMARK_CLI=$(BUILD_DIR)/bin/varimark-cli bench/batch.sh
	VARIMARK_LIBRARY=$(BUILD_DIR)/lib/libvarimark.so.1 bench/python_render.py

# Every libFuzzer target for FUZZ_SECONDS seconds (two at a time), from its seed corpus.
fuzz: deps-fuzz
	@scripts/fuzz-all.sh $(FUZZ_SECONDS)

# The README's screenshot, made under Xvfb.
screenshot: build
	scripts/screenshot.sh docs/screenshot.png

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-fuzz $(SANITIZE_DIR) $(TSAN_DIR)
