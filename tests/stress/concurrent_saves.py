#!/usr/bin/python3
"""Several Quillet processes save the same file at the same moment, again and again; then one
file takes many consecutive writes with random values. The file must always open, its audio must
stay unchanged, every field must hold a value that some process wrote (never a mixture), and the
file's size must stay bounded.

usage: concurrent_saves.py --quillet PATH --home DIR --work DIR [--rounds N] [--writes N] FILE
"""
import os
import random
import sys

import apefile

# Besides Title, which every process writes, each writes one field of its own; some share one.
OWN_FIELDS = [("-A", "Artist"), ("-L", "Album"), ("-C", "Comment"), ("-Y", "Year"),
              ("-G", "Genre"), ("-R", "Track"), ("-A", "Artist"), ("-L", "Album")]


def concurrent_rounds(rounds, path, processes, audio_length, audio) -> list:
    """The problems of the first round that has any, or []."""
    last = apefile.listing(path)[1]
    for round_number in range(rounds):
        before = dict(zip(apefile.FIELDS, last))
        values = [f"p{p}-r{round_number}" for p in range(processes)]
        running = [apefile.run(["-T=" + value, OWN_FIELDS[p][0] + "=" + value], path, wait=False)
                   for p, value in enumerate(values)]
        codes = [child.wait(timeout=60) for child in running]
        problems = [f"exit codes {codes}"] if any(code not in (0, 1) for code in codes) else []
        code, last = apefile.listing(path)
        if apefile.audio_digest(path, audio_length) != audio:
            problems.append("audio changed")
        elif code != 0 or last is None:
            problems.append(f"file does not list (exit {code})")
        else:
            shown = dict(zip(apefile.FIELDS, last))
            if shown["Title"] not in values:
                problems.append(f"Title {shown['Title']!r} was written by nobody")
            for field in {OWN_FIELDS[p][1] for p in range(processes)}:
                writers = {values[p] for p in range(processes) if OWN_FIELDS[p][1] == field}
                if shown[field] not in writers | {before[field]}:
                    problems.append(f"{field} {shown[field]!r} is a mixture")
        if problems:
            return [f"round {round_number}: {problem}" for problem in problems]
    return []


def consecutive_writes(writes, path, audio_length, audio) -> list:
    generator = random.Random(20261205)
    alphabet = "abcdefghijklmnopqrstuvwxyz0123456789 \u3042\u3044\u3046\u6f22\u5b57"
    largest = initial = os.path.getsize(path)
    bound = initial + 64 + 4 * (9 + 8 + 60 * 3)
    problems = []
    for write in range(writes):
        args = [key + "=" + "".join(generator.choice(alphabet)
                                    for _ in range(generator.randint(0, 60)))
                for key in ("-T", "-A", "-L", "-C")]
        code = apefile.run(args, path).returncode
        size = os.path.getsize(path)
        largest = max(largest, size)
        if code != 0 or size > bound:
            problems.append(f"write {write}: exit {code}, size {size} (at most {bound})")
            break
    if apefile.audio_digest(path, audio_length) != audio:
        problems.append("audio changed")
    if apefile.listing(path)[0] != 0:
        problems.append("file does not list after the writes")
    print(f"{writes} consecutive writes: largest size {largest} bytes, audio "
          f"{audio_length} bytes: {'ok' if not problems else 'FAILED'}")
    return problems


def main() -> int:
    options = apefile.setup(("--rounds", {"type": int, "default": 1000}),
                            ("--writes", {"type": int, "default": 10000}), ("file", {}))
    problems = []
    failed = 0
    for processes in (2, 8):
        path = os.path.join(options.work, f"concurrent-{processes}.ape")
        found = concurrent_rounds(options.rounds, path, processes,
                                  *apefile.copy(options.file, path))
        try:
            apefile.mutagen_fields(path)
        except Exception as error:
            found.append(f"mutagen cannot read the result: {error!r}")
        print(f"{processes} processes x {options.rounds} rounds: {'ok' if not found else 'FAILED'}")
        problems += [f"{processes} processes: {problem}" for problem in found]
        failed += bool(found)
    path = os.path.join(options.work, "consecutive.ape")
    found = consecutive_writes(options.writes, path, *apefile.copy(options.file, path))
    problems += found
    failed += bool(found)
    return apefile.summary(3 - failed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
