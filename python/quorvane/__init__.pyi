# Type stubs for the quorvane package (written by hand; the compiled part
# has none of its own).
import os
from typing import Iterable, Literal, NamedTuple, Sequence

import pandas

_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]

class Drawing(NamedTuple):
    """The attributes of a drawing's two spaces, as (tag, value) tuples in stored order."""

    version: str
    model: list[tuple[str, str]]
    paper: list[tuple[str, str]]

class Failure(NamedTuple):
    """A drawing extract() could not read: its path and the reason in words."""

    path: str
    reason: str

class DrawingError(Exception):
    """A drawing read() could not read: .path, .reason in words, .code the reader's number."""

    path: str
    reason: str
    code: int
    def __init__(self, path: str, reason: str, code: int = ...) -> None: ...

Row = list[str | None]
"""[path, value-or-None per field]: the path is never None."""

def read(path: _Path) -> Drawing:
    """Read the attributes of both spaces of one drawing; DrawingError when it cannot be read."""

def extract(
    paths: Iterable[_Path],
    fields: Iterable[str],
    space: Literal["M", "P"] = "M",
    jobs: int | None = None,
) -> list[Row | Failure]:
    """One row per path, in order: [path, first value of each field's tag or None], or a Failure."""

def to_dataframe(rows: Sequence[Row | Failure], fields: Sequence[str]) -> pandas.DataFrame:
    """Column "File Name", then one per field; Failures are left out. Needs pandas."""
