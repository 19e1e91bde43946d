#!/usr/bin/python3
"""Compressed FITS against the field's tools (run by ctest: QUILLON_CLI WORKDIR).

1. astropy writes every tile compression for int16, int32, uint8 and float32 (each dither
   method), fpack every method (float with each dither), gzip a .fits.gz. quillon-cli converts each file and
   astropy's (or funpack's) uncompressed copy of it; the samples must be identical.
2. quillon-cli writes .fits.fz; funpack and astropy must give back the exact samples, and
   Siril (when siril-cli is installed) reads the same samples from it as from Quillon's
   uncompressed file of the image.
"""
import gzip
import os
import shutil
import subprocess
import sys
import warnings

import numpy as np
from astropy.io import fits

warnings.simplefilter("ignore")
cli, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
os.chdir(work)
failures = []


def convert(src, dst):
    r = subprocess.run([cli, "convert", src, dst], capture_output=True, text=True)
    if r.returncode != 0:
        failures.append(f"{src}: {r.stderr.strip()}")
        return None
    with fits.open(dst) as f:
        return f[-1].data.copy()


def same_reading(name, reference):
    a = convert(name, name + ".q.fts")
    b = convert(reference, name + ".r.fts")
    if a is not None and b is not None and not np.array_equal(a, b):
        failures.append(f"{name}: {np.count_nonzero(a != b)} samples differ")


rng = np.random.default_rng(7)
h, w = 45, 67
images = {
    "i16": rng.normal(0, 9000, (h, w)).clip(-32768, 32767).astype(np.int16),
    "i32": rng.normal(0, 1e5, (h, w)).astype(np.int32),
    "u8": rng.integers(0, 256, (h, w)).astype(np.uint8),
    # Wide enough that a wrong dither offset (one quantisation step of 2.0) moves samples.
    "f32": rng.normal(0, 2500, (h, w)).clip(-8000, 8000).astype(np.float32),
}
images["i16"][0, :4] = [-32768, 32767, 0, -1]
images["f32"][1, :3] = [0.0, np.nan, 7.5]
for name, data in images.items():
    for method in ["RICE_1", "GZIP_1", "GZIP_2", "HCOMPRESS_1", "PLIO_1"]:
        if method == "PLIO_1" and name not in ("i16", "u8"):
            continue  # PLIO holds non-negative values below 2^24 of 8- or 16-bit images
        variants = [("", {})]
        if name == "f32":
            q = dict(quantize_level=-2.0)
            variants = [("d1", dict(q, quantize_method=1, dither_seed=4321)),
                        ("d2", dict(q, quantize_method=2)), ("nd", dict(q, quantize_method=-1))]
        for suffix, kw in variants:
            d = data.clip(0, None).astype(data.dtype) if method == "PLIO_1" else data
            fn = f"{name}_{method}{suffix}.fits.fz"
            # An empty primary, a foreign table, then the image: read as the first image.
            table = fits.BinTableHDU.from_columns([fits.Column("x", "J", array=[1, 2])])
            fits.HDUList([fits.PrimaryHDU(), table,
                          fits.CompImageHDU(d, compression_type=method, **kw)]).writeto(fn)
            with fits.open(fn) as f:
                fits.PrimaryHDU(f[2].data).writeto(fn + ".ref.fits")
            same_reading(fn, fn + ".ref.fits")

cube = rng.integers(-32768, 32768, (3, 20, 31)).astype(np.int16)
fits.PrimaryHDU(cube).writeto("cube.fits")
fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(cube)]).writeto("cube.fits.fz")
same_reading("cube.fits.fz", "cube.fits")
subprocess.run(["fpack", "-d", "-O", "nocompress.fits.fz", "cube.fits"], check=True)
subprocess.run(["funpack", "-O", "nocompress.ref.fits", "nocompress.fits.fz"], check=True)
same_reading("nocompress.fits.fz", "nocompress.ref.fits")
# fpack's files of each method and dither, against funpack's uncompressed copies.
fits.PrimaryHDU(images["f32"]).writeto("f32.fits")
fits.PrimaryHDU(images["i16"].clip(0, None)).writeto("i16p.fits")
sky = rng.normal(1000, 300, (3, 20, 31)).astype(np.int16)  # H-compress wants compressible data
fits.PrimaryHDU(sky).writeto("sky.fits")
for flags, src in [(["-r"], "sky.fits"), (["-h"], "sky.fits"), (["-g1"], "sky.fits"),
                   (["-g2"], "sky.fits"), (["-p"], "i16p.fits"), (["-q", "4"], "f32.fits"),
                   (["-qz", "4"], "f32.fits"), (["-q0", "4"], "f32.fits"),
                   (["-g2", "-qz", "4"], "f32.fits"), (["-h", "-q", "4"], "f32.fits"),
                   (["-h", "-s", "4"], "sky.fits")]:  # lossy H-compress, unsmoothed as funpack
    name = "fpack" + "".join(flags) + "_" + src + ".fz"
    subprocess.run(["fpack", *flags, "-O", name, src], check=True)
    subprocess.run(["funpack", "-O", name + ".ref.fits", name], check=True)
    same_reading(name, name + ".ref.fits")

with open("cube.fits", "rb") as src, gzip.open("cube.fits.gz", "wb") as dst:
    shutil.copyfileobj(src, dst)
same_reading("cube.fits.gz", "cube.fits")

info = subprocess.run([cli, "info", "i16_RICE_1.fits.fz"], capture_output=True, text=True).stdout
if "Kompression: RICE_1, Kacheln 67 x 1" not in info:
    failures.append("info does not name the compression:\n" + info)

# Writing: funpack and astropy read back exactly what Quillon holds.
for src in ["cube.fits", "i16_RICE_1.fits.fz.ref.fits"]:
    held = convert(src, src + ".held.fts")
    if held is None or convert(src, src + ".out.fits.fz") is None:
        continue
    with fits.open(src + ".out.fits.fz") as f:
        by_astropy = f[1].data
        if not np.array_equal(by_astropy, held):
            failures.append(f"{src}: astropy reads other samples from Quillon's .fits.fz")
    subprocess.run(["funpack", "-O", src + ".funpacked.fits", src + ".out.fits.fz"], check=True)
    with fits.open(src + ".funpacked.fits") as f:
        data = f[1].data if f[0].data is None else f[0].data
        if not np.array_equal(data, held):
            failures.append(f"{src}: funpack gives other samples from Quillon's .fits.fz")

# Siril reads Quillon's .fits.fz as it reads Quillon's plain FITS of the same image: the
# samples it holds, shifted by 32768 when they include negative values (Siril keeps unsigned
# 16-bit data).
if shutil.which("siril-cli"):
    for src in ["cube.fits", "i16_RICE_1.fits.fz.ref.fits"]:
        held = convert(src, src + ".held.fts")
        if held is None or not os.path.exists(src + ".out.fits.fz"):
            continue
        with open(src + ".ssf", "w") as script:
            script.write(f"requires 1.0.0\nload {src}.out.fits.fz\nsave {src}.siril_fz\n"
                         f"load {src}.held.fts\nsave {src}.siril_plain\n")
        r = subprocess.run(["siril-cli", "-d", work, "-s", src + ".ssf"], capture_output=True,
                           text=True)
        try:
            by_fz = fits.getdata(src + ".siril_fz.fit").astype(np.int64)
            by_plain = fits.getdata(src + ".siril_plain.fit").astype(np.int64)
        except OSError:
            failures.append(f"{src}: Siril did not save its reading:\n{r.stdout[-2000:]}")
            continue
        expected = held.astype(np.int64) + (32768 if held.min() < 0 else 0)
        if not np.array_equal(by_fz, by_plain) or not np.array_equal(by_fz.reshape(-1),
                                                                      expected.reshape(-1)):
            failures.append(f"{src}: Siril reads other samples from Quillon's .fits.fz")
        else:
            print(f"{src}: Siril reads Quillon's .fits.fz alike ({by_fz.size} samples)")
else:
    print("siril-cli not installed: Siril's reading of .fits.fz not checked")

for f in failures:
    print(f)
print("ok" if not failures else f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
