#!/usr/bin/python3
"""Several Quillet processes save the same file at the same moment, again and again; then one
file takes many consecutive writes with random values. The file must always open, its audio must
stay unchanged, every field must hold a value that some process wrote (never a mixture), and the
file's size must stay bounded.

usage: concurrent_saves.py --quillet PATH --home DIR --work DIR [--rounds N] [--writes N] FILE
"""
import argparse
import os
import random
import shutil
import subprocess
import sys

import apefile

OWN_FIELDS = ["-A", "-L", "-C", "-Y", "-G", "-R", "-A", "-L"]
OWN_NAMES = ["Artist", "Album", "Comment", "Year", "Genre", "Track", "Artist", "Album"]


def concurrent_rounds(options, env, path, processes, audio_length, audio):
    problems = []
    for round_number in range(options.rounds):
        before = apefile.listing(options.quillet, path, env)[1] if round_number == 0 else last
        running = []
        for process in range(processes):
            value = f"p{process}-r{round_number}"
            args = [options.quillet, "-T=" + value, OWN_FIELDS[process] + "=" + value, path]
            running.append(subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL))
        codes = [child.wait(timeout=60) for child in running]
        if any(code not in (0, 1) for code in codes):
            problems.append(f"round {round_number}: exit codes {codes}")
        if apefile.audio_digest(path, audio_length) != audio:
            problems.append(f"round {round_number}: audio changed")
            break
        code, last = apefile.listing(options.quillet, path, env)
        if code != 0 or last is None:
            problems.append(f"round {round_number}: file does not list (exit {code})")
            break
        shown = dict(zip(apefile.FIELDS, last))
        titles = {f"p{p}-r{round_number}" for p in range(processes)}
        if shown["Title"] not in titles:
            problems.append(f"round {round_number}: Title {shown['Title']!r} was written by nobody")
        for field in set(OWN_NAMES[:processes]):
            writers = {f"p{p}-r{round_number}" for p in range(processes) if OWN_NAMES[p] == field}
            previous = dict(zip(apefile.FIELDS, before))[field]
            if shown[field] not in writers | {previous}:
                problems.append(f"round {round_number}: {field} {shown[field]!r} is a mixture")
        if problems:
            break
    return problems


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--quillet", required=True)
    parser.add_argument("--home", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=1000)
    parser.add_argument("--writes", type=int, default=10000)
    parser.add_argument("file")
    options = parser.parse_args()
    env = apefile.program_env(options.home)
    os.makedirs(options.work, exist_ok=True)
    passed = failed = 0

    for processes in (2, 8):
        path = os.path.join(options.work, f"concurrent-{processes}.ape")
        shutil.copyfile(options.file, path)
        with open(path, "rb") as handle:
            audio_length = apefile.tag_region_start(handle.read())
        audio = apefile.audio_digest(path, audio_length)
        problems = concurrent_rounds(options, env, path, processes, audio_length, audio)
        try:
            apefile.mutagen_fields(path)
        except Exception as error:
            problems.append(f"mutagen cannot read the result: {error!r}")
        print(f"{processes} processes x {options.rounds} rounds: "
              f"{'ok' if not problems else problems[:5]}")
        passed, failed = (passed + 1, failed) if not problems else (passed, failed + 1)

    path = os.path.join(options.work, "consecutive.ape")
    shutil.copyfile(options.file, path)
    with open(path, "rb") as handle:
        audio_length = apefile.tag_region_start(handle.read())
    audio = apefile.audio_digest(path, audio_length)
    generator = random.Random(20261205)
    alphabet = "abcdefghijklmnopqrstuvwxyz0123456789 \u3042\u3044\u3046\u6f22\u5b57"
    largest = initial = os.path.getsize(path)
    problems = []
    for write in range(options.writes):
        values = {name: "".join(generator.choice(alphabet) for _ in range(generator.randint(0, 60)))
                  for name in ("-T", "-A", "-L", "-C")}
        args = [options.quillet] + [f"{key}={value}" for key, value in values.items()] + [path]
        run = subprocess.run(args, env=env, capture_output=True, timeout=60)
        size = os.path.getsize(path)
        largest = max(largest, size)
        if run.returncode != 0:
            problems.append(f"write {write}: exit {run.returncode}")
            break
        expected_bound = initial + 64 + 4 * (9 + 8 + 60 * 3)
        if size > expected_bound:
            problems.append(f"write {write}: size {size} grew past {expected_bound}")
            break
    if apefile.audio_digest(path, audio_length) != audio:
        problems.append("audio changed")
    code, _ = apefile.listing(options.quillet, path, env)
    if code != 0:
        problems.append("file does not list after the writes")
    print(f"{options.writes} consecutive writes: largest size {largest} bytes, audio "
          f"{audio_length} bytes: {'ok' if not problems else problems[:5]}")
    passed, failed = (passed + 1, failed) if not problems else (passed, failed + 1)

    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
