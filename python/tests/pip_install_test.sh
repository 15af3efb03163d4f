#!/usr/bin/env bash
# pip install . as a new user runs it: a copy of the source tree (nothing
# built in it), a fresh virtual environment over Debian's interpreter, pip
# offline and without build isolation; then the package is imported and used
# from a directory outside both.
#   pip_install_test.sh SOURCE_DIR SCRATCH_DIR PYTHON
# SCRATCH_DIR is emptied first and removed at the end. Under /work the copy's
# compiler calls match the main build's for ccache (base_dir), so the
# compiled part comes mostly from the cache.
set -euo pipefail
source_dir=$1
scratch=$2
python=$3
rm -rf "$scratch"
mkdir -p "$scratch/src" "$scratch/elsewhere"
trap 'rm -rf "$scratch"' EXIT
tar -C "$source_dir" --exclude=./.git --exclude='./build*' --exclude=./runs -cf - . | tar -C "$scratch/src" -xf -
start=$SECONDS
"$python" -m venv --system-site-packages "$scratch/env"
(cd "$scratch/src" && "$scratch/env/bin/pip" install --no-build-isolation --no-index --quiet .)
echo "venv and pip install took $((SECONDS - start)) s"
cd "$scratch/elsewhere"
OMP_WAIT_POLICY=passive PYTHONDONTWRITEBYTECODE=1 "$scratch/env/bin/python" - "$scratch/env" <<'PY'
import pathlib, sys
import numpy as np
import contribution as cs
env = pathlib.Path(sys.argv[1]).resolve()
for module in (cs, cs._contribution):
    location = pathlib.Path(module.__file__).resolve()
    assert env in location.parents, f"imported {location}, not from the environment {env}"
r = cs.solve_inhomogeneity(cs.shapes.sphere(8), 1, 0.3, 2, 0.3, keep_field=True, measure_plans=False)
assert r.converged and r.field.shape == (6, 6, 9, 9, 9)
# A sphere: every normal load gives the same field at the centre.
centre = r.field[[0, 1, 2], [0, 1, 2], 4, 4, 4]
assert np.ptp(centre) < 1e-9 * centre.max(), centre
c = cs.solve_crack(cs.shapes.penny(12), 1, 0.3, keep_opening=True, measure_plans=False)
assert c.opening[2, 2].max() == c.max_opening[2, 2]
print("installed package at", pathlib.Path(cs.__file__).parent, "H11 =", r.H[0, 0])
PY
