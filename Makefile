# The two set-up commands: `make run` and `make test`. Both install whatever Debian packages are
# missing, configure and build with the CMake preset PRESET (default: default). `make test` also
# builds the fuzz harnesses and runs each for FUZZ_SMOKE seconds, two at a time, so that they keep
# building and the seeds keep passing; `make fuzz SECONDS=N` runs each for N seconds (JOBS=2 runs
# two at once).
# `make bench-e2e [OTHER="/path/to/program args"] [E2E_ARGS="--quick"]` measures the program end to
# end (latency, CPU, memory, start-up) on private X, D-Bus and sound servers, beside OTHER if given;
# `bench/e2e --help` lists E2E_ARGS.
# `make install [PREFIX=/usr/local] [DESTDIR=...]`, `make uninstall` and `make deb` install the
# program, remove it again, or build a Debian package of it.

PRESET ?= default
BUILD_DIR := build/$(PRESET)
ARGS ?=
SECONDS ?= 60
FUZZ_SMOKE ?= 2
JOBS ?= 1

.PHONY: all deps configure build run test fuzz bench bench-e2e install uninstall deb clean format

all: build

deps:
	@scripts/install-deps

$(BUILD_DIR)/build.ninja: CMakeLists.txt CMakePresets.json | deps
	cmake --preset $(PRESET)

configure: deps
	cmake --preset $(PRESET)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build --preset $(PRESET)

run: build
	$(BUILD_DIR)/src/app/tapwell $(ARGS)

test: build
	scripts/run-tests $(PRESET)
	JOBS=2 scripts/fuzz $(FUZZ_SMOKE)

# The seeds come partly from the built-in themes, which the default build synthesises.
fuzz: deps
	cmake --preset default >/dev/null
	cmake --build --preset default --target builtin_themes
	JOBS=$(JOBS) scripts/fuzz $(SECONDS)

bench: build
	@for b in $(BUILD_DIR)/bench/bench_*; do echo "== $$b"; $$b; done

# Only what the measured program needs: the binary, its themes and its string tables.
bench-e2e: deps $(BUILD_DIR)/build.ninja
	cmake --build --preset $(PRESET) --target tapwell tapwell_desktop builtin_themes tapwell_string_tables
	python3 bench/e2e_selfcheck.py
	bench/e2e --ours $(BUILD_DIR)/src/app/tapwell $(if $(OTHER),--other "$(OTHER)") $(E2E_ARGS)

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX))

uninstall:
	DESTDIR="$(DESTDIR)" cmake --build $(BUILD_DIR) --target uninstall

deb: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf build

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
