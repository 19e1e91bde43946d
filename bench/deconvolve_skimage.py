#!/usr/bin/python3
"""The peer of bench_deconvolve: scikit-image's richardson_lucy on the same float32 layer and
kernel (no clipping), timed here (wall-clock and processor seconds); writes its result for the accuracy check.

Usage: deconvolve_skimage.py LAYER.f32 KERNEL.f32 WIDTH HEIGHT KW KH ITERATIONS OUT.f32
"""
import sys
import time

import numpy as np
from skimage import restoration


def main():
    layer_path, kernel_path = sys.argv[1], sys.argv[2]
    w, h, kw, kh, iterations = (int(v) for v in sys.argv[3:8])
    out_path = sys.argv[8]
    image = np.fromfile(layer_path, dtype=np.float32).reshape(h, w)
    psf = np.fromfile(kernel_path, dtype=np.float32).reshape(kh, kw)
    start, cpu_start = time.perf_counter(), time.process_time()
    result = restoration.richardson_lucy(image, psf, num_iter=iterations, clip=False)
    seconds, cpu = time.perf_counter() - start, time.process_time() - cpu_start
    result.astype(np.float32).tofile(out_path)
    print(f"{seconds:.3f} {cpu:.3f}")


if __name__ == "__main__":
    main()
