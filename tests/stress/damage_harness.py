#!/usr/bin/python3
"""Runs Quillet over broken files: the broken samples other software keeps for its own tests, and
files damaged here on purpose (the tag region cut at every length, size and count fields
flipped). Listing and writing must end with exit code 0 or 1, never a signal or a sanitizer
report, and a list-only run must never change the file.

usage: damage_harness.py --quillet PATH --home DIR --work DIR --base FILE [BROKEN...]
"""
import itertools
import os
import shutil
import struct
import sys

import apefile


def damaged_images(data: bytes):
    """Yields (label, bytes) variants of a file that ends in an APE tag."""
    start = apefile.tag_region_start(data)
    for cut in range(start, len(data)):
        yield f"cut at {cut}", data[:cut]
    header = start if data[start:start + 8] == b"APETAGEX" else None
    items = start if header is None else header + 32
    flips = [(where, name, field, offset, value)
             for where, name in ((len(data) - 32, "footer"), (header, "header")) if where is not None
             for field, offset in (("size", 12), ("count", 16), ("version", 8), ("flags", 20))
             for value in (0, 1, 31, 32, 33, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, len(data),
                           len(data) - start + 1)]
    # The first item: its value size.
    flips += [(items, "first item", "size", 0, value)
              for value in (0, 0x7FFFFFFF, 0xFFFFFFFF, len(data))]
    for where, name, field, offset, value in flips:
        image = bytearray(data)
        struct.pack_into("<I", image, where + offset, value & 0xFFFFFFFF)
        yield f"{name} {field} = {value:#x}", bytes(image)
    for byte in (0x00, 0x01, 0x7F, 0xFF):
        image = bytearray(data)
        image[items + 8] = byte
        yield f"first key byte = {byte:#x}", bytes(image)


def check(label, path) -> list:
    problems = []
    for args in ([], ["-T=Damaged", "-C=" + "x" * 3000], ["-REMOVEALL"]):
        before = apefile.read(path)
        run = apefile.run(args, path)
        report = run.stderr.decode("utf-8", "replace")
        if run.returncode not in (0, 1) or "Sanitizer" in report or "runtime error" in report:
            problems.append(f"{label} {args[:1]}: exit {run.returncode} {report[-400:]}")
        if not args and apefile.read(path) != before:
            problems.append(f"{label}: a list-only run changed the file")
    return problems


def main() -> int:
    options = apefile.setup(("--base", {"required": True, "help": "a Monkey's Audio file"}),
                            ("broken", {"nargs": "*"}))
    base, path = (os.path.join(options.work, name) for name in ("base.ape", "damaged.ape"))
    shutil.copyfile(options.base, base)
    apefile.run(["-T=Title", "-A=Artist", "-C=Comment"], base)
    broken = ((os.path.basename(source), apefile.read(source)) for source in options.broken)
    tried = failed = 0
    problems = []
    for label, image in itertools.chain(damaged_images(apefile.read(base)), broken):
        apefile.write(path, image)
        found = check(label, path)
        problems += found
        tried, failed = tried + 1, failed + bool(found)

    print(f"damaged files tried: {tried}, each listed, written and cleared")
    return apefile.summary(tried - failed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
