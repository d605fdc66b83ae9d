#!/usr/bin/env bash
# Whole runs of Quillet beside other tag tools doing the same work, timed with hyperfine:
# list the seven fields, and write seven fields, on a 100 KB and on a 1 GiB Monkey's Audio
# file. The lower bound is a minimal C program that only opens the file, reads the tag's
# footer and items and prints them.
#
#   bench/whole_run.sh [BUILD_FOLDER]        (default: build; `cmake --build` it first)
#
# Installs the build into a scratch HOME inside the build folder, as a user would, and
# prints hyperfine's results and a table of mean times with their ratio to the minimal
# program. Then it times Quillet and the minimal program taken in turn, run for run, which
# keeps the drift of a shared machine out of their ratio. Set BENCH_RUNS to change the number
# of hyperfine runs (default 100), BENCH_ROUNDS the rounds taken in turn (default 500), and
# BENCH_SPARSE=1 to make the 1 GiB file sparse.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
runs=${BENCH_RUNS:-100}
scratch=$(mktemp -d "$build/bench-whole-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

export HOME="$scratch/home"
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES
cmake --install "$build" --prefix "$HOME/.local" >/dev/null
quillet="$HOME/.local/bin/quillet"
taglib="$build/bench/bench_taglib_tag"
minimal="$build/bench/bench_minimal_read"
alternate="$build/bench/bench_alternate_runs"
rounds=${BENCH_ROUNDS:-500}
mutagen="/usr/bin/python3 $here/mutagen_tag.py"

sparse=()
[ "${BENCH_SPARSE:-0}" = 1 ] && sparse=(--sparse)
"$build/tools/make_sample_ape" "$scratch/small.ape" 100K
"$build/tools/make_sample_ape" "${sparse[@]}" "$scratch/big.ape" 1G

# Seven fields, Japanese included, as every writer writes them.
title="春の海" artist="Jack and Ken" album="Seasons" comment="Recorded live" year="1929"
genre="Koto" track="1/12"
for size in small big; do
  "$quillet" -T="$title" -A="$artist" -L="$album" -C="$comment" -Y="$year" -G="$genre" \
    -R="$track" "$scratch/$size.ape" >/dev/null
done
# Let the writeback of the new 1 GiB file finish first, so that no run is timed behind a
# gigabyte of dirty pages on its way to the disk.
sync
echo "Quillet's listing of the 1 GiB file:"
"$quillet" "$scratch/big.ape"
echo

results="$scratch/results"
mkdir "$results"
for size in small big; do
  file="$scratch/$size.ape"
  hyperfine -N --warmup 30 --runs "$runs" --export-json "$results/list-$size.json" \
    -n quillet "$quillet $file" \
    -n minimal-c "$minimal $file" \
    -n taglib "$taglib list $file" \
    -n mutagen "$mutagen list $file" \
    -n kid3-cli "kid3-cli -c get $file"
  quoted_values="'$title' '$artist' '$album' '$comment' '$year' '$genre' '$track'"
  hyperfine -N --warmup 30 --runs "$runs" --export-json "$results/write-$size.json" \
    -n quillet "$quillet '-T=$title' '-A=$artist' '-L=$album' '-C=$comment' '-Y=$year' '-G=$genre' '-R=$track' $file" \
    -n taglib "$taglib write $file $quoted_values" \
    -n mutagen "$mutagen write $file $quoted_values" \
    -n kid3-cli "kid3-cli -c \"set title '$title'\" -c \"set artist '$artist'\" -c \"set album '$album'\" -c \"set comment '$comment'\" -c \"set date '$year'\" -c \"set genre '$genre'\" -c \"set track '$track'\" $file"
done

/usr/bin/python3 - "$results" <<'PY'
import json, os, sys
folder = sys.argv[1]
def load(name):
    with open(os.path.join(folder, name + ".json")) as f:
        return {r["command"]: r for r in json.load(f)["results"]}
# Ratios are taken between medians: on a shared machine a few slow runs move a mean far more.
print("| work | file | tool | mean ± σ (ms) | median (ms) | × minimal C | × Quillet |")
print("|---|---|---|---|---|---|---|")
for work in ("list", "write"):
    for size, label in (("small", "100 KB"), ("big", "1 GiB")):
        results = load(work + "-" + size)
        floor = load("list-" + size)["minimal-c"]["median"]
        quillet = results["quillet"]["median"]
        for tool, r in results.items():
            print("| %s | %s | %s | %.2f ± %.2f | %.2f | %.2f | %.2f |" % (
                work, label, tool, r["mean"] * 1000, r["stddev"] * 1000, r["median"] * 1000,
                r["median"] / floor, r["median"] / quillet))
PY

echo
echo "Quillet and the minimal C program taken in turn, $rounds rounds:"
for size in small big; do
  file="$scratch/$size.ape"
  label=$([ "$size" = small ] && echo "100 KB" || echo "1 GiB")
  echo "list, $label:"
  "$alternate" "$rounds" "$minimal" "$file" -- "$quillet" "$file"
  echo "write, $label:"
  "$alternate" "$rounds" "$minimal" "$file" -- "$quillet" "-T=$title" "-A=$artist" "-L=$album" \
    "-C=$comment" "-Y=$year" "-G=$genre" "-R=$track" "$file"
done

# A durable change of one field, beside the least any durable change costs: a minimal C writer
# doing one pwrite and one fdatasync on a copy of the same file. The value alternates between
# runs ({} is A, then B), so that every run changes the file.
echo
echo "Durable write of one field, Quillet against one pwrite and one fdatasync, $rounds rounds:"
for size in small big; do
  file="$scratch/$size.ape"
  cp --sparse=always "$file" "$scratch/$size-minimal.ape"
  label=$([ "$size" = small ] && echo "100 KB" || echo "1 GiB")
  echo "write one field, $label:"
  "$alternate" "$rounds" "$build/bench/bench_minimal_write" "$scratch/$size-minimal.ape" "{}" \
    -- "$quillet" "-T={}" "$file"
  rm -f "$scratch/$size-minimal.ape"
done

# Peak memory of one run of each tool (maximum resident set size, /usr/bin/time).
peak() {
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1
}
echo
echo "| work | file | tool | peak memory (KiB) |"
echo "|---|---|---|---|"
for size in small big; do
  file="$scratch/$size.ape"
  label=$([ "$size" = small ] && echo "100 KB" || echo "1 GiB")
  echo "| list | $label | quillet | $(peak "$quillet" "$file") |"
  echo "| list | $label | minimal-c | $(peak "$minimal" "$file") |"
  echo "| list | $label | taglib | $(peak "$taglib" list "$file") |"
  echo "| list | $label | mutagen | $(peak /usr/bin/python3 "$here/mutagen_tag.py" list "$file") |"
  echo "| list | $label | kid3-cli | $(peak kid3-cli -c get "$file") |"
  echo "| write | $label | quillet | $(peak "$quillet" "-T=$title" "-A=$artist" "-L=$album" "-C=$comment" "-Y=$year" "-G=$genre" "-R=$track" "$file") |"
  echo "| write | $label | taglib | $(peak "$taglib" write "$file" "$title" "$artist" "$album" "$comment" "$year" "$genre" "$track") |"
  echo "| write | $label | mutagen | $(peak /usr/bin/python3 "$here/mutagen_tag.py" write "$file" "$title" "$artist" "$album" "$comment" "$year" "$genre" "$track") |"
done
