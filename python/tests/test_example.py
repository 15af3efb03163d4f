"""examples/python/porous_moduli.py runs and draws its figure (on a coarse grid)."""

import os
import subprocess
import sys

from conftest import SOURCE_DIR


def test_porous_moduli_example_writes_its_png(tmp_path):
    png = tmp_path / "moduli.png"
    run = subprocess.run([sys.executable, str(SOURCE_DIR / "examples" / "python" / "porous_moduli.py"), "--levels", "8,10,12",
                          "-o", str(png)], capture_output=True, text=True, env=dict(os.environ, MPLBACKEND="Agg"))
    assert run.returncode == 0, run.stderr
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    # The table: Young's modulus falls with porosity for every pore family.
    rows = [line.split() for line in run.stdout.splitlines() if line.startswith("   0.") or line.startswith("   1.")]
    assert len(rows) == 11
    sphere = [float(r[1]) for r in rows]
    random_oblate = [float(r[5]) for r in rows]  # after the sphere's "[low, high] (closed form)"
    assert sphere[0] == 1 and all(b < a for a, b in zip(sphere, sphere[1:]))
    assert all(b < a for a, b in zip(random_oblate, random_oblate[1:]))
    # Exact voids extrapolated with honest bars: the closed form lies within them at every porosity.
    assert all(r[-1] == "yes" for r in rows), run.stdout
