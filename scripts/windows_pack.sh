#!/usr/bin/env bash
# Packs the cross-built Windows programs into a zip and an installer.
#
#   scripts/windows_pack.sh STAGE_DIR OUT_DIR VERSION
#
# STAGE_DIR holds rivect.exe, rivect-hostsim.exe and rivect-laps.exe. Added beside them: every
# DLL they need from the Qt prefix ($RIVECT_QT_PREFIX, default ~/.cache/rivect/qt-6.4.2-mingw64)
# and from the mingw runtime, found by following the DLL imports; Qt's platform plugins (the
# window program's Windows one, the chart tool's offscreen one) and Qt's Japanese texts
# (Debian's qtbase_ja.qm, the same file on every OS) with a qt.conf that points Qt at them; the
# licences of what is shipped, a note on where Qt's source comes from; the crews' README.txt
# (packaging/windows/README.txt) and the SECURITY notes. Writes OUT_DIR/Rivect-VERSION-win64.zip and
# OUT_DIR/Rivect-VERSION-setup.exe. STAGE_DIR itself is left as it is.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 STAGE_DIR OUT_DIR VERSION" >&2
  exit 2
fi
stage=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
version=$3
root=$(cd "$(dirname "$0")/.." && pwd)
qt=${RIVECT_QT_PREFIX:-$HOME/.cache/rivect/qt-6.4.2-mingw64}
objdump=x86_64-w64-mingw32-objdump
# Where a DLL that is not ours must come from: Qt, then the compiler's and mingw's runtime.
search=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
# A DLL found nowhere else must be part of Windows; Wine's copies of those are the list.
system_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

fail() {
  echo "windows_pack: $*" >&2
  exit 1
}

[[ $version =~ ^[0-9]+\.[0-9]+$ ]] || fail "version '$version' is not of the form 1.00"
for exe in rivect.exe rivect-hostsim.exe rivect-laps.exe; do
  [ -f "$stage/$exe" ] || fail "$stage has no $exe"
done
for tool in "$objdump" makensis zip; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/windows.sh installs it)"
done

work="$out/pack"
rm -rf "$work"
dest="$work/Rivect"
mkdir -p "$dest"
cp "$stage"/rivect.exe "$stage"/rivect-hostsim.exe "$stage"/rivect-laps.exe "$dest/"

find_dll() {
  local name=$1 dir hit
  for dir in "${search[@]}"; do
    hit=$(find "$dir" -maxdepth 1 -iname "$name" -print -quit 2>/dev/null)
    if [ -n "$hit" ]; then
      echo "$hit"
      return 0
    fi
  done
  return 1
}

declare -A shipped=()  # lower-case DLL name -> where it came from
# follow_imports PE...: copies every DLL the files need, and what those need, into $dest.
follow_imports() {
  local queue=("$@") file name key source
  while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    while read -r name; do
      key=${name,,}
      [ -n "${shipped[$key]:-}" ] && continue
      if source=$(find_dll "$name"); then
        shipped[$key]=$source
        cp "$source" "$dest/$(basename "$source")"
        # Debian's mingw runtime DLLs carry their debugging sections (libstdc++ is 23 MB).
        x86_64-w64-mingw32-strip --strip-unneeded "$dest/$(basename "$source")"
        queue+=("$dest/$(basename "$source")")
      elif [[ $key == api-ms-win-* || $key == ext-ms-* ]] \
           || [ -n "$(find "$system_dlls" -maxdepth 1 -iname "$name" -print -quit)" ]; then
        # api-ms-win-* and ext-ms-* name sets of Windows' own functions, not files to ship.
        shipped[$key]=system
      else
        fail "$(basename "$file") needs $name, found neither in ${search[*]} nor among Windows' own DLLs"
      fi
    done < <("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
  done
}

follow_imports "$dest"/*.exe
mkdir -p "$dest/licences"

uses_qt=no
if [ -n "${shipped[qt6gui.dll]:-}" ]; then
  uses_qt=yes
  # Qt looks for plugins under the prefix that qt.conf names, relative to the program's folder.
  # rivect.exe opens windows; rivect-laps.exe draws without a screen and asks for the offscreen
  # platform, without which it cannot even print its help (Qt stops in a message box instead).
  mkdir -p "$dest/plugins/platforms"
  for name in qwindows qoffscreen; do
    plugin="$qt/plugins/platforms/$name.dll"
    if [ ! -f "$plugin" ]; then
      [ $name = qwindows ] && fail "Qt's Windows platform plugin $plugin is missing"
      echo "windows_pack: WARNING: $plugin is missing: rivect-laps.exe will not start" >&2
      continue
    fi
    cp "$plugin" "$dest/plugins/platforms/"
    x86_64-w64-mingw32-strip --strip-unneeded "$dest/plugins/platforms/$name.dll"
    follow_imports "$dest/plugins/platforms/$name.dll"
  done
  # The offscreen platform on Windows reads fonts from one folder only, lib/fonts under the
  # prefix (not Windows' Fonts): without one the chart's Japanese titles are empty boxes.
  # IPAPGothic is the face the chart asks for first; its licence allows passing it on.
  if [ -f "$dest/plugins/platforms/qoffscreen.dll" ]; then
    font=/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf
    [ -f "$font" ] || fail "$font is missing (scripts/setup.sh installs fonts-ipafont-gothic)"
    mkdir -p "$dest/lib/fonts"
    cp "$font" "$dest/lib/fonts/"
    cp /usr/share/doc/fonts-ipafont-gothic/copyright "$dest/licences/fonts-ipafont-gothic.txt"
  fi
  # Qt's own texts (the message boxes' standard buttons) in Japanese. The file holds no
  # dependencies on other catalogues; Debian's qt6-translations-l10n (scripts/setup.sh) has it.
  qm=/usr/share/qt6/translations/qtbase_ja.qm
  [ -f "$qm" ] || fail "$qm is missing (scripts/setup.sh installs qt6-translations-l10n)"
  mkdir -p "$dest/translations"
  cp "$qm" "$dest/translations/"
  cp /usr/share/doc/qt6-translations-l10n/copyright "$dest/licences/qt6-translations-l10n.txt"
  printf '[Paths]\r\nPrefix = .\r\nPlugins = plugins\r\nTranslations = translations\r\n' >"$dest/qt.conf"
elif [ -n "${shipped[qt6core.dll]:-}" ]; then
  uses_qt=yes
fi

# Licences: Qt's texts as its build left them, and the Debian copyright files of the packages
# whose runtime DLLs are shipped.
if [ $uses_qt = yes ]; then
  licences="$qt/share/rivect-qt-licence"
  [ -f "$licences/SOURCES" ] || fail "$licences/SOURCES is missing: Qt's licences cannot be shipped"
  mkdir -p "$dest/licences/Qt"
  cp -r "$licences"/. "$dest/licences/Qt/"
  {
    echo "Rivect uses Qt 6.4.2 (Qt Core, Gui, Widgets and Network), under the GNU LGPL version 3;"
    echo "the licence texts are in this folder. This Qt was built for Windows from the Debian"
    echo "source package qt6-base 6.4.2 (Debian 12), without changes to what it does:"
    echo
    cat "$licences/SOURCES"
    echo
    echo "Its source is the Debian source package: \"apt-get source qt6-base\" on Debian 12, or"
    echo "https://packages.debian.org/source/bookworm/qt6-base. You may replace the Qt DLLs in the"
    echo "program folder with your own build of the same version."
  } >"$dest/licences/Qt/README.txt"
fi
for key in "${!shipped[@]}"; do
  source=${shipped[$key]}
  case $source in system | "$qt"/*) continue ;; esac
  package=$(dpkg -S "$source" 2>/dev/null | head -n1 | cut -d: -f1) || true
  [ -n "$package" ] && [ -f "/usr/share/doc/$package/copyright" ] ||
    fail "no Debian copyright file for $source"
  cp "/usr/share/doc/$package/copyright" "$dest/licences/$package.txt"
done

# Notes for Notepad: Windows line ends. The crews' README is written for them, in Japanese, and
# already has a byte-order mark and Windows line ends.
cp "$root/packaging/windows/README.txt" "$dest/README.txt"
sed 's/$/\r/' "$root/SECURITY.md" >"$dest/SECURITY.txt"

# The installer's file list: one File line each, and the matching Delete lines, deepest folder
# removed first.
files_nsh="$work/files.nsh"
{
  echo "!macro RivectInstallFiles"
  (cd "$dest" && find . -type d | sort) | while read -r dir; do
    rel=${dir#./}
    [ "$dir" = . ] && win='$INSTDIR' || win='$INSTDIR\'"${rel//\//\\}"
    echo "  SetOutPath \"$win\""
    (cd "$dest/$dir" && find . -maxdepth 1 -type f | sort) | while read -r f; do
      echo "  File \"$dest/${dir#./}/${f#./}\""
    done
  done
  echo "!macroend"
  echo "!macro RivectUninstallFiles"
  (cd "$dest" && find . -type f | sort) | while read -r f; do
    rel=${f#./}
    echo "  Delete \"\$INSTDIR\\${rel//\//\\}\""
  done
  (cd "$dest" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
    rel=${dir#./}
    echo "  RMDir \"\$INSTDIR\\${rel//\//\\}\""
  done
  echo "!macroend"
} >"$files_nsh"
sed -i 's#/\./#/#g' "$files_nsh"

zipfile="$out/Rivect-$version-win64.zip"
setup="$out/Rivect-$version-setup.exe"
rm -f "$zipfile" "$setup"
(cd "$work" && zip -q -r -X "$zipfile" Rivect)

major=${version%%.*}
minor=$((10#${version#*.}))
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION_QUAD="$major.$minor.0.0" -DSTAGE="$dest" \
  -DFILES="$files_nsh" -DOUTFILE="$setup" -DSIZE_KB="$(du -sk "$dest" | cut -f1)" \
  "$root/packaging/windows/rivect.nsi"
echo "windows_pack: $(ls -l "$zipfile" | awk '{print $5}') bytes $zipfile"
echo "windows_pack: $(ls -l "$setup" | awk '{print $5}') bytes $setup"
