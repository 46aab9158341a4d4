import re

import numpy as np
import pytest

import quorvane

POINTS = np.zeros((3, 3), dtype=np.float32)


@pytest.mark.parametrize("call, message", [
    (lambda: quorvane.Cloud(np.zeros(3, dtype=np.float32)), "points must be an N x 3 array, not of shape (3,)"),
    (lambda: quorvane.Cloud(np.zeros((4, 2))), "points must be an N x 3 array, not of shape (4, 2)"),
    (lambda: quorvane.Cloud(np.zeros((4, 3), dtype=np.int64)), "points must be float32 or float64, not int64"),
    (lambda: quorvane.Cloud(POINTS, colors=np.zeros((3, 3))), "colors must be uint8, not float64"),
    (lambda: quorvane.Cloud(POINTS, colors=np.zeros((2, 3), dtype=np.uint8)), "colors has 2 rows where points has 3"),
    (lambda: quorvane.Cloud(POINTS, normals=np.zeros((4, 3), dtype=np.float32)), "normals has 4 rows where points has 3"),
    (lambda: quorvane.Cloud(POINTS, reflectance=np.zeros(3, dtype=np.uint32)), "reflectance must be uint8 or uint16, not uint32"),
    (lambda: quorvane.Cloud(POINTS, reflectance=np.zeros(2, dtype=np.uint16)), "reflectance has 2 values where points has 3"),
    (lambda: quorvane.metrics(np.full((3, 3), np.nan), POINTS), "a has no point with finite coordinates"),
    (lambda: quorvane.metrics(POINTS, np.array([[0, 0, 1e30]])),
     "b: a coordinate of magnitude 1e+30 exceeds 4.61169e+18, beyond which squared distances "
     "overflow single precision"),
    (lambda: quorvane.metrics(POINTS, POINTS, resolution="vox9"),
     "resolution must be a number above 0, vox10 ... vox20 or lidar-1mm, not vox9"),
    (lambda: quorvane.metrics(POINTS, POINTS, resolution=-1.0),
     "resolution must be a number above 0, vox10 ... vox20 or lidar-1mm, not -1.0"),
    (lambda: quorvane.metrics(POINTS, POINTS, neighbors_proc=5), "neighbors_proc must be 0, 1, 2, 3 or 4, not 5"),
    (lambda: quorvane.metrics(POINTS, POINTS, threads=0), "threads must be a whole number from 1 to 1024, not 0"),
    (lambda: quorvane.metrics(POINTS, POINTS, color=True), "color=True but a has no colors"),
    (lambda: quorvane.metrics(POINTS, POINTS, normals=np.zeros((2, 3))), "normals has 2 rows where points has 3"),
    (lambda: quorvane.metrics(POINTS, POINTS, normals=quorvane.Cloud(POINTS)), "normals is a Cloud without normals"),
    (lambda: quorvane.bd_rate([(1, 30), (2, 33), (4, 36)], [(1, 31), (2, 34), (4, 37), (8, 40)]),
     "the anchor has 3 rate points with a positive rate and a finite PSNR; at least 4 are needed"),
    (lambda: quorvane.bd_psnr([(1, 30)] * 4, [(1, 30)] * 4, method="linear"),
     'method must be "pchip" or "cubic", not "linear"'),
])
def test_bad_input_raises_value_error_with_its_reason(call, message):
    with pytest.raises(ValueError, match="^" + re.escape(message) + "$"):
        call()


def test_files_that_cannot_be_read_are_named(tmp_path):
    with pytest.raises(FileNotFoundError, match="missing.ply"):
        quorvane.read_cloud(tmp_path / "missing.ply")
    short = tmp_path / "short.ply"
    short.write_bytes(b"ply\nformat binary_little_endian 1.0\nelement vertex 2\n"
                      b"property float x\nproperty float y\nproperty float z\nend_header\n" + bytes(12))
    with pytest.raises(ValueError, match="^" + re.escape(str(short)) + ": "):
        quorvane.metrics(short, POINTS)
    no_normals = tmp_path / "points.ply"
    no_normals.write_text("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                          "property float y\nproperty float z\nend_header\n0 0 0\n0 0 0\n0 0 0\n")
    with pytest.raises(ValueError, match=" has no normals "):
        quorvane.metrics(POINTS, POINTS, normals=no_normals)
