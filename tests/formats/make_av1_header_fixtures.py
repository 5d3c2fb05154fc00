#!/usr/bin/python3
"""Makes AVIF pictures whose AV1 sequence and frame headers use the optional
fields, one file per variant, all decoding to the same pixels:

    make_av1_header_fixtures.py OUTDIR

OUTDIR gets NAME.avif for every NAME in VARIANTS (over avifenc's 8-bit
4:2:0 picture) and in ENCODINGS (other depths and samplings, each also
rewritten with a full sequence header), the pictures as avifenc made them
(original.avif, NAME_original.avif), and `list`: each variant's name and
its original's, one pair a line.
avifenc writes a reduced still-picture header; its sequence header is read
and written again field by field with the variant's fields, and its frame
header read to its end (through every field a key frame has) and written
again with the fields the new sequence header calls for, so that the coded
tile data stays valid. With `config`, the sequence header goes into 'av1C'
as well."""
import pathlib
import struct
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from make_rotated_heif import find, shift_item_data  # noqa: E402

WIDTH, HEIGHT = 37, 23


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def f(self, n):
        v = 0
        for _ in range(n):
            v = (v << 1) | ((self.data[self.at // 8] >> (7 - self.at % 8)) & 1)
            self.at += 1
        return v


class Writer:
    def __init__(self):
        self.bits = []

    def f(self, value, n):
        self.bits += [(value >> i) & 1 for i in range(n - 1, -1, -1)]
        return self

    def uvlc(self, value):
        n = (value + 1).bit_length() - 1
        return self.f(0, n).f(1, 1).f(value + 1 - (1 << n), n)

    def copy(self, reader, start, end):
        saved = reader.at
        reader.at = start
        self.bits += [reader.f(1) for _ in range(end - start)]
        reader.at = saved

    def aligned(self, trailing):
        bits = self.bits + ([1] if trailing else [])
        bits += [0] * (-len(bits) % 8)
        return bytes(int("".join(map(str, bits[i:i + 8])), 2) for i in range(0, len(bits), 8))


def leb128(n):
    out = bytearray()
    while True:
        out.append((n & 0x7F) | (0x80 if n > 0x7F else 0))
        n >>= 7
        if not n:
            return bytes(out)


def obus(data):
    """(type, payload) of every OBU of data, each with its size field."""
    at, out = 0, []
    while at < len(data):
        header = data[at]
        assert header & 2 and not header & 4, "avifenc's OBUs carry sizes, no extension"
        at += 1
        size, shift = 0, 0
        while True:
            size |= (data[at] & 0x7F) << shift
            shift += 7
            at += 1
            if not data[at - 1] & 0x80:
                break
        out.append(((header >> 3) & 15, data[at:at + size]))
        at += size
    return out


def obu(kind, payload):
    return bytes([kind << 3 | 2]) + leb128(len(payload)) + payload


def read_original_sequence(payload):
    """The fields of avifenc's reduced still-picture header that frames and
    colours depend on."""
    r = Reader(payload)
    s = {"profile": r.f(3), "still": r.f(1), "reduced": r.f(1)}
    assert s["reduced"], "avifenc wrote a full sequence header"
    s["level"] = r.f(5)
    wb, hb = r.f(4) + 1, r.f(4) + 1
    s["max"] = (r.f(wb) + 1, r.f(hb) + 1)
    s["sb128"], s["filter_intra"], s["edge_filter"] = r.f(1), r.f(1), r.f(1)
    s["superres"], s["cdef"], s["restoration"] = r.f(1), r.f(1), r.f(1)
    c = s["colour"] = {}
    c["high"] = r.f(1)
    c["twelve"] = r.f(1) if s["profile"] == 2 and c["high"] else 0
    c["mono"] = 0 if s["profile"] == 1 else r.f(1)
    c["description"] = r.f(1)
    c["cicp"] = (r.f(8), r.f(8), r.f(8)) if c["description"] else (2, 2, 2)
    c["range"], c["ss"], c["position"] = 1, (1, 1), 0
    if c["mono"]:
        c["range"] = r.f(1)
    elif c["cicp"] == (1, 13, 0):
        c["ss"] = (0, 0)
    else:
        c["range"] = r.f(1)
        if s["profile"] == 1:
            c["ss"] = (0, 0)
        elif s["profile"] == 2:
            ss_x = r.f(1) if c["twelve"] else 1
            c["ss"] = (ss_x, r.f(1) if c["twelve"] and ss_x else 0)
        if c["ss"] == (1, 1):
            c["position"] = r.f(2)
    c["separate_uv"] = 0 if c["mono"] else r.f(1)
    assert not r.f(1), "film grain in avifenc's picture"
    return s


def write_colour(w, s, v):
    c = s["colour"]
    w.f(c["high"], 1)
    if s["profile"] == 2 and c["high"]:
        w.f(c["twelve"], 1)
    if s["profile"] != 1:
        w.f(c["mono"], 1)
    cicp = v.get("cicp", c["cicp"])
    w.f(cicp != (2, 2, 2), 1)
    if cicp != (2, 2, 2):
        w.f(cicp[0], 8).f(cicp[1], 8).f(cicp[2], 8)
    assert cicp != (1, 13, 0)
    if c["mono"]:
        w.f(c["range"], 1)
    else:
        w.f(c["range"], 1)
        if s["profile"] == 2 and c["twelve"]:
            w.f(c["ss"][0], 1)
            if c["ss"][0]:
                w.f(c["ss"][1], 1)
        if c["ss"] == (1, 1):
            w.f(v.get("position", c["position"]), 2)
        w.f(c["separate_uv"], 1)


def write_sequence(s, v):
    """The sequence header of variant v over the original fields s."""
    w = Writer()
    reduced = v.get("reduced", 0)
    w.f(s["profile"], 3).f(1, 1).f(reduced, 1)
    if reduced:
        w.f(s["level"], 5)
    else:
        timing = v.get("timing")
        w.f(timing is not None, 1)
        if timing:
            w.f(1001, 32).f(30000, 32).f(timing["equal"], 1)
            if timing["equal"]:
                w.uvlc(timing["ticks"])
            w.f(timing["model"] is not None, 1)
            if timing["model"]:
                delay, removal, presentation = timing["model"]
                w.f(delay - 1, 5).f(1001, 32).f(removal - 1, 5).f(presentation - 1, 5)
        points = v.get("points", [(0, s["level"], 0, False, None)])
        display = any(p[4] is not None for p in points)
        w.f(display, 1).f(len(points) - 1, 5)
        for idc, level, tier, model, initial in points:
            w.f(idc, 12).f(level, 5)
            if level > 7:
                w.f(tier, 1)
            if timing and timing["model"]:
                w.f(model, 1)
                if model:
                    n = timing["model"][0]
                    w.f((1 << n) - 1, n).f(1, n).f(1, 1)  # decoder, encoder delay, low delay
            if display:
                w.f(initial is not None, 1)
                if initial is not None:
                    w.f(initial - 1, 4)
    width_bits, height_bits = v.get("bits", (16, 16))
    max_width, max_height = v.get("max", s["max"])
    w.f(width_bits - 1, 4).f(height_bits - 1, 4).f(max_width - 1, width_bits)
    w.f(max_height - 1, height_bits)
    if not reduced:
        ids = v.get("ids")
        w.f(ids is not None, 1)
        if ids:
            w.f(ids[0] - 2, 4).f(ids[1] - ids[0] - 1, 3)
    w.f(s["sb128"], 1).f(s["filter_intra"], 1).f(s["edge_filter"], 1)
    if not reduced:
        w.f(0, 4)  # interintra, masked compound, warped motion, dual filter
        hint = v.get("order_hint")
        w.f(hint is not None, 1)
        if hint:
            w.f(1, 1).f(1, 1)  # jnt_comp, ref_frame_mvs
        screen = v.get("screen")  # None: per frame, else forced to it
        w.f(screen is None, 1)
        if screen is not None:
            w.f(screen, 1)
        if screen is None or screen:
            w.f(1, 1)  # integer mv per frame
        if hint:
            w.f(hint - 1, 3)
    w.f(v.get("superres", s["superres"]), 1).f(s["cdef"], 1).f(s["restoration"], 1)
    write_colour(w, s, v)
    w.f(v.get("grain", 0), 1)
    return w.aligned(True)


def skip_rest_of_key_frame(r, s, width, height):
    """Reads a reduced still picture's key frame header from after
    render_size to its end (before the byte alignment)."""
    c = s["colour"]
    planes = 1 if c["mono"] else 3
    allow_intrabc = r.f(1) if s["screen_tools"] else 0
    assert not allow_intrabc
    mi_cols, mi_rows = 2 * ((width + 7) >> 3), 2 * ((height + 7) >> 3)
    shift = 5 if s["sb128"] else 4
    assert (mi_cols + (1 << shift) - 1) >> shift == 1 and (mi_rows + (1 << shift) - 1) >> shift == 1
    r.f(1)  # uniform_tile_spacing_flag: one superblock, nothing follows
    base_q = r.f(8)
    assert base_q > 0, "a lossless frame"

    def delta_q():
        if r.f(1):
            r.f(7)

    delta_q()
    if planes > 1:
        diff = r.f(1) if c["separate_uv"] else 0
        delta_q(), delta_q()
        if diff:
            delta_q(), delta_q()
    if r.f(1):  # using_qmatrix
        r.f(4), r.f(4)
        if c["separate_uv"]:
            r.f(4)
    if r.f(1):  # segmentation_enabled
        for _ in range(8):
            for bits, signed in zip((8, 6, 6, 6, 6, 3, 0, 0), (1, 1, 1, 1, 1, 0, 0, 0)):
                if r.f(1):
                    r.f(bits + signed)
    if r.f(1):  # delta_q_present
        r.f(2)
        if r.f(1):  # delta_lf_present
            r.f(3)
    levels = r.f(6), r.f(6)
    if planes > 1 and any(levels):
        r.f(12)
    r.f(3)  # sharpness
    if r.f(1) and r.f(1):  # delta enabled, updated
        for _ in range(10):
            if r.f(1):
                r.f(7)
    if s["cdef"]:
        r.f(2)
        for _ in range(1 << r.f(2)):
            r.f(6)
            if planes > 1:
                r.f(6)
    if s["restoration"]:
        types = [r.f(2) for _ in range(planes)]
        if any(types):
            if s["sb128"]:
                r.f(1)
            elif r.f(1):
                r.f(1)
            if c["ss"] == (1, 1) and any(types[1:]):
                r.f(1)
    r.f(1)  # tx_mode_select
    r.f(1)  # reduced_tx_set


def write_frame(payload, s, v):
    """The frame OBU of variant v: the key frame header written again for
    the new sequence header, then the original tile group."""
    r = Reader(payload)
    disable_cdf = r.f(1)
    screen = r.f(1)
    s["screen_tools"] = screen
    integer_mv = r.f(1) if screen else None
    assert not s["superres"] and not r.f(1), "avifenc's frame has another render size"
    middle = r.at
    skip_rest_of_key_frame(r, s, *s["max"])
    end = r.at
    tiles = payload[(end + 7) // 8:]
    assert not payload[end // 8] & (0xFF >> (end % 8)) if end % 8 else True, \
        "the frame header does not end where it was read to"

    w = Writer()
    reduced = v.get("reduced", 0)
    timing = v.get("timing") or {}
    model = timing.get("model")
    if not reduced:
        w.f(0, 1).f(0, 2).f(1, 1)  # not shown again, key frame, shown
        if model and not timing["equal"]:
            w.f(5, model[2])  # frame_presentation_time
    w.f(disable_cdf, 1)
    forced = v.get("screen") if not reduced else None
    if forced is None:
        w.f(screen, 1)
    else:
        assert forced == screen
    if screen:
        w.f(integer_mv, 1)
    if v.get("ids"):
        w.f(3, v["ids"][1])  # current_frame_id
    override = v.get("override", False)
    if not reduced:
        w.f(override, 1)
        if v.get("order_hint"):
            w.f(0, v["order_hint"])
        if model:
            w.f(1, 1)  # buffer_removal_time_present_flag
            for idc, _, _, present, _ in v["points"]:
                if present and (idc == 0 or (idc & 1 and idc >> 8 & 1)):
                    w.f(7, model[1])
    if override:
        w.f(WIDTH - 1, v["bits"][0]).f(HEIGHT - 1, v["bits"][1])
    if v.get("superres", s["superres"]):
        w.f(0, 1)  # use_superres
    render = v.get("render")
    w.f(render is not None, 1)
    if render:
        w.f(render[0] - 1, 16).f(render[1] - 1, 16)
    if screen:
        w.copy(r, middle, middle + 1)  # allow_intrabc
        middle += 1
    if not reduced and not disable_cdf:
        w.f(1, 1)  # disable_frame_end_update_cdf, as the reduced header implies
    w.copy(r, middle, end)
    if v.get("grain"):
        w.f(0, 1)  # apply_grain
    return w.aligned(False) + tiles


# name: the fields changed; reduced 0 when not given. Width and height
# bits are 16 unless given; `override` gives the frame's size in its header
# under a larger maximum.
MODEL = (10, 5, 4)  # buffer delay, removal time, presentation time lengths
VARIANTS = {
    "reduced": {"reduced": 1},
    "reduced_config": {"reduced": 1, "config": True},
    "full": {},
    "full_config": {"config": True},
    "bits_6_5": {"bits": (6, 5)},
    "bits_11_16": {"bits": (11, 16)},
    "reduced_bits_7_15": {"reduced": 1, "bits": (7, 15)},
    "timing": {"timing": {"equal": 0, "model": None}},
    "timing_equal": {"timing": {"equal": 1, "ticks": 1000, "model": None}},
    "model": {"timing": {"equal": 0, "model": MODEL},
              "points": [(0, 8, 1, True, None)]},
    "model_equal": {"timing": {"equal": 1, "ticks": 0, "model": (3, 17, 9)},
                    "points": [(0, 31, 0, True, None)]},
    "model_short": {"timing": {"equal": 0, "model": (1, 1, 1)},
                    "points": [(0, 0, 0, True, None)], "bits": (7, 6)},
    "model_absent_for_point": {"timing": {"equal": 0, "model": MODEL},
                               "points": [(0, 12, 1, False, None)]},
    "points_3": {"points": [(0x101, 4, 0, False, None), (0x103, 9, 1, False, None),
                            (0x107, 31, 0, False, None)]},
    "points_display": {"points": [(0, 8, 0, False, 10), (0x101, 3, 0, False, None)]},
    "points_32_display": {"points": [(0x101 | (i << 1 & 0xFE), i % 32, i & 1, False,
                                      i % 16 + 1 if i % 3 else None) for i in range(32)]},
    "points_model_display": {
        "timing": {"equal": 0, "model": MODEL},
        "points": [(0x101, 13, 1, True, 3), (0x102, 2, 0, True, None),
                   (0x103, 20, 0, False, 16), (0, 7, 0, True, 1)],
        "override": True, "max": (600, 70), "bits": (11, 7)},
    "points_model_equal_bits": {
        "timing": {"equal": 1, "ticks": 300, "model": (32, 32, 32)},
        "points": [(0x101, 8, 1, True, 1), (0, 19, 1, True, None)], "bits": (9, 12)},
    "frame_ids": {"ids": (2, 3)},
    "frame_ids_long": {"ids": (15, 16), "bits": (8, 8)},
    "order_hint": {"order_hint": 7},
    "screen_forced": {"screen": "original"},
    "superres_enabled": {"superres": 1},
    "no_colour_description": {"cicp": (2, 2, 2)},
    "colour_description": {"cicp": (9, 16, 9), "position": 2},
    "film_grain": {"grain": 1},
    "override": {"override": True, "max": (1000, 800), "bits": (10, 10)},
    "override_bits": {"override": True, "max": (40, 30), "bits": (6, 15)},
    "render_size": {"render": (640, 480)},
    "everything": {
        "timing": {"equal": 0, "model": MODEL},
        "points": [(0x101, 9, 1, True, 5), (0x103, 30, 0, True, None), (0, 2, 0, False, 2)],
        "bits": (12, 13), "max": (3000, 5000), "override": True, "ids": (7, 9),
        "order_hint": 8, "superres": 1, "render": (100, 50), "grain": 1,
        "cicp": (9, 16, 9), "config": True},
}

# name: avifenc's depth and sampling; each is written with its reduced
# header as avifenc made it, and as a full header with a model.
ENCODINGS = {
    "depth10_444": ["-d", "10", "-y", "444"],
    "depth12_422": ["-d", "12", "-y", "422"],
    "depth12_444": ["-d", "12", "-y", "444"],
    "depth12_420": ["-d", "12", "-y", "420"],
    "mono8": ["-d", "8", "-y", "400"],
    "mono12": ["-d", "12", "-y", "400"],
    "plain8_444": ["-d", "8", "-y", "444"],
}
ENCODING_VARIANT = {"timing": {"equal": 0, "model": MODEL},
                    "points": [(0, 8, 1, True, 4)], "ids": (5, 6), "order_hint": 3,
                    "override": True, "max": (256, 128), "bits": (9, 8), "grain": 1}


def rewrite(avif, v):
    data = bytearray(avif)
    meta_at, meta_size = find(data, 0, len(data), "meta")
    iprp_at, iprp_size = find(data, meta_at + 12, meta_at + meta_size, "iprp")
    ipco_at, ipco_size = find(data, iprp_at + 8, iprp_at + iprp_size, "ipco")
    av1c_at, av1c_size = find(data, ipco_at + 8, ipco_at + ipco_size, "av1C")
    assert av1c_size == 12, "avifenc wrote configuration OBUs"
    mdat_at, mdat_size = find(data, 0, len(data), "mdat")
    item = bytes(data[mdat_at + 8:mdat_at + mdat_size])
    units = obus(item)
    assert [k for k, _ in units] == [2, 1, 6], "one temporal unit: delimiter, sequence, frame"
    s = read_original_sequence(units[1][1])
    if v.get("screen") == "original":
        v = dict(v, screen=Reader(units[2][1]).f(2) & 1)
    sequence = obu(1, write_sequence(s, v))
    new_item = obu(2, b"") + sequence + obu(6, write_frame(units[2][1], s, v))
    # the item's data, then 'av1C' with the sequence header or not
    delta_item = len(new_item) - len(item)
    data[mdat_at + 8:mdat_at + mdat_size] = new_item
    data[mdat_at:mdat_at + 4] = struct.pack(">I", mdat_size + delta_item)
    patch_extent_length(data, meta_at, meta_size, len(item), len(new_item))
    if v.get("config"):
        data[av1c_at + 12:av1c_at + 12] = sequence
        for at in (av1c_at, ipco_at, iprp_at, meta_at):
            size = struct.unpack(">I", data[at:at + 4])[0]
            data[at:at + 4] = struct.pack(">I", size + len(sequence))
        shift_item_data(data, meta_at, meta_size + len(sequence), len(sequence))
    return bytes(data)


def patch_extent_length(data, meta_at, meta_size, old, new):
    """iloc: the one extent `old` bytes long made `new` bytes long."""
    iloc_at, iloc_size = find(data, meta_at + 12, meta_at + meta_size, "iloc")
    sizes = data[iloc_at + 12]
    off_size, len_size = sizes >> 4, sizes & 15
    assert data[iloc_at + 8] in (0, 1) and len_size == 4
    found = [at for at in range(iloc_at + 14, iloc_at + iloc_size - 3)
             if struct.unpack(">I", data[at:at + 4])[0] == old and at - off_size > iloc_at]
    assert len(found) == 1
    data[found[0]:found[0] + 4] = struct.pack(">I", new)


def make(outdir):
    outdir.mkdir(parents=True, exist_ok=True)
    names = []
    with tempfile.TemporaryDirectory(prefix="av1-fixtures-") as tmp:
        work = pathlib.Path(tmp)
        Image.radial_gradient("L").resize((WIDTH, HEIGHT)).convert("RGB").save(work / "g.png")

        def encode(options):
            out = work / "g.avif"
            subprocess.run(["avifenc", "-s", "8", *options, str(work / "g.png"), "-o", str(out)],
                           check=True, stdout=subprocess.DEVNULL)
            return out.read_bytes()

        plain = encode(["-d", "8", "-y", "420"])
        (outdir / "original.avif").write_bytes(plain)
        for name, v in VARIANTS.items():
            (outdir / f"{name}.avif").write_bytes(rewrite(plain, v))
            names.append(f"{name} original")
        for name, options in ENCODINGS.items():
            original = encode(options)
            (outdir / f"{name}_original.avif").write_bytes(original)
            (outdir / f"{name}_reduced.avif").write_bytes(rewrite(original, {"reduced": 1}))
            (outdir / f"{name}_full.avif").write_bytes(rewrite(original, ENCODING_VARIANT))
            names += [f"{name}_reduced {name}_original", f"{name}_full {name}_original"]
    (outdir / "list").write_text("\n".join(names) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    make(pathlib.Path(sys.argv[1]))
