#!/usr/bin/env bash
# A whole folder listed the way a script lists it: 10,000 small Monkey's Audio files, each given
# to one run, two runs at a time (`xargs -P2`), for Quillet, the minimal run
# (bench/minimal_run.c) and TagLib; once with a tag of Title, Artist and Comment, once with a
# 1 MB front cover added. Prints files per second.
#
#   bench/batch_runs.sh BUILD_FOLDER [BUILD_FOLDER ...]   (`cmake --build` each one first)
#
# The files are made in a scratch folder under /tmp. Those with a cover are BENCH_BATCH_DISTINCT
# copies (default 500) with hard links up to the count, so the batch does not need 10 GB of disk;
# every run reads its file through the page cache either way. BENCH_BATCH_FILES sets the count
# (default 10000), BENCH_BATCH_PASSES the timed passes of each tool (default 2, the best taken).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || set -- build
count=${BENCH_BATCH_FILES:-10000}
distinct=${BENCH_BATCH_DISTINCT:-500}
passes=${BENCH_BATCH_PASSES:-2}
first=$(cd "$1" && pwd)
scratch=$(mktemp -d /tmp/quillet-batch.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES

"$first/tools/make_sample_ape" "$scratch/audio.ape" 16K
/usr/bin/python3 "$here/make_cover_files.py" "$scratch/audio.ape" "$scratch" 0 1
for mib in 0 1; do
  folder="$scratch/files-${mib}M"
  mkdir "$folder"
  for ((i = 0; i < count; ++i)); do
    if [ "$mib" = 0 ] || [ "$i" -lt "$distinct" ]; then
      cp "$scratch/cover-${mib}M.ape" "$folder/$i.ape"
    else
      ln "$folder/$((i % distinct)).ape" "$folder/$i.ape"
    fi
  done
  (cd "$folder" && ls -U) | sed "s|^|$folder/|" >"$scratch/list-${mib}M"
done
sync

# Files per second of the best of the passes.
rate() {
  local list=$1 best=0
  shift
  for ((pass = 0; pass < passes; ++pass)); do
    local start end
    start=$(date +%s.%N)
    xargs -d '\n' -n 1 -P 2 -a "$list" "$@" >/dev/null
    end=$(date +%s.%N)
    best=$(/usr/bin/python3 -c "print(max($best, $count / ($end - $start)))")
  done
  printf '%.0f' "$best"
}

echo "| build | cover | quillet (files/s) | minimal (files/s) | taglib (files/s) | quillet ÷ minimal |"
echo "|---|---|---|---|---|---|"
for folder in "$@"; do
  build=$(cd "$folder" && pwd)
  label=$(basename "$build")
  export HOME="$scratch/home-$label"
  cmake --install "$build" --prefix "$HOME/.local" >/dev/null
  for mib in 0 1; do
    list="$scratch/list-${mib}M"
    xargs -d '\n' -n 1 -P 2 -a "$list" "$HOME/.local/bin/quillet" >/dev/null  # warm the cache
    q=$(rate "$list" "$HOME/.local/bin/quillet")
    m=$(rate "$list" "$build/bench/bench_minimal_run")
    t=$(rate "$list" "$build/bench/bench_taglib_tag" list)
    echo "| $label | $mib MB | $q | $m | $t | $(/usr/bin/python3 -c "print('%.2f' % ($q / $m))") |"
  done
done
