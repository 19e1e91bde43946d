#!/usr/bin/python3
"""Depth of a stack: mean error and sky noise of `quillon-cli stack` against sigma/sqrt(N).

Generates N exposures of a flat sky (1000 ADU, Gaussian noise sigma 20) with one star for the
reference point and no shifts, stacks them with --average --float (and, for the rejection
rows, with --rejection sigma and winsorized at 3 sigma), and measures the float result's mean
error and noise in the sky. With siril-cli on the PATH the rejection rows also run Siril's
sigma and winsorized clipping on the same frames (no normalisation, 32-bit result) for the
noise penalty side by side.

    bench/stack_noise.py [--cli build/src/quillon-cli] [--sizes 4:512,16:512,64:512,200:512,1000:128]
                         [--rejection 64:512] [--work DIR]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from astropy.io import fits

SKY, SIGMA = 1000.0, 20.0


def frames(folder, n, size, seed):
    rng = np.random.default_rng(seed)
    yy, xx = np.mgrid[0:size, 0:size]
    c = size // 2
    star = 20000.0 * np.exp(-((xx - c) ** 2 + (yy - c) ** 2) / (2 * 1.5 ** 2))
    names = []
    for k in range(n):
        data = np.rint(SKY + star + rng.normal(0, SIGMA, (size, size))).astype(np.int16)
        name = os.path.join(folder, "light_%05d.fit" % (k + 1))
        fits.PrimaryHDU(data).writeto(name, overwrite=True)
        names.append(name)
    return names, c


def sky_stats(data, c):
    size = data.shape[0]
    yy, xx = np.mgrid[0:size, 0:size]
    sky = data[np.hypot(xx - c, yy - c) > 12]
    return sky.mean() - SKY, sky.std()


def quillon(cli, names, c, out, extra):
    args = [cli, "stack", out, "--average", "--float", "--no-borders", "--method", "position",
            "--ref", "%d,%d" % (c, c)] + extra + names
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=dict(os.environ, QUILLON_THREADS=os.environ.get("QUILLON_THREADS", "2")))
    return fits.getdata(out).astype(np.float64)


def siril(folder, names, method):
    """Siril's stack of the same frames, 32-bit result; every setting it relies on is set."""
    work = os.path.join(folder, "siril_" + method)
    os.makedirs(work, exist_ok=True)
    for i, n in enumerate(names):
        # Siril reads signed 16-bit data with an offset: give it unsigned copies.
        fits.PrimaryHDU(fits.getdata(n).astype(np.uint16)).writeto(
            os.path.join(work, "light_%05d.fit" % (i + 1)), overwrite=True)
    script = os.path.join(work, "stack.ssf")
    with open(script, "w") as f:
        f.write("requires 1.0.0\nsetext fit\nset32bits\nsetcpu %s\n"
                "convert light -out=seq\ncd seq\n"
                "stack light rej %s 3 3 -nonorm -out=../result\n"
                % (os.environ.get("QUILLON_THREADS", "2"), method))
    subprocess.run(["siril-cli", "-d", work, "-s", script], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    data = fits.getdata(os.path.join(work, "result.fit")).astype(np.float64)
    # A 32-bit Siril result is scaled to 0 .. 1 of the 16-bit range.
    return data * 65535.0 if data.max() <= 1.5 else data


def pairs(text):
    return [tuple(int(v) for v in p.split(":")) for p in text.split(",") if p]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", default="build/src/quillon-cli")
    ap.add_argument("--sizes", default="4:512,16:512,64:512,200:512,1000:128")
    ap.add_argument("--rejection", default="64:512")
    ap.add_argument("--work")
    a = ap.parse_args()
    base = a.work or tempfile.mkdtemp(prefix="quillon-noise-")
    try:
        print("%6s %6s %12s %10s %10s %8s" % ("N", "size", "mean error", "noise", "ideal", "ratio"))
        for n, size in pairs(a.sizes):
            folder = os.path.join(base, "n%d" % n)
            os.makedirs(folder, exist_ok=True)
            names, c = frames(folder, n, size, n)
            err, noise = sky_stats(quillon(a.cli, names, c, os.path.join(folder, "q.fts"), []), c)
            ideal = SIGMA / np.sqrt(n)
            print("%6d %6d %+12.3f %10.3f %10.3f %8.4f" % (n, size, err, noise, ideal, noise / ideal))
            shutil.rmtree(folder)
        have_siril = shutil.which("siril-cli") is not None
        for n, size in pairs(a.rejection):
            folder = os.path.join(base, "r%d" % n)
            os.makedirs(folder, exist_ok=True)
            names, c = frames(folder, n, size, 1000 + n)
            ideal = SIGMA / np.sqrt(n)
            for method, letter in (("sigma", "s"), ("winsorized", "w")):
                q = quillon(a.cli, names, c, os.path.join(folder, method + ".fts"),
                            ["--rejection", method, "--sigma", "3,3", "--normalize", "none"])
                _, qn = sky_stats(q, c)
                line = "N=%d %-10s quillon noise %.3f (+%.1f %%)" % (
                    n, method, qn, 100 * (qn / ideal - 1))
                if have_siril:
                    _, sn = sky_stats(siril(folder, names, letter), c)
                    line += "  siril %.3f (+%.1f %%)  quillon/siril %.4f" % (
                        sn, 100 * (sn / ideal - 1), qn / sn)
                print(line)
            shutil.rmtree(folder)
    finally:
        if not a.work:
            shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
