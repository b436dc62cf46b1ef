# The two set-up commands of the README: `make run` and `make test`.
# Everything else here is a convenience around CMake presets.

JOBS ?= $(shell nproc)
DATA_DIR ?= $(CURDIR)/data

.PHONY: run test package deps build build-asan unit-asan format format-check build-tsan e2e-tsan clean

# The monitor on the checkout's data folder: with its window when there is a
# display, else headless until Ctrl+C.
run: deps build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./build/default/src/ui/vantrel --data-dir "$(DATA_DIR)"; \
	else \
	  ./build/default/src/cli/vantrel-cli --data-dir "$(DATA_DIR)" run; \
	fi

# Every test of the default build, the unit tests again under the sanitizers,
# and the end-to-end tests once more against a ThreadSanitizer vantrel-cli.
test: deps format-check build
	ctest --preset default -j $(JOBS)
	$(MAKE) unit-asan
	$(MAKE) e2e-tsan

# The Debian package, vantrel_VERSION_ARCH.deb in build/default.
package: deps build
	cd build/default && cpack

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

format-check:
	./scripts/check-format

build-tsan:
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS) --target vantrel-cli

# The end-to-end tests of the default build drive the ThreadSanitizer program.
# The kill -9 rounds are left out: they test what reaches the disk, not
# threads, and their timing assumes a program at full speed; so is the
# window program's, which is not built with ThreadSanitizer.
e2e-tsan: build-tsan
	VANTREL_CLI=$(CURDIR)/build/tsan/src/cli/vantrel-cli \
	  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --preset default -L e2e -E 'KillNine|DesktopE2e'

clean:
	rm -rf build
