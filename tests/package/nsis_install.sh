#!/usr/bin/env bash
# The Windows installer under Wine, as a chain's software distribution runs it: built with
# cpack -G NSIS from the Windows build; refused, with status 2, where the Visual C++ runtime
# is missing; installed silently (/S) into a folder of the build's Wine prefix, the
# installed program's --version run, and the uninstaller run silently, after which nothing
# of the program is left in the folder.
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

# The installer and the uninstaller run with Wine's own zlib: Wine's system DLLs load zlib1
# (Windows's do not), and with the one that sits beside the installer they would need the
# Visual C++ runtime before the installer's check, or keep the uninstaller from removing it.
export WINEDLLOVERRIDES=zlib1=b
target='C:\kalu-upgrade-prueba'
folder="$WINEPREFIX/drive_c/kalu-upgrade-prueba"
rm -rf "$folder"

# Without the Visual C++ runtime the installer names it and ends with status 2, installing
# nothing.
runtime="$WINEPREFIX/drive_c/windows/system32/vcruntime140.dll"
run cmd /c exit >/dev/null 2>&1 || true  # the prefix exists
mv "$runtime" "$runtime.kalu-hidden"
trap 'mv "$runtime.kalu-hidden" "$runtime"' EXIT
status=0
run "$installer" /S "/D=$target" || status=$?
mv "$runtime.kalu-hidden" "$runtime"
trap - EXIT
[ "$status" -eq 2 ] || { echo "without the runtime the installer ended with $status" >&2; exit 1; }
[ ! -e "$folder" ] || { echo "without the runtime the installer installed" >&2; exit 1; }

status=0
run "$installer" /S "/D=$target" || status=$?
[ "$status" -eq 0 ] || { echo "the silent installation ended with status $status" >&2; exit 1; }
for file in kalu-upgrade.exe xmz.exe libpq.dll libxml2.dll libcurl.dll zlib1.dll \
            doc/README.md schemas/run-report.schema.json Uninstall.exe; do
  [ -f "$folder/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done

version=$(WINEDLLOVERRIDES= run "$target\\kalu-upgrade.exe" --version | tr -d '\r')
[ "$version" = "kalu-upgrade 24.03.20" ] || { echo "--version printed '$version'" >&2; exit 1; }

# The uninstaller runs in place (_?=) so that it ends before the check, then goes itself.
run "$target\\Uninstall.exe" /S "_?=$target" || status=$?
[ "$status" -eq 0 ] || { echo "the silent uninstallation ended with status $status" >&2; exit 1; }
rm -f "$folder/Uninstall.exe"
rmdir "$folder" 2>/dev/null || true
if [ -e "$folder" ]; then
  echo "left after uninstalling:" >&2
  find "$folder" >&2
  exit 1
fi
echo "installed, ran kalu-upgrade 24.03.20 and uninstalled silently"
