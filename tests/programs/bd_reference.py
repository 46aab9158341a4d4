#!/usr/bin/python3
"""Checks quorvane-bd against an independent computation of the Bjontegaard deltas with
scipy's PCHIP (PchipInterpolator.integrate) and numpy's cubic polyfit, on irregular curves that
overlap in part, bend both ways and are given out of order.
    bd_reference.py QUORVANE_BD"""
import csv
import io
import math
import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy.interpolate import PchipInterpolator

# family -> [(bpp, d1, d2, y)], y None for a family without colour
FAMILIES = {
    "anchor": [(0.31, 33.1, 37.0, 24.2), (0.12, 28.4, 31.9, 21.0), (1.9, 44.7, 48.2, 30.9),
               (0.77, 38.2, 41.5, 27.8), (4.6, 49.0, 53.3, 31.6)],
    "better": [(0.09, 29.9, 33.0, 22.5), (0.2, 33.8, 36.6, 25.1), (0.55, 39.9, 42.8, 28.0),
               (1.1, 43.3, 47.9, 29.1), (2.9, 50.2, 52.0, 32.4), (6.0, 52.0, 55.1, 33.0)],
    "bent": [(0.4, 30.0, 40.2, None), (0.45, 37.5, 40.9, None), (2.5, 38.1, 47.0, None),
             (3.0, 47.0, 50.5, None)],
}


def delta(anchor, test, rate, fit):
    """Mean difference of the test against the anchor: in log10 rate over PSNR for a
    BD-rate (as a percentage), in PSNR over log10 rate otherwise."""
    def samples(points):
        xy = sorted((q, math.log10(r)) if rate else (math.log10(r), q) for r, q in points)
        return np.array([p[0] for p in xy]), np.array([p[1] for p in xy])
    (xa, ya), (xb, yb) = samples(anchor), samples(test)
    low, high = max(xa[0], xb[0]), min(xa[-1], xb[-1])
    if fit:
        integral = [np.polyval(np.polyint(np.polyfit(x, y, 3)), high) -
                    np.polyval(np.polyint(np.polyfit(x, y, 3)), low) for x, y in ((xa, ya), (xb, yb))]
    else:
        integral = [PchipInterpolator(x, y).integrate(low, high) for x, y in ((xa, ya), (xb, yb))]
    mean = (integral[1] - integral[0]) / (high - low)
    return (10 ** mean - 1) * 100 if rate else mean


def main():
    with tempfile.NamedTemporaryFile("w", suffix=".csv", delete=False) as rd:
        rd.write("profile,bpp,d1_psnr,d2_psnr,y_psnr,encode_seconds,decode_seconds,family\n")
        for family, points in FAMILIES.items():
            for i, (bpp, d1, d2, y) in enumerate(points):
                rd.write(f"{family}{i},{bpp},{d1},{d2},{'' if y is None else y},0,0,{family}\n")
    table = subprocess.run([sys.argv[1], "--anchor", "anchor", rd.name], check=True,
                           capture_output=True, text=True)
    os.unlink(rd.name)
    rows = list(csv.DictReader(io.StringIO(table.stdout)))
    assert len(rows) == 6, table.stdout
    checked = 0
    for row in rows:
        metric = {"d1_psnr": 1, "d2_psnr": 2, "y_psnr": 3}[row["metric"]]
        curve = lambda f: [(p[0], p[metric]) for p in FAMILIES[f]]
        if FAMILIES[row["family"]][0][metric] is None:
            assert row["bd_rate_percent"] == "" and "0 rate points" in row["reason"], row
            continue
        for column, rate, fit in (("bd_rate_percent", True, False), ("bd_psnr_db", False, False),
                                  ("bd_rate_cubic_fit_percent", True, True),
                                  ("bd_psnr_cubic_fit_db", False, True)):
            want = delta(curve("anchor"), curve(row["family"]), rate, fit)
            got = float(row[column])
            assert abs(got - want) <= 1e-6 * max(1.0, abs(want)), (row["family"], row["metric"],
                                                                    column, got, want)
            checked += 1
    assert checked == 5 * 4, checked
    print(f"{checked} deltas agree with scipy's PCHIP and numpy's cubic fit")


if __name__ == "__main__":
    main()
