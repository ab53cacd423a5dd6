#!/usr/bin/env python3
"""Reads the MIME body of a ToruCa detail or project file with Python's email
package, as an independent check of what the writer produces.

Usage: read_mime.py FILE. The ToruCa header block (everything before the
"MIME-Version" line) is dropped. Prints one line per part, fields separated
by tabs: content type, its parameters as k=v joined by ';', transfer
encoding, Content-ID, the names of the parser's defects joined by ',', and
the decoded body in hex (the raw body for a part without headers). Header
bytes that are not ASCII (a file name in raw Shift_JIS) are printed as they
are."""
import email
import email.policy
import email.utils
import sys

# Non-ASCII bytes of a header (a file name in raw Shift_JIS) come out as
# they are in the file.
sys.stdout.reconfigure(errors="surrogateescape")
data = open(sys.argv[1], "rb").read()
start = data.find(b"\r\nMIME-Version:")
if start < 0:
    sys.exit("no MIME-Version line")
msg = email.message_from_bytes(data[start + 2:], policy=email.policy.compat32)
if not msg.is_multipart():
    sys.exit("not multipart: " + msg.get_content_type())


def raw_params(part):
    """The Content-Type parameters as the file holds them. The package gives
    an 8-bit value (a raw Shift_JIS name) as U+FFFD through get_params(),
    so they are split from the raw header, which keeps its bytes."""
    raw = next((v for k, v in part.raw_items() if k.lower() == "content-type"), "")
    for piece in str(raw).split(";")[1:]:
        key, sep, value = piece.partition("=")
        if sep and key.strip():
            yield key.strip().lower(), email.utils.unquote(value.strip())


print("boundary\t" + msg.get_boundary())
for part in msg.get_payload():
    params = ";".join("%s=%s" % (k, v) for k, v in raw_params(part))
    cte = part.get("Content-Transfer-Encoding", "")
    cid = part.get("Content-ID", "")
    defects = ",".join(type(d).__name__ for d in part.defects)
    body = part.get_payload(decode=True)
    print("\t".join([part.get_content_type(), params, cte, cid, defects, body.hex()]))
