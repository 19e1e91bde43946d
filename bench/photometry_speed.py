#!/usr/bin/python3
"""Time of one photometry measurement (121 x 121 ellipse with a 1-pixel ring, grey 400 x 400)
in Quillon (build/bench/bench_photometry) and in photutils on the same aperture and annulus
with method='center'; prints both and the ratio.

usage: photometry_speed.py BENCH_PHOTOMETRY
"""
import json
import subprocess
import sys
import time
import timeit
import warnings

import numpy as np
from photutils.aperture import EllipticalAnnulus, EllipticalAperture, aperture_photometry


def main():
    out = subprocess.run([sys.argv[1], "--benchmark_format=json", "--benchmark_min_time=0.2"],
                         capture_output=True, text=True, check=True).stdout
    print(out.splitlines()[0])
    report = json.loads(out[out.index("{"):])
    # Processor time on both sides: on a shared machine the wall time mostly measures the
    # other processes.
    ours = {b["name"]: b["cpu_time"] for b in report["benchmarks"]}  # microseconds
    warnings.simplefilter("ignore")
    rng = np.random.default_rng(1)
    data = (500 + rng.integers(0, 256, (400, 400))).astype(np.float64)
    ell = EllipticalAperture((200, 200), 60.5, 60.5)
    ann = EllipticalAnnulus((200, 200), 60.5, 61.5, 61.5, b_in=60.5)
    run = lambda: aperture_photometry(data, [ell, ann], method="center")
    n = 20
    peer = min(timeit.repeat(run, number=n, repeat=3, timer=time.process_time)) / n * 1e6
    for name, t in ours.items():
        print(f"{name}: {t:.1f} µs processor time")
    grey = next(t for name, t in ours.items() if "grey" in name)
    print(f"photutils aperture_photometry (ellipse + annulus, center): {peer:.1f} µs processor time")
    print(f"ratio photutils / Quillon (grey): {peer / grey:.1f}")


if __name__ == "__main__":
    main()
