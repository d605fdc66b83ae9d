"""Reads or writes an APEv2 tag with mutagen, for the interoperability tests.

  interop_mutagen.py read FILE           prints {key: [values...]} as JSON (binary: null)
  interop_mutagen.py write FILE JSON     sets each key of the JSON object to its text value

read_shown() gives the text our library should show of a file's items (differential_mutagen.py).
"""
import json
import sys

from mutagen.apev2 import APEv2, APETextValue

# The library cuts a fetched text to fit a 2048-byte buffer, NUL included.
FETCH_ROOM = 2047


def cut_utf8(data, room):
    """data cut to at most room bytes, never inside a character."""
    if len(data) <= room:
        return data
    end = room
    while end > 0 and (data[end] & 0xC0) == 0x80:
        end -= 1
    return data[:end]


def shown_fields(tag):
    """{lower-case key: bytes} of the text items, as our library shows them: values joined by
    "; ", a last empty value (a NUL that ends the value) dropped, cut as a fetch cuts."""
    shown = {}
    for key, value in tag.items():
        if not isinstance(value, APETextValue):
            continue
        values = list(value)
        if len(values) > 1 and values[-1] == "":
            values.pop()
        shown[key.lower()] = cut_utf8("; ".join(values).encode("utf-8"), FETCH_ROOM)
    return shown


def read_shown(path):
    """shown_fields of path, or None when mutagen reads no tag there."""
    try:
        return shown_fields(APEv2(path))
    except Exception:  # mutagen's errors for a missing or refused tag vary
        return None


def main():
    command, path = sys.argv[1], sys.argv[2]
    if command == "read":
        tag = APEv2(path)
        out = {}
        for key, value in tag.items():
            out[key] = list(value) if isinstance(value, APETextValue) else None
        json.dump(out, sys.stdout, ensure_ascii=True)
    elif command == "write":
        try:
            tag = APEv2(path)
        except Exception:
            tag = APEv2()
        for key, value in json.loads(sys.argv[3]).items():
            tag[key] = value
        tag.save(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
