import math
import os

import numpy as np
import pytest

import quorvane
from conftest import SOURCE, metrics_json


def assert_same(python, cli):
    """The module's values are the program's, bit for bit; JSON's null stands for None and for
    an infinite PSNR."""
    assert python.keys() == cli.keys()
    for name, value in python.items():
        if value is None or math.isinf(value):
            assert cli[name] is None, name
        else:
            assert value == cli[name], name


def write_normals(path, points, normals):
    with open(path, "w") as ply:
        ply.write(f"ply\nformat ascii 1.0\nelement vertex {len(points)}\n")
        ply.write("".join(f"property float {p}\n" for p in ("x", "y", "z", "nx", "ny", "nz")))
        ply.write("end_header\n")
        for point, normal in zip(points, normals):
            ply.write(" ".join("%.9g" % v for v in (*point, *normal)) + "\n")


def test_gives_the_programs_numbers_on_the_shipped_scans_through_two_codecs(pairs, tmp_path):
    random = np.random.default_rng(7)
    for a, b in pairs:
        assert_same(quorvane.metrics(a, b, hausdorff=True),
                    metrics_json(tmp_path, a, b, "-c", "-d"))
        # D2 on normals given apart from the original, as pc_error's -n gives them.
        original = quorvane.read_cloud(a)
        normals = random.normal(size=original.points.shape).astype(np.float32)
        write_normals(tmp_path / "normals.ply", original.points, normals)
        for options, keywords in ((["--mseSpace", "8", "-r", "vox10"], dict(mse_space=8, resolution="vox10")),
                                  (["--dropdups", "1", "--neighborsProc", "2", "-s"],
                                   dict(dropdups=1, neighbors_proc=2, single_pass=True))):
            python = quorvane.metrics(original, b, normals=normals, hausdorff=False, **keywords)
            assert python["d2_psnr_ab"] is not None
            assert_same(python, metrics_json(tmp_path, a, b, "-c", "-n", str(tmp_path / "normals.ply"), *options))


def test_files_read_clouds_and_plain_arrays_give_the_same_numbers(pairs):
    a, b = pairs[2]
    from_files = quorvane.metrics(a, b)
    original, decoded = quorvane.read_cloud(a), quorvane.read_cloud(b)
    assert original.colors is not None and original.points.dtype == np.float32
    assert quorvane.metrics(original, decoded) == from_files
    assert quorvane.Cloud(original.points).points is original.points
    # Float64, Fortran order and strided views are read in place.
    copies = [quorvane.Cloud(np.asfortranarray(cloud.points.astype(np.float64)),
                             colors=np.repeat(cloud.colors, 2, axis=0)[::2])
              for cloud in (original, decoded)]
    assert quorvane.metrics(*copies) == from_files
    geometry = quorvane.metrics(original.points, decoded.points, threads=1)
    assert geometry["y_psnr"] is None
    assert {k: v for k, v in geometry.items() if v is not None} == \
        {k: v for k, v in from_files.items() if v is not None and k[0] not in "ycrgb"}


def test_a_hand_worked_pair():
    # One point of three moves 0.5 along its normal (0, 0, 1); the decoded cloud repeats a point.
    a = quorvane.Cloud(np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0]], dtype=np.float32),
                       normals=np.array([[0, 0, 1]] * 3, dtype=np.float32))
    b = np.array([[0, 0, 0.5], [1, 0, 0], [0, 1, 0], [1, 0, 0]])
    values = quorvane.metrics(a, b, resolution=1)
    assert (values["original_points"], values["decoded_points"], values["decoded_unique_points"]) == (3, 4, 3)
    for metric in ("d1", "d2"):
        assert values[metric + "_mse"] == pytest.approx(0.25 / 3, rel=1e-7)
        # pc_error's PSNR: 10 log10(3 peak^2 / MSE) = 10 log10(36)
        assert values[metric + "_psnr"] == pytest.approx(15.563025007672874, rel=1e-9)
    assert values["hausdorff"] == 0.5
    assert values["hausdorff_psnr"] == pytest.approx(10 * math.log10(12), rel=1e-9)
    lossless = quorvane.metrics(a, a.points, resolution="vox10")
    assert lossless["d1_mse"] == 0.0 and lossless["d1_psnr"] == math.inf
    assert lossless["peak"] == 1023.0


def test_non_finite_points_are_dropped_with_their_colours_and_normals():
    points = np.array([[0, 0, 0], [np.nan, 0, 0], [1, 0, 0], [0, np.inf, 0], [0, 1, 0]], dtype=np.float32)
    colors = np.array([[9, 9, 9], [0, 0, 0], [9, 9, 9], [0, 0, 0], [9, 9, 9]], dtype=np.uint8)
    normals = np.array([[0, 0, 1], [1, 0, 0], [0, 0, 1], [1, 0, 0], [0, 0, 1]], dtype=np.float32)
    finite = [0, 2, 4]
    b = quorvane.Cloud(np.array([[0, 0, 0.5], [1, 0, 0], [0, 1, 0]], dtype=np.float32), colors[finite])
    given = quorvane.metrics(quorvane.Cloud(points, colors, normals), b, resolution=1)
    assert given["original_points"] == 3
    assert given == quorvane.metrics(quorvane.Cloud(points[finite], colors[finite], normals[finite]), b,
                                     resolution=1)
    assert given["y_mse"] == 0.0


def test_every_thread_count_gives_the_same_numbers(pairs):
    a, b = pairs[7]
    once = quorvane.metrics(a, b, threads=1)
    assert quorvane.metrics(a, b, threads=2) == once == quorvane.metrics(a, b, threads=5)


def test_reflectance_from_files_and_arrays_is_the_programs(tmp_path):
    lidar = os.path.join(SOURCE, "tests", "data", "pc-error", "lidar")
    a, b = os.path.join(lidar, "original.ply"), os.path.join(lidar, "decoded.ply")
    cli = metrics_json(tmp_path, a, b, "-l", "1", "-d", "1", "-r", "30000")
    assert cli["reflectance_psnr"] is not None
    assert_same(quorvane.metrics(a, b, lidar=True, resolution=30000), cli)
    original, decoded = quorvane.read_cloud(a), quorvane.read_cloud(b)
    assert original.reflectance.dtype == np.uint16 and len(original.reflectance) == len(original)
    # lidar=None compares reflectance because both clouds have it.
    assert_same(quorvane.metrics(original, decoded, resolution=30000), cli)
    assert quorvane.metrics(original, decoded, lidar=False, resolution=30000)["reflectance_mse"] is None
    with pytest.raises(ValueError, match="^lidar=True but b has no reflectance$"):
        quorvane.metrics(original, decoded.points, lidar=True)


def test_a_hand_worked_reflectance_pair():
    # Reflectance 100 and 200 against 100 and 260 at the same places: MSE 60^2 / 2 both ways.
    points = np.array([[0, 0, 0], [2, 0, 0]], dtype=np.float32)
    a = quorvane.Cloud(points, reflectance=np.array([100, 200], dtype=np.uint8))
    b = quorvane.Cloud(points, reflectance=np.array([100, 260], dtype=np.uint16))
    values = quorvane.metrics(a, b)
    assert values["reflectance_mse"] == 1800.0
    assert values["reflectance_psnr"] == pytest.approx(10 * math.log10(65535 ** 2 / 1800), rel=1e-12)
    assert values["reflectance_hausdorff"] == 60.0
