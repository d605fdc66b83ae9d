"""Small helpers shared by the stress scripts: where a file's tag region starts, and runs."""
import hashlib
import os
import struct
import subprocess

FIELDS = ["Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"]


def tag_region_start(data: bytes) -> int:
    """Offset where the trailing tag region (APE tag, Lyrics3, ID3v1) begins; len(data) if none."""
    end = len(data)
    if end >= 128 and data[end - 128:end - 125] == b"TAG" and not (
            end >= 131 and data[end - 131:end - 123] == b"APETAGEX"):
        end -= 128
    if end >= 32 and data[end - 32:end - 24] == b"APETAGEX":
        size = struct.unpack_from("<I", data, end - 20)[0]
        flags = struct.unpack_from("<I", data, end - 12)[0]
        start = end - size
        if flags & 0x80000000 and start >= 32 and data[start - 32:start - 24] == b"APETAGEX":
            start -= 32
        if 0 <= start <= end:
            return start
    return end


def audio_digest(path: str, length: int) -> str:
    with open(path, "rb") as handle:
        return hashlib.sha256(handle.read(length)).hexdigest()


def listing(quillet: str, path: str, env: dict) -> tuple:
    """Runs a list-only Quillet and returns (exit code, the seven field texts or None)."""
    run = subprocess.run([quillet, path], env=env, capture_output=True, timeout=60)
    lines = run.stdout.decode("utf-8", "replace").splitlines()
    if run.returncode != 0:
        return run.returncode, None
    values = {}
    for line in lines:
        for field in FIELDS:
            prefix = field + ": "
            if line.startswith(prefix):
                values[field] = line[len(prefix):]
    return run.returncode, tuple(values.get(field, "") for field in FIELDS)


def mutagen_fields(path: str):
    """The file's fields as mutagen reads them, or raises when mutagen cannot read the file."""
    import mutagen.monkeysaudio
    audio = mutagen.monkeysaudio.MonkeysAudio(path)
    tags = audio.tags or {}
    out = []
    for field in FIELDS:
        value = tags.get(field)
        out.append("; ".join(str(v) for v in value) if value is not None else "")
    return tuple(out)


# Quillet shows at most this many bytes of a field (its buffer less the terminator).
SHOWN_BYTES = 2047


def same_fields(full: tuple, shown: tuple) -> bool:
    """True when Quillet's listing `shown` is `full` (another reader's fields) as Quillet shows
    it: each field whole, or cut to what fits the listing's buffer at a character boundary."""
    for whole, cut in zip(full, shown):
        if whole == cut:
            continue
        cut_bytes = cut.encode("utf-8")
        if not (len(cut_bytes) > SHOWN_BYTES - 4 and whole.encode("utf-8").startswith(cut_bytes)):
            return False
    return True


def brief(fields) -> str:
    """Fields for a message, each cut to a readable length."""
    if fields is None:
        return "None"
    return "(" + ", ".join(repr(f if len(f) <= 40 else f[:40] + "...") for f in fields) + ")"


def program_env(home: str) -> dict:
    env = dict(os.environ)
    env["HOME"] = home
    env["LANG"] = "C"
    env.pop("LC_ALL", None)
    env.pop("LC_MESSAGES", None)
    env.pop("LD_PRELOAD", None)
    # A sanitizer report must not pass for the program's own exit code 1.
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":exitcode=86"
    env["UBSAN_OPTIONS"] = env.get("UBSAN_OPTIONS", "") + ":exitcode=87:print_stacktrace=1"
    return env
