"""What a crash can leave of a run: the recorded calls (fault_inject.c) on the audio file, its
journal beside it and their folder, replayed as every pair (audio file, journal) that a kill or
a power cut in the middle of them leaves on disk.

  kill       the process dies between two calls, or inside a write at any page boundary of the
             file (the kernel stops a write between pages); everything it did is in the page
             cache, so every later reader sees it.
  power cut  each of the audio file's bytes, the journal's bytes and the folder's entries is on
             disk as of its own last sync; of the calls made on it since, any subset reached the
             disk, a write possibly only some of its pages (none, all, every prefix, every suffix,
             each page alone, all pages but one), a truncate before or after the writes it races.
             The folder's entries (the journal's creation and unlink) reach the disk in order: a
             prefix of those made since the folder's last sync. A journal whose creation did not
             reach the disk is gone, whatever was synced of its bytes.
"""
import itertools
import random
from typing import NamedTuple, Optional

PAGE = 4096
# Above this many combined (audio, journal) pairs at one cut, a seeded sample is taken.
PAIR_LIMIT = 400


class State(NamedTuple):
    audio: bytes
    journal: Optional[bytes]  # None: no journal beside the file


def parse_trace(data: bytes) -> list:
    """The recorded calls: ("write", kind, offset, bytes), ("truncate", kind, length),
    ("fallocate", kind), ("sync", kind), ("create", "j"), ("unlink", "j"); kind is "a" (the
    audio file), "j" (the journal) or "d" (the folder)."""
    ops, at = [], 0
    while at < len(data):
        end = data.index(b"\n", at)
        words = data[at:end].decode().split()
        at = end + 1
        if words[0] == "write":
            offset, length = int(words[2]), int(words[3])
            ops.append(("write", words[1], offset, data[at:at + length]))
            at += length
        elif words[0] == "truncate":
            ops.append(("truncate", words[1], int(words[2])))
        else:
            ops.append((words[0], words[1]))
    return ops


def is_content(op) -> bool:
    return op[0] in ("write", "truncate")


def pages(op) -> list:
    """The (start, end) ranges, within the data of the write `op`, that fall in one file page."""
    offset, data = op[2], op[3]
    cuts = [0] + [b - offset for b in range((offset // PAGE + 1) * PAGE, offset + len(data), PAGE)]
    return list(zip(cuts, cuts[1:] + [len(data)]))


def sample(count: int, limit: int) -> list:
    """Up to `limit` indices of range(count), spread over it, the first and last three kept."""
    if limit == 0 or count <= limit:
        return list(range(count))
    spread = {round(i * (count - 1) / (limit - 1)) for i in range(limit)}
    return sorted(spread | set(range(3)) | set(range(count - 3, count)))


def apply_content(image: bytearray, op, chosen=None):
    """Applies a write or truncate to `image`; for a write, only the page ranges in `chosen`
    (all when None)."""
    if op[0] == "truncate":
        if op[2] < len(image):
            del image[op[2]:]
        else:
            image.extend(bytes(op[2] - len(image)))
    elif op[0] == "write":
        offset, data = op[2], op[3]
        ranges = pages(op) if chosen is None else chosen
        if not ranges:
            return
        end = offset + max(stop for _, stop in ranges)
        if end > len(image):
            image.extend(bytes(end - len(image)))
        for start, stop in ranges:
            image[offset + start:offset + stop] = data[start:stop]


class Replay:
    """The pair as the running process sees it, call after call."""

    def __init__(self, start: State):
        self.audio = bytearray(start.audio)
        self.journal = None if start.journal is None else bytearray(start.journal)

    def apply(self, op, chosen=None):
        if op[0] == "create":
            self.journal = bytearray()
        elif op[0] == "unlink":
            self.journal = None
        elif is_content(op):
            if op[1] == "a":
                apply_content(self.audio, op, chosen)
            elif self.journal is not None:
                apply_content(self.journal, op, chosen)

    def state(self) -> State:
        return State(bytes(self.audio), None if self.journal is None else bytes(self.journal))


def kill_states(start: State, ops: list, limit: int):
    """Every pair a kill leaves: between two calls, and inside each write at up to `limit` page
    boundaries spread over it."""
    replay = Replay(start)
    yield replay.state()
    for op in ops:
        if op[0] == "write":
            ranges = pages(op)
            for i in sample(len(ranges) - 1, limit):
                cut = Replay(replay.state())
                cut.apply(op, ranges[:i + 1])
                yield cut.state()
        replay.apply(op)
        yield replay.state()


def write_patterns(op, limit: int) -> list:
    """Partial page sets of a write a power cut can leave (whole and none excluded)."""
    ranges = pages(op)
    count = len(ranges)
    if count < 2:
        return []
    patterns = []
    for i in sample(count - 1, limit):
        patterns += [ranges[:i + 1], ranges[i + 1:]]
    for i in sample(count, limit):
        patterns += [[ranges[i]], ranges[:i] + ranges[i + 1:]]
    return patterns


def _masks(count: int) -> list:
    """Which of `count` pending calls reached the disk: every subset of up to five, else none,
    all, every prefix and suffix, each alone and all but each."""
    if count <= 5:
        return [list(mask) for mask in itertools.product((False, True), repeat=count)]
    masks = [[j < i for j in range(count)] for i in range(count + 1)]
    masks += [[j >= i for j in range(count)] for i in range(1, count)]
    masks += [[j == i for j in range(count)] for i in range(count)]
    masks += [[j != i for j in range(count)] for i in range(count)]
    return masks


def content_variants(durable: bytes, pending: list, limit: int) -> list:
    """Every content a file durable as `durable` may hold when the calls `pending` (writes and
    truncates made since its last sync) reached the disk in part."""
    found = {}

    def build(chosen):  # chosen: (op, page ranges or None) pairs that reached the disk
        writes = [pair for pair in chosen if pair[0][0] == "write"]
        cuts = [pair for pair in chosen if pair[0][0] == "truncate"]
        for cut_last in ([True, False] if writes and cuts else [True]):
            image = bytearray(durable)
            for op, ranges in (writes + cuts if cut_last else cuts + writes):
                apply_content(image, op, ranges)
            found.setdefault(bytes(image), None)

    for mask in _masks(len(pending)):
        build([(op, None) for op, on in zip(pending, mask) if on])
    for k, op in enumerate(pending):
        if op[0] != "write":
            continue
        for pattern in write_patterns(op, limit):
            for others in (False, True):
                build([(other, pattern if i == k else None) for i, other in enumerate(pending)
                       if i == k or others])
    return list(found)


def power_states(start: State, ops: list, limit: int):
    """Every pair a power cut leaves, at each sync and at the end of the run."""
    seed = random.Random(len(ops))
    for cut in [i for i, op in enumerate(ops) if op[0] == "sync"] + [len(ops)]:
        before = ops[:cut]

        def last_sync(kind):
            marks = [i for i, op in enumerate(before) if op == ("sync", kind)]
            return marks[-1] if marks else -1

        audio_sync, folder_sync = last_sync("a"), last_sync("d")
        audio_durable = Replay(State(start.audio, None))
        for op in before[:audio_sync + 1]:
            if op[1] == "a":
                audio_durable.apply(op)
        audio_pending = [op for op in before[audio_sync + 1:] if op[1] == "a" and is_content(op)]
        audios = content_variants(bytes(audio_durable.audio), audio_pending, limit)

        # The journal incarnations: the one the run found (0) and one per creation.
        incarnation, calls_of = 0, {0: []}
        entries = []  # (index, op, incarnation) of the folder's entries
        for i, op in enumerate(before):
            if op[0] == "create":
                incarnation = len(calls_of)
                calls_of[incarnation] = []
                entries.append((i, op, incarnation))
            elif op[0] == "unlink":
                entries.append((i, op, incarnation))
            elif op[1] == "j":
                calls_of[incarnation].append((i, op))
        journals = {}
        durable_entries = [e for e in entries if e[0] < folder_sync]
        pending_entries = [e for e in entries if e[0] > folder_sync]
        for extra in range(len(pending_entries) + 1):
            reached = durable_entries + pending_entries[:extra]
            if not reached:
                named = 0 if start.journal is not None else None
            else:
                named = reached[-1][2] if reached[-1][1][0] == "create" else None
            if named is None:
                journals[None] = None
                continue
            calls = calls_of[named]
            syncs = [i for i, op in calls if op[0] == "sync"]
            synced = syncs[-1] if syncs else -1
            durable = bytearray(start.journal or b"") if named == 0 else bytearray()
            for i, op in calls:
                if i < synced and is_content(op):
                    apply_content(durable, op)
            pending = [op for i, op in calls if i > synced and is_content(op)]
            for content in content_variants(bytes(durable), pending, limit):
                journals[content] = None
        journals = list(journals)
        pairs = list(itertools.product(audios, journals))
        if len(pairs) > PAIR_LIMIT:
            # The file as last synced with every journal, every file with the first journal, and
            # a sample of the rest.
            kept = [p for p in pairs if p[0] == audios[0] or p[1] == journals[0]]
            pairs = list(dict.fromkeys(kept + seed.sample(pairs, PAIR_LIMIT)))
        for audio, journal in pairs:
            yield State(audio, journal)
