"""What another program, or a forger, may do to a file a save left half-done, and what Quillet
must do with it: apply the record where it proves the file is the one it was made for (an ID3v2
tag added in front moves every offset), never otherwise (bytes appended after the tag, a byte
changed before the save's region, the file copied, its journal beside another file, random
bytes, a record pointing into the audio, the copy trailer an earlier Quillet appended)."""
import os
import random
import struct
import zlib

import apefile
from crash_model import State, put, take

NO_ANCHOR = (1 << 64) - 1


def mutagen_problem(path: str, shown, tag_only=False) -> list:
    try:
        seen = apefile.mutagen_fields(path, tag_only)
    except Exception as error:  # mutagen raises many kinds
        return [f"mutagen cannot read it: {error!r:.200}"]
    return [] if apefile.same_fields(seen, shown) else [f"mutagen reads {seen!r:.200}"]


def record_target(journal: bytes):
    """The absolute offset a journal's record says its save started at, or None."""
    if journal is None or len(journal) < 48 or journal[:8] != b"QLTJRNL\n":
        return None
    anchor, target = struct.unpack_from("<QQ", journal, 32)
    return target + (0 if anchor == NO_ANCHOR else anchor)


# The ID3v2.4 tag another tagger may append after the APE tag: a title frame, and the footer
# ("3DI") that lets a reader find it from the end.
def id3v2_with_footer(length: int) -> bytes:
    """Such a tag of at least `length` bytes."""
    frame = b"TIT2" + struct.pack(">I", 11) + b"\0\0" + b"\x03Appended!"
    body = frame + bytes(max(64, length - len(frame) - 20))
    size = bytes((len(body) >> shift) & 0x7F for shift in (21, 14, 7, 0))
    return b"ID3\x04\x00\x10" + size + body + b"3DI\x04\x00\x10" + size


def edits_after_crash(scenario, torn: State, recovered: bytes, work) -> list:
    """Another program's edit of a file a save left half-done; (label, ok) pairs."""
    results = []
    path = scenario.path
    target = record_target(torn.journal)
    # mutagen adds an ID3v2 tag in front: every offset moves; the record proves where.
    put(path, torn)
    import mutagen.id3
    tags = mutagen.id3.ID3()
    tags.add(mutagen.id3.TIT2(encoding=3, text=["Front"]))
    tags.save(path, v1=1)
    edited = apefile.read(path)
    delta = len(edited) - len(torn.audio)  # mutagen rewrites an ID3v1 tag in place
    code, shown = apefile.listing(path)
    after = take(path)
    trouble = []
    if delta <= 0 or edited[:3] != b"ID3" or after.audio[:delta] != edited[:delta]:
        trouble.append("the ID3v2 tag in front changed")
    elif after.audio[delta:delta + scenario.audio_length] != torn.audio[:scenario.audio_length]:
        trouble.append("audio bytes changed")
    elif after.audio[delta:] not in scenario.committed:
        trouble.append("after the listing the file is neither the old nor the new one")
    if shown not in scenario.allowed:
        trouble.append(f"Quillet reads {shown!r:.200}")
    if after.journal is not None:
        trouble.append("a journal is left")
    if not trouble:
        trouble += mutagen_problem(path, shown, tag_only=True)
    results.append(("ID3v2 added in front, record applied", trouble))

    # An ID3v2 tag with its footer appended: the file no longer ends where the save left it.
    old_size, new_size = struct.unpack_from("<QQ", torn.journal, 48)
    appended = id3v2_with_footer(max(old_size, new_size) - len(torn.audio) + 1)
    put(path, State(torn.audio + appended, torn.journal))
    apefile.listing(path)
    after = take(path)
    trouble = []
    if after.audio != torn.audio + appended:
        trouble.append("the listing applied the record")
    if after.journal is not None:
        trouble.append("the record that does not match is left")
    for args in (["-Y=1999"], ["-REMOVEALL"]):
        put(path, State(torn.audio + appended, torn.journal))
        apefile.run(args, path)
        after = take(path).audio
        if after[:target] != torn.audio[:target]:
            trouble.append(f"{args[0]} changed bytes before the save's region")
        if after[target:].find(appended) < 0:
            trouble.append(f"{args[0]} changed the appended ID3v2 tag")
    results.append(("ID3v2 appended, record not applied", trouble))

    # A byte changed just before the save's region, and one in the audio's first bytes: the
    # file is no longer the one the record was made for.
    trouble = []
    for where in (target - 1, torn.audio.find(b"MAC ") + 64):
        changed = bytearray(torn.audio)
        changed[where] ^= 0xFF
        put(path, State(bytes(changed), torn.journal))
        apefile.listing(path)
        after = take(path)
        if after.audio != changed:
            trouble.append(f"the listing applied the record with byte {where} changed")
        if after.journal is not None:
            trouble.append(f"the record that does not match is left (byte {where} changed)")
    results.append(("bytes before its region changed, record not applied", trouble))

    # The file copied (its journal stays with the original) and a copy of both beside another
    # name: neither copy's bytes change on a listing, and a write stays in the save's region.
    other = os.path.join(work, "copy.ape")
    trouble = []
    for label, journal in (("copied", None), ("copied with the journal", torn.journal)):
        put(other, State(torn.audio, journal))
        apefile.listing(other)
        if apefile.read(other) != torn.audio:
            trouble.append(f"{label}: a listing changed the copy")
        if os.path.exists(apefile.journal_of(other)):
            trouble.append(f"{label}: the journal is left beside the copy")
        put(other, State(torn.audio, journal))
        apefile.run(["-T=copy"], other)
        if apefile.read(other)[:target] != torn.audio[:target]:
            trouble.append(f"{label}: a write changed bytes before the save's region")
    put(path, torn)
    apefile.listing(path)
    if apefile.read(path) != recovered:
        trouble.append("the original does not recover as before")
    results.append(("file copied, record not applied to the copy", trouble))
    return results


def forged_records(name, base: bytes, audio_length, work) -> list:
    """Records that must never be applied, beside `base`; (label, problems) pairs."""
    path = os.path.join(work, "forged.ape")
    results = []
    apefile.write(path, base)
    status = os.stat(path)
    junk = random.Random(len(base)).randbytes(4096)
    records = [("random bytes", junk), ("an empty journal", b"")]
    # Where the header declares the end of the audio; in the old layout a record may rewrite
    # anything above the last frame's start.
    if declares_audio_end(base):
        records.append(("a record pointing into the audio",
                        forged_journal(base, status, audio_length)))
    for label, journal in records:
        put(path, State(base, journal))
        code, shown = apefile.listing(path)
        after = take(path)
        trouble = []
        if after.audio != base:
            trouble.append("the listing changed the file")
        if after.journal is not None:
            trouble.append("the journal is left")
        for args in (["-A=Alice"], ["-REMOVEALL"]):
            put(path, State(base, journal))
            apefile.run(args, path)
            if apefile.read(path)[:audio_length] != base[:audio_length]:
                trouble.append(f"{args[0]} changed audio bytes")
        results.append((f"{name}: beside it {label}", trouble))
    # The trailer an earlier Quillet put after a copy of a tag, here pointing into the audio: read
    # like any other bytes.
    block = apefile.render_tag([("Title", 0, b"Copied")])
    fields = b"QLTCOPY1" + struct.pack("<QQ", inside(audio_length), len(block))
    image = base + block + fields + struct.pack("<II", zlib.crc32(fields, zlib.crc32(block)), 0)
    trouble = []
    for args in ([], ["-A=Alice"], ["-REMOVEALL"]):
        put(path, State(image, None))
        apefile.run(args, path)
        after = apefile.read(path)
        if after[:audio_length] != image[:audio_length] or (not args and after != image):
            trouble.append(f"{(args or ['a listing'])[0]} changed bytes it does not own")
    results.append((f"{name}: ending in a copy trailer", trouble))
    return results


def inside(audio_length: int) -> int:
    """An offset inside the last bytes of the audio."""
    return max(audio_length - 4000, audio_length // 2)


def declares_audio_end(image: bytes) -> bool:
    """True for the layout of version 3.98 on, whose header gives the length of the audio."""
    anchor = image.find(b"MAC ")
    return anchor >= 0 and struct.unpack_from("<H", image, anchor + 4)[0] >= 3980


def forged_journal(image: bytes, status, audio_length) -> bytes:
    """A record whose checksums and binding all hold for `image` as it is, that would write its
    payload back over the last bytes of the audio."""
    anchor = image.find(b"MAC ")
    anchor = 0 if anchor < 0 else anchor
    target = inside(audio_length)
    before = image[max(anchor, target - 65536):target]
    head = image[anchor:min(anchor + 65536, target)]
    payload = bytes(len(image) - target)
    numbers = struct.pack("<8sIIQQQQQQIIIIII", b"QLTJRNL\n", 1, 96, status.st_dev, status.st_ino,
                          anchor, target - anchor, len(image), len(image) + 1, len(before),
                          zlib.crc32(before), len(head), zlib.crc32(head),
                          zlib.crc32(image[target:] + b"\0"), zlib.crc32(payload))
    numbers += bytes(4)
    return numbers + struct.pack("<I", zlib.crc32(numbers)) + payload
