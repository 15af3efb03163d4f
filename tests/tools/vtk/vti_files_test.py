"""The .vti files of contribution_study --fields and contribution_pores --vtk,
read back by VTK's own reader (python3-vtk9) and held against the Python
module's fields and the programs' own tables."""

import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

import contribution as cs

vtk = pytest.importorskip("vtk", reason="VTK's Python module is not installed (Debian package python3-vtk9, "
                                        "scripts/install-deps installs it)")
from vtk.util.numpy_support import vtk_to_numpy  # noqa: E402

BUILD_DIR = pathlib.Path(os.environ["CONTRIBUTION_BUILD_DIR"])
ENV = dict(os.environ, OMP_WAIT_POLICY="passive")


def run(program, *args, status=0):
    done = subprocess.run([str(BUILD_DIR / program), *map(str, args)], capture_output=True, text=True, env=ENV)
    assert done.returncode == status, done.stdout + done.stderr
    return done.stdout + done.stderr


def read_vti(path):
    reader = vtk.vtkXMLImageDataReader()
    reader.SetFileName(str(path))
    reader.Update()
    image = reader.GetOutput()
    points = image.GetPointData()
    arrays = {}
    for a in range(points.GetNumberOfArrays()):
        array = points.GetArray(a)
        names = [array.GetComponentName(c) for c in range(array.GetNumberOfComponents())]
        arrays[points.GetArrayName(a)] = (vtk_to_numpy(array), names)
    return image, arrays


def on_grid(values, dims):
    """A point array (x fastest) as [i, j, k, component]."""
    components = values.shape[1] if values.ndim == 2 else 1
    return values.reshape(dims[2], dims[1], dims[0], components).transpose(2, 1, 0, 3)


def test_study_fields_of_an_ellipsoid_are_the_modules_fields(tmp_path):
    axes, M = (0.6, 0.45, 0.3), 10
    run("contribution_study", "ellipsoid", "--axes", *axes, "--E1", 0.2, "--M", "6,8,10", "--fields", "-o", tmp_path)
    image, arrays = read_vti(tmp_path / "fields.vti")
    N = M + 1
    assert image.GetDimensions() == (N, N, N)
    np.testing.assert_allclose(image.GetOrigin(), (-1, -1, -1))
    np.testing.assert_allclose(image.GetSpacing(), (cs.grid_step(M),) * 3)
    assert sorted(arrays) == ["field_load_%d" % n for n in range(1, 7)] + ["flag"]
    flags = cs.shapes.ellipsoid(M, axes=axes)
    np.testing.assert_array_equal(on_grid(arrays["flag"][0], image.GetDimensions())[..., 0], flags.astype(np.int32))
    # The study's default formulation rule is "bounded" (the field it solves for depends on it).
    r = cs.solve_inhomogeneity(flags, 1, 0.3, 0.2, 0.3, formulation="bounded", keep_field=True)
    # VTK's symmetric tensor order 11, 22, 33, 12, 23, 13 from the standard 11, 22, 33, 23, 13, 12.
    vtk_order = [0, 1, 2, 5, 3, 4]
    scale = np.abs(r.field).max()
    for load in range(6):
        values, names = arrays["field_load_%d" % (load + 1)]
        assert names == ["11", "22", "33", "12", "23", "13"]
        field = on_grid(values, image.GetDimensions())
        expected = np.moveaxis(r.field[load][vtk_order], 0, -1)
        # Two processes may plan FFTs differently: rounding, about 1e-15 of the largest value.
        np.testing.assert_allclose(field, expected, rtol=0, atol=1e-10 * scale)


def test_study_fields_of_a_penny_crack_are_the_modules_openings(tmp_path):
    M = 12
    # One solve per level (an analytic crack's default is three shifted ones),
    # so that the finest level's crack is the module's penny on its grid.
    run("contribution_study", "penny", "--radius", 0.5, "--M", "8,10,12", "--shifts", 1, "--fields", "-o", tmp_path)
    image, arrays = read_vti(tmp_path / "fields.vti")
    assert image.GetDimensions() == (M + 1, M + 1, 1)
    assert sorted(arrays) == ["flag", "opening_load_1", "opening_load_2", "opening_load_3"]
    flags = cs.shapes.penny(M, radius=0.5)
    np.testing.assert_array_equal(on_grid(arrays["flag"][0], image.GetDimensions())[:, :, 0, 0], flags.astype(np.int32))
    c = cs.solve_crack(flags, 1, 0.3, keep_opening=True)
    for load in range(3):
        values, names = arrays["opening_load_%d" % (load + 1)]
        assert names == ["x", "y", "z"]
        opening = on_grid(values, image.GetDimensions())[:, :, 0, :]
        # BiCGSTAB on the crack carries plan rounding further: 1e-7 of the largest value.
        np.testing.assert_allclose(opening, np.moveaxis(c.opening[load], 0, -1), rtol=0,
                                   atol=1e-7 * np.abs(c.opening).max())
    # An earlier study's fields are not destroyed unasked; replaced by a study
    # without --fields, they go, as they would not match it.
    study = ("contribution_study", "penny", "--radius", 0.4, "--M", "8,10,12", "-o", tmp_path)
    assert "fields.vti" in run(*study, status=2)
    run(*study, "--overwrite")
    assert not (tmp_path / "fields.vti").exists() and (tmp_path / "study.json").exists()


def ball(shape, centre, radius):
    z, y, x = np.indices(shape)  # the volume is stored [z, y, x]: x fastest on disk
    return (x - centre[0]) ** 2 + (y - centre[1]) ** 2 + (z - centre[2]) ** 2 <= radius ** 2


def test_pores_vti_holds_the_kept_pores_labels_and_values(tmp_path):
    shape = (20, 24, 28)  # nz, ny, nx
    volume = np.zeros(shape, np.uint8)
    for centre, radius in (((6, 6, 6), 3), ((20, 7, 13), 2.5), ((9, 17, 12), 3.5), ((21, 18, 5), 2)):
        volume[ball(shape, centre, radius)] = 255
    volume[ball(shape, (0, 12, 10), 3)] = 255   # cut by the face x = 0: dropped
    volume[15, 3, 24] = volume[15, 3, 25] = 255  # two voxels: dropped as small
    raw = tmp_path / "pores.raw"
    volume.tofile(raw)
    out = tmp_path / "run"
    run("contribution_pores", raw, "--dims", 28, 24, 20, "--type", "u8", "--voxel", 1, 1, 2, "--M", 4, "--vtk",
        "-o", out)
    image, arrays = read_vti(out / "pores.vti")
    assert image.GetDimensions() == (28, 24, 20)
    np.testing.assert_allclose(image.GetSpacing(), (1, 1, 2))
    assert sorted(arrays) == ["H33", "H_norm", "aspect_ratio", "label", "volume"]
    label = arrays["label"][0].reshape(shape)
    pores = json.loads((out / "pores.json").read_text())["pores"]
    assert len(pores) == 4
    # Every kept pore's voxels carry its label; nothing else is labelled.
    assert sorted(np.unique(label[label > 0])) == sorted(p["label"] for p in pores)
    assert (label > 0).sum() == sum(p["voxels"] for p in pores)
    assert not label[ball(shape, (0, 12, 10), 3)].any() and label[15, 3, 24] == 0
    for p in pores:
        mine = label == p["label"]
        assert mine.sum() == p["voxels"]
        assert np.all(volume[mine] == 255)
        H = np.array(p["H_tensor"])
        axes = p["ellipsoid_axes"]
        for name, expected in (("volume", 2 * p["voxels"]), ("H_norm", np.linalg.norm(H)), ("H33", H[2, 2]),
                               ("aspect_ratio", axes[2] / axes[0])):
            np.testing.assert_allclose(arrays[name][0].reshape(shape)[mine], expected, rtol=1e-6, err_msg=name)
    for name in ("volume", "H_norm", "H33", "aspect_ratio"):
        assert not arrays[name][0].reshape(shape)[label == 0].any(), name
    # A conduction run has no elastic values to write: refused, not ignored.
    assert "--vtk" in run("contribution_pores", raw, "--dims", 28, 24, 20, "--type", "u8", "--physics", "conductivity",
                          "--k1", 0, "--vtk", "-o", tmp_path / "conduction", status=2)
