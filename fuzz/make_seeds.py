#!/usr/bin/python3
"""Writes the seed inputs of the fuzz targets that need more than a plain file.

usage: make_seeds.py FIXTURES_DIR OUT_DIR
"""
import os
import pathlib
import sys


def main() -> int:
    fixtures, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    for name in ("fuzz_ape_write", "fuzz_parse_opt", "fuzz_charset"):
        (out / name).mkdir(parents=True, exist_ok=True)

    # Operations (count, then kind / field / length / value), then a file image.
    operations = [
        bytes([3, 1, 0, 1]) + b"Intro 01" + bytes([1, 1, 1]) + b"Artist 1" + bytes([2]),
        bytes([4, 0, 2, 1, 3, 1]) + b"comment " + bytes([2])
    ]
    images = sorted(p for p in fixtures.rglob("*") if p.is_file() and p.stat().st_size < 200_000)
    for index, image in enumerate(images):
        data = image.read_bytes()
        for variant, prefix in enumerate(operations):
            (out / "fuzz_ape_write" / f"{index}-{variant}-{image.name}").write_bytes(prefix + data)

    command_lines = [
        [b"-REMOVEALL", b"-T=Intro", b"-CS=S", b"MyApe.ape"],
        [b"-t:Seasons", b"-Artist=Jack and Ken", b"-charset=utf-8", b"a.ape"],
        [b"-?", b"-V"], [b"-X=1", b"file"], [b"-cs=latin1"], [b""], [b"-"], [b"--help"],
        [b"-L=\xe6\x98\xa5", b"-R=7/12", b"-Y=2026", b"-G=Rock", b"-C=a=b:c", b"f"],
    ]
    for index, arguments in enumerate(command_lines):
        (out / "fuzz_parse_opt" / f"line-{index}").write_bytes(b"\0".join(arguments))

    texts = [
        b"Intro", "\u6625\u306e\u6d77".encode("utf-8"), "\u6625\u306e\u6d77".encode("cp932"),
        "\u6625\u306e\u6d77".encode("iso2022_jp"), b"\xc3\x1b", b"\xc3", b"A\x81", b"\x1b$B",
        "\u301c\uff5e\u2460\u20ac".encode("utf-8"), b"\x87\x40\xfa\x5c\xed\x40",
    ]
    for index, text in enumerate(texts):
        for selector in (0, 1, 2, 3, 0x80):
            (out / "fuzz_charset" / f"text-{index}-{selector}").write_bytes(
                bytes([selector, 17]) + text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
