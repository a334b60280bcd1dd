#!/usr/bin/env python3
"""compare_ref.py JETDUMP_DIR OURS REF [--catalog | --subset]

Compares the engine's part of our database with a reference made by the
engine: system table schemas always; with --catalog also the catalog rows,
permission rows and index keys of the engine's own objects; with --subset
only that each of our catalog rows and index keys is also in the reference
(for references made by Access, which adds objects and changes permissions). Dates, page numbers and the rows of our own table
are masked. Exit 1 on a difference."""
import os
import sys

sys.path.insert(0, sys.argv[1])
import jetdump  # noqa: E402

SYSTEM = ["MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"]


def schema(db, name):
    t = db.find_table(name)
    cols = []
    for c in sorted(t["cols"], key=lambda c: c["num"]):
        cols.append((c["num"], c["name"], c["type"], c["len"], c["flags"], c["var_idx"],
                     c["fixed_off"] if c["flags"] & 1 else None))
    ridx = [(tuple(ri["cols"]), ri["flags"]) for ri in t["ridx"]]
    lidx = sorted((li["name"], li["real_idx"], li["index_num"], li["index_type"]) for li in t["lidx"])
    return dict(type=t["table_type"], ncols=t["num_cols"], nvar=t["num_var_cols"], cols=cols, ridx=ridx,
                lidx=lidx, lv=sorted(x["col"] for x in t["lvcols"]))


def text_column(db, table):
    """Descriptor fields of a user table's text columns that do not depend on
    the column's size or position (Access, unlike DAO, turns on Unicode
    compression, so that flag is left out)."""
    t = db.find_table(table)
    keys = ("type", "flags", "b7", "b9", "b11") if not db.jet4 else ("type", "flags", "unk1", "misc", "misc_ext", "unk17")
    return {tuple((k, c[k]) for k in keys) + (("row_num is num", c["row_num"] == c["num"]),)
            for c in t["cols"] if c["type"] == 10}


def user_ids(db):
    return {r["Id"] for r in db.catalog() if r.get("Type") == 1 and not (r.get("Flags") or 0)}


def catalog(db):
    skip = user_ids(db)
    return sorted((r["Id"], r["ParentId"], r["Name"], r["Type"], r["Flags"], r["Owner"])
                  for r in db.catalog() if r["Id"] not in skip)


def aces(db):
    skip = user_ids(db)
    t = db.find_table("MSysACEs")
    return sorted((r["ObjectId"], r["SID"], r["ACM"], r["FInheritable"])
                  for _, r, _ in db.table_records(t) if r["ObjectId"] not in skip)


def keys(db, name):
    t = db.find_table(name)
    recs = {(p, i): r for (p, i), r, _ in db.table_records(t)}
    skip = user_ids(db)
    out = []
    for ri in t["ridx"]:
        entries, _ = db.walk_index(ri["first_dp"])
        out.append(sorted(k for k, p, r in entries
                          if recs[(p, r)].get("Id", recs[(p, r)].get("ObjectId")) not in skip))
    return out


def main():
    ours, ref = jetdump.Db(sys.argv[2]), jetdump.Db(sys.argv[3])
    diffs = []
    for name in SYSTEM:
        a, b = schema(ours, name), schema(ref, name)
        for k in a:
            if a[k] != b[k]:
                diffs.append("%s %s:\n  ours %s\n  ref  %s" % (name, k, a[k], b[k]))
    if "--user-table" in sys.argv:
        theirs = text_column(ref, sys.argv[sys.argv.index("--user-table") + 1])
        if text_column(ours, "Main") != theirs:
            diffs.append("text columns:\n  ours %s\n  ref  %s" % (text_column(ours, "Main"), theirs))
    subset = "--subset" in sys.argv
    if "--catalog" in sys.argv or subset:
        checks = [("catalog rows", catalog(ours), catalog(ref)),
                  ("MSysObjects keys", keys(ours, "MSysObjects"), keys(ref, "MSysObjects"))]
        if not subset:
            checks += [("permission rows", aces(ours), aces(ref)),
                       ("MSysACEs keys", keys(ours, "MSysACEs"), keys(ref, "MSysACEs"))]
        for what, fa, fb in checks:
            if subset:
                if not what.endswith("rows"):
                    fa, fb = sum(fa, []), sum(fb, [])
                missing = [x for x in fa if x not in fb]
                if missing:
                    diffs.append("%s missing from the reference: %s" % (what, missing))
            elif fa != fb:
                diffs.append("%s:\n  ours %s\n  ref  %s" % (what, fa, fb))
    for d in diffs:
        print(d)
    print("%d differences" % len(diffs))
    return 1 if diffs else 0


sys.exit(main())
