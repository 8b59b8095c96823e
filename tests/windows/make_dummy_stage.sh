#!/usr/bin/env bash
# Stand-ins for the packaging tests while the real programs are not built: rivect.exe,
# rivect-hostsim.exe and rivect-laps.exe in STAGE_DIR, which use the C++ runtime and threads as
# the real ones do, and a stand-in Qt prefix in QT_DIR (Qt6Core, Qt6Gui, the platform plugin
# and the licence folder) that rivect.exe links against. rivect.exe also needs Qt6Xml.dll,
# which today's programs do not: packed, it stands for an older version with a file that a
# newer one no longer ships.
# Usage: tests/windows/make_dummy_stage.sh STAGE_DIR QT_DIR
set -euo pipefail
stage=$1
qt=$2
cc=x86_64-w64-mingw32-gcc-posix
cxx=x86_64-w64-mingw32-g++-posix
mkdir -p "$stage" "$qt/bin" "$qt/plugins/platforms" "$qt/share/rivect-qt-licence"
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT

echo '__declspec(dllexport) int qtCore(void) { return 1; }' >"$src/core.c"
echo '__declspec(dllimport) int qtCore(void); __declspec(dllexport) int qtGui(void) { return qtCore() + 1; }' >"$src/gui.c"
echo '__declspec(dllimport) int qtGui(void); __declspec(dllexport) int qtPlugin(void) { return qtGui(); }' >"$src/plugin.c"
echo '__declspec(dllexport) int qtXml(void) { return 1; }' >"$src/xml.c"
$cc -shared -o "$qt/bin/Qt6Core.dll" "$src/core.c" -Wl,--out-implib,"$src/libQt6Core.a"
$cc -shared -o "$qt/bin/Qt6Gui.dll" "$src/gui.c" "$src/libQt6Core.a" -Wl,--out-implib,"$src/libQt6Gui.a"
$cc -shared -o "$qt/plugins/platforms/qwindows.dll" "$src/plugin.c" "$src/libQt6Gui.a"
$cc -shared -o "$qt/bin/Qt6Xml.dll" "$src/xml.c" -Wl,--out-implib,"$src/libQt6Xml.a"
echo "GNU LESSER GENERAL PUBLIC LICENSE (stand-in)" >"$qt/share/rivect-qt-licence/LICENSE.LGPL3"
echo "qt6-base 6.4.2+dfsg-10 (stand-in)" >"$qt/share/rivect-qt-licence/SOURCES"

cat >"$src/program.cpp" <<'CPP'
#include <cstdio>
#include <string>
#include <thread>
#ifdef WITH_GUI
extern "C" __declspec(dllimport) int qtGui(void);
extern "C" __declspec(dllimport) int qtXml(void);
#endif
int main(int argc, char **argv)
{
    std::string name(argc > 0 ? argv[0] : "program");
    int gui = 0;
#ifdef WITH_GUI
    gui = qtGui() + qtXml();
#endif
    std::thread worker([&] { std::printf("%s stand-in %d\n", name.c_str(), gui); });
    worker.join();
    return 0;
}
CPP
$cxx -O1 -DWITH_GUI -o "$stage/rivect.exe" "$src/program.cpp" "$src/libQt6Gui.a" "$src/libQt6Xml.a"
$cxx -O1 -o "$stage/rivect-hostsim.exe" "$src/program.cpp"
$cxx -O1 -o "$stage/rivect-laps.exe" "$src/program.cpp"
