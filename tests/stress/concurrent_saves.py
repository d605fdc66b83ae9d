#!/usr/bin/python3
"""Several Quillet processes save the same file at once, round after round, values of random
length and letters: the file lists, its audio is unchanged, each process's own field holds its
value of the round and Title one of the round's values, and the file's size stays bounded. A
writer paused between loading and saving keeps another program's save."""
import fcntl
import os
import random
import shutil
import sys
import time

import apefile

# Besides Title, which every process writes, each writes one field of its own.
OWN_FIELDS = [("-A", "Artist"), ("-L", "Album"), ("-C", "Comment"), ("-Y", "Year"),
              ("-G", "Genre"), ("-R", "Track")]
LETTERS = "abcdefghijklmnopqrstuvwxyz0123456789 \u3042\u3044\u3046\u6f22\u5b57"


def random_text(generator) -> str:
    return "".join(generator.choice(LETTERS) for _ in range(generator.randint(0, 60)))


def concurrent_rounds(rounds, path, processes, audio) -> list:
    generator = random.Random(processes)
    # A header and a footer; each item its size, flags, key, terminator and longest value.
    bound = len(audio) + 64 + (processes + 1) * (8 + 8 + 16 + 60 * 3)
    largest = 0
    for round_number in range(rounds):
        values = [f"p{p}-r{round_number}-" + random_text(generator) for p in range(processes)]
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


def waits_for_lock(pid: int) -> bool:
    with open("/proc/locks") as locks:
        return any(" -> " in line and f" {pid} " in line for line in locks)


def paused_writer(path) -> list:
    """Quillet loads the file, then waits for the exclusive lock held off by a shared one of
    ours; meanwhile mutagen (which takes no lock) saves Album. Quillet's save of Artist must keep
    that Album."""
    import mutagen.apev2
    apefile.run(["-T=Before", "-L=Before"], path)
    with open(path, "rb") as holder:
        fcntl.flock(holder, fcntl.LOCK_SH)
        writer = apefile.run(["-A=Paused artist"], path, wait=False)
        deadline = time.monotonic() + 30
        while not waits_for_lock(writer.pid) and time.monotonic() < deadline:
            time.sleep(0.01)
        if writer.poll() is not None or not waits_for_lock(writer.pid):
            writer.kill()
            return ["the writer never waited for the lock"]
        tags = mutagen.apev2.APEv2(path)
        tags["Album"] = "Saved meanwhile"
        tags.save(path)
        fcntl.flock(holder, fcntl.LOCK_UN)
    code = writer.wait(timeout=60)
    shown = dict(zip(apefile.FIELDS, apefile.listing(path)[1] or ()))
    if code != 0 or (shown.get("Artist"), shown.get("Album")) != ("Paused artist",
                                                                  "Saved meanwhile"):
        return [f"exit {code}, fields {shown}"]
    return []


def main() -> int:
    options = apefile.setup(("--rounds", {"type": int, "default": 1000}), ("file", {}))
    audio = apefile.audio_of(options.file)
    runs = [(f"{n} processes x {options.rounds} rounds",
             lambda path, n=n: concurrent_rounds(options.rounds, path, n, audio))
            for n in (2, len(OWN_FIELDS))]
    runs += [("a writer paused between loading and saving", paused_writer)]
    problems, failed = [], 0
    for number, (label, run) in enumerate(runs):
        path = os.path.join(options.work, f"run-{number}.ape")
        shutil.copyfile(options.file, path)
        found = run(path)
        print(f"{label}: {'ok' if not found else 'FAILED'}", flush=True)
        problems += [f"{label}: {problem}" for problem in found]
        failed += bool(found)
    return apefile.summary(len(runs) - failed, failed, problems)


if __name__ == "__main__":
    sys.exit(main())
