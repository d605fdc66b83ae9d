#!/usr/bin/python3
"""Several Quillet processes save the same file at once, round after round, values of random
length and letters: the file lists, its audio is unchanged, each process's own field holds its
value of the round and Title one of the round's values, and the file's size stays bounded."""
import os
import random
import shutil
import sys

import apefile

# Besides Title, which every process writes, each writes one field of its own.
OWN_FIELDS = [("-A", "Artist"), ("-L", "Album"), ("-C", "Comment"), ("-Y", "Year"),
              ("-G", "Genre"), ("-R", "Track")]
LETTERS = "abcdefghijklmnopqrstuvwxyz0123456789 \u3042\u3044\u3046\u6f22\u5b57"


def concurrent_rounds(rounds, path, processes, audio) -> list:
    generator = random.Random(processes)
    # A header and a footer; each item its size, flags, key, terminator and longest value.
    bound = len(audio) + 64 + (processes + 1) * (8 + 8 + 16 + 60 * 3)
    largest = 0
    for round_number in range(rounds):
        values = [f"p{p}-r{round_number}-" + "".join(
            generator.choices(LETTERS, k=generator.randint(0, 60))) for p in range(processes)]
        running = [apefile.run(["-T=" + value, OWN_FIELDS[p][0] + "=" + value], path, wait=False)
                   for p, value in enumerate(values)]
        codes = [child.wait(timeout=60) for child in running]
        problems = [f"exit codes {codes}"] if any(code != 0 for code in codes) else []
        code, last = apefile.listing(path)
        largest = max(largest, os.path.getsize(path))
        if largest > bound:
            problems.append(f"size {largest} (at most {bound})")
        if not apefile.read(path).startswith(audio):
            problems.append("audio changed")
        elif code != 0 or last is None:
            problems.append(f"file does not list (exit {code})")
        else:
            shown = dict(zip(apefile.FIELDS, last))
            own = {OWN_FIELDS[p][1]: value for p, value in enumerate(values)}
            if shown["Title"] not in values or {f: shown[f] for f in own} != own:
                problems.append(f"fields {shown}, each process's own {own}, Title one of them")
        if problems:
            return [f"round {round_number}: {problem}" for problem in problems]
    print(f"{processes} processes: largest size {largest} bytes, audio {len(audio)} bytes")
    return apefile.mutagen_problem(path, ())


def main() -> int:
    options = apefile.setup(("--rounds", {"type": int, "default": 1000}), ("file", {}))
    audio = apefile.audio_of(options.file)
    counts = (2, len(OWN_FIELDS))
    problems, failed = [], 0
    for processes in counts:
        label = f"{processes} processes x {options.rounds} rounds"
        path = os.path.join(options.work, f"run-{processes}.ape")
        shutil.copyfile(options.file, path)
        found = concurrent_rounds(options.rounds, path, processes, audio)
        print(f"{label}: {'ok' if not found else 'FAILED'}", flush=True)
        problems += [f"{label}: {problem}" for problem in found]
        failed += bool(found)
    return apefile.summary(len(counts) - failed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
