#!/usr/bin/python3
"""Writes the seed inputs of the fuzz targets that need more than a plain file.

usage: make_seeds.py FIXTURES_DIR OUT_DIR
"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "stress"))
from apefile import id3v1, lyrics3, render_tag, streams  # noqa: E402


def tag_shapes():
    """Tag regions that reach the paths locating depends on."""
    title = [(b"Title", 0, b"Intro")]
    return {
        "apev1-claiming-1000-more": render_tag(title, 1000, header=False, footer_flags=0,
                                               size_error=1000),
        "apev2-claiming-3000-more": render_tag(title, size_error=3000),
        "lyrics3-5000": render_tag(title) + lyrics3(5000) + id3v1(b"Lyrics"),
        "lyrics3-only": lyrics3(300) + id3v1(b"Lyrics"),
        "id3v1-inside-audio": b"",
        "lone-header": render_tag(title)[:32],
    }


def located_images():
    for layout, audio in streams().items():
        for shape, region in tag_shapes().items():
            if shape == "id3v1-inside-audio":
                region = audio[:-128] + id3v1(b"audio")
            else:
                region = audio + region
            yield f"{layout}-{shape}", region


def main() -> int:
    fixtures, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    for name in ("fuzz_ape_read", "fuzz_ape_write", "fuzz_parse_opt", "fuzz_charset"):
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
    for name, data in located_images():
        (out / "fuzz_ape_read" / name).write_bytes(data)
        for variant, prefix in enumerate(operations):
            (out / "fuzz_ape_write" / f"{name}-{variant}").write_bytes(prefix + data)

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
