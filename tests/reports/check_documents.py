#!/usr/bin/env python3
"""Reads report documents with real parsers and fails when a text inserted
into one changed its structure.

HTML: only the elements the writer writes may appear, and the hostile item
name must be there as text. XML: the document must parse, and the NAME
element must hold the name less what XML cannot carry. CSV: every row of a
table must have as many fields as its heading.
"""
import csv
import html.parser
import io
import sys
import xml.etree.ElementTree as ET

WRITER_TAGS = {"html", "head", "title", "style", "body", "table", "tr", "td", "th", "h1",
               "h3", "small", "br"}
NAME_TEXT = "<script>alert('x')</script> & \"Co\", Ltd"


class Tags(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.tags = set()
        self.text = []

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)

    def handle_data(self, data):
        self.text.append(data)


def check_html(data):
    parser = Tags()
    parser.feed(data.decode("utf-8", "replace"))
    foreign = parser.tags - WRITER_TAGS
    assert not foreign, f"elements the writer did not write: {foreign}"
    assert any(NAME_TEXT in t for t in parser.text), "the item name is not shown as text"


def check_xml(data):
    root = ET.fromstring(data)
    names = [e.text for e in root.iter() if e.tag in ("NAME", "Name")]
    assert names, "no name element"
    # Line ends read as LF; the control, the stray byte and U+FFFE are gone.
    assert names[0].startswith(NAME_TEXT + "\n2,3"), repr(names[0])
    assert names[0].endswith("2,3") or " (" in names[0], repr(names[0])


def check_csv(data):
    rows = list(csv.reader(io.StringIO(data.decode("utf-8", "replace"), newline="")))
    width = None
    tables = 0
    for row in rows:
        if row and row[0] == "#":
            width, tables = len(row), tables + 1
        elif not row:
            width = None
        elif width is not None:
            assert len(row) == width, f"{len(row)} fields where the heading has {width}: {row}"
    assert tables, "no table"


def main():
    for path in sys.argv[1:]:
        with open(path, "rb") as f:
            data = f.read()
        kind = path.rsplit(".", 1)[-1]
        try:
            {"html": check_html, "xml": check_xml, "csv": check_csv}[kind](data)
        except Exception as error:  # report every document, then fail
            print(f"{path}: {error}")
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
