#!/usr/bin/env bash
# Listings and a Title change on files that carry cover art, beside the least such a run must do
# and beside TagLib: the audio of a real Monkey's Audio file with a tag of Title, Artist, Comment
# and one front cover of 0, 1 and 15 MB (made by mutagen).
#
#   bench/cover_runs.sh BUILD_FOLDER [BUILD_FOLDER ...]   (`cmake --build` each one first)
#
# Each build (the Makefile's hardened tree, a Release tree) is installed into a scratch HOME of
# its own, and its table is measured in one hyperfine run: Quillet, the minimal run
# (bench/minimal_run.c: the library loaded and bound, both dictionaries read, the file opened
# twice, eight lines written) and TagLib at each cover size, side by side. Then Quillet and the
# minimal run on the tag without a cover taken in turn, run for run, and their instruction counts
# under callgrind (steady where wall time on a shared machine is not); the peak memory of each
# listing; and a Title change on the tag with a 15 MB cover beside bench/minimal_title_save.c,
# which makes the same moves with one buffer.
#
# BENCH_RUNS sets hyperfine's runs (default 100), BENCH_ROUNDS the rounds taken in turn (default
# 500), BENCH_SAVE_ROUNDS those of the Title change (default 20), BENCH_SOURCE the file whose
# audio is used.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || set -- build
runs=${BENCH_RUNS:-100}
rounds=${BENCH_ROUNDS:-500}
save_rounds=${BENCH_SAVE_ROUNDS:-20}
source_file=${BENCH_SOURCE:-$here/../../shared/fixtures/wild/mm-monkeysaudio.ape}
first=$(cd "$1" && pwd)
scratch=$(mktemp -d "$first/bench-cover-runs.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES

/usr/bin/python3 "$here/make_cover_files.py" "$source_file" "$scratch" 0 1 15
sync

peak() {
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}

for folder in "$@"; do
  build=$(cd "$folder" && pwd)
  label=$(basename "$build")
  export HOME="$scratch/home-$label"
  cmake --install "$build" --prefix "$HOME/.local" >/dev/null
  quillet="$HOME/.local/bin/quillet"
  minimal="$build/bench/bench_minimal_run"
  taglib="$build/bench/bench_taglib_tag"
  echo
  echo "=== $label ($build)"
  commands=()
  for mib in 0 1 15; do
    file="$scratch/cover-${mib}M.ape"
    commands+=(-n "quillet $mib" "$quillet $file" -n "minimal $mib" "$minimal $file"
               -n "taglib $mib" "$taglib list $file")
  done
  hyperfine -N --warmup 20 --runs "$runs" --export-json "$scratch/list-$label.json" \
    "${commands[@]}" >/dev/null
  /usr/bin/python3 - "$scratch/list-$label.json" "$label" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
label = sys.argv[2]
# Medians: on a shared machine a few slow runs move a mean far more.
print("| build | cover | tool | median (ms) | mean ± σ (ms) | × minimal, same cover | × own, no cover |")
print("|---|---|---|---|---|---|---|")
for mib in (0, 1, 15):
    floor = results["minimal %d" % mib]["median"]
    for tool in ("quillet", "minimal", "taglib"):
        r = results["%s %d" % (tool, mib)]
        base = results["%s 0" % tool]["median"]
        print("| %s | %d MB | %s | %.2f | %.2f ± %.2f | %.2f | %.2f |" % (
            label, mib, tool, r["median"] * 1e3, r["mean"] * 1e3, r["stddev"] * 1e3,
            r["median"] / floor, r["median"] / base))
PY

  echo
  echo "Listing without a cover, the minimal run and Quillet taken in turn, $rounds rounds:"
  "$build/bench/bench_alternate_runs" "$rounds" "$minimal" "$scratch/cover-0M.ape" \
    -- "$quillet" "$scratch/cover-0M.ape"
  if command -v valgrind >/dev/null; then
    instructions() {
      valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" 2>&1 >/dev/null |
        sed -n 's/.*Collected : //p'
    }
    q=$(instructions "$quillet" "$scratch/cover-0M.ape")
    m=$(instructions "$minimal" "$scratch/cover-0M.ape")
    echo "instructions (callgrind, ld.so included): quillet $q, minimal $m," \
      "ratio $(/usr/bin/python3 -c "print('%.3f' % ($q / $m))")"
  fi

  echo
  echo "| build | cover | quillet (KiB) | minimal (KiB) | taglib (KiB) |"
  echo "|---|---|---|---|---|"
  for mib in 0 1 15; do
    file="$scratch/cover-${mib}M.ape"
    echo "| $label | $mib MB | $(peak "$quillet" "$file") | $(peak "$minimal" "$file") |" \
      "$(peak "$taglib" list "$file") |"
  done

  echo
  echo "Title change on the tag with a 15 MB cover, the minimal save and Quillet taken in turn," \
    "$save_rounds rounds:"
  cp "$scratch/cover-15M.ape" "$scratch/save-minimal.ape"
  cp "$scratch/cover-15M.ape" "$scratch/save-quillet.ape"
  "$build/bench/bench_alternate_runs" "$save_rounds" \
    "$build/bench/bench_minimal_title_save" "$scratch/save-minimal.ape" "{}" \
    -- "$quillet" "-T={}" "$scratch/save-quillet.ape"
  echo "peak memory (KiB): quillet" \
    "$(peak "$quillet" -T=Spring "$scratch/save-quillet.ape"), minimal" \
    "$(peak "$build/bench/bench_minimal_title_save" "$scratch/save-minimal.ape" Spring);" \
    "cover item $(( $(stat -c %s "$scratch/cover-15M.ape") / 1024 - $(stat -c %s "$scratch/cover-0M.ape") / 1024 )) KiB"
  rm -f "$scratch/save-minimal.ape" "$scratch/save-quillet.ape"
done
