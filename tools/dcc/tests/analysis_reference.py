#!/usr/bin/env python3
"""What telmira-dcc band and table print, computed from telmira-dcc csv output by the rules
the README states, with nothing of telmira's code: the reference the commands are checked
against.

  analysis_reference.py band FRAMES.csv CURVES.csv [--tolerance DEG] [FILTERS]
  analysis_reference.py table FRAMES.csv [--quantity Q] [--stat S] [--speed-bins FROM:TO:STEP]
                        [--map-bins N] [--deviation CURVES.csv] [--minus FRAMES_B.csv] [FILTERS]

FRAMES.csv is what "telmira-dcc csv" prints for a recording ("-" reads it from standard input).
FILTERS: --curve N[,N...] (repeatable), --range Q:FROM:TO (repeatable), --frames FIRST:LAST.
"""

import argparse
import bisect
import math
import sys

QUANTITIES = ("rpm", "map", "curve", "temperature", "octane", "advance")


def read_frames(path):
    """The frames of a csv listing, each a dict of its columns' values (rpm None without)."""
    stream = sys.stdin if path == "-" else open(path, encoding="ascii")
    with stream:
        header = stream.readline().rstrip("\n").split(",")
        frames = []
        for line in stream:
            values = dict(zip(header, line.rstrip("\n").split(",")))
            frames.append({
                "frame": int(values["frame"]),
                "rpm": float(values["rpm"]) if values["rpm"] else None,
                "map": int(values["map"]),
                "curve": int(values["curve"]),
                "temperature": int(values["temperature"]),
                "octane": int(values["octane"]),
                "advance": float(values["advance"]),
            })
    return frames


def read_curves(path):
    """Curve number -> points (rpm, advance) sorted by speed."""
    curves = {}
    with open(path, encoding="utf-8-sig") as stream:
        lines = [line.strip() for line in stream if line.strip()]
    assert lines[0].replace(" ", "") == "curve,rpm,advance"
    for line in lines[1:]:
        curve, rpm, advance = (field.strip() for field in line.split(","))
        curves.setdefault(int(curve), []).append((float(rpm), float(advance)))
    return {curve: sorted(points) for curve, points in curves.items()}


def expected(points, rpm):
    """Linear between the neighbouring points, flat beyond the first and the last."""
    speeds = [p[0] for p in points]
    after = bisect.bisect_right(speeds, rpm)
    if after == 0:
        return points[0][1]
    if after == len(points):
        return points[-1][1]
    (r0, a0), (r1, a1) = points[after - 1], points[after]
    return a0 + (a1 - a0) * (rpm - r0) / (r1 - r0)


def value(frame, quantity, curves=None):
    if quantity == "deviation":
        if frame["rpm"] is None or frame["curve"] not in curves:
            return None
        return frame["advance"] - expected(curves[frame["curve"]], frame["rpm"])
    return frame[quantity]


def make_filter(options):
    curves = None
    for listed in options.curve or []:
        curves = (curves or set()) | {int(n) for n in listed.split(",")}
    ranges = []
    for text in options.range or []:
        quantity, low, high = text.split(":")
        ranges.append((quantity, float(low) if low else -math.inf,
                       float(high) if high else math.inf))
    first, last = 0, math.inf
    if options.frames:
        low, high = options.frames.split(":")
        first, last = int(low or 0), int(high) if high else math.inf

    def passes(frame):
        if not first <= frame["frame"] <= last:
            return False
        if curves is not None and frame["curve"] not in curves:
            return False
        for quantity, low, high in ranges:
            v = frame[quantity]
            if v is None or not low <= v <= high:
                return False
        return True
    return passes


def number(x):
    text = repr(float(x))
    return text[:-2] if text.endswith(".0") else text


def band(options):
    frames = read_frames(options.frames_csv)
    curves = read_curves(options.curves)
    passes = make_filter(options)
    counts = {}
    for f in frames:
        if f["rpm"] is None or f["curve"] not in curves or not passes(f):
            continue
        inside = abs(f["advance"] - expected(curves[f["curve"]], f["rpm"])) <= options.tolerance
        total, outside = counts.get(f["curve"], (0, 0))
        counts[f["curve"]] = (total + 1, outside + (0 if inside else 1))
    lines = ["curve,frames,outside"]
    lines += ["%d,%d,%d" % (c, *counts[c]) for c in sorted(counts)]
    return lines


def speed_edges(text):
    start, stop, step = (float(v) for v in text.split(":"))
    lowers = []
    while start + len(lowers) * step < stop - step * 1e-9:
        lowers.append(start + len(lowers) * step)
    lowers = lowers or [start]
    uppers = lowers[1:] + [stop]
    return lowers, uppers


def cells(frames, options, curves):
    """(speed bin, MAP bin) -> values of the quantity."""
    lowers, uppers = speed_edges(options.speed_bins)
    n = options.map_bins
    passes = make_filter(options)
    quantity = "deviation" if options.deviation else options.quantity
    table = {}
    for f in frames:
        rpm = f["rpm"]
        if rpm is None or not passes(f) or rpm < lowers[0] or rpm > uppers[-1]:
            continue
        row = bisect.bisect_right(lowers, rpm) - 1
        column = next(j for j in range(n) if 256 * j // n <= f["map"] < 256 * (j + 1) // n)
        v = value(f, quantity, curves)
        if v is not None:
            table.setdefault((row, column), []).append(v)
    return table, lowers, uppers


def statistic(values, stat):
    mean = sum(values) / len(values)
    return {
        "mean": mean,
        "min": min(values),
        "max": max(values),
        "std": math.sqrt(sum((v - mean) ** 2 for v in values) / len(values)),
        "count": len(values),
    }[stat]


def table(options):
    curves = read_curves(options.deviation) if options.deviation else None
    a, lowers, uppers = cells(read_frames(options.frames_csv), options, curves)
    b = cells(read_frames(options.minus), options, curves)[0] if options.minus else None
    n = options.map_bins
    if b is None:
        lines = ["speed_from,speed_to,map_from,map_to,frames,value"]
    else:
        lines = ["speed_from,speed_to,map_from,map_to,frames_a,frames_b,value"]
    for (row, column) in sorted(a):
        if b is not None and (row, column) not in b:
            continue
        edges = "%s,%s,%d,%d" % (number(lowers[row]), number(uppers[row]), 256 * column // n,
                                 256 * (column + 1) // n)
        values = a[(row, column)]
        if b is None:
            lines.append("%s,%d,%s" % (edges, len(values),
                                       number(statistic(values, options.stat))))
        else:
            other = b[(row, column)]
            difference = statistic(values, options.stat) - statistic(other, options.stat)
            lines.append("%s,%d,%d,%s" % (edges, len(values), len(other), number(difference)))
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("band", "table"):
        command = commands.add_parser(name)
        command.add_argument("frames_csv")
        command.add_argument("--curve", action="append")
        command.add_argument("--range", action="append")
        command.add_argument("--frames")
        if name == "band":
            command.add_argument("curves")
            command.add_argument("--tolerance", type=float, default=1.0)
        else:
            command.add_argument("--quantity", choices=QUANTITIES, default="advance")
            command.add_argument("--stat", choices=("mean", "min", "max", "std", "count"),
                                 default="mean")
            command.add_argument("--speed-bins", default="0:7000:250")
            command.add_argument("--map-bins", type=int, default=16)
            command.add_argument("--deviation")
            command.add_argument("--minus")
    options = parser.parse_args()
    lines = band(options) if options.command == "band" else table(options)
    sys.stdout.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
