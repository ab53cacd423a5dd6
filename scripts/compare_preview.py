#!/usr/bin/env python3
"""The steps of scripts/compare-preview.sh that read and write pictures.

  images DIR                  the pages' images: blocks of one colour each
  prepare PAGE CSS OUT        PAGE for Chromium: the handset's stylesheet as
                              its base rules, and a script that writes the
                              boxes of the elements marked data-probe
  height DOM PNG              the taller of the two drawings, in pixels
  report DIR                  geometry.txt, NAME-pair.png and index.html

An element marked data-probe="#rrggbb" is measured in both pictures as the
box of its pixels of that colour (an image, a table's background, a rule,
text of a font colour); one marked data-probe="box" is Chromium's element
box against the frame the preview draws around it (form controls, tables).
"""
import html
import json
import os
import re
import sys

from PIL import Image

IMAGES = {"red.png": (40, 30, "#ff0000"), "green.png": (30, 20, "#00c000"), "blue.png": (20, 30, "#0000ff"),
          "orange.png": (20, 30, "#ff8000"), "yellow.png": (24, 16, "#ffff00")}


def frame(p):
    """The preview's frames: form controls and tables #808080, a sunken
    rule's light side #c0c0c0, a missing image's dashes #a0a0a0."""
    return p[0] == p[1] == p[2] and p[0] in (0x80, 0xA0, 0xC0)
SKIPPED = {"br", "hr", "table", "td", "th", "img", "input", "select", "textarea", "button", "option", "center", "font"}
PROBE_SCRIPT = """<script>
window.addEventListener('load', function () {
  var probes = [];
  document.querySelectorAll('[data-probe]').forEach(function (e) {
    var r = e.getBoundingClientRect();
    probes.push([e.getAttribute('data-probe'), e.tagName.toLowerCase(), r.left, r.top, r.width, r.height]);
  });
  var out = document.createElement('pre');
  out.id = 'probe-out';
  out.style.display = 'none';
  // The last box's bottom: the body of a page in quirks mode fills the window.
  var bottom = 0;
  document.body.querySelectorAll('*').forEach(function (e) {
    bottom = Math.max(bottom, Math.ceil(e.getBoundingClientRect().bottom));
  });
  bottom += 2;
  out.textContent = JSON.stringify({height: bottom, probes: probes});
  document.body.appendChild(out);
});
</script>"""


def rgb(colour):
    return tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))


def make_images(folder):
    for name, (w, h, colour) in IMAGES.items():
        Image.new("RGB", (w, h), rgb(colour)).save(os.path.join(folder, name))


def chromium_rules(css):
    """The handset's stylesheet less the rules that would hide the page's
    attributes from Chromium: its author rules outrank presentational hints,
    so the elements whose attributes are compared keep Chromium's own
    defaults (which the handset's stylesheet matches), and form controls
    take the page's font as the handset's do."""
    css = re.sub(r"/\*.*?\*/", "", css, flags=re.S)
    kept = []
    for rule in css.split("}"):
        if "{" not in rule:
            continue
        selectors, declarations = rule.split("{", 1)
        tags = {re.split(r"[\[:.#]", word)[0] for word in re.split(r"[\s,>+~]+", selectors.strip()) if word}
        if tags & SKIPPED or "list-style-type" in declarations:
            continue
        kept.append(selectors.strip() + " {" + declarations + "}")
    # Chromium's layout width: 240 pixels even where its window is wider.
    kept.append("html { width: 240px; } input, select, textarea, button { font-family: IPAGothic; font-size: 12px; }")
    return "\n".join(kept)


def prepare(page, css_file, out):
    with open(css_file, encoding="utf-8") as f:
        css = chromium_rules(f.read())
    with open(page, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r"(<head[^>]*>)", lambda m: m.group(1) + "<style>" + css + "</style>", text, count=1)
    text = text.replace("</body>", PROBE_SCRIPT + "</body>")
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)


def probes_of(dom_file):
    with open(dom_file, encoding="utf-8") as f:
        found = re.search(r'<pre id="probe-out"[^>]*>(.*?)</pre>', f.read(), re.S)
    return json.loads(html.unescape(found.group(1))) if found else {"height": 0, "probes": []}


def height(dom_file, png):
    print(max(probes_of(dom_file)["height"], Image.open(png).height))


def find(picture, area, match):
    """The box (left, top, width, height) of the pixels in `area` that match."""
    px = picture.load()
    left, top, right, bottom = area
    xs, ys = [], []
    for y in range(max(0, top), min(picture.height, bottom)):
        for x in range(max(0, left), min(picture.width, right)):
            if match(px[x, y][:3]):
                xs.append(x)
                ys.append(y)
    if not xs:
        return None
    return (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)


def near(colour):
    """Pixels of `colour` laid on white at half strength or more, as the
    edges of text are."""
    want = rgb(colour)

    def match(p):
        shares = []
        for have, full in zip(p, want):
            if full > 250:
                if have < 230:
                    return False
                continue
            shares.append((255 - have) / (255 - full))
        return bool(shares) and min(shares) >= 0.5 and max(shares) - min(shares) <= 0.3

    return match


def components(picture, area, match, reach):  # noqa: C901 (one flood fill)
    """The boxes of the groups of pixels in `area` that match, each pixel
    within `reach` of another of its group (4 makes a dashed frame one)."""
    px = picture.load()
    left, top, right, bottom = max(0, area[0]), max(0, area[1]), min(picture.width, area[2]), min(picture.height, area[3])
    seen, boxes = set(), []
    for y in range(top, bottom):
        for x in range(left, right):
            if (x, y) in seen or not match(px[x, y][:3]):
                continue
            stack, xs, ys = [(x, y)], [], []
            seen.add((x, y))
            while stack:
                cx, cy = stack.pop()
                xs.append(cx)
                ys.append(cy)
                for nx, ny in ((cx + dx, cy + dy) for dx in range(-reach, reach + 1) for dy in range(-reach, reach + 1)):
                    if left <= nx < right and top <= ny < bottom and (nx, ny) not in seen and match(px[nx, ny][:3]):
                        seen.add((nx, ny))
                        stack.append((nx, ny))
            boxes.append((min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1))
    return boxes


def traced(picture, near_corner, area, least):
    """The framed rectangle whose top left corner is nearest `near_corner`
    in `area`: its top edge followed right, then down its left edge to the
    first row the frame spans again (frames may touch one another)."""
    px = picture.load()

    def at(x, y):
        return 0 <= x < picture.width and 0 <= y < picture.height and frame(px[x, y][:3])

    corners = [(x, y) for y in range(max(0, area[1]), min(picture.height, area[3]))
               for x in range(max(0, area[0]), min(picture.width, area[2]))
               if at(x, y) and at(x + 1, y) and at(x, y + 1) and not at(x - 1, y)]
    for x, y in sorted(corners, key=lambda c: abs(c[0] - near_corner[0]) + abs(c[1] - near_corner[1])):
        w = 1
        while at(x + w, y):
            w += 1
        h = 2
        while at(x, y + h - 1) and not all(at(x + i, y + h - 1) for i in range(w)):
            h += 1
        if w >= 4 and h >= least and at(x, y + h - 1):
            return (x, y, w, h)
    return None


def off(a, b):
    return max(abs(p - q) for p, q in zip(a, b))


def measure(out, name):
    ours = Image.open(os.path.join(out, name + "-toruca.png")).convert("RGB")
    chromium = Image.open(os.path.join(out, name + "-chromium.png")).convert("RGB")
    rows = []
    for probe, tag, x, y, w, h in probes_of(os.path.join(out, name + ".dom.html"))["probes"]:
        x, y, w, h = round(x), round(y), round(w), round(h)
        if probe == "box":
            # The frame nearest to Chromium's box among those about it.
            theirs = (x, y, w, h)
            area = (x - 20, y - 12, x + w + 20, y + h + 12)
            mine = None if tag == "img" else traced(ours, (x, y), area, 2 if tag == "hr" else 4)
            if not mine:  # a dashed frame, a round one
                shaded = frame if tag == "img" else (lambda p: p[0] == p[1] == p[2] and 0x40 <= p[0] <= 0xE0)
                frames = components(ours, area, shaded, 4 if tag == "img" else 1)
                mine = min(frames, key=lambda box: off(box, theirs)) if frames else None
        else:
            area = (x - 40, y - 40, x + w + 40, y + h + 40)
            theirs = find(chromium, area, near(probe))
            mine = find(ours, area, near(probe))
        delta = off(mine, theirs) if mine and theirs else None
        rows.append((name, tag, probe, theirs, mine, delta))
    return rows


def cut_chromium(out, name):
    """Chromium's picture cut to the taller of the two drawings."""
    ours = Image.open(os.path.join(out, name + "-toruca.png"))
    tall = max(probes_of(os.path.join(out, name + ".dom.html"))["height"], ours.height)
    path = os.path.join(out, name + "-chromium.png")
    picture = Image.open(path)
    picture.crop((0, 0, picture.width, min(tall, picture.height))).save(path)


def pair(out, name):
    ours = Image.open(os.path.join(out, name + "-toruca.png")).convert("RGB")
    chromium = Image.open(os.path.join(out, name + "-chromium.png")).convert("RGB")
    gap = 8
    picture = Image.new("RGB", (ours.width + gap + chromium.width, max(ours.height, chromium.height)), (96, 96, 96))
    picture.paste(ours, (0, 0))
    picture.paste(chromium, (ours.width + gap, 0))
    picture.save(os.path.join(out, name + "-pair.png"))


def report(out):
    names = sorted(f[:-len("-toruca.png")] for f in os.listdir(out) if f.endswith("-toruca.png"))
    lines = ["page      element   probe     chromium (x y w h)   preview (x y w h)    most off (px)"]
    body = ["<h1>toruca preview --page (left) and headless Chromium (right), 240 pixels</h1>"]
    worst = 0
    for name in names:
        cut_chromium(out, name)
        pair(out, name)
        rows = measure(out, name)
        body.append("<h2>%s</h2><img src=\"%s-pair.png\"><table border=1 cellpadding=3>" % (name, name))
        body.append("<tr><th>element</th><th>probe</th><th>Chromium</th><th>preview</th><th>most off</th></tr>")
        for page, tag, probe, theirs, mine, delta in rows:
            shown = "missing" if delta is None else str(delta)
            worst = max(worst, 999 if delta is None else delta)
            lines.append("%-9s %-9s %-9s %-20s %-20s %s" % (page, tag, probe, theirs, mine, shown))
            body.append("<tr><td>%s</td><td>%s</td><td>%s</td><td>%s</td><td>%s</td></tr>" %
                        (tag, probe, theirs, mine, shown))
        body.append("</table>")
    lines.append("most off of all: %d px" % worst)
    with open(os.path.join(out, "geometry.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(out, "index.html"), "w", encoding="utf-8") as f:
        f.write("<!DOCTYPE html><meta charset=utf-8><title>preview against Chromium</title>" + "\n".join(body))
    print("\n".join(lines))


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    {"images": make_images, "prepare": prepare, "height": height, "report": report}[command](*args)
