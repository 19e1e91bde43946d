#!/usr/bin/python3
"""A changing sky against normalisation: `quillon-cli stack` with winsorized rejection.

Generates N aligned exposures whose sky rises by 100 ADU per frame and whose transparency
varies from x0.9 to x1.1 (sky 1000 ADU and 12 stars scaled by it, Gaussian noise sigma 20),
stacks them with --rejection winsorized and --normalize addscale, and without normalisation,
and compares each with the same stack without rejection (--rejection none --normalize
addscale): the sky level against the reference exposure's, the sky noise against
sigma / sqrt(N), and the star cores (the brightest pixel of each star) against the stack
without rejection, which keeps every value.

    bench/stack_normalise.py [--cli build/src/quillon-cli] [--frames 16] [--size 256]
"""
import argparse
import os
import shutil
import subprocess
import tempfile

import numpy as np
from astropy.io import fits

SKY, SIGMA = 1000.0, 20.0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--cli", default="build/src/quillon-cli")
    p.add_argument("--frames", type=int, default=16)
    p.add_argument("--size", type=int, default=256)
    a = p.parse_args()
    n, size = a.frames, a.size
    rng = np.random.default_rng(11)
    yy, xx = np.mgrid[0:size, 0:size]
    c = size // 2
    stars = [(c, c, 20000.0)] + [(rng.uniform(20, size - 20), rng.uniform(20, size - 20),
                                  rng.uniform(2000, 15000)) for _ in range(11)]
    light = np.zeros((size, size))
    for x, y, f in stars:
        light += f * np.exp(-((xx - x) ** 2 + (yy - y) ** 2) / (2 * 1.6 ** 2))
    cores = [(int(round(y)), int(round(x))) for x, y, _ in stars]
    far = np.ones((size, size), bool)
    for x, y, _ in stars:
        far &= np.hypot(xx - x, yy - y) > 8
    far[:4, :] = far[-4:, :] = far[:, :4] = far[:, -4:] = False
    gains = 0.9 + 0.2 * ((np.arange(n) * 7) % n) / (n - 1)
    folder = tempfile.mkdtemp(prefix="quillon-normalise-")
    try:
        names = []
        for k in range(n):
            frame = gains[k] * (SKY + light) + 100.0 * k + rng.normal(0, SIGMA, light.shape)
            names.append(os.path.join(folder, "e%03d.fit" % k))
            fits.PrimaryHDU(np.rint(frame).astype(np.int16)).writeto(names[-1], overwrite=True)

        def stack(tag, *args):
            out = os.path.join(folder, tag + ".fts")
            subprocess.run([a.cli, "stack", out, "--ref", "%d,%d" % (c, c), "--average",
                            "--float", "--no-borders"] + list(args) + names, check=True,
                           stdout=subprocess.DEVNULL)
            return fits.getdata(out).astype(np.float64)

        keep = stack("keep", "--rejection", "none", "--normalize", "addscale")
        level = gains[0] * SKY  # the reference exposure's sky
        ideal = SIGMA / np.sqrt(n)
        print("%d exposures of %d x %d; sky of the reference %.1f ADU, sigma/sqrt(N) = %.2f ADU"
              % (n, size, size, level, ideal))
        print("%-26s %12s %12s %14s %16s" % ("stack", "sky - ref", "sky noise", "noise / ideal",
                                             "cores vs kept"))
        for tag, args in (("winsorized, addscale", ["--rejection", "winsorized",
                                                    "--normalize", "addscale"]),
                          ("winsorized, none", ["--rejection", "winsorized", "--normalize",
                                                "none"]),
                          ("no rejection, addscale", ["--rejection", "none", "--normalize",
                                                      "addscale"])):
            d = stack(tag.replace(", ", "_").replace(" ", "_"), *args)
            sky = d[far]
            core = max(abs(d[y, x] - keep[y, x]) / keep[y, x] for y, x in cores)
            print("%-26s %+12.2f %12.2f %14.3f %15.2f%%" % (tag, sky.mean() - level, sky.std(),
                                                            sky.std() / ideal, 100 * core))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
