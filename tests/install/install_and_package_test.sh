#!/usr/bin/env bash
# install_and_package_test.sh BUILD_DIR: installs the build into a temporary
# prefix and checks the files a desktop needs; then makes the Debian package,
# unpacks it and checks its files and the dependencies read off its binaries,
# and has lintian check it as Debian would: any error or warning fails.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect_file() {  # ROOT PATH...: each path exists, non-empty, under ROOT
  local root=$1; shift
  for path in "$@"; do
    if [ ! -s "$root/$path" ]; then
      echo "missing: $path (under $root)"
      failures=$((failures + 1))
    fi
  done
}

installed=(
  bin/velkor
  bin/velkor-sim
  bin/velkorctl
  sbin/velkord
  lib/systemd/system/velkord.service
  share/applications/velkor.desktop
  share/icons/hicolor/scalable/apps/velkor.svg
  share/man/man1/velkor.1.gz
  share/man/man1/velkorctl.1.gz
  share/man/man1/velkor-sim.1.gz
  share/man/man8/velkord.8.gz
  share/doc/velkor/copyright
  share/doc/velkor/changelog.gz
)
for size in 16 32 48 64 128 256; do
  installed+=("share/icons/hicolor/${size}x${size}/apps/velkor.png")
done

# cmake --install into a prefix of the user's choice.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
expect_file "$work/prefix" "${installed[@]}"
for program in velkor velkor-sim velkorctl; do
  [ -x "$work/prefix/bin/$program" ] || { echo "bin/$program is not executable"; failures=$((failures + 1)); }
done
# The installed velkorctl runs on its own and describes itself.
help=$("$work/prefix/bin/velkorctl" --help || true)
grep -q '^Usage: velkorctl' <<<"$help" || { echo "bin/velkorctl --help says no usage"; failures=$((failures + 1)); }
# Each program names its version and licence (the panel without a display),
# and its manual page has its own options.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for program in velkor velkor-sim velkorctl; do
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/prefix/bin/$program" --version 2>&1 || true)
  [ "$(head -1 <<<"$said")" = "$program $version" ] && grep -q '^License GPLv3+' <<<"$said" \
    || { echo "bin/$program --version said: $said"; failures=$((failures + 1)); }
  zcat "$work/prefix/share/man/man1/$program.1.gz" | grep -qF -- '\fB\-\-version\fR' \
    || { echo "$program.1 lacks --version"; failures=$((failures + 1)); }
done
# Each PNG is the size its folder names.
for size in 16 32 48 64 128 256; do
  png="$work/prefix/share/icons/hicolor/${size}x${size}/apps/velkor.png"
  [ -s "$png" ] || continue
  got=$(file -b "$png" | grep -o '[0-9]* x [0-9]*' || true)
  if [ "$got" != "$size x $size" ]; then
    echo "velkor.png in ${size}x${size} is $got"
    failures=$((failures + 1))
  fi
done

# The Debian package, unpacked as dpkg would lay it out under /.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null)
deb="$work/deb/velkor_${version}_amd64.deb"
if [ ! -f "$deb" ]; then
  echo "no package $deb; cpack made: $(ls "$work/deb")"
  exit 1
fi
dpkg-deb -x "$deb" "$work/root"
expect_file "$work/root/usr" "${installed[@]}"

info=$(dpkg-deb -I "$deb")
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
for library in libqt6core6 libqt6gui6 libqt6widgets6 libc6; do
  if ! grep -q "\b$library\b" <<<"$depends"; then
    echo "Depends lacks $library: $depends"
    failures=$((failures + 1))
  fi
done
for field in Maintainer Description Architecture; do
  grep -q "^ $field: ." <<<"$info" || { echo "package has no $field"; failures=$((failures + 1)); }
done
grep -q '^ Architecture: amd64$' <<<"$info" || { echo "not an amd64 package"; failures=$((failures + 1)); }

# lintian fails on any error or warning, and when it cannot check at all.
if ! lintian --fail-on error,warning --tag-display-limit 0 "$deb"; then
  echo "lintian found errors or warnings in $(basename "$deb")"
  failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures problem(s) with the installed program or its package"
  exit 1
fi
echo "installed tree and $(basename "$deb") hold the program, velkorctl, the emulator, velkord and its systemd unit, their manual pages, the desktop entry, the icons, the copyright and the changelog; lintian is content"
