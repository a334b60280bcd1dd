// node dump_table.mjs FILE [TABLE]: prints the table (default "Main") as JSON:
// the file's table names, the table's columns (name, type, size) and its rows
// as objects keyed by column name, keeping null apart from an empty text.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const [file, table = "Main"] = process.argv.slice(2);
const reader = new MDBReader(readFileSync(file));
const t = reader.getTable(table);
const columns = t.getColumns().map((c) => ({ name: c.name, type: c.type, size: c.size }));
process.stdout.write(JSON.stringify({ tables: reader.getTableNames(), columns, rows: t.getData() }));
