# Entry points. Each one installs what it needs (scripts/setup.sh) before it builds.
#   make run    build and run the tool on the built-in example
#   make test   build everything and run the whole test suite
#   make bench  build and run the micro-benchmarks

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: setup configure build run test bench clean

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

clean:
	@rm -rf $(BUILD)
