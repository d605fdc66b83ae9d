#!/usr/bin/python3
"""Runs Quillet over damaged and unusual files and checks that no audio byte is ever lost.

Each file is real audio (one file of each header layout) followed by a tag region: the tag
Quillet wrote, cut at every length and with every size and count field wrong; the tags of the
other formats' samples grafted on; Lyrics3v2 blocks from 100 bytes to 64 KB; covers of 1 MB and
17 MB; the same key in every letter case; bytes that look like a tag inside the audio. Every run
(list, write, clear, write again) must end with exit code 0 or 1, never a signal or a sanitizer
report, a list-only run must not change the file, and after every run the file must start with
the audio bytes exactly. A write that follows a successful clear must succeed, and mutagen must
read what it wrote.

usage: damage_harness.py --quillet PATH --home DIR --work DIR --base FILE --old-base FILE
                         [GRAFT...]
"""
import os
import struct
import sys

import apefile
from apefile import id3v1, lyrics3, render_tag

WRONG_BY = (1000, -1000, 3000, -3000, 1 << 31)


def patched(data: bytes, offset: int, value: int) -> bytes:
    """`data` with the 32-bit field at `offset` set to `value` (modulo 2^32)."""
    image = bytearray(data)
    struct.pack_into("<I", image, offset, value & 0xFFFFFFFF)
    return bytes(image)


def with_size(data: bytes, footer: int, delta: int) -> bytes:
    """`data` with the tag size of the block at `footer` changed by `delta`."""
    return patched(data, footer + 12, struct.unpack_from("<I", data, footer + 12)[0] + delta)


def footer_of(data: bytes):
    """Offset of the APE footer at the end of `data` or before its ID3v1 tag, or None."""
    for end in (len(data), len(data) - 128):
        if end >= 32 and data[end - 32:end - 24] == b"APETAGEX":
            return end - 32
    return None


def damaged_tags(data: bytes, start: int):
    """Yields (label, region) variants of a tag region data[start:] that Quillet wrote."""
    for cut in range(start, len(data)):
        yield f"cut at {cut - start}", data[start:cut]
    header = start if data[start:start + 8] == b"APETAGEX" else None
    items = start if header is None else header + 32
    values = (0, 1, 31, 32, 33, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, len(data) - start + 1)
    for where, name in ((len(data) - 32, "footer"), (header, "header")):
        if where is None:
            continue
        for field, offset in (("size", 12), ("count", 16), ("version", 8), ("flags", 20)):
            for value in values:
                yield f"{name} {field} = {value:#x}", patched(data, where + offset, value)[start:]
        for delta in WRONG_BY:
            yield f"{name} size {delta:+}", with_size(data, where, delta)[start:]
    for value in (0, 0x7FFFFFFF, 0xFFFFFFFF, len(data)):
        yield f"first item size = {value:#x}", patched(data, items, value)[start:]
    for byte in (0x00, 0x01, 0x7F, 0xFF):
        image = bytearray(data)
        image[items + 8] = byte
        yield f"first key byte = {byte:#x}", bytes(image[start:])


def unusual_tags(grafts):
    """Yields (label, region) tag regions of other software and unusual shapes."""
    title = [("Title", 0, b"Intro")]
    for source in grafts:
        data = apefile.read(source)
        region = data[apefile.tag_region_start(data):] or data
        name = os.path.basename(source)
        yield f"graft {name}", region
        footer = footer_of(region)
        for delta in WRONG_BY if footer is not None else ():
            yield f"graft {name} size {delta:+}", with_size(region, footer, delta)
    for size in (100, 4000, 5000, 20000, 65536):
        lyrics = lyrics3(size, b"[00:01]") + id3v1(b"Lyrics")
        yield f"Lyrics3v2 {size}", lyrics
        yield f"APE + Lyrics3v2 {size}", render_tag(title) + lyrics
    for size in (1 << 20, 17_000_000):
        cover = b"cover.jpg\0\xff\xd8" + bytes(size)
        yield f"cover {size}", render_tag(title + [("Cover Art (Front)", 2, cover)])
    cases = ("Title", "TITLE", "title", "tItLe", "TiTlE")
    yield "one key in every case", render_tag([(k, 0, f"value {i}".encode())
                                               for i, k in enumerate(cases)])
    v1 = render_tag([("Title", 0, b"Intro\0"), ("Year", 0, b"1989\0")], 1000, header=False,
                    footer_flags=0)
    yield "APEv1", v1
    for delta in WRONG_BY:
        yield f"APEv1 size {delta:+}", with_size(v1, len(v1) - 32, delta)
    yield "footer-only claiming 3000", render_tag(title, header=False)[:-32] + (
        b"APETAGEX" + struct.pack("<IIII", 2000, 3000, 1, 0x80000000) + bytes(8))
    yield "footer disowning its header", render_tag(title, footer_flags=0)
    yield "footer flagged as a header", render_tag(title, footer_flags=0xA0000000)
    yield "footer flagged as a header, no header", render_tag(title, header=False,
                                                              footer_flags=0xA0000000)
    yield "a header left alone", render_tag(title)[:32]


def check(label, path, audio: bytes) -> list:
    problems = []
    cleared = False
    for args in ([], ["-T=Damaged", "-C=" + "x" * 3000], ["-REMOVEALL"], ["-T=Damaged"]):
        before = apefile.read(path)
        run = apefile.run(args, path)
        report = run.stderr.decode("utf-8", "replace")
        what = f"{label} {args[:1]}"
        if run.returncode not in (0, 1) or "Sanitizer" in report or "runtime error" in report:
            problems.append(f"{what}: exit {run.returncode} {report[-400:]}")
        after = apefile.read(path)
        if not args and after != before:
            problems.append(f"{label}: a list-only run changed the file")
        if not after.startswith(audio):
            problems.append(f"{what}: audio bytes changed")
        if cleared and args == ["-T=Damaged"] and not mutagen_reads(path, "Damaged"):
            # The program reports no refused save: mutagen tells whether the write happened.
            problems.append(f"{what}: mutagen does not read the tag written after a clear")
        # The program does not report a refused save either: a clear happened when it changed
        # the file, or left nothing but the audio.
        cleared = cleared or (args == ["-REMOVEALL"] and (after != before or after == audio))
    return problems


def mutagen_reads(path: str, title: str) -> bool:
    import mutagen.apev2
    try:
        return str(mutagen.apev2.APEv2(path).get("Title")) == title
    except Exception:  # mutagen's own errors: the file is not readable
        return False


def main() -> int:
    options = apefile.setup(("--base", {"required": True, "help": "a 3.99 file without tag"}),
                            ("--old-base", {"required": True, "help": "a 3.9x file without tag"}),
                            ("grafts", {"nargs": "*"}))
    path = os.path.join(options.work, "damaged.ape")
    tried = intact = failed = 0
    problems = []
    for layout, base in (("3.99", options.base), ("old", options.old_base)):
        audio = apefile.read(base)
        audio = audio[:apefile.tag_region_start(audio)]
        apefile.write(path, audio)
        apefile.run(["-T=Title", "-A=Artist", "-C=" + "c" * 3000], path)
        tagged = apefile.read(path)
        if not tagged.startswith(audio) or len(tagged) == len(audio):
            problems.append(f"{layout}: the base file could not be tagged")
            continue
        shapes = [(label, audio, region)
                  for label, region in damaged_tags(tagged, len(audio))]
        shapes += [(label, audio, region) for label, region in unusual_tags(options.grafts)]
        if layout == "3.99":
            # Bytes that look like a tag or a tail, inside the audio the header declares.
            for name, fake in (("ID3v1", id3v1(b"in the audio")),
                               ("Lyrics3v2", lyrics3(100, b"[00:01]")),
                               ("APE footer", render_tag([("Title", 0, b"x")], header=False))):
                fake_audio = audio[:-len(fake)] + fake
                shapes += [(f"{name} inside the audio", fake_audio, b""),
                           (f"{name} inside the audio, ID3v1", fake_audio, id3v1(b"real"))]
        for label, shape_audio, region in shapes:
            apefile.write(path, shape_audio + region)
            found = check(f"{layout}: {label}", path, shape_audio)
            problems += found
            tried, failed = tried + 1, failed + bool(found)
            intact += not any("audio bytes changed" in problem for problem in found)

    print(f"damaged files tried: {tried}, audio intact: {intact}")
    return apefile.summary(tried - failed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
