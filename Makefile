# The two commands of the quick start: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
# CI builds with WERROR=ON: every compiler warning is an error there; and with CI=ON: a test that
# cannot run for want of a tool or a right fails rather than being skipped.
WERROR     ?= OFF
CI_OPTION  := $(if $(filter ON on true TRUE 1 yes,$(CI)),ON,OFF)
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PACKAGES := cmake make g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqscintilla2-qt6-dev \
            qt6-webengine-dev libgl-dev libbenchmark-dev clang-14 libclang-rt-14-dev \
            libx11-dev xvfb xauth openbox xdotool x11-utils x11-xkb-utils desktop-file-utils \
            appstream fonts-dejavu-core imagemagick python3 clang-format acl attr \
            dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0 libxdamage-dev libxtst-dev

.PHONY: deps configure build run test bench asan fuzz screenshots format clean

# Installs the Debian packages that are missing, and only when something is missing.
deps:
	@missing=$$(for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing missing packages:" $$missing; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DVORNEX_BENCH=ON -DVORNEX_WERROR=$(WERROR) -DVORNEX_CI=$(CI_OPTION)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/vornex-ide

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	scripts/run-benchmarks.sh $(BUILD)

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVORNEX_SANITIZE=ON -DVORNEX_WERROR=$(WERROR) -DVORNEX_CI=$(CI_OPTION)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

fuzz: deps
	CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNEX_GUI=OFF \
	  -DVORNEX_TESTS=OFF -DVORNEX_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS)
	scripts/run-fuzzer.sh build-fuzz $(or $(FUZZ_SECONDS),600)

screenshots: build
	scripts/screenshots.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
