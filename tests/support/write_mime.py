#!/usr/bin/env python3
"""Writes a ToruCa detail card whose MIME body Python's email package makes
with policy.default, as a card of another MIME writer for the reader's tests.

Usage: write_mime.py OUT CTE PAGE [IMAGE...]. PAGE is a Shift_JIS page,
put in a text/html part with charset shift_jis and the transfer encoding
CTE (base64, quoted-printable, 8bit or 7bit). Each IMAGE becomes an
attachment named after the file, with Content-ID <imageN> (N from 1). The
boundary is long enough that the package folds the message's Content-Type
and a long file name folds the part's Content-Disposition."""
import os
import sys
from email import policy
from email.message import EmailMessage

out, cte, page = sys.argv[1], sys.argv[2], sys.argv[3]
msg = EmailMessage(policy=policy.default)
text = open(page, "rb").read().decode("cp932")
msg.set_content(text, subtype="html", charset="shift_jis", cte=cte)
for n, image in enumerate(sys.argv[4:], start=1):
    data = open(image, "rb").read()
    msg.add_attachment(data, maintype="image", subtype="gif", filename=os.path.basename(image),
                       cid="<image%d>" % n)
msg.set_boundary("=_" + "b" * 40)
header = b"ToruCa\nVersion: 2.1\nType: CARD\nURL: http://www.example.com/\n\n"
with open(out, "wb") as f:
    f.write(header + msg.as_bytes(policy=policy.default))
