#!/usr/bin/python3
"""Background extraction against truth and against Siril's subsky, on the same frames.

    /usr/bin/python3 bench/background_siril.py QUILLON_CLI WORK [--size N] [--threads T]
                                               [--big 4096]

Writes a seeded star field (Gaussian stars, uniform noise) of N x N pixels and four frames
with known gradients added: linear (20 % of the sky across the frame), a quadratic dome from
one corner, a radial darkening of 15 % and the sum of the three. Each frame goes through
`quillon-cli background --degree D` and Siril's `subsky D` (D = 1 ... 4). For every result it
prints the span of the residual (result minus the true scene, averaged in 64 x 64 boxes), the
bound 1 % of the gradient's range plus twice the noise of a box mean, and the computing
times: ours as quillon-cli reports it (without files) and the whole quillon-cli run (with
reading and writing), Siril's from its log for seqsubsky (which reads and writes the
sequence's frames, so the fair ratio is the whole run's). Siril runs as seqsubsky on a sequence of the frame taken twice, since Siril
1.0 ends a script as failed right after subsky, so that its result could not be saved.
With --big it times a B x B RGB frame as well. The machine may be shared: compare ratios,
not seconds.
"""
import argparse
import os
import re
import resource
import shutil
import subprocess
import sys
import time
import warnings

import numpy as np
from astropy.io import fits

SKY = 1000.0
NOISE = 30  # uniform +-30


def star_field(n, rng, stars=None):
    img = SKY + rng.integers(-NOISE, NOISE + 1, size=(n, n)).astype(np.float64)
    count = stars if stars is not None else n * n // 1700
    s = 1.5
    yy, xx = np.mgrid[-12:13, -12:13]
    for _ in range(count):
        x, y = rng.uniform(20, n - 20, size=2)
        flux = rng.uniform(2000, 60000)
        ix, iy = int(x), int(y)
        g = flux / (2 * np.pi * s * s) * np.exp(-((xx + ix - x) ** 2 + (yy + iy - y) ** 2) / (2 * s * s))
        img[iy - 12:iy + 13, ix - 12:ix + 13] += g
    return img


def gradient(kind, n):
    v, u = np.mgrid[0:n, 0:n] / (n - 1.0)
    g = np.zeros((n, n))
    if kind in ("linear", "sum"):
        g += 0.2 * SKY * u
    if kind in ("dome", "sum"):
        g += 0.3 * SKY * ((1 - u) ** 2 + (1 - v) ** 2) / 2
    if kind in ("vignette", "sum"):
        g -= 0.15 * SKY * ((u - 0.5) ** 2 + (v - 0.5) ** 2) / 0.5
    return g


def write(path, data, unsigned=False):
    data = np.clip(np.floor(data + 0.5), 0, 32767)
    if unsigned:  # the way cameras write 16 bits: Siril reads it as it is
        hdu = fits.PrimaryHDU(data.astype(np.uint16))
    else:
        hdu = fits.PrimaryHDU(data.astype(np.int16))
    hdu.writeto(path, overwrite=True)


def read(path):
    return fits.getdata(path).astype(np.float64)


def box_span(result, truth):
    n = truth.shape[-1] // 64
    r = (result - truth)[..., : n * 64, : n * 64]
    r = r.reshape(r.shape[:-2] + (n, 64, n, 64)).mean(axis=(-3, -1))
    return float(r.max() - r.min())


def timed(cmd, env=None, check=True):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t = time.monotonic()
    p = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    wall = time.monotonic() - t
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if p.returncode != 0 and check:
        sys.exit("failed: %s\n%s" % (" ".join(cmd), p.stdout))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, p.stdout


def siril(work, name, source, degree, threads):
    """Siril's subsky on `source` through seqsubsky (Siril 1.0 ends a script as failed right
    after subsky, so its result cannot be saved; seqsubsky writes it). A sequence needs two
    images: the frame goes in twice and the computing time from Siril's log is halved.
    Returns (seconds, result file)."""
    folder = os.path.join(work, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for copy in ("a.fit", "b.fit"):
        os.symlink(os.path.abspath(source), os.path.join(folder, copy))
    ssf = os.path.join(folder, "run.ssf")
    with open(ssf, "w") as f:
        # Every setting the comparison relies on: thread count, file extension, 32-bit
        # processing (Siril's float pipeline; it writes the result in the input's 16 bits).
        f.write("requires 1.0.0\nsetcpu %d\nsetext fit\nset32bits\nconvert img -out=seq\n"
                "cd seq\nseqsubsky img_ %d\n" % (threads, degree))
    _, _, out = timed(["siril-cli", "-d", folder, "-s", ssf])
    calc = None
    for line in out.splitlines():
        m = re.search(r"log: Execution time: ([0-9.]+) (ms|s)", line)
        if m:
            calc = float(m.group(1)) / (1000.0 if m.group(2) == "ms" else 1.0) / 2
    return calc, os.path.join(folder, "seq", "bkg_img_00001.fit")


def siril_result(path):
    if not os.path.exists(path):
        return None
    d = fits.getdata(path).astype(np.float64)
    return d * 65535.0 if d.max() <= 4.0 else d


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("work")
    ap.add_argument("--size", type=int, default=1024)
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--big", type=int, default=0)
    a = ap.parse_args()
    warnings.simplefilter("ignore")  # our FITS comments carry binary display records
    os.makedirs(a.work, exist_ok=True)
    work = os.path.abspath(a.work)
    env = dict(os.environ, QUILLON_THREADS=str(a.threads))
    rng = np.random.default_rng(20261208)
    truth = star_field(a.size, rng)
    box_noise = NOISE / np.sqrt(3.0) / 64
    print("frame %d x %d, %d threads; residual span of 64x64 box means (result - truth)"
          % (a.size, a.size, a.threads))
    print("%-9s %3s %7s %7s %7s %8s %8s %8s %7s" % ("gradient", "deg", "bound", "quillon",
                                                  "siril", "q calc s", "q run s", "siril s",
                                                  "ratio"))
    for kind in ("linear", "dome", "vignette", "sum"):
        g = gradient(kind, a.size)
        bound = 0.01 * (g.max() - g.min()) + 2 * box_noise
        write(os.path.join(work, "q_%s.fts" % kind), truth + g)
        write(os.path.join(work, "s_%s.fit" % kind), truth + g, unsigned=True)
        for deg in (1, 2, 3, 4):
            out = os.path.join(work, "qr_%s_%d.fts" % (kind, deg))
            qwall, _, log = timed([a.cli, "background", os.path.join(work, "q_%s.fts" % kind), out,
                               "--degree", str(deg)], env)
            qcalc = float(re.search(r"Rechenzeit[^:]*: ([0-9.]+)", log).group(1))
            scalc, result = siril(work, "siril_%s_%d" % (kind, deg),
                                  os.path.join(work, "s_%s.fit" % kind), deg, a.threads)
            q = box_span(read(out), truth)
            sr = siril_result(result)
            s = "%7.2f" % box_span(sr, truth) if sr is not None else "    n/a"
            print("%-9s %3d %7.2f %7.2f %s %8.3f %8.3f %8s %7s"
                  % (kind, deg, bound, q, s, qcalc, qwall, "%.3f" % scalc if scalc else "n/a",
                     "%.2f" % (qwall / scalc) if scalc else "n/a"))
    if a.big:
        n = a.big
        big = np.stack([star_field(n, np.random.default_rng(c), stars=n * n // 4000)
                        + gradient("sum", n) for c in range(3)])
        write(os.path.join(work, "big.fts"), big)
        write(os.path.join(work, "big_s.fit"), big, unsigned=True)
        qw, _, out = timed([a.cli, "background", os.path.join(work, "big.fts"),
                            os.path.join(work, "big_r.fts"), "--degree", "2"], env)
        qcalc = float(re.search(r"Rechenzeit[^:]*: ([0-9.]+)", out).group(1))
        scalc, _ = siril(work, "siril_big", os.path.join(work, "big_s.fit"), 2, a.threads)
        print("%d x %d RGB, degree 2, %d threads: quillon %.3f s computing, %.2f s with reading "
              "and writing; siril seqsubsky %s s per frame (with its file work); ratio of the "
              "runs %s" % (n, n, a.threads, qcalc, qw, "%.3f" % scalc if scalc else "n/a",
                           "%.2f" % (qw / scalc) if scalc else "n/a"))


if __name__ == "__main__":
    main()
