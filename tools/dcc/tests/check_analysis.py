#!/usr/bin/env python3
"""Checks telmira-dcc band and table (and table --minus) against analysis_reference.py on
simulated recordings and on one made of frames on the bins' edges: the same lines, counts
exactly, values to 0.01.

  check_analysis.py --dcc TELMIRA_DCC --sim TELMIRA_SIM --work FOLDER
"""

import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REFERENCE = os.path.join(HERE, "analysis_reference.py")

CURVES = """curve,rpm,advance
0,900,8
0,3000,30
0,5000,34
1,5500,35
1,800,9.5
1,2950,31.2
2,2000,22
3,700,10
3,1500,17.3
3,4000,36.1
255,500,20
255,6000,20
"""


def edge_recording():
    """Frames on bin edges, at To, past it, without speed, with a curve of none, 0xFF bytes."""
    frames = []
    # Periods of 500, 750, 1000, 1500, 2000, 3000, 4000, 4500, 6000 and 6750 об/мин exactly,
    # one either side of each, a period of 0 and the slowest speed.
    for period in (55296, 36864, 27648, 18432, 13824, 9216, 6912, 6144, 4608, 4096):
        for p in (period - 1, period, period + 1):
            for map_code in (0, 15, 16, 127, 128, 255):
                frames.append((p, map_code, p % 4, 90, 2, (p + map_code) % 256))
    frames += [(0, 50, 1, 90, 0, 100), (65535, 255, 255, 255, 255, 255), (3950, 30, 7, 0, 0, 0)]
    data = bytearray()
    for period, map_code, curve, temperature, octane, advance in frames:
        data += bytes((0xFF, 0xFF, period >> 8, period & 0xFF, map_code, curve, temperature,
                       octane, advance))
    return bytes(data)


def run(arguments):
    done = subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (done.returncode, " ".join(arguments), done.stderr))
    return done.stdout


def same(tool, reference):
    """None when the outputs agree; otherwise what differs."""
    tool_lines, reference_lines = tool.splitlines(), reference.splitlines()
    if len(tool_lines) != len(reference_lines):
        return "%d lines, the reference %d" % (len(tool_lines), len(reference_lines))
    if tool_lines[0] != reference_lines[0]:
        return "header %r, the reference %r" % (tool_lines[0], reference_lines[0])
    columns = tool_lines[0].split(",")
    for number, (a, b) in enumerate(zip(tool_lines[1:], reference_lines[1:]), start=2):
        for column, x, y in zip(columns, a.split(","), b.split(",")):
            if column == "value":
                if abs(float(x) - float(y)) > 0.01:
                    return "line %d: %s against %s" % (number, a, b)
            elif float(x) != float(y):
                return "line %d: %s against %s" % (number, a, b)
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dcc", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--work", required=True)
    options = parser.parse_args()
    os.makedirs(options.work, exist_ok=True)
    work = lambda name: os.path.join(options.work, name)

    with open(work("curves.csv"), "w", encoding="utf-8") as f:
        f.write(CURVES)
    with open(work("edges.dcc"), "wb") as f:
        f.write(edge_recording())
    recordings = ["edges"]
    for seed, frames, noise in ((1, 100000, False), (2, 100000, True), (3, 50000, True)):
        name = "sim%d" % seed
        run([options.sim, "--out", work(name + ".dcc"), "--frames", str(frames), "--seed",
             str(seed)] + (["--noise"] if noise else []))
        recordings.append(name)
    for name in recordings:
        with open(work(name + ".csv"), "w", encoding="ascii") as f:
            f.write(run([options.dcc, "csv", work(name + ".dcc")]))

    filters = [[], ["--curve", "1,3", "--curve", "255"], ["--range", "temperature:100:"],
               ["--range", "rpm:1500:4500", "--range", "advance::30"], ["--frames", "1000:50000"],
               ["--curve", "0,1,2", "--range", "map:30:", "--frames", ":100000"]]
    # Each filter with each recording, with the options taking turns.
    tolerances = ([], ["--tolerance", "0"], ["--tolerance", "0.5"], ["--tolerance", "2.5"])
    statistics = ([], ["--stat", "min"], ["--stat", "max"], ["--stat", "std"],
                  ["--stat", "count"], ["--quantity", "rpm", "--stat", "std"],
                  ["--quantity", "map"], ["--quantity", "curve", "--stat", "max"],
                  ["--quantity", "temperature", "--stat", "std"], ["--quantity", "octane"])
    cases = []
    for r, name in enumerate(recordings):
        for f, extra in enumerate(filters):
            cases.append(["band", name, "curves.csv"] + extra +
                         tolerances[(r + f) % len(tolerances)])
            cases.append(["table", name] + extra + statistics[(r * len(filters) + f) %
                                                              len(statistics)])
        cases.append(["table", name, "--speed-bins", "400:6500:333.3", "--map-bins", "5"])
        cases.append(["table", name, "--speed-bins", "500:6000:250", "--map-bins", "256",
                      "--stat", "count"])
        cases.append(["table", name, "--deviation", "curves.csv", "--range", "temperature:70:"])
        cases.append(["table", name, "--minus", "sim2", "--speed-bins", "0:7000:500"])
        cases.append(["table", name, "--minus", "sim3", "--deviation", "curves.csv", "--stat",
                      "std", "--curve", "1,2,3"])

    files = {"curves.csv"} | set(recordings)
    failures = 0
    for case in cases:
        # Recordings by name: the tool reads the .dcc, the reference its csv listing.
        tool = [options.dcc] + [work(a + ".dcc") if a in recordings else
                                work(a) if a in files else a for a in case]
        reference = [sys.executable, REFERENCE] + [work(a + ".csv") if a in recordings else
                                                   work(a) if a in files else a for a in case]
        difference = same(run(tool), run(reference))
        if difference:
            failures += 1
            print("DIFFERS: %s: %s" % (" ".join(case), difference))
    print("%d of %d cases agree" % (len(cases) - failures, len(cases)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
