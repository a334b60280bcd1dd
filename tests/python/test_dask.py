import csv
import subprocess
import sys

import pytest

from conftest import BATCH, CORPUS, SOURCE, csv_rows

pytest.importorskip("dask.distributed")


@pytest.mark.cluster
@pytest.mark.skipif(not BATCH, reason="quorvane-batch is not built")
def test_dask_example_on_two_local_workers_gives_the_rows_of_a_run(batch, tmp_path):
    folder, tags = CORPUS / "dwg", ["TITLE", "DWG_NO", "NAME"]
    batch(folder, tags, tmp_path / "batch.csv")
    example = SOURCE / "examples" / "dask_extract.py"
    out = tmp_path / "dask.csv"
    done = subprocess.run([sys.executable, example, folder, out, *tags, "--workers", "2"],
                          stderr=subprocess.PIPE, text=True, check=False)
    assert done.returncode in (0, 1), done.stderr
    with open(out, newline="", encoding="utf-8") as written:
        assert list(csv.reader(written)) == csv_rows(tmp_path / "batch.csv")
