"""Shared fixtures: the build's programs, contribution_input's node flags and
contribution_solver's result.json, so the module can be held against them."""

import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

import contribution


def _build_dir() -> pathlib.Path:
    if "CONTRIBUTION_BUILD_DIR" in os.environ:
        return pathlib.Path(os.environ["CONTRIBUTION_BUILD_DIR"]).resolve()
    # build/python/contribution/__init__.py
    return pathlib.Path(contribution.__file__).resolve().parents[2]


BUILD_DIR = _build_dir()
SOURCE_DIR = pathlib.Path(os.environ.get("CONTRIBUTION_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))


def program(name: str) -> pathlib.Path:
    path = BUILD_DIR / name
    if not path.exists():
        pytest.fail(f"{path} is missing: build the targets contribution_input and contribution_solver")
    return path


def input_flags(args, directory: pathlib.Path):
    """Runs contribution_input with `args` into `directory`; returns its node
    flags as an array [i, j, k] (input.txt lists i slowest, k fastest) and the
    x coordinates of the records with j = k = 0."""
    run = subprocess.run([str(program("contribution_input")), *map(str, args), "-o", str(directory)],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    lines = (directory / "input.txt").read_text().splitlines()
    M = int(lines[lines.index("Number of discretization intervals M") + 1])
    start = lines.index("Nodes: x y z flag") + 1
    N = M + 1
    records = np.array([line.split() for line in lines[start:start + N**3]], dtype=float)
    assert records.shape == (N**3, 4)
    flags = records[:, 3].astype(np.int32).reshape(N, N, N)
    x = records[:, 0].reshape(N, N, N)[:, 0, 0]
    return flags, x


def console_result(directory: pathlib.Path, kernel: str = None) -> dict:
    """Runs contribution_solver on directory/input.txt; returns result.json."""
    env = dict(os.environ)
    env.pop("CONTRIBUTION_PLANAR_KERNEL", None)
    if kernel is not None:
        env["CONTRIBUTION_PLANAR_KERNEL"] = kernel
    run = subprocess.run([str(program("contribution_solver"))], cwd=directory, env=env, capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    return json.loads((directory / "result.json").read_text())
