#!/usr/bin/python3
"""World coordinates against astropy.wcs (run by ctest: QUILLON_CLI WORKDIR).

Headers shipped with astropy (TAN, SIN, ARC, STG, CAR with PC/CDELT and LONPOLE, and a SIP
frame with RADESYS/EQUINOX) become 16-bit images. At 20 positions each, `quillon-cli sky`
must give astropy's all_pix2world within 0.01". The same holds after mirror, a turn, crop,
binning by 2 and a composite: each result's pixel is compared with astropy's answer at the
source pixel it shows (derived here from the operation, not from Quillon's own arithmetic).
"""
import os
import shutil
import subprocess
import sys
import warnings

import numpy as np
from astropy.io import fits
from astropy.wcs import WCS

warnings.simplefilter("ignore")
cli, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
os.chdir(work)
base = os.path.join(os.path.dirname(__import__("astropy").__file__), "wcs", "tests", "data")
headers = {f"map_{p}": os.path.join(base, "maps", f"1904-66_{p}.hdr")
           for p in ["TAN", "SIN", "ARC", "STG", "CAR"]}
headers["irac_sip"] = os.path.join(base, "irac_sip.hdr")
failures = []
worst = 0.0


def run(*args):
    r = subprocess.run([cli, *args], capture_output=True, text=True)
    if r.returncode != 0:
        failures.append(f"{' '.join(args)}: {r.stderr.strip()}")
        return None
    return r.stdout


def sky(path, pts):
    out = run("sky", path, *[f"{v:.6f}" for p in pts for v in p])
    if out is None:
        return None
    res = []
    for line in out.splitlines():
        f = line.split()
        res.append((float(f[2]), float(f[3])) if len(f) >= 4 and "außerhalb" not in line else None)
    return res


def compare(name, path, w, new_pts, old_of):
    global worst
    got = sky(path, new_pts)
    if got is None:
        return
    old = np.array([old_of(x, y) for x, y in new_pts])
    ra, dec = w.all_pix2world(old[:, 0], old[:, 1], 0)
    checked = 0
    for i, g in enumerate(got):
        if not np.isfinite(ra[i]) or not np.isfinite(dec[i]):
            continue
        if g is None:
            failures.append(f"{name}: {new_pts[i]} outside, astropy {ra[i]}, {dec[i]}")
            continue
        dra = ((g[0] - ra[i] + 180) % 360 - 180) * np.cos(np.radians(dec[i]))
        err = np.hypot(dra, g[1] - dec[i]) * 3600
        worst = max(worst, err)
        checked += 1
        if err > 0.01:
            failures.append(f"{name}: {new_pts[i]} off by {err:.4f}\"")
    if checked < 10:
        failures.append(f"{name}: only {checked} positions compared")


rng = np.random.default_rng(34)
for name, hdr_path in headers.items():
    hdr = fits.Header.fromfile(hdr_path, sep="", endcard=False, padding=False)
    # Odd sizes, so that halving the size is an exact binning by 2 (the WCS does not mind).
    nx, ny = int(hdr["NAXIS1"]) | 1, int(hdr["NAXIS2"]) | 1
    w = WCS(hdr)
    img = rng.normal(1000, 30, (ny, nx)).astype(np.int16)
    yy, xx = np.mgrid[0:ny, 0:nx]
    img += (20000 * np.exp(-((xx - 60) ** 2 + (yy - 70) ** 2) / 8.0)).astype(np.int16)
    out = fits.PrimaryHDU(img)
    for card in hdr.cards:
        if card.keyword not in ("SIMPLE", "BITPIX", "NAXIS", "NAXIS1", "NAXIS2", "EXTEND",
                                "BSCALE", "BZERO", "", "HISTORY", "COMMENT", "END"):
            out.header[card.keyword] = (card.value, card.comment)
    src = f"{name}.fits"
    out.writeto(src, overwrite=True)
    pts = [(float(x), float(y)) for x, y in
           zip(rng.uniform(-0.5, nx - 0.5, 20), rng.uniform(-0.5, ny - 0.5, 20))]
    compare(name, src, w, pts, lambda x, y: (x, y))

    def check(op, args, new_size, old_of):
        dst = f"{name}_{op}.fts"
        if run(*args(src, dst)) is None:
            return
        mw, mh = new_size
        new = [(float(x), float(y)) for x, y in
               zip(rng.uniform(0, mw - 1, 20), rng.uniform(0, mh - 1, 20))]
        compare(f"{name} {op}", dst, w, new, old_of)

    check("mirror", lambda s, d: ["mirror", "horizontal", s, d], (nx, ny),
          lambda x, y: (x, ny - 1 - y))
    check("turn", lambda s, d: ["rotate", "rechts", s, d], (ny, nx),
          lambda x, y: (y, ny - 1 - x))
    check("crop", lambda s, d: ["crop", "13", "21", str(nx - 7), str(ny - 30), s, d],
          (nx - 20, ny - 51), lambda x, y: (x + 13, y + 21))
    # The last column and row take the block pulled inside the image: left out.
    check("bin2", lambda s, d: ["resize", "--frei", "--breite", str(nx // 2 + 1), "--hoehe",
                                str(ny // 2 + 1), s, d], (nx // 2, ny // 2),
          lambda x, y: (2 * x + 0.5, 2 * y + 0.5))
    # A composite of the mirrored-back frame and the frame itself, twice the size, on the star.
    run("mirror", "horizontal", f"{name}_mirror.fts", f"{name}_back.fts")
    check("composite", lambda s, d: ["stack", d, "--ref", "60,70", "--size-factor", "2",
                                     "--no-borders", s, f"{name}_back.fts"],
          (2 * nx, 2 * ny), lambda x, y: (x / 2, y / 2))

print(f"worst difference {worst:.6f}\"")
if failures:
    print("\n".join(failures))
    sys.exit(1)
print("1 passed, 0 failed")
