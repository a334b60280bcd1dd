import json
import os

import pytest

import quorvane
from conftest import BATCH, CORPUS, csv_rows

BATCH_FOLDER = CORPUS / "generated" / "batch"
BATCH_TAGS = ["DWG_NO", "TITLE", "REV", "SHEET", "title", "ABSENT"]


def test_read_gives_the_version_and_both_spaces_of_the_reference():
    """The corpus is read through the component by tests/extract; here the binding."""
    data = json.loads((CORPUS / "expected" / "gen_r2000_e_both_spaces.json").read_text(encoding="utf-8"))
    drawing = quorvane.read(CORPUS / data["file"])
    assert data["model"] and data["paper"]
    assert drawing.version == data["version"]
    assert drawing.model == [(tag, value) for tag, value, *_ in data["model"]]
    assert drawing.paper == [(tag, value) for tag, value, *_ in data["paper"]]


def bad_drawings(tmp_path):
    (tmp_path / "notes.dwg").write_text("not a drawing\n")
    (tmp_path / "truncated.dwg").write_bytes((BATCH_FOLDER / "batch_001.dwg").read_bytes()[:2000])
    return [tmp_path / "notes.dwg", tmp_path / "truncated.dwg", tmp_path / "missing.dwg"]


def test_unreadable_drawings_raise_drawing_error_and_give_a_failure_in_their_place(tmp_path):
    bad = bad_drawings(tmp_path)
    for path in bad:
        with pytest.raises(quorvane.DrawingError) as caught:
            quorvane.read(path)
        assert caught.value.path == str(path)
        assert caught.value.reason and str(path) in str(caught.value)
    assert caught.value.code == 3 and caught.value.reason == "the file does not exist"
    good = str(BATCH_FOLDER / "batch_001.dwg")
    rows = quorvane.extract([good, *map(str, bad), good], ["TITLE"], jobs=2)
    assert rows[0] == rows[-1] == [good, "Batch drawing 1"]
    assert [type(r) for r in rows[1:-1]] == [quorvane.Failure] * 3
    assert [r.path for r in rows[1:-1]] == list(map(str, bad))


@pytest.mark.parametrize("call,error", [
    (lambda: quorvane.extract("a.dwg", ["T"]), TypeError),
    (lambda: quorvane.extract(["a.dwg"], "T"), TypeError),
    (lambda: quorvane.extract(["a.dwg"], [1]), TypeError),
    (lambda: quorvane.extract([], ["T"], space="X"), ValueError),
    (lambda: quorvane.extract([], ["T"], jobs=0), ValueError),
])
def test_arguments_are_checked(call, error):
    with pytest.raises(error):
        call()


@pytest.mark.skipif(not BATCH, reason="quorvane-batch is not built")
@pytest.mark.parametrize("jobs", [1, 2])
def test_extract_gives_the_rows_of_a_run(batch, tmp_path, jobs):
    assert batch(BATCH_FOLDER, BATCH_TAGS, tmp_path / "whole.csv") == 0
    expected = csv_rows(tmp_path / "whole.csv")
    # In the batch's folder order: by name in capitals, as Windows lists a folder.
    names = sorted((e.name for e in os.scandir(BATCH_FOLDER) if e.name.endswith(".dwg")), key=lambda n: (n.upper(), n))
    rows = quorvane.extract([os.path.join(BATCH_FOLDER, name) for name in names], BATCH_TAGS, jobs=jobs)
    assert expected[0] == ["File Name", *BATCH_TAGS]
    assert [[v if v is not None else "" for v in row] for row in rows] == expected[1:]
    assert all(row[-1] is None and row[-2] is None for row in rows)  # "title" and "ABSENT" match nothing
    assert quorvane.extract([], ["T"]) == []


def test_to_dataframe_leaves_failures_out():
    pandas = pytest.importorskip("pandas")
    rows = [["a.dwg", "1", None], quorvane.Failure("b.dwg", "the file does not exist")]
    frame = quorvane.to_dataframe(rows, ["X", "Y"])
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == ["File Name", "X", "Y"] and frame.shape == (1, 3)
