#!/usr/bin/env bash
# One-step set-up for a fresh Debian 12 machine: installs what is missing, builds, then
# either starts the editor ("run") or runs every test ("test"). Safe to run again.
#   tools/setup.sh run   [project.rem]       starts the editor on the project; without one,
#                                            on the sample project, made once (as
#                                            tools/make-sample.sh makes it) in the user's
#                                            data folder
#   tools/setup.sh test  [build folder]
#   tools/setup.sh sanitize [build folder]   Debug build under AddressSanitizer and
#                                            UndefinedBehaviorSanitizer, tests without timing
#   tools/setup.sh bench [build folder]      also installs the packaged songs of the
#                                            real-music set, prepares it and runs beatbench
# The build folder of "run" is VK_BUILD (default: build), e.g.
#   VK_BUILD=/tmp/vk-build tools/setup.sh run
set -euo pipefail

mode="${1:-run}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
project=""
if [ "$mode" = run ]; then
  project="${2:-}"
  if [ -d "$project" ]; then
    echo "$0: $project is a folder; the build folder of run is given as VK_BUILD=$project" >&2
    exit 2
  fi
  case "$project" in
    "" | /*) ;;
    *) project="$PWD/$project" ;;
  esac
  build="${VK_BUILD:-$here/build}"
  config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
elif [ "$mode" = sanitize ]; then
  build="${2:-$here/build-sanitize}"
  config=(-DCMAKE_BUILD_TYPE=Debug -DVK_SANITIZE=ON)
else
  build="${2:-$here/build}"
  config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
fi

packages=(
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6opengl6-dev libgl-dev libgl1-mesa-dri
  libmpv-dev libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libswresample-dev libqm-dsp-dev
  libpugixml-dev libgtest-dev googletest
  libmlt++-dev libmlt-dev libmlt7 melt libmlt-data libsdl2-dev
  ffmpeg fonts-ipafont-gothic locales
  xvfb xauth x11-utils xdotool imagemagick dbus-bin dbus-daemon
  qt6-translations-l10n desktop-file-utils appstream shared-mime-info dpkg-dev file
  clang-16 libclang-rt-16-dev libfuzzer-16-dev
)

# The real-music set of beatbench: recorded songs with the note charts written to them.
# Only the benchmark uses them; neither the editor nor the tests need them.
if [ "$mode" = bench ]; then
  packages+=(fretsonfire-songs-muldjord fretsonfire-songs-sectoid)
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The comma-decimal locale the locale tests write and read numbers in; without it each
# of them compiles one of its own first.
if [ "$mode" = test ] || [ "$mode" = sanitize ]; then
  if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "de_DE.UTF-8 could not be made"
  fi
fi

cmake -S "$here" -B "$build" "${config[@]}"
cmake --build "$build" -j"$(nproc)"

case "$mode" in
  run)
    if [ -z "$project" ]; then
      # The sample shows what the program does; it is made on the first run only and
      # kept (with its songs and videos) where the editor keeps its own data.
      sample="${XDG_DATA_HOME:-$HOME/.local/share}/TALMOR/videokadro/sample"
      project="$sample/sample.rem"
      if [ ! -f "$project" ]; then
        echo "Making the sample project in $sample"
        "$here/tools/make-sample.sh" "$sample" >/dev/null
      fi
    fi
    exec "$build/bin/videokadro" "$project"
    ;;
  test)
    cd "$build"
    ctest --output-on-failure --timeout 900 -j"$(nproc)"
    ;;
  sanitize)
    cd "$build"
    # Tests labelled "timing" measure against the wall clock; the sanitizers slow every
    # call several times over, so those run only in the plain build.
    ctest --output-on-failure --timeout 1800 -j"$(nproc)" -LE timing
    ;;
  bench)
    "$here/tools/realmusic.sh" "$build/realmusic"
    exec "$build/bin/beatbench" --songs "$build/realmusic"
    ;;
  *)
    echo "usage: $0 run [project.rem] | test|sanitize|bench [build folder]" >&2
    exit 2
    ;;
esac
