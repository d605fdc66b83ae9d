#!/usr/bin/python3
"""Runs the fuzz corpus of the tag readers through mutagen and through our library, and compares
the text fields wherever mutagen reads a tag.

usage: differential_mutagen.py PRINT_FIELDS TARGETS_TXT [CORPUS_DIR]
       differential_mutagen.py PRINT_FIELDS --files FILE...

PRINT_FIELDS is the small driver that prints what our library reads (print_fields.cpp);
TARGETS_TXT is the fuzz build's list of targets and their inputs (fuzz/targets.txt); CORPUS_DIR
holds what libFuzzer runs grew (BUILD/corpus/<target>, see scripts/run-fuzzers), when there is
one. The inputs of fuzz_ape_read are file images; those of fuzz_ape_write start with
operations, which are cut off first. With --files, the files given are compared, and only as
Monkey's Audio files (a file the library refuses is counted, not compared). Fields are compared through the rules of our listing (interop_mutagen.shown_fields);
keys that name another tag format (ID3, TAG, OggS, MP+, in any case) are no fields for us.
Two differences are ours by design and counted apart: mutagen also reads a tag at the start of
a file (where a Monkey's Audio file holds its header; we look at the end only), and it stops at
the item count a tag declares, while we read items as far as their bytes go (so we may show more
fields, the ones it shows being equal). Exits 1 when any other file differs.
"""
import os
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from interop_mutagen import read_shown  # noqa: E402

RESERVED_KEYS = {"id3", "tag", "oggs", "mp+"}


def image_of_write_input(data):
    """The file image after the operations a fuzz_ape_write input starts with."""
    pos = 0

    def byte():
        nonlocal pos
        if pos < len(data):
            pos += 1
            return data[pos - 1]
        return 0

    for _ in range(byte() % 8):
        if byte() % 3 == 1:
            byte()  # the field
            length = byte() * 8
            pos += min(length, len(data) - pos)
    return data[pos:]


def inputs_of(targets_txt, corpus, target):
    paths = [pathlib.Path(corpus, target)] if corpus else []
    for line in pathlib.Path(targets_txt).read_text().splitlines():
        name, *seeds = line.split(" ")
        if name == target:
            paths += map(pathlib.Path, filter(None, seeds))
    for path in paths:
        files = sorted(path.rglob("*")) if path.is_dir() else [path]
        yield from (f for f in files if f.is_file())


def our_fields(driver, paths):
    """{path: {key: bytes}} as our library reads them; None for a file it refuses."""
    result = {}
    for start in range(0, len(paths), 200):
        out = subprocess.run([*driver, *paths[start:start + 200]], check=True,
                             capture_output=True).stdout.decode()
        current = None
        for line in out.splitlines():
            if line[:2] in ("= ", "! "):
                current = {} if line[0] == "=" else None
                result[line[2:]] = current
            elif current is not None:
                key, _, text = line.partition("\t")
                current[key] = bytes.fromhex(text)
    return result


def compare(driver, paths):
    """Prints each file whose fields differ, then the counts; returns the number that differ."""
    ours = our_fields(driver, paths)
    counts = dict.fromkeys(("mutagen reads a tag", "refused by our library", "a tag at the start",
                            "items past the declared count", "fields differ"), 0)
    for path in paths:
        theirs = read_shown(path)
        if theirs is None:
            continue
        counts["mutagen reads a tag"] += 1
        theirs = {k: v for k, v in theirs.items() if k not in RESERVED_KEYS}
        mine = ours.get(path)
        if mine == theirs:
            continue
        if mine is None:
            counts["refused by our library"] += 1
        elif pathlib.Path(path).read_bytes().startswith(b"APETAGEX"):
            counts["a tag at the start"] += 1
        elif all(mine.get(k) == v for k, v in theirs.items()):
            counts["items past the declared count"] += 1
        else:
            counts["fields differ"] += 1
            print(f"differs: {path}\n  mutagen: {theirs}\n  ours:    {mine}")
    print(f"inputs: {len(paths)}, " + ", ".join(f"{k}: {v}" for k, v in counts.items()))
    return counts["fields differ"] if counts["mutagen reads a tag"] else 1


def main():
    if sys.argv[2] == "--files":
        return 1 if compare([sys.argv[1], "--monkeys-audio"], sys.argv[3:]) else 0
    driver, targets_txt = sys.argv[1], sys.argv[2]
    corpus = sys.argv[3] if len(sys.argv) > 3 else None
    with tempfile.TemporaryDirectory() as temporary:
        paths = [str(p) for p in inputs_of(targets_txt, corpus, "fuzz_ape_read")]
        for index, path in enumerate(inputs_of(targets_txt, corpus, "fuzz_ape_write")):
            image = pathlib.Path(temporary, f"{index}-{path.name}")
            image.write_bytes(image_of_write_input(path.read_bytes()))
            paths.append(str(image))
        return 1 if compare([driver], paths) else 0


if __name__ == "__main__":
    sys.exit(main())
