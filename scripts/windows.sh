#!/usr/bin/env bash
# Builds Rivect for 64-bit Windows on Debian 12: installs what is missing, builds (or reuses) Qt
# for Windows, cross-builds rivect.exe, rivect-hostsim.exe and rivect-laps.exe with their tests,
# and packs build/windows/Rivect-<version>-win64.zip and build/windows/Rivect-<version>-setup.exe.
#   bash scripts/windows.sh          build and pack
#   bash scripts/windows.sh --test   then run the Windows tests under Wine, inside the sandbox
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=0
[ "${1:-}" = "--test" ] && run_tests=1

bash scripts/setup.sh g++-mingw-w64-x86-64-posix wine wine64 nsis zip xz-utils
qt="$(bash scripts/windows_qt.sh | tail -n1)"
version="$(sed -n 's/^project(Rivect VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
# The installed Windows client is tested against the Linux simulator.
bash scripts/build.sh release rivect-hostsim

out="$PWD/build/windows"
cmake -S . -B "$out/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/packaging/windows/mingw64.cmake" \
  -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DRIVECT_TESTS=ON \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine_run.sh" \
  -DRIVECT_PACKAGE_DIR="$out" -DRIVECT_LINUX_HOSTSIM="$PWD/build/release/tools/hostsim/rivect-hostsim" >/dev/null
cmake --build "$out/build" -j "$(nproc)"
rm -rf "$out/stage"
cmake --install "$out/build" --prefix "$out/stage" >/dev/null
RIVECT_QT_PREFIX="$qt" bash scripts/windows_pack.sh "$out/stage" "$out" "$version"
ls -l "$out"/Rivect-"$version"-*

if [ "$run_tests" = 1 ]; then
  RIVECT_QT_PREFIX="$qt" exec bash scripts/sandbox.sh bash scripts/windows_test.sh "$out/build"
fi
