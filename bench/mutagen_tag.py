"""The benchmark's mutagen program: lists the seven fields of a file's APE tag, or writes them.

    mutagen_tag.py list FILE
    mutagen_tag.py write FILE TITLE ARTIST ALBUM COMMENT YEAR GENRE TRACK
"""
import sys

import mutagen.apev2

FIELDS = ["Title", "Artist", "Album", "Comment", "Year", "Genre", "Track"]


def main():
    command, path = sys.argv[1], sys.argv[2]
    try:
        tag = mutagen.apev2.APEv2(path)
    except mutagen.apev2.APENoHeaderError:
        tag = mutagen.apev2.APEv2()
    if command == "write":
        for field, value in zip(FIELDS, sys.argv[3:10]):
            tag[field] = value
        tag.save(path)
    print("Tag file: " + path)
    for field in FIELDS:
        print(field + ": " + (str(tag[field]) if field in tag else ""))


main()
