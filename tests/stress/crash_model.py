"""What a crash can leave of a run: the recorded calls (fault_inject.c) on the audio file, its
journal beside it and their folder, replayed as every pair (audio file, journal) that a kill or
a power cut in the middle of them leaves on disk.

  kill       the process dies between two calls, or inside a write at a page boundary (the
             kernel stops a write between pages); every later reader sees all it did.
  power cut  each file's bytes are on disk as of its own last sync, and any subset of the calls
             made on it since, a write possibly only some of its pages; the folder's entries (the
             journal's creation and unlink) reach the disk in order, a prefix of those made since
             the folder's last sync. A journal whose creation did not reach the disk is gone.
"""
import itertools
import random

from apefile import State

PAGE = 4096
# Above this many combined (audio, journal) pairs at one cut, a seeded sample is taken.
PAIR_LIMIT = 400


def parse_trace(data: bytes) -> list:
    """The recorded calls as tuples: (name, kind, numbers...), a write's bytes last."""
    ops, at = [], 0
    while at < len(data):
        end = data.index(b"\n", at)
        words, at = data[at:end].decode().split(), end + 1
        if words[0] == "write":
            length = int(words[3])
            ops.append(("write", words[1], int(words[2]), data[at:at + length]))
            at += length
        else:
            ops.append((words[0], words[1], *map(int, words[2:])))
    return ops


def is_content(op) -> bool:
    return op[0] in ("write", "truncate")


def pages(op) -> list:
    """The (start, end) ranges, within the data of the write `op`, that fall in one file page."""
    offset, data = op[2], op[3]
    cuts = [0] + [b - offset for b in range((offset // PAGE + 1) * PAGE, offset + len(data), PAGE)]
    return list(zip(cuts, cuts[1:] + [len(data)]))


def sample(count: int, limit: int, ends=True) -> list:
    """Up to `limit` indices of range(count) spread over it; with `ends`, the first and last 3."""
    if limit == 0 or count <= limit:
        return list(range(count))
    if limit == 1:
        return [count // 2]
    spread = {round(i * (count - 1) / (limit - 1)) for i in range(limit)}
    return sorted(spread | (set(range(3)) | set(range(count - 3, count)) if ends else set()))


def apply_content(image: bytearray, op, chosen=None):
    """Applies a write (only the page ranges `chosen`, when given) or truncate to `image`."""
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


def kill_states(start: State, ops: list, limit: int, budget=0):
    """Every pair a kill leaves: between two calls, and inside the writes (at up to `limit` page
    boundaries of the largest write of each file, in the middle of the others); with a `budget`,
    that many spread over the run, the file torn in the middle of its largest write among them."""
    largest = {}
    for index, op in enumerate(ops):
        if op[0] == "write" and len(op[3]) > largest.get(op[1], (0, -1))[1]:
            largest[op[1]] = (index, len(op[3]))
    places = [(-1, None)]
    for index, op in enumerate(ops):
        if op[0] == "write":
            boundaries = len(pages(op)) - 1
            if limit == 0 or largest[op[1]][0] == index:
                places += [(index, i) for i in sample(boundaries, limit)]
            elif boundaries:
                places.append((index, boundaries // 2))
        places.append((index, None))
    chosen = set(sample(len(places), budget, ends=False))
    if budget:
        inside = [n for n, (index, i) in enumerate(places)
                  if i is not None and ops[index][1] == "a"]
        chosen.update(inside[len(inside) // 2:len(inside) // 2 + 1])
    replay = Replay(start)
    for number, (index, i) in enumerate(places):
        if i is None and index >= 0:
            replay.apply(ops[index])
        if number in chosen and i is None:
            yield replay.state()
        elif number in chosen:
            cut = Replay(replay.state())
            cut.apply(ops[index], pages(ops[index])[:i + 1])
            yield cut.state()


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
    return [tuple(pattern) for pattern in patterns]


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


def content_variants(pending: list, limit: int) -> list:
    """How a file's writes and truncates since its last sync may have reached the disk: recipes
    for build(), none and all first; above 4 * `limit` of them, a spread sample."""
    recipes = []
    for mask in _masks(len(pending)):
        recipes.append(tuple((i, None) for i, on in enumerate(mask) if on))
    for k, op in enumerate(pending):
        if op[0] != "write":
            continue
        for pattern in write_patterns(op, limit):
            for others in (False, True):
                recipes.append(tuple((i, pattern if i == k else None)
                                     for i in range(len(pending)) if i == k or others))
    recipes = list(dict.fromkeys(recipes))
    everything = tuple((i, None) for i in range(len(pending)))
    recipes.sort(key=lambda r: (r != (), r != everything))
    if limit and len(recipes) > 4 * limit:
        recipes = [recipes[i] for i in sample(len(recipes), 4 * limit)]
    # A truncate racing writes: after them, or before.
    return [(r, cut_last) for r in recipes for cut_last in
            ((True, False) if {pending[i][0] for i, _ in r} == {"write", "truncate"} else (True,))]


def build(durable: bytes, pending: list, variant) -> bytes:
    """The content `variant` (from content_variants) of a file durable as `durable`."""
    recipe, cut_last = variant
    writes = [(pending[i], r) for i, r in recipe if pending[i][0] == "write"]
    cuts = [(pending[i], r) for i, r in recipe if pending[i][0] == "truncate"]
    image = bytearray(durable)
    for op, ranges in (writes + cuts if cut_last else cuts + writes):
        apply_content(image, op, None if ranges is None else list(ranges))
    return bytes(image)


def power_states(start: State, ops: list, limit: int, budget=0):
    """Every pair a power cut leaves, at each sync and at the end (a `budget` of them, spread)."""
    found = list(_power_recipes(start, ops, limit))
    for number in sample(len(found), budget, ends=False):
        audio, journal = found[number]
        yield State(build(*audio), None if journal is None else build(*journal))


def _file_variants(initial: bytes, calls: list, limit: int) -> list:
    """Each way the calls `calls` ((index, op) pairs) made on a file that held `initial` may have
    reached the disk: (content as of its last sync, the writes and truncates since, a variant)."""
    synced = max([i for i, op in calls if op[0] == "sync"], default=-1)
    durable = bytearray(initial)
    for i, op in calls:
        if i < synced and is_content(op):
            apply_content(durable, op)
    pending = [op for i, op in calls if i > synced and is_content(op)]
    return [(bytes(durable), pending, v) for v in content_variants(pending, limit)]


def _power_recipes(start: State, ops: list, limit: int):
    seed = random.Random(len(ops))
    for cut in [i for i, op in enumerate(ops) if op[0] == "sync"] + [len(ops)]:
        before = ops[:cut]

        folder_sync = max([i for i, op in enumerate(before) if op == ("sync", "d")], default=-1)
        audios = _file_variants(start.audio, [(i, op) for i, op in enumerate(before)
                                              if op[1] == "a"], limit)

        # The journal incarnations: the one the run found (0) and one per creation. After each
        # folder entry the name holds the journal just created, or none after an unlink.
        calls_of, entries = [[]], []  # entries: (index, incarnation named after it)
        for i, op in enumerate(before):
            if op[0] == "create":
                calls_of.append([])
            if op[0] in ("create", "unlink"):
                entries.append((i, len(calls_of) - 1 if op[0] == "create" else None))
            elif op[1] == "j":
                calls_of[-1].append((i, op))
        durable = [named for i, named in entries if i < folder_sync]
        first = durable[-1] if durable else (0 if start.journal is not None else None)
        journals = []
        for named in dict.fromkeys([first] + [named for i, named in entries if i > folder_sync]):
            journals += [None] if named is None else _file_variants(
                (start.journal or b"") if named == 0 else b"", calls_of[named], limit)
        pairs = list(itertools.product(range(len(audios)), range(len(journals))))
        if len(pairs) > PAIR_LIMIT:
            # The file as last synced with every journal, every file with the first journal, and
            # a sample of the rest.
            kept = [p for p in pairs if p[0] == 0 or p[1] == 0]
            pairs = list(dict.fromkeys(kept + seed.sample(pairs, PAIR_LIMIT)))
        for a, j in pairs:
            yield audios[a], journals[j]
