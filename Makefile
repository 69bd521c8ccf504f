# Entry points. Each one installs what it needs (scripts/setup.sh) before it builds.
#   make run    build and run the tool on the built-in example
#   make test   build everything and run the whole test suite
#   make bench  build and run the micro-benchmarks
#   make bench-instances  nest the public instances in ../shared/bench, compare with the optima
#               (BENCH_ARGS adds runner options, e.g. BENCH_ARGS="--sets scholl1 --kerf 3")

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

BENCH_TIME_LIMIT ?= 10
BENCH_ARGS ?=

.PHONY: setup configure build run test bench bench-instances clean

setup:
	@./scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/cli/tubenest example

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.2; done

bench-instances: configure
	@cmake --build $(BUILD) -j $(JOBS) --target instance_runner
	@$(BUILD)/bench/instance_runner --time-limit $(BENCH_TIME_LIMIT) --seed 1 \
		--out $(BUILD)/bench-instances.csv --summary $(BUILD)/bench-instances.md $(BENCH_ARGS)

clean:
	@rm -rf $(BUILD)
