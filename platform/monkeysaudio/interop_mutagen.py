"""Reads or writes an APEv2 tag with mutagen, for the interoperability tests.

  interop_mutagen.py read FILE           prints {key: [values...]} as JSON (binary: null)
  interop_mutagen.py write FILE JSON     sets each key of the JSON object to its text value
"""
import json
import sys

from mutagen.apev2 import APEv2, APETextValue


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
