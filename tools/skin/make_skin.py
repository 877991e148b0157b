#!/usr/bin/env python3
"""Draws the skinned windows' pictures as SVG files into src/ui/skin/, which the build
puts into the program's resources. One palette, one stroke width and one corner radius
for every picture, so that the set reads as one piece. Run it after changing a picture;
commit its output."""
import os

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "ui", "skin")

INK = "#dbe5ee"       # glyphs and text at rest
BRIGHT = "#ffffff"
ACCENT = "#35b3a2"    # the program's teal
ACCENT_DARK = "#23877a"
FACE = "#2c3d4f"      # a button at rest
FACE_HOVER = "#3a5168"
EDGE = "#45607a"
FONT = "font-family:'DejaVu Sans',sans-serif;font-weight:bold"

files = []


def write(name, width, height, body):
    text = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="0 0 {width} {height}">\n{body}\n</svg>\n')
    with open(os.path.join(OUT, name + ".svg"), "w") as f:
        f.write(text)
    files.append(name + ".svg")


def stroke(d, color, width=1.8):
    return (f'<path d="{d}" fill="none" stroke="{color}" stroke-width="{width}" '
            'stroke-linecap="round" stroke-linejoin="round"/>')


# Glyphs drawn in a 16 x 16 box; {c} is the glyph colour.
GLYPHS = {
    "plus": lambda c: stroke("M8 3v10M3 8h10", c, 2.2),
    "minus": lambda c: stroke("M3 8h10", c, 2.2),
    "up": lambda c: stroke("M3.5 10.5 8 5.5l4.5 5", c, 2.2),
    "down": lambda c: stroke("M3.5 5.5 8 10.5l4.5-5", c, 2.2),
    "selectall": lambda c: (f'<rect x="2.5" y="2.5" width="11" height="11" rx="2" fill="{c}"/>'
                            + stroke("M5 8.2l2 2 4-4.4", FACE, 1.8)),
    "deselectall": lambda c: f'<rect x="2.5" y="2.5" width="11" height="11" rx="2" fill="none" stroke="{c}" stroke-width="1.6"/>',
    "invert": lambda c: (f'<rect x="2.5" y="2.5" width="11" height="11" rx="2" fill="none" stroke="{c}" stroke-width="1.6"/>'
                         f'<path d="M2.5 13.5V4.5a2 2 0 0 1 2-2h9z" fill="{c}"/>'),
    "network": lambda c: (stroke("M8 5v3M4 11V8h8v3", c, 1.5)
                          + f'<circle cx="8" cy="3.5" r="2" fill="{c}"/><circle cx="4" cy="12.5" r="2" fill="{c}"/>'
                          f'<circle cx="12" cy="12.5" r="2" fill="{c}"/>'),
    "ascending": lambda c: (stroke("M4 3v10M1.8 10.8 4 13l2.2-2.2", c, 1.6)
                            + f'<rect x="8" y="3" width="3" height="2" rx="0.6" fill="{c}"/>'
                            f'<rect x="8" y="7" width="5" height="2" rx="0.6" fill="{c}"/>'
                            f'<rect x="8" y="11" width="7" height="2" rx="0.6" fill="{c}"/>'),
    "descending": lambda c: (stroke("M4 3v10M1.8 10.8 4 13l2.2-2.2", c, 1.6)
                             + f'<rect x="8" y="3" width="7" height="2" rx="0.6" fill="{c}"/>'
                             f'<rect x="8" y="7" width="5" height="2" rx="0.6" fill="{c}"/>'
                             f'<rect x="8" y="11" width="3" height="2" rx="0.6" fill="{c}"/>'),
    "soundon": lambda c: (f'<path d="M2 6h3l4-3.5v11L5 10H2z" fill="{c}"/>'
                          + stroke("M11 5.5a3.5 3.5 0 0 1 0 5M12.8 3.5a6 6 0 0 1 0 9", c, 1.4)),
    "soundoff": lambda c: (f'<path d="M2 6h3l4-3.5v11L5 10H2z" fill="{c}"/>'
                           + stroke("M11 6l4 4M15 6l-4 4", c, 1.5)),
    "close": lambda c: stroke("M4.5 4.5l7 7M11.5 4.5l-7 7", c, 2),
    "minimise": lambda c: stroke("M4 11.5h8", c, 2.2),
    "triangleup": lambda c: f'<path d="M8 4.5 12.5 11h-9z" fill="{c}"/>',
    "triangledown": lambda c: f'<path d="M8 11.5 12.5 5h-9z" fill="{c}"/>',
}


def glyph(kind, color, width, height, shift=0.0):
    x = (width - 16) / 2 + shift
    y = (height - 16) / 2 + shift
    return f'<g transform="translate({x} {y})">{GLYPHS[kind](color)}</g>'


def face(width, height, state, radius=5):
    fill, edge = {"Up": (FACE, EDGE), "Over": (FACE_HOVER, ACCENT), "Down": (ACCENT_DARK, ACCENT)}[state]
    return (f'<rect x="0.5" y="0.5" width="{width - 1}" height="{height - 1}" rx="{radius}" '
            f'fill="{fill}" stroke="{edge}"/>')


def three_pictures(name, kind, width, height, states=("Up", "Over", "Down"), round_face=False):
    for state in states:
        color = INK if state == "Up" else BRIGHT
        shift = 0.5 if state == "Down" else 0.0
        if round_face:
            r = min(width, height) / 2 - 0.5
            fill = {"Up": "none", "Over": FACE_HOVER, "Down": ACCENT_DARK}[state]
            back = f'<circle cx="{width / 2}" cy="{height / 2}" r="{r}" fill="{fill}"/>'
        else:
            back = face(width, height, state)
        write(f"{name}_{state}", width, height, back + glyph(kind, color, width, height, shift))


def text_picture(name, label, width, height, size=11):
    body = (face(width, height, "Up", 6)
            + f'<text x="{width / 2}" y="{height / 2 + size * 0.36}" text-anchor="middle" '
            f'style="{FONT};font-size:{size}px" fill="{INK}">{label}</text>')
    write(name, width, height, body)


def round_button(name, label, color, dark, kind):
    size = 64
    c = size / 2
    for state, pressed in (("NotPressed", False), ("Pressed", True)):
        top, bottom = (dark, color) if pressed else (color, dark)
        body = (f'<defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1">'
                f'<stop offset="0" stop-color="{top}"/><stop offset="1" stop-color="{bottom}"/>'
                f'</linearGradient></defs>'
                f'<circle cx="{c}" cy="{c}" r="{c - 1}" fill="#0f171f"/>'
                f'<circle cx="{c}" cy="{c}" r="{c - 4}" fill="url(#g)" stroke="{BRIGHT}" '
                f'stroke-opacity="0.25" stroke-width="1.5"/>')
        shift = 1 if pressed else 0
        y = 21 + shift
        if kind == "join":  # two halves pulled together
            mark = stroke(f"M17 {y}l7 7-7 7M47 {y}l-7 7 7 7M32 {y - 1}v16", BRIGHT, 2.6)
        elif kind == "split":  # one piece pushed apart
            mark = stroke(f"M24 {y}l-7 7 7 7M40 {y}l7 7-7 7M32 {y - 1}v5M32 {y + 10}v5", BRIGHT, 2.6)
        else:
            mark = stroke(f"M25 {y}l14 14M39 {y}l-14 14", BRIGHT, 3)
        text = (f'<text x="{c}" y="{50 + shift}" text-anchor="middle" '
                f'style="{FONT};font-size:9px;letter-spacing:0.6px" fill="{BRIGHT}">{label}</text>')
        write(f"{name}{state}", size, size, body + mark + text)


def main_background():
    w, h = 533, 308
    body = f'''<defs>
<linearGradient id="body" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="#25364a"/><stop offset="1" stop-color="#17212c"/></linearGradient>
<linearGradient id="band" x1="0" y1="0" x2="1" y2="0">
<stop offset="0" stop-color="{ACCENT}"/><stop offset="0.55" stop-color="{ACCENT}" stop-opacity="0.35"/>
<stop offset="1" stop-color="{ACCENT}" stop-opacity="0"/></linearGradient></defs>
<rect width="{w}" height="{h}" fill="url(#body)"/>
<rect x="0" y="0" width="{w}" height="27" fill="#121b25" opacity="0.7"/>
<rect x="8" y="26" width="300" height="2" fill="url(#band)"/>
<rect x="6" y="30" width="262" height="242" rx="6" fill="#111922" opacity="0.55"/>
<rect x="270" y="30" width="257" height="242" rx="6" fill="#111922" opacity="0.35"/>
<rect x="400" y="76" width="127" height="196" rx="6" fill="#0d141b" opacity="0.35"/>
<path d="M69 1H519" stroke="#4d6781" stroke-width="1.5"/>
<text x="505" y="298" text-anchor="end" style="{FONT};font-size:10px;letter-spacing:2px" fill="#4d6781">ZARVO</text>'''
    write("MainBackground", w, h, body)


def pack_list_background():
    w, h = 316, 268
    body = f'''<defs><linearGradient id="body" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="#25364a"/><stop offset="1" stop-color="#17212c"/></linearGradient>
<linearGradient id="band" x1="0" y1="0" x2="1" y2="0">
<stop offset="0" stop-color="{ACCENT}"/><stop offset="1" stop-color="{ACCENT}" stop-opacity="0"/></linearGradient></defs>
<rect width="{w}" height="{h}" rx="7" fill="url(#body)"/>
<rect x="0" y="0" width="{w}" height="27" fill="#121b25" opacity="0.7"/>
<rect x="8" y="26" width="200" height="2" fill="url(#band)"/>
<rect x="0.75" y="0.75" width="{w - 1.5}" height="{h - 1.5}" rx="7" fill="none" stroke="#4d6781" stroke-width="1.5"/>'''
    write("PackListBackground", w, h, body)


def icon():
    body = f'''<defs><linearGradient id="g" x1="0" y1="0" x2="1" y2="1">
<stop offset="0" stop-color="{ACCENT}"/><stop offset="1" stop-color="#1f6f8b"/></linearGradient></defs>
<rect x="4" y="4" width="56" height="56" rx="13" fill="url(#g)"/>
<rect x="14" y="17" width="15" height="9" rx="2.5" fill="{BRIGHT}"/>
<rect x="14" y="29" width="15" height="9" rx="2.5" fill="{BRIGHT}" opacity="0.85"/>
<rect x="14" y="41" width="15" height="9" rx="2.5" fill="{BRIGHT}" opacity="0.7"/>
{stroke("M32 21.5h6a4 4 0 0 1 4 4v17a4 4 0 0 1-4 4h-6M32 33.5h18M45 28.5l5 5-5 5", BRIGHT, 3)}'''
    write("ZarvoIcon", 64, 64, body)


def busy():
    body = (f'<circle cx="9" cy="9" r="7" fill="none" stroke="{EDGE}" stroke-width="2.4"/>'
            + stroke("M9 2a7 7 0 0 1 7 7", ACCENT, 2.4))
    write("BusyIcon", 18, 18, body)


def zip_picture():
    body = (f'<rect x="3" y="1.5" width="12" height="15" rx="1.5" fill="{FACE}" stroke="{ACCENT}" stroke-width="1.4"/>'
            + stroke("M9 2v2M8 4h2M9 5v2M8 7h2M9 8v2", INK, 1.2)
            + f'<rect x="7.3" y="10.5" width="3.4" height="3.6" rx="0.8" fill="{ACCENT}"/>')
    write("ZipAnim", 18, 18, body)


def glow():
    body = (f'<defs><radialGradient id="g" cx="38" cy="38" r="38" gradientUnits="userSpaceOnUse"><stop offset="0.72" stop-color="{ACCENT}" stop-opacity="0.6"/>'
            f'<stop offset="1" stop-color="{ACCENT}" stop-opacity="0"/></radialGradient></defs>'
            f'<circle cx="38" cy="38" r="38" fill="url(#g)"/>')
    write("PackDownFullView", 76, 76, body)


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, kind in (("ButtonAdd", "plus"), ("ButtonSelectAll", "selectall"),
                       ("ButtonDeselectAll", "deselectall"), ("ButtonSelectInverse", "invert"),
                       ("Network", "network"), ("ButtonRemove", "minus"),
                       ("ButtonAscending", "ascending"), ("ButtonDescending", "descending")):
        three_pictures(name, kind, 24, 24)
    three_pictures("ButtonSwapUp", "up", 24, 24, ("Up", "Down"))
    three_pictures("ButtonSwapDown", "down", 24, 24, ("Up", "Down"))
    three_pictures("SoundOn", "soundon", 28, 22)
    three_pictures("SoundOff", "soundoff", 28, 22)
    three_pictures("ButtonClose", "close", 20, 20, round_face=True)
    three_pictures("ButtonMinimise", "minimise", 20, 20, round_face=True)
    for name, label, width in (("PackLstMenu_Clear", "Clear", 56), ("PackLstMenu_Save", "Save", 52),
                               ("PackLstMenu_Load", "Load", 52), ("PackLstMenu_Append", "Append", 68),
                               ("FileMenu_File", "File", 46), ("FileMenu_Action", "Action", 58),
                               ("FileMenu_Option", "Options", 64), ("FileMenu_Help", "Help", 48)):
        text_picture(name, label, width, 20)
    for name, kind in (("PackListUp", "triangleup"), ("PackListDown", "triangledown")):
        write(name, 16, 20, glyph(kind, INK, 16, 20))
    round_button("Pack", "PACK", "#37b6a5", "#1d7c70", "join")
    round_button("Unpack", "UNPACK", "#4a8fd0", "#285f94", "split")
    round_button("PackCANCEL", "CANCEL", "#d0644f", "#953a2b", "stop")
    round_button("UnpackCANCEL", "CANCEL", "#d0644f", "#953a2b", "stop")
    main_background()
    pack_list_background()
    icon()
    busy()
    zip_picture()
    glow()

main()
