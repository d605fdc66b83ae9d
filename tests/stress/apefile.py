"""Helpers shared by the stress scripts and the fuzz seeds: runs of Quillet, tags and images
built, the pair of a file and its journal, and the fields as Quillet and mutagen read them."""
import argparse
import os
import pathlib
import struct
import subprocess
from typing import NamedTuple, Optional

FIELDS = ["Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"]
# Quillet shows at most this many bytes of a field (its buffer less the terminator).
SHOWN_BYTES = 2047
_program = _env = None


def setup(*arguments) -> argparse.Namespace:
    """Parses --quillet, --home, --work and `arguments`; readies run() for that program."""
    global _program, _env
    parser = argparse.ArgumentParser()
    for name in ("--quillet", "--home", "--work"):
        parser.add_argument(name, required=True)
    for name, keywords in arguments:
        parser.add_argument(name, **keywords)
    options = parser.parse_args()
    os.makedirs(options.work, exist_ok=True)
    _program = options.quillet
    _env = dict(os.environ, HOME=options.home, LANG="C")
    for name in ("LC_ALL", "LC_MESSAGES", "LD_PRELOAD"):
        _env.pop(name, None)
    # A sanitizer report must not pass for the program's own exit code 1. A preloaded fault
    # library comes before the sanitizer runtime, which must accept that.
    _env["ASAN_OPTIONS"] = _env.get("ASAN_OPTIONS", "") + ":exitcode=86:verify_asan_link_order=0"
    _env["UBSAN_OPTIONS"] = _env.get("UBSAN_OPTIONS", "") + ":exitcode=87:print_stacktrace=1"
    return options


def run(args: list, path: str, wait=True, prefix=(), **extra_env):
    command, env = list(prefix) + [_program] + args + [path], dict(_env, **extra_env)
    if not wait:
        return subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL)
    return subprocess.run(command, env=env, capture_output=True, timeout=60)


def journal_of(path: str) -> str:
    folder, name = os.path.split(path)
    return os.path.join(folder, f".{name}.quillet-journal")


class State(NamedTuple):
    audio: bytes
    journal: Optional[bytes]  # None: no journal beside the file


def put(path: str, state: State):
    """Leaves `state` at `path` (the same inode as before: only its bytes change)."""
    write(path, state.audio)
    if state.journal is not None:
        write(journal_of(path), state.journal)
    elif os.path.exists(journal_of(path)):
        os.unlink(journal_of(path))


def take(path: str) -> State:
    journal = journal_of(path)
    return State(read(path), read(journal) if os.path.exists(journal) else None)


def read(path: str) -> bytes:
    return pathlib.Path(path).read_bytes()


def write(path: str, data: bytes):
    pathlib.Path(path).write_bytes(data)


def tag_region_start(data: bytes) -> int:
    """Where the trailing tag region (APE tag, Lyrics3v2, ID3v1) begins, or len(data)."""
    end = len(data)
    if end >= 128 and data[end - 128:end - 125] == b"TAG" and not (
            end >= 131 and data[end - 131:end - 123] == b"APETAGEX"):
        end -= 128
        digits = data[end - 15:end - 9]
        if end >= 15 and data[end - 9:end] == b"LYRICS200" and digits.isdigit():
            lyrics = end - 15 - int(digits)
            if lyrics >= 0 and data[lyrics:lyrics + 11] == b"LYRICSBEGIN":
                end = lyrics
    if end >= 32 and data[end - 32:end - 24] == b"APETAGEX":
        size, _, flags = struct.unpack_from("<III", data, end - 20)
        start = end - size
        if flags & 0x80000000 and start >= 32 and data[start - 32:start - 24] == b"APETAGEX":
            start -= 32
        if 0 <= start <= end:
            return start
    return end


def audio_of(source: str) -> bytes:
    """What precedes the tag region of the file `source`."""
    data = read(source)
    return data[:tag_region_start(data)]


def listing(path: str) -> tuple:
    """(exit code, the seven fields or None) of a list-only run."""
    done = run([], path)
    parts = (line.partition(": ") for line in done.stdout.decode("utf-8", "replace").splitlines())
    values = {field: value for field, colon, value in parts if colon and field in FIELDS}
    if done.returncode != 0:
        return done.returncode, None
    return 0, tuple(values.get(field, "") for field in FIELDS)


def mutagen_problem(path: str, shown: tuple, tag_only=False) -> list:
    """[] when mutagen reads Quillet's listing `shown` of `path`: each field whole, or cut to
    what fits the listing's buffer at a character boundary. With `tag_only`, the APE tag at the
    end alone (mutagen reads no Monkey's Audio file with an ID3v2 tag in front)."""
    import mutagen.apev2
    import mutagen.monkeysaudio
    try:
        try:
            tags = (mutagen.apev2.APEv2(path) if tag_only
                    else mutagen.monkeysaudio.MonkeysAudio(path).tags) or {}
        except mutagen.apev2.APENoHeaderError:
            tags = {}
        seen = tuple("" if (value := tags.get(f)) is None else "; ".join(str(v) for v in value)
                     for f in FIELDS)
    except Exception as error:  # mutagen raises many kinds
        return [f"mutagen cannot read it: {error!r:.200}"]
    same = all(whole == cut or (len(cut.encode()) > SHOWN_BYTES - 4
                                and whole.encode().startswith(cut.encode()))
               for whole, cut in zip(seen, shown))
    return [] if same else [f"mutagen reads {seen!r:.200}, Quillet {shown!r:.200}"]


def summary(passed: int, failed: int, problems: list) -> int:
    for problem in problems[:50]:
        print("FAIL", problem)
    print(f"{passed} passed, {failed} failed")
    return 0 if not problems and failed == 0 and passed > 0 else 1


def render_tag(items: list, version=2000, header=True, footer_flags=0x80000000,
               size_error=0) -> bytes:
    """An APE tag holding `items` ((key, flags, value bytes) triples) in their order: a header
    unless `header` is false, `footer_flags` in the footer, a size `size_error` bytes off."""
    body = b"".join(struct.pack("<II", len(value), flags) +
                    (key if isinstance(key, bytes) else key.encode()) + b"\0" + value
                    for key, flags, value in items)
    fields = (version, len(body) + 32 + size_error, len(items))

    def block(flags):
        return b"APETAGEX" + struct.pack("<IIII", *fields, flags) + bytes(8)

    return (block(0xA0000000) if header else b"") + body + block(footer_flags)


def lyrics3(size: int, lead=b"") -> bytes:
    """A Lyrics3v2 block of `size` bytes before its size and end marker, `lead` first."""
    block = b"LYRICSBEGIN" + lead + b"l" * (size - 11 - len(lead))
    return block + b"%06d" % len(block) + b"LYRICS200"


def id3v1(title: bytes) -> bytes:
    return (b"TAG" + title).ljust(127, b"\0") + b"\xff"


ID3V1 = b"TAG" + b"Tail title".ljust(30, b"\0") + bytes(95)
LYRICS3_ID3V1 = lyrics3(30, b"LYR00011Tail lyrics") + ID3V1


def streams() -> dict:
    """Audio of both header layouts: a 3.99 stream of two frames, and a 3.95 one (seek count
    stored, no WAV header) whose seek table puts its last frame 2000 bytes in."""
    new = (b"MAC " + struct.pack("<I7I", 3990, 52, 24, 8, 0, 3000, 0, 0) + bytes(16) +
           struct.pack("<HHIIIHHI", 2000, 0, 73728, 100, 2, 16, 2, 44100) +
           struct.pack("<II", 84, 1584))
    new += b"\x5a" * 3000
    old = b"MAC " + struct.pack("<HHHHI6I", 3950, 2000, 0x30, 2, 44100, 0, 0, 2, 100, 2, 44)
    old += struct.pack("<I", 2044) + b"\x5a" * (2044 - 44 + 3000)
    return {"new": new, "old": old}
