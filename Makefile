# Entry points of the project. Every target installs nothing by hand: `deps`
# brings the Debian packages, the others build with CMake + Ninja.

BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

# Debian packages the build, the tests and the benchmarks need.
PACKAGES = build-essential cmake ninja-build pkg-config \
           libgtest-dev libgmock-dev libbenchmark-dev libssl-dev \
           libsdl2-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core \
           libstb-dev xvfb xauth libpugixml-dev \
           libcurl4-openssl-dev libgps-dev curl \
           libavformat-dev libavcodec-dev libavutil-dev libswresample-dev

# The benchmarks compare the decoder with these players; they are not
# needed to build or run anything.
BENCH_PACKAGES = mpv ffmpeg

# The fuzz targets need clang with its libFuzzer runtime.
FUZZ_PACKAGES = clang libclang-rt-14-dev

.PHONY: all deps build install run test test-asan test-tsan bench fuzz demo clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	else \
	  echo "all packages present"; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The device file system, as the platform finds it.
DEVICE_ROOT ?= $(or $(ORVI_DEVICE_ROOT),$(or $(XDG_DATA_HOME),$(HOME)/.local/share)/orvi-device)
PROGRAM_DIR = $(DEVICE_ROOT)/Program Files/Calvaro

# Installs the program and its default environment file into the device's
# "\Program Files\Calvaro\"; an environment file already there is kept.
install: deps build
	mkdir -p "$(PROGRAM_DIR)"
	install -m 755 $(BUILD)/Calvaro "$(PROGRAM_DIR)/Calvaro"
	install -m 644 resources/Calvaro/Calvaro.xml "$(PROGRAM_DIR)/Calvaro.xml"

# Runs the installed program (a desktop window, or headless without a display).
run: install
	ORVI_DEVICE_ROOT="$(DEVICE_ROOT)" "$(PROGRAM_DIR)/Calvaro"

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	$(MAKE) test BUILD=build-asan CMAKE_ARGS="-DORVI_SANITIZE=address -DORVI_BUILD_BENCH=OFF"

test-tsan: deps
	$(MAKE) test BUILD=build-tsan CMAKE_ARGS="-DORVI_SANITIZE=thread -DORVI_BUILD_BENCH=OFF"

BENCH_ARGS = --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

bench: deps build
	$(MAKE) deps PACKAGES="$(PACKAGES) $(BENCH_PACKAGES)"
	$(BUILD)/bench/orvi_bench_kernel $(BENCH_ARGS)
	ORVI_DISPLAY=headless ORVI_DEVICE_ROOT=$$(mktemp -d) $(BUILD)/bench/orvi_bench_gdi $(BENCH_ARGS)
	bench/display/idle-cpu.sh $(BUILD)/tools/orvi-demo 10
	$(BUILD)/bench/orvi_bench_net $(BENCH_ARGS)
	$(BUILD)/bench/orvi_bench_directory $(BENCH_ARGS)
	ORVI_DEVICE_ROOT=$$(mktemp -d) $(BUILD)/bench/orvi_bench_playback

# Builds every target in fuzz/ with clang, libFuzzer, ASan and UBSan, and runs
# each for FUZZ_SECONDS from its seeds (the corpus grows in build-fuzz/).
FUZZ_SECONDS ?= 300

fuzz:
	$(MAKE) deps PACKAGES="$(PACKAGES) $(FUZZ_PACKAGES)"
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DORVI_FUZZ=ON \
	  -DORVI_BUILD_TESTS=OFF -DORVI_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS)
	set -e; for src in fuzz/*.cpp; do \
	  name=$$(basename $$src .cpp); \
	  mkdir -p build-fuzz/corpus/$$name; \
	  echo "== $$name for $(FUZZ_SECONDS) s"; \
	  build-fuzz/fuzz/$$name -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    build-fuzz/corpus/$$name fuzz/corpus/$$name; \
	done

# The demo window on the desktop (sdl display), or headless without one.
demo: deps build
	$(BUILD)/tools/orvi-demo

clean:
	rm -rf build build-asan build-tsan build-fuzz
