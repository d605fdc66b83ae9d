#!/usr/bin/python3
"""Runs the installed Quillet (list, write, clear, write again) over damaged and unusual files
where the write fuzzer does not reach: the tag Quillet wrote on audio of each layout, cut at every
length and with its extent wrong; other formats' tags; Lyrics3v2 blocks up to 64 KB; tag-like
bytes inside the audio. Each run exits 0 or 1, a listing changes nothing, the audio stays, and a
write after a clear reads back in mutagen."""
import os
import struct
import sys

import apefile
from apefile import id3v1, lyrics3, render_tag

WRONG_BY = (1000, -1000, 3000, -3000, 1 << 31)
TITLE = [("Title", 0, b"Intro")]


def with_wrong_sizes(label: str, region: bytes):
    """`region`, and with its APE footer's tag size wrong by each of WRONG_BY."""
    yield label, region
    for end in (len(region), len(region) - 128):
        if end >= 32 and region[end - 32:end - 24] == b"APETAGEX":
            for delta in WRONG_BY:
                image = bytearray(region)
                size = struct.unpack_from("<I", region, end - 20)[0] + delta
                struct.pack_into("<I", image, end - 20, size & 0xFFFFFFFF)
                yield f"{label} size {delta:+}", bytes(image)
            return


def unusual_tags(grafts):
    for source in grafts:
        data = apefile.read(source)
        yield from with_wrong_sizes(f"graft {os.path.basename(source)}",
                                    data[apefile.tag_region_start(data):] or data)
    for size in (100, 4000, 5000, 20000, 65536):
        lyrics = lyrics3(size, b"[00:01]") + id3v1(b"Lyrics")
        yield f"Lyrics3v2 {size}", lyrics
        yield f"APE + Lyrics3v2 {size}", render_tag(TITLE) + lyrics


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
        # The program reports no refused save: mutagen tells whether the write happened, and a
        # clear happened when it changed the file or left nothing but the audio.
        if cleared and args == ["-T=Damaged"]:
            problems += [f"{what}: after a clear, {problem}"
                         for problem in apefile.mutagen_problem(path, ("Damaged",), True)]
        cleared = cleared or (args == ["-REMOVEALL"] and (after != before or after == audio))
    return problems


def main() -> int:
    options = apefile.setup(("--base", {"required": True, "help": "a 3.99 file without tag"}),
                            ("--old-base", {"required": True, "help": "a 3.9x file without tag"}),
                            ("grafts", {"nargs": "*"}))
    path = os.path.join(options.work, "damaged.ape")
    tried = failed = 0
    problems = []
    for layout, base in (("3.99", options.base), ("old", options.old_base)):
        audio = apefile.audio_of(base)
        apefile.write(path, audio)
        apefile.run(["-T=Title", "-A=Artist", "-C=" + "c" * 3000], path)
        tagged = apefile.read(path)
        if not tagged.startswith(audio) or len(tagged) == len(audio):
            problems.append(f"{layout}: the base file could not be tagged")
            continue
        shapes = [(f"cut at {cut}", tagged[:len(audio) + cut])
                  for cut in range(len(tagged) - len(audio))]
        shapes += [(label, audio + region) for label, region in
                   [*with_wrong_sizes("Quillet's tag", tagged[len(audio):]),
                    *unusual_tags(options.grafts)]]
        if layout == "3.99":
            # Bytes that look like a tag or a tail, inside the audio the header declares.
            for name, fake in (("Lyrics3v2", lyrics3(100, b"[00:01]")),
                               ("APE footer", render_tag(TITLE, header=False))):
                fake_audio = audio[:-len(fake)] + fake
                shapes += [(f"{name} inside the audio", fake_audio),
                           (f"{name} inside the audio, ID3v1", fake_audio + id3v1(b"real"))]
        for label, image in shapes:
            apefile.write(path, image)
            found = check(f"{layout}: {label}", path, image[:len(audio)])
            problems += found
            tried, failed = tried + 1, failed + bool(found)
    return apefile.summary(tried - failed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
