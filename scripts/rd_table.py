#!/usr/bin/python3
"""The rows of rd-sweep.sh's rd.csv, read from quorvane-eval's CSV files as RFC 4180 writes them.
    rd_table.py items PROFILE FAMILY ENCODE_S DECODE_S CSV
        one row per item: the sequences of a sequences.csv, or the clouds of a metrics.csv
        (every row but "all"), as profile,item,bpp,geometry_bpp,colour_bpp,d1_psnr,d2_psnr,
        y_psnr,encode_seconds,decode_seconds,family
    rd_table.py means RD_CSV
        the curve that common test conditions draw: for each profile, the mean over the items
        of bpp and of each PSNR over the items that have a finite one (Y over the clouds with
        colour; a lossless item's infinite PSNR cannot be drawn; inf when every item's is), as
        profile,bpp,d1_psnr,d2_psnr,y_psnr,encode_seconds,decode_seconds,family,geometry_bpp,
        colour_bpp"""
import csv
import math
import sys

ITEM_COLUMNS = ["bpp", "geometry_bpp", "colour_bpp", "d1_psnr", "d2_psnr", "y_psnr"]


def items(profile, family, encode, decode, path):
    out = csv.writer(sys.stdout, lineterminator="\n")
    with open(path, newline="") as table:
        for row in csv.DictReader(table):
            name = row.get("sequence", row.get("file"))
            if name == "all":
                continue
            out.writerow([profile, name] + [row.get(c, "") for c in ITEM_COLUMNS] +
                         [encode, decode, family])


def mean(values):
    try:
        numbers = [float(v) for v in values if v != ""]
    except ValueError:
        return ""
    finite = [n for n in numbers if math.isfinite(n)]
    if not finite:
        return "inf" if any(math.isinf(n) for n in numbers) else ""
    return "%.9g" % (sum(finite) / len(finite))


def means(path):
    profiles = {}
    with open(path, newline="") as table:
        for row in csv.DictReader(table):
            profiles.setdefault(row["profile"], []).append(row)
    out = csv.writer(sys.stdout, lineterminator="\n")
    for profile, rows in profiles.items():
        out.writerow([profile] + [mean([r[c] for r in rows]) for c in ("bpp", "d1_psnr", "d2_psnr", "y_psnr")] +
                     [rows[0]["encode_seconds"], rows[0]["decode_seconds"], rows[0]["family"]] +
                     [mean([r[c] for r in rows]) for c in ("geometry_bpp", "colour_bpp")])


if __name__ == "__main__":
    if sys.argv[1:2] == ["items"] and len(sys.argv) == 7:
        items(*sys.argv[2:])
    elif sys.argv[1:2] == ["means"] and len(sys.argv) == 3:
        means(sys.argv[2])
    else:
        sys.exit(__doc__)
