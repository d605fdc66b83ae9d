#!/usr/bin/python3
"""Runs Quillet over broken files: the broken samples other software keeps for its own tests, and
files damaged here on purpose (the tag region cut at every length, size and count fields
flipped). Listing and writing must end with exit code 0 or 1, never a signal or a sanitizer
report, and a list-only run must never change the file.

usage: damage_harness.py --quillet PATH --home DIR --work DIR --base FILE [BROKEN...]
"""
import argparse
import os
import struct
import subprocess
import sys

import apefile


def damaged_images(data: bytes):
    """Yields (label, bytes) variants of a file that ends in an APE tag."""
    start = apefile.tag_region_start(data)
    for cut in range(start, len(data)):
        yield f"cut at {cut}", data[:cut]
    footer = len(data) - 32
    header = start if data[start:start + 8] == b"APETAGEX" else None
    for where, name in ((footer, "footer"), (header, "header")):
        if where is None:
            continue
        for field, offset in (("size", 12), ("count", 16), ("version", 8), ("flags", 20)):
            for value in (0, 1, 31, 32, 33, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                          len(data), len(data) - start + 1):
                image = bytearray(data)
                struct.pack_into("<I", image, where + offset, value & 0xFFFFFFFF)
                yield f"{name} {field} = {value:#x}", bytes(image)
    # First item: its value size and a key byte.
    items = (header + 32) if header is not None else start
    for value in (0, 0x7FFFFFFF, 0xFFFFFFFF, len(data)):
        image = bytearray(data)
        struct.pack_into("<I", image, items, value)
        yield f"first item size = {value:#x}", bytes(image)
    for byte in (0x00, 0x01, 0x7F, 0xFF):
        image = bytearray(data)
        image[items + 8] = byte
        yield f"first key byte = {byte:#x}", bytes(image)


def check(options, env, label, path, problems):
    for args in ([], ["-T=Damaged", "-C=" + "x" * 3000], ["-REMOVEALL"]):
        with open(path, "rb") as handle:
            before = handle.read()
        run = subprocess.run([options.quillet] + args + [path], env=env, capture_output=True,
                             timeout=60)
        report = run.stderr.decode("utf-8", "replace")
        if run.returncode not in (0, 1) or "Sanitizer" in report or "runtime error" in report:
            problems.append(f"{label} {args[:1]}: exit {run.returncode} "
                            f"{report[-400:]}")
        if not args:
            with open(path, "rb") as handle:
                if handle.read() != before:
                    problems.append(f"{label}: a list-only run changed the file")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillet", required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--base", required=True, help="a Monkey's Audio file to damage")
    parser.add_argument("broken", nargs="*")
    options = parser.parse_args()
    env = apefile.program_env(options.home)
    os.makedirs(options.work, exist_ok=True)
    problems = []
    tried = 0

    base = os.path.join(options.work, "base.ape")
    with open(options.base, "rb") as handle:
        data = handle.read()
    with open(base, "wb") as handle:
        handle.write(data)
    subprocess.run([options.quillet, "-T=Title", "-A=Artist", "-C=Comment", base], env=env,
                   capture_output=True, timeout=60)
    with open(base, "rb") as handle:
        tagged = handle.read()

    path = os.path.join(options.work, "damaged.ape")
    for label, image in damaged_images(tagged):
        with open(path, "wb") as handle:
            handle.write(image)
        check(options, env, label, path, problems)
        tried += 1
    for source in options.broken:
        with open(source, "rb") as handle:
            image = handle.read()
        with open(path, "wb") as handle:
            handle.write(image)
        check(options, env, os.path.basename(source), path, problems)
        tried += 1

    print(f"damaged files tried: {tried}, each listed, written and cleared")
    for problem in problems[:50]:
        print("FAIL", problem)
    failed = len({p.split(":")[0] for p in problems})
    print(f"{tried - failed} passed, {failed} failed")
    return 0 if not problems else 1


if __name__ == "__main__":
    sys.exit(main())
