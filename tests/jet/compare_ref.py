#!/usr/bin/env python3
"""compare_ref.py JETDUMP_DIR OURS REF [--catalog | --subset] [--user-table NAME]

Compares the engine's part of our database with a reference the engine made:
system table schemas always; with --catalog also the catalog rows, permission
rows and index keys of the engine's own objects; with --subset only that each
of our catalog rows and MSysObjects keys is also in the reference (Access adds
objects and changes permissions); with --user-table the descriptor fields of
text columns that depend on neither size nor position. Dates, page numbers
and the rows of user tables are masked. Exit 1 on a difference."""
import sys

sys.path.insert(0, sys.argv[1])
import jetdump  # noqa: E402


def schema(db, name):
    t = db.find_table(name)
    cols = [(c["num"], c["name"], c["type"], c["len"], c["flags"], c["var_idx"], c["fixed_off"] if c["flags"] & 1 else None)
            for c in sorted(t["cols"], key=lambda c: c["num"])]
    lidx = sorted((li["name"], li["real_idx"], li["index_num"], li["index_type"]) for li in t["lidx"])
    return dict(type=t["table_type"], ncols=t["num_cols"], nvar=t["num_var_cols"], cols=cols, lidx=lidx,
                ridx=[(tuple(ri["cols"]), ri["flags"]) for ri in t["ridx"]], lv=sorted(x["col"] for x in t["lvcols"]))


def text_columns(db, table):
    # Access, unlike the engine's DAO, turns on Unicode compression: that flag is left out.
    keys = ("type", "flags", "unk1", "misc", "misc_ext", "unk17") if db.jet4 else ("type", "flags", "b7", "b9", "b11")
    return {tuple((k, c[k]) for k in keys) + (c["row_num"] == c["num"],)
            for c in db.find_table(table)["cols"] if c["type"] == 10}


def user_ids(db):
    return {r["Id"] for r in db.catalog() if r.get("Type") == 1 and not (r.get("Flags") or 0)}


def catalog(db):
    return sorted((r["Id"], r["ParentId"], r["Name"], r["Type"], r["Flags"], r["Owner"])
                  for r in db.catalog() if r["Id"] not in user_ids(db))


def aces(db):
    return sorted((r["ObjectId"], r["SID"], r["ACM"], r["FInheritable"])
                  for _, r, _ in db.table_records(db.find_table("MSysACEs")) if r["ObjectId"] not in user_ids(db))


def keys(db, name):
    t = db.find_table(name)
    recs = {(p, i): r for (p, i), r, _ in db.table_records(t)}
    owner = lambda r: r.get("Id", r.get("ObjectId"))  # noqa: E731
    return [sorted(k for k, p, r in db.walk_index(ri["first_dp"])[0] if owner(recs[(p, r)]) not in user_ids(db))
            for ri in t["ridx"]]


def main(args):
    ours, ref = jetdump.Db(args[2]), jetdump.Db(args[3])
    diffs = [(name + " " + k, a[k], b[k]) for name in ("MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships")
             for a, b in [(schema(ours, name), schema(ref, name))] for k in a if a[k] != b[k]]
    if "--user-table" in args:
        theirs = text_columns(ref, args[args.index("--user-table") + 1])
        if text_columns(ours, "Main") != theirs:
            diffs.append(("text columns", text_columns(ours, "Main"), theirs))
    if "--subset" in args:
        for what, fa, fb in [("catalog rows", catalog(ours), catalog(ref)),
                             ("MSysObjects keys", sum(keys(ours, "MSysObjects"), []), sum(keys(ref, "MSysObjects"), []))]:
            missing = [x for x in fa if x not in fb]
            if missing:
                diffs.append((what + " missing from the reference", missing, ""))
    elif "--catalog" in args:
        diffs += [(what, fa, fb) for what, fa, fb in [
            ("catalog rows", catalog(ours), catalog(ref)), ("permission rows", aces(ours), aces(ref)),
            ("MSysObjects keys", keys(ours, "MSysObjects"), keys(ref, "MSysObjects")),
            ("MSysACEs keys", keys(ours, "MSysACEs"), keys(ref, "MSysACEs"))] if fa != fb]
    for what, a, b in diffs:
        print("%s:\n  ours %s\n  ref  %s" % (what, a, b))
    print("%d differences" % len(diffs))
    return 1 if diffs else 0


sys.exit(main(sys.argv))
