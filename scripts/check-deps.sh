#!/usr/bin/env bash
# check-deps.sh [BUILD_DIR...]: proves that scripts/install-deps.sh brings
# everything the builds used, so that its list is enough on a fresh Debian 12
# machine. Every system file a build used must belong to a package of that list
# or to one those packages depend on (Depends and Pre-Depends, recursively;
# recommendations do not count, since install-deps.sh does not install them).
# "Used" is: each CMake package directory of the build's CMakeCache.txt, each
# system header in the compilers' dependency files, each system library linked
# (by the link command or at load time), and the tools the scripts run.
# Without arguments it checks build, build-sanitize, build-fuzz,
# build-release and build-bench, those that exist. A gap fails the run and names the package.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

# The tools the build, test, benchmark and packaging scripts call by name.
tools=(cmake ctest cpack c++ g++ clang++ make pkg-config rsvg-convert desktop-file-validate
       dpkg-shlibdeps dpkg-deb file xvfb-run Xvfb xauth xdotool import /usr/sbin/ser2net
       help2man gzip lintian openssl /usr/sbin/mosquitto mosquitto_passwd mosquitto_sub mosquitto_pub
       promtool)

if [ $# -eq 0 ]; then
  for dir in build build-sanitize build-fuzz build-release build-bench; do
    [ -f "$dir/CMakeCache.txt" ] && set -- "$@" "$dir"
  done
fi
[ $# -gt 0 ] || { echo "check-deps: no build directory to check; build first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What install-deps.sh brings: its list and everything it depends on.
mapfile -t listed < <(bash scripts/install-deps.sh --list)
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "${listed[@]}" 2>/dev/null \
  | sed -n 's/^\([^ <][^ :]*\).*$/\1/p' | sort -u >"$work/brought"
# Essential packages are on every Debian system, installed or not by anyone.
dpkg-query -W -f='${Package} ${Essential}\n' | sed -n 's/ yes$//p' | sort -u -o "$work/brought" - "$work/brought"
printf '%s\n' "${listed[@]}" | sort -u | comm -13 "$work/brought" - >"$work/unknown"
if [ -s "$work/unknown" ]; then
  echo "check-deps: apt-cache knows nothing of: $(tr '\n' ' ' <"$work/unknown")(run apt-get update)" >&2
  exit 1
fi

# Paths a build used, one a line, "KIND<TAB>PATH". Files of the repository or
# of a build are the project's own and are left out.
own() { [[ $1 == "$repo"/* || $1 == /tmp/* ]]; }
collect() {
  local build=$1 line path
  # CMake packages: the config file of each <Name>_DIR.
  local name config
  while IFS='=' read -r name path; do
    [[ $path == /* && -d $path ]] && ! own "$path" || continue
    name=${name%_DIR:PATH}
    for config in "$path/${name}Config.cmake" "$path/${name,,}-config.cmake" "$path"; do
      [ -e "$config" ] && { printf 'cmake package\t%s\n' "$config"; break; }
    done
  done < <(grep '^[A-Za-z0-9_]*_DIR:PATH=' "$build/CMakeCache.txt")
  # Headers, as the compilers listed them.
  find "$build" -name '*.o.d' -exec cat {} + | tr ' \\' '\n\n' | grep '^/' | sort -u |
    xargs -d '\n' realpath -s -m | sort -u |
    while IFS= read -r path; do own "$path" || printf 'header\t%s\n' "$path"; done
  # Libraries named on the link lines, by path or by -l.
  find "$build" -name link.txt -exec cat {} + | tr ' ' '\n' | sort -u | while IFS= read -r line; do
    case $line in
      /*.so | /*.so.* | /*.a) own "$line" || printf 'library\t%s\n' "$line" ;;
      -l*) path=$(c++ -print-file-name="lib${line#-l}.so")
           [[ $path == /* ]] || path=$(c++ -print-file-name="lib${line#-l}.a")
           [[ $path == /* ]] && printf 'library\t%s\n' "$path" ;;
    esac
  done
  # Libraries the programs and tests load.
  find "$build" -type f -perm -u+x ! -name '*.sh' ! -path '*/CMakeFiles/*' -print0 |
    xargs -0 -r file -N --mime-type | sed -n 's|: *application/x-\(pie-\)\{0,1\}executable$||p' |
    while IFS= read -r path; do ldd "$path" 2>/dev/null || true; done |
    sed -n 's/^.*=> \(\/[^ ]*\) .*$/\1/p' | sort -u | sed 's/^/library\t/'
}
for build in "$@"; do
  [ -f "$build/CMakeCache.txt" ] || { echo "check-deps: $build is not a build directory" >&2; exit 1; }
  collect "$build"
done >"$work/used"
for tool in "${tools[@]}"; do
  path=$(command -v "$tool" || true)
  [ -n "$path" ] && printf 'tool\t%s\n' "$(readlink -f "$path")" || printf 'tool\t%s\n' "/usr/bin/$tool"
done >>"$work/used"
sort -u -o "$work/used" "$work/used"

# Which package owns each path, in a few batched dpkg -S calls. dpkg knows
# paths as the packages ship them: after the path as written come the path
# with symlinks resolved, then the same across the merged /usr (/lib and
# /usr/lib are one folder here, not in the packages).
declare -A owners
lookup() {  # reads "CANDIDATE<TAB>PATH" lines; notes owners of paths not yet known
  local candidate path packages
  declare -A wanted=()
  while IFS=$'\t' read -r candidate path; do
    [ -z "${owners[$path]:-}" ] && wanted[$candidate]=$path
  done
  [ ${#wanted[@]} -gt 0 ] || return 0
  while IFS=$'\t' read -r candidate packages; do
    path=${wanted[$candidate]:-}
    [ -n "$path" ] && [ -z "${owners[$path]:-}" ] && owners[$path]=$packages
  done < <(printf '%s\n' "${!wanted[@]}" | xargs -d '\n' dpkg -S 2>/dev/null | grep -v '^diversion' |
           awk -F': ' '{ packages = $1; gsub(/:[a-z0-9]+/, "", packages); gsub(/, /, " ", packages)
                         print substr($0, length($1) + 3) "\t" packages }' || true)
}
cut -f2 "$work/used" | sort -u >"$work/paths"
lookup < <(paste "$work/paths" "$work/paths")
lookup < <(xargs -a "$work/paths" -d '\n' realpath -m | paste - "$work/paths")
lookup < <(sed -e 's|^/usr/|/|' "$work/paths" | paste - "$work/paths")
lookup < <(sed -e 's|^/|/usr/|' "$work/paths" | paste - "$work/paths")

declare -A brought
while IFS= read -r package; do brought[$package]=1; done <"$work/brought"

gaps=0
declare -A reported
while IFS=$'\t' read -r kind path; do
  packages=${owners[$path]:-}
  if [ -z "$packages" ]; then
    echo "check-deps: $kind $path belongs to no Debian package"
    gaps=$((gaps + 1))
    continue
  fi
  ok=0
  for package in $packages; do [ -n "${brought[$package]:-}" ] && ok=1; done
  [ $ok -eq 1 ] && continue
  gaps=$((gaps + 1))
  key=${packages// /,}
  if [ -z "${reported[$key]:-}" ]; then
    reported[$key]=1
    echo "check-deps: missing package ${packages% }: the builds used $kind $path, and scripts/install-deps.sh does not install it"
  fi
done <"$work/used"

used=$(wc -l <"$work/used")
if [ $gaps -ne 0 ]; then
  echo "check-deps: $gaps of $used system files used come from packages that scripts/install-deps.sh does not bring; add them to its list"
  exit 1
fi
echo "check-deps: all $used system files the builds used ($*) come from scripts/install-deps.sh's $(wc -l <<<"$(printf '%s\n' "${listed[@]}")") packages and their $(wc -l <"$work/brought") dependencies"
