#!/usr/bin/python3
"""XISF against an independent writer and reader (run by ctest: QUILLON_CLI WORKDIR).

1. This script writes monolithic XISF files from the published format description: every
   sample format, grey and RGB, planar and normal storage, each codec with and without byte
   shuffling, SHA-1 and SHA-256 checksums. quillon-cli converts each to FITS; the samples must
   equal those of the same numbers written by astropy as FITS of the matching BITPIX and
   converted the same way.
2. A Quillon-written XISF is read here (xml.etree, zlib) and by quillon-cli again: the samples
   come back identical, with the program's keywords.
3. Damaged files (entity declarations, a block past the end, a wrong checksum, a size that
   disagrees with the geometry) are refused with their message.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import warnings
import xml.etree.ElementTree as ET
import zlib

import lz4.block
import numpy as np
import zstandard
from astropy.io import fits

warnings.simplefilter("ignore")
cli, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
os.chdir(work)
failures = []


def run(*args):
    return subprocess.run([cli, *args], capture_output=True, text=True)


def fits_data(path):
    with fits.open(path) as f:
        return f[0].data.copy(), f[0].header


def convert(src, dst):
    r = run("convert", src, dst)
    if r.returncode != 0:
        failures.append(f"{src}: {r.stderr.strip()}")
        return None
    return fits_data(dst)[0]


def shuffle(raw, item):
    n = len(raw) // item
    a = np.frombuffer(raw[: n * item], np.uint8).reshape(n, item)
    return a.T.tobytes() + raw[n * item:]


def compress(codec, raw):
    if codec == "zlib":
        return zlib.compress(raw)
    if codec == "lz4":
        return lz4.block.compress(raw, store_size=False)
    if codec == "lz4hc":
        return lz4.block.compress(raw, mode="high_compression", store_size=False)
    return zstandard.ZstdCompressor().compress(raw)


def write_xisf(path, data, fmt, storage="Planar", codec=None, shuffled=False, checksum=None,
               keywords=(), big=False, header_hook=None, block_hook=None):
    """data: (channels, h, w) array of the sample type."""
    c, h, w = data.shape
    pixels = data if storage == "Planar" else np.moveaxis(data, 0, -1)
    raw = pixels.astype(pixels.dtype.newbyteorder(">" if big else "<")).tobytes()
    attrs = {"geometry": f"{w}:{h}:{c}", "sampleFormat": fmt,
             "colorSpace": "RGB" if c == 3 else "Gray", "pixelStorage": storage}
    if fmt.startswith("Float"):
        attrs["bounds"] = "0:1"
    if big:
        attrs["byteOrder"] = "big"
    block = raw
    if codec:
        item = data.dtype.itemsize
        block = compress(codec, shuffle(raw, item) if shuffled else raw)
        attrs["compression"] = (f"{codec}+sh:{len(raw)}:{item}" if shuffled
                                else f"{codec}:{len(raw)}")
    if checksum:
        attrs["checksum"] = f"{checksum}:" + hashlib.new(checksum.replace("-", ""),
                                                         block).hexdigest()
    if block_hook:
        block = block_hook(block)
    position = 4096
    attrs["location"] = f"attachment:{position}:{len(block)}"
    root = ET.Element("xisf", version="1.0", xmlns="http://www.pixinsight.com/xisf")
    image = ET.SubElement(root, "Image", attrs)
    for name, value, comment in keywords:
        ET.SubElement(image, "FITSKeyword", name=name, value=value, comment=comment)
    ET.SubElement(image, "Property", id="Instrument:ExposureTime", type="Float32", value="120.5")
    text = b'<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(root)
    if header_hook:
        text = header_hook(text)
    head = b"XISF0100" + struct.pack("<I", len(text)) + b"\0\0\0\0" + text
    assert len(head) <= position
    with open(path, "wb") as f:
        f.write(head + b"\0" * (position - len(head)) + block)


rng = np.random.default_rng(11)
h, w = 23, 31
samples = {
    "UInt8": (np.uint8, rng.integers(0, 256, (3, h, w))),
    "UInt16": (np.uint16, rng.integers(0, 65536, (3, h, w))),
    "UInt32": (np.uint32, rng.integers(0, 2**32, (3, h, w), dtype=np.uint64)),
    "Float32": (np.float32, rng.random((3, h, w))),
    "Float64": (np.float64, rng.random((3, h, w))),
}
cases = 0
for fmt, (dtype, values) in samples.items():
    for channels in (1, 3):
        data = values[:channels].astype(dtype)
        data.flat[:2] = [0, np.iinfo(dtype).max if dtype().dtype.kind == "u" else 1.0]
        ref = f"{fmt}_{channels}.fits"
        fits.PrimaryHDU(data[0] if channels == 1 else data).writeto(ref, overwrite=True)
        expected = convert(ref, ref + ".q.fts")
        if dtype().dtype.kind == "f":
            # Real samples within their bounds 0:1 span the whole 16-bit range.
            t = np.clip(data.astype(np.float64), 0, 1)
            expected = np.trunc(t * 65535 - 32768).astype(np.int16)
            expected = expected[0] if channels == 1 else expected
        if fmt == "UInt16" and expected is not None:
            # Unsigned 16-bit data keep their stored signed value, v - 32768.
            if not np.array_equal(expected.reshape(data.shape), data.astype(np.int32) - 32768):
                failures.append("UInt16 reference: not v - 32768")
        variants = [("Planar", None, False, None, False), ("Normal", None, False, "sha1", True)]
        for codec in ("zlib", "lz4", "lz4hc", "zstd"):
            variants += [("Planar", codec, False, "sha-256", False),
                         ("Normal", codec, True, None, False)]
        for storage, codec, shuffled, checksum, big in variants:
            name = f"{fmt}_{channels}_{storage}_{codec}{'_sh' if shuffled else ''}.xisf"
            write_xisf(name, data, fmt, storage, codec, shuffled, checksum, big=big)
            got = convert(name, name + ".fts")
            cases += 1
            if got is not None and expected is not None and not np.array_equal(got, expected):
                failures.append(f"{name}: {np.count_nonzero(got != expected)} samples differ")

# The info line names the codec and the shuffling.
for name, want in (("UInt16_1_Normal_lz4_sh.xisf", "Kompression: lz4, Byte-Shuffling je 2 Bytes"),
                   ("Float32_3_Planar_zstd.xisf", "Kompression: zstd\n"),
                   ("UInt8_1_Planar_None.xisf", None)):
    out = run("info", name).stdout
    if (want not in out) if want else ("Kompression" in out):
        failures.append(f"{name} info: {out!r}")

# Keywords and properties reach the image's metadata.
grey = samples["UInt16"][1][:1].astype(np.uint16)
write_xisf("kw.xisf", grey, "UInt16",
           keywords=[("DATE-OBS", "'2026-12-08T21:34:10'", ""), ("CCD-TEMP", "-15.5", "C"),
                     ("COMMENT", "", "a comment & more")])
r = run("info", "kw.xisf")
for want in ("08/12/26", "-15.5", "120.5", "a comment & more"):
    if want not in r.stdout:
        failures.append(f"kw.xisf info lacks {want!r}: {r.stdout}")

# 2. Quillon's own XISF: an independent reading and the round trip.
rgb = samples["UInt16"][1].astype(np.int32) - 32768
fits.PrimaryHDU(rgb.astype(np.int16)).writeto("rgb.fits", overwrite=True)
original = convert("rgb.fits", "rgb.fts")
if run("convert", "rgb.fts", "rgb.xisf").returncode != 0:
    failures.append("writing rgb.xisf failed")
else:
    blob = open("rgb.xisf", "rb").read()
    n = struct.unpack("<I", blob[8:12])[0]
    root = ET.fromstring(blob[16:16 + n])
    ns = {"x": "http://www.pixinsight.com/xisf"}
    img = root.find("x:Image", ns)
    _, pos, size = img.get("location").split(":")
    block = blob[int(pos):int(pos) + int(size)]
    algo, digest = img.get("checksum").split(":")
    if hashlib.new(algo, block).hexdigest() != digest:
        failures.append("rgb.xisf: checksum")
    if img.get("compression"):
        block = zlib.decompress(block)
    values = np.frombuffer(block, "<u2").reshape(3, h, w).astype(np.int32) - 32768
    if not np.array_equal(values, rgb) or img.get("geometry") != f"{w}:{h}:3":
        failures.append("rgb.xisf: samples read here differ")
    names = {k.get("name"): k.get("value") for k in img.findall("x:FITSKeyword", ns)}
    if names.get("CIMGTYPE") != "RGB_IMAGE":
        failures.append(f"rgb.xisf keywords: {names}")
    back = convert("rgb.xisf", "rgb_back.fts")
    if back is not None and not np.array_equal(back, original):
        failures.append("rgb.xisf: round trip differs")

# 3. Damaged files.
bomb = (b'<?xml version="1.0"?>\n<!DOCTYPE xisf [<!ENTITY a "aaaaaaaaaa">'
        b'<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]>\n')
damaged = {
    "bomb.xisf": (dict(header_hook=lambda t: t.replace(b'<?xml version="1.0" encoding="UTF-8"?>\n',
                                                        bomb).replace(b'value="120.5"',
                                                                      b'value="&b;"')),
                  "Entity"),
    "external.xisf": (dict(header_hook=lambda t: t.replace(b"?>\n", b'?>\n<!DOCTYPE xisf SYSTEM '
                                                                    b'"file:///etc/passwd">\n', 1)),
                      "Entity"),
    "past_end.xisf": (dict(block_hook=lambda b: b[:-1]), "beschädigt"),
    "checksum.xisf": (dict(checksum="sha1", block_hook=lambda b: b[:-1] + bytes([b[-1] ^ 1])),
                      "Prüfsumme"),
    "size.xisf": (dict(codec="zlib", header_hook=lambda t: t.replace(b"zlib:1426", b"zlib:99999")),
                  "beschädigt"),
}
for name, (options, message) in damaged.items():
    write_xisf(name, grey, "UInt16", **options)
    r = run("convert", name, name + ".fts")
    if r.returncode == 0 or message not in r.stderr:
        failures.append(f"{name}: {r.returncode} {r.stderr.strip()}")

print(f"{cases} XISF files read")
if failures:
    print("\n".join(failures))
    sys.exit(1)
