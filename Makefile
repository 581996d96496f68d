# Recite: top-level targets. `make demo` and `make test` work on a fresh Debian machine as root.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build/release
EN_DIR := build/en-us
EN_MODEL_DIR := /usr/share/pocketsphinx/model/en-us
ALSA_PHRASES := front center\#front left\#front right\#rear center\#rear left\#rear right\#side left\#side right
ASAN_DIR := build/asan
CLANG_DIR := build/clang
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

.PHONY: all setup build demo demo-toy demo-en import-en eval test test-release test-asan clang fuzz bench clean

all: build

setup:
	@sh scripts/setup.sh

$(RELEASE_DIR)/build.ninja:
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: setup $(RELEASE_DIR)/build.ninja
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# The toy demo first (it needs nothing imported), then real English speech.
demo: demo-toy demo-en

demo-toy: build
	mkdir -p data/demo/out
	cd data/demo && ../../$(RELEASE_DIR)/app/recite assess.prm
	cd data/demo && ../../$(RELEASE_DIR)/app/recite recog.prm

# The English models and lexicon, imported once from pocketsphinx-en-us into build/en-us.
$(EN_DIR)/models.macb:
	mkdir -p $(EN_DIR)
	$(RELEASE_DIR)/tools/recite-import-sphinx $(EN_MODEL_DIR)/en-us $@

$(EN_DIR)/cmudict.wpab:
	mkdir -p $(EN_DIR)
	$(RELEASE_DIR)/tools/recite-import-cmudict $(EN_MODEL_DIR)/cmudict-en-us.dict $(EN_DIR)/cmudict.wpa $@

import-en: build
	$(MAKE) --no-print-directory $(EN_DIR)/models.macb $(EN_DIR)/cmudict.wpab

# (a) recog: which of the eight alsa phrases is Front_Center.wav; (b) assess goforward.raw.
demo-en: import-en
	mkdir -p data/en-us/out/recog data/en-us/out/assess
	@echo "=== recog: /usr/share/sounds/alsa/Front_Center.wav among the eight alsa phrases"
	cd data/en-us && ../../$(RELEASE_DIR)/app/recite recog.prm /usr/share/sounds/alsa/Front_Center.wav \
	  "$(ALSA_PHRASES)" "" out/recog
	@grep -qx 'Text=front center' data/en-us/out/recog/recogResult.txt && echo "Recognized: front center (right)" || \
	  { echo "demo: expected \"front center\", got $$(grep '^Text=' data/en-us/out/recog/recogResult.txt)"; exit 1; }
	@echo "Report: data/en-us/out/recog/output.xml"
	@echo "=== assess: /usr/share/pocketsphinx/test/data/goforward.raw read as \"go forward ten meters\""
	cd data/en-us && ../../$(RELEASE_DIR)/app/recite assess.prm /usr/share/pocketsphinx/test/data/goforward.raw \
	  "go forward ten meters" "" out/assess
	@grep -qx 'Text=go forward ten meters' data/en-us/out/assess/recogResult.txt || \
	  { echo "demo: the assess run gave no result"; exit 1; }
	@echo "Score: $$(cat data/en-us/out/assess/score.txt)"
	@echo "Report: data/en-us/out/assess/output.xml"

# Recite next to pocketsphinx_batch on public recordings (not part of the tests).
eval: import-en
	sh scripts/eval.sh $(RELEASE_DIR) $(EN_DIR)

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

# The file readers under libFuzzer (clang, AddressSanitizer, UndefinedBehaviorSanitizer): every target
# of fuzz/ (or those in FUZZ_TARGETS) for FUZZ_SECONDS each, one at a time; fails on any finding.
# Not part of the tests; the saved findings under fuzz/regressions/ are (fuzz_replay.*).
fuzz: setup
	cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DRECITE_FUZZ=ON -DRECITE_TESTS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz-targets
	sh fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

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
