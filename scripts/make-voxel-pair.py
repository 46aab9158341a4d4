#!/usr/bin/python3
"""Writes a small voxelized pair for the reference data on ties: a shipped scan voxelized to a
BITS-bit grid (one point a voxel, the first point's colour), with normals fitted by PCA to each
point's 12 nearest (scipy) and turned towards a viewpoint, and a decoded cloud of it on the grid of one bit less (every coordinate rounded
to an even one, so that positions repeat and neighbours tie) with its colours changed by up to
20 levels (a fixed seed), so that which tied neighbour is chosen shows in the colour errors. Binary little-endian PLY: x y z as
float, red green blue as uchar, and nx ny nz for the original.
    make-voxel-pair.py SCAN OUT_DIR BITS"""
import os
import sys

import numpy as np
from scipy.spatial import cKDTree

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "build", "python"))


def read_points(path):
    import quorvane
    cloud = quorvane.read_cloud(path)
    return cloud.points.astype(np.float64), cloud.colors


def write_ply(path, points, colors, normals=None):
    fields = [("x", "<f4"), ("y", "<f4"), ("z", "<f4"), ("r", "u1"), ("g", "u1"), ("b", "u1")]
    if normals is not None:
        fields += [("nx", "<f4"), ("ny", "<f4"), ("nz", "<f4")]
    rows = np.zeros(len(points), dtype=fields)
    rows["x"], rows["y"], rows["z"] = points.T
    rows["r"], rows["g"], rows["b"] = colors.T
    header = (f"ply\nformat binary_little_endian 1.0\nelement vertex {len(points)}\n"
              "property float x\nproperty float y\nproperty float z\n"
              "property uchar red\nproperty uchar green\nproperty uchar blue\n")
    if normals is not None:
        rows["nx"], rows["ny"], rows["nz"] = normals.T
        header += "property float nx\nproperty float ny\nproperty float nz\n"
    with open(path, "wb") as ply:
        ply.write((header + "end_header\n").encode())
        ply.write(rows.tobytes())


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    top = 2 ** int(sys.argv[3]) - 1
    points, colors = read_points(sys.argv[1])
    low = points.min(axis=0)
    voxels = np.round((points - low) / (points.max(axis=0) - low).max() * top)
    _, first = np.unique(voxels, axis=0, return_index=True)
    first.sort()
    original, colors = voxels[first], colors[first]
    _, neighbours = cKDTree(original).query(original, k=12)
    normals = np.zeros_like(original)
    for i, near in enumerate(neighbours):
        patch = original[near] - original[near].mean(axis=0)
        normals[i] = np.linalg.svd(patch, full_matrices=False)[2][-1]
    # Turned towards a viewpoint, as scanners' normals are: opposite normals of neighbours would
    # cancel where they are carried to a decoded point.
    normals[np.einsum("ij,ij->i", normals, [-1000.0, -1000.0, -1000.0] - original) < 0] *= -1
    decoded = np.round(original / 2) * 2
    noise = np.random.default_rng(10).integers(-20, 21, colors.shape)
    decoded_colors = np.clip(colors.astype(int) + noise, 0, 255).astype(np.uint8)
    os.makedirs(sys.argv[2], exist_ok=True)
    write_ply(os.path.join(sys.argv[2], "original.ply"), original, colors, normals)
    write_ply(os.path.join(sys.argv[2], "decoded.ply"), decoded, decoded_colors)


if __name__ == "__main__":
    main()
