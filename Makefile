# The two set-up commands of the README: `make run` and `make test`.
# Everything else here is a convenience around CMake presets.

JOBS ?= $(shell nproc)
DATA_DIR ?= $(CURDIR)/data

.PHONY: run test deps build build-asan unit-asan format clean

# The headless monitor on the checkout's data folder, until Ctrl+C.
run: deps build
	./build/default/src/cli/vantrel-cli --data-dir "$(DATA_DIR)" run

test: deps build
	ctest --preset default -j $(JOBS)
	$(MAKE) unit-asan

deps:
	./scripts/install-deps.sh

build:
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

build-asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

unit-asan: build-asan
	ctest --preset asan -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
