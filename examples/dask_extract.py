#!/usr/bin/env python3
"""Read the block attributes of a folder of drawings on a Dask cluster into one CSV file.

    python3 examples/dask_extract.py FOLDER OUT.csv TAG [TAG ...]
        [--subfolders] [--space M|P] [--scheduler tcp://HOST:8786]
        [--workers N] [--partitions N]

The drawings found in FOLDER become a Dask bag of paths; quorvane.extract
reads each partition on a worker, and the rows come back in list order to be
written here: a header "File Name" and the tags, then one row per drawing, as
quorvane-batch gives them (every cell quoted, UTF-8). Drawings that cannot be
read are listed on standard error and leave no row.

Without --scheduler the cluster is a LocalCluster of --workers processes on
this machine; with it, any running distributed scheduler, whose workers must
be able to import quorvane (the Debian package installs it) and read the
drawings under the same paths.
"""

import argparse
import csv
import os
import sys

import dask.bag
from dask.distributed import Client, LocalCluster

import quorvane


def find_drawings(folder, subfolders):
    """Every *.dwg under folder, depth first, as quorvane-batch --folder finds them: each folder's
    entries (sub-folders among the files) by name compared in capitals, as Windows lists them."""
    for entry in sorted(os.scandir(folder), key=lambda e: (e.name.upper(), e.name)):
        if entry.is_dir():
            if subfolders and not entry.is_symlink() and not entry.name.startswith("."):
                yield from find_drawings(os.path.join(folder, entry.name), subfolders)
        elif entry.name.lower().endswith(".dwg"):
            yield os.path.join(folder, entry.name)


def read_partition(paths, fields, space):
    # Dask runs one partition per worker thread: one reading thread each.
    return quorvane.extract(list(paths), fields, space=space, jobs=1)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder")
    parser.add_argument("output")
    parser.add_argument("tags", nargs="+", metavar="TAG")
    parser.add_argument("--subfolders", action="store_true", help="search the sub-folders too")
    parser.add_argument("--space", choices=["M", "P"], default="M", help="model (M) or paper (P) space")
    parser.add_argument("--scheduler", help="address of a running scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster worker processes (default 2)")
    parser.add_argument("--partitions", type=int, help="parts of the list (default: four per worker thread)")
    args = parser.parse_args(argv)

    paths = list(find_drawings(os.path.abspath(args.folder), args.subfolders))
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, dashboard_address=None)
        client = Client(cluster)
    with client:
        threads = max(1, sum(client.nthreads().values()))
        partitions = args.partitions or min(max(1, len(paths)), 4 * threads)
        bag = dask.bag.from_sequence(paths, npartitions=partitions)
        rows = bag.map_partitions(read_partition, args.tags, args.space).compute()
        if not args.scheduler:
            cluster.close()

    failed = 0
    with open(args.output, "w", newline="", encoding="utf-8") as out:
        writer = csv.writer(out, quoting=csv.QUOTE_ALL, lineterminator="\r\n")
        writer.writerow(["File Name", *args.tags])
        for row in rows:
            if isinstance(row, quorvane.Failure):
                failed += 1
                print(f"{row.path}: {row.reason}", file=sys.stderr)
            else:
                writer.writerow(["" if value is None else value for value in row])
    print(f"Wrote {len(rows) - failed} of {len(rows)} drawings to {args.output}.", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
