"""Normals and screen-space ambient occlusion from depth, as the ``umbrix`` program renders them.

Arrays in and out (row 0 is the top row, as in a file), files as ``umbrix render`` reads and
writes them, controls by identifier with the command line's rules. ``controls()`` lists them.
"""

import json as _json
import operator as _operator
import os as _os
import re as _re
import warnings as _warnings

import numpy as _numpy

from umbrix import _umbrix
from umbrix._errors import Interrupted, OutOfMemory, RenderError, UmbrixWarning, UsageError

__all__ = ["Interrupted", "OutOfMemory", "RenderError", "RenderReport", "UmbrixWarning",
           "UsageError", "controls", "load_settings", "release", "render", "render_file",
           "save_settings"]

__version__ = _umbrix.version


class RenderReport:
    """What ``render_file`` did.

    ``written``: the files written, in order (none in a dry run); ``skipped``: the frame numbers
    left out by ``skip_bad_frames``; ``warnings``: every warning, as also given to ``warnings``.
    """

    def __init__(self, written, skipped, warnings):
        self.written = list(written)
        self.skipped = list(skipped)
        self.warnings = list(warnings)

    def __repr__(self):
        return (f"RenderReport(written={self.written!r}, skipped={self.skipped!r}, "
                f"warnings={self.warnings!r})")


def _warn(texts):
    for text in texts:
        _warnings.warn(text, UmbrixWarning, stacklevel=3)


def _settings(settings):
    """A settings argument as (file, items): a path in the --settings format, or a dict."""
    if settings is None:
        return None, []
    if isinstance(settings, (str, bytes, _os.PathLike)):
        return _os.fsdecode(settings), []
    if isinstance(settings, dict):
        return None, [(str(key), value) for key, value in settings.items()]
    raise UsageError(f"settings: {type(settings).__name__} is neither a dict of control values "
                     "nor a path")


def _array(value, name):
    if value is None:
        return None
    if isinstance(value, _numpy.ma.MaskedArray):
        raise ValueError(f"{name}: a masked array, whose mask would be lost: give the values "
                         f"to render in its place, such as {name}.filled(numpy.nan)")
    if isinstance(value, _numpy.ndarray):
        return value
    try:
        return _numpy.asarray(value)
    except (TypeError, ValueError) as error:
        raise ValueError(f"{name}: not an array: {error}") from None


def _path(value, name):
    if value is None:
        return None
    if isinstance(value, (str, bytes, _os.PathLike)):
        return _os.fsdecode(value)
    raise TypeError(f"{name}: {type(value).__name__} is not a path")


def _text(value, name):
    if value is None or isinstance(value, str):
        return value
    raise TypeError(f"{name}: {type(value).__name__} is not a string")


def _text_list(value, name):
    if value is None:
        return []
    if isinstance(value, str):
        return [value]
    if isinstance(value, (list, tuple)) and all(isinstance(item, str) for item in value):
        return list(value)
    raise TypeError(f"{name}: {type(value).__name__} is neither a string nor a list of strings")


def _whole(value, name):
    if isinstance(value, bool):
        raise TypeError(f"{name}: a bool is not a number of threads")
    try:
        return _operator.index(value)
    except TypeError:
        raise TypeError(f"{name}: {type(value).__name__} is not a whole number") from None


def _switch(value, name):
    if isinstance(value, (bool, int, _numpy.bool_)):
        return bool(value)
    raise TypeError(f"{name}: {type(value).__name__} is not a bool")


# The command line's options, as render_file's keywords name them: "--frames 1-x" becomes
# "frames=1-x", "--ch:" "ch:".
_OPTION = _re.compile(r"(?<![\w-])(--frames|--preview|--layer|--ch|-d|--compression|--map|--part"
                      r"|--depth|--view)\b( (?=\S))?")
# render's one: its depth convention, as the keyword depth_convention.
_DEPTH_OPTION = _re.compile(r"(?<![\w-])(--depth)\b( (?=\S))?")


def _in_keywords(text, option=_OPTION, keyword=lambda name: name.lstrip("-")):
    return option.sub(lambda m: keyword(m.group(1)) + ("=" if m.group(2) else ""), text)


def _in_render_keywords(text):
    return _in_keywords(text, _DEPTH_OPTION, lambda _: "depth_convention")


def controls():
    """The tool's controls, as ``umbrix controls --json`` lists them.

    A list of dicts, one a control, with ``id`` (what keywords and settings name), ``name``,
    ``kind`` (checkbox, combo, slider, button), ``page``, ``default``, ``low``, ``high`` (None
    where the control has none), ``entries`` (the combo's entry names) and ``wholeNumber``.
    """
    return _json.loads(_umbrix.controls())


def render(depth, normals=None, rgba=None, *, settings=None, threads=0, depth_convention=None,
           **controls):
    """Renders normals and occlusion from arrays, as ``umbrix render`` renders an image file.

    depth: an (H, W) array, the depth (Z) of each pixel; row 0 is the top row.
    normals: None, or an (H, W, 3) array: the renderer's normal X Y Z (what the program reads
        from N.X N.Y N.Z), which FilterMethod "Rendered Normals" compares.
    rgba: None, or an (H, W, 4) array: the image's own R G B A. With "UseSSAO" off the result's
        A is this A; without it R G B A start as zeros.
    settings: None, a dict of control values by identifier, or the path of a settings file as
        ``umbrix render --settings`` reads it; the keywords apply after it.
    threads: the most worker threads the render uses, as ``--threads``; 0 is one per core.
    depth_convention: how ``depth`` measures depth, as ``--depth`` says it of a file's depth
        channel (the keyword is not ``depth``, which names the array): "z" (planar, as the tool
        reads it), "inverse" (1/z), "distance" (along each pixel's ray; the rays are CamFOV's
        across the array's width, as for a file without a screen window),
        "normalized:NEAR:FAR" (0 near, 1 far) or "normalized-inverted:NEAR:FAR" (1 near, 0 far).
        Converted to planar depth before the tool renders, as a file's depth is. None: the
        settings file's ``"depth"`` where it holds one, else "z". With "z", a depth whose every
        finite value lies within [0, 1] is warned of.
    **controls: control values by identifier (``UseSSAO=True``, ``Matrix=12``,
        ``FilterMethod="Calculated Normals"``): any case where only one control is spelt so, a
        number, for a switch also a bool or on/off, yes/no, true/false, and for the combo an
        entry name. A value outside a control's range is given to the tool as it is, with a
        warning.

    Arrays may be of any float type (float16, float32, float64) in either byte order, C- or
    Fortran-ordered or strided views; each value becomes a 32-bit float as a file's half or float
    sample does. A depth of shape (H, W, 1) is read as (H, W). A masked array is refused (its
    mask would be lost): give its values with the masked ones filled.

    Returns an (H, W, 4) float32 array: R G B A exactly as ``umbrix render`` writes them for an
    image with these channels (R G B the normal's z y x, A the occlusion). It is a view of the
    host's own output image, which it keeps alive: its depth and normal planes too, 8 bytes a
    pixel more with normals (copy the result to keep its own 16 only).

    Raises TypeError or ValueError naming the argument for a wrong one (ValueError with the
    shapes for arrays of the wrong type or shape), UsageError for a bad control or value,
    OutOfMemory (a MemoryError) when memory runs out, RenderError when the tool cannot be loaded
    or run. Warnings come as UmbrixWarning. The GIL is released while rendering. SIGINT (Ctrl-C),
    SIGTERM or SIGHUP, where Python handles it, stops the render at its next block of rows: the
    handler's exception is raised (KeyboardInterrupt for Ctrl-C), or Interrupted when it raises
    none or the call is not on the main thread.
    """
    settings_file, settings_items = _settings(settings)
    if depth is None:
        raise TypeError("depth: None is not an array")
    if depth_convention is not None and not isinstance(depth_convention, str):
        raise TypeError(f"depth_convention: {type(depth_convention).__name__} is not a string")
    try:
        result, warned = _umbrix.render(_array(depth, "depth"), _array(normals, "normals"),
                                        _array(rgba, "rgba"), settings_file, settings_items,
                                        list(controls.items()), depth_convention,
                                        _whole(threads, "threads"))
    except UsageError as error:
        raise UsageError(_in_render_keywords(str(error))) from None
    _warn([_in_render_keywords(text) for text in warned])
    return result


def render_file(input, output, *, frames=None, settings=None, preview=None, threads=0,
                layer=None, ch=None, d=None, compression=None, clamp=False, map=None, part=None,
                depth=None, view=None, skip_bad_frames=False, dry_run=False, **controls):
    """Renders image files as ``umbrix render INPUT -o OUTPUT`` does, in this process.

    input, output: the paths; with ``frames``, each holds a frame number pattern (####, @, %04d).
    frames: None for one image, or the frames as ``--frames`` takes them: "1001-1100",
        "1-100x2", "100-1", "1,5,10-20".
    settings: None, a dict of control values, or a settings file's path (``--settings``).
    preview: an 8-bit preview to write beside each output (``--preview``).
    threads: the most worker threads, for the tool and the file codecs (``--threads``).
    layer: the results as LAYER.R ... LAYER.A (``--layer``).
    ch: the output's channels, "R,G,B,AO=A" (``--ch``).
    d: the results' pixel type, "half" or "float", or a list such as ["ssao.A=float"] (``-d``).
    compression: "zip", "zip:9", "piz", "dwaa:45", ... (``--compression``).
    clamp: occlusion written clamped to [0, 1] (``--clamp``).
    map: channel mappings, "P.depth=depth" or a list of them (``--map``).
    part: the part of a multi-part EXR to render (``--part``).
    depth: how the input's depth channel measures depth (``--depth``): "z", "inverse",
        "distance", "normalized:NEAR:FAR" or "normalized-inverted:NEAR:FAR"; None: the settings
        file's ``"depth"`` where it holds one, else "z".
    view: the view of a multi-view EXR to render, "right", or a list of them (``--view``); every
        view when None.
    skip_bad_frames: a frame whose input cannot be read is left out (``--skip-bad-frames``);
        the report lists it instead of the call raising.
    dry_run: read and check every frame, write nothing (``--dry-run``).
    **controls: control values by identifier, as for ``render``.

    Returns a RenderReport. Raises TypeError naming a keyword of the wrong type, UsageError
    where the program exits with status 2 and RenderError (its ``filename`` the file concerned)
    where it exits with 1; files are written whole or not at all. SIGINT (Ctrl-C), SIGTERM or
    SIGHUP, where Python handles it, stops the run before the next frame, on any thread: the
    handler's exception is raised (KeyboardInterrupt for Ctrl-C), or Interrupted when it raises
    none or the call is not on the main thread; either has a ``report`` of the files written.
    Where a signal would end the process (SIGTERM's default), it ends it as ``umbrix render``
    ends, the file being written removed.
    """
    settings_file, settings_items = _settings(settings)
    if frames is not None and not isinstance(frames, (str, int)):
        raise TypeError(f"frames: {type(frames).__name__} is neither a string nor a number")
    try:
        written, skipped, warned = _umbrix.render_file(
            _path(input, "input"), _path(output, "output"),
            None if frames is None else str(frames), settings_file, settings_items,
            list(controls.items()), _path(preview, "preview"), _whole(threads, "threads"),
            _text(layer, "layer"), _text(ch, "ch"), _text_list(d, "d"),
            _text(compression, "compression"), _switch(clamp, "clamp"), _text_list(map, "map"),
            _text(part, "part"), _text(depth, "depth"),
            _text_list(view, "view"), _switch(skip_bad_frames, "skip_bad_frames"),
            _switch(dry_run, "dry_run"))
    except UsageError as error:
        raise UsageError(_in_keywords(str(error))) from None
    except KeyboardInterrupt as stopped:
        if isinstance(getattr(stopped, "report", None), tuple):
            written, skipped, warned = stopped.report
            stopped.report = RenderReport(written, skipped, [_in_keywords(w) for w in warned])
        raise
    warned = [_in_keywords(text) for text in warned]
    _warn(warned)
    return RenderReport(written, skipped, warned)


def release():
    """Gives back what the module keeps between calls: the source images kept for the next call
    of the same size, the tool's render state and, when no call runs, the worker threads; the
    freed memory goes back to the system. The next call starts them again. Returns the bytes of
    the source images released."""
    return _umbrix.release()


def load_settings(path):
    """The control values of a settings file (``--settings``), as a dict by identifier, with its
    ``"depth"`` (the depth convention, as ``--depth`` takes it) where it holds one."""
    return _umbrix.load_settings(_path(path, "path"))


def save_settings(path, values):
    """Writes a settings file (``--save-settings``): every control's value, those in ``values``
    (a dict by identifier, read as keywords are) and the defaults for the rest; a ``"depth"`` other
    than "z" is kept too."""
    _, items = _settings(dict(values))
    _umbrix.save_settings(_path(path, "path"), items)
