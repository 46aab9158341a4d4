"""What the tests share: the programs built beside the module, and datasets of the shipped scans
built by quorvane-dataset through two profiles."""
import json
import os
import subprocess

import pytest

SOURCE = os.environ["QUORVANE_SOURCE"]
METRICS = os.environ["QUORVANE_METRICS"]
DATASET = os.environ["QUORVANE_DATASET"]


@pytest.fixture(scope="session")
def pairs(tmp_path_factory):
    """(original, decoded) paths of every shipped scan through PCL's octree codec and Draco."""
    work = tmp_path_factory.mktemp("datasets")
    found = []
    for name, options in (("octree", ["--profile", "med-offline-color"]), ("draco", ["--codec", "draco"])):
        subprocess.run([DATASET, *options, "--output", str(work / name),
                        os.path.join(SOURCE, "data", "clouds")], check=True, capture_output=True)
        root = work / name / "quorvane"
        for original in sorted((root / "pcd_binary_original").glob("*.pcd")):
            found.append((str(original), str(root / "octree_uncompressed" / original.name)))
    assert len(found) == 10
    return found


def metrics_json(work, a, b, *options):
    """quorvane-metrics --json's values for the pair, without its version and options."""
    path = work / "values.json"
    subprocess.run([METRICS, "-a", a, "-b", b, "--json", str(path), *options], check=True,
                   capture_output=True)
    with open(path) as values:
        found = json.load(values)
    del found["version"], found["options"]
    return found
