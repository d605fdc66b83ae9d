#!/usr/bin/python3
"""Makes every file-changing system call of a save fail in turn, or kills the program right after
it, and checks that the file survives: audio unchanged, readable by Quillet and by mutagen, and
its tag one of the states the run passes through (old, or new, or, for a run that removes and
then writes, the emptied tag in between).

usage: fault_harness.py --quillet PATH --home DIR --preload SO --work DIR FILE...
"""
import argparse
import errno
import os
import shutil
import subprocess
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


def run_quillet(args, quillet, path, env, extra_env=None):
    run_env = dict(env)
    if extra_env:
        run_env.update(extra_env)
    return subprocess.run([quillet] + args + [path], env=run_env, capture_output=True,
                          timeout=60)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillet", required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--preload", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("files", nargs="+")
    options = parser.parse_args()
    env = apefile.program_env(options.home)
    env.setdefault("ASAN_OPTIONS", "")
    env["ASAN_OPTIONS"] += ":verify_asan_link_order=0"
    os.makedirs(options.work, exist_ok=True)
    tried = intact = 0
    failures = []

    for source in options.files:
        for name, args in SCENARIOS:
            base = os.path.join(options.work, "base-" + os.path.basename(source))
            shutil.copyfile(source, base)
            # Give the file a tag of its own first so shrinking and removal have work to do.
            run_quillet(["-T=Old title", "-A=Old artist", "-C=" + "old comment " * 30], options.quillet,
                        base, env)
            with open(base, "rb") as handle:
                data = handle.read()
            audio_length = apefile.tag_region_start(data)
            audio = apefile.audio_digest(base, audio_length)
            _, old = apefile.listing(options.quillet, base, env)

            clean = os.path.join(options.work, "clean")
            shutil.copyfile(base, clean)
            count_file = os.path.join(options.work, "count")
            run_quillet(args, options.quillet, clean, env,
                        {"LD_PRELOAD": options.preload, "QUILLET_FAULT_FILE": clean,
                         "QUILLET_FAULT_COUNT": count_file})
            with open(count_file) as handle:
                calls = int(handle.read())
            _, new = apefile.listing(options.quillet, clean, env)
            emptied = ("",) * len(apefile.FIELDS)
            allowed = {old, new, emptied} if "-REMOVEALL" in args else {old, new}
            if calls == 0 and name != "remove":
                failures.append(f"{source} {name}: the save made no counted call")

            faults = [("ENOSPC", {"QUILLET_FAULT_AT": str(n), "QUILLET_FAULT_ERRNO": str(errno.ENOSPC)})
                      for n in range(1, calls + 1)]
            faults += [("EIO", {"QUILLET_FAULT_AT": str(n), "QUILLET_FAULT_ERRNO": str(errno.EIO)})
                       for n in range(1, calls + 1)]
            faults += [("SIGKILL", {"QUILLET_KILL_AFTER": str(n)}) for n in range(1, calls + 1)]
            for kind, fault_env in faults:
                victim = os.path.join(options.work, "victim")
                shutil.copyfile(base, victim)
                fault_env = dict(fault_env, LD_PRELOAD=options.preload, QUILLET_FAULT_FILE=victim)
                run = run_quillet(args, options.quillet, victim, env, fault_env)
                tried += 1
                label = f"{os.path.basename(source)} {name} {kind} at call {fault_env.get('QUILLET_FAULT_AT') or fault_env.get('QUILLET_KILL_AFTER')}"
                problems = []
                if run.returncode not in (0, 1, -9):
                    problems.append(f"exit {run.returncode}")
                if apefile.audio_digest(victim, audio_length) != audio:
                    problems.append("audio bytes changed")
                code, shown = apefile.listing(options.quillet, victim, env)
                if code != 0:
                    problems.append(f"Quillet cannot list it (exit {code})")
                elif shown not in allowed:
                    problems.append(f"tag is neither old nor new: {apefile.brief(shown)}")
                try:
                    seen = apefile.mutagen_fields(victim)
                    if shown is not None and not apefile.same_fields(seen, shown):
                        problems.append(f"mutagen reads {apefile.brief(seen)}, "
                                        f"Quillet {apefile.brief(shown)}")
                except Exception as error:  # mutagen raises many kinds
                    problems.append(f"mutagen cannot read it: {error!r}")
                if problems:
                    failures.append(label + ": " + "; ".join(problems))
                else:
                    intact += 1

    print(f"faults tried: {tried}, files intact: {intact}")
    for failure in failures[:50]:
        print("FAIL", failure)
    print(f"{intact} passed, {tried - intact} failed")
    return 0 if not failures and tried > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
