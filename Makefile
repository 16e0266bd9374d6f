# Varimark: `make run` and `make test` work on a fresh Debian 12 machine.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test package bench fuzz format screenshot clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR)

run: build
	$(BUILD_DIR)/bin/varimark

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure --timeout 300 -j 2

# A Debian package in build/: varimark_1.0_amd64.deb (install: sudo apt install ./build/varimark_*.deb).
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

bench: build
	$(BUILD_DIR)/bin/bench_encode
	$(BUILD_DIR)/bin/bench_render
	$(BUILD_DIR)/bin/bench_output
	$(BUILD_DIR)/bin/bench_tiff
	$(BUILD_DIR)/bin/bench_gif
	$(BUILD_DIR)/bin/bench_app

fuzz: deps
	@cmake -S . -B $(BUILD_DIR)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVARIMARK_BUILD_FUZZ=ON \
	    -DVARIMARK_BUILD_TESTS=OFF -DVARIMARK_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(BUILD_DIR)-fuzz
	@mkdir -p $(BUILD_DIR)-fuzz/corpus/encode
	$(BUILD_DIR)-fuzz/bin/encode_fuzzer -max_total_time=$(FUZZ_SECONDS) \
	    $(BUILD_DIR)-fuzz/corpus/encode fuzz/corpus/encode

# The README's screenshot, made under Xvfb.
screenshot: build
	scripts/screenshot.sh docs/screenshot.png

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-fuzz
