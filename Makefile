# make run: install what building and running need, build, start on the
#           simulated meter.
# make test: install the test toolchain too, build, run every test (also
#            under AddressSanitizer and UndefinedBehaviorSanitizer).
# make deb: build the Debian package in $(BUILD)/.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps deps-test build build-test build-asan run test test-fuzz test-print test-package test-readme bench deb format clean

all: build

deps:
	@scripts/install-deps.sh --run

deps-test:
	@scripts/install-deps.sh --test

build: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

# The same build with the tests and benchmarks, which need the test
# toolchain: configured again so that it finds what deps-test installed.
build-test: deps-test
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps-test
	@[ -f $(ASAN_BUILD)/build.ninja ] || cmake -S . -B $(ASAN_BUILD) -G Ninja \
	    -DCMAKE_BUILD_TYPE=Debug -DZX840_SANITIZE=ON -DZX840_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	scripts/run-demo.sh $(BUILD)

test: build-test build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-print
	$(MAKE) test-package
	$(MAKE) test-readme
	$(MAKE) test-fuzz

# Printing through a private CUPS server that the script starts and stops;
# run twice, the system's printers and settings must come out unchanged.
test-print: deps-test build
	tests/print/system_cups_unchanged_test.sh $(BUILD)

# The Debian package: built, checked with lintian, unpacked into a
# throwaway root whose desktop entry, MIME package and metainfo are validated.
test-package: deps-test deb
	tests/package/deb_package_test.sh $(BUILD)

# The marked commands of README.md, run as written on the fresh build.
test-readme: deps-test build
	tests/readme/readme_test.sh $(BUILD)

deb: build
	cmake --build $(BUILD) --target package

# The file readers under libFuzzer for a bounded time; fails on any finding.
test-fuzz: deps-test
	FUZZ_SECONDS=$${FUZZ_SECONDS:-60} scripts/fuzz.sh

# Both run even when the first fails; any failed benchmark fails the target.
bench: build-test
	@status=0; \
	$(BUILD)/bench/zx840_bench || status=1; \
	$(BUILD)/bench/zx840_bench_gui || status=1; \
	exit $$status

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
