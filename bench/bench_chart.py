"""The peer bench's comparison as an SVG picture: one row per payload, one
column per measure (setup size, build time, time to the installer, peak
memory), a bar per kind of setup with its value, each cell on a scale of its
own, and the caption (machine and date) under it. Plain SVG, written here,
so that the bench needs no plotting library."""

from xml.sax.saxutils import escape

# Per measure: the heading and how a row's tuple (size bytes, build s, to
# installer s, peak MB) gives its value.
MEASURES = [("setup size, MB", lambda r: r[0] / 1e6), ("build, s", lambda r: r[1]),
            ("to the installer, s", lambda r: r[2]), ("peak memory, MB", lambda r: r[3])]
# Ours in blues, NSIS's in oranges: ZIP and zlib light, solid dark.
COLOURS = {"ours-zip": "#6baed6", "ours-solid": "#08519c", "nsis-zlib": "#fdae6b", "nsis-solid-lzma": "#d94801"}
CELL_W, CELL_H, LABEL_W, TOP, BAR_TOP, BAR_BOTTOM = 210, 150, 120, 84, 22, 24
FONT = 'font-family="DejaVu Sans, Verdana, sans-serif"'


def text(x, y, content, size=12, anchor="middle", weight="normal"):
    return '<text x="%.1f" y="%.1f" font-size="%d" text-anchor="%s" font-weight="%s" %s>%s</text>' % (
        x, y, size, anchor, weight, FONT, escape(content))


def figure(value):
    """A bar's label: three significant digits, no more decimals than that."""
    return "%.3g" % value if value < 1000 else "%d" % round(value)


def cell(x, y, rows, value_of):
    """The bars of one payload and measure, scaled to the largest of them."""
    kinds = list(rows)
    values = [value_of(rows[k]) for k in kinds]
    top = max(values) or 1
    slot = (CELL_W - 20) / len(kinds)
    height = CELL_H - BAR_TOP - BAR_BOTTOM
    parts = ['<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="#444"/>' % (
        x + 10, y + CELL_H - BAR_BOTTOM, x + CELL_W - 10, y + CELL_H - BAR_BOTTOM)]
    for i, (kind, value) in enumerate(zip(kinds, values)):
        bar_h = height * value / top
        left = x + 10 + i * slot + slot * 0.15
        parts.append('<rect x="%.1f" y="%.1f" width="%.1f" height="%.1f" fill="%s"/>' % (
            left, y + CELL_H - BAR_BOTTOM - bar_h, slot * 0.7, bar_h, COLOURS[kind]))
        parts.append(text(left + slot * 0.35, y + CELL_H - BAR_BOTTOM - bar_h - 4, figure(value), size=11))
    return parts


def write_svg(path, results, title, caption):
    """Writes results ({payload: {kind: (size bytes, build s, to installer s,
    peak MB)}}) to path."""
    width = LABEL_W + CELL_W * len(MEASURES) + 10
    height = TOP + CELL_H * len(results) + 40
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">' % (
        width, height, width, height), '<rect width="100%" height="100%" fill="white"/>',
        text(width / 2, 22, title, size=15, weight="bold")]
    legend_x = LABEL_W
    for kind, colour in COLOURS.items():
        parts.append('<rect x="%d" y="34" width="12" height="12" fill="%s"/>' % (legend_x, colour))
        parts.append(text(legend_x + 17, 45, kind, anchor="start"))
        legend_x += 40 + 8 * len(kind)
    for column, (heading, _) in enumerate(MEASURES):
        parts.append(text(LABEL_W + CELL_W * (column + 0.5), TOP - 2, heading, weight="bold"))
    for row, (payload, rows) in enumerate(results.items()):
        y = TOP + row * CELL_H
        parts.append(text(10, y + CELL_H / 2, payload, size=13, anchor="start", weight="bold"))
        for column, (_, value_of) in enumerate(MEASURES):
            parts += cell(LABEL_W + column * CELL_W, y, rows, value_of)
    parts.append(text(width / 2, height - 14, caption, size=11))
    parts.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(parts) + "\n")
