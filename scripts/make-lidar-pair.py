#!/usr/bin/python3
"""Writes a small LiDAR-like pair for the reflectance reference data: a spinning scanner's rings
over a ground plane and two walls (millimetres), each return with a uint16 reflectance, and a
decoded cloud of it: every point moved by up to a few millimetres, its reflectance coarsened to
multiples of 64 with noise, some points dropped and some written twice (duplicates to merge,
with different reflectance). From fixed seeds; binary little-endian PLY, x y z as float and
reflectance as uint16.
    make-lidar-pair.py OUT_DIR"""
import os
import sys

import numpy as np


def write_ply(path, points, reflectance):
    rows = np.zeros(len(points), dtype=[("x", "<f4"), ("y", "<f4"), ("z", "<f4"), ("r", "<u2")])
    rows["x"], rows["y"], rows["z"], rows["r"] = points[:, 0], points[:, 1], points[:, 2], reflectance
    with open(path, "wb") as ply:
        ply.write((f"ply\nformat binary_little_endian 1.0\nelement vertex {len(points)}\n"
                   "property float x\nproperty float y\nproperty float z\n"
                   "property uint16 reflectance\nend_header\n").encode())
        ply.write(rows.tobytes())


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    random = np.random.default_rng(30000)
    rings, azimuths = 16, 160
    elevation = np.radians(np.linspace(-15.0, -1.0, rings))[:, None]
    azimuth = np.radians(np.linspace(0.0, 360.0, azimuths, endpoint=False))[None, :]
    direction = np.stack(np.broadcast_arrays(np.cos(elevation) * np.cos(azimuth),
                                             np.cos(elevation) * np.sin(azimuth),
                                             np.sin(elevation) * np.ones_like(azimuth)), axis=-1).reshape(-1, 3)
    # The ground 1.8 m below the sensor, walls at x = 12 m and y = -9 m, whichever is nearest.
    distances = np.full(len(direction), np.inf)
    for normal, offset in (([0, 0, -1], 1800.0), ([1, 0, 0], 12000.0), ([0, -1, 0], 9000.0)):
        along = direction @ np.array(normal, float)
        with np.errstate(divide="ignore"):
            hit = np.where(along > 1e-6, offset / along, np.inf)
        distances = np.minimum(distances, hit)
    distances = np.minimum(distances, 40000.0) + random.normal(0.0, 5.0, len(direction))
    original = (direction * distances[:, None]).astype(np.float32)
    reflectance = np.clip(40000.0 - distances + random.normal(0, 2000, len(direction)), 0, 65535)
    reflectance = reflectance.astype(np.uint16)

    kept = random.random(len(original)) > 0.05
    decoded = original[kept] + random.normal(0.0, 3.0, (kept.sum(), 3)).astype(np.float32)
    decoded_reflectance = np.clip((reflectance[kept] // 64) * 64 + random.integers(-100, 100, kept.sum()),
                                  0, 65535).astype(np.uint16)
    twice = random.random(len(decoded)) < 0.05
    decoded = np.concatenate([decoded, decoded[twice]])
    decoded_reflectance = np.concatenate([decoded_reflectance, decoded_reflectance[twice] // 3 + 7])
    os.makedirs(sys.argv[1], exist_ok=True)
    write_ply(os.path.join(sys.argv[1], "original.ply"), original, reflectance)
    write_ply(os.path.join(sys.argv[1], "decoded.ply"), decoded, decoded_reflectance)


if __name__ == "__main__":
    main()
