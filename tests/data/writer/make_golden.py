#!/usr/bin/env python3
"""Makes the fixtures of tests/format/tpj_writer_test.cpp: two small GIF
files and the snippet and detail files that a default record gives, written
line by line from the format's rules (not by our writer).

Run from anywhere; it writes next to itself. The files are committed; run it
again only when the rules change."""
import base64
import os

here = os.path.dirname(os.path.abspath(__file__))


def gif(comment):
    # A 1x1 GIF89a with a transparent pixel and a comment extension.
    data = b"GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
    data += b"\x21\xfe" + bytes([len(comment)]) + comment + b"\x00"
    data += b"\x21\xf9\x04\x01\x00\x00\x00\x00"
    data += b"\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b"
    return data


def b64_lines(data):
    """Base64 as the format carries it: 76-character lines joined by CR LF;
    a last full line keeps its CR LF."""
    flat = base64.b64encode(data).decode("ascii")
    text = "\r\n".join(flat[i:i + 76] for i in range(0, len(flat), 76))
    if data and len(data) % 57 == 0:
        text += "\r\n"
    return text


icon = gif(b"ToruCa icon")
logo = gif(b"logo of the shop, long enough to take more than one Base64 line in a part")
open(os.path.join(here, "icon.gif"), "wb").write(icon)
open(os.path.join(here, "logo.gif"), "wb").write(logo)

url = "http://www.example.com/toruca_detail.trc"
html = "<p>ようこそ、トルカの店へ。</p>\r\n<img src=\"cid:image1\">"

def header(type_line):
    return [
        "ToruCa",
        "Version: 2.1",
        type_line,
        "",
        "URL: " + url,
        "Data1: " + base64.b64encode(b"data1").decode(),
        "Data2: " + base64.b64encode(b"data2").decode(),
        "Data3: " + base64.b64encode(b"data3").decode(),
        "Cat: 0100",
        "IP-ID: 9999",
        "Sort-ID: ワン",
        "Dist: 4",
        "Expires: 101231",
        "LM: 0808071904",
    ]

# Snippet: the header lines, each ended by CR LF, then the final CR LF.
snippet = "".join(line + "\r\n" for line in header("Type: SNIP")) + "\r\n"

detail_lines = header("Type: CARD") + [
    "",
    "MIME-Version: 1.0",
    'Content-Type: multipart/mixed;boundary="0000000000"',
    "",
    "--0000000000",
    "Content-Type: text/html;charset=Shift_JIS",
    "Content-Transfer-Encoding: 8bit",
    "",
    html,  # its two lines, the second without a line end of its own
    "",
    "",
    "--0000000000",
    'Content-Type: application/x-ticon;name="icon.gif";title="Shop"',
    "Content-Transfer-Encoding: base64",
    "",
    b64_lines(icon),
    "--0000000000",
    'Content-Type: image/gif;name="logo.gif";',
    "Content-Transfer-Encoding: base64",
    "Content-ID: <image1>",
    "",
    b64_lines(logo),
    "--0000000000--",
]
detail = "".join(line + "\r\n" for line in detail_lines)

open(os.path.join(here, "snippet.trc"), "wb").write(snippet.encode("cp932"))
open(os.path.join(here, "detail.trc"), "wb").write(detail.encode("cp932"))
