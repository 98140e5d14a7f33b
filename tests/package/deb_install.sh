#!/usr/bin/env bash
# Builds the Debian package from an optimised build, installs it on this machine with
# apt-get as an operator would, runs the installed program and finds its manual page, and
# removes the package again. It changes the machine while it runs: ctest labels it
# "installs" and runs it alone.
#
#   tests/package/deb_install.sh SOURCE_DIR BINARY_DIR WITH_QT
#
# Exit status 0 passed, 1 failed, 77 skipped (not root, or the package is installed
# already and is not this test's to replace).
set -euo pipefail
src=$1
bin=$2
with_qt=${3:-ON}
build="$bin/deb-release"
deb="$build/kalu-upgrade_24.03.20_amd64.deb"

fail() { echo "FALLA: $*" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
  echo "se omite: instalar un paquete requiere root"
  exit 77
fi
if dpkg-query -W -f '${Status}' kalu-upgrade 2>/dev/null | grep -q 'ok installed'; then
  echo "se omite: kalu-upgrade ya está instalado en esta máquina y la prueba no lo reemplaza"
  exit 77
fi

# The package comes from a Release build of its own (with the window when the tests'
# build has it), never from the sanitised test build.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DKALU_WITH_QT="$with_qt" -DKALU_SANITIZE=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target kalu-upgrade xmz man_pages -j2 >/dev/null
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$deb" ] || fail "cpack no hizo $deb"

contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/kalu-upgrade ./usr/bin/xmz ./usr/share/man/man1/kalu-upgrade.1.gz \
         ./usr/share/man/man1/xmz.1.gz ./usr/share/doc/kalu-upgrade/README.md \
         ./usr/share/kalu-upgrade/schemas/check-report.schema.json; do
  grep -q " $f\$" <<<"$contents" || fail "el paquete no tiene $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libpq5 libxml2 libcurl4 zlib1g; do
  grep -q "$lib" <<<"$depends" || fail "las dependencias no nombran $lib"
done

# Debian container images often tell dpkg to leave out /usr/share/man
# (path-exclude in /etc/dpkg/dpkg.cfg.d/). The system's configuration stays as it is:
# this installation alone includes the package's manual pages again, and says so.
dpkg_opts=()
if grep -hs '^path-exclude' /etc/dpkg/dpkg.cfg.d/* | grep -q '/usr/share/man'; then
  echo "AVISO: dpkg de esta máquina excluye /usr/share/man ($(grep -ls '^path-exclude.*/usr/share/man' /etc/dpkg/dpkg.cfg.d/*));"
  echo "       esta instalación incluye las páginas de kalu-upgrade con --path-include."
  dpkg_opts=(-o "DPkg::Options::=--path-include=/usr/share/man/man1/kalu-upgrade.1.gz"
             -o "DPkg::Options::=--path-include=/usr/share/man/man1/xmz.1.gz")
fi

trap 'apt-get remove -y -q -o DPkg::Lock::Timeout=300 kalu-upgrade >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  -o DPkg::Lock::Timeout=300 "${dpkg_opts[@]}" "$deb" \
  || fail "apt-get install $deb"

version=$(/usr/bin/kalu-upgrade --version)
[ "$version" = "kalu-upgrade 24.03.20" ] || fail "kalu-upgrade --version dijo '$version'"
page=$(man -w kalu-upgrade) || fail "man -w kalu-upgrade no encuentra la página"
[ "$page" = /usr/share/man/man1/kalu-upgrade.1.gz ] || fail "man -w kalu-upgrade dio $page"
man -w xmz >/dev/null || fail "man -w xmz no encuentra la página"
set +e
/usr/bin/xmz >/dev/null 2>&1
[ $? -eq 2 ] || fail "xmz sin argumentos no terminó con estado 2"
set -e
echo "instalado y probado: $version, $page"
