# The two commands of a fresh machine: `make demo` and `make test`. Both
# install what is missing first (scripts/deps.sh, through `make deps`).
# A developer who has everything skips that check with `make test DEPS=`.

CMAKE ?= cmake
# How long `make fuzz` runs each fuzz target, in seconds.
FUZZ_SECONDS ?= 60
# What the building targets depend on; empty skips the dependency check.
DEPS ?= deps
WINDOWS_DEPS := $(if $(DEPS),deps-windows)
BENCH_DEPS := $(if $(DEPS),deps-bench)
# The tests that run under ThreadSanitizer: those with threads in them.
TSAN_TESTS = test_stress test_boundary test_exchange test_live

# make bench: the benchmarks (Release, -O2), ending with a table of the
# plug-in against its yyjson baseline. BENCH_ARGS go to the binary.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_display_aggregates_only=true \
	--benchmark_enable_random_interleaving=true

.PHONY: all deps deps-windows deps-bench build demo test bench test-asan test-tsan fuzz clean \
	format windows test-windows mpv plixd install bench-webdav

all: build

# Installs what is missing (quick when everything is there).
deps:
	./scripts/deps.sh
deps-windows:
	./scripts/deps.sh windows
deps-bench:
	./scripts/deps.sh bench

build: $(DEPS)
	$(CMAKE) --preset default
	$(CMAKE) --build --preset default

demo: build
	./build/default/plixctl demo

# The mpv plug-in, plix-mpv.so, beside the library it loads.
mpv: build
	@test -f build/default/plix-mpv.so || { echo "mpv: plix-mpv.so was not built (is libmpv-dev installed?)" >&2; exit 1; }
	@echo "built $(CURDIR)/build/default/plix-mpv.so"
	@echo "play with: PLIX_API_KEY=... mpv --script=$(CURDIR)/build/default/plix-mpv.so debridlink://"

# plixd, the account over WebDAV and HTTP for every player.
plixd: build
	@test -f build/default/plixd || { echo "plixd: not built (are libmicrohttpd-dev and its kin installed?)" >&2; exit 1; }
	@echo "built $(CURDIR)/build/default/plixd"
	@echo "try it with: $(CURDIR)/build/default/plixd --demo   (then browse http://127.0.0.1:8080/)"

# Installs the library, its headers, plixctl, the mpv plug-in
# (lib/plix/plix-mpv.so) and plixd with its systemd unit under PREFIX.
PREFIX ?= /usr/local
install: build
	$(CMAKE) --install build/default --prefix $(PREFIX)

test: build
	ctest --preset default
	$(CMAKE) --preset clang
	$(CMAKE) --build --preset clang
	ctest --preset clang
	$(MAKE) test-asan
	$(MAKE) test-tsan
	$(MAKE) test-windows

# The Windows x86-64 DLL, cross-built with mingw-w64; its tests run under
# Wine. `make windows` also gathers plix.dll, plix.lib and plix.h in
# build/plix-win64/.
windows: $(WINDOWS_DEPS)
	$(CMAKE) --preset windows
	$(CMAKE) --build --preset windows
	$(CMAKE) --install build/windows --prefix build/plix-win64

test-windows: windows
	ctest --preset windows

# The whole unit suite and the fuzz corpus replays under AddressSanitizer
# and UBSan.
test-asan: $(DEPS)
	$(CMAKE) --preset asan
	$(CMAKE) --build --preset asan
	ctest --preset asan

# The concurrency tests under ThreadSanitizer.
test-tsan: $(DEPS)
	$(CMAKE) --preset tsan
	$(CMAKE) --build --preset tsan --target $(TSAN_TESTS)
	ctest --preset tsan -R '^($(shell echo $(TSAN_TESTS) | tr ' ' '|'))$$'

# Every fuzz target for FUZZ_SECONDS seconds, two at a time.
fuzz: $(DEPS)
	$(CMAKE) --preset asan
	$(CMAKE) --build --preset asan
	./scripts/fuzz.sh $(FUZZ_SECONDS)

bench: $(BENCH_DEPS)
	$(CMAKE) --preset bench
	$(CMAKE) --build --preset bench
	./build/bench/bench/plix_bench $(BENCH_ARGS)

# plixd beside rclone serve webdav on the same folder, with wrk; prints the
# table the README shows.
bench-webdav: build $(BENCH_DEPS)
	python3 bench/webdav/webdav_bench.py --plixd build/default/plixd

format:
	clang-format -i include/*.h src/*/*.cpp src/*/*.h tests/*.cpp examples/*.c \
		tools/plixctl/*.cpp tools/plixctl/*.h tools/live/*.cpp tools/live/*.h tools/mpv/*.cpp \
		tools/mpv/*.h tools/plixd/*.cpp tools/plixd/*.h tests/*.h tests/package/host/*.c \
		fuzz/*.cpp fuzz/*.h \
		bench/*.cpp bench/*.h

clean:
	rm -rf build
