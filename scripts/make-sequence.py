#!/usr/bin/python3
"""Writes a small dynamic sequence to try the sequence tools on: a scan turning about its
vertical axis and moving along x, frame after frame, rescanned with a little noise each time
(0.5 mm, from a fixed seed), as binary PCD files frame_000.pcd, frame_001.pcd, ... with the
scan's colours.
    make-sequence.py SOURCE OUT_DIR [FRAMES (default 24) [POINTS]]
POINTS keeps that many of the scan's points, evenly spaced in its order (default: all).
SOURCE is a PCD or PLY scan, read by the quorvane module (PYTHONPATH=build/python)."""
import os
import sys

import numpy as np

import quorvane


def write_pcd(path, points, colors):
    rgb = (colors[:, 0].astype(np.uint32) << 16) | (colors[:, 1].astype(np.uint32) << 8) | colors[:, 2]
    rows = np.zeros(len(points), dtype=[("x", "<f4"), ("y", "<f4"), ("z", "<f4"), ("rgb", "<u4")])
    rows["x"], rows["y"], rows["z"], rows["rgb"] = points[:, 0], points[:, 1], points[:, 2], rgb
    with open(path, "wb") as pcd:
        pcd.write((f"VERSION 0.7\nFIELDS x y z rgb\nSIZE 4 4 4 4\nTYPE F F F U\nCOUNT 1 1 1 1\n"
                   f"WIDTH {len(points)}\nHEIGHT 1\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS {len(points)}\n"
                   f"DATA binary\n").encode())
        pcd.write(rows.tobytes())


def main():
    if len(sys.argv) not in (3, 4, 5):
        sys.exit(__doc__)
    scan = quorvane.read_cloud(sys.argv[1])
    frames = int(sys.argv[3]) if len(sys.argv) >= 4 else 24
    kept = np.arange(len(scan))
    if len(sys.argv) == 5:
        kept = np.linspace(0, len(scan) - 1, min(int(sys.argv[4]), len(scan))).astype(np.int64)
    points = scan.points[kept]
    colors = scan.colors[kept] if scan.colors is not None else np.full(points.shape, 128, np.uint8)
    centre = points.mean(axis=0)
    random = np.random.default_rng(1)
    os.makedirs(sys.argv[2], exist_ok=True)
    for frame in range(frames):
        angle = np.radians(3.0 * frame)
        turn = np.array([[np.cos(angle), 0, np.sin(angle)], [0, 1, 0], [-np.sin(angle), 0, np.cos(angle)]])
        moved = (points - centre) @ turn.T + centre + [0.01 * frame, 0, 0]
        moved += random.normal(0.0, 0.0005, moved.shape)
        write_pcd(os.path.join(sys.argv[2], f"frame_{frame:03d}.pcd"), moved.astype(np.float32), colors)


if __name__ == "__main__":
    main()
