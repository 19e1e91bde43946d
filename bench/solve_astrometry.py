#!/usr/bin/python3
"""Plate solving: Quillon's star list handed to astrometry.net against solve-field on the
image file itself, with the same index files and hints, in the same run.

    /usr/bin/python3 bench/solve_astrometry.py QUILLON_CLI WORK [--blind] [--repeat N]

The fields are those of the test (rendered from the index's own stars at a known TAN WCS,
with noise, 30 % false and 20 % missing stars). For each field it prints both wall-clock
times (best of N runs), their ratio and the centre error of both solutions against the
truth. --blind leaves scale and centre hints out (a blind solve takes far longer). The
machine may be shared: compare ratios, not seconds.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import warnings

import numpy as np
from astropy.io import fits
from astropy.wcs import WCS

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "analysis"))
import plate_solve_fields as pf  # noqa: E402

warnings.simplefilter("ignore")
cli, work = os.path.abspath(sys.argv[1]), sys.argv[2]
blind = "--blind" in sys.argv
repeat = int(sys.argv[sys.argv.index("--repeat") + 1]) if "--repeat" in sys.argv else 3
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
os.chdir(work)
timeout = 300 if blind else 60
with open("astrometry.cfg", "w") as f:
    f.write(f"cpulimit {timeout}\nadd_path {pf.INDEX}\nautoindex\n")


def centre_error(path, t, w, h):
    got = WCS(fits.getheader(path))
    gra, gdec = got.all_pix2world([[(w - 1) / 2, (h - 1) / 2]], 0)[0]
    tra, tdec = t.all_pix2world([[(w - 1) / 2, (h - 1) / 2]], 0)[0]
    return np.hypot((gra - tra) * np.cos(np.radians(tdec)), gdec - tdec) * 3600


def best(cmd):
    times = []
    for _ in range(repeat):
        start = time.time()
        r = subprocess.run(cmd, capture_output=True, text=True)
        times.append(time.time() - start)
        if r.returncode != 0:
            return None, r.stderr.strip()[-300:]
    return min(times), ""


rng = np.random.default_rng(3434)
ratios = []
for i, case in enumerate(pf.CASES):
    ra, dec, scale = case[:3]
    name, t, w, h = pf.make_field(i, case, rng)
    hints_q, hints_s = [], []
    if not blind:
        hints_q = ["--scale-low", f"{scale * 0.95}", "--scale-high", f"{scale * 1.05}",
                   "--ra", f"{ra + 0.3}", "--dec", f"{dec - 0.2}", "--radius", "2"]
        hints_s = ["--scale-units", "arcsecperpix", "--scale-low", f"{scale * 0.95}",
                   "--scale-high", f"{scale * 1.05}", "--ra", f"{ra + 0.3}",
                   "--dec", f"{dec - 0.2}", "--radius", "2"]
    tq, eq = best([cli, "solve", name, f"q{i}.fts", "--timeout", str(timeout)] + hints_q)
    sdir = tempfile.mkdtemp(dir=".")
    ts, es = best(["solve-field", "--config", os.path.abspath("astrometry.cfg"), "--dir", sdir,
                   "--no-plots", "--overwrite", "--new-fits", "none", "--cpulimit", str(timeout),
                   "--wcs", f"s{i}.wcs", name] + hints_s)
    if tq is None or ts is None:
        print(f"field {i}: failed: {eq or es}")
        continue
    ratio = ts / tq
    ratios.append(ratio)
    print(f"field {i} ({w}x{h} px, {scale}\"/px): quillon {tq:.2f} s "
          f"(centre {centre_error(f'q{i}.fts', t, w, h):.2f}\"), solve-field {ts:.2f} s "
          f"(centre {centre_error(f's{i}.wcs', t, w, h):.2f}\"), "
          f"ratio {ratio:.2f}")
if ratios:
    print(f"solve-field / quillon: geometric mean {np.exp(np.mean(np.log(ratios))):.2f}x "
          f"({'blind' if blind else 'with hints'})")
