"""The module in a pipeline's process: forks, signals, threads and the memory it keeps."""

import os
import select
import signal
import subprocess
import sys
import threading

import numpy
import OpenImageIO as oiio
import pytest

import umbrix
from conftest import bits, scene, write_exr

OCCLUSION = {"UseSSAO": 1, "Matrix": 3, "DepthThreshold": 2, "FilterMethod": "Calculated Normals"}
# A render of many seconds on one thread, in blocks of rows.
LONG = {"UseSSAO": 1, "Matrix": 200, "DepthThreshold": 100, "FilterMethod": "disabled"}


def long_depth(size=2048):
    y, x = numpy.mgrid[0:size, 0:size]
    return (2 + 0.3 * numpy.sin(x / 9.0) * numpy.cos(y / 7.0)).astype(numpy.float32)


def sequence(folder, frames, size):
    for frame in range(1, frames + 1):
        write_exr(folder / f"in.{frame:04d}.exr", {"Z": long_depth(size) + frame})


def whole_outputs(folder):
    """The outputs in the folder, each read whole; AssertionError for any hidden file left."""
    names = sorted(os.listdir(folder))
    assert [name for name in names if name.startswith(".")] == []
    outputs = [name for name in names if name.startswith("out.")]
    for name in outputs:
        image = oiio.ImageInput.open(str(folder / name))
        assert image and image.read_image("float") is not None, name
        image.close()
    return outputs


def test_a_forked_child_renders_with_a_pool_of_its_own():
    depth, normals, rgba = scene()
    expected = bits(umbrix.render(depth, normals, rgba, threads=2, **OCCLUSION))
    readable, writable = os.pipe()
    child = os.fork()
    if child == 0:
        try:
            got = bits(umbrix.render(depth, normals, rgba, threads=2, **OCCLUSION))
            os.write(writable, got.tobytes())
        finally:
            os._exit(0)
    os.close(writable)
    received = b""
    # A child that hangs is killed; it cannot be waited for.
    while select.select([readable], [], [], 120)[0]:
        chunk = os.read(readable, 1 << 16)
        if not chunk:
            break
        received += chunk
    else:
        os.kill(child, signal.SIGKILL)
    os.close(readable)
    os.waitpid(child, 0)
    assert received == expected.tobytes()


def keep_signalling(signal_number, done):
    while not done.wait(0.02):
        os.kill(os.getpid(), signal_number)


@pytest.fixture
def quiet_sigint():
    """SIGINT handled by a handler that raises nothing, counting the calls."""
    calls = []
    previous = signal.signal(signal.SIGINT, lambda number, frame: calls.append(number))
    yield calls
    signal.signal(signal.SIGINT, previous)


def interrupted(call, on_main_thread):
    """What `call` raises while SIGINT keeps arriving, run on this thread or another."""
    outcome = {}

    def run():
        try:
            outcome["returned"] = call()
        except BaseException as error:  # noqa: B036 -- what is raised is the finding
            outcome["raised"] = error

    done = threading.Event()
    sender = threading.Thread(target=keep_signalling, args=(signal.SIGINT, done))
    sender.start()
    try:
        if on_main_thread:
            run()
        else:
            worker = threading.Thread(target=run)
            worker.start()
            worker.join()
    finally:
        done.set()
        sender.join()
    assert "returned" not in outcome, "the call ran to its end"
    return outcome["raised"]


@pytest.mark.parametrize("on_main_thread", [True, False], ids=["main thread", "other thread"])
def test_sigint_stops_an_array_render(quiet_sigint, on_main_thread):
    depth = long_depth()
    error = interrupted(lambda: umbrix.render(depth, threads=1, **LONG), on_main_thread)
    assert isinstance(error, umbrix.Interrupted) and isinstance(error, KeyboardInterrupt)
    assert error.signal == signal.SIGINT and quiet_sigint


def test_sigint_stops_render_file_off_the_main_thread_before_its_next_frame(files, quiet_sigint):
    sequence(files, 12, 256)
    error = interrupted(lambda: umbrix.render_file(files / "in.#.exr", files / "out.#.exr",
                                                   frames="1-12", threads=1, **LONG), False)
    assert isinstance(error, umbrix.Interrupted)
    written = [os.path.basename(path) for path in error.report.written]
    assert 0 < len(written) < 12
    assert whole_outputs(files) == sorted(written)


def test_keyboard_interrupt_on_the_main_thread_says_what_was_written(files):
    sequence(files, 12, 256)
    error = interrupted(lambda: umbrix.render_file(files / "in.#.exr", files / "out.#.exr",
                                                   frames="1-12", threads=1, **LONG), True)
    assert type(error) is KeyboardInterrupt
    assert whole_outputs(files) == sorted(os.path.basename(p) for p in error.report.written)


TERMINATED_RUN = """
import sys, threading, umbrix
run = lambda: umbrix.render_file(sys.argv[1] + "/in.#.exr", sys.argv[1] + "/out.#.exr",
                                 frames="1-{frames}", compression="zip:9", threads=1)
if sys.argv[2] == "thread":
    worker = threading.Thread(target=run)
    worker.start()
    worker.join()
else:
    run()
"""


@pytest.mark.parametrize("where", ["main", "thread"])
def test_sigterm_ends_render_file_with_every_output_whole_and_no_temporary(files, where):
    frames = 16
    sequence(files, frames, 512)
    run = subprocess.Popen([sys.executable, "-c", TERMINATED_RUN.format(frames=frames),
                            str(files), where])
    # Sent while a temporary is being written, which the run must then remove.
    caught = False
    while run.poll() is None and not caught:
        caught = any(name.startswith(".out.") for name in os.listdir(files))
    if caught:
        run.send_signal(signal.SIGTERM)
    assert run.wait() == -signal.SIGTERM, "no write was caught in progress"
    assert len(whole_outputs(files)) < frames


def test_release_gives_back_the_kept_images_and_the_workers():
    depth, normals, rgba = scene(64, 64)
    umbrix.release()
    umbrix.render(depth, normals, rgba, threads=3)
    assert umbrix._umbrix.kept_bytes() == 64 * 64 * 8 * 4
    threads = len(os.listdir("/proc/self/task"))
    assert umbrix.release() == 64 * 64 * 8 * 4
    assert umbrix._umbrix.kept_bytes() == 0
    # The pool's three workers end; the file readers' threads, if any, stay.
    assert len(os.listdir("/proc/self/task")) == threads - 3




def workers():
    """The render workers this process has now."""
    names = []
    for task in os.listdir("/proc/self/task"):
        try:
            with open(f"/proc/self/task/{task}/comm") as comm:
                names.append(comm.read().strip())
        except FileNotFoundError:  # a thread that ended meanwhile
            pass
    return names.count("umbrix-worker")


def test_calls_of_one_thread_each_run_side_by_side():
    """A second call with threads=1, made while a first runs, gets a worker of its own."""
    depth = long_depth(512)
    umbrix.release()
    assert workers() == 0
    settings = dict(LONG, Matrix=60)
    calls = [threading.Thread(target=umbrix.render, args=(depth,),
                              kwargs=dict(threads=1, **settings)) for _ in range(2)]
    calls[0].start()
    while workers() == 0:
        assert calls[0].is_alive(), "the first call ended without a worker"
    calls[1].start()
    for call in calls:
        call.join()
    # Workers stay until release(): one for each call that ran at the same time.
    assert workers() == 2
    umbrix.release()
