"""Block-attribute values from DWG drawings, read by Quorvane's own reader.

    import quorvane
    d = quorvane.read("plan.dwg")          # d.version, d.model, d.paper
    rows = quorvane.extract(paths, ["DWG_NO", "TITLE", "REV"])
    frame = quorvane.to_dataframe(rows, ["DWG_NO", "TITLE", "REV"])   # needs pandas

extract() gives the rows a Quorvane processing run writes to CSV, one per
drawing in the order given; a drawing that cannot be read gives a Failure
in its place, so one bad file never costs the others. The module needs only
the standard library; to_dataframe() imports pandas when it is called.
"""

from typing import NamedTuple


class Drawing(NamedTuple):
    """The attributes of a drawing's two spaces, as (tag, value) tuples in stored order."""

    version: str
    model: list
    paper: list


class Failure(NamedTuple):
    """A drawing extract() could not read: its path and the reason in words."""

    path: str
    reason: str


class DrawingError(Exception):
    """A drawing read() could not read: .path, .reason in words, .code the reader's number."""

    def __init__(self, path, reason, code=0):
        super().__init__(path, reason, code)
        self.path = path
        self.reason = reason
        self.code = code

    def __str__(self):
        return f"{self.path}: {self.reason}"


from . import _quorvane  # noqa: E402  (it looks the classes above up on itself)

_quorvane.Drawing = Drawing
_quorvane.Failure = Failure
_quorvane.DrawingError = DrawingError

read = _quorvane.read
extract = _quorvane.extract


def to_dataframe(rows, fields):
    """A pandas DataFrame of extract()'s rows: column "File Name", then one per field.

    Failures are left out; `[r for r in rows if isinstance(r, quorvane.Failure)]`
    lists them. Raises ImportError when pandas is not installed.
    """
    import pandas

    kept = [row for row in rows if not isinstance(row, Failure)]
    return pandas.DataFrame(kept, columns=["File Name", *fields])


__all__ = ["Drawing", "DrawingError", "Failure", "extract", "read", "to_dataframe"]
