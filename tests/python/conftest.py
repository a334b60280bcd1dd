"""Shared by the Python tests: where the corpus and the tools are, and a
quorvane-batch run read back as rows."""

import csv
import os
import subprocess
from pathlib import Path

import pytest

# Cleaned of "..", as quorvane-batch cleans the folders it searches.
CORPUS = Path(os.path.abspath(os.environ.get("QUORVANE_CORPUS_DIR", Path(__file__).resolve().parents[3] / "shared" / "corpus")))
SOURCE = Path(os.environ.get("QUORVANE_SOURCE_DIR", Path(__file__).resolve().parents[2]))
BATCH = os.environ.get("QUORVANE_BATCH")


def pytest_configure(config):
    config.addinivalue_line("markers", "cluster: starts a Dask cluster (slow to start)")


def csv_rows(path):
    """A run's CSV file as lists of cells, header first (the trailing empty cell dropped)."""
    data = Path(path).read_bytes()
    text = data[3:].decode("utf-8") if data.startswith(b"\xef\xbb\xbf") else data.decode("cp1252")
    return [row[:-1] for row in csv.reader(text.split("\r\n")[:-1])]


@pytest.fixture
def batch(tmp_path):
    """batch(folder, tags, output, *more_args) runs quorvane-batch to a CSV file; returns the exit code."""
    if not BATCH:
        pytest.skip("quorvane-batch is not built (QUORVANE_GUI=OFF)")

    def run(folder, tags, output, *more):
        template = tmp_path / "fields.xat"
        template.write_bytes("".join(f"1\t{t}\t{t}\t\tM\r\n" for t in tags).encode("utf-8-sig"))
        args = [BATCH, "--template", template, "--folder", folder, "--output", output, "--kind", "csv", "--quiet", *more]
        return subprocess.run(args, stderr=subprocess.PIPE, check=False).returncode

    return run
