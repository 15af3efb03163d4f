#!/usr/bin/env bash
# Installs the build into a scratch prefix and imports the package from there
# (not from the build tree), then solves a small sphere with it.
set -euo pipefail
build=$1
python=$2
package_dir=$3  # relative to the prefix
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cd "$prefix"
PYTHONPATH="$prefix/$package_dir" PYTHONDONTWRITEBYTECODE=1 "$python" - "$prefix" <<'PY'
import pathlib, sys
import contribution as cs
prefix = pathlib.Path(sys.argv[1]).resolve()
location = pathlib.Path(cs.__file__).resolve()
assert prefix in location.parents, f"imported {location}, not from {prefix}"
r = cs.solve_inhomogeneity(cs.shapes.sphere(6), 1, 0.3, 2, 0.3, measure_plans=False)
assert r.converged and r.H.shape == (6, 6)
S = cs.effective.nia_compliance((1, 0.3), [cs.effective.compliance_phase(r, 0.1)])
print("installed package at", location.parent, "H11 =", r.H[0, 0], "S11 =", S[0, 0])
PY
