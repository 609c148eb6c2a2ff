"""Shared by the module's tests: the program to compare with, and EXR files in and out."""

import os
import subprocess

import numpy
import OpenImageIO as oiio
import pytest

PROGRAM = os.environ.get("UMBRIX_PROGRAM", "umbrix")


def run_program(*args):
    """`umbrix ARGS`; its stderr when it succeeds, AssertionError when it does not."""
    done = subprocess.run([PROGRAM, *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stderr


def write_exr(path, channels, types=None):
    """An EXR of named (H, W) planes, float unless `types` names another type for a channel."""
    names = list(channels)
    height, width = next(iter(channels.values())).shape
    header = oiio.ImageSpec(width, height, len(names), "float")
    header.channelnames = tuple(names)
    if types:
        header.channelformats = tuple(oiio.TypeDesc(types.get(name, "float")) for name in names)
    pixels = numpy.stack([numpy.asarray(channels[name], numpy.float32) for name in names], -1)
    out = oiio.ImageOutput.create(str(path))
    assert out.open(str(path), header), out.geterror()
    assert out.write_image(pixels), out.geterror()
    out.close()


def read_exr(path, names=None):
    """An EXR's channels as float32 planes by name (`names` only, when given)."""
    image = oiio.ImageInput.open(str(path))
    assert image, oiio.geterror()
    header = image.spec()
    pixels = image.read_image("float")
    image.close()
    return {name: pixels[:, :, k] for k, name in enumerate(header.channelnames)
            if names is None or name in names}


def scene(height=37, width=53, seed=7):
    """A small image with depth steps, slopes, noise and a NaN, and normals and colours of its
    own; odd sizes so that no row or vector length comes out even."""
    rng = numpy.random.default_rng(seed)
    y, x = numpy.mgrid[0:height, 0:width].astype(numpy.float32)
    depth = 1.5 + 0.02 * x + 0.3 * (y > height / 2) + rng.normal(0, 0.01, (height, width))
    depth[height // 3, width // 4] = numpy.nan
    normals = rng.normal(0, 1, (height, width, 3))
    normals /= numpy.linalg.norm(normals, axis=-1, keepdims=True)
    rgba = rng.uniform(0, 1, (height, width, 4))
    return (depth.astype(numpy.float32), normals.astype(numpy.float32),
            rgba.astype(numpy.float32))


def bits(array):
    return numpy.ascontiguousarray(array, numpy.float32).view(numpy.uint32)


@pytest.fixture
def files(tmp_path):
    return tmp_path
