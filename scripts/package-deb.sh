#!/usr/bin/env bash
# Builds the Debian packages kavo-integrador and kavo-ocisqlite into dist/
# from a build directory (default build-release, configured and built here
# when missing), then runs lintian on them when it is installed.
#
#   scripts/package-deb.sh [BUILD_DIR]
#
# KAVO_VERSION sets the version (default 1.0.0), KAVO_MAINTAINER the Maintainer,
# KAVO_DIST the output folder, KAVO_DEB_COMPRESS dpkg-deb's compression options
# (default -Zxz; the package test takes -Zgzip -z1).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-release}")
dist=$(realpath -m "${KAVO_DIST:-$root/dist}")
version=${KAVO_VERSION:-1.0.0}
maintainer=${KAVO_MAINTAINER:-Kavo Integracao <integracao@kavo.com.br>}
arch=$(dpkg --print-architecture)
pkg=$root/packaging

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DKAVO_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target KavoIntegradorOracle kavo-sqlmonitor \
  ocisqlite_tool ocisqlite_clntsh >/dev/null

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$dist"

# Stripped, as Debian ships them; the mode and owner come from install.
put() {  # put MODE SOURCE TARGET
  install -D -m "$1" "$2" "$3"
  case "$1" in 755) head -c4 "$3" | grep -q ELF && strip --strip-unneeded \
    --remove-section=.comment --remove-section=.note "$3" ;; esac
  return 0
}

docs() {  # docs PACKAGE DIR
  install -d "$2/usr/share/doc/$1"
  install -m 644 "$pkg/copyright" "$2/usr/share/doc/$1/copyright"
  printf '%s (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- %s  %s\n' \
    "$1" "$version" "$version" "$maintainer" "$(date -R -d @"${SOURCE_DATE_EPOCH:-$(date +%s)}")" |
    gzip -9n > "$2/usr/share/doc/$1/changelog.gz"
}

# The libraries an ELF file needs, as Depends.
shlibdeps() {
  local d; d=$(mktemp -d)
  mkdir "$d/debian"
  printf 'Source: x\n\nPackage: x\nArchitecture: any\n' > "$d/debian/control"
  (cd "$d" && dpkg-shlibdeps -O -e"$@" 2>/dev/null) | sed -n 's/^shlibs:Depends=//p'
  rm -rf "$d"
}

control() {  # control DIR PACKAGE DEPENDS DESCRIPTION...
  local dir=$1 name=$2 depends=$3; shift 3
  local size; size=$(du -sk --exclude=DEBIAN "$dir" | cut -f1)
  install -d "$dir/DEBIAN"
  {
    echo "Package: $name"
    echo "Version: $version"
    echo "Architecture: $arch"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $size"
    echo "Depends: $depends"
    echo "Section: misc"
    echo "Priority: optional"
    printf '%s\n' "$@"
  } > "$dir/DEBIAN/control"
  (cd "$dir" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
    xargs -0 md5sum > DEBIAN/md5sums)
}

# --- kavo-integrador --------------------------------------------------------
d=$stage/kavo-integrador
home=$d/var/lib/kavo-integrador
put 755 "$build/KavoIntegradorOracle" "$home/KavoIntegradorOracle"
# The INI is read beside the program; its text lives in /etc as a conffile.
ln -s /etc/kavo-integrador/KavoIntegradorOracle.ini "$home/KavoIntegradorOracle.ini"
install -d "$d/usr/sbin"
ln -s /var/lib/kavo-integrador/KavoIntegradorOracle "$d/usr/sbin/KavoIntegradorOracle"
put 755 "$build/kavo-sqlmonitor" "$d/usr/bin/kavo-sqlmonitor"
put 644 "$pkg/kavo-integrador/KavoIntegradorOracle.ini" "$d/etc/kavo-integrador/KavoIntegradorOracle.ini"
put 644 "$pkg/kavo-integrador/kavo-integrador.logrotate" "$d/etc/logrotate.d/kavo-integrador"
put 644 "$pkg/kavo-integrador/KavoServicoIntegrador.service" \
  "$d/lib/systemd/system/KavoServicoIntegrador.service"
put 644 "$pkg/kavo-integrador/kavo-integrador.sysusers" "$d/usr/lib/sysusers.d/kavo-integrador.conf"
install -d "$d/usr/share/man/man8" "$d/usr/share/man/man1"
gzip -9n < "$pkg/man/KavoIntegradorOracle.8" > "$d/usr/share/man/man8/KavoIntegradorOracle.8.gz"
gzip -9n < "$pkg/man/kavo-sqlmonitor.1" > "$d/usr/share/man/man1/kavo-sqlmonitor.1.gz"
docs kavo-integrador "$d"
gzip -9n < "$root/README.md" > "$d/usr/share/doc/kavo-integrador/README.md.gz"
chmod 644 "$d/usr/share/doc/kavo-integrador/"*
control "$d" kavo-integrador \
  "$(shlibdeps "$d/var/lib/kavo-integrador/KavoIntegradorOracle" -e"$d/usr/bin/kavo-sqlmonitor"), libfbclient2, systemd" \
  "Description: integration service: Oracle interface rows into a Firebird table" \
  " On a timer, copies the pending rows of an Oracle interface table into a" \
  " Firebird staging table and marks each Oracle row done, or writes the error" \
  " into it. Runs under systemd as its own system user; /CHECK tries a" \
  " configuration, /ONCE runs one cycle. Includes kavo-sqlmonitor."
printf '/etc/kavo-integrador/KavoIntegradorOracle.ini\n/etc/logrotate.d/kavo-integrador\n' \
  > "$d/DEBIAN/conffiles"
for s in postinst prerm postrm; do install -m 755 "$pkg/kavo-integrador/$s" "$d/DEBIAN/$s"; done

# --- kavo-ocisqlite ---------------------------------------------------------
o=$stage/kavo-ocisqlite
put 644 "$build/oracle-home/lib/libclntsh.so" "$o/usr/lib/kavo-ocisqlite/oracle-home/lib/libclntsh.so"
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
  "$o/usr/lib/kavo-ocisqlite/oracle-home/lib/libclntsh.so"
ln -s libclntsh.so "$o/usr/lib/kavo-ocisqlite/oracle-home/lib/libclntsh.so.11.1"
put 755 "$build/ocisqlite" "$o/usr/bin/ocisqlite"
install -d "$o/usr/share/man/man1"
gzip -9n < "$pkg/man/ocisqlite.1" > "$o/usr/share/man/man1/ocisqlite.1.gz"
docs kavo-ocisqlite "$o"
control "$o" kavo-ocisqlite \
  "$(shlibdeps "$o/usr/bin/ocisqlite" -e"$o/usr/lib/kavo-ocisqlite/oracle-home/lib/libclntsh.so")" \
  "Description: Oracle client stand-in over SQLite, for demo and test systems" \
  " An Oracle home (ORACLE_HOME=/usr/lib/kavo-ocisqlite/oracle-home) whose" \
  " client library keeps its databases in SQLite files, and the ocisqlite" \
  " admin tool that creates them and runs SQL. Not for production."

for p in kavo-integrador kavo-ocisqlite; do
  dpkg-deb --root-owner-group ${KAVO_DEB_COMPRESS:--Zxz} --build "$stage/$p" "$dist/${p}_${version}_${arch}.deb" >/dev/null
  echo "$dist/${p}_${version}_${arch}.deb"
done

if command -v lintian >/dev/null; then
  lintian --fail-on error \
    "$dist/kavo-integrador_${version}_${arch}.deb" "$dist/kavo-ocisqlite_${version}_${arch}.deb"
fi
