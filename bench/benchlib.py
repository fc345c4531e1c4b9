"""Shared by the benchmarks' summaries: medians, units, and the result lines
that bench/run-all gathers into one table.

A result line is tab-separated and starts with "RESULT":
  RESULT  benchmark  measure  tapewell  peer  ratio  target  met|missed
Values carry their units; "-" stands for a column that does not apply.
"""
import statistics

MIB = 1024 * 1024


def median(values):
    return statistics.median(values)


def read_times(path):
    """The runs /usr/bin/time -f '%e %U %S %M' appended to PATH, as a list of
    dicts: wall and cpu (user + system) in seconds, rss in MiB."""
    runs = []
    with open(path) as text:
        for line in text:
            fields = line.split()
            if len(fields) != 4:
                continue  # time's own notes, such as an exit status
            wall, user, system, kib = (float(f) for f in fields)
            runs.append({"wall": wall, "cpu": user + system, "rss": kib / 1024})
    return runs


def medians(runs):
    return {key: median([r[key] for r in runs]) for key in ("wall", "cpu", "rss")}


def result(bench, measure, tapewell, peer, ratio, target, met):
    """MET is True, False, or None when the measure has no target."""
    verdict = "-" if met is None else "met" if met else "missed"
    fields = [bench, measure, tapewell, peer, ratio, target, verdict]
    print("RESULT\t" + "\t".join(str(f) for f in fields), flush=True)
