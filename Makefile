# Thin wrapper around CMake for people; CI calls `make test`.
# Tests run one at a time: many of them read pixels off the one virtual screen.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CTEST_TIMEOUT ?= 180
XVFB       = xvfb-run -a -s "-screen 0 1920x1080x24"
PKGS = cmake ninja-build g++ pkg-config libgtest-dev qt6-base-dev libopencv-dev libvlc-dev \
       vlc-plugin-base vlc-plugin-video-output libvlc-bin xvfb xauth x11-utils fonts-noto-cjk \
       libturbojpeg0-dev libjpeg62-turbo-dev libavformat-dev libavcodec-dev libavutil-dev \
       libudev-dev qt6-translations-l10n libsqlite3-dev poppler-utils fonts-dejavu-core \
       libdcmtk-dev dcmtk orthanc dicom3tools
BENCH_PKGS = ffmpeg
# Building and checking the Debian package (make package, the package test).
PACKAGE_PKGS = dpkg-dev file desktop-file-utils appstream

.PHONY: deps build run demo test package asan asan-test tsan tsan-test bench bench-deps screenshots format clean

# Installs only what is missing; apt-get update runs only when something must be installed.
define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  SUDO=; \
	  if [ "$$(id -u)" -ne 0 ]; then \
	    if ! command -v sudo >/dev/null 2>&1; then \
	      echo "Missing Debian packages:" $$missing; \
	      echo "make installs them only as root or through sudo, and sudo is not installed."; \
	      echo "Install them as root (for example after 'su -'), then run make again:"; \
	      echo "    apt-get update && apt-get install -y" $$missing; \
	      exit 1; \
	    fi; \
	    SUDO=sudo; \
	  fi; \
	  echo "Installing:" $$missing; \
	  $$SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PKGS) $(PACKAGE_PKGS))

bench-deps:
	$(call install_missing,$(BENCH_PKGS))

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: deps build
	./$(BUILD)/bin/quorvel

demo: deps build
	./$(BUILD)/bin/quorvel-demo

test: deps build
	cd $(BUILD) && $(XVFB) ctest --output-on-failure --timeout $(CTEST_TIMEOUT)

# The Debian package, into $(BUILD)/: sudo apt install ./$(BUILD)/quorvel_*.deb
package: deps build
	cd $(BUILD) && cpack -G DEB

asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=address,undefined
	cmake --build build-asan -j $(JOBS)

asan-test: asan
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  $(XVFB) ctest -LE package --output-on-failure --timeout $(CTEST_TIMEOUT)

tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=thread -DQUORVEL_TSAN_ONLY=ON
	cmake --build build-tsan -j $(JOBS) --target test_capture test_workstation

tsan-test: tsan
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/tsan.supp" $(XVFB) ctest -L 'capture|workstation' --output-on-failure --timeout $(CTEST_TIMEOUT)

bench: deps bench-deps build
	$(XVFB) ./$(BUILD)/bin/bench_capture
	$(XVFB) ./$(BUILD)/bin/bench_capture_window
	./$(BUILD)/bin/bench_analysis
	$(XVFB) ./$(BUILD)/bin/bench_review_sync
	./$(BUILD)/bin/bench_dicom

screenshots: deps build
	tools/screenshots.sh $(BUILD)

format:
	find app capture exam workstation playback analysis controls platform res tests bench tools \
	  -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan
