#!/usr/bin/python3
"""Records every call a save makes on the audio file, its journal and their folder; checks every
pair of files a kill or a power cut can leave (crash_model.py) and the pair left when each call
fails in turn. The README's stress section says what each scenario family proves and what is
checked of each state. At the end the explorer checks itself: a save replayed without one of its
syncs, or with the journal ignored, must show damaged states.

--pages N: the largest write of the file and of the journal is cut at N page boundaries spread
over it, the others in their middle (0: every write at every boundary). --budget N: about N
states of each kind for each scenario on a file above 2 MB, whose recovery alone is followed.
"""
import collections
import errno
import hashlib
import itertools
import os
import random
import shutil
import struct
import sys
import tempfile
import zlib

import apefile
import crash_model as model
from apefile import State, put, take

SHAPES = {
    "grow": ["-T=" + "Title " * 40, "-L=" + "Album " * 100],
    "shrink": ["-C=", "-T=x"],
    "same size": ["-A=New artist"],
    "clear": ["-REMOVEALL"],
    "clear then write": ["-REMOVEALL", "-T=x"],
}
TAILS = [("no tail", b""), ("ID3v1", apefile.ID3V1), ("Lyrics3 and ID3v1", apefile.LYRICS3_ID3V1)]
SECOND_SAVE = ["-Y=2012", "-G=" + "Blues " * 200]
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
BUDGETED_BYTES = 2 << 20
# The largest tag the library accepts: the items of old_items() and the cover fill its items
# area but for room for the growing shape.
LARGEST_COVER = (64 << 20) - 4096
NO_ANCHOR = (1 << 64) - 1


def old_items(cover_bytes: int) -> list:
    items = [("Title", 0, b"Old title"), ("Artist", 0, b"Old artist"),
             ("Comment", 0, b"old comment " * 20)]
    if cover_bytes:
        cover = random.Random(12).randbytes(cover_bytes)
        items.append(("Cover Art (Front)", 2, b"front.jpg\0" + cover))
    return items


def listed(path: str, state: State) -> tuple:
    """One listing of `state` left at `path`: (exit code, fields shown, the pair it leaves)."""
    put(path, state)
    code, shown = apefile.listing(path)
    return code, shown, take(path)


class Scenario:
    """A run of Quillet with `args` from the pair `start`; `recovered` is the file the start
    reads as after a listing (verified by the scenario that left it), when it has a journal."""

    def __init__(self, name, start: State, args, audio_length, work, recovered=None):
        self.name, self.start, self.args, self.audio_length = name, start, args, audio_length
        self.path = os.path.join(work, "state.ape")
        self.recovered = start.audio if recovered is None else recovered
        self.problems, self.counts = [], collections.Counter()

    def record(self, preload, work):
        trace = os.path.join(work, "trace")
        put(self.path, self.start)
        run = apefile.run(self.args, self.path, LD_PRELOAD=preload, QUILLET_FAULT_FILE=self.path,
                          QUILLET_RECORD=trace)
        if run.returncode != 0:
            self.problems.append(f"the recorded run exits {run.returncode}")
        self.end = take(self.path)
        self.ops = model.parse_trace(apefile.read(trace))
        replay = model.Replay(self.start)
        self.committed = [self.recovered]
        for op in self.ops:
            replay.apply(op)
            if replay.journal is None and op in (("unlink", "j"), ("sync", "a")):
                self.committed.append(bytes(replay.audio))
        if replay.state() != self.end:
            self.problems.append("the recorded calls do not make the saved file")
        if self.end.journal is not None:
            self.problems.append("the run leaves a journal")
        self.committed = list(dict.fromkeys(self.committed + [self.end.audio]))
        self.allowed = {listed(self.path, State(image, None))[1] for image in self.committed}

    def fail_each_call(self, preload, budget):
        """Each recorded call fails in turn (about `budget` of them), with ENOSPC and EIO taking
        turns: the run exits 0 or 1 and leaves a state the run passes through."""
        for n in model.sample(len(self.ops), budget, ends=False):
            code = (errno.ENOSPC, errno.EIO)[n % 2]
            put(self.path, self.start)
            run = apefile.run(self.args, self.path, LD_PRELOAD=preload, QUILLET_FAULT_AT=str(n + 1),
                              QUILLET_FAULT_FILE=self.path, QUILLET_FAULT_ERRNO=str(code))
            if run.returncode not in (0, 1):
                self.problems.append(f"call {n + 1} failed with {code}: exit {run.returncode}")
            self.check(f"call failed with {errno.errorcode[code]}", take(self.path), False)

    def judge(self, code, shown, after: State, exact=True, tag_only=False) -> list:
        trouble = []
        if after.audio[:self.audio_length] != self.start.audio[:self.audio_length]:
            trouble.append("audio bytes changed")
        if shown not in self.allowed:
            trouble.append(f"Quillet reads {shown!r:.200} (exit {code})")
        if after.journal is not None:
            trouble.append("a journal is left after the listing")
        if exact and after.audio not in self.committed:
            trouble.append("after the listing the file is neither the old nor the new one")
        if shown is not None and not trouble:
            trouble += apefile.mutagen_problem(self.path, shown, tag_only)
        return trouble

    def check(self, kind, state: State, exact=True) -> bool:
        """One listing on `state`. A save over the file it leaves (exactly one the run passes
        through, no journal) is an ordinary save."""
        trouble = self.judge(*listed(self.path, state), exact)
        self.counts[kind] += 1
        if trouble:
            self.problems.append(f"{kind} state of {len(state.audio)} bytes, journal "
                                 f"{'none' if state.journal is None else len(state.journal)}: "
                                 + "; ".join(trouble))
        return not trouble

    def read_only(self, state: State):
        """A listing by a user who may not write (root runs it as nobody) changes nothing."""
        if os.geteuid() != 0 or shutil.which(NOBODY[0]) is None:
            return
        put(self.path, state)
        os.chmod(self.path, 0o644)
        run = apefile.run([], self.path, prefix=NOBODY)
        self.counts["read-only listing"] += 1
        if run.returncode != 0 or take(self.path) != state:
            self.problems.append(f"a listing by a user who may not write the file exits "
                                 f"{run.returncode} or changes the file or its journal")


def budget_of(scenario, options) -> int:
    return options.budget if len(scenario.start.audio) > BUDGETED_BYTES else 0


def explore(scenario, options) -> tuple:
    """Checks every distinct state a kill or a power cut leaves of `scenario`: (states, intact)."""
    budget = budget_of(scenario, options)
    cut = (scenario.start, scenario.ops, options.pages, budget)
    states = itertools.chain((("kill", s) for s in model.kill_states(*cut)),
                             (("power cut", s) for s in model.power_states(*cut)))
    seen, explored, intact = set(), 0, 0
    for kind, state in states:
        digest = hashlib.sha1(state.audio + b"|" + (state.journal or b"-")).digest()
        if digest in seen:
            continue
        seen.add(digest)
        explored += 1
        intact += scenario.check(kind, state)
    return explored, intact


def torn_states(scenario) -> list:
    """Kill states of a journaled save worth following: the file torn in the middle of its
    rewrite (the journal whole beside it), and the file rewritten before the journal's unlink."""
    torn, done = [], []
    for state in model.kill_states(scenario.start, scenario.ops, 3):
        if state.journal is None or record_target(state.journal) is None:
            continue
        if state.audio == scenario.end.audio:
            done.append(state)
        elif state.audio not in scenario.committed:
            torn.append(state)
    return ([torn[len(torn) // 2]] if torn else []) + done[:1]


def old_layout_base(source: str) -> tuple:
    """An old-layout file cut to a page multiple, with a sound APE tag inside its last frame and
    no tag at its end: (image, audio length)."""
    audio = apefile.audio_of(source)
    audio = audio[:len(audio) // model.PAGE * model.PAGE]
    inner = apefile.render_tag([("Title", 0, b"Inside the frame"), ("Artist", 0, b"Nobody")])
    at = len(audio) - 5000
    image = audio[:at] + inner + audio[at + len(inner):]
    return image, len(image)


def scenarios(files, cover_bytes, large, old_layout):
    """(name, base image, arguments, audio length) for each file, tail, tag size and shape; the
    large tag on the first file (with --large on every tail and in more shapes)."""
    large_shapes = ("grow", "shrink", "clear then write") if large else ("shrink",)
    for source in files:
        audio = apefile.audio_of(source)
        for tail_name, tail in TAILS:
            sizes = [0]
            if cover_bytes and source == files[0] and (large or tail_name == "ID3v1"):
                sizes.append(cover_bytes)
            for size in sizes:
                base = audio + apefile.render_tag(old_items(size)) + tail
                label = f"{size / 1e6:.0f} MB" if size else "300-byte"
                for shape, args in SHAPES.items():
                    if not size or shape in large_shapes:
                        yield (f"{os.path.basename(source)}, {tail_name}, {label} tag, {shape}",
                               base, args, len(audio))
    audio, name = apefile.audio_of(files[0]), os.path.basename(files[0])
    stale = apefile.render_tag([("Title", 0, b"Stale title"), ("Year", 0, b"1970")])
    footers = old_items(0)[:2] + [("Comment", 0, b"APETAGEX" * 70)]
    for shape in ("shrink", "grow"):
        yield (f"{name}, a stale tag before the tag, {shape}",
               audio + stale + apefile.render_tag(old_items(0)) + apefile.ID3V1, SHAPES[shape],
               len(audio) + len(stale))
        yield (f"{name}, a comment holding APETAGEX 70 times, {shape}",
               audio + apefile.render_tag(footers), SHAPES[shape], len(audio))
    if old_layout:
        base, length = old_layout_base(old_layout)
        for shape in ("grow", "clear then write"):
            yield (f"{os.path.basename(old_layout)} cut to a page multiple, a tag inside its "
                   f"last frame, {shape}", base, SHAPES[shape], length)


def record_target(journal: bytes):
    """The absolute offset a journal's record says its save started at, or None."""
    if journal is None or len(journal) < 48 or journal[:8] != b"QLTJRNL\n":
        return None
    anchor, target = struct.unpack_from("<QQ", journal, 32)
    return target + (0 if anchor == NO_ANCHOR else anchor)


def id3v2_with_footer(length: int) -> bytes:
    """An ID3v2.4 tag of at least `length` bytes that another tagger may append after the APE
    tag: a title frame, and the footer ("3DI") that lets a reader find it from the end."""
    frame = b"TIT2" + struct.pack(">I", 11) + b"\0\0" + b"\x03Appended!"
    body = frame + bytes(max(64, length - len(frame) - 20))
    size = bytes((len(body) >> shift) & 0x7F for shift in (21, 14, 7, 0))
    return b"ID3\x04\x00\x10" + size + body + b"3DI\x04\x00\x10" + size


def not_applied(path, state: State, below: int, keep=b"",
                writes=(["-Y=1999"], ["-REMOVEALL"])) -> list:
    """Problems when `state` holds a record or bytes no tag owns: a listing changes nothing but
    deletes the journal; a write and a removal keep every byte below `below`, and `keep`."""
    code, shown, after = listed(path, state)
    trouble = [] if after.audio == state.audio else ["the listing changed the file"]
    if after.journal is not None:
        trouble.append("the record that does not match is left")
    for args in writes:
        put(path, state)
        apefile.run(args, path)
        after = apefile.read(path)
        if after[:below] != state.audio[:below] or keep not in after[below:]:
            trouble.append(f"{args[0]} changed bytes it does not own")
    return trouble


def edits_after_crash(scenario, torn: State, recovered: bytes, work) -> list:
    """Another program's edit of a file a save left half-done; (label, problems) pairs: the
    record is applied only where it proves the file is the one it was made for."""
    path, target = scenario.path, record_target(torn.journal)
    # mutagen adds an ID3v2 tag in front: every offset moves; the record proves where.
    import mutagen.id3
    put(path, torn)
    tags = mutagen.id3.ID3()
    tags.add(mutagen.id3.TIT2(encoding=3, text=["Front"]))
    tags.save(path, v1=1)
    edited = apefile.read(path)
    delta = len(edited) - len(torn.audio)  # mutagen rewrites an ID3v1 tag in place
    code, shown = apefile.listing(path)
    after = take(path)
    trouble = scenario.judge(code, shown, State(after.audio[delta:], after.journal), True, True)
    if delta <= 0 or edited[:3] != b"ID3" or after.audio[:delta] != edited[:delta]:
        trouble.append("the ID3v2 tag in front changed")
    results = [("ID3v2 added in front, record applied", trouble)]

    # The file no longer ends where the save left it; no later write may touch what follows.
    old_size, new_size = struct.unpack_from("<QQ", torn.journal, 48)
    appended = id3v2_with_footer(max(old_size, new_size) - len(torn.audio) + 1)
    results.append(("ID3v2 appended, record not applied",
                    not_applied(path, State(torn.audio + appended, torn.journal), target,
                                appended)))
    trouble = []
    for where in (target - 1, torn.audio.find(b"MAC ") + 64):
        changed = bytearray(torn.audio)
        changed[where] ^= 0xFF
        trouble += not_applied(path, State(bytes(changed), torn.journal), target, writes=())
    results.append(("bytes before its region changed, record not applied", trouble))
    other = os.path.join(work, "copy.ape")
    trouble = (not_applied(other, State(torn.audio, None), target) +
               not_applied(other, torn, target))
    if listed(path, torn)[2].audio != recovered:
        trouble.append("the original does not recover as before")
    return results + [("file copied, record not applied to the copy", trouble)]


def inside(audio_length: int) -> int:
    return max(audio_length - 4000, audio_length // 2)


def forged_journal(image: bytes, status, audio_length) -> bytes:
    """A record whose checksums and binding all hold for `image` as it is, that would write its
    payload back over the last bytes of the audio."""
    anchor = max(image.find(b"MAC "), 0)
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


def forged_records(name, base: bytes, audio_length, work) -> list:
    """Records that must never be applied beside `base`, and the trailer an earlier Quillet put
    after a copy of a tag (here pointing into the audio); (label, problems) pairs."""
    path = os.path.join(work, "forged.ape")
    apefile.write(path, base)
    records = [("random bytes", random.Random(len(base)).randbytes(4096)),
               ("an empty journal", b"")]
    # Where the header declares the end of the audio (from 3.98 on); in the old layout a record
    # may rewrite anything above the last frame's start.
    anchor = base.find(b"MAC ")
    if anchor >= 0 and struct.unpack_from("<H", base, anchor + 4)[0] >= 3980:
        records.append(("a record pointing into the audio",
                        forged_journal(base, os.stat(path), audio_length)))
    results = [(f"{name}: beside it {label}", not_applied(path, State(base, journal), audio_length))
               for label, journal in records]
    block = apefile.render_tag([("Title", 0, b"Copied")])
    fields = b"QLTCOPY1" + struct.pack("<QQ", inside(audio_length), len(block))
    image = base + block + fields + struct.pack("<II", zlib.crc32(fields, zlib.crc32(block)), 0)
    return results + [(f"{name}: ending in a copy trailer",
                       not_applied(path, State(image, None), audio_length))]


def self_check(scenario, options) -> list:
    """The explorer must see a broken protocol; (label, problems) pairs."""
    drops = [("without the journal's sync", lambda op: op != ("sync", "j")),
             ("without the folder's sync", lambda op: op != ("sync", "d")),
             ("without the file's sync", lambda op: op != ("sync", "a")),
             ("with the journal ignored", lambda op: op[0] in ("write", "truncate", "sync")
              and op[1] == "a")]
    results = []
    for label, keep in drops:
        broken = Scenario(f"{scenario.name}, {label}", scenario.start, scenario.args,
                          scenario.audio_length, options.work)
        broken.allowed, broken.committed, broken.end = (scenario.allowed, scenario.committed,
                                                        scenario.end)
        broken.ops = [op for op in scenario.ops if keep(op)]
        explored, intact = explore(broken, options)
        print(f"explorer check, {broken.name}: states {explored}, intact {intact} (must be "
              "fewer)", flush=True)
        results.append((f"explorer check, {label}", [] if intact < explored else
                        [f"the explorer finds nothing wrong with a save {label}"]))
    return results


def main() -> int:
    options = apefile.setup(("--preload", {"required": True}),
                            ("--pages", {"type": int, "default": 6}),
                            ("--cover-mb", {"type": float, "default": 20}),
                            ("--budget", {"type": int, "default": 0}),
                            ("--large", {"action": "store_true"}),
                            ("--old-layout", {}), ("files", {"nargs": "+"}))
    cover = LARGEST_COVER if options.large else int(options.cover_mb * 1e6)
    # States are written to memory when it can be had: a sync there costs nothing, and nothing
    # the checks look at (the bytes, the inode, the folder) differs from a disk.
    memory = "/dev/shm" if os.access("/dev/shm", os.W_OK) else options.work
    with tempfile.TemporaryDirectory(prefix="quillet-crash-", dir=memory) as options.work:
        os.chmod(options.work, 0o755)  # for the reader that may not write
        return explore_all(options, cover)


def explore_all(options, cover) -> int:
    results = []  # (name, problems) of each scenario and check

    def report(label, trouble):
        print(f"{label}: {'intact' if not trouble else 'DAMAGED'}", flush=True)
        results.append((label, trouble))

    def run_scenario(scenario, follow=False) -> list:
        """Explores `scenario`; with `follow`, the states worth following (torn_states)."""
        scenario.record(options.preload, options.work)
        explored, intact = explore(scenario, options)
        if follow:
            scenario.fail_each_call(options.preload, budget_of(scenario, options))
        followed = torn_states(scenario) if follow and ("create", "j") in scenario.ops else []
        followed = followed[:1] if budget_of(scenario, options) else followed
        if followed:
            scenario.read_only(followed[0])
        detail = ", ".join(f"{key}: {count}" for key, count in sorted(scenario.counts.items()))
        calls = " ".join(" ".join(op[:2]) for op in scenario.ops)
        syncs = sum(op[0] == "sync" for op in scenario.ops)
        print(f"{scenario.name}: states {explored}, intact {intact} ({detail}); calls: "
              f"{calls or 'none'} ({syncs} syncs)", flush=True)
        results.append((scenario.name, scenario.problems))
        return followed

    journaled = []
    for name, base, args, audio_length in scenarios(options.files, cover, options.large,
                                                    options.old_layout):
        scenario = Scenario(name, State(base, None), args, audio_length, options.work)
        followed = run_scenario(scenario, follow=True)
        for number, torn in enumerate(followed):
            recovered = listed(scenario.path, torn)[2].audio
            where = "inside its rewrite" if number == 0 and torn.audio != scenario.end.audio \
                else "before its journal's unlink"
            cut_off = [("the recovery killed", []), ("a second save killed", SECOND_SAVE)]
            for label, more in cut_off[:2 - bool(budget_of(scenario, options))]:
                run_scenario(Scenario(f"{name}, cut off {where}, then {label}", torn, more,
                                      audio_length, options.work, recovered))
            if number == 0:
                for label, trouble in edits_after_crash(scenario, torn, recovered, options.work):
                    report(f"{name}, cut off {where}, then {label}", trouble)
        if ("create", "j") in scenario.ops and len(base) < BUDGETED_BYTES:
            journaled.append(scenario)

    bases = [(os.path.basename(source), audio + apefile.render_tag(old_items(0)), len(audio))
             for source, audio in ((s, apefile.audio_of(s)) for s in options.files)]
    if options.old_layout:
        bases.append((os.path.basename(options.old_layout) + " cut to a page multiple",
                      *old_layout_base(options.old_layout)))
    for name, base, audio_length in bases:
        for label, trouble in forged_records(name, base, audio_length, options.work):
            report(label, trouble)
    # The self-check replays the journaled save whose file write spans the most pages.
    checked = max(journaled, default=None, key=lambda s: max(
        (len(model.pages(op)) for op in s.ops if op[0] == "write" and op[1] == "a"), default=0))
    results += (self_check(checked, options) if checked
                else [("explorer check", ["no save went through the journal"])])
    problems = [f"{name}: {problem}" for name, found in results for problem in found[:5]]
    failed = sum(bool(found) for _, found in results)
    return apefile.summary(len(results) - failed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
