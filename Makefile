# make run: install what is missing, build, start on the simulated meter.
# make test: install what is missing, build, run every test (also under
#            AddressSanitizer and UndefinedBehaviorSanitizer).
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps build build-asan run test test-fuzz test-print bench format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@[ -f $(ASAN_BUILD)/build.ninja ] || cmake -S . -B $(ASAN_BUILD) -G Ninja \
	    -DCMAKE_BUILD_TYPE=Debug -DZX840_SANITIZE=ON -DZX840_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	scripts/run-demo.sh $(BUILD)

test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-print
	$(MAKE) test-fuzz

# Printing through a real CUPS server with a PDF printer (started and
# stopped by the script).
test-print: build
	tests/print/cups_print_test.sh $(BUILD)

# The file readers under libFuzzer for a bounded time; fails on any finding.
test-fuzz: deps
	FUZZ_SECONDS=$${FUZZ_SECONDS:-60} scripts/fuzz.sh

# Both run even when the first fails; any failed benchmark fails the target.
bench: build
	@status=0; \
	$(BUILD)/bench/zx840_bench || status=1; \
	$(BUILD)/bench/zx840_bench_gui || status=1; \
	exit $$status

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
