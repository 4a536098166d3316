"""The markdown report of accuracy.py: totals per group, diagnostics per collection and the
per-data-set table (with --pk-share also the matrix-scan baseline, beside qiro's rows)."""

from collections import OrderedDict

from accuracy_scoring import COUNT_KEYS, add_counts, low_complexity, measures, ratio
from matrix_scan import level_label


def fmt(value, digits=3):
    if value is None:
        return "-"
    return "%.*f" % (digits, value)


def per_dataset_table(rows):
    lines = ["| data set | organism | type | width | consensus | MAP | known | predicted | "
             "nSn | nPPV | nPC | nCC | sSn | sPPV | note |",
             "|---|---|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
    for row in rows:
        m = measures(row["counts"])
        lines.append("| %s | %s | %s | %s | %s | %s | %d | %d | %s | %s | %s | %s | %s | %s | %s |" % (
            row["name"], row["organism"], row["type"],
            row["width"] if row["width"] else "-", row.get("consensus") or "-",
            fmt(row["map"], 2),
            row["known"], row["predicted"],
            fmt(m["nSn"]), fmt(m["nPPV"]), fmt(m["nPC"]), fmt(m["nCC"]),
            fmt(m["sSn"]), fmt(m["sPPV"]),
            ("FAILED: " if row["status"] == "failed" else "") + row["note"]))
    return lines


def empty_total():
    return {"counts": dict.fromkeys(COUNT_KEYS, 0), "held_out": {"sTP": 0, "sFN": 0}}


def add_total(total, part):
    add_counts(total["counts"], part["counts"])
    for key in ("sTP", "sFN"):
        total["held_out"][key] += part.get("held_out", {}).get(key, 0)


def group_totals(rows):
    """Summed counts per group: each collection; each organism of the Tompa collection
    and of any collection holding more than one; each background type of the Tompa
    collection.  The matrix-scan baseline, where there is one, is summed apart per
    p-value level."""
    groups = OrderedDict()

    def add(label, row):
        entry = groups.setdefault(label, dict(empty_total(), sets=0, failed=0,
                                              scan=OrderedDict()))
        entry["sets"] += 1
        entry["failed"] += row["status"] == "failed"
        add_total(entry, row)
        for level, part in row.get("scan", {}).items():
            add_total(entry["scan"].setdefault(level, empty_total()), part)

    collections = OrderedDict()
    for row in rows:
        collections.setdefault(row["collection"], []).append(row)
    for collection, members in collections.items():
        for row in members:
            add("%s: all" % collection, row)
        organisms = set(row["organism"] for row in members)
        if collection == "tompa2005" or len(organisms) > 1:
            for org in sorted(organisms):
                for row in members:
                    if row["organism"] == org:
                        add("%s: %s" % (collection, org), row)
        if collection == "tompa2005":
            for kind in ("real", "generic", "markov"):
                for row in members:
                    if row["type"] == kind:
                        add("%s: %s" % (collection, kind), row)
    return groups


def totals_table(rows):
    with_pk = any("held_out" in row for row in rows)
    lines = ["| group | sets | failed | nTP | nFP | nFN | nTN | nSn | nPPV | nPC | nCC | "
             "sTP | sFN | sFP | sSn | sPPV |" + (" held-out sTP/known | held-out sSn |"
                                               if with_pk else ""),
             "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
             + ("---:|---:|" if with_pk else "")]
    for label, entry in group_totals(rows).items():
        lines.append(totals_line(label, entry["sets"], entry["failed"], entry, with_pk))
        for level, part in entry["scan"].items():
            lines.append(totals_line("%s, matrix scan p<%s" % (label, level_label(level)),
                                     entry["sets"], "-", part, with_pk))
    return lines


def totals_line(label, sets, failed, total, with_pk):
    c = total["counts"]
    m = measures(c)
    line = "| %s | %d | %s | %d | %d | %d | %d | %s | %s | %s | %s | %d | %d | %d | %s | %s |" % (
        label, sets, failed, c["nTP"], c["nFP"], c["nFN"], c["nTN"],
        fmt(m["nSn"]), fmt(m["nPPV"]), fmt(m["nPC"]), fmt(m["nCC"]),
        c["sTP"], c["sFN"], c["sFP"], fmt(m["sSn"]), fmt(m["sPPV"]))
    if with_pk:
        h = total["held_out"]
        line += " %d/%d | %s |" % (h["sTP"], h["sTP"] + h["sFN"],
                                   fmt(ratio(h["sTP"], h["sTP"] + h["sFN"])))
    return line


def scan_table(rows):
    """Per data set: qiro's top model and the matrix scan at each p-value level."""
    levels = next(list(row["scan"]) for row in rows if row.get("scan"))
    head = ["data set", "given", "qiro sites", "qiro nCC", "qiro sSn", "qiro held-out"]
    for level in levels:
        head += ["%s %s" % (k, level_label(level))
                 for k in ("sites", "nCC", "sSn", "sPPV", "held-out")]
    lines = ["| " + " | ".join(head) + " |", "|---|" + "---:|" * (len(head) - 1)]

    def held(h):
        return "%d/%d" % (h["sTP"], h["sTP"] + h["sFN"])

    for row in rows:
        if "held_out" not in row:
            continue
        m = measures(row["counts"])
        cells = [row["name"], str(len(row.get("pk_given") or [])), str(row["predicted"]),
                 fmt(m["nCC"]), fmt(m["sSn"]), held(row["held_out"])]
        for level in levels:
            part = row["scan"][level]
            m = measures(part["counts"])
            cells += [str(part["predicted"]), fmt(m["nCC"]), fmt(m["sSn"]), fmt(m["sPPV"]),
                      held(part["held_out"])]
        lines.append("| " + " | ".join(cells) + " |")
    return lines


def runs_tsv(rows):
    """Every run of every data set (one line per width), for analysis."""
    lines = ["dataset\twidth\tchosen\tstatus\tmap\tconsensus\tsites\tnTP\tnFP\tnFN\tsTP\tsFN\tsFP"]
    for row in rows:
        for run in sorted(row["runs"], key=lambda r: r["width"]):
            chosen = "yes" if run["width"] == row["width"] else ""
            if run["motifs"]:
                top = run["motifs"][0]
                c = run["counts"]
                lines.append("\t".join(str(x) for x in (
                    row["name"], run["width"], chosen, "ok", top["map_score"],
                    top["consensus"], len(top["sites"]), c["nTP"], c["nFP"], c["nFN"],
                    c["sTP"], c["sFN"], c["sFP"])))
            else:
                lines.append("\t".join(str(x) for x in (
                    row["name"], run["width"], chosen, run["error"] or "no motif",
                    "", "", "", "", "", "", "", "", "")))
    return lines


def measure_cells(counts):
    m = measures(counts)
    return " | ".join(fmt(m[k]) for k in ("nSn", "nPPV", "nPC", "nCC", "sSn", "sPPV"))


def sets(n):
    return "%d set%s" % (n, "" if n == 1 else "s")


def diagnostics(rows):
    """Per collection: how the widths were chosen, what each width would have scored on
    its own, and what the best of the reported models would have scored.  These rows use
    the answer key to compare; the choice itself never does."""
    lines = []
    collections = OrderedDict()
    for row in rows:
        collections.setdefault(row["collection"], []).append(row)
    for collection, members in collections.items():
        widths = sorted(set(r["width"] for m in members for r in m["runs"]))
        chosen = [m["width"] for m in members]
        with_pk = any("held_out" in m for m in members)
        fixed = with_pk or any(m.get("known_width") for m in members)
        scored = "the scored run" if fixed else "the run chosen by MAP score"
        lines += ["", "### %s" % collection, "",
                  ("Width of the scored run: " if fixed else "Chosen width: ") + ", ".join(
                      "%d in %s" % (w, sets(chosen.count(w))) for w in widths) +
                  ("; none (failed): %s" % sets(chosen.count(None)) if None in chosen else ""),
                  "",
                  "| top model of | nSn | nPPV | nPC | nCC | sSn | sPPV |",
                  "|---|---:|---:|---:|---:|---:|---:|"]
        total = dict.fromkeys(COUNT_KEYS, 0)
        for m in members:
            add_counts(total, m["counts"])
        lines.append("| %s | %s |" % (scored, measure_cells(total)))
        if len(widths) > 1 and all(len(m["runs"]) == len(widths) for m in members):
            for w in widths:
                total = dict.fromkeys(COUNT_KEYS, 0)
                for m in members:
                    for r in m["runs"]:
                        if r["width"] == w:
                            add_counts(total, r["counts"])
                lines.append("| width %d in every set | %s |" % (w, measure_cells(total)))
        total = dict.fromkeys(COUNT_KEYS, 0)
        for m in members:
            add_counts(total, m["best_rank_counts"])
        lines.append("| %s, reported model hitting the most known sites (hindsight) | %s |"
                     % (scored, measure_cells(total)))
        keyed = [m for m in members if m["known"]]
        worked = [m for m in members if m["status"] == "ok"]
        lines += ["",
                  "- data sets with known sites where the top model hits at least one: "
                  "%d of %d" % (sum(1 for m in keyed if m["counts"]["sTP"]), len(keyed)),
                  "- ... where it hits at least half of them: %d of %d" % (
                      sum(1 for m in keyed if 2 * m["counts"]["sTP"] >= m["known"]),
                      len(keyed)),
                  "- ... where a lower-ranked model of the same run hits more known sites "
                  "than the top model: %d of %d" % (
                      sum(1 for m in keyed if m["best_rank_counts"]["sTP"] > m["counts"]["sTP"]),
                      len(keyed)),
                  "- predicted sites on sequences without any known site: %d of %d" % (
                      sum(m["predicted_off"] for m in members),
                      sum(m["predicted"] for m in members)),
                  "- predicted sites in the data sets without known sites: %d in %s" % (
                      sum(m["predicted"] for m in members if not m["known"]),
                      sets(len(members) - len(keyed))),
                  "- low-complexity top models (consensus at least 3/4 A/T or at least 3/4 "
                  "G/C): %d of %d top models (runs that worked)" % (
                      sum(1 for m in worked if low_complexity(m["consensus"])), len(worked))]
    return lines


def report(rows, settings):
    lines = ["# qiro accuracy on data sets with known sites", "",
             "Settings: " + settings, "",
             "## Totals (counts summed over the data sets, then the measures)", ""]
    lines += totals_table(rows)
    lines += ["", "## Diagnostics (answer key used to compare, not to choose)"]
    lines += diagnostics(rows)
    if any(row.get("scan") for row in rows):
        lines += ["", "## Matrix-scan baseline per data set (sites given to qiro, scanned)", ""]
        lines += scan_table(rows)
    lines += ["", "## Per data set", ""]
    lines += per_dataset_table(rows)
    return "\n".join(lines) + "\n"
