#!/usr/bin/env bash
# The Windows installer under Wine, as a chain's software distribution runs it: built with
# cpack -G NSIS from the Windows build, installed silently (/S) into a folder of the build's
# Wine prefix, the installed program's --version run, and the uninstaller run silently,
# after which nothing of the program is left in the folder.
#   nsis_install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build=$2
export WINEPREFIX="$build/wine"
run() { "$source_dir/scripts/wine-run" "$@"; }

cd "$build"
cpack -G NSIS >/dev/null
installer="$build/kalu-upgrade-24.03.20-win64.exe"
[ -f "$installer" ] || { echo "no installer $installer" >&2; exit 1; }

target='C:\kalu-upgrade-prueba'
folder="$WINEPREFIX/drive_c/kalu-upgrade-prueba"
rm -rf "$folder"
status=0
run "$installer" /S "/D=$target" || status=$?
[ "$status" -eq 0 ] || { echo "the silent installation ended with status $status" >&2; exit 1; }
for file in kalu-upgrade.exe xmz.exe libpq.dll libxml2.dll libcurl.dll zlib1.dll \
            doc/README.md schemas/run-report.schema.json Uninstall.exe; do
  [ -f "$folder/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done

version=$(run "$target\\kalu-upgrade.exe" --version | tr -d '\r')
[ "$version" = "kalu-upgrade 24.03.20" ] || { echo "--version printed '$version'" >&2; exit 1; }

# The uninstaller runs in place (_?=) so that it ends before the check, then goes itself.
# It runs with Wine's own zlib: with the one beside it, Wine's system DLLs would load that
# one and keep the uninstaller from removing it (Windows's system DLLs load no zlib).
WINEDLLOVERRIDES=zlib1=b run "$target\\Uninstall.exe" /S "_?=$target" || status=$?
[ "$status" -eq 0 ] || { echo "the silent uninstallation ended with status $status" >&2; exit 1; }
rm -f "$folder/Uninstall.exe"
rmdir "$folder" 2>/dev/null || true
if [ -e "$folder" ]; then
  echo "left after uninstalling:" >&2
  find "$folder" >&2
  exit 1
fi
echo "installed, ran kalu-upgrade 24.03.20 and uninstalled silently"
