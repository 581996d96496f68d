# Recite: top-level targets. `make demo` and `make test` work on a fresh Debian machine as root.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build/release
ASAN_DIR := build/asan
CLANG_DIR := build/clang

.PHONY: all setup build demo test test-release test-asan clang bench clean

all: build

setup:
	@sh scripts/setup.sh

$(RELEASE_DIR)/build.ninja:
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: setup $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) -j $(JOBS)

demo: build
	mkdir -p data/demo/out
	cd data/demo && ../../$(RELEASE_DIR)/app/recite assess.prm
	cd data/demo && ../../$(RELEASE_DIR)/app/recite recog.prm

test-release: build
	cd $(RELEASE_DIR) && ctest -j $(JOBS) --output-on-failure

$(ASAN_DIR)/build.ninja:
	cmake -S . -B $(ASAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRECITE_SANITIZE=ON

test-asan: setup $(ASAN_DIR)/build.ninja
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest -j $(JOBS) --output-on-failure

# The plain suite, then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-release test-asan

# g++ is the compiler of record; this checks that clang++ builds the tree without warnings.
clang: setup
	cmake -S . -B $(CLANG_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(CLANG_DIR) -j $(JOBS)

# Every benchmark of the project, one line per figure (not part of the tests).
bench: build
	$(RELEASE_DIR)/bench/frontend-bench
	$(RELEASE_DIR)/bench/model-load-bench
	$(RELEASE_DIR)/bench/lexicon-bench
	$(RELEASE_DIR)/bench/decoder-bench
	$(RELEASE_DIR)/bench/net-build-bench
	$(RELEASE_DIR)/bench/scoring-bench
	$(RELEASE_DIR)/bench/flv-bench

clean:
	rm -rf build
