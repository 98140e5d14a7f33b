#!/usr/bin/env bash
# The Windows installer under Wine, as a chain's software distribution runs it: built with
# cpack -G NSIS from the Windows build and signed with a throwaway certificate; refused,
# with status 2, where the Visual C++ runtime is missing, and with status 3 when the store's
# folder of /TIENDA= does not exist; installed silently (/S) into a folder of the build's
# Wine prefix with the store's folder, every program, DLL and the uninstaller signed, the
# installed program's --version run, the operator's shortcuts (Start menu, desktop) read as
# the shell reads them, the window program started outside a store's folder; and the
# uninstaller run silently, after which nothing of the program and its shortcuts is left.
#   nsis_install.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build=$2
export WINEPREFIX="$build/wine"
run() { "$source_dir/scripts/wine-run" "$@"; }
fail() {
  echo "$*" >&2
  exit 1
}

# A throwaway code-signing certificate of the test's own, named as a chain names its own.
keys="$build/nsis-signing"
rm -rf "$keys"
mkdir -p "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
  -subj "/CN=Cadena de prueba" -addext extendedKeyUsage=codeSigning 2>/dev/null
echo "secreto de prueba" >"$keys/password"
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/chain.p12" \
  -passout "file:$keys/password"
signed() { osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" >/dev/null 2>&1; }
# Without a certificate named, nothing is signed.
cp "$build/xmz.exe" "$keys/unsigned.exe"
"$source_dir/scripts/sign-windows" "$keys/unsigned.exe"
cmp -s "$build/xmz.exe" "$keys/unsigned.exe" || fail "sign-windows changed a file with no certificate named"

cd "$build"
KALU_SIGN_PKCS12="$keys/chain.p12" KALU_SIGN_PASSWORD_FILE="$keys/password" cpack -G NSIS >/dev/null
installer="$build/kalu-upgrade-24.03.20-win64.exe"
[ -f "$installer" ] || fail "no installer $installer"
signed "$installer" || fail "the installer is not signed"

# The installer and the uninstaller run with Wine's own zlib: Wine's system DLLs load zlib1
# (Windows's do not), and with the one that sits beside the installer they would need the
# Visual C++ runtime before the installer's check, or keep the uninstaller from removing it.
export WINEDLLOVERRIDES=zlib1=b
target='C:\kalu-upgrade-prueba'
folder="$WINEPREFIX/drive_c/kalu-upgrade-prueba"
store='C:\Tienda Centro'
store_folder="$WINEPREFIX/drive_c/Tienda Centro"
rm -rf "$folder" "$store_folder"
shortcuts() { find "$WINEPREFIX/drive_c" -name 'kalu-upgrade 24.03.20.lnk' | sort; }
[ -z "$(shortcuts)" ] || fail "shortcuts left by an earlier run: $(shortcuts)"

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
[ "$status" -eq 2 ] || fail "without the runtime the installer ended with $status"
[ ! -e "$folder" ] || fail "without the runtime the installer installed"

# A store's folder that does not exist: status 3, nothing installed.
status=0
run "$installer" /S "/TIENDA=$store" "/D=$target" || status=$?
[ "$status" -eq 3 ] || fail "with a store's folder that does not exist the installer ended with $status"
[ ! -e "$folder" ] || fail "with a store's folder that does not exist the installer installed"

mkdir -p "$store_folder"
echo "[ODBC]" >"$store_folder/Kalu.dsn"
status=0
run "$installer" /S "/TIENDA=$store" "/D=$target" || status=$?
[ "$status" -eq 0 ] || fail "the silent installation ended with status $status"
for file in kalu-upgrade.exe kalu-upgradew.exe xmz.exe libpq.dll libxml2.dll libcurl.dll \
            zlib1.dll doc/README.md schemas/run-report.schema.json Uninstall.exe; do
  [ -f "$folder/$file" ] || fail "not installed: $file"
done
for file in kalu-upgrade.exe kalu-upgradew.exe xmz.exe libpq.dll zlib1.dll Uninstall.exe; do
  signed "$folder/$file" || fail "installed without its signature: $file"
done

version=$(WINEDLLOVERRIDES= run "$target\\kalu-upgrade.exe" --version | tr -d '\r')
[ "$version" = "kalu-upgrade 24.03.20" ] || fail "--version printed '$version'"

# The shortcuts, in the Start menu and on the desktop, start the window program in the
# store's folder.
[ "$(shortcuts | wc -l)" -eq 2 ] || fail "the shortcuts are not two: $(shortcuts)"
while read -r link; do
  read_back=$(run "$build/read_shortcut.exe" "$(winepath -w "$link" 2>/dev/null)" | tr -d '\r')
  expected=$(printf '%s\n%s' "$target\\kalu-upgradew.exe" "$store")
  [ "$read_back" = "$expected" ] || fail "the shortcut $link starts '$read_back'"
done < <(shortcuts)

# The window program started outside a store's folder, in a folder that cannot take the
# log: it says so in its window at once, before anything else, and ends with status 1; the
# log goes to the user's local application data folder.
outside="$WINEPREFIX/drive_c/fuera"
rm -rf "$outside" "$WINEPREFIX"/drive_c/users/*/AppData/Local/kalu-upgrade
mkdir -p "$outside/kalu-upgrade.log"
status=0
(cd "$outside" && KALU_MESSAGE_TIMEOUT_MS=200 WINEDLLOVERRIDES= run "$target\\kalu-upgradew.exe") \
  || status=$?
[ "$status" -eq 1 ] || fail "the window program outside a store's folder ended with $status"
aside=$(find "$WINEPREFIX"/drive_c/users/*/AppData/Local/kalu-upgrade -name kalu-upgrade.log)
[ -n "$aside" ] || fail "no log in the local application data folder"
grep -q "La bitácora se escribe en C:\\\\users\\\\.*\\\\AppData\\\\Local\\\\kalu-upgrade\\\\kalu-upgrade.log: no se puede escribir en C:\\\\fuera\\\\kalu-upgrade.log" "$aside" \
  || fail "the log aside does not say why: $(cat "$aside")"
grep -q "Mensaje: No se encontró Kalu.dsn en la carpeta C:\\\\fuera: inicie el programa desde la carpeta de la tienda" "$aside" \
  || fail "the window did not say that the folder is no store's: $(cat "$aside")"
grep -q "Pantalla: ventana" "$aside" || fail "the window program did not open its window"
! grep -q "Presione ACEPTAR" "$aside" || fail "the run went on outside a store's folder"

# The uninstaller runs in place (_?=) so that it ends before the check, then goes itself.
status=0
run "$target\\Uninstall.exe" /S "_?=$target" || status=$?
[ "$status" -eq 0 ] || fail "the silent uninstallation ended with status $status"
rm -f "$folder/Uninstall.exe"
rmdir "$folder" 2>/dev/null || true
if [ -e "$folder" ]; then
  echo "left after uninstalling:" >&2
  find "$folder" >&2
  exit 1
fi
[ -z "$(shortcuts)" ] || fail "shortcuts left after uninstalling: $(shortcuts)"
[ -f "$store_folder/Kalu.dsn" ] || fail "the uninstaller touched the store's folder"
rm -rf "$store_folder" "$outside" "$keys" "$(dirname "$aside")"
echo "installed signed with the store's shortcuts, ran kalu-upgrade 24.03.20 and uninstalled silently"
