#!/usr/bin/env python3
"""Writes the benchmark corpus: deterministic web pages and the snippet to insert.

Every page is drawn from its own seeded generator, so a page's bytes depend only on its workload,
its index and its size, never on the order of generation. The pages look like the sites the tool
is used on: a head with a title, styles and scripts, a body of headings, paragraphs, lists, tables
and comments; Latin-1 or UTF-8 text (some UTF-8 pages with a byte-order mark); CR LF, LF or mixed
line ends. Most pages end in "</body></html>"; some hold several "</body>" (in scripts and
comments), some have their last "</body>" after "</html>", and about 5% have none (some of those
close with an upper-case "</BODY>", which the tool must leave alone). No page holds a NUL byte, so
that `sed -z` sees each page as one record.

Usage: make_corpus.py OUT_DIR WORKLOAD...   where WORKLOAD is NAME:COUNT:SIZE, e.g. w1:10000:20480
Writes OUT_DIR/snippet.txt and OUT_DIR/NAME/pNNNNN.html; a workload already complete is kept.
"""

import os
import random
import sys

SNIPPET = (
    b"<!-- quorvane site counter -->\r\n"
    b"<script>\r\n"
    b'var quorvaneSite = "https://stats.quorvane.example/c?site=4711&lang=fr|en";\r\n'
    b'var quorvanePath = location.pathname.replace(/\\\\/g, "/");\r\n'
    b'var quorvaneNote = "prices in $ & EUR";\r\n'
    b"(function (d) { var s = d.createElement('script');\r\n"
    b"  s.src = quorvaneSite + '&p=' + quorvanePath; d.body.appendChild(s); })(document);\r\n"
    b"</script>"
)

WORDS = (
    "the site page news archive contact price offer order delivery garden house city river "
    "summer winter market school library museum concert ticket member forum photo gallery "
    "recipe menu review guide travel hotel room booking weather report season team match"
).split()
ACCENTED = ["café", "élève", "théâtre", "forêt", "garçon", "naïve", "über", "Müller", "año",
            "señor", "crème brûlée", "déjà vu", "Ålesund", "façade", "résumé", "Zürich"]


def text(rng, count, charset):
    words = []
    for _ in range(count):
        if rng.random() < 0.08:
            words.append(rng.choice(ACCENTED))
        else:
            words.append(rng.choice(WORDS))
    return " ".join(words).encode(charset)


def block(rng, charset):
    """One piece of body content, with LF line ends."""
    kind = rng.randrange(10)
    if kind == 0:
        return b"<h2>" + text(rng, rng.randint(2, 6), charset) + b"</h2>\n"
    if kind == 1:
        items = b"".join(b'  <li><a href="/' + rng.choice(WORDS).encode() + b'.html">' +
                         text(rng, rng.randint(1, 4), charset) + b"</a></li>\n"
                         for _ in range(rng.randint(3, 8)))
        return b'<ul class="menu">\n' + items + b"</ul>\n"
    if kind == 2:
        rows = b"".join(b"  <tr><td>" + text(rng, 2, charset) + b"</td><td>" +
                        str(rng.randint(1, 9999)).encode() + b",00 &euro;</td></tr>\n"
                        for _ in range(rng.randint(2, 6)))
        return b'<table border="0" cellpadding="2">\n' + rows + b"</table>\n"
    if kind == 3:
        return b"<!-- " + text(rng, rng.randint(3, 10), charset) + b" -->\n"
    if kind == 4:
        return (b'<div class="photo"><img src="img/' + rng.choice(WORDS).encode() +
                str(rng.randint(1, 500)).encode() + b'.jpg" width="320" height="240" alt="' +
                text(rng, 3, charset) + b'"></div>\n')
    return (b"<p>" + text(rng, rng.randint(20, 90), charset) + b"</p>\n")


def head(rng, charset, index):
    meta = b"iso-8859-1" if charset == "latin-1" else b"utf-8"
    bom = b"\xef\xbb\xbf" if charset == "utf-8" and rng.random() < 0.2 else b""
    return (bom + b'<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 4.01 Transitional//EN">\n<html>\n<head>\n'
            b'<meta http-equiv="Content-Type" content="text/html; charset=' + meta + b'">\n'
            b"<title>" + text(rng, 4, charset) + b" " + str(index).encode() + b"</title>\n"
            b'<link rel="stylesheet" href="/css/site.css">\n'
            b'<style type="text/css">body { font-family: Verdana, sans-serif; }</style>\n'
            b"</head>\n<body bgcolor=\"#ffffff\">\n")


def ending(rng):
    """The end of a page, and the text (if any) to put somewhere earlier in its body."""
    roll = rng.random()
    if roll < 0.05:  # no "</body>" at all
        if rng.random() < 0.5:
            return b"</BODY>\n</HTML>\n", b""
        return b"<p>end of the page</p>\n</html>\n", b""
    if roll < 0.15:  # the last "</body>" after "</html>"
        return b"</body>\n</html>\n<!-- footer added by the host -->\n</body>\n", b""
    if roll < 0.30:  # several "</body>", the real one last
        early = (b'<script>document.write("<\\/p></body>");</script>\n'
                 b"<!-- old footer ended here: </body> -->\n")
        return b"</body>\n</html>\n", early
    return b"</body>\n</html>\n", b""


def block_pool(charset):
    """A fixed pool of body blocks per character set: pages are sequences drawn from it."""
    rng = random.Random("blocks/" + charset)
    return [block(rng, charset) for _ in range(1000)]


POOLS = {}


def page(workload, index, size):
    rng = random.Random(f"{workload}/{index}/{size}")
    charset = "latin-1" if rng.random() < 0.4 else "utf-8"
    if charset not in POOLS:
        POOLS[charset] = block_pool(charset)
    pool = POOLS[charset]
    line_ends = rng.choice(("crlf", "lf", "mixed"))
    tail, early = ending(rng)
    parts = [head(rng, charset, index)]
    length = len(parts[0]) + len(tail) + len(early)
    early_at = rng.randint(1, 5)
    while length < size:
        piece = rng.choice(pool)
        if line_ends == "mixed" and rng.random() < 0.5:
            piece = piece.replace(b"\n", b"\r\n")
        parts.append(piece)
        length += len(piece)
        if early and len(parts) == early_at:
            parts.append(early)
    if early and len(parts) <= early_at:
        parts.append(early)
    parts.append(tail)
    content = b"".join(parts)
    if line_ends == "crlf":
        content = content.replace(b"\n", b"\r\n")
    assert b"\0" not in content
    return content


def big_page(workload, size):
    """One huge page, assembled from a pool of 1 MB pages so that it is quick to write."""
    pool = [page(workload + "-part", i, 1 << 20) for i in range(8)]
    bodies = [p[p.index(b"<body") : p.rindex(b"</body>") if b"</body>" in p else len(p)]
              for p in pool]
    out = bytearray(pool[0][: pool[0].index(b"<body")])
    i = 0
    while True:
        body = bodies[i % len(bodies)]
        room = size - len(out)
        if len(body) >= room:
            out += body[: body.rfind(b"\n", 0, room) + 1]
            break
        out += body
        i += 1
    out += b"</body>\r\n</html>\r\n"
    return bytes(out)


def write_workload(root, name, count, size):
    folder = os.path.join(root, name)
    stamp = folder + ".complete"
    wanted = f"{count}:{size}:2\n"
    if os.path.exists(stamp) and open(stamp).read() == wanted:
        return
    os.makedirs(folder, exist_ok=True)
    for entry in os.listdir(folder):
        os.unlink(os.path.join(folder, entry))
    width = max(5, len(str(count - 1)))
    for i in range(count):
        content = big_page(name, size) if count == 1 and size > (64 << 20) else page(name, i, size)
        with open(os.path.join(folder, f"p{i:0{width}d}.html"), "wb") as f:
            f.write(content)
    with open(stamp, "w") as f:
        f.write(wanted)


def main(argv):
    if len(argv) < 2 or argv[1].startswith("-"):
        sys.exit(__doc__)  # an option is never an output folder
    root = argv[1]
    os.makedirs(root, exist_ok=True)
    with open(os.path.join(root, "snippet.txt"), "wb") as f:
        f.write(SNIPPET)
    for workload in argv[2:]:
        name, count, size = workload.split(":")
        print(f"corpus: {name} ({count} pages of {size} bytes)", file=sys.stderr, flush=True)
        write_workload(root, name, int(count), int(size))


if __name__ == "__main__":
    main(sys.argv)
