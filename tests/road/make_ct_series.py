"""Writes a short series of slice files made from the real CT image that
Debian's python3-pydicom ships: slice k is the image with its samples scaled
and shifted, converted by DCMTK to implicit-VR little endian without a meta
header (explicit lengths, so sequences are skipped as whole values).

usage: make_ct_series.py SERIES_DIR EXPECT_DIR SLICES
Writes SERIES_DIR/IM.1 ... and EXPECT_DIR/IM.k.raw (the int16 samples, little
endian), and prints "rows columns" of the image.
"""
import os
import subprocess
import sys
import tempfile

import numpy
import pydicom.data


def main():
    series_dir, expect_dir, slices = sys.argv[1], sys.argv[2], int(sys.argv[3])
    source = pydicom.data.get_testdata_file("CT_small.dcm")
    os.makedirs(series_dir, exist_ok=True)
    os.makedirs(expect_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        for k in range(slices):
            ds = pydicom.dcmread(source)
            base = ds.pixel_array.astype(numpy.int32)
            samples = numpy.clip(base * (k + 1) // 2 - 700 + 130 * k, -32768, 32767)
            samples = samples.astype("<i2")
            ds.PixelData = samples.tobytes()
            part10 = os.path.join(scratch, f"slice{k + 1}.dcm")
            ds.save_as(part10)
            subprocess.run(["dcmconv", "+ti", "-F", "+e", part10,
                            os.path.join(series_dir, f"IM.{k + 1}")], check=True)
            samples.tofile(os.path.join(expect_dir, f"IM.{k + 1}.raw"))
    print(ds.Rows, ds.Columns)


main()
