#!/usr/bin/python3
"""mutagen as the other reader of the tags we read.

usage: differential_mutagen.py PRINT_FIELDS TARGETS_TXT [CORPUS_DIR]
       differential_mutagen.py PRINT_FIELDS --files FILE...

Compares the text fields of each file that mutagen reads a tag from with what our
library reads (PRINT_FIELDS: print_fields.cpp), as our listing shows them (shown_fields): the
inputs of fuzz_ape_read (TARGETS_TXT: the fuzz build's fuzz/targets.txt; CORPUS_DIR: what
libFuzzer runs grew, BUILD/corpus/<target>), or the files named, as Monkey's Audio files only.
Ours by design and counted apart: a tag at the start of a file (we look at the end only), and
items past the count a tag declares (we read items as far as their bytes go). Exits 1 when any
other file differs.
"""
import pathlib
import subprocess
import sys

from mutagen.apev2 import APEv2, APETextValue

RESERVED_KEYS = {"id3", "tag", "oggs", "mp+"}
# The library cuts a fetched text to fit a 2048-byte buffer, NUL included.
FETCH_ROOM = 2047


def shown_fields(path):
    """{lower-case key: bytes} of the text items as our library shows them (values joined by
    "; ", a last empty value dropped, cut between characters as a fetch cuts), or None when
    mutagen reads no tag."""
    try:
        tag = APEv2(path)
    except Exception:  # mutagen's errors for a missing or refused tag vary
        return None
    shown = {}
    for key, value in tag.items():
        if isinstance(value, APETextValue) and key.lower() not in RESERVED_KEYS:
            values = list(value)
            if len(values) > 1 and values[-1] == "":
                values.pop()
            text = "; ".join(values).encode("utf-8")
            end = min(len(text), FETCH_ROOM)
            while end < len(text) and end > 0 and (text[end] & 0xC0) == 0x80:
                end -= 1
            shown[key.lower()] = text[:end]
    return shown


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
        theirs = shown_fields(path)
        if theirs is None:
            continue
        counts["mutagen reads a tag"] += 1
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
    corpus = sys.argv[3] if len(sys.argv) > 3 else None
    paths = [str(p) for p in inputs_of(sys.argv[2], corpus, "fuzz_ape_read")]
    return 1 if compare([sys.argv[1]], paths) else 0


if __name__ == "__main__":
    sys.exit(main())
