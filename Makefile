# Two entry points do all the set-up on a fresh Debian machine:
#   make test   installs what is missing (as root), builds, runs every test
#   make demo   the main job: two hosts talking over loopback DIS
#   make demo-load RUNS=N   the demo N times idle, busy and flooded
#   make docs   the HTML reference of the public header
#   make examples   the examples built against the installed package, run
BUILD ?= build
JOBS  ?= $(shell nproc)
SOAK_SECONDS ?= 600

.PHONY: all deps configure build test demo demo-load bench soak docs examples format clean

all: build

deps:
	@bash scripts/setup.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@bash scripts/run-tests.sh $(BUILD)

demo: build
	@bash scripts/demo.sh $(BUILD)

RUNS ?= 10
demo-load: build
	@bash scripts/demo-load.sh $(BUILD) $(RUNS)

bench: build
	@bash scripts/bench.sh $(BUILD)

# 8 test hosts in network namespaces for SOAK_SECONDS (needs root).
soak: build
	@bash scripts/soak.sh $(BUILD) $(SOAK_SECONDS)

# The examples built against the installed package and run.
examples: build
	@bash scripts/check-examples.sh $(BUILD)

# The HTML reference of include/halcyra/halcyra.h in $(BUILD)/docs/html;
# fails on anything undocumented.
docs: deps
	@bash scripts/docs.sh $(BUILD)

format:
	@bash scripts/check-format.sh --fix

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
