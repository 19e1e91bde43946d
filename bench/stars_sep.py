#!/usr/bin/python3
"""Star measurement of quillon-cli analyze against SEP (the Source Extractor algorithms).

Generated frames (numpy, pixel-integrated Gaussian and Moffat stars on a sky with Poisson and
read noise) are written as FITS; `quillon-cli analyze --stars` measures them and SEP runs on
the same pixels with the same settings: background mesh 64 px with a 3 x 3 median filter,
threshold 5 x the background rms, 3 x 3 (1 2 1) convolution, minimum area 5, deblending
contrast 0.005. Compared for stars of S/N >= 20 found by both: positions against sep.winpos,
fluxes against sep.sum_circle in the same aperture radius; the star counts; the speed on a
2048 x 2048 frame with one thread each, as processor time (user + system; the machine may be
shared): quillon-cli's includes its start and reading the file, SEP's only background and
extraction.

usage: stars_sep.py QUILLON_CLI
"""
import csv
import math
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import sep
from astropy.io import fits
from scipy.special import erf

SKY, READ_NOISE = 500.0, 6.0


def render(size, stars, fwhm, beta, rng):
    img = np.full((size, size), SKY)
    sub = 4
    off = (np.arange(sub) + 0.5) / sub - 0.5
    for x0, y0, flux in stars:
        r = int(math.ceil(fwhm * (5 if beta else 2.5) + 3))
        xs = np.arange(max(0, int(x0) - r), min(size, int(x0) + r + 1))
        ys = np.arange(max(0, int(y0) - r), min(size, int(y0) + r + 1))
        X = (xs[None, :, None, None] + off[None, None, None, :]) - x0
        Y = (ys[:, None, None, None] + off[None, None, :, None]) - y0
        rr = X * X + Y * Y
        if beta:
            a = fwhm / (2 * math.sqrt(2 ** (1 / beta) - 1))
            p = (beta - 1) / (math.pi * a * a) * (1 + rr / (a * a)) ** -beta
        else:
            s = fwhm / 2.3548
            p = np.exp(-rr / (2 * s * s)) / (2 * math.pi * s * s)
        img[np.ix_(ys, xs)] += flux * p.mean(axis=(2, 3))
    img = rng.poisson(img).astype(float) + rng.normal(0, READ_NOISE, img.shape)
    return np.clip(np.round(img), 0, 32767).astype(np.int16)


def frame(size, count, fwhm, beta, seed):
    rng = np.random.default_rng(seed)
    stars = []
    while len(stars) < count:
        x, y = rng.uniform(10, size - 10, 2)
        if all((x - a) ** 2 + (y - b) ** 2 > (4 * fwhm) ** 2 for a, b, _ in stars[-400:]):
            stars.append((x, y, 10 ** rng.uniform(3.3, 5.3)))
    return render(size, stars, fwhm, beta, rng)


def quillon(cli, path, outdir, threads=None):
    env = dict(os.environ)
    if threads:
        env["QUILLON_THREADS"] = str(threads)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([cli, "analyze", str(path), "--stars", str(outdir)], check=True, env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    elapsed = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    with open(Path(outdir) / (path.stem + ".stars.csv")) as f:
        return list(csv.DictReader(f)), elapsed


def run_sep(data):
    d = data.astype(np.float64)
    t = time.process_time()
    bkg = sep.Background(d, bw=64, bh=64, fw=3, fh=3)
    sub = d - bkg
    kernel = np.array([[1, 2, 1], [2, 4, 2], [1, 2, 1]], dtype=float)
    objs = sep.extract(sub, 5.0, err=bkg.rms(), minarea=5, filter_kernel=kernel,
                       filter_type="conv", deblend_cont=0.005)
    elapsed = time.process_time() - t
    return objs, sub, bkg, elapsed


def compare(cli, name, data, tmp):
    path = Path(tmp) / (name + ".fits")
    fits.PrimaryHDU(data).writeto(path, overwrite=True)
    ours, _ = quillon(cli, path, tmp)
    objs, sub, bkg, _ = run_sep(data)
    rad, _ = sep.flux_radius(sub, objs["x"], objs["y"], 6.0 * objs["a"], 0.5, subpix=5)
    wx, wy, _ = sep.winpos(sub, objs["x"], objs["y"], 2.0 / 2.35 * rad)
    sx, sy = np.asarray(wx), np.asarray(wy)
    dpos, dflux = [], []
    for s in ours:
        if float(s["snr"]) < 20 or s["blended"] == "1" or s["saturated"] == "1":
            continue
        x, y = float(s["x"]), float(s["y"])
        d = np.hypot(sx - x, sy - y)
        i = int(np.argmin(d))
        if d[i] > 1.0:
            continue
        f, _, _ = sep.sum_circle(sub, [sx[i]], [sy[i]], float(s["aperture"]), subpix=5)
        dpos.append(d[i])
        dflux.append(float(s["flux"]) / f[0] - 1)
    dpos, dflux = np.array(dpos), np.array(dflux)
    print(f"{name:22s} stars {len(ours):5d} SEP {len(objs):5d} ({len(ours) / len(objs) - 1:+.1%})"
          f"  S/N>=20 matched {len(dpos):4d}: position median {np.median(dpos):.4f} "
          f"p95 {np.percentile(dpos, 95):.4f} px, flux median {np.median(dflux):+.4f} "
          f"p95 |{np.percentile(np.abs(dflux), 95):.4f}|")


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as tmp:
        for fwhm, beta in [(2.0, 0), (3.5, 0), (3.0, 3.0), (6.0, 2.5)]:
            compare(cli, f"fwhm{fwhm}_beta{beta}", frame(1024, 600, fwhm, beta, 7), tmp)
        big = frame(2048, 2500, 3.0, 0, 11)
        path = Path(tmp) / "big.fits"
        fits.PrimaryHDU(big).writeto(path, overwrite=True)
        best_q = min(quillon(cli, path, tmp, threads=1)[1] for _ in range(3))
        best_s = min(run_sep(big)[3] for _ in range(3))
        print(f"2048x2048, one thread, CPU time: quillon-cli analyze {best_q:.3f} s, sep {best_s:.3f} s, "
              f"ratio {best_s / best_q:.2f} (above 1: quillon faster)")


if __name__ == "__main__":
    main()
