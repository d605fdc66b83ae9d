#!/usr/bin/python3
"""Makes every file-changing system call of a save fail in turn, on the file, its journal and
their folder (crash_explorer.py covers kills and power cuts), and checks that the file survives:
audio unchanged, readable by Quillet and then by mutagen, no journal left after that listing, and
its tag one of the states the run passes through (old, or new, or, for a run that removes and
then writes, the emptied tag in between).

usage: fault_harness.py --quillet PATH --home DIR --preload SO --work DIR FILE...
"""
import errno
import os
import shutil
import sys

import apefile

SCENARIOS = [
    # name, arguments before the file name
    ("grow", ["-T=" + "Title " * 40, "-A=Artist", "-L=" + "Album " * 200, "-C=Comment",
              "-Y=2026", "-G=Genre", "-R=7/12"]),
    ("shrink", ["-C=", "-T=x"]),
    ("clear and write", ["-REMOVEALL", "-T=x"]),
    ("remove", ["-REMOVEALL"]),
    ("japanese", ["-T=\u6625\u306e\u6d77", "-A=\u5bae\u57ce\u9053\u96c4"]),
]


def damage(run, path, audio_length, audio, allowed) -> list:
    """What is wrong with `path` after the faulted `run`: [] when nothing."""
    problems = [] if run.returncode in (0, 1, -9) else [f"exit {run.returncode}"]
    if apefile.audio_digest(path, audio_length) != audio:
        problems.append("audio bytes changed")
    code, shown = apefile.listing(path)
    if code != 0:
        problems.append(f"Quillet cannot list it (exit {code})")
    elif shown not in allowed:
        problems.append(f"tag is neither old nor new: {shown!r:.300}")
    if os.path.exists(apefile.journal_of(path)):
        problems.append("the listing leaves a journal")
    try:
        seen = apefile.mutagen_fields(path)
        if shown is not None and not apefile.same_fields(seen, shown):
            problems.append(f"mutagen reads {seen!r:.300}, Quillet {shown!r:.300}")
    except Exception as error:  # mutagen raises many kinds
        problems.append(f"mutagen cannot read it: {error!r}")
    return problems


def main() -> int:
    options = apefile.setup(("--preload", {"required": True}), ("files", {"nargs": "+"}))
    base, clean, victim, count_file = (os.path.join(options.work, name)
                                       for name in ("base.ape", "clean", "victim", "count"))
    tried = intact = 0
    failures = []
    for source in options.files:
        for name, args in SCENARIOS:
            shutil.copyfile(source, base)
            # Give the file a tag of its own first so shrinking and removal have work to do.
            apefile.run(["-T=Old title", "-A=Old artist", "-C=" + "old comment " * 30], base)
            audio_length, audio = apefile.copy(base, clean)
            old = apefile.listing(clean)[1]
            apefile.run(args, clean, LD_PRELOAD=options.preload, QUILLET_FAULT_FILE=clean,
                        QUILLET_FAULT_COUNT=count_file)
            calls = int(apefile.read(count_file))
            allowed = {old, apefile.listing(clean)[1]}
            if "-REMOVEALL" in args:
                allowed.add(("",) * len(apefile.FIELDS))
            if calls == 0 and name != "remove":
                failures.append(f"{source} {name}: the save made no counted call")

            for kind in ("ENOSPC", "EIO"):
                for n in range(1, calls + 1):
                    fault = {"QUILLET_FAULT_AT": str(n),
                             "QUILLET_FAULT_ERRNO": str(getattr(errno, kind))}
                    shutil.copyfile(base, victim)
                    if os.path.exists(apefile.journal_of(victim)):
                        os.unlink(apefile.journal_of(victim))
                    run = apefile.run(args, victim, LD_PRELOAD=options.preload,
                                      QUILLET_FAULT_FILE=victim, **fault)
                    tried += 1
                    problems = damage(run, victim, audio_length, audio, allowed)
                    if problems:
                        failures.append(f"{os.path.basename(source)} {name} {kind} at call {n}: "
                                        + "; ".join(problems))
                    else:
                        intact += 1

    print(f"faults tried: {tried}, files intact: {intact}")
    return apefile.summary(intact, tried - intact, failures)


if __name__ == "__main__":
    sys.exit(main())
