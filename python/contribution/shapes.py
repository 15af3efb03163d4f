"""The shapes and images of contribution_input as flag arrays.

Every function here builds its grid with the same C++ code as the
contribution_input program (tools/shapes, tools/images and the option reading
of tools/cli): the same defaults, the same checks and messages, the same
placement of images. So `shapes.sphere(20, radius=0.5)` equals the node flags
of `contribution_input sphere --radius 0.5 --M 20`, node for node. Options
have the program's names (--half-length is half_length); an option left at
None takes the program's default, given in each docstring.

Results are numpy bool arrays indexed as contribution.solve_inhomogeneity and
solve_crack read them: shape (N, N, N) indexed [i, j, k] for volume shapes,
(N, N) indexed [i, j] for the crack plane, N = M + 1 nodes per axis, node
[i, j, k] at (-1 + i h, -1 + j h, -1 + k h), h = 2/M. They are stored x
fastest (Fortran order), the library's own layout. Membership is decided at
the ideal node positions (2i - M)/M with a relative tolerance of 1e-9, so
shapes symmetric about the origin give symmetric node sets.

Lengths are in grid units: the cube has side 2. Angles are in degrees; a
volume shape turned by angles (ax, ay, az) is rotated about x, then y, then z.
A planar crack's (N, N) array is its plane: contribution_input writes it as
the first plane of nodes, z = -1 (the program's "plane k = 1", counted from 1).

For several grids of one shape (a convergence study, an image read once) use
define(), which returns a Shape with .flags(M).
"""

from __future__ import annotations

import re
from typing import Optional, Sequence

import numpy as np

from . import _contribution as _c

ImageError = _c.ImageError
Shape = _c.Shape

_TEXT_OPTIONS = {"type"}
_FLAG_OPTIONS = {"invert"}


def _python_names(message: str) -> str:
    """The program's option names in a message, as this module spells them."""
    return re.sub(r"--([a-z][a-z-]*)", lambda m: m.group(1).replace("-", "_"), message)


def define(name: str, file: Optional[str] = None, **options) -> Shape:
    """A shape by the program's name with its options, for use at any M.

    name: sphere, ellipsoid, spheroid, cuboid, cylinder, torus, supersphere,
    penny, ellipse, rectangle, annulus, tiff or raw (the last two with `file`).
    options: as the functions of this module take them; None means "not
    given". Raises ValueError for an option the shape does not take or a
    value out of range (the program's message), ImageError (both an OSError
    and a ValueError) for an image that cannot be read or used as asked.
    """
    numbers, texts, flags = {}, {}, []
    for key, value in options.items():
        if value is None:
            continue
        option = "--" + key.replace("_", "-")
        if key in _FLAG_OPTIONS:
            if value:
                flags.append(option)
        elif key in _TEXT_OPTIONS:
            texts[option] = str(value)
        else:
            numbers[option] = [float(v) for v in np.atleast_1d(np.asarray(value, dtype=float))]
    try:
        return _c.make_shape(name, None if file is None else str(file), numbers, texts, flags, False)
    except ImageError:
        raise
    except ValueError as e:
        raise ValueError(_python_names(str(e))) from None


def _flags(name: str, M: int, **options) -> np.ndarray:
    return define(name, **options).flags(_whole(M))


def _whole(M) -> int:
    if int(M) != M:
        raise ValueError(f"found M = {M}, expected a whole number of grid intervals")
    return int(M)


# ------------------------------------------------------------------ volumes --

def sphere(M: int, radius: float = None, center: Sequence[float] = None) -> np.ndarray:
    """Sphere: radius (default 0.5), center (x, y, z) (default origin). Flags (N, N, N)."""
    return _flags("sphere", M, radius=radius, center=center)


def ellipsoid(M: int, axes: Sequence[float] = None, center: Sequence[float] = None,
              angles: Sequence[float] = None) -> np.ndarray:
    """Ellipsoid: semi-axes (a, b, c) along the body axes (default 0.5, 0.4, 0.3), center, angles."""
    return _flags("ellipsoid", M, axes=axes, center=center, angles=angles)


def spheroid(M: int, axes: Sequence[float] = None, center: Sequence[float] = None,
             angles: Sequence[float] = None) -> np.ndarray:
    """Spheroid: axes (a, c), a equatorial, c along body z (default 0.5, 0.25: oblate), center, angles."""
    return _flags("spheroid", M, axes=axes, center=center, angles=angles)


def cuboid(M: int, axes: Sequence[float] = None, center: Sequence[float] = None,
           angles: Sequence[float] = None) -> np.ndarray:
    """Box: half-edges `axes` (a, b, c) along the body axes (default 0.5, 0.5, 0.5), center, angles."""
    return _flags("cuboid", M, axes=axes, center=center, angles=angles)


def cylinder(M: int, radius: float = None, half_length: float = None, center: Sequence[float] = None,
             angles: Sequence[float] = None) -> np.ndarray:
    """Circular cylinder, axis along body z: radius (default 0.4), half_length (default 0.4), center, angles."""
    return _flags("cylinder", M, radius=radius, half_length=half_length, center=center, angles=angles)


def torus(M: int, major: float = None, minor: float = None, center: Sequence[float] = None,
          angles: Sequence[float] = None) -> np.ndarray:
    """Ring torus about body z: major radius to the tube's centre line (default 0.5), tube radius minor (0.2)."""
    return _flags("torus", M, major=major, minor=minor, center=center, angles=angles)


def supersphere(M: int, power: float = None, axes: Sequence[float] = None, radius: float = None,
                center: Sequence[float] = None, angles: Sequence[float] = None) -> np.ndarray:
    """|u/a|^(2p) + |v/b|^(2p) + |w/c|^(2p) <= 1 in body coordinates.

    power p (default 2; 1 is the ellipsoid, large p approaches the cuboid);
    semi-axes `axes` (a, b, c) or one `radius` for all three, not both
    (default 0.5 each); center, angles.
    """
    return _flags("supersphere", M, power=power, axes=axes, radius=radius, center=center, angles=angles)


# ------------------------------------------------------------------- cracks --

def penny(M: int, radius: float = None, center: Sequence[float] = None) -> np.ndarray:
    """Penny-shaped crack: radius (default 0.5), center (x, y) (default 0, 0). Flags (N, N)."""
    return _flags("penny", M, radius=radius, center=center)


def ellipse(M: int, axes: Sequence[float] = None, angle: float = None, center: Sequence[float] = None) -> np.ndarray:
    """Elliptical crack: semi-axes (a, b), a along x before rotation (default 0.5, 0.25), turned by angle
    degrees in the plane (default 0), center (x, y). Flags (N, N)."""
    return _flags("ellipse", M, axes=axes, angle=angle, center=center)


def rectangle(M: int, axes: Sequence[float] = None, angle: float = None,
              center: Sequence[float] = None) -> np.ndarray:
    """Rectangular crack: half-sides (a, b) (default 0.5, 0.25), angle, center (x, y). Flags (N, N)."""
    return _flags("rectangle", M, axes=axes, angle=angle, center=center)


def annulus(M: int, radius: float = None, inner: float = None, center: Sequence[float] = None) -> np.ndarray:
    """Annular crack between radii inner (default 0.25) and radius (default 0.5), center (x, y). Flags (N, N)."""
    return _flags("annulus", M, radius=radius, inner=inner, center=center)


# ------------------------------------------------------------------- images --

def _image_options(threshold, label, invert, voxel, fill) -> dict:
    return dict(threshold=threshold, label=label, invert=invert, voxel=voxel, fill=fill)


def from_tiff(path, M: int, threshold: float = None, label: float = None, invert: bool = False,
              voxel: Sequence[float] = (1, 1, 1), fill: float = 1) -> np.ndarray:
    """A greyscale TIFF stack (8 or 16 bits, one page per z slice) laid onto the grid.

    Voxel column -> x (i), row -> y (j), page -> z (k). Inside: value >=
    threshold, or value == label, or (neither given) any nonzero value;
    invert takes the complement (pores in a solid). voxel: the voxel spacing
    (sx, sy, sz). The image is centred with its aspect kept, its longest
    extent between first and last voxel centre spanning `fill` (0 < fill <= 1)
    of the cube's side, and each node takes the nearest voxel.
    A multi-page image gives volume flags (N, N, N); a single page is a crack
    planform and gives the crack plane's flags (N, N), as contribution_input
    reads it.
    """
    return define("tiff", path, **_image_options(threshold, label, invert, voxel, fill)).flags(_whole(M))


def from_raw(path, dims: Sequence[int], type: str, M: int, header_bytes: int = 0, threshold: float = None,
             label: float = None, invert: bool = False, voxel: Sequence[float] = (1, 1, 1),
             fill: float = 1) -> np.ndarray:
    """A headerless raw volume of dims (nx, ny, nz) samples, x fastest, laid onto the grid.

    type: u8, u16 (= u16le), u16be, i16 (= i16le) or f32 (= f32le);
    header_bytes skipped first. Selection and placement as from_tiff.
    """
    return define("raw", path, dims=dims, type=type, header_bytes=header_bytes,
                  **_image_options(threshold, label, invert, voxel, fill)).flags(_whole(M))
