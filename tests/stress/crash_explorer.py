#!/usr/bin/python3
"""Records every file-changing system call a save makes, then builds every file a crash can
leave and checks each: the audio bytes unchanged, the tag the old one or the new one (in Quillet
always; in mutagen whenever the file is the old or the new file exactly), and a later save or
removal leaving no debris behind.

The states:
  kill       the process dies between two calls, or inside a write at any page boundary of the
             file (the kernel stops a write between pages);
  power cut  everything up to the last completed sync is on disk; of the calls after it, any
             subset reached the disk, a write possibly only some of its pages (none, all, every
             prefix, every suffix, each page alone, all pages but one), a truncate before or
             after the writes it races.
--large takes 15 MB tags (a binary cover item) on every file and tail, not only on the first
file with an ID3v1 tail; --no-cover takes none. With --pages N, a write of more than N pages is cut at N page boundaries spread over it (always
including the first and last three) instead of at every one; --pages 0 cuts at every boundary.

Each scenario also kills a real run inside each of its writes (--kills boundaries per write) and
checks that the file it leaves is the state the model predicts.

usage: crash_explorer.py --quillet PATH --home DIR --preload SO --work DIR
                         [--pages N] [--kills N] [--repairs N] [--large | --no-cover] FILE...
"""
import hashlib
import itertools
import os
import random
import shutil
import sys

import apefile

PAGE = 4096
SHAPES = [
    ("grow", ["-T=" + "Title " * 40, "-L=" + "Album " * 100]),
    ("shrink", ["-C=", "-T=x"]),
    ("same size", ["-A=New artist"]),
    ("clear", ["-REMOVEALL"]),
    ("clear then write", ["-REMOVEALL", "-T=x"]),
]
TAILS = [("no tail", b""), ("ID3v1", apefile.ID3V1), ("Lyrics3 and ID3v1", apefile.LYRICS3_ID3V1)]


def old_items(large: bool) -> list:
    items = [("Title", 0, b"Old title"), ("Artist", 0, b"Old artist"),
             ("Comment", 0, b"old comment " * 20)]
    if large:
        cover = random.Random(12).randbytes(15 << 20)
        items.append(("Cover Art (Front)", 2, b"front.jpg\0" + cover))
    return items


def parse_trace(data: bytes) -> list:
    """The recorded calls: ("write", offset, bytes), ("truncate", length), ("sync",), ..."""
    ops, at = [], 0
    while at < len(data):
        end = data.index(b"\n", at)
        words = data[at:end].decode().split()
        at = end + 1
        if words[0] == "write":
            offset, length = int(words[1]), int(words[2])
            ops.append(("write", offset, data[at:at + length]))
            at += length
        elif words[0] == "truncate":
            ops.append(("truncate", int(words[1])))
        else:
            ops.append((words[0],))
    return ops


def pages(op) -> list:
    """The (start, end) ranges, within the data of the write `op`, that fall in one file page."""
    _, offset, data = op
    cuts = [0] + [b - offset for b in range((offset // PAGE + 1) * PAGE, offset + len(data), PAGE)]
    return list(zip(cuts, cuts[1:] + [len(data)]))


def sample(count: int, limit: int) -> list:
    """Up to `limit` indices of range(count), spread over it, the first and last three kept."""
    if limit == 0 or count <= limit:
        return list(range(count))
    spread = {round(i * (count - 1) / (limit - 1)) for i in range(limit)}
    return sorted(spread | set(range(3)) | set(range(count - 3, count)))


def apply(image: bytearray, op, chosen=None):
    """Applies `op` to `image`; for a write, only the page ranges in `chosen` (all if None)."""
    if op[0] == "truncate":
        if op[1] < len(image):
            del image[op[1]:]
        else:
            image.extend(bytes(op[1] - len(image)))
    elif op[0] == "write":
        _, offset, data = op
        ranges = pages(op) if chosen is None else chosen
        if not ranges:
            return
        end = offset + max(stop for _, stop in ranges)
        if end > len(image):
            image.extend(bytes(end - len(image)))
        for start, stop in ranges:
            image[offset + start:offset + stop] = data[start:stop]
    # fallocate keeps the size and sync changes no byte: nothing to apply


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


def kill_states(base: bytes, ops: list, limit: int):
    image = bytearray(base)
    yield "kill", bytes(image)
    for op in ops:
        if op[0] == "write":
            ranges = pages(op)
            for i in sample(len(ranges) - 1, limit):
                cut = bytearray(image)
                apply(cut, op, ranges[:i + 1])
                yield "kill", bytes(cut)
        apply(image, op)
        yield "kill", bytes(image)


def power_states(base: bytes, ops: list, limit: int):
    syncs = [i for i, op in enumerate(ops) if op[0] == "sync"]
    durable = bytearray(base)
    done = 0
    for stop in syncs + [len(ops)]:
        epoch = [op for op in ops[done:stop] if op[0] in ("write", "truncate")]
        choices = []
        for op in epoch:
            choices.append([None, "all"])
        for mask in itertools.product(*choices):
            yield from _epoch_states(durable, epoch, list(mask))
        for k, op in enumerate(epoch):
            if op[0] != "write":
                continue
            for pattern in write_patterns(op, limit):
                for mask in itertools.product(*(choices[:k] + choices[k + 1:])):
                    yield from _epoch_states(durable, epoch, list(mask[:k]) + [pattern] +
                                             list(mask[k:]))
        for op in ops[done:stop + 1]:
            apply(durable, op)
        done = stop + 1


def _epoch_states(durable, epoch, mask):
    writes = [(op, m) for op, m in zip(epoch, mask) if op[0] == "write" and m is not None]
    cuts = [op for op, m in zip(epoch, mask) if op[0] == "truncate" and m is not None]
    orders = [True, False] if writes and cuts else [True]
    for cut_last in orders:
        image = bytearray(durable)
        sequence = [(op, None) for op in cuts]
        sequence = ([(op, None if m == "all" else m) for op, m in writes] + sequence if cut_last
                    else sequence + [(op, None if m == "all" else m) for op, m in writes])
        for op, chosen in sequence:
            apply(image, op, chosen)
        yield "power cut", bytes(image)


class Scenario:
    def __init__(self, name, base, args, audio_length, work):
        self.name, self.base, self.args, self.audio_length = name, base, args, audio_length
        self.path = os.path.join(work, "state.ape")
        self.problems, self.counts = [], {}

    def record(self, preload, work):
        trace = os.path.join(work, "trace")
        apefile.write(self.path, self.base)
        run = apefile.run(self.args, self.path, LD_PRELOAD=preload, QUILLET_FAULT_FILE=self.path,
                          QUILLET_RECORD=trace)
        if run.returncode != 0:
            self.problems.append(f"the recorded save exits {run.returncode}")
        self.new = apefile.read(self.path)
        self.ops = parse_trace(apefile.read(trace))
        self.allowed = {self.listing(self.base), self.listing(self.new)}
        if "-REMOVEALL" in self.args:
            self.allowed.add(("",) * len(apefile.FIELDS))
        expected = bytearray(self.base)
        for op in self.ops:
            apply(expected, op)
        if bytes(expected) != self.new:
            self.problems.append("the recorded calls do not make the saved file")

    def after_removal(self) -> bytes:
        """What a removal keeps after the audio: lyrics stay, behind them a blank ID3v1 tag."""
        rest = self.base[self.audio_length:]
        lyrics = rest.find(b"LYRICSBEGIN")
        if lyrics < 0:
            return b""
        return rest[lyrics:-128] + b"TAG" + bytes(124) + b"\xff"

    def listing(self, image: bytes):
        apefile.write(self.path, image)
        return apefile.listing(self.path)[1]

    def check(self, kind, image, repair) -> bool:
        trouble = []
        if image[:self.audio_length] != self.base[:self.audio_length]:
            trouble.append("audio bytes changed")
        shown = self.listing(image)
        if shown not in self.allowed:
            trouble.append(f"Quillet reads {shown!r:.200}")
        standard = image in (self.base, self.new)
        if standard and shown is not None:
            try:
                seen = apefile.mutagen_fields(self.path)
                if not apefile.same_fields(seen, shown):
                    trouble.append(f"mutagen reads {seen!r:.200}")
            except Exception as error:  # mutagen raises many kinds
                trouble.append(f"mutagen cannot read it: {error!r}")
        if not trouble and not standard and repair is not None:
            trouble += self.repair(repair)
        key = f"{kind}, {'mutagen too' if standard else 'Quillet alone'}"
        self.counts[key] = self.counts.get(key, 0) + 1
        if trouble:
            self.problems.append(f"{kind} state of {len(image)} bytes: " + "; ".join(trouble))
        return not trouble

    def repair(self, remove: bool) -> list:
        """A save on a half-done file must leave no debris: the file is the audio and one tag."""
        run = apefile.run(["-REMOVEALL"] if remove else ["-T=repaired"], self.path)
        data = apefile.read(self.path)
        if run.returncode != 0:
            return [f"the next save exits {run.returncode}"]
        if remove:
            kept = self.after_removal()
            return ([] if data[self.audio_length:] == kept
                    else [f"removal leaves {len(data)} bytes"])
        try:
            title = apefile.mutagen_fields(self.path)[0]
        except Exception as error:
            return [f"after the next save mutagen cannot read it: {error!r}"]
        if title != "repaired" or apefile.tag_region_start(data) != self.audio_length:
            return [f"the next save leaves debris (title {title!r})"]
        return []


def kill_inside_writes(scenario, preload, kills) -> tuple:
    """Kills real runs inside each write; (runs, intact)."""
    runs = intact = 0
    image = bytearray(scenario.base)
    for number, op in enumerate(scenario.ops, start=1):
        if op[0] == "write":
            ranges = pages(op)
            for i in sample(len(ranges) - 1, kills):
                expected = bytearray(image)
                apply(expected, op, ranges[:i + 1])
                apefile.write(scenario.path, scenario.base)
                apefile.run(scenario.args, scenario.path, LD_PRELOAD=preload,
                            QUILLET_FAULT_FILE=scenario.path, QUILLET_CUT_AT=str(number),
                            QUILLET_CUT_BYTES=str(ranges[i][1]))
                runs += 1
                left = apefile.read(scenario.path)
                if left != bytes(expected):
                    scenario.problems.append(f"a kill inside call {number} leaves a file the "
                                             "model does not predict")
                elif scenario.check("real kill", left, None):
                    intact += 1
        apply(image, op)
    return runs, intact


def explore(scenario, limit, repairs) -> tuple:
    seen, explored, intact = set(), 0, 0
    for kind, image in itertools.chain(kill_states(scenario.base, scenario.ops, limit),
                                       power_states(scenario.base, scenario.ops, limit)):
        digest = hashlib.sha1(image).digest()
        if digest in seen:
            continue
        seen.add(digest)
        explored += 1
        repair = (explored % 2 == 0) if explored % max(1, repairs) == 0 else None
        intact += scenario.check(kind, image, repair)
    return explored, intact


def scenarios(files, large, cover):
    """(name, base image, arguments, audio length) for each file, tail, tag size and shape."""
    for source in files:
        data = apefile.read(source)
        audio = data[:apefile.tag_region_start(data)]
        for (tail_name, tail), size in itertools.product(TAILS, (False, True)):
            if size and not cover:
                continue
            if size and not large and (tail_name, source) != ("ID3v1", files[0]):
                continue
            base = audio + apefile.render_tag(old_items(size)) + tail
            for shape, args in SHAPES:
                if size and not large and shape not in ("grow", "shrink", "clear then write"):
                    continue
                name = (f"{os.path.basename(source)}, {tail_name}, "
                        f"{'15 MB' if size else '300-byte'} tag, {shape}")
                yield name, base, args, len(audio)


def main() -> int:
    options = apefile.setup(("--preload", {"required": True}),
                            ("--pages", {"type": int, "default": 6}),
                            ("--kills", {"type": int, "default": 3}),
                            ("--repairs", {"type": int, "default": 4}),
                            ("--large", {"action": "store_true"}),
                            ("--no-cover", {"action": "store_true"}), ("files", {"nargs": "+"}))
    passed = failed = 0
    problems = []
    copying, copying_spread = None, 0
    for name, base, args, audio_length in scenarios(options.files, options.large,
                                                            not options.no_cover):
        scenario = Scenario(name, base, args, audio_length, options.work)
        scenario.record(options.preload, options.work)
        explored, intact = explore(scenario, options.pages, options.repairs)
        runs, survived = kill_inside_writes(scenario, options.preload, options.kills)
        syncs = sum(op[0] == "sync" for op in scenario.ops)
        calls = " ".join(op[0] for op in scenario.ops)
        detail = ", ".join(f"{key}: {count}" for key, count in sorted(scenario.counts.items())
                           if not key.startswith("real"))
        print(f"{name}: crash states explored: {explored}, intact: {intact} ({detail}); "
              f"real kills inside a write: {runs}, intact: {survived}; calls: {calls} "
              f"({syncs} syncs)")
        ok = not scenario.problems
        passed, failed = passed + ok, failed + (not ok)
        problems += [f"{name}: {problem}" for problem in scenario.problems[:5]]
        # The save whose in-place write spans the most pages: written in place without its copy,
        # it must tear.
        writes = [op for op in scenario.ops if op[0] == "write"]
        if scenario.ops and scenario.ops[0][0] == "fallocate" and len(writes) > 1:
            spread = len(pages(writes[1]))
            if copying is None or spread > copying_spread:
                copying, copying_spread = scenario, spread

    # The explorer must see a broken protocol: the copying save of the largest tag, with its
    # syncs dropped, and written in place without its copy.
    if copying is not None:
        first_write = next(i for i, op in enumerate(copying.ops) if op[0] == "write")
        first_sync = next(i for i, op in enumerate(copying.ops) if op[0] == "sync")
        mutants = [("without its syncs", [op for op in copying.ops if op[0] != "sync"]),
                   ("in place, without its copy",
                    [op for i, op in enumerate(copying.ops) if i not in (first_write, first_sync)])]
        for label, ops in mutants:
            broken = Scenario(f"{copying.name}, {label}", copying.base, copying.args,
                              copying.audio_length, options.work)
            broken.allowed, broken.new, broken.ops = copying.allowed, copying.new, ops
            explored, intact = explore(broken, options.pages, 0)
            print(f"explorer check, {broken.name}: crash states explored: {explored}, intact: "
                  f"{intact} (must be fewer)")
            caught = intact < explored
            passed, failed = passed + caught, failed + (not caught)
            if not caught:
                problems.append(f"the explorer finds nothing wrong with a save {label}")
    return apefile.summary(passed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
