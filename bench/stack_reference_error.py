#!/usr/bin/python3
"""How much of a two-star stack's position error its reference exposure's own points explain.

    stack_reference_error.py REPORT.csv TRUTH.json

REPORT.csv is `quillon-cli stack --report` of a stack_data series registered on its two
reference stars (`--ref ...` from ref_args.txt), with exposure 1 as the reference. Prints the
located reference points' errors against the truth (per exposure and their mean), and the
check-star error that exposure 1's own two errors predict: the result's frame is the similarity
that takes the true reference positions of exposure 1 to its located ones, so N - 1 of the N
exposures land shifted by it while exposure 1 stays at the truth. Compare with
stack_accuracy.py on the stack.
"""
import csv
import json
import math
import sys

import numpy as np


def main():
    rows = list(csv.DictReader(open(sys.argv[1]), delimiter=";"))
    truth = json.load(open(sys.argv[2]))
    cx, cy = truth["centre"]
    refs = np.array(truth["reference_stars"])
    errors = []
    for row, e in zip(rows, truth["exposures"]):
        a = math.radians(e["angle_deg"])
        ca, sa = math.cos(a), math.sin(a)
        for i, (x, y) in enumerate(refs):
            tx = cx + ca * (x - cx) - sa * (y - cy) + e["dx"]
            ty = cy + sa * (x - cx) + ca * (y - cy) + e["dy"]
            errors.append((float(row[f"x{i + 1}"]) - tx, float(row[f"y{i + 1}"]) - ty))
    err = np.array(errors).reshape(-1, 2, 2)
    for k, e in enumerate(err):
        print(f"exposure {k + 1:3d}: " + "  ".join(f"({x:+.4f}, {y:+.4f})" for x, y in e))
    print("mean over the exposures: " +
          "  ".join(f"({x:+.4f}, {y:+.4f})" for x, y in err.mean(axis=0)) +
          "; scatter " + "  ".join(f"({x:.4f}, {y:.4f})" for x, y in err.std(axis=0)))
    z = refs[:, 0] + 1j * refs[:, 1]
    m = z + err[0, :, 0] + 1j * err[0, :, 1]
    a = (m[1] - m[0]) / (z[1] - z[0])
    b = m[0] - a * z[0]
    checks = np.array(truth["check_stars"])
    c = checks[:, 0] + 1j * checks[:, 1]
    n = len(err)
    pred = (n - 1) / n * (a * c + b - c)
    print(f"predicted by exposure 1's points: rms {math.sqrt(np.mean(np.abs(pred) ** 2)):.4f} px, "
          f"mean ({pred.real.mean():+.4f}, {pred.imag.mean():+.4f})")


if __name__ == "__main__":
    main()
