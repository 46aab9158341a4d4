import os
import sys

import pytest

import quorvane
from conftest import SOURCE

sys.path.insert(0, os.path.join(SOURCE, "tests", "programs"))
import bd_reference as reference  # noqa: E402


@pytest.mark.parametrize("family", ["better", "bent"])
@pytest.mark.parametrize("metric", [1, 2])
def test_deltas_agree_with_scipys_pchip_and_numpys_cubic_fit(family, metric):
    curve = lambda name: [(p[0], p[metric]) for p in reference.FAMILIES[name]]
    anchor, test = curve("anchor"), curve(family)
    for method, fit in (("pchip", False), ("cubic", True)):
        assert quorvane.bd_rate(anchor, test, method=method) == pytest.approx(
            reference.delta(anchor, test, True, fit), rel=1e-6, abs=1e-6)
        assert quorvane.bd_psnr(anchor, test, method=method) == pytest.approx(
            reference.delta(anchor, test, False, fit), rel=1e-6, abs=1e-6)
