#!/usr/bin/env python3
"""Writes a zip of every file below a folder that depends only on their names and contents and on one date: the
entries in the order of their names, each dated EPOCH (seconds since 1970, in UTC), with MS-DOS attributes as a zip
made on Windows has, and no extra fields (no owner, no other times).

    write-zip.py FOLDER OUT.zip EPOCH
"""
import os
import sys
import time
import zipfile

folder, out, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
# A zip's dates start in 1980.
date = time.gmtime(max(epoch, 315532800))[:6]
names = sorted(
    os.path.relpath(os.path.join(where, name), folder).replace(os.sep, "/")
    for where, _, files in os.walk(folder)
    for name in files
)
part = out + ".part"
with zipfile.ZipFile(part, "w") as archive:
    for name in names:
        entry = zipfile.ZipInfo(name, date)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.create_system = 0  # MS-DOS
        entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
        with open(os.path.join(folder, name), "rb") as data:
            archive.writestr(entry, data.read(), compresslevel=9)
os.replace(part, out)
