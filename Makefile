# The two commands of a fresh machine: `make demo` and `make test`. Both
# install what is missing first (scripts/deps.sh).

CMAKE ?= cmake

.PHONY: all deps build demo test clean format

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

format:
	clang-format -i include/*.h src/*/*.cpp src/*/*.h tests/*.cpp examples/*.c \
		tools/plixctl/*.cpp tools/plixctl/*.h tests/package/host/*.c

clean:
	rm -rf build
