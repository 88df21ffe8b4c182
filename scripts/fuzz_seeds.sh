#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets that need more than the corpus
# as it is, into fuzz/seeds-<target>/ (not kept in git; made again on every
# run):
#   metafile_raster  every WMF and EMF of the corpus and small drawings made
#                    here (polygons, polylines, poly-polygons, Beziers), each
#                    after the byte by which the target picks its size;
#   metafile         the same files without that byte;
#   jpeg             the corpus's JPEGs and progressive ones (cjpeg
#                    -progressive), among them many-scan ones, so that the
#                    target reaches progressive decoding from the first run.
#   scripts/fuzz_seeds.sh [CORPUS]     (default: ../shared/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
corpus="${1:-$(cd .. && pwd)/shared/corpus}"
rm -rf fuzz/seeds-metafile_raster fuzz/seeds-metafile fuzz/seeds-jpeg
mkdir -p fuzz/seeds-metafile_raster fuzz/seeds-metafile fuzz/seeds-jpeg

# Metafiles: the corpus's, then drawings of each polygon record kind.
if [ -d "$corpus" ]; then
  find "$corpus" -type f \( -iname '*.wmf' -o -iname '*.emf' \) -exec cp {} fuzz/seeds-metafile/ \;
fi
python3 - fuzz/seeds-metafile <<'PY'
import math, struct, sys
out = sys.argv[1]

def wmf(records):
    body, largest = b"", 3
    for function, params in records:
        words = 3 + len(params) // 2
        largest = max(largest, words)
        body += struct.pack("<IH", words, function) + params
    body += struct.pack("<IH", 3, 0)
    return struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(body)) // 2, 2, largest, 0) + body

def wmf_setup(w, h):
    return [(0x020B, struct.pack("<hh", 0, 0)), (0x020C, struct.pack("<hh", h, w)),
            (0x02FC, struct.pack("<HIH", 0, 0x0000FF, 0)), (0x012D, struct.pack("<H", 0)),
            (0x02FA, struct.pack("<HhhI", 0, 3, 0, 0x00FF00)), (0x012D, struct.pack("<H", 1))]

def pts16(points):
    return b"".join(struct.pack("<hh", x, y) for x, y in points)

def emf(records, w, h):
    body = b"".join(struct.pack("<II", t, 8 + len(p)) + p for t, p in records)
    body += struct.pack("<IIIII", 14, 20, 0, 0, 20)
    hs = 108
    mm = lambda px: round(px * 25.4 / 96)
    hdr = struct.pack("<II4i4i", 1, hs, 0, 0, w - 1, h - 1, 0, 0, round(w * 2540 / 96) - 1, round(h * 2540 / 96) - 1)
    hdr += struct.pack("<IIIIHHIII4iIIIii", 0x464D4520, 0x10000, hs + len(body), len(records) + 2, 3, 0, 0, 0, 0,
                       1920, 1080, mm(1920), mm(1080), 0, 0, 0, mm(1920) * 1000, mm(1080) * 1000)
    return hdr + body

def emf_setup():
    return [(39, struct.pack("<IIII", 1, 0, 0x0000FF, 0)), (37, struct.pack("<I", 1)),
            (38, struct.pack("<IIiiI", 2, 0, 3, 0, 0x00FF00)), (37, struct.pack("<I", 2))]

def emf_poly(t, points, small=False):
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    fmt = "<hh" if small else "<ii"
    return (t, struct.pack("<4iI", min(xs), min(ys), max(xs), max(ys), len(points)) +
            b"".join(struct.pack(fmt, x, y) for x, y in points))

def emf_polypoly(t, polys, small=False):
    allp = [p for q in polys for p in q]
    xs, ys = [p[0] for p in allp], [p[1] for p in allp]
    fmt = "<hh" if small else "<ii"
    return (t, struct.pack("<4iII", min(xs), min(ys), max(xs), max(ys), len(polys), len(allp)) +
            b"".join(struct.pack("<I", len(q)) for q in polys) + b"".join(struct.pack(fmt, x, y) for x, y in allp))

def circle(n, c, r):
    return [(round(c + r * math.cos(2 * math.pi * i / n)), round(c + r * math.sin(2 * math.pi * i / n))) for i in range(n)]

star = [(50 + round(45 * math.cos(4 * math.pi * i / 5)), 50 + round(45 * math.sin(4 * math.pi * i / 5))) for i in range(5)]
zigzag = [(i * 10, 10 if i % 2 else 90) for i in range(10)]
files = {
    "polygon.wmf": wmf(wmf_setup(100, 100) + [(0x0324, struct.pack("<h", len(star)) + pts16(star))]),
    "polyline.wmf": wmf(wmf_setup(100, 100) + [(0x0325, struct.pack("<h", len(zigzag)) + pts16(zigzag))]),
    "polypolygon.wmf": wmf(wmf_setup(100, 100) + [(0x0538, struct.pack("<HHH", 2, 5, 16) + pts16(star) +
                                                    pts16(circle(16, 50, 30)))]),
    "polygon.emf": emf(emf_setup() + [emf_poly(3, star)], 100, 100),
    "polyline16.emf": emf(emf_setup() + [emf_poly(87, zigzag, True)], 100, 100),
    "polybezier.emf": emf(emf_setup() + [emf_poly(2, [(0, 0), (100, 0), (0, 100), (100, 100)])], 100, 100),
    "polypolygon16.emf": emf(emf_setup() + [emf_polypoly(91, [star, circle(16, 50, 30)], True)], 100, 100),
    "polypolyline.emf": emf(emf_setup() + [emf_polypoly(7, [zigzag, circle(12, 50, 20)])], 100, 100),
}
for name, data in files.items():
    open(f"{out}/{name}", "wb").write(data)
PY
# The raster target reads its size from the first byte: 40 gives 41 x 44.
for f in fuzz/seeds-metafile/*; do
  { printf '\x28'; cat "$f"; } > "fuzz/seeds-metafile_raster/$(basename "$f")"
done

# JPEGs: the corpus's, then progressive ones of a few of them.
if [ -d "$corpus" ]; then
  find "$corpus" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -size -64k -exec cp {} fuzz/seeds-jpeg/ \;
fi
if command -v cjpeg > /dev/null && command -v djpeg > /dev/null; then
  for f in fuzz/seeds-jpeg/*; do
    base="$(basename "$f")"
    djpeg -scale 1/4 "$f" > "fuzz/seeds-jpeg/$base.ppm" 2> /dev/null || { rm -f "fuzz/seeds-jpeg/$base.ppm"; continue; }
    cjpeg -progressive -outfile "fuzz/seeds-jpeg/progressive-$base" "fuzz/seeds-jpeg/$base.ppm" 2> /dev/null || true
    cjpeg -progressive -grayscale -quality 30 -outfile "fuzz/seeds-jpeg/progressive-gray-$base" \
      "fuzz/seeds-jpeg/$base.ppm" 2> /dev/null || true
    rm -f "fuzz/seeds-jpeg/$base.ppm"
  done
else
  echo "fuzz_seeds: cjpeg/djpeg missing (libjpeg-turbo-progs): no progressive JPEG seeds" >&2
fi
echo "seeds: $(ls fuzz/seeds-metafile | wc -l) metafiles, $(ls fuzz/seeds-jpeg | wc -l) JPEGs"
