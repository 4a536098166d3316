#!/usr/bin/env python3
"""The documentation as a reader meets it: every relative link of every
Markdown page (README.md, docs/, examples/, bench/, tests/data/, workflows/)
leads to a file that exists and, with a #part, to a heading of that page.

    python3 tests/docs_test.py <source dir>
"""
import glob
import os
import re
import sys


def anchors(path):
    """The anchors of a page's headings, made as GitHub makes them."""
    text = re.sub(r"```.*?```", "", open(path, encoding="utf-8").read(), flags=re.S)
    found = set()
    for heading in re.findall(r"^#+ (.*?)\s*$", text, re.M):
        a = re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")
        found.add(a)
    return found


def main(src):
    os.chdir(src)
    pages = ["README.md"]
    for pattern in ("docs/**/*.md", "examples/*.md", "bench/*.md", "tests/data/*.md", "workflows/**/*.md"):
        pages += glob.glob(pattern, recursive=True)
    broken = []
    for page in sorted(set(pages)):
        text = re.sub(r"```.*?```", "", open(page, encoding="utf-8").read(), flags=re.S)
        for link in re.findall(r"\]\(([^)\s]+)\)", text):
            if re.match(r"[a-z][a-z0-9+.-]*:", link):
                continue  # http:, https:, mailto:
            path, _, part = link.partition("#")
            target = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            if not os.path.exists(target):
                broken.append(f"{page}: {link}: no such file")
            elif part and target.endswith(".md") and part not in anchors(target):
                broken.append(f"{page}: {link}: no heading #{part} in {target}")
    for b in broken:
        print(b)
    print(f"{len(pages)} pages, {len(broken)} broken links")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
