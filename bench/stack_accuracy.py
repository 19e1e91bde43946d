#!/usr/bin/python3
"""Position accuracy of a stacked result against the truth written by stack_data.

    stack_accuracy.py RESULT.fit TRUTH.json [--exposure K] [--label TEXT] [--verbose]

The result is taken to be exposure 1 (the reference) shifted by a whole-pixel crop: that
offset is measured by matching the brightest stars of the result to the truth star list.
Each check star of the truth (bright, isolated, not one of the two reference stars, spread
over the frame) is then located in the result by an iterated Gaussian-weighted centroid on the
local-background-subtracted image, and the rms distance to where the truth puts it is printed,
together with the mean error (a common shift) and the rms about that mean.

--exposure K measures a single exposure instead (the truth transform of exposure K is applied
to the star list): run on a calibrated or raw exposure it shows the precision of the
measurement itself.
"""
import argparse
import json
import math
import sys
import warnings

import numpy as np
from astropy.io import fits
from astropy.utils.exceptions import AstropyWarning

WINDOW = 7          # half-size of the centroid window, pixels
WEIGHT_SIGMA = 2.0  # sigma of the Gaussian weight, pixels
ANNULUS = (9, 13)   # radii of the local background annulus, pixels


def load(path):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", AstropyWarning)
        with fits.open(path) as hdul:
            data = hdul[0].data
    if data is None:
        sys.exit(f"{path}: no image data")
    data = np.asarray(data, dtype=np.float64)
    if data.ndim == 3:  # colour: the first layer
        data = data[0]
    return data


def transform(points, exposure, centre):
    """Maps exposure-1 coordinates into exposure `exposure` of the truth."""
    a = math.radians(exposure["angle_deg"])
    ca, sa = math.cos(a), math.sin(a)
    cx, cy = centre
    px, py = points[:, 0] - cx, points[:, 1] - cy
    return np.column_stack([cx + ca * px - sa * py + exposure["dx"],
                            cy + sa * px + ca * py + exposure["dy"]])


def local_peaks(img, count):
    """The `count` most prominent strict local maxima (5 × 5)."""
    sample = img[::7, ::7]
    med = np.median(sample)
    mad = np.median(np.abs(sample - med)) * 1.4826 + 1e-9
    h, w = img.shape
    core = img[2:h - 2, 2:w - 2]
    is_max = np.ones(core.shape, dtype=bool)
    low = core.copy()
    for dy in range(-2, 3):
        for dx in range(-2, 3):
            if dx or dy:
                other = img[2 + dy:h - 2 + dy, 2 + dx:w - 2 + dx]
                is_max &= core > other
                np.minimum(low, other, out=low)
    # Ranked by the rise over the darkest neighbour, so that flat bright areas (such as a
    # border filled with a constant) do not count as stars.
    rise = core - low
    is_max &= rise > 20 * mad
    ys, xs = np.nonzero(is_max)
    order = np.argsort(rise[ys, xs])[::-1][:count]
    return np.column_stack([xs[order] + 2.0, ys[order] + 2.0])


def crop_offset(img, stars):
    """Whole-pixel offset result - truth from the most common difference of peak positions."""
    peaks = local_peaks(img, 300)
    bright = stars[np.argsort(stars[:, 2])[::-1][:150], :2]
    if len(peaks) == 0:
        sys.exit("no stars found in the result")
    diffs = (peaks[:, None, :] - bright[None, :, :]).reshape(-1, 2)
    keys, counts = np.unique(np.round(diffs).astype(int), axis=0, return_counts=True)
    # Votes of a cell and its neighbours, since a sub-pixel difference rounds either way.
    best, best_votes = keys[np.argmax(counts)], -1
    lookup = {tuple(k): c for k, c in zip(keys, counts)}
    for k in keys[counts >= max(3, counts.max() // 2)]:
        votes = sum(lookup.get((k[0] + i, k[1] + j), 0) for i in (-1, 0, 1) for j in (-1, 0, 1))
        if votes > best_votes:
            best, best_votes = k, votes
    near = np.all(np.abs(diffs - best) <= 1.5, axis=1)
    return np.median(diffs[near], axis=0), int(near.sum())


def centroid(img, x, y):
    """Iterated Gaussian-weighted centroid near (x, y) after subtracting the local background;
    None when the window leaves the image or the iteration does not settle."""
    h, w = img.shape
    r0, r1 = ANNULUS
    for _ in range(100):
        ix, iy = int(round(x)), int(round(y))
        if ix - r1 < 0 or iy - r1 < 0 or ix + r1 >= w or iy + r1 >= h:
            return None
        patch = img[iy - r1:iy + r1 + 1, ix - r1:ix + r1 + 1]
        gy, gx = np.mgrid[iy - r1:iy + r1 + 1, ix - r1:ix + r1 + 1]
        rr = np.hypot(gx - x, gy - y)
        sky = np.median(patch[(rr >= r0) & (rr <= r1)])
        inside = (np.abs(gx - ix) <= WINDOW) & (np.abs(gy - iy) <= WINDOW)
        wgt = np.exp(-0.5 * ((gx - x) ** 2 + (gy - y) ** 2) / WEIGHT_SIGMA ** 2) * inside
        f = (patch - sky) * wgt
        total = f.sum()
        if total <= 0:
            return None
        nx, ny = (f * gx).sum() / total, (f * gy).sum() / total
        if abs(nx - x) < 1e-5 and abs(ny - y) < 1e-5:
            return nx, ny
        x, y = nx, ny
    return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("result")
    ap.add_argument("truth")
    ap.add_argument("--exposure", type=int, default=0,
                    help="measure exposure K (1-based) of the truth instead of a stack")
    ap.add_argument("--label", default="")
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args()

    truth = json.load(open(args.truth))
    img = load(args.result)
    stars = np.array(truth["stars"], dtype=np.float64)
    checks = np.array(truth["check_stars"], dtype=np.float64)
    if args.exposure:
        exp = truth["exposures"][args.exposure - 1]
        stars[:, :2] = transform(stars[:, :2], exp, truth["centre"])
        checks = transform(checks, exp, truth["centre"])

    offset, matched = crop_offset(img, stars)
    crop = np.round(offset)
    errors = []
    for i, (tx, ty) in enumerate(checks):
        px, py = tx + crop[0], ty + crop[1]
        c = centroid(img, px, py)
        if c is None or math.hypot(c[0] - px, c[1] - py) > 3:
            if args.verbose:
                print(f"  star {i + 1:2d} at ({tx:8.2f}, {ty:8.2f}): not found")
            continue
        errors.append((c[0] - px, c[1] - py))
        if args.verbose:
            print(f"  star {i + 1:2d} at ({tx:8.2f}, {ty:8.2f}): "
                  f"error ({c[0] - px:+.4f}, {c[1] - py:+.4f})")
    if not errors:
        sys.exit("none of the check stars was found")
    e = np.array(errors)
    rms = math.sqrt(np.mean(np.sum(e ** 2, axis=1)))
    mean = e.mean(axis=0)
    rms_about_mean = math.sqrt(np.mean(np.sum((e - mean) ** 2, axis=1)))
    label = args.label or args.result
    print(f"{label}: crop offset ({int(crop[0])}, {int(crop[1])}) from {matched} matches; "
          f"{len(e)} of {len(checks)} stars; rms error {rms:.4f} px; "
          f"mean ({mean[0]:+.4f}, {mean[1]:+.4f}); rms about the mean {rms_about_mean:.4f} px; "
          f"max {np.max(np.hypot(e[:, 0], e[:, 1])):.4f} px")


if __name__ == "__main__":
    main()
