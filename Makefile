# The two commands of a fresh machine: `make demo` and `make test`. Both
# install what is missing first (scripts/deps.sh).

CMAKE ?= cmake

# make bench: the benchmarks (Release, -O2), ending with a table of the
# plug-in against its yyjson baseline. BENCH_ARGS go to the binary.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_display_aggregates_only=true \
	--benchmark_enable_random_interleaving=true

.PHONY: all deps build demo test bench clean format windows test-windows

all: build

deps:
	./scripts/deps.sh

build: deps
	$(CMAKE) --preset default
	$(CMAKE) --build --preset default

demo: build
	./build/default/plixctl demo

test: build
	ctest --preset default
	$(CMAKE) --preset clang
	$(CMAKE) --build --preset clang
	ctest --preset clang
	$(MAKE) test-windows

# The Windows x86-64 DLL, cross-built with mingw-w64; its tests run under
# Wine. `make windows` also gathers plix.dll, plix.lib and plix.h in
# build/plix-win64/.
windows:
	./scripts/deps.sh windows
	$(CMAKE) --preset windows
	$(CMAKE) --build --preset windows
	$(CMAKE) --install build/windows --prefix build/plix-win64

test-windows: windows
	ctest --preset windows

bench:
	./scripts/deps.sh bench
	$(CMAKE) --preset bench
	$(CMAKE) --build --preset bench
	./build/bench/bench/plix_bench $(BENCH_ARGS)

format:
	clang-format -i include/*.h src/*/*.cpp src/*/*.h tests/*.cpp examples/*.c \
		tools/plixctl/*.cpp tools/plixctl/*.h tests/package/host/*.c bench/*.cpp bench/*.h

clean:
	rm -rf build
