#!/usr/bin/python3
"""Independent check of quillon-cli photometry against photutils (run by ctest).

Generates star fields with noise, writes them as 16-bit FITS with astropy, measures every
star with `quillon-cli photometry --stars` and with photutils' elliptical aperture and
annulus (method='center': a pixel belongs when its centre lies inside). For odd ellipse sizes
no pixel centre lies on a border, so pixel counts and the sums of ellipse and ring must agree
exactly, and the background-free sum and the magnitude follow from them.

usage: photometry_photutils.py QUILLON_CLI
"""
import csv
import io
import math
import subprocess
import sys
import tempfile
import warnings
from pathlib import Path

import numpy as np
from astropy.io import fits
from photutils.aperture import EllipticalAnnulus, EllipticalAperture, aperture_photometry


def star_field(rng, width, height, count, background=800.0, sky_noise=15.0):
    """A grey field of Gaussian stars (sigma 1.2..2.5) on a noisy sky; integer positions."""
    yy, xx = np.mgrid[0:height, 0:width]
    img = rng.normal(background, sky_noise, (height, width))
    stars = []
    for _ in range(count):
        x = int(rng.integers(0, width))  # also near and at the borders
        y = int(rng.integers(0, height))
        flux = float(10 ** rng.uniform(2.5, 5.5))
        s = rng.uniform(1.2, 2.5)
        img += flux / (2 * math.pi * s * s) * np.exp(-((xx - x) ** 2 + (yy - y) ** 2) / (2 * s * s))
        stars.append((x, y, 10.0 - 2.5 * math.log10(flux / 1.0e4)))
    return np.clip(np.rint(img), -32768, 32767).astype(np.int16), stars


def kept_inside(x, y, ex, ey, rx, ry, w, h):
    """The program's rule for keeping the area inside the image (see keepInside)."""
    def keep(pos, e, r, size):
        e = max(min(e, size - 2, 121), 1)
        r = max(min(r, (size - e) // 2, (123 - e) // 2), 1)
        return min(max(pos, e // 2 + r), size - e // 2 - r - 1), e, r
    x, ex, rx = keep(x, ex, rx, w)
    y, ey, ry = keep(y, ey, ry, h)
    return x, y, ex, ey, rx, ry


def check(cli, folder, rng, shape, sizes):
    width, height = shape
    data, stars = star_field(rng, width, height, 40)
    path = folder / f"field_{width}x{height}.fts"
    fits.PrimaryHDU(data).writeto(path, overwrite=True)
    listing = folder / "stars.csv"
    with open(listing, "w") as f:
        f.write("x,y,mag\n")
        for i, (x, y, mag) in enumerate(stars):
            f.write(f"{x},{y},{mag:.3f}\n" if i % 3 == 0 else f"{x},{y},\n")
    failures = 0
    for ex, ey, rx, ry in sizes:
        out = subprocess.run([cli, "photometry", str(path), "--stars", str(listing),
                              "--ellipse", f"{ex}x{ey}", "--ring", f"{rx}x{ry}"],
                             capture_output=True, text=True)
        if out.returncode != 0:
            print(out.stdout, out.stderr)
            return 1
        rows = list(csv.DictReader(io.StringIO(out.stdout)))
        assert len(rows) == len(stars)
        coefficient = None
        for line in out.stderr.splitlines():
            if line.startswith("Koeffizient = "):
                coefficient = float(line.split("=")[1].split(",")[0])
        for (x, y, _), row in zip(stars, rows):
            cx, cy, cex, cey, crx, cry = kept_inside(x, y, ex, ey, rx, ry, width, height)
            got = tuple(int(row[k]) for k in ("x", "y", "ex", "ey", "rx", "ry"))
            if got != (cx, cy, cex, cey, crx, cry):
                print(f"area of star at {x},{y}: {got} != {(cx, cy, cex, cey, crx, cry)}")
                failures += 1
                continue
            a, b = cex / 2.0, cey / 2.0
            ell = EllipticalAperture((cx, cy), a, b)
            ring = EllipticalAnnulus((cx, cy), a, a + crx, b + cry, b_in=b)
            t = aperture_photometry(data.astype(np.float64), [ell, ring], method="center")
            f_count = round(float(ell.area_overlap(data, method="center")))
            g_count = round(float(ring.area_overlap(data, method="center")))
            ell_sum = float(t["aperture_sum_0"][0])
            ring_sum = float(t["aperture_sum_1"][0])
            rel = math.trunc(ell_sum - f_count * (ring_sum / g_count))
            theirs = (f_count, g_count, ell_sum, ring_sum, rel)
            layer = next(k for k in row if k.endswith("_ringsumme"))[: -len("_ringsumme")]
            ours = (int(row["pixel_ellipse"]), int(row["pixel_ring"]), float(row[layer + "_summe"]),
                    float(row[layer + "_ringsumme"]), int(row[layer + "_relsumme"]))
            if ours != theirs:
                print(f"{ex}x{ey} ring {rx}x{ry} at {cx},{cy}: quillon {ours} photutils {theirs}")
                failures += 1
            # Grey: the total is the background-free sum once per display channel.
            total = int(row["gesamt"])
            if total != 3 * rel:
                print(f"total {total} != 3 x {rel}")
                failures += 1
            if coefficient and total >= 1:
                mag = 10 - 2.5 * math.log10(total / coefficient)
                if -30 < mag < 99.9 and abs(float(row["mag"]) - mag) > 1e-3:
                    print(f"magnitude {row['mag']} != {mag:.4f}")
                    failures += 1
    # One position: the statistics text and the lines below it agree with the list's row;
    # a position outside the image is an error (exit status 1).
    x, y, _ = stars[0]
    cx, cy = kept_inside(x, y, 11, 11, 1, 1, width, height)[:2]
    one = subprocess.run([cli, "photometry", str(path), "--at", f"{x},{y}", "--coefficient",
                          "1000"], capture_output=True, text=True)
    lines = one.stdout.splitlines()
    row = subprocess.run([cli, "photometry", str(path), "--stars", str(listing)],
                         capture_output=True, text=True).stdout.splitlines()[1].split(",")
    expected_total = f"Gesamthelligheit = {row[-3]}"
    if one.returncode != 0 or "rel.Pixelsumme:" not in lines[7] or lines[8] != expected_total \
            or not lines[10].startswith("Entspr. mag = ") or (int(row[0]), int(row[1])) != (cx, cy):
        print("--at output:", one.stdout, one.stderr)
        failures += 1
    outside = subprocess.run([cli, "photometry", str(path), "--at", f"{width},0"],
                             capture_output=True, text=True)
    if outside.returncode != 1 or "außerhalb des Bildes" not in outside.stderr:
        print("outside:", outside.returncode, outside.stderr)
        failures += 1
    return failures


def main():
    cli = sys.argv[1]
    warnings.simplefilter("ignore")
    rng = np.random.default_rng(17)
    sizes = [(11, 11, 1, 1), (7, 13, 3, 2), (21, 15, 5, 5), (1, 1, 1, 1), (121, 121, 1, 1),
             (3, 41, 9, 1)]
    failures = 0
    with tempfile.TemporaryDirectory() as d:
        for shape in [(200, 160), (130, 300)]:
            failures += check(cli, Path(d), rng, shape, sizes)
    if failures:
        print(f"{failures} differences")
        return 1
    print("photutils agrees")
    return 0


if __name__ == "__main__":
    sys.exit(main())
