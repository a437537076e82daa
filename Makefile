# Entry points for users and CI. `make test` is the one command a new machine needs.
BUILD ?= build
GENERATOR ?= Ninja
JOBS ?= $(shell nproc)

VERSION := 1.0.0
DIST_BUILD ?= build-dist
DIST_NAME := Brevant-$(VERSION)-linux-x86_64
# Empty: the user's folders (~/.vst3, ~/.lv2, ~/.clap, ~/.vst3/presets); PREFIX=/usr: the system's.
PREFIX ?=

.PHONY: deps configure build test demo asan tsan fuzz clean install uninstall dist

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

# Installs the bundles built in $(BUILD) and the factory presets as .vstpreset files; uninstall removes exactly that.
install: configure
	cmake --build $(BUILD) -j $(JOBS) --target Brevant BrevantCLAP BrevantLV2 brevant_vstpreset_files
	scripts/release install $(BUILD) $(PREFIX)

uninstall:
	scripts/release uninstall $(PREFIX)

# The release package: optimised, stripped modules carrying their C++ runtime, the presets, README and licence.
dist: deps
	# -O2, as the build the tests and benchmarks measure (GCC 12 also warns falsely at -O3 on string concatenation).
	cmake -S . -B $(DIST_BUILD) -G $(GENERATOR) -DCMAKE_BUILD_TYPE=Release -DBREVANT_PORTABLE=ON \
	  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
	  -DBREVANT_TESTS=OFF -DBREVANT_BENCH=OFF
	cmake --build $(DIST_BUILD) -j $(JOBS) --target Brevant BrevantCLAP BrevantLV2 brevant_vstpreset_files
	scripts/release stage $(DIST_BUILD) $(BUILD)/dist/$(DIST_NAME)
	tar -C $(BUILD)/dist -czf $(BUILD)/dist/$(DIST_NAME).tar.gz --owner=0 --group=0 $(DIST_NAME)
	@echo "$(BUILD)/dist/$(DIST_NAME).tar.gz"

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz $(DIST_BUILD)
