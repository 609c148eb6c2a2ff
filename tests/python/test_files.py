"""render_file, controls and settings files against the program."""

import json
import subprocess
import sys
from pathlib import Path

import numpy
import pytest

import umbrix
from conftest import PROGRAM, bits, read_exr, run_program, scene, write_exr

LOOK = {"UseSSAO": True, "matrix": 2, "FilterMethod": "Calculated Normals", "Amount": 0.5}


def write_sequence(files, frames):
    for frame in frames:
        depth, normals, rgba = scene(seed=frame)
        write_exr(files / f"in.{frame:04d}.exr",
                  {"Z": depth, "R": rgba[:, :, 0], "id": rgba[:, :, 1],
                   **{f"N.{a}": normals[:, :, k] for k, a in enumerate("XYZ")}},
                  {"id": "half"})


def test_a_sequence_is_written_as_the_program_writes_it(files):
    write_sequence(files, [7, 8, 9])
    run_program("render", files / "in.####.exr", "-o", files / "cli.####.exr", "--frames", "9-7",
                "--quiet", "--set", "UseSSAO=on", "--set", "Matrix=2", "--set",
                "FilterMethod=Calculated Normals", "--set", "Amount=0.5", "-d", "half",
                "--layer", "ao")
    report = umbrix.render_file(files / "in.####.exr", str(files / "py.####.exr"), frames="9-7",
                                d="half", layer="ao", **LOOK)
    assert report.written == [str(files / f"py.{frame:04d}.exr") for frame in (9, 8, 7)]
    assert report.skipped == [] and report.warnings == []
    for frame in (7, 8, 9):
        cli = read_exr(files / f"cli.{frame:04d}.exr")
        py = read_exr(files / f"py.{frame:04d}.exr")
        assert sorted(cli) == sorted(py)
        for name in cli:
            assert numpy.array_equal(bits(cli[name]), bits(py[name])), name


def test_bad_frames_are_skipped_and_a_dry_run_writes_nothing(files):
    write_sequence(files, [1, 3])
    (files / "in.0002.exr").write_bytes(b"not an image")
    with pytest.warns(umbrix.UmbrixWarning, match="frame 2: .*in.0002.exr"):
        report = umbrix.render_file(files / "in.#.exr", files / "out.#.exr", frames="1-3",
                                    skip_bad_frames=True)
    assert report.skipped == [2] and len(report.written) == 2
    report = umbrix.render_file(files / "in.#.exr", files / "dry.#.exr", frames="1,3",
                                dry_run=True)
    assert report.written == [] and not list(files.glob("dry*"))


def test_controls_and_settings_files_are_the_programs(files):
    listed = subprocess.run([PROGRAM, "controls", "--json"], capture_output=True, text=True,
                            check=True).stdout
    assert umbrix.controls() == json.loads(listed)
    assert umbrix.__version__ == "1.0.0"
    umbrix.save_settings(files / "look.json", {**LOOK, "CamFOV": "nan", "depth": "inverse"})
    depth, normals, _ = scene()
    write_exr(files / "in.exr", {"Z": depth})
    run_program("render", files / "in.exr", "-o", files / "out.exr", "--quiet", "--set",
                "UseSSAO=1", "--set", "Matrix=2", "--set", "FilterMethod=1", "--set",
                "Amount=0.5", "--set", "CamFOV=nan", "--depth", "inverse", "--save-settings",
                files / "cli.json")
    assert (files / "look.json").read_text() == (files / "cli.json").read_text()
    values = umbrix.load_settings(files / "look.json")
    assert values["Matrix"] == 2 and values["UseSSAO"] == 1 and numpy.isnan(values["CamFOV"])
    assert values["FilterMethod"] == 1 and values["UseNormals"] == 1
    assert values["depth"] == "inverse"
    with pytest.warns(umbrix.UmbrixWarning, match="CamFOV"):
        by_file = umbrix.render(depth, normals, settings=files / "look.json")
    with pytest.warns(umbrix.UmbrixWarning, match="CamFOV"):
        by_dict = umbrix.render(depth, normals, settings=values)
    assert numpy.array_equal(bits(by_file), bits(by_dict))
    # The settings' depth convention, unless the call names one.
    seen = {**values, "CamFOV": 60}
    by_settings = umbrix.render(depth, normals, settings=seen)
    named = umbrix.render(depth, normals, settings=seen, depth_convention="inverse")
    as_z = umbrix.render(depth, normals, settings=seen, depth_convention="z")
    assert numpy.array_equal(bits(by_settings), bits(named))
    assert not numpy.array_equal(bits(as_z), bits(named))
    with pytest.raises(umbrix.UsageError, match="is not a depth convention"):
        umbrix.render(depth, settings={"depth": 3})


def test_the_readme_example_prints_what_it_says(files):
    readme = (Path(__file__).parents[2] / "README.md").read_text()
    section = readme[readme.index("## Python"):]
    example = section[section.index("```python\n") + 10:section.index("\n```\n")]
    said = [line.split("# ")[-1] for line in example.splitlines() if line.startswith("print(")]
    done = subprocess.run([sys.executable, "-c", example], capture_output=True, text=True,
                          cwd=files, check=True)
    assert done.stdout.splitlines() == said and done.stderr == ""

