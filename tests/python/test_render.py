"""umbrix.render on arrays against `umbrix render` on the same scene as an EXR, to the bit."""

import threading

import numpy
import OpenImageIO as oiio
import pytest

import umbrix
from conftest import bits, read_exr, run_program, scene, write_exr

OCCLUSION = {"UseSSAO": 1, "Matrix": 3, "DepthThreshold": 2, "SmalDepth": 0.001}

# name, controls, whether the image has the renderer's normals, whether it has R G B A
CASES = [
    ("rendered normals", {**OCCLUSION, "FilterMethod": "Rendered Normals"}, True, True),
    ("calculated normals", {**OCCLUSION, "FilterMethod": "Calculated Normals"}, False, True),
    ("disabled", {**OCCLUSION, "FilterMethod": "disabled", "UseNormals": 0}, True, False),
    ("normals only, A carried", {}, False, True),
    # after images with R G B A of the same size and channels: none of theirs may show
    ("normals only, no A", {}, True, False),
    ("both passes off", {"UseNormals": 0, "UseSSAO": 0}, True, True),
]


def program_render(files, depth, normals, rgba, controls, depth_type="float"):
    channels = {"Z": depth}
    if rgba is not None:
        channels.update({name: rgba[:, :, k] for k, name in enumerate("RGBA")})
    if normals is not None:
        channels.update({f"N.{axis}": normals[:, :, k] for k, axis in enumerate("XYZ")})
    write_exr(files / "in.exr", channels, {"Z": depth_type})
    sets = [f"--set={key}={value}" for key, value in controls.items()]
    run_program("render", files / "in.exr", "-o", files / "out.exr", "--quiet", *sets)
    out = read_exr(files / "out.exr", "RGBA")
    return numpy.stack([out[name] for name in "RGBA"], -1)


@pytest.mark.parametrize("name, controls, with_normals, with_rgba", CASES,
                         ids=[case[0] for case in CASES])
def test_arrays_render_as_the_program_renders_the_file(files, name, controls, with_normals,
                                                       with_rgba):
    depth, normals, rgba = scene()
    normals = normals if with_normals else None
    rgba = rgba if with_rgba else None
    expected = program_render(files, depth, normals, rgba, controls)
    if name == "both passes off":
        with pytest.warns(umbrix.UmbrixWarning, match="both off"):
            got = umbrix.render(depth, normals, rgba, **controls)
    else:
        got = umbrix.render(depth, normals, rgba, **controls)
    assert got.shape == depth.shape + (4,) and got.dtype == numpy.float32
    assert numpy.array_equal(bits(got), bits(expected))


def test_any_float_type_and_layout_reads_as_a_file_does(files):
    depth, normals, rgba = scene()
    controls = {**OCCLUSION, "FilterMethod": "Rendered Normals"}
    # half depth, as a file storing Z as half gives it
    halves = depth.astype(numpy.float16)
    expected = program_render(files, halves.astype(numpy.float32), normals, rgba, controls,
                              depth_type="half")
    assert numpy.array_equal(bits(umbrix.render(halves, normals, rgba, **controls)),
                             bits(expected))
    # float64 values, strided views and Fortran order: the same float32 values, the same bits
    expected = program_render(files, depth, normals, rgba, controls)
    wide = numpy.zeros((depth.shape[0] * 2, depth.shape[1] * 3), numpy.float64)
    wide[::2, ::3] = depth
    fortran_normals = numpy.asfortranarray(normals.astype(numpy.float64))
    channels_last = numpy.moveaxis(numpy.ascontiguousarray(numpy.moveaxis(rgba, -1, 0)), 0, -1)
    got = umbrix.render(wide[::2, ::3], fortran_normals, channels_last, **controls)
    assert numpy.array_equal(bits(got), bits(expected))
    # strides running backwards: rows, columns, components
    backwards = umbrix.render(numpy.ascontiguousarray(depth[::-1])[::-1],
                              numpy.ascontiguousarray(normals[:, ::-1])[:, ::-1],
                              numpy.ascontiguousarray(rgba[..., ::-1])[..., ::-1], **controls)
    assert numpy.array_equal(bits(backwards), bits(expected))


def test_two_threads_at_once_give_the_bits_of_one_after_another():
    depth, normals, rgba = scene(61, 47)
    looks = [{**OCCLUSION, "Matrix": 4}, {**OCCLUSION, "FilterMethod": "Calculated Normals"}]
    alone = [umbrix.render(depth, normals, rgba, threads=2, **look) for look in looks]
    together = [None, None]
    start = threading.Barrier(2)

    def render(k):
        start.wait()
        for _ in range(3):
            together[k] = umbrix.render(depth, normals, rgba, threads=2, **looks[k])

    threads = [threading.Thread(target=render, args=(k,)) for k in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for one, other in zip(alone, together):
        assert numpy.array_equal(bits(one), bits(other))


def test_arrays_of_each_type_in_either_byte_order_render_as_their_float32_values():
    depth, normals, rgba = scene()
    assert (bits(umbrix.render(depth[..., None], normals, rgba, **OCCLUSION)) ==
            bits(umbrix.render(depth, normals, rgba, **OCCLUSION))).all()
    # a long double is taken in this machine's order only
    for code, orders in [("f2", "<>"), ("f4", "<>"), ("f8", "<>"), ("g", "=")]:
        typed = [a.astype(code) for a in (depth, normals, rgba)]
        expected = bits(umbrix.render(*[a.astype(numpy.float32) for a in typed], **OCCLUSION))
        for order in orders:
            arrays = [a.astype(a.dtype.newbyteorder(order)) for a in typed]
            assert (bits(umbrix.render(*arrays, **OCCLUSION)) == expected).all(), (code, order)


# --depth's conventions, and the planar depth each makes of the stored one in 32-bit floats;
# distance's is the file's, whose rays are CamFOV's as the arrays' are
CONVENTIONS = [
    ("inverse", lambda d: numpy.float32(1) / d),
    ("normalized:1:3", lambda d: numpy.float32(1) + d * numpy.float32(2)),
    ("normalized-inverted:1:3", lambda d: numpy.float32(3) - d * numpy.float32(2)),
    ("distance", None),
]


@pytest.mark.parametrize("convention, planar", CONVENTIONS, ids=[case[0] for case in CONVENTIONS])
def test_a_depth_convention_converts_the_array_as_the_files_depth(files, convention, planar):
    depth, normals, rgba = scene()
    look = {**OCCLUSION, "FilterMethod": "Calculated Normals", "CamFOV": 60}
    stored = (numpy.round(depth * 16) / 64).astype(numpy.float32)  # within [0, 1], a NaN kept
    got = bits(umbrix.render(stored, normals, rgba, depth_convention=convention, **look))
    if planar:
        assert (bits(umbrix.render(planar(stored), normals, rgba, **look)) == got).all()
    write_exr(files / "in.exr", {"Z": stored,
                                  **{name: rgba[:, :, k] for k, name in enumerate("RGBA")},
                                  **{f"N.{a}": normals[:, :, k] for k, a in enumerate("XYZ")}})
    umbrix.render_file(files / "in.exr", files / "out.exr", depth=convention, **look)
    out = read_exr(files / "out.exr", "RGBA")
    assert (bits(numpy.stack([out[name] for name in "RGBA"], -1)) == got).all()
    with pytest.warns(umbrix.UmbrixWarning, match="^render\\(\\): every depth value lies within "
                      r"\[0, 1\].* say so with depth_convention=normalized:NEAR:FAR"):
        as_z = bits(umbrix.render(stored, normals, rgba, **look))
    assert not (as_z == got).all()


def test_render_file_renders_the_views_named_as_the_program_does(files):
    depth, _, rgba = scene()
    header = oiio.ImageSpec(depth.shape[1], depth.shape[0], 3, "float")
    header.channelnames = ("Z", "right.Z", "right.A")
    header.attribute("multiView", oiio.TypeDesc("string[2]"), ("left", "right"))
    image = oiio.ImageOutput.create(str(files / "in.exr"))
    assert image.open(str(files / "in.exr"), header), image.geterror()
    assert image.write_image(numpy.stack([depth, depth[::-1] + 1, rgba[..., 3]], -1))
    image.close()
    for view in ["right", ["left", "right"]]:
        views = [view] if isinstance(view, str) else view
        run_program("render", files / "in.exr", "-o", files / "cli.exr", "--quiet",
                    *[f"--view={name}" for name in views], "--set=UseSSAO=1",
                    "--set=FilterMethod=Calculated Normals")
        umbrix.render_file(files / "in.exr", files / "py.exr", view=view, UseSSAO=1,
                           FilterMethod="Calculated Normals")
        cli, py = read_exr(files / "cli.exr"), read_exr(files / "py.exr")
        assert sorted(cli) == sorted(py)
        for name in cli:
            assert numpy.array_equal(bits(cli[name]), bits(py[name])), (view, name)
    with pytest.raises(umbrix.UsageError, match="^view=centre: .*in.exr has no view of that name"):
        umbrix.render_file(files / "in.exr", files / "py.exr", view="centre")
