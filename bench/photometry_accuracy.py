#!/usr/bin/python3
"""Accuracy of quillon-cli photometry on generated stars of known flux.

Stars (Gaussian, sigma 1.3) of six brightness levels on a grid over a Poisson sky with read
noise, one count per photon. Every star is measured with `quillon-cli photometry --stars`
(ellipse 11x11, ring 5x5, coefficient set so that magnitude 10 is a total of 3e4) and with
photutils on the same apertures. Per brightness bin the table gives the scatter of the
measured magnitudes around the truth, the RMS of the estimated errors and their ratio, and
photutils' scatter with the same annulus mean and with a sigma-clipped annulus median.

usage: photometry_accuracy.py QUILLON_CLI [seed] [ring width, default 5]
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
from astropy.stats import SigmaClip
from photutils.aperture import (ApertureStats, EllipticalAnnulus, EllipticalAperture,
                                aperture_photometry)

FLUXES = [1000, 2000, 5000, 10000, 30000, 100000]
SKY, READ_NOISE, SIGMA = 200.0, 5.0, 1.3
EX, RX = 11, 5
COEFFICIENT = 3.0e4  # a grey star's total is three times its background-free sum
SPACING, SIZE = 30, 960


def field(rng):
    """One image: stars on a grid (random sub-grid offset of 0), brightness cycling."""
    n = SIZE // SPACING
    yy, xx = np.mgrid[0:SIZE, 0:SIZE]
    expected = np.full((SIZE, SIZE), SKY)
    stars = []
    k = 0
    for j in range(n):
        for i in range(n):
            x, y = SPACING // 2 + i * SPACING, SPACING // 2 + j * SPACING
            flux = FLUXES[k % len(FLUXES)]
            k += 1
            # Pixel-integrated Gaussian centred on a pixel centre.
            x0, x1 = max(x - 10, 0), min(x + 11, SIZE)
            y0, y1 = max(y - 10, 0), min(y + 11, SIZE)
            px = np.arange(x0, x1)
            py = np.arange(y0, y1)
            ex = [0.5 * (math.erf((p + 0.5 - x) / (SIGMA * math.sqrt(2))) -
                         math.erf((p - 0.5 - x) / (SIGMA * math.sqrt(2)))) for p in px]
            ey = [0.5 * (math.erf((p + 0.5 - y) / (SIGMA * math.sqrt(2))) -
                         math.erf((p - 0.5 - y) / (SIGMA * math.sqrt(2)))) for p in py]
            expected[y0:y1, x0:x1] += flux * np.outer(ey, ex)
            stars.append((x, y, flux))
    img = rng.poisson(expected) + rng.normal(0, READ_NOISE, expected.shape)
    return np.clip(np.rint(img), -32768, 32767).astype(np.int16), stars


def main():
    cli = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 2026
    global RX
    RX = int(sys.argv[3]) if len(sys.argv) > 3 else RX
    warnings.simplefilter("ignore")
    rng = np.random.default_rng(seed)
    ours = {f: [] for f in FLUXES}
    errs = {f: [] for f in FLUXES}
    peer_mean = {f: [] for f in FLUXES}
    peer_median = {f: [] for f in FLUXES}
    with tempfile.TemporaryDirectory() as d:
        for n in range(2):
            data, stars = field(rng)
            path = Path(d) / f"stars{n}.fts"
            fits.PrimaryHDU(data).writeto(path, overwrite=True)
            listing = Path(d) / "stars.csv"
            listing.write_text("x,y\n" + "".join(f"{x},{y}\n" for x, y, _ in stars))
            out = subprocess.run([cli, "photometry", str(path), "--stars", str(listing),
                                  "--ellipse", f"{EX}x{EX}", "--ring", f"{RX}x{RX}",
                                  "--coefficient", str(COEFFICIENT)],
                                 capture_output=True, text=True, check=True)
            rows = list(csv.DictReader(io.StringIO(out.stdout)))
            a = EX / 2.0
            positions = [(x, y) for x, y, _ in stars]
            ell = EllipticalAperture(positions, a, a)
            ann = EllipticalAnnulus(positions, a, a + RX, a + RX, b_in=a)
            t = aperture_photometry(data.astype(np.float64), [ell, ann], method="center")
            area = ell.area_overlap(data, method="center")
            ring_area = ann.area_overlap(data, method="center")
            med = ApertureStats(data.astype(np.float64), ann, sigma_clip=SigmaClip(3.0)).median
            for k, ((x, y, flux), row) in enumerate(zip(stars, rows)):
                truth = 10 - 2.5 * math.log10(3 * flux / COEFFICIENT)
                if row["mag"] and row["mag_fehler"]:
                    ours[flux].append(float(row["mag"]) - truth)
                    errs[flux].append(float(row["mag_fehler"]))
                s0 = float(t["aperture_sum_0"][k])
                net_mean = s0 - area[k] * float(t["aperture_sum_1"][k]) / ring_area[k]
                net_median = s0 - area[k] * float(med[k])
                if net_mean > 0:
                    peer_mean[flux].append(-2.5 * math.log10(net_mean / flux))
                if net_median > 0:
                    peer_median[flux].append(-2.5 * math.log10(net_median / flux))

    print("| Fluss | S/N | Sterne | Streuung | geschätzter Fehler (RMS) | Verhältnis | "
          "Mittel | photutils Ring-Mittel | photutils Ring-Median (3σ) | Streuung / photutils |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    worst_ratio, worst_peer = 0.0, 0.0
    for f in FLUXES:
        d = np.array(ours[f])
        e = np.array(errs[f])
        scatter = d.std(ddof=1)
        est = math.sqrt((e * e).mean())
        ratio = scatter / est
        pm = np.array(peer_mean[f]).std(ddof=1)
        pmed = np.array(peer_median[f]).std(ddof=1)
        worst_ratio = max(worst_ratio, abs(ratio - 1))
        worst_peer = max(worst_peer, abs(scatter / pm - 1))
        print(f"| {f} | {1.0857 / est:.1f} | {len(d)} | {scatter:.4f} | {est:.4f} | "
              f"{ratio:.3f} | {d.mean():+.4f} | {pm:.4f} | {pmed:.4f} | {scatter / pm:.3f} |")
    print(f"largest deviation of scatter / estimate from 1: {worst_ratio:.3f} (limit 0.20)")
    print(f"largest deviation from photutils' scatter: {worst_peer:.3f} (limit 0.10)")
    return 0 if worst_ratio <= 0.2 and worst_peer <= 0.1 else 1


if __name__ == "__main__":
    sys.exit(main())
