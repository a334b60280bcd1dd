// Prints table "Main" of an Access file as JSON: its columns (name, type,
// size) and its rows, with null kept apart from an empty text.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const reader = new MDBReader(readFileSync(process.argv[2]));
const table = reader.getTable("Main");
const columns = table.getColumns().map((c) => ({ name: c.name, type: c.type, size: c.size }));
const names = columns.map((c) => c.name);
const rows = table.getData().map((row) => names.map((n) => row[n]));
process.stdout.write(JSON.stringify({ tables: reader.getTableNames(), columns, rows }));
