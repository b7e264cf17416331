# The two commands of a fresh machine: `make demo` and `make test`. Both
# install what is missing first (scripts/deps.sh).

CMAKE ?= cmake

# make bench: the benchmarks (Release, -O2), ending with a table of the
# plug-in against its yyjson baseline. BENCH_ARGS go to the binary.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_display_aggregates_only=true \
	--benchmark_enable_random_interleaving=true

.PHONY: all deps build demo test bench clean format

all: build

deps:
	./scripts/deps.sh

build: deps
	$(CMAKE) --preset default
	$(CMAKE) --build --preset default

demo: build
	./build/default/plix_demo

test: build
	ctest --preset default
	$(CMAKE) --preset clang
	$(CMAKE) --build --preset clang
	ctest --preset clang

bench:
	./scripts/deps.sh bench
	$(CMAKE) --preset bench
	$(CMAKE) --build --preset bench
	./build/bench/bench/plix_bench $(BENCH_ARGS)

format:
	clang-format -i include/*.h src/*/*.cpp src/*/*.h tests/*.cpp examples/*.c bench/*.cpp bench/*.h

clean:
	rm -rf build
