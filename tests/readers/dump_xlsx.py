# /usr/bin/python3 dump_xlsx.py FILE: prints the workbook as JSON, read with
# openpyxl: its sheet names, and for the first sheet the frozen cell, the
# autofilter range, the column widths, the type of every cell ("s" text,
# "n" number, ...) and the rows as texts (an absent cell as null). Excel reads
# "_xHHHH_" in a text as the character HHHH; openpyxl leaves that to its
# caller, so it is undone here.
import json
import sys

import openpyxl
from openpyxl.utils import get_column_letter
from openpyxl.utils.escape import unescape

# Opened as a stream: openpyxl judges a path by its extension, the program
# writes whatever name the user chose.
with open(sys.argv[1], "rb") as stream:
    book = openpyxl.load_workbook(stream)
sheet = book.worksheets[0]
rows, types = [], set()
for row in sheet.iter_rows():
    cells = []
    for cell in row:
        if cell.value is None:
            cells.append(None)
        else:
            types.add(cell.data_type)
            cells.append(unescape(cell.value) if isinstance(cell.value, str) else str(cell.value))
    rows.append(cells)
widths = [sheet.column_dimensions[get_column_letter(i)].width for i in range(1, sheet.max_column + 1)]
json.dump({
    "sheets": book.sheetnames,
    "freeze": sheet.freeze_panes,
    "filter": sheet.auto_filter.ref,
    "widths": widths,
    "types": sorted(types),
    "rows": rows,
}, sys.stdout)
