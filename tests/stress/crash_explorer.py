#!/usr/bin/python3
"""Records every call a save makes on the audio file, its journal and their folder, builds every
pair of files a crash can leave (crash_model.py) and checks each: after one listing by Quillet
the audio bytes are unchanged, the file is the old or the new one exactly, Quillet and mutagen
read the same tag (the old or the new one), and no journal is left. A later save or removal then
leaves no debris behind.

The scenarios, on each file, tail (none, ID3v1, Lyrics3v2 and ID3v1) and shape of save:
  - one save, cut by a kill or a power cut anywhere, and real runs killed inside each write;
  - a save cut off inside its rewrite of the file, then another run cut off in its turn: the
    next listing (its recovery killed at each call) and the next save (two kills in a row);
  - a save cut off, then another program's edit: mutagen adds an ID3v2 tag in front (the record
    must still be applied where it proves the bytes moved); an ID3v2 tag with its footer is
    appended (the record must not be applied, and no later write may touch those bytes); a byte
    before the save's region changed; the file copied, or its journal found beside another file
    (never applied);
  - forged records: random bytes, or a record whose checksums hold that points into the audio,
    beside the file; a file ending in the copy trailer an earlier Quillet wrote;
  - a tag above 18 MB (--cover-mb; --large takes the largest the library accepts on every
    tail), an old-layout file whose size is a page multiple with a sound tag inside its last
    frame, a stale tag before the tag, a comment holding the footer's preamble 70 times.
A reader that may not write the file (run as another user) must change nothing. The states are
written under /dev/shm when it can be written (a sync there costs nothing), else under --work.

With --pages N, the largest write of the file and of the journal, when of more than N pages, is
cut at N page boundaries spread over it (always including the first and last three) instead of
at every one, and the other writes (the chunks of a long copy) in their middle; --pages 0 cuts
every write at every boundary. --kills N: real kills in the same places, at up to N boundaries
of a write. --repairs N: every N-th state is also saved over. --budget N
takes about N kill states, N power cut states and N real kills of each scenario on a file above
2 MB, spread over the run, and follows only its recovery.

At the end the explorer checks itself: the same save replayed without the journal's sync, the
folder's or the file's, or with the journal ignored, must show damaged states.

usage: crash_explorer.py --quillet PATH --home DIR --preload SO --work DIR [--pages N]
                         [--kills N] [--repairs N] [--budget N] [--cover-mb N | --no-cover]
                         [--large] [--old-layout FILE] FILE...
"""
import hashlib
import itertools
import os
import random
import shutil
import sys
import tempfile

import apefile
import crash_model as model
from crash_edits import edits_after_crash, forged_records, mutagen_problem, record_target
from crash_model import State, put, take

SHAPES = [
    ("grow", ["-T=" + "Title " * 40, "-L=" + "Album " * 100]),
    ("shrink", ["-C=", "-T=x"]),
    ("same size", ["-A=New artist"]),
    ("clear", ["-REMOVEALL"]),
    ("clear then write", ["-REMOVEALL", "-T=x"]),
]
TAILS = [("no tail", b""), ("ID3v1", apefile.ID3V1), ("Lyrics3 and ID3v1", apefile.LYRICS3_ID3V1)]
SECOND_SAVE = ["-Y=2012", "-G=" + "Blues " * 200]
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


def old_items(cover_bytes: int) -> list:
    items = [("Title", 0, b"Old title"), ("Artist", 0, b"Old artist"),
             ("Comment", 0, b"old comment " * 20)]
    if cover_bytes:
        cover = random.Random(12).randbytes(cover_bytes)
        items.append(("Cover Art (Front)", 2, b"front.jpg\0" + cover))
    return items


class Scenario:
    """A run of Quillet with `args` from the pair `start`; `recovered` is the file the start
    reads as after a listing (verified by the scenario that left it), when it has a journal."""

    def __init__(self, name, start: State, args, audio_length, work, recovered=None):
        self.name, self.start, self.args, self.audio_length = name, start, args, audio_length
        self.path = os.path.join(work, "state.ape")
        self.recovered = start.audio if recovered is None else recovered
        self.problems, self.counts = [], {}

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
        self.committed.append(self.end.audio)
        self.committed = list(dict.fromkeys(self.committed))
        self.allowed = {self.listing(image) for image in self.committed}

    def listing(self, image: bytes):
        put(self.path, State(image, None))
        return apefile.listing(self.path)[1]

    def journaled(self) -> bool:
        return ("create", "j") in self.ops

    def count(self, key):
        self.counts[key] = self.counts.get(key, 0) + 1

    def check(self, kind, state: State, repair) -> bool:
        """One listing on `state`, then what it must leave."""
        put(self.path, state)
        code, shown = apefile.listing(self.path)
        after = take(self.path)
        trouble = []
        if after.audio[:self.audio_length] != self.start.audio[:self.audio_length]:
            trouble.append("audio bytes changed")
        if shown not in self.allowed:
            trouble.append(f"Quillet reads {shown!r:.200} (exit {code})")
        if after.journal is not None:
            trouble.append("a journal is left after the listing")
        if after.audio not in self.committed:
            trouble.append("after the listing the file is neither the old nor the new one")
        if shown is not None and not trouble:
            trouble += mutagen_problem(self.path, shown)
        if not trouble and repair is not None and state.audio not in self.committed:
            trouble += self.repair(repair)
        self.count(kind)
        if trouble:
            self.problems.append(f"{kind} state of {len(state.audio)} bytes, journal "
                                 f"{'none' if state.journal is None else len(state.journal)}: "
                                 + "; ".join(trouble))
        return not trouble

    def repair(self, remove: bool) -> list:
        """A save after the recovery leaves the audio and one tag: no debris, no journal."""
        run = apefile.run(["-REMOVEALL"] if remove else ["-T=repaired"], self.path)
        after = take(self.path)
        if run.returncode != 0:
            return [f"the next save exits {run.returncode}"]
        if after.journal is not None:
            return ["the next save leaves a journal"]
        if remove:
            kept = after_removal(self.start.audio, self.audio_length)
            return ([] if after.audio[self.audio_length:] == kept
                    else [f"removal leaves {len(after.audio)} bytes"])
        try:
            title = apefile.mutagen_fields(self.path)[0]
        except Exception as error:
            return [f"after the next save mutagen cannot read it: {error!r}"]
        if title != "repaired" or apefile.tag_region_start(after.audio) != self.audio_length:
            return [f"the next save leaves debris (title {title!r})"]
        return []

    def read_only(self, state: State) -> bool:
        """A listing by a user who may not write the file changes nothing and shows the file as
        it is (root runs it as nobody; anyone else skips it)."""
        if os.geteuid() != 0 or shutil.which(NOBODY[0]) is None:
            return True
        put(self.path, state)
        os.chmod(self.path, 0o644)
        run = apefile.run([], self.path, prefix=NOBODY)
        self.count("read-only listing")
        trouble = []
        if run.returncode != 0:
            trouble.append(f"exits {run.returncode}")
        if take(self.path) != state:
            trouble.append("changes the file or its journal")
        if trouble:
            self.problems.append("a listing by a user who may not write the file "
                                 + " and ".join(trouble))
        return not trouble


def after_removal(base: bytes, audio_length: int) -> bytes:
    """What a removal keeps after the audio: lyrics stay, behind them a blank ID3v1 tag."""
    rest = base[audio_length:]
    lyrics = rest.find(b"LYRICSBEGIN")
    if lyrics < 0:
        return b""
    return rest[lyrics:-128] + b"TAG" + bytes(124) + b"\xff"


def explore(scenario, states, repairs) -> tuple:
    seen, explored, intact = set(), 0, 0
    for kind, state in states:
        digest = hashlib.sha1(state.audio + b"|" + (state.journal or b"-")).digest()
        if digest in seen:
            continue
        seen.add(digest)
        explored += 1
        repair = (explored % 2 == 0) if repairs and explored % repairs == 0 else None
        intact += scenario.check(kind, state, repair)
    return explored, intact


# Files above this size take the state budget (--budget).
BUDGETED_BYTES = 2 << 20


def crash_states(scenario, limit, budget=0):
    budget = budget if len(scenario.start.audio) > BUDGETED_BYTES else 0
    return itertools.chain(
        (("kill", s) for s in model.kill_states(scenario.start, scenario.ops, limit, budget)),
        (("power cut", s) for s in model.power_states(scenario.start, scenario.ops, limit,
                                                      budget)))


def kill_inside_writes(scenario, preload, kills, budget=0) -> tuple:
    """Kills real runs inside each write; (runs, intact)."""
    runs = intact = 0
    replay = model.Replay(scenario.start)
    cuts = model.write_cuts(scenario.ops, kills)
    places = [(index, i) for index in sorted(cuts) for i in cuts[index]]
    if budget and len(scenario.start.audio) > BUDGETED_BYTES:
        places = [places[k] for k in model.sample(len(places), budget, ends=False)]
    for number, op in enumerate(scenario.ops, start=1):
        if op[0] == "write":
            ranges = model.pages(op)
            for i in [i for index, i in places if index == number - 1]:
                expected = model.Replay(replay.state())
                expected.apply(op, ranges[:i + 1])
                put(scenario.path, scenario.start)
                apefile.run(scenario.args, scenario.path, LD_PRELOAD=preload,
                            QUILLET_FAULT_FILE=scenario.path, QUILLET_CUT_AT=str(number),
                            QUILLET_CUT_BYTES=str(ranges[i][1]))
                runs += 1
                left = take(scenario.path)
                if left != expected.state():
                    scenario.problems.append(f"a kill inside call {number} leaves a pair the "
                                             "model does not predict")
                elif scenario.check("real kill", left, None):
                    intact += 1
        replay.apply(op)
    return runs, intact


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
    data = apefile.read(source)
    audio = data[:apefile.tag_region_start(data)]
    audio = audio[:len(audio) // model.PAGE * model.PAGE]
    inner = apefile.render_tag([("Title", 0, b"Inside the frame"), ("Artist", 0, b"Nobody")])
    at = len(audio) - 5000
    image = audio[:at] + inner + audio[at + len(inner):]
    return image, len(image)


def scenarios(files, cover_bytes, large, old_layout):
    """(name, base image, arguments, audio length) for each file, tail, tag size and shape: the
    large tag on the first file with an ID3v1 tail, shrinking (with --large on every tail,
    growing, shrinking and cleared then written)."""
    for source in files:
        data = apefile.read(source)
        audio = data[:apefile.tag_region_start(data)]
        for tail_name, tail in TAILS:
            sizes = [0]
            if cover_bytes and source == files[0] and (large or tail_name == "ID3v1"):
                sizes.append(cover_bytes)
            for size in sizes:
                base = audio + apefile.render_tag(old_items(size)) + tail
                for shape, args in SHAPES:
                    if size and shape not in (("grow", "shrink", "clear then write") if large
                                              else ("shrink",)):
                        continue
                    label = f"{size / 1e6:.0f} MB" if size else "300-byte"
                    yield (f"{os.path.basename(source)}, {tail_name}, {label} tag, {shape}",
                           base, args, len(audio))
    # On the first file: a stale tag other software left before the tag, and a comment that
    # holds the footer's preamble many times.
    data = apefile.read(files[0])
    audio = data[:apefile.tag_region_start(data)]
    name = os.path.basename(files[0])
    stale = apefile.render_tag([("Title", 0, b"Stale title"), ("Year", 0, b"1970")])
    footers = [item if item[0] != "Comment" else ("Comment", 0, b"APETAGEX" * 70)
               for item in old_items(0)]
    for shape in ("shrink", "grow"):
        yield (f"{name}, a stale tag before the tag, {shape}",
               audio + stale + apefile.render_tag(old_items(0)) + apefile.ID3V1,
               dict(SHAPES)[shape], len(audio) + len(stale))
        yield (f"{name}, a comment holding APETAGEX 70 times, {shape}",
               audio + apefile.render_tag(footers), dict(SHAPES)[shape], len(audio))
    if old_layout:
        base, length = old_layout_base(old_layout)
        for shape, args in (SHAPES[0], SHAPES[4]):
            yield (f"{os.path.basename(old_layout)} cut to a page multiple, a tag inside its "
                   f"last frame, {shape}", base, args, length)


def report(scenario, explored, intact, extra=""):
    detail = ", ".join(f"{key}: {count}" for key, count in sorted(scenario.counts.items()))
    syncs = sum(op[0] == "sync" for op in scenario.ops)
    calls = " ".join(op[0] + ("" if len(op) < 2 else " " + op[1]) for op in scenario.ops)
    print(f"{scenario.name}: states {explored}, intact {intact} ({detail}){extra}; calls: "
          f"{calls or 'none'} ({syncs} syncs)", flush=True)


def self_check(scenario, options) -> list:
    """The explorer must see a broken protocol; (label, caught) pairs."""
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
        explored, intact = explore(broken, crash_states(broken, options.pages), 0)
        print(f"explorer check, {broken.name}: states {explored}, intact {intact} (must be "
              "fewer)", flush=True)
        results.append((label, intact < explored))
    return results


# The largest tag the library accepts: the items of old_items() and the cover fill its items
# area but for room for the growing shape.
LARGEST_COVER = (64 << 20) - 4096


def main() -> int:
    options = apefile.setup(("--preload", {"required": True}),
                            ("--pages", {"type": int, "default": 6}),
                            ("--kills", {"type": int, "default": 3}),
                            ("--repairs", {"type": int, "default": 4}),
                            ("--cover-mb", {"type": float, "default": 20}),
                            ("--budget", {"type": int, "default": 0}),
                            ("--no-cover", {"action": "store_true"}),
                            ("--large", {"action": "store_true"}),
                            ("--old-layout", {}), ("files", {"nargs": "+"}))
    cover = (0 if options.no_cover else LARGEST_COVER if options.large
             else int(options.cover_mb * 1e6))
    # The states are written to memory when it can be had: a save's syncs then cost nothing,
    # and nothing the checks look at (the bytes, the inode, the folder) differs from a disk.
    if os.access("/dev/shm", os.W_OK):
        options.work = tempfile.mkdtemp(prefix="quillet-crash-", dir="/dev/shm")
        os.chmod(options.work, 0o755)  # for the reader that may not write
    try:
        return explore_all(options, cover)
    finally:
        if options.work.startswith("/dev/shm/"):
            shutil.rmtree(options.work)


def explore_all(options, cover) -> int:
    passed = failed = 0
    problems = []

    def tally(name, found):
        nonlocal passed, failed
        passed, failed = passed + (not found), failed + bool(found)
        problems.extend(f"{name}: {problem}" for problem in found[:5])

    checked = None
    for name, base, args, audio_length in scenarios(options.files, cover, options.large,
                                                    options.old_layout):
        scenario = Scenario(name, State(base, None), args, audio_length, options.work)
        scenario.record(options.preload, options.work)
        explored, intact = explore(scenario, crash_states(scenario, options.pages,
                                                          options.budget), options.repairs)
        runs, survived = kill_inside_writes(scenario, options.preload, options.kills,
                                            options.budget)
        followed = list(torn_states(scenario)) if scenario.journaled() else []
        budgeted = options.budget and len(base) > BUDGETED_BYTES
        if budgeted:
            followed = followed[:1]
        if followed:
            scenario.read_only(followed[0])
        report(scenario, explored, intact,
               f"; real kills inside a write: {runs}, intact: {survived}")
        tally(name, scenario.problems)
        for number, torn in enumerate(followed):
            put(scenario.path, torn)
            apefile.listing(scenario.path)
            recovered = apefile.read(scenario.path)
            where = "inside its rewrite" if number == 0 and torn.audio != scenario.end.audio \
                else "before its journal's unlink"
            for label, more in (("the recovery killed", []), ("a second save killed",
                                                             SECOND_SAVE))[:2 - budgeted]:
                follow = Scenario(f"{name}, cut off {where}, then {label}", torn, more,
                                  audio_length, options.work, recovered)
                follow.record(options.preload, options.work)
                explored, intact = explore(follow, crash_states(follow, options.pages,
                                                                options.budget), 0)
                runs, survived = kill_inside_writes(follow, options.preload, options.kills,
                                                    options.budget)
                report(follow, explored, intact,
                       f"; real kills inside a write: {runs}, intact: {survived}")
                tally(follow.name, follow.problems)
            if number == 0:
                for label, trouble in edits_after_crash(scenario, torn, recovered,
                                                        options.work):
                    print(f"{name}, cut off {where}, then {label}: "
                          f"{'intact' if not trouble else 'DAMAGED'}", flush=True)
                    tally(f"{name}, {label}", trouble)
        writes = [op for op in scenario.ops if op[0] == "write" and op[1] == "a"]
        spread = max((len(model.pages(op)) for op in writes), default=0)
        if scenario.journaled() and len(base) < (2 << 20) and (
                checked is None or spread > checked[0]):
            checked = (spread, scenario)

    bases = []
    for source in options.files:
        data = apefile.read(source)
        audio = data[:apefile.tag_region_start(data)]
        bases.append((os.path.basename(source), audio + apefile.render_tag(old_items(0)),
                      len(audio)))
    if options.old_layout:
        image, length = old_layout_base(options.old_layout)
        bases.append((os.path.basename(options.old_layout) + " cut to a page multiple", image,
                      length))
    for name, base, audio_length in bases:
        for label, trouble in forged_records(name, base, audio_length, options.work):
            print(f"{label}: {'intact' if not trouble else 'DAMAGED'}", flush=True)
            tally(label, trouble)

    if checked is None:
        tally("explorer check", ["no save went through the journal"])
    else:
        for label, caught in self_check(checked[1], options):
            tally(f"explorer check, {label}",
                  [] if caught else [f"the explorer finds nothing wrong with a save {label}"])
    return apefile.summary(passed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
