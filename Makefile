# Entry points for users and CI. `make test` is the one command a new machine needs.
BUILD ?= build
GENERATOR ?= Ninja
JOBS ?= $(shell nproc)

.PHONY: deps configure build test demo asan tsan fuzz clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Renders a mix made in code through the bundle and prints what the chain did; files go to $(BUILD)/demo.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target Brevant brevant-host brevant-demo
	$(BUILD)/tools/demo/brevant-demo --bundle $(BUILD)/Brevant.vst3 --out $(BUILD)/demo

# Address + undefined-behaviour sanitizers over the whole suite.
asan: deps
	cmake -S . -B build-asan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DBREVANT_SANITIZE=address -DBREVANT_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# Thread sanitizer over the concurrency tests (labelled "concurrency").
tsan: deps
	cmake -S . -B build-tsan -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DBREVANT_SANITIZE=thread -DBREVANT_BENCH=OFF
	cmake --build build-tsan -j $(JOBS) --target concurrency_tests
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -L concurrency

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
