#!/usr/bin/env python3
"""The straightforward Python way to insert a text before the last tag of each page, as bytes:
read the page, find the tag from the end, write a temporary file beside it and rename it over the
page. Pages without the tag are not written. Used as a peer by the tool comparison.

Usage: peer_insert.py TEXT_FILE PAGE...
"""

import os
import sys


def main(argv):
    with open(argv[1], "rb") as f:
        text = f.read()
    tag = b"</body>"
    for page in argv[2:]:
        with open(page, "rb") as f:
            data = f.read()
        at = data.rfind(tag)
        if at < 0:
            continue
        temporary = os.path.join(os.path.dirname(page), "." + os.path.basename(page) + ".py-tmp")
        with open(temporary, "wb") as f:
            f.write(data[:at])
            f.write(b"\r\n")
            f.write(text)
            f.write(b"\r\n")
            f.write(data[at:])
        os.replace(temporary, page)


if __name__ == "__main__":
    main(sys.argv)
