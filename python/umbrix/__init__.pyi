import os
from typing import Any, Mapping, Sequence, Union

import numpy
import numpy.typing

__version__: str

_Path = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_ControlValue = Union[bool, int, float, str]
_Settings = Union[None, Mapping[str, _ControlValue], _Path]

class UsageError(ValueError): ...

class RenderError(OSError):
    filename: str | None
    def __init__(self, message: str, filename: str | None = ...) -> None: ...

class OutOfMemory(RenderError, MemoryError): ...

class Interrupted(KeyboardInterrupt):
    signal: int
    report: RenderReport | None
    def __init__(self, signal: int, report: RenderReport | None = ...) -> None: ...

class UmbrixWarning(UserWarning): ...

class RenderReport:
    written: list[str]
    skipped: list[int]
    warnings: list[str]
    def __init__(self, written: Sequence[str], skipped: Sequence[int],
                 warnings: Sequence[str]) -> None: ...

def controls() -> list[dict[str, Any]]: ...
def render(depth: numpy.typing.ArrayLike, normals: numpy.typing.ArrayLike | None = ...,
           rgba: numpy.typing.ArrayLike | None = ..., *, settings: _Settings = ...,
           threads: int = ..., depth_convention: str | None = ...,
           **controls: _ControlValue) -> numpy.ndarray[Any, numpy.dtype[numpy.float32]]: ...
def render_file(input: _Path, output: _Path, *, frames: str | int | None = ...,
                settings: _Settings = ..., preview: _Path | None = ..., threads: int = ...,
                layer: str | None = ..., ch: str | None = ..., d: str | Sequence[str] | None = ...,
                compression: str | None = ..., clamp: bool = ...,
                map: str | Sequence[str] | None = ..., part: str | None = ...,
                depth: str | None = ..., view: str | Sequence[str] | None = ...,
                skip_bad_frames: bool = ..., dry_run: bool = ...,
                **controls: _ControlValue) -> RenderReport: ...
def release() -> int: ...
def load_settings(path: _Path) -> dict[str, float]: ...
def save_settings(path: _Path, values: Mapping[str, _ControlValue]) -> None: ...
