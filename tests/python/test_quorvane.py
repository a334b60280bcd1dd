import json
import os
import shutil
import subprocess

import pytest

import quorvane
from conftest import BATCH, CORPUS, csv_rows, read_versions

BATCH_FOLDER = CORPUS / "generated" / "batch"
BATCH_TAGS = ["DWG_NO", "TITLE", "REV", "SHEET", "title", "ABSENT"]


def references():
    versions = read_versions()
    for ref in sorted((CORPUS / "expected").glob("*.json")):
        data = json.loads(ref.read_text(encoding="utf-8"))
        if data.get("version") in versions and (CORPUS / data["file"]).exists():
            yield data


def test_read_equals_every_reference_of_the_versions_read():
    count = 0
    for ref in references():
        drawing = quorvane.read(CORPUS / ref["file"])
        assert drawing.version == ref["version"], ref["file"]
        assert drawing.model == [(tag, value) for tag, value, *_ in ref["model"]], ref["file"]
        assert drawing.paper == [(tag, value) for tag, value, *_ in ref["paper"]], ref["file"]
        count += 1
    assert count > 100


def bad_drawings(tmp_path):
    text = tmp_path / "notes.dwg"
    text.write_text("not a drawing\n")
    truncated = tmp_path / "truncated.dwg"
    truncated.write_bytes((BATCH_FOLDER / "batch_001.dwg").read_bytes()[:2000])
    return {"text file": text, "truncated drawing": truncated, "missing file": tmp_path / "missing.dwg"}


def test_unreadable_drawings_raise_drawing_error_with_path_and_reason(tmp_path):
    for case, path in bad_drawings(tmp_path).items():
        with pytest.raises(quorvane.DrawingError) as caught:
            quorvane.read(path)
        assert caught.value.path == str(path), case
        assert caught.value.reason and str(path) in str(caught.value), case
    assert caught.value.code == 3 and caught.value.reason == "the file does not exist"


def test_a_bad_drawing_gives_a_failure_in_its_place(tmp_path):
    good = str(BATCH_FOLDER / "batch_001.dwg")
    bad = [str(p) for p in bad_drawings(tmp_path).values()]
    rows = quorvane.extract([good, *bad, good], ["TITLE"], jobs=2)
    assert rows[0] == rows[-1] == [good, "Batch drawing 1"]
    assert [type(r) for r in rows[1:-1]] == [quorvane.Failure] * 3
    assert [r.path for r in rows[1:-1]] == bad


def test_arguments_are_checked():
    for call in (lambda: quorvane.extract("a.dwg", ["T"]),
                 lambda: quorvane.extract(["a.dwg"], "T"),
                 lambda: quorvane.extract(["a.dwg"], [1])):
        with pytest.raises(TypeError):
            call()
    for call in (lambda: quorvane.extract([], ["T"], space="X"), lambda: quorvane.extract([], ["T"], jobs=0)):
        with pytest.raises(ValueError):
            call()
    assert quorvane.extract([], ["T"]) == []


@pytest.mark.skipif(not BATCH, reason="quorvane-batch is not built")
@pytest.mark.parametrize("jobs", [1, 2])
def test_extract_gives_the_rows_of_a_run(batch, tmp_path, jobs):
    whole = tmp_path / "whole.csv"
    assert batch(BATCH_FOLDER, BATCH_TAGS, whole) == 0
    expected = csv_rows(whole)
    # In the batch's folder order: by name in capitals, as Windows lists a folder.
    names = sorted((e.name for e in os.scandir(BATCH_FOLDER) if e.name.endswith(".dwg")), key=lambda n: (n.upper(), n))
    paths = [os.path.join(BATCH_FOLDER, name) for name in names]
    rows = quorvane.extract(paths, BATCH_TAGS, jobs=jobs)
    assert expected[0] == ["File Name", *BATCH_TAGS]
    assert [[v if v is not None else "" for v in row] for row in rows] == expected[1:]
    assert all(row[-1] is None and row[-2] is None for row in rows)  # "title" and "ABSENT" match nothing


@pytest.mark.skipif(not BATCH, reason="quorvane-batch is not built")
@pytest.mark.parametrize("folder,tags,utf8", [
    (BATCH_FOLDER, ["DWG_NO", "TITLE"], False),
    (CORPUS / "generated", ["CJK", "QUOTE", "TITLE"], True),
])
def test_two_shards_merged_equal_the_whole_run(batch, tmp_path, folder, tags, utf8):
    whole, merged = tmp_path / "whole.csv", tmp_path / "merged.csv"
    parts = [tmp_path / "part1.csv", tmp_path / "part2.csv"]
    batch(folder, tags, whole, "--subfolders")
    for k, part in enumerate(parts, 1):
        batch(folder, tags, part, "--subfolders", "--shard", f"{k}/2")
        assert part.read_bytes().startswith(b"\xef\xbb\xbf")
        assert len(csv_rows(part)) > 2
    assert subprocess.run([BATCH, "--merge", merged, *parts]).returncode == 0
    assert merged.read_bytes() == whole.read_bytes()
    assert whole.read_bytes().startswith(b"\xef\xbb\xbf") == utf8


def test_to_dataframe_leaves_failures_out():
    pandas = pytest.importorskip("pandas")
    rows = [["a.dwg", "1", None], quorvane.Failure("b.dwg", "the file does not exist")]
    frame = quorvane.to_dataframe(rows, ["X", "Y"])
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns) == ["File Name", "X", "Y"] and frame.shape == (1, 3)
