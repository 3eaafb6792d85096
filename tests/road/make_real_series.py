"""Wraps a real volume that a Debian package ships as a DICOM series laid out as
scanners, PACS exports and CDs lay them out, and writes what the converter
should make of it.

usage: make_real_series.py SOURCE LAYOUT OUT_DIR EXPECT_DIR C W
  SOURCE  ct   the head CT in invesalius-examples (every 4th of 108 slices)
          mr   the MR head template in mricron-data (every 8th slice, half size)
          epi  the oblique EPI in python3-nibabel's test data (first volume)
  LAYOUT  uid-names, vertex-first, interleaved, two-series, enhanced, padding,
          cd, ima, space
Writes the series under OUT_DIR and EXPECT_DIR/NNN.raw, the 8-bit slices the
window C,W gives (padding black), in anatomical order (first the slice that
comes first along the slice normal turned to the patient's left, back or
head). Prints the folder to list, relative to OUT_DIR.
Exit status 3: the package that ships SOURCE is not installed.
"""
import gzip
import io
import os
import random
import sys
import tarfile

import numpy
import pydicom
from pydicom.dataset import Dataset, FileDataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, generate_uid

CRANIUM = "/usr/share/doc/invesalius-examples/examples/Cranium.inv3"
CH2 = "/usr/share/mricron/templates/ch2.nii.gz"
CT_IMAGE = "1.2.840.10008.5.1.4.1.1.2"
ENHANCED_CT = "1.2.840.10008.5.1.4.1.1.2.1"
MR_IMAGE = "1.2.840.10008.5.1.4.1.1.4"


class Volume:
    """Slices as (rows, columns) arrays of modality values, with their geometry in LPS."""

    def __init__(self, slices, modality, row_dir, col_dir, spacing, positions, intercept):
        self.slices = slices
        self.modality = modality
        self.row_dir = row_dir  # direction of increasing column index
        self.col_dir = col_dir  # direction of increasing row index
        self.spacing = spacing  # between rows, between columns
        self.positions = positions
        self.intercept = intercept  # stored = value - intercept


def missing(package):
    print("%s is not installed" % package, file=sys.stderr)
    sys.exit(3)


def head_ct():
    if not os.path.exists(CRANIUM):
        missing("invesalius-examples")
    with tarfile.open(CRANIUM) as archive:
        member = next(m for m in archive.getmembers() if m.name.endswith("matrix.dat"))
        data = numpy.frombuffer(archive.extractfile(member).read(), "<i2").reshape(108, 256, 256)
    picked = range(0, 108, 4)
    slices = [data[k].astype(numpy.int32) for k in picked]
    positions = [(-122.5, -122.5, 1.5 * k) for k in picked]
    return Volume(slices, "CT", (1, 0, 0), (0, 1, 0), (0.957031, 0.957031), positions, -1024)


def from_nifti(image, picked, step, modality, intercept):
    affine = image.affine.copy()
    affine[:3, 0] *= step
    affine[:3, 1] *= step
    lps = numpy.diag([-1.0, -1.0, 1.0])
    columns = lps @ affine[:3, 0]  # increasing i: along a row
    rows = lps @ affine[:3, 1]
    data = numpy.asarray(image.dataobj)
    if data.ndim == 4:
        data = data[..., 0]
    slices, positions = [], []
    for k in picked:
        slices.append(data[::step, ::step, k].T.astype(numpy.int32))
        positions.append(tuple(lps @ (affine @ numpy.array([0, 0, k, 1.0]))[:3]))
    return Volume(slices, modality, tuple(columns / numpy.linalg.norm(columns)),
                  tuple(rows / numpy.linalg.norm(rows)),
                  (float(numpy.linalg.norm(rows)), float(numpy.linalg.norm(columns))), positions,
                  intercept)


def mr_head():
    import nibabel
    if not os.path.exists(CH2):
        missing("mricron-data")
    image = nibabel.load(CH2)
    return from_nifti(image, range(20, 181, 8), 2, "MR", 0)


def epi():
    import nibabel
    path = os.path.join(os.path.dirname(nibabel.__file__), "tests", "data", "example4d.nii.gz")
    image = nibabel.load(path)
    return from_nifti(image, range(24), 1, "MR", -2000)


def anatomical_order(volume):
    normal = numpy.cross(volume.row_dir, volume.col_dir)
    if normal[numpy.argmax(numpy.abs(normal))] < 0:
        normal = -normal
    return sorted(range(len(volume.slices)), key=lambda k: numpy.dot(volume.positions[k], normal))


def windowed(values, centre, width):
    values = values.astype(numpy.float64)
    grey = ((values - (centre - 0.5)) / (width - 1) + 0.5) * 255
    grey = numpy.clip(grey, 0, 255).astype(numpy.uint8)
    grey[values <= centre - 0.5 - (width - 1) / 2] = 0
    grey[values > centre - 0.5 + (width - 1) / 2] = 255
    return grey


def base_dataset(volume, series_uid, number, description, sop_class):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = sop_class
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = FileDataset(None, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.SOPClassUID = sop_class
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = volume.modality
    ds.SeriesInstanceUID = series_uid
    ds.SeriesNumber = number
    ds.SeriesDescription = description
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.Rows, ds.Columns = volume.slices[0].shape
    ds.BitsAllocated = 16
    ds.BitsStored = 16
    ds.HighBit = 15
    ds.PixelRepresentation = 1
    ds.RescaleIntercept = volume.intercept
    ds.RescaleSlope = 1
    return ds


def image_file(volume, k, series_uid, number, instance, description="head"):
    ds = base_dataset(volume, series_uid, number, description,
                      CT_IMAGE if volume.modality == "CT" else MR_IMAGE)
    ds.InstanceNumber = instance
    ds.ImagePositionPatient = [round(float(v), 4) for v in volume.positions[k]]
    ds.ImageOrientationPatient = [round(float(v), 6) for v in volume.row_dir + volume.col_dir]
    ds.PixelSpacing = [round(v, 6) for v in volume.spacing]
    ds.PixelData = (volume.slices[k] - volume.intercept).astype("<i2").tobytes()
    return ds


def write_files(volume, folder, names, numbers, series_uid=None, number=2, description="head"):
    os.makedirs(folder, exist_ok=True)
    series_uid = series_uid or generate_uid()
    for k, name in enumerate(names):
        image_file(volume, k, series_uid, number, numbers[k], description).save_as(
            os.path.join(folder, name), write_like_original=False)


def enhanced(volume, folder):
    """One Enhanced CT/MR file, its frames stored top first, the rescale and
    window in the shared functional groups."""
    os.makedirs(folder, exist_ok=True)
    ds = base_dataset(volume, generate_uid(), 2, "enhanced",
                      ENHANCED_CT if volume.modality == "CT" else "1.2.840.10008.5.1.4.1.1.4.1")
    del ds.RescaleIntercept, ds.RescaleSlope
    order = list(reversed(range(len(volume.slices))))
    ds.NumberOfFrames = len(order)
    shared = Dataset()
    measures = Dataset()
    measures.PixelSpacing = [round(v, 6) for v in volume.spacing]
    measures.SliceThickness = 1
    shared.PixelMeasuresSequence = Sequence([measures])
    plane = Dataset()
    plane.ImageOrientationPatient = [round(float(v), 6) for v in volume.row_dir + volume.col_dir]
    shared.PlaneOrientationSequence = Sequence([plane])
    transform = Dataset()
    transform.RescaleIntercept = volume.intercept
    transform.RescaleSlope = 1
    transform.RescaleType = "HU" if volume.modality == "CT" else "US"
    shared.PixelValueTransformationSequence = Sequence([transform])
    ds.SharedFunctionalGroupsSequence = Sequence([shared])
    frames = []
    for k in order:
        group = Dataset()
        position = Dataset()
        position.ImagePositionPatient = [round(float(v), 4) for v in volume.positions[k]]
        group.PlanePositionSequence = Sequence([position])
        frames.append(group)
    ds.PerFrameFunctionalGroupsSequence = Sequence(frames)
    ds.PixelData = numpy.stack([volume.slices[k] - volume.intercept for k in order]).astype(
        "<i2").tobytes()
    ds.save_as(os.path.join(folder, "ENHANCED.dcm"), write_like_original=False)


def with_padding(volume):
    """The CT as a scanner with a round field of view stores it: -2000 outside
    (Pixel Padding Value), 12 bits stored, and overlay bits above them in a band."""
    rows, columns = volume.slices[0].shape
    y, x = numpy.ogrid[:rows, :columns]
    outside = (y - rows / 2) ** 2 + (x - columns / 2) ** 2 > (0.45 * rows) ** 2
    return outside


def padded_files(volume, folder):
    os.makedirs(folder, exist_ok=True)
    outside = with_padding(volume)
    series_uid = generate_uid()
    for k in range(len(volume.slices)):
        ds = image_file(volume, k, series_uid, 2, k + 1)
        stored = numpy.clip(volume.slices[k] - volume.intercept, -2047, 2047)
        stored[outside] = -2000 - volume.intercept
        patterns = stored.astype("<i2").view("<u2") & 0x0FFF
        patterns[10:20, :] |= 0x2000  # an overlay plane above the stored bits
        ds.BitsStored = 12
        ds.HighBit = 11
        ds.PixelPaddingValue = -2000 - volume.intercept
        ds.PixelData = patterns.astype("<u2").tobytes()
        ds.save_as(os.path.join(folder, "IM%04d.dcm" % (k + 1)), write_like_original=False)
    return outside


def base36(number, width):
    digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    text = ""
    while number:
        number, rest = divmod(number, 36)
        text = digits[rest] + text
    return text.rjust(width, "0")


def main():
    source, layout, out_dir, expect_dir = sys.argv[1:5]
    centre, width = float(sys.argv[5]), float(sys.argv[6])
    volume = {"ct": head_ct, "mr": mr_head, "epi": epi}[source]()
    count = len(volume.slices)
    random.seed(16)
    folder = {"cd": "CD", "space": "CT Head"}.get(layout, "scan")
    path = os.path.join(out_dir, folder)
    top_first = sorted(range(count), key=lambda k: -anatomical_order(volume).index(k))
    outside = None
    if layout == "uid-names":
        names = ["%s.dcm" % generate_uid() for _ in range(count)]
        write_files(volume, path, names, list(range(1, count + 1)))
    elif layout in ("vertex-first", "space"):
        rank = {k: i for i, k in enumerate(top_first)}
        write_files(volume, path, ["IM-0001-%04d.dcm" % (rank[k] + 1) for k in range(count)],
                    [rank[k] + 1 for k in range(count)])
    elif layout == "interleaved":
        odd_first = [k for k in range(count) if k % 2 == 0] + [k for k in range(count) if k % 2]
        number = {k: i + 1 for i, k in enumerate(odd_first)}
        write_files(volume, path, ["IM-0001-%04d.dcm" % number[k] for k in range(count)],
                    [number[k] for k in range(count)])
    elif layout == "two-series":
        write_files(volume, path, ["IM%04d" % (k + 1) for k in range(count)],
                    list(range(1, count + 1)), number=2, description="head")
        write_files(volume, path, ["IM%04d" % (count + k + 1) for k in range(count)],
                    list(range(1, count + 1)), number=3, description="head again")
    elif layout == "enhanced":
        enhanced(volume, path)
    elif layout == "padding":
        outside = padded_files(volume, path)
    elif layout == "cd":
        images = os.path.join(path, "DICOM", "S0000001")
        write_files(volume, images, ["IM" + base36(10 + k, 6) for k in range(count)],
                    list(range(1, count + 1)))
        index = Dataset()
        index.file_meta = FileMetaDataset()
        index.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.1.3.10"
        index.file_meta.MediaStorageSOPInstanceUID = generate_uid()
        index.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
        index.FileSetID = "CD"
        pydicom.dcmwrite(os.path.join(path, "DICOMDIR"), FileDataset(
            None, index, file_meta=index.file_meta, preamble=b"\0" * 128),
            write_like_original=False)
        folder = os.path.join("CD", "DICOM", "S0000001")
    elif layout == "ima":
        write_files(volume, path, ["HEAD.CT.STUDY.0002.%04d.2026.12.09.%s.IMA" %
                                   (k + 1, generate_uid()) for k in range(count)],
                    list(range(1, count + 1)))
    else:
        sys.exit("unknown layout " + layout)
    os.makedirs(expect_dir, exist_ok=True)
    for rank, k in enumerate(anatomical_order(volume)):
        grey = windowed(volume.slices[k], centre, width)
        if outside is not None:
            grey[outside] = 0
        grey.tofile(os.path.join(expect_dir, "%03d.raw" % (rank + 1)))
    rows, columns = volume.slices[0].shape
    print(rows, columns, count, folder)


main()
