#!/usr/bin/env python3
"""One table of several variants' accuracy reports, side by side.

    side_by_side.py FOLDER [TABLE] [VARIANT ...]

reads FOLDER/<variant>/TABLE (default accuracy.md; accuracy-known.md for the known-width
rule) for every variant (default: every subfolder holding TABLE, in the order none, mask,
dust, maskdust, then the others by name) and prints, per collection, one markdown row per
variant with the measures of the collection's "all" totals row and the diagnostics counts
(failed sets, top models hitting at least one / at least half of the known sites,
low-complexity top models).  Standard library only.
"""

import os
import re
import sys

ORDER = ("none", "mask", "dust", "maskdust")
COLUMNS = ("nCC", "nSn", "nPPV", "sSn", "sPPV")


def read_report(text):
    """{collection: {measure or count: text}} from one accuracy report."""
    result, header, collection = {}, None, None
    for line in text.splitlines():
        if line.startswith("| group |"):
            header = [c.strip() for c in line.split("|")[1:-1]]
            continue
        if header and line.startswith("| ") and ": all |" in line:
            cells = [c.strip() for c in line.split("|")[1:-1]]
            row = dict(zip(header, cells))
            result[row["group"][:-len(": all")]] = row
            continue
        match = re.match(r"### (\S+)$", line)
        if match:
            collection = match.group(1)
            continue
        if collection in result:
            row = result[collection]
            for key, pattern in (
                    ("hit one", r"- data sets with known sites where the top model hits at "
                                r"least one: (\d+ of \d+)"),
                    ("hit half", r"- \.\.\. where it hits at least half of them: (\d+ of \d+)"),
                    ("low-complexity", r"- low-complexity top models .*: (\d+ of \d+) top")):
                found = re.match(pattern, line)
                if found:
                    row[key] = found.group(1)
    return result


def variants_in(folder, table):
    names = [n for n in os.listdir(folder) if os.path.exists(os.path.join(folder, n, table))]
    return sorted(names, key=lambda n: (ORDER.index(n) if n in ORDER else len(ORDER), n))


def side_by_side(reports):
    """Markdown lines: per collection a table with one row per (variant, report)."""
    lines = []
    collections = []
    for _, report in reports:
        collections += [c for c in report if c not in collections]
    for collection in collections:
        lines += ["", "%s:" % collection, "",
                  "| variant | " + " | ".join(COLUMNS) +
                  " | failed | top model hits ≥1 known site | hits ≥ half | "
                  "low-complexity top models |",
                  "|---|" + "---:|" * (len(COLUMNS) + 4)]
        for variant, report in reports:
            row = report.get(collection)
            if row is None:
                continue
            lines.append("| %s | %s | %s of %s | %s | %s | %s |" % (
                variant, " | ".join(row.get(k, "?") for k in COLUMNS),
                row.get("failed", "?"), row.get("sets", "?"), row.get("hit one", "?"),
                row.get("hit half", "?"), row.get("low-complexity", "?")))
    return lines


def main(argv):
    if not argv:
        sys.exit(__doc__)
    folder = argv[0]
    table = argv[1] if len(argv) > 1 else "accuracy.md"
    variants = argv[2:] or variants_in(folder, table)
    reports = []
    for variant in variants:
        with open(os.path.join(folder, variant, table)) as handle:
            reports.append((variant, read_report(handle.read())))
    sys.stdout.write("\n".join(side_by_side(reports)).lstrip("\n") + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
