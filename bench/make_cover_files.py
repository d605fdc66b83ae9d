"""Makes the cover-art benchmark's files: the audio of a real Monkey's Audio file with a tag of
Title, Artist, Comment and, but for the first file, one front cover of the given size.

    make_cover_files.py SOURCE FOLDER [MIB ...]     (default sizes: 0 1 15)

Writes FOLDER/cover-<MIB>M.ape for each size; the tag is written by mutagen, so that the files
are ones other software wrote."""
import os
import shutil
import sys

import mutagen.apev2


def main():
    source, folder = sys.argv[1], sys.argv[2]
    sizes = [int(size) for size in sys.argv[3:]] or [0, 1, 15]
    for mib in sizes:
        path = os.path.join(folder, "cover-%dM.ape" % mib)
        shutil.copyfile(source, path)
        mutagen.apev2.delete(path)
        tag = mutagen.apev2.APEv2()
        tag["Title"] = "Seasons of the Sea"
        tag["Artist"] = "Jack and Ken"
        tag["Comment"] = "Recorded live in one take"
        if mib:
            # Bytes that do not compress, as a JPEG's do not, behind the file name the
            # format puts first.
            picture = b"cover.jpg\0" + os.urandom(mib << 20)
            tag["Cover Art (Front)"] = mutagen.apev2.APEValue(picture, mutagen.apev2.BINARY)
        tag.save(path)


if __name__ == "__main__":
    main()
