#!/usr/bin/python3
"""Artefacts against every rejection method of `quillon-cli stack`, checked against the truth.

Generates N aligned exposures of a sky (1000 ADU, Gaussian noise sigma 20) with a few stars,
puts a satellite trail into one, hot pixels into two and cosmic-ray hits into two more, stacks
them with --average --float and each --rejection method (and --reject, the artefact rule), and
measures the result against the noise-free truth: the rms and the largest residual at the
artefacts' pixels, in units of the sky noise of the stack (sigma / sqrt(N)), and the sky noise
elsewhere.

    bench/stack_rejection.py [--cli build/src/quillon-cli] [--frames 20] [--size 256]
"""
import argparse
import os
import shutil
import subprocess
import tempfile

import numpy as np
from astropy.io import fits

SKY, SIGMA = 1000.0, 20.0


def series(folder, n, size, seed=7):
    rng = np.random.default_rng(seed)
    yy, xx = np.mgrid[0:size, 0:size]
    truth = np.full((size, size), SKY)
    stars = [(size // 2, size // 2, 20000.0)] + [
        (rng.uniform(20, size - 20), rng.uniform(20, size - 20), rng.uniform(500, 5000))
        for _ in range(12)]
    for x, y, f in stars:
        truth += f * np.exp(-((xx - x) ** 2 + (yy - y) ** 2) / (2 * 1.6 ** 2))
    hit = np.zeros((size, size), bool)
    # The artefacts stay away from the reference star, whose search they would mislead.
    clear = (np.abs(xx - size // 2) > 24) | (np.abs(yy - size // 2) > 24)
    names = []
    for k in range(n):
        frame = truth + rng.normal(0, SIGMA, truth.shape)
        if k == 5:  # a satellite trail
            on = (np.abs(yy - (0.5 * xx + size * 0.15)) <= 1.0) & clear
            frame[on] += 4000
            hit |= on
        if k in (3, 11):  # hot pixels
            ys, xs = rng.integers(0, size, 40), rng.integers(0, size, 40)
            keep = clear[ys, xs]
            ys, xs = ys[keep], xs[keep]
            frame[ys, xs] = 30000
            hit[ys, xs] = True
        if k in (7, 14):  # cosmic-ray hits of 2 x 2 pixels
            for _ in range(40):
                y, x = rng.integers(0, size - 2, 2)
                if not clear[y:y + 2, x:x + 2].all():
                    continue
                frame[y:y + 2, x:x + 2] += rng.uniform(3000, 9000)
                hit[y:y + 2, x:x + 2] = True
        name = os.path.join(folder, "e%03d.fit" % k)
        fits.PrimaryHDU(np.rint(frame).astype(np.int16)).writeto(name, overwrite=True)
        names.append(name)
    return names, truth, hit, size // 2


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--cli", default="build/src/quillon-cli")
    p.add_argument("--frames", type=int, default=20)
    p.add_argument("--size", type=int, default=256)
    a = p.parse_args()
    folder = tempfile.mkdtemp(prefix="quillon-reject-")
    try:
        names, truth, hit, c = series(folder, a.frames, a.size)
        unit = SIGMA / np.sqrt(a.frames)
        # Measured inside: the exposures' sub-pixel placements leave the outermost columns and
        # rows to only some of them (and classical sigma clipping cannot reject from fewer than
        # about ten values at 3 sigma).
        inside = np.zeros_like(hit)
        inside[2:-2, 2:-2] = True
        hit &= inside
        sky = ~hit & inside
        print("%d exposures of %d x %d, %d artefact pixels; units: sigma / sqrt(N) = %.2f ADU"
              % (a.frames, a.size, a.size, hit.sum(), unit))
        print("%-14s %12s %12s %12s" % ("method", "rms at hits", "max at hits", "sky noise"))
        # Min/max drops a fixed number of values per pixel: two, as two artefacts can meet in
        # one pixel (and with 1,1 such pixels keep one).
        for method, extra in (("none", []), ("artefact", []), ("sigma", []), ("winsorized", []),
                              ("linear", []), ("gesd", []), ("percentile", []),
                              ("minmax", ["--minmax", "2,2"]), ("minmax", ["--minmax", "1,1"])):
            out = os.path.join(folder, method + ".fts")
            args = [a.cli, "stack", out, "--ref", "%d,%d" % (c, c), "--average", "--float",
                    "--no-borders", "--rejection", method, "--normalize", "none"] + extra + names
            subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
            d = fits.getdata(out).astype(np.float64) - truth
            rms = np.sqrt(np.mean(d[hit] ** 2)) / unit
            worst = np.abs(d[hit]).max() / unit
            noise = d[sky].std() / unit
            label = method + (" " + extra[1] if extra else "")
            print("%-14s %12.2f %12.2f %12.2f" % (label, rms, worst, noise))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
