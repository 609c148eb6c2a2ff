"""What a wrong call raises, and what a doubtful one warns of."""

import subprocess
import sys
from pathlib import Path

import numpy
import pytest

import umbrix
from conftest import scene

DEPTH, NORMALS, RGBA = scene(5, 4)

# a call, the exception, a pattern its message matches
BAD_CALLS = [
    (lambda: umbrix.render(DEPTH[0]), ValueError, r"depth: shape \(4,\) is not \(height, width\)"),
    (lambda: umbrix.render(DEPTH[:, :0]), ValueError, r"depth: shape \(5, 0\)"),
    (lambda: umbrix.render(numpy.ones((5, 4), numpy.int64)), ValueError, "depth: dtype int64 is not a float"),
    (lambda: umbrix.render(DEPTH, NORMALS[:, :3]), ValueError,
     r"normals: shape \(5, 3, 3\) does not fit depth's \(5, 4\): expected \(5, 4, 3\)"),
    (lambda: umbrix.render(DEPTH, None, RGBA[..., :3]), ValueError,
     r"rgba: shape \(5, 4, 3\) does not fit depth's \(5, 4\): expected \(5, 4, 4\)"),
    (lambda: umbrix.render(DEPTH, Matrx=4), umbrix.UsageError,
     "keyword Matrx: no control 'Matrx'; did you mean 'Matrix'"),
    (lambda: umbrix.render(DEPTH, About=1), umbrix.UsageError, "'About' is a button"),
    (lambda: umbrix.render(DEPTH, Matrix="big"), umbrix.UsageError, "'big' is not a number"),
    (lambda: umbrix.render(DEPTH, Matrix=True), umbrix.UsageError, "not a switch"),
    (lambda: umbrix.render(DEPTH, FilterMethod="Rendered"), umbrix.UsageError,
     "or one of 'Rendered Normals'"),
    (lambda: umbrix.render(DEPTH, settings={"usessao": [1]}), umbrix.UsageError,
     r"settings usessao: \[1\] is not a number"),
    (lambda: umbrix.render(DEPTH, threads=-1), umbrix.UsageError, "threads=-1"),
    (lambda: umbrix.render(None), TypeError, "depth: None is not an array"),
    (lambda: umbrix.render(DEPTH, threads="2"), TypeError, "threads: str is not a whole number"),
    (lambda: umbrix.render(numpy.ma.masked_array(DEPTH)), ValueError, "depth: a masked array"),
    (lambda: umbrix.render(DEPTH.astype(numpy.dtype("g").newbyteorder(">"))), ValueError,
     "depth: a long double in the other byte order"),
    (lambda: umbrix.render(DEPTH, depth_convention="far"), umbrix.UsageError,
     "^depth_convention=far: expected z, inverse, distance"),
    (lambda: umbrix.render(DEPTH, depth_convention=1), TypeError,
     "depth_convention: int is not a string"),
    (lambda: umbrix.render_file("in.exr", "out.exr", depth="normalized:3:1"), umbrix.UsageError,
     "^depth=normalized:3:1: NEAR must be less than FAR"),
    (lambda: umbrix.render_file("in.exr", "out.exr", d=numpy.float16), TypeError,
     "d: type is neither a string nor a list of strings"),
    (lambda: umbrix.render_file("in.exr", "out.####.exr"), umbrix.UsageError,
     "has a frame number pattern"),
    (lambda: umbrix.render_file("in.exr", "out.exr", frames="1-3"), umbrix.UsageError,
     "needs a frame number pattern"),
    (lambda: umbrix.render_file("in.#.exr", "out.#.exr", frames="1-x"), umbrix.UsageError,
     "^frames=1-x: expected frames"),
    (lambda: umbrix.render_file("in.exr", "out.exr", compression="zap"), umbrix.UsageError,
     "zap"),
]


@pytest.mark.parametrize("call, error, message", BAD_CALLS,
                         ids=[case[2][:40] for case in BAD_CALLS])
def test_a_bad_call_raises_the_programs_message(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_a_file_that_fails_is_a_render_error_naming_it(files):
    missing = str(files / "missing.exr")
    with pytest.raises(umbrix.RenderError, match="missing.exr") as raised:
        umbrix.render_file(missing, files / "out.exr")
    assert isinstance(raised.value, OSError) and raised.value.filename == missing
    with pytest.raises(umbrix.RenderError) as raised:
        umbrix.load_settings(missing)
    assert raised.value.filename == missing
    (files / "bad.json").write_text('{"Matrix": 4, "Nope": 1}')
    with pytest.raises(umbrix.UsageError, match="bad.json: Nope: no control 'Nope'"):
        umbrix.load_settings(files / "bad.json")


def test_doubtful_values_are_warned_of_and_passed_on():
    with pytest.warns(umbrix.UmbrixWarning) as warned:
        out = umbrix.render(DEPTH, usessao="yes", Matrix=2.5, CamFOV=0)
    texts = [str(w.message) for w in warned]
    assert any("Matrix=2.5 is outside the control's range" in text for text in texts)
    assert any("CamFOV=0 makes every calculated normal NaN" in text for text in texts)
    assert any("no normals given" in text for text in texts)
    assert numpy.isnan(out[..., :3]).all()


# Run in a child whose address space ends a little above what it has once the tool is loaded:
# the frame's source image, hundreds of megabytes, cannot be had.
SHORT_OF_MEMORY = """
import resource, sys, numpy, umbrix
from conftest import write_exr
depth = numpy.full((4000, 4000), 2.0, numpy.float32)
if sys.argv[1] == "file":
    write_exr(sys.argv[2] + "/in.exr", {"Z": depth})
umbrix.render(depth[:8, :8], threads=1)
size = int(next(line for line in open("/proc/self/status") if line.startswith("VmSize")).split()[1])
limit = (size + 96 * 1024) * 1024
resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
try:
    if sys.argv[1] == "file":
        umbrix.render_file(sys.argv[2] + "/in.exr", sys.argv[2] + "/out.exr", threads=1)
    else:
        umbrix.render(depth, threads=1)
except umbrix.OutOfMemory as error:
    print(type(error).__name__, error)
"""


@pytest.mark.parametrize("call, message", [("array", "render(): out of memory for the arrays'"),
                                           ("file", "in.exr: image too large: out of memory")])
def test_memory_running_out_is_out_of_memory(files, call, message):
    done = subprocess.run([sys.executable, "-c", SHORT_OF_MEMORY, call, str(files)],
                          capture_output=True, text=True, cwd=Path(__file__).parent, timeout=300)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("OutOfMemory ") and message in done.stdout, done.stdout
