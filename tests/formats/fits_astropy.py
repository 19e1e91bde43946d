#!/usr/bin/python3
"""Interoperability of Quillon's FITS files with astropy (run by test_fits_interop.cpp).

write DIR: writes FITS files with astropy for every BITPIX the reader supports, together with
    the samples Quillon must read from them (<name>.expect: int16 little-endian, planes x rows
    x columns), computed here with numpy from the reader's documented rules, and manifest.txt
    (name type layers overlay width height).
check DIR: reads every file listed in quillon.txt (name planes height width) with astropy and
    compares sample values and axes with <name>.raw written by the test.
"""
import sys
import warnings

import numpy as np
from astropy.io import fits

BW, RGB, USER = 1, 2, 5


def scaled(a):
    """Per-plane scaling of 32-bit and floating data, as the reader documents it."""
    planes = a if a.ndim == 3 else a[None]
    out = []
    for plane in planes:
        if plane.dtype.kind == "i":
            v = plane.astype(np.float64)
            counted = (v > -2147483000.0) & (v < 2147483000.0)
        else:
            with np.errstate(over="ignore"):
                v = plane.astype(np.float32).astype(np.float64)  # doubles go through single precision
            counted = (v > -2147483008.0) & (v < 2147483008.0)
        lo, hi = (v[counted].min(), v[counted].max()) if counted.any() else (0.0, 0.0)
        mn, mx = lo, hi
        for p in (131072, 65536, 32768, 16384, 8192):
            if lo >= -p and hi <= p - 1:
                mn, mx = -p, p - 1
        if mx <= mn:
            mx = mn + 1.0
        with np.errstate(invalid="ignore"):
            t = (v - mn) / (mx - mn)
        t = np.where(t > 0, t, 0.0)  # NaN gives 0
        t = np.minimum(t, 1.0)
        out.append(np.trunc(t * 65535.0 - 32768.0).astype(np.int16))
    return np.stack(out)


def direct(a):
    planes = a if a.ndim == 3 else a[None]
    return planes.astype(np.int16)


def type_of(a):
    n = 1 if a.ndim == 2 else a.shape[0]
    return (BW, 1) if n == 1 else ((RGB, 3) if n == 3 else (USER, n))


def write(folder):
    rng = np.random.default_rng(20261208)
    cases = []

    def add(name, data, expect, hdus=None):
        path = f"{folder}/{name}.fits"
        (hdus or fits.HDUList([fits.PrimaryHDU(data)])).writeto(path, overwrite=True)
        with open(f"{folder}/{name}.expect", "wb") as f:
            f.write(expect.astype("<i2").tobytes())
        t, layers = type_of(data)
        cases.append(f"{name} {t} {layers} 0 {data.shape[-1]} {data.shape[-2]}")

    u8 = rng.integers(0, 256, (13, 17), dtype=np.uint8)
    add("u8_2d", u8, u8.astype(np.int16)[None])
    u8c = rng.integers(0, 256, (3, 11, 12), dtype=np.uint8)
    add("u8_3d", u8c, u8c.astype(np.int16))
    i16 = rng.integers(-32768, 32768, (21, 19), dtype=np.int16)
    i16[0, 0], i16[0, 1] = -32768, 32767
    add("i16_2d", i16, direct(i16))
    # Unsigned data: astropy stores v - 32768 with BZERO = 32768; Quillon keeps the stored values.
    u16 = rng.integers(0, 65536, (3, 12, 10), dtype=np.uint16)
    u16[0, 0, 0] = 0
    add("i16_bzero", u16, (u16.astype(np.int32) - 32768).astype(np.int16))
    i16u = rng.integers(-500, 500, (4, 10, 14), dtype=np.int16)
    add("i16_3d_user", i16u, direct(i16u))
    i32 = rng.integers(0, 1001, (10, 16), dtype=np.int32)
    i32[0, 0], i32[0, 1] = 0, 1000
    add("i32_small", i32, scaled(i32))
    i32c = np.stack([rng.integers(-100000, 100001, (15, 11)), rng.integers(-10**8, 10**8, (15, 11)),
                     np.full((15, 11), 500000)]).astype(np.int32)
    add("i32_3d", i32c, scaled(i32c))
    i32x = rng.integers(-5000, 5000, (12, 12), dtype=np.int32)
    i32x[0, :4] = [2147483647, -2147483648, 2147483001, -2147482999]
    add("i32_extreme", i32x, scaled(i32x))
    f32 = rng.random((14, 10), dtype=np.float32)
    f32[0, 0], f32[0, 1] = 0.0, 1.0
    add("f32_2d", f32, scaled(f32))
    f32n = (rng.normal(0, 3000, (2, 10, 13))).astype(np.float32)
    f32n[0, 0, :3] = [np.nan, np.inf, -np.inf]
    f32n[1] = np.nan
    add("f32_3d_nan", f32n, scaled(f32n))
    f64 = rng.normal(0, 1e6, (11, 10))
    f64[0, :3] = [1e300, -1e300, np.nan]
    add("f64_2d", f64, scaled(f64))
    f64c = rng.normal(100, 10, (3, 10, 10)) * 1e-3
    add("f64_3d", f64c, scaled(f64c))
    ext = rng.integers(-2000, 2000, (16, 12), dtype=np.int16)
    add("ext_image", ext, direct(ext), fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(ext)]))
    ext3 = rng.normal(0, 50, (3, 10, 12)).astype(np.float32)
    table = fits.BinTableHDU.from_columns([fits.Column(name="x", format="E", array=np.arange(100.0))])
    add("ext_after_table", ext3, scaled(ext3), fits.HDUList([fits.PrimaryHDU(), table, fits.ImageHDU(ext3)]))

    with open(f"{folder}/manifest.txt", "w") as f:
        f.write("\n".join(cases) + "\n")


def check(folder):
    failures = 0
    with open(f"{folder}/quillon.txt") as f:
        entries = [line.split() for line in f if line.strip()]
    for name, planes, height, width in entries:
        planes, height, width = int(planes), int(height), int(width)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")  # the dialect's own cards are not standard values
            with fits.open(f"{folder}/{name}.fts") as hdul:
                data = hdul[0].data
        want = np.frombuffer(open(f"{folder}/{name}.raw", "rb").read(), dtype="<i2")
        shape = (height, width) if planes == 1 else (planes, height, width)
        want = want.reshape(shape)
        if data.shape != shape:
            print(f"{name}: axes {data.shape}, expected {shape}")
            failures += 1
        elif data.dtype.kind not in "iu" or not np.array_equal(data.astype(np.int32), want.astype(np.int32)):
            print(f"{name}: samples differ (astropy dtype {data.dtype})")
            failures += 1
        else:
            print(f"{name}: ok {data.shape} {data.dtype}")
    return failures


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("write", "check"):
        sys.exit("usage: fits_astropy.py write|check DIR")
    if sys.argv[1] == "write":
        write(sys.argv[2])
    else:
        sys.exit(1 if check(sys.argv[2]) else 0)
