#!/usr/bin/env bash
# The Debian package as users meet it: built as `make deb` does (without its own tests, which the
# calling build ran), judged by lintian, unpacked and run by name through PATH as an ordinary
# user with an empty HOME, so the library must come from the package. Under CI (CI=true, as
# root) also installed with apt-get, checked alike, purged, and none of its files left.
#   debian_package_test.sh SOURCE OUTPUT MAKE_SAMPLE_APE
# Exit 77 (skipped) where dpkg-buildpackage or debhelper cannot run.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 SOURCE OUTPUT MAKE_SAMPLE_APE" >&2; exit 2; }
source_dir=$1 output=$2 make_sample_ape=$3

for tool in dpkg-buildpackage dh dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" DEB_BUILD_PROFILES=nocheck \
  "$source_dir/scripts/build-deb" "$output" >"$output.log" 2>&1 ||
  { cat "$output.log"; echo "FAIL: the package did not build"; exit 1; }
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
project_version=$(sed -n 's/^project(Quillet VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
deb="$output/quillet_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ "$version" = "$project_version" ] ||
  fail "debian/changelog says $version, the program $project_version"
[ -f "$deb" ] || { fail "no $deb"; exit 1; }
! command -v lintian >/dev/null || lint=$(lintian --fail-on error,warning "$deb" 2>&1) ||
  fail "lintian: $lint"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
dpkg -x "$deb" "$scratch/root"
user=()
[ "$(id -u)" -ne 0 ] || user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

# check BIN: quillet found through PATH=BIN:/usr/bin:/bin, HOME empty, nothing else of this
# environment but LANG: a write, the listing in Japanese, -V.
check() {
  local bin=$1 home="$scratch/home" work="$scratch/work" out
  rm -rf "$home" "$work"
  mkdir -p "$home" "$work"
  "$make_sample_ape" "$work/song.ape" 100K >/dev/null
  [ "$(id -u)" -eq 0 ] && chown -R nobody:nogroup "$home" "$work"
  # expect LANG PATTERN ARGUMENT...: the run exits 0 and its output matches PATTERN.
  expect() {
    out=$(cd "$work" && "${user[@]}" /usr/bin/env -i HOME="$home" PATH="$bin:/usr/bin:/bin" \
      LANG="$1" quillet "${@:3}") || fail "$bin: ${*:3} exits $?"
    [[ "$out" == $2 ]] || fail "$bin: ${*:3}: $out"
  }
  local blank=$'Artist: \nAlbum: \nComment: \nYear: \nGenre: \nTrack: '
  expect C.UTF-8 $'Tag file: song.ape\nTitle: Seasons\n'"$blank" -T=Seasons song.ape
  expect ja_JP.UTF-8 $'対象ファイル: song.ape\nタイトル: Seasons\nアーティスト: \n*' song.ape
  expect C.UTF-8 $'\nQuillet    Ver '"$version"$'\n*\nQuillet Monkey\'s Audio tag library    Ver *' \
    -V song.ape
  [ -z "$(ls -A "$home")" ] || fail "$bin: the runs left files in HOME"
}

check "$scratch/root/usr/bin"

if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  (cd "$output" && apt-get install -y -qq "./$(basename "$deb")") >"$output.apt.log" 2>&1 ||
    { cat "$output.apt.log"; fail "apt-get install"; exit 1; }
  [ "$(command -v quillet)" = /usr/bin/quillet ] || fail "quillet is not /usr/bin/quillet"
  check /usr/bin
  mapfile -t listed < <(dpkg -L quillet)
  apt-get purge -y -qq quillet >>"$output.apt.log" 2>&1 || fail "apt-get purge"
  for path in "${listed[@]}"; do
    [ ! -L "$path" ] && { [ ! -e "$path" ] || [ -d "$path" ]; } || fail "$path is left after the purge"
  done
  for folder in /usr/lib/quillet /usr/share/quillet /usr/share/doc/quillet; do
    [ ! -e "$folder" ] || fail "$folder is left after the purge"
  done
fi

[ "$failures" -eq 0 ] || exit 1
echo "PASS: $deb ($(stat -c %s "$deb") bytes)"
