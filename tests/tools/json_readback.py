"""Reads the document of `bigfile list|info|test --json` from standard input
with Python's json module and prints it back one line per entry, every
text as the hex of its exact bytes, for the test to compare with the
archive it made."""
import json
import sys


def text(obj, key):
    """The exact bytes of a text member: its _hex twin when it has one, and
    then the member itself must be those bytes decoded with U+FFFD for what
    is not UTF-8; without a twin the text must be plain UTF-8."""
    if key + "_hex" not in obj:
        return obj[key].encode("utf-8")
    raw = bytes.fromhex(obj[key + "_hex"])
    assert raw.decode("utf-8", "replace") == obj[key], (key, obj)
    try:
        raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw
    raise AssertionError(f"a _hex twin for UTF-8 text: {obj}")


doc = json.load(sys.stdin)
mode = sys.argv[1]
print("archive", text(doc, "archive").hex())
if mode == "info":
    for key in ("signature", "format_version"):
        print(key, text(doc, key).decode())
    for key in ("directories", "files", "header_directories", "header_files",
                "directory_offset", "data_base", "archive_length"):
        print(key, doc[key])
    sys.exit(0)
for e in doc["entries"]:
    fields = [e["kind"], text(e, "path").hex()]
    if mode == "list":
        fields.append(text(e, "name").hex())
        if e["kind"] != "dir":
            fields += [e["size"], e["storage"], e["packed_length"], e["offset"]]
    else:
        fields += [e["size"], e["bytes_read"], e["ok"], e["error_code"], e["error_text"], e["problem"]]
    print(*fields, sep="|")
print("totals", doc["files"], doc["directories"], doc["bytes"], doc.get("problems"), doc.get("error"))
