"""contribution.study: the library's study driver from Python, held against
the contribution_study program and Eshelby's sphere."""

import json
import os
import subprocess

import numpy as np
import pytest

import contribution as cs
from conftest import program

LEVELS = [8, 10, 12, 14, 16]


def eshelby_sphere(E1, n=0.3):
    K0, G0 = 1 / (3 * (1 - 2 * n)), 1 / (2 * (1 + n))
    K1, G1 = E1 * K0, E1 * G0
    bk = (K1 / K0) / (1 + (1 + n) / (3 * (1 - n)) * (K1 - K0) / K0)
    bg = (G1 / G0) / (1 + 2 * (4 - 5 * n) / (15 * (1 - n)) * (G1 - G0) / G0)
    dk, dg = 1 / (3 * K1) - 1 / (3 * K0), 1 / (2 * G1) - 1 / (2 * G0)
    return dk * bk / 3 + 2 * dg * bg / 3, dk * bk / 3 - dg * bg / 3, 2 * dg * bg


def test_study_equals_the_program_and_its_bars_hold_eshelby(tmp_path):
    # Both in double precision: single-precision transforms planned differently
    # by the two processes would differ at 1e-9, above the bound below.
    s = cs.study(cs.shapes.define("sphere", radius=0.5), LEVELS, E1=10, precision="double")
    run = subprocess.run([str(program("contribution_study")), "sphere", "--radius", "0.5", "--E1", "10", "--M",
                          ",".join(map(str, LEVELS)), "-o", str(tmp_path)], capture_output=True, text=True,
                         env={**os.environ, "CONTRIBUTION_PRECISION": "double"})
    assert run.returncode == 0, run.stderr
    ref = json.loads((tmp_path / "study.json").read_text())
    assert [l.M for l in s.levels] == [l["M"] for l in ref["levels"]]
    assert s.precision == ref["precision"] == "double"
    # Two processes may pick different FFT plans: rounding, amplified a little by BiCGSTAB.
    for level, ref_level in zip(s.levels, ref["levels"]):
        np.testing.assert_allclose(level.H, ref_level["H_tensor"], rtol=0, atol=1e-12 * np.abs(level.H).max())
    np.testing.assert_allclose(s.H_error, ref["extrapolated"]["H_error"], rtol=1e-9, atol=1e-12)
    # The measured default: the bounded formulation (compliance for a stiff sphere), coefficient mean.
    assert s.formulation == "compliance" and s.shear_order == ("23", "13", "12")
    assert s.formulation_rule == ref["formulation_rule"] == "bounded"
    assert s.mean_field_estimate == ref["mean_field_estimate"] == "coefficient"
    H11, H12, H44 = eshelby_sphere(10)
    for (r, c), truth in [((0, 0), H11), ((0, 1), H12), ((3, 3), H44)]:
        assert abs(s.H[r, c] - truth) <= s.H_error[r, c], (r, c, s.H[r, c], s.H_error[r, c], truth)
    assert s.H_error[0, 3] == 0 and s.H[0, 3] == 0


def test_a_crack_study_from_a_function_of_M():
    seen = []
    s = cs.study(lambda M: cs.shapes.penny(M, radius=0.5), [16, 20, 24, 28, 32], kernel="exact",
                 measure_plans=False, on_level=seen.append)
    assert seen == [16, 20, 24, 28, 32]
    assert s.formulation == "crack"
    analytic = 16 * (1 - 0.3 ** 2) * 0.5 ** 3 / 3
    assert abs(s.H[2, 2] - analytic) <= s.H_error[2, 2]
    # The levels converge from above: the finest is still high, the limit below it.
    assert s.levels[-1].H[2, 2] > s.H[2, 2]


@pytest.mark.parametrize("levels, message", [
    ([8, 12], "expected at least 3"),
    ([8, 16, 12], "increasing order"),
    ([3, 8, 12], "expected M >= 4"),
])
def test_bad_levels_raise_value_error(levels, message):
    with pytest.raises(ValueError, match=message):
        cs.study(cs.shapes.define("sphere", radius=0.5), levels, E1=2, measure_plans=False)


def test_a_shape_of_the_wrong_size_is_refused():
    with pytest.raises(ValueError, match="expected 3 axes of 13 nodes"):
        cs.study(lambda M: np.ones((9, 9, 9), bool), [12, 16, 20], E1=2)
