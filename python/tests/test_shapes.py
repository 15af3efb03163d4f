"""contribution.shapes builds the same grids as contribution_input: every
shape and image kind, held against the node flags of input.txt."""

import struct

import numpy as np
import pytest

import contribution as cs
from contribution import shapes
from conftest import SOURCE_DIR, input_flags

BALL = SOURCE_DIR / "examples" / "tiff_ball" / "ball.tif"


def write_tiff(path, pages):
    """A minimal uncompressed 8-bit greyscale TIFF, one page per array [row, column]."""
    pages = [np.ascontiguousarray(p, dtype=np.uint8) for p in pages]
    out = bytearray(b"II*\x00\x00\x00\x00\x00")
    link = 4  # where the offset of the next IFD goes
    for page in pages:
        height, width = page.shape
        data_at = len(out)
        out += page.tobytes()
        if len(out) % 2:
            out += b"\x00"
        struct.pack_into("<I", out, link, len(out))
        entries = [(256, 4, width), (257, 4, height), (258, 3, 8), (259, 3, 1), (262, 3, 1), (273, 4, data_at),
                   (277, 3, 1), (278, 4, height), (279, 4, page.size)]
        out += struct.pack("<H", len(entries))
        for tag, kind, value in entries:
            out += struct.pack("<HHI", tag, kind, 1) + struct.pack("<I" if kind == 4 else "<HH", value,
                                                                      *([] if kind == 4 else [0]))
        link = len(out)
        out += b"\x00\x00\x00\x00"
    path.write_bytes(bytes(out))


@pytest.fixture(scope="module")
def images(tmp_path_factory):
    """A single-page planform (a crack) and a raw 16-bit volume, written once."""
    d = tmp_path_factory.mktemp("images")
    y, x = np.mgrid[0:30, 0:45]
    planform = np.where((x - 25) ** 2 / 15**2 + (y - 13) ** 2 / 9**2 <= 1, 200, 10)
    write_tiff(d / "planform.tif", [planform])
    z, y, x = np.mgrid[0:20, 0:24, 0:28]
    volume = (1000 * np.exp(-((x - 12) ** 2 + (y - 13) ** 2 + 2 * (z - 9) ** 2) / 60)).astype("<u2")
    volume.tofile(d / "volume.raw")
    header = b"\x07" * 16
    (d / "headed.raw").write_bytes(header + volume.astype(">u2").tobytes())
    return d


M = 11  # odd: no node at the centre, the surface tolerance matters
CASES = [
    ("sphere", "sphere", lambda M, d: shapes.sphere(M)),
    ("sphere off centre", "sphere --radius 0.45 --center 0.1 -0.05 0",
     lambda M, d: shapes.sphere(M, radius=0.45, center=(0.1, -0.05, 0))),
    ("ellipsoid turned", "ellipsoid --axes 0.7 0.5 0.35 --angles 10 20 30 --center 0 0.1 0",
     lambda M, d: shapes.ellipsoid(M, axes=(0.7, 0.5, 0.35), angles=(10, 20, 30), center=(0, 0.1, 0))),
    ("spheroid", "spheroid", lambda M, d: shapes.spheroid(M)),
    ("spheroid prolate tilted", "spheroid --axes 0.3 0.7 --angles 0 45 0",
     lambda M, d: shapes.spheroid(M, axes=(0.3, 0.7), angles=(0, 45, 0))),
    ("cuboid", "cuboid --axes 0.5 0.3 0.2 --angles 0 0 30",
     lambda M, d: shapes.cuboid(M, axes=(0.5, 0.3, 0.2), angles=(0, 0, 30))),
    ("cylinder", "cylinder --radius 0.3 --half-length 0.6 --angles 90 0 0",
     lambda M, d: shapes.cylinder(M, radius=0.3, half_length=0.6, angles=(90, 0, 0))),
    ("torus", "torus --major 0.55 --minor 0.25 --angles 30 0 0",
     lambda M, d: shapes.torus(M, major=0.55, minor=0.25, angles=(30, 0, 0))),
    ("supersphere axes", "supersphere --power 3 --axes 0.6 0.5 0.4",
     lambda M, d: shapes.supersphere(M, power=3, axes=(0.6, 0.5, 0.4))),
    ("supersphere radius", "supersphere --radius 0.55", lambda M, d: shapes.supersphere(M, radius=0.55)),
    ("penny", "penny --radius 0.55 --center 0.1 0", lambda M, d: shapes.penny(M, radius=0.55, center=(0.1, 0))),
    ("ellipse", "ellipse --axes 0.7 0.35 --angle 30", lambda M, d: shapes.ellipse(M, axes=(0.7, 0.35), angle=30)),
    ("rectangle", "rectangle --axes 0.6 0.3 --angle 15 --center 0 0.1",
     lambda M, d: shapes.rectangle(M, axes=(0.6, 0.3), angle=15, center=(0, 0.1))),
    ("annulus", "annulus --radius 0.7 --inner 0.3", lambda M, d: shapes.annulus(M, radius=0.7, inner=0.3)),
    ("tiff", f"tiff {BALL}", lambda M, d: shapes.from_tiff(BALL, M)),
    ("tiff selected and placed", f"tiff {BALL} --threshold 128 --invert --voxel 1 1.5 2 --fill 0.8",
     lambda M, d: shapes.from_tiff(BALL, M, threshold=128, invert=True, voxel=(1, 1.5, 2), fill=0.8)),
    ("tiff label", f"tiff {BALL} --label 60", lambda M, d: shapes.from_tiff(BALL, M, label=60)),
    ("tiff planform", "tiff {d}/planform.tif --threshold 100 --fill 0.9",
     lambda M, d: shapes.from_tiff(d / "planform.tif", M, threshold=100, fill=0.9)),
    ("raw", "raw {d}/volume.raw --dims 28 24 20 --type u16 --threshold 300 --voxel 1 1 1.5",
     lambda M, d: shapes.from_raw(d / "volume.raw", (28, 24, 20), "u16", M, threshold=300, voxel=(1, 1, 1.5))),
    ("raw big-endian with header", "raw {d}/headed.raw --dims 28 24 20 --type u16be --header-bytes 16 --threshold 300",
     lambda M, d: shapes.from_raw(d / "headed.raw", (28, 24, 20), "u16be", M, header_bytes=16, threshold=300)),
]


@pytest.mark.parametrize("args, make", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_flags_equal_contribution_input(tmp_path, images, args, make):
    ours = make(M, images)
    expected, _ = input_flags(args.format(d=images).split() + ["--M", M, "--E1", 2], tmp_path)
    N = M + 1
    assert ours.dtype == np.bool_
    if ours.ndim == 2:
        # A crack: input.txt flags the plane k = 0 of its N^3 records.
        assert ours.shape == (N, N)
        assert not expected[:, :, 1:].any()
        expected = expected[:, :, 0]
    else:
        assert ours.shape == (N, N, N)
    assert expected.any(), "the case should flag some nodes"
    assert np.array_equal(ours, expected == 1)


def test_node_coordinates_are_those_of_input_txt(tmp_path):
    _, x = input_flags(["sphere", "--M", 14, "--E1", 2], tmp_path)
    assert np.array_equal(cs.node_coordinates(14), x)
    assert cs.grid_step(14) == np.float32(2) / np.float32(14)


def test_first_index_runs_along_x():
    flags = shapes.sphere(20, radius=0.3, center=(0.5, 0, -0.2))
    centroid = [np.average(cs.node_coordinates(20), weights=flags.sum(axis=tuple(b for b in range(3) if b != a)))
                for a in range(3)]
    assert centroid == pytest.approx([0.5, 0, -0.2], abs=1e-6)


def test_a_shape_defined_once_gives_every_grid():
    shape = shapes.define("tiff", BALL, threshold=128)
    assert not shape.crack and shape.name == "tiff" and "ball.tif 41x41x41 value >= 128" in shape.description
    for M in (6, 13):
        assert np.array_equal(shape.flags(M), shapes.from_tiff(BALL, M, threshold=128))
    assert shapes.define("penny").crack


def test_flags_solve_directly():
    # Shapes come out x fastest, the layout the solver reads without reordering.
    flags = shapes.sphere(8)
    assert flags.flags["F_CONTIGUOUS"]
    assert cs.solve_inhomogeneity(flags, 1, 0.3, 2, 0.3, measure_plans=False).converged


BAD_SHAPES = [
    (lambda: shapes.sphere(10, radius=-1), ValueError, "radius must be positive, got -1"),
    (lambda: shapes.define("sphere", angles=(1, 2, 3)), ValueError, "option angles does not apply to shape sphere"),
    (lambda: shapes.supersphere(10, radius=0.5, axes=(0.5, 0.5, 0.5)), ValueError,
     "give either radius or axes for supersphere, not both"),
    (lambda: shapes.penny(10, center=(0, 0, 0)), ValueError, "center takes 2 numbers for shape penny, got 3"),
    (lambda: shapes.annulus(10, radius=0.3, inner=0.4), ValueError, "inner must be smaller than radius"),
    (lambda: shapes.ellipsoid(10, axes=(0.5, float("inf"), 0.5)), ValueError, "axes must be finite"),
    (lambda: shapes.define("blob"), ValueError, "unknown shape 'blob'"),
    (lambda: shapes.sphere(1), ValueError, "found M = 1, expected 2 <= M <= 1289"),
    (lambda: shapes.sphere(10.5), ValueError, "found M = 10.5, expected a whole number"),
    (lambda: shapes.from_tiff(BALL, 10, threshold=1, label=2), ValueError, "give either threshold or label"),
    (lambda: shapes.from_tiff(BALL, 10, fill=1.5), ValueError, "fill must be at most 1"),
    (lambda: shapes.from_tiff(BALL.with_name("missing.tif"), 10), cs.ImageError, "no such image file"),
    (lambda: shapes.from_raw(BALL, (4, 4, 4), "u12", 10), cs.ImageError, "unknown sample type 'u12'"),
]


@pytest.mark.parametrize("call, error, message", BAD_SHAPES, ids=[c[2] for c in BAD_SHAPES])
def test_bad_shapes_raise_the_programs_message(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert message in str(caught.value)


def test_image_errors_are_both_os_and_value_errors():
    assert issubclass(cs.ImageError, OSError) and issubclass(cs.ImageError, ValueError)
