# Quick start: `make run` and `make test`. Both install what is missing first.
SANITIZE ?= 0
TSAN ?= 0
HARDENED ?= 0
JOBS ?= $(shell nproc)

# Debian's build flags, as a package build takes them: stack protector, fortify, relro and
# bind-now, added to the project's own flags (whose -ffp-contract=off keeps the painting exact).
DEB_BUILDFLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
DEB_CMAKE_FLAGS = -DCMAKE_CXX_FLAGS="$$($(DEB_BUILDFLAGS) CPPFLAGS) $$($(DEB_BUILDFLAGS) CXXFLAGS)" \
	-DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_BUILDFLAGS) LDFLAGS)" \
	-DCMAKE_MODULE_LINKER_FLAGS="$$($(DEB_BUILDFLAGS) LDFLAGS)"

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-asan
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Debug -DDORVANTA_SANITIZE=ON
else ifeq ($(TSAN),1)
# ThreadSanitizer over the core, the command line and their tests (Qt itself is not instrumented).
BUILD_DIR ?= build-tsan
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORVANTA_TSAN=ON -DDORVANTA_WITH_UI=OFF
# Its runtime needs the address layout without randomisation on kernels with wide mmap entropy.
TEST_PREFIX := setarch $(shell uname -m) -R
else ifeq ($(HARDENED),1)
# Every test built with the Debian package's flags, in build-hardened/.
BUILD_DIR ?= build-hardened
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release $(DEB_CMAKE_FLAGS)
DEPS_FOR := deb
else
BUILD_DIR ?= build
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=Release
endif

.PHONY: all deps configure build test run bench soak fuzz fuzz-build fuzz-seeds fuzz-smoke format clean

all: build

deps:
	@scripts/install-deps $(DEPS_FOR)

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen $(TEST_PREFIX) ctest --output-on-failure -j $(JOBS)

# The programs alone: the tests are built by `make test`.
run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target dorvanta_programs
	@scripts/run-dorvanta $(BUILD_DIR)

# The benchmark suite in a Release build: one table of medians beside the straightforward
# implementations. With the desktop program it includes the view's key-press render (offscreen).
# BENCH_ARGS go to Google Benchmark, e.g. BENCH_ARGS=--benchmark_filter=^1
bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@if ninja -C build-bench -t targets all 2>/dev/null | grep -q '^dorvanta_bench_ui:'; then \
		cmake --build build-bench -j $(JOBS) --target dorvanta_bench_ui && \
		QT_QPA_PLATFORM=offscreen build-bench/bench/dorvanta_bench_ui $(BENCH_ARGS); \
	else \
		cmake --build build-bench -j $(JOBS) --target dorvanta_bench && \
		build-bench/bench/dorvanta_bench $(BENCH_ARGS); \
	fi

# The long randomised session and the hostile-value tests in the sanitizer build (build-asan):
# SOAK_STEPS random steps with seed SOAK_SEED; make test runs a short session of the same test.
SOAK_STEPS ?= 50000
SOAK_SEED ?= 20261208
SOAK_TESTS := test_app_random_interaction_test test_app_hostile_values_test

soak: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDORVANTA_SANITIZE=ON >/dev/null
	@cmake --build build-asan -j $(JOBS) --target $(SOAK_TESTS)
	@set -e; for t in $(SOAK_TESTS); do \
		QT_QPA_PLATFORM=offscreen DORVANTA_SOAK_STEPS=$(SOAK_STEPS) DORVANTA_SOAK_SEED=$(SOAK_SEED) \
			build-asan/tests/$$t; \
	done

# libFuzzer targets (clang, address and undefined-behaviour sanitizers) in build-fuzz. Each runs
# FUZZ_SECONDS on a working copy of its committed seed corpus (build-fuzz/corpus/<target>, which
# keeps what it finds between runs); crashes, leaks, hangs over 1 s and undefined behaviour stop
# the run and leave the input in build-fuzz/artifacts/.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_bmp fuzz_jpeg fuzz_dat fuzz_paste fuzz_png
FUZZ_DIR := build-fuzz

fuzz-build: deps
	@cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
		-DDORVANTA_WITH_UI=OFF -DDORVANTA_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGETS)

fuzz: fuzz-build
	@set -e; mkdir -p $(FUZZ_DIR)/artifacts; \
	for t in $(FUZZ_TARGETS); do \
		mkdir -p $(FUZZ_DIR)/corpus/$$t; \
		cp -r tests/fuzz/corpus/$$t/. $(FUZZ_DIR)/corpus/$$t/; \
		dict=""; [ -f tests/fuzz/$$t.dict ] && dict="-dict=tests/fuzz/$$t.dict"; \
		echo "== $$t: $(FUZZ_SECONDS) s"; \
		$(FUZZ_DIR)/tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=1 \
			-rss_limit_mb=4096 -print_final_stats=1 $$dict \
			-artifact_prefix=$(FUZZ_DIR)/artifacts/$$t- $(FUZZ_DIR)/corpus/$$t \
			2>$(FUZZ_DIR)/$$t.log || { tail -n 60 $(FUZZ_DIR)/$$t.log; exit 1; }; \
		grep -E "^(stat::number_of_executed_units|Done)" $(FUZZ_DIR)/$$t.log || true; \
	done

# Rewrites the committed seed corpora from the program and the hand-made edge files.
fuzz-seeds: fuzz-build
	@cmake --build $(FUZZ_DIR) --target fuzz_seeds
	@$(FUZZ_DIR)/tests/fuzz/fuzz_seeds tests/fuzz/corpus

# A few seconds per target: keeps the targets building and running.
fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=5

# The Debian package: a Release build with Debian's flags in build-deb, installed under /usr and
# packed by CPack; exactly one dorvanta_<version>_<arch>.deb is left in dist/, then checked by
# lintian.
DEB_DIR := build-deb

# The web edition: the core as WebAssembly and the static page in $(BUILD_DIR)/web; web-serve
# serves it on 127.0.0.1 (WEB_PORT).
WEB_PORT ?= 8000
.PHONY: web web-serve

web:
	@scripts/install-deps web
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target dorvanta_web
	@echo "web edition: $(BUILD_DIR)/web"

web-serve: web
	@scripts/serve-web $(BUILD_DIR)/web $(WEB_PORT)

.PHONY: deb icons readme-picture readme-animation

deb:
	@scripts/install-deps deb
	@cmake -S . -B $(DEB_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
		-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON $(DEB_CMAKE_FLAGS) >/dev/null
	@cmake --build $(DEB_DIR) -j $(JOBS) --target dorvanta dorvanta-render dorvanta-video \
		dorvanta_man_pages \
		dorvanta_changelog
	@rm -rf $(DEB_DIR)/cpack && cd $(DEB_DIR) && cpack -G DEB -B cpack >/dev/null
	@mkdir -p dist && rm -f dist/dorvanta_*.deb && mv $(DEB_DIR)/cpack/dorvanta_*.deb dist/
	@ls dist/dorvanta_*.deb
	@lintian --fail-on error --tag-display-limit 0 dist/dorvanta_*.deb

# The README's picture, painted by dorvanta-render: the middle of the default figure at the
# scale of the full picture (docs/figure.dat is the default figure magnified twice), where the
# pentagons read. The same build gives the same bytes.
readme-picture: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target dorvanta-render
	@$(BUILD_DIR)/src/dorvanta-render docs/figure.dat --size 600x450 -o docs/figure.png

# The README's animation: a zoom towards a pentagon and back, the colour of the big solid
# pentagons changing on the way, as an animated PNG.
readme-animation: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target dorvanta-render
	@$(BUILD_DIR)/src/dorvanta-render --animate docs/animation-far.dat docs/animation-near.dat \
		docs/animation-far.dat --durations 2s,2s --fps 12 --ease ease-in-out --size 320x240 \
		--quiet -o docs/animation.png

# The PNG icon sizes of the program and of its file type, made from their SVG icons (needs
# rsvg-convert from librsvg2-bin).
ICON_SIZES := 16 22 24 32 48 64 128 256
ICON_NAMES := dorvanta application-x-dorvanta-dat
icons:
	@for s in $(ICON_SIZES); do mkdir -p data/icons/$${s}x$${s}; \
		for n in $(ICON_NAMES); do \
			rsvg-convert -w $$s -h $$s data/$$n.svg -o data/icons/$${s}x$${s}/$$n.png; done; done

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-hardened build-bench build-fuzz build-deb
