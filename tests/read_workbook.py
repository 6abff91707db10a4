#!/usr/bin/python3
"""Prints what a reader finds in the first sheet of an .xlsx workbook, as JSON.

    read_workbook.py BOOK.xlsx           every cell: value, number format, type;
                                         column widths; last row and column
    read_workbook.py --size BOOK.xlsx    only the last row and column

Exit status 3 when openpyxl is missing, 2 when the workbook cannot be read.
"""

import json
import sys

try:
    import openpyxl
except ImportError:
    sys.exit(3)


def main(argv):
    size_only = argv[1:2] == ["--size"]
    path = argv[-1]
    try:
        # read_only reads the sheet as a stream and takes its size from the
        # sheet's own dimension record: cheap even for a million rows.
        book = openpyxl.load_workbook(path, read_only=size_only)
    except Exception as error:  # any reader failure means a broken workbook
        print(f"{type(error).__name__}: {error}", file=sys.stderr)
        return 2

    sheet = book.worksheets[0]
    result = {"sheets": len(book.worksheets), "max_row": sheet.max_row, "max_column": sheet.max_column}
    if not size_only:
        cells = {}
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None and cell.number_format == "General":
                    continue
                cells[cell.coordinate] = {
                    "value": cell.value,
                    "format": cell.number_format,
                    "type": cell.data_type,
                }
        result["cells"] = cells
        result["widths"] = {
            letter: dim.width for letter, dim in sheet.column_dimensions.items() if dim.customWidth
        }
    json.dump(result, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
