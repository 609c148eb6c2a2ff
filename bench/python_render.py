#!/usr/bin/python3
"""umbrix.render on 1920x1080 float32 arrays against the tool's own render of the same frame.

    PYTHONPATH=build/release/bin/python bench/python_render.py build/release/bin

The frame is the demo scene (depth, the renderer's normals, R G B A as arrays); the tool's own
time is umbrix_bench's ToolRender for the same configuration, which renders an image already in
the host's planes. The two are run in turn, several rounds, and each reports its median.

Then frames one per Python thread, each call with threads=1: four frames on one thread in a row
against the same four on two threads at once, as a pipeline running a frame per thread does.
"""

import json
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy
import OpenImageIO as oiio

import umbrix

ROUNDS = 5
RUNS = 15
CONFIGS = [(5, 0), (5, 1), (16, 0)]  # Matrix, FilterMethod
THREADS = 2


def demo_arrays(program):
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([program, "demo", "--size", "1920x1080", "-q", "-o", folder], check=True)
        image = oiio.ImageInput.open(str(Path(folder) / "demo.exr"))
        names = image.spec().channelnames
        pixels = image.read_image("float")
        image.close()
    plane = {name: pixels[:, :, k] for k, name in enumerate(names)}
    stack = lambda keys: numpy.ascontiguousarray(numpy.stack([plane[k] for k in keys], -1))
    return (numpy.ascontiguousarray(plane["Z"]), stack(["N.X", "N.Y", "N.Z"]),
            stack(["R", "G", "B", "A"]))


def python_ms(arrays, matrix, method):
    times = []
    for _ in range(RUNS):
        began = time.perf_counter()
        umbrix.render(*arrays, UseSSAO=1, Matrix=matrix, FilterMethod=method, threads=THREADS)
        times.append((time.perf_counter() - began) * 1000)
    return statistics.median(times)


def frames_ms(arrays, threads, frames=4):
    """Wall time of `frames` renders with threads=1 each, over `threads` Python threads."""
    render = lambda _: umbrix.render(*arrays, UseSSAO=1, Matrix=5, threads=1)
    times = []
    for _ in range(ROUNDS):
        with ThreadPoolExecutor(threads) as pool:
            began = time.perf_counter()
            list(pool.map(render, range(frames)))
            times.append((time.perf_counter() - began) * 1000)
    return statistics.median(times)


def tool_ms(bench, matrix, method):
    name = f"ToolRender/Matrix:{matrix}/FilterMethod:{method}/threads:{THREADS}/real_time"
    done = subprocess.run([bench, f"--benchmark_filter=^{name}$", "--benchmark_format=json"],
                          check=True, capture_output=True, text=True)
    return json.loads(done.stdout)["benchmarks"][0]["ms/frame"]


def main(folder):
    program, bench = Path(folder) / "umbrix", Path(folder) / "umbrix_bench"
    arrays = demo_arrays(program)
    python_ms(arrays, 5, 0)
    print(f"{'Matrix, FilterMethod':<22}{'umbrix.render':>15}{'tool render':>13}{'ratio':>8}")
    for matrix, method in CONFIGS:
        ours, tools = [], []
        for _ in range(ROUNDS):
            tools.append(tool_ms(bench, matrix, method))
            ours.append(python_ms(arrays, matrix, method))
        py, tool = statistics.median(ours), statistics.median(tools)
        print(f"{f'{matrix}, {method}':<22}{py:>12.1f} ms{tool:>10.1f} ms{py / tool:>8.2f}")
    one, two = frames_ms(arrays, 1), frames_ms(arrays, 2)
    print(f"4 frames, threads=1 each, Matrix 5: one Python thread {one:.0f} ms, "
          f"two {two:.0f} ms ({one / two:.2f}x)")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/release/bin")
