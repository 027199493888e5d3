#!/usr/bin/env bash
# Sets up a Debian 12 machine for the metronome, builds it, and runs it or its tests.
#   ./metro.sh run    install what is missing, build, start the metronome
#   ./metro.sh test   install what is missing, build, run every test (also under
#                     AddressSanitizer and UndefinedBehaviorSanitizer), the window-to-audio
#                     hand-over and a lost sound device under ThreadSanitizer, and the
#                     wave-file fuzzer for a minute
set -euo pipefail
cd "$(dirname "$0")"

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libsdl2-dev libpulse-dev fonts-liberation
    libgtest-dev clang libclang-rt-14-dev
    xvfb xdotool x11-utils imagemagick openbox icewm weston qt6-wayland
    desktop-file-utils appstream dpkg-dev strace file lintian
    pulseaudio pulseaudio-utils
    python3-pyatspi at-spi2-core dbus
)
# Only the tests: they also play through a private PipeWire, as current desktops run it (and
# build the bench's PipeWire sink with latency of its own).
test_packages=(pipewire pipewire-pulse wireplumber dbus-daemon libpipewire-0.3-dev)

install_missing() { # extra packages...
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

build() { # build-dir cmake-options...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
}

case "${1:-}" in
run)
    install_missing
    build build-release -DCMAKE_BUILD_TYPE=Release -DMETRO_TESTS=OFF -DMETRO_BENCH=OFF
    exec build-release/bin/metronome
    ;;
test)
    install_missing "${test_packages[@]}"
    build build -DMETRO_WERROR=ON
    ctest --test-dir build --output-on-failure -j2
    build build-asan -DMETRO_WERROR=ON -DMETRO_SANITIZE=ON -DMETRO_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j2 -LE package
    # Hostile wave files for a fixed time, under AddressSanitizer.
    CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DMETRO_FUZZ=ON -DMETRO_SANITIZE=ON \
        -DMETRO_BENCH=OFF -DMETRO_TESTS=ON >/dev/null
    cmake --build build-fuzz --target fuzz_WaveDecoder
    mkdir -p build-fuzz/corpus
    build-fuzz/bin/fuzz_WaveDecoder -max_total_time="${METRO_FUZZ_SECONDS:-60}" \
        -print_final_stats=1 build-fuzz/corpus 2>&1 | tail -n 12
    # The threads that share the mixer, under ThreadSanitizer.
    cmake -S . -B build-tsan -G Ninja -DMETRO_WERROR=ON -DMETRO_TSAN=ON -DMETRO_BENCH=OFF \
        >/dev/null
    cmake --build build-tsan --target test_Cls_DX7_JP test_Mixer test_HeardClock test_SdlAudioOutput \
        test_PulseAudioOutput test_heard_clicks
    ctest --test-dir build-tsan --output-on-failure \
        -R 'HandOver|Mixer|SdlAudioOutput|PulseAudioOutput|Heard|ChangeBeforeAClick'
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
