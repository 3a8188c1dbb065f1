#!/usr/bin/env bash
# The Debian package from the install rules: its files, its declared
# dependencies and lintian's verdict. Usage: package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
. "$source_dir/tests/deploy/lib.sh"

(cd "$scratch" && cpack -G DEB -B "$scratch/out" --config "$build_dir/CPackConfig.cmake" >"$scratch/cpack.log") \
  || { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(ls "$scratch"/out/talvex_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "no talvex_*.deb"
dpkg-deb -c "$deb" | awk '{print $6}' >"$scratch/files"
for file in ./usr/bin/Talvex ./usr/share/applications/talvex.desktop \
            ./usr/share/icons/hicolor/scalable/apps/talvex.svg ./usr/share/icons/hicolor/48x48/apps/talvex.png \
            ./usr/share/man/man1/Talvex.1.gz ./usr/share/man/man1/talvex.1.gz ./usr/bin/talvex \
            ./usr/share/doc/talvex/copyright ./usr/share/doc/talvex/changelog.gz \
            ./usr/share/doc/talvex/README.md ./usr/share/doc/talvex/DEPLOY.md \
            ./usr/lib/systemd/user/talvex.service \
            ./usr/share/talvex/root/player.html ./usr/share/talvex/root/images/.keep; do
  grep -qx -- "$file" "$scratch/files" || fail "not in the package: $file"
done
grep -q "^./usr/local" "$scratch/files" && fail "files under /usr/local"
info=$(dpkg-deb -I "$deb")
echo "$info"
echo "$info" | grep -q "^ Package: talvex$" || fail "package name"
echo "$info" | grep -q "^ Version: 2.7" || fail "version"
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libturbojpeg0 libv4l-0 fonts-dejavu-core; do
  echo "$depends" | grep -q "\b$dep\b" || fail "dependency $dep not declared"
done
# Each declared dependency exists in this machine's package lists.
for dep in $(echo "$depends" | tr ',' '\n' | awk '{print $1}'); do
  apt-cache show "$dep" >/dev/null 2>&1 || fail "no such package: $dep"
done
# apt resolves them from this machine's sources (a dry run changes nothing).
apt-get install -s -qq "$deb" >"$scratch/apt.txt" 2>&1 || { cat "$scratch/apt.txt"; fail "apt cannot install the package"; }
dpkg -x "$deb" "$scratch/root"
grep -qx "ExecStart=/usr/bin/Talvex --headless" "$scratch/root/usr/lib/systemd/user/talvex.service" || fail "unit's ExecStart"
grep -qx "Exec=/usr/bin/Talvex" "$scratch/root/usr/share/applications/talvex.desktop" || fail "desktop Exec"
[ "$(readlink "$scratch/root/usr/bin/talvex")" = Talvex ] || fail "talvex is not a link to Talvex"
# Debian's own checks at their default level: no error, no warning.
if command -v lintian >/dev/null; then
  lintian "$deb" >"$scratch/lintian.txt" 2>&1 || true
  cat "$scratch/lintian.txt"
  grep -q '^[EW]: ' "$scratch/lintian.txt" && fail "lintian reports errors or warnings"
else
  fail "lintian is missing (scripts/setup.sh --test)"
fi
echo "package: ok"
