#!/usr/bin/python3
"""Makes HEIC pictures whose sequence parameter set declares every number of
sub-layers (sps_max_sub_layers_minus1 0 to 6), each with its sub-layers'
profile and level fields present or not:

    make_hevc_fixtures.py OUTDIR

OUTDIR gets sublayers_N_PL.heic (P, L: 1 when every sub-layer's profile,
level is present). The pictures are heif-enc's with the parameter set
rewritten: the sub-layer fields inserted into profile_tier_level and
sps_sub_layer_ordering_info_present_flag cleared, so the rest of the set
reads the same. Their size fills whole coding blocks, so the decoded
picture's size is the coded one. (Debian's patched heif-convert refuses
some of them: its own reading of the set skips the sub-layer fields
wrongly; libde265 reads them.)"""
import pathlib
import struct
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from make_rotated_heif import boxes, find, shift_item_data  # noqa: E402

WIDTH, HEIGHT = 128, 64  # whole coding blocks: no conformance window


class Bits:
    def __init__(self, data):
        self.data, self.at = data, 0

    def read(self, n):
        v = 0
        for _ in range(n):
            v = (v << 1) | ((self.data[self.at // 8] >> (7 - self.at % 8)) & 1)
            self.at += 1
        return v

    def ue(self):
        start = self.at
        zeros = 0
        while self.read(1) == 0:
            zeros += 1
        self.read(zeros)
        return self.at - start


def unescape(nal):
    out, zeros = bytearray(), 0
    for b in nal:
        if zeros >= 2 and b == 3:
            zeros = 0
            continue
        zeros = zeros + 1 if b == 0 else 0
        out.append(b)
    return out


def escape(rbsp):
    out, zeros = bytearray(), 0
    for b in rbsp:
        if zeros >= 2 and b <= 3:
            out.append(3)
            zeros = 0
        out.append(b)
        zeros = zeros + 1 if b == 0 else 0
    return out


def rewrite_sps(payload, sub_layers, profiles, levels):
    """The SPS payload (after its two header bytes) with sub_layers - 1 as
    sps_max_sub_layers_minus1."""
    rbsp = unescape(payload)
    bits = "".join(f"{b:08b}" for b in rbsp)
    r = Bits(rbsp)
    r.read(4)
    assert r.read(3) == 0, "heif-enc wrote sub-layers already"
    r.read(1)
    ptl = bits[8:104]
    r.at = 104
    # seq_parameter_set_id, chroma_format_idc (4:2:0 from heif-enc, so no
    # flag follows), pic_width and pic_height
    for _ in range(4):
        r.ue()
    if r.read(1):
        for _ in range(4):
            r.ue()
    for _ in range(3):  # bit depths, log2_max_pic_order_cnt_lsb_minus4
        r.ue()
    flag_at = r.at
    n = sub_layers - 1
    out = bits[:4] + f"{n:03b}" + "1" + ptl
    out += ("".join(f"{profiles}{levels}" for _ in range(n)) + "00" * (8 - n)) if n else ""
    out += ("".join((ptl[:88] if profiles else "") + (ptl[88:] if levels else "")
                    for _ in range(n)))
    out += bits[104:flag_at] + "0" + bits[flag_at + 1:]
    # The old rbsp_trailing_bits and padding stay at the end; cut to bytes.
    out = out.rstrip("0")
    out += "0" * (-len(out) % 8)
    return escape(bytes(int(out[i:i + 8], 2) for i in range(0, len(out), 8)))


def with_sps(data, sub_layers, profiles, levels):
    data = bytearray(data)
    meta_at, meta_size = find(data, 0, len(data), "meta")
    iprp_at, iprp_size = find(data, meta_at + 12, meta_at + meta_size, "iprp")
    ipco_at, ipco_size = find(data, iprp_at + 8, iprp_at + iprp_size, "ipco")
    hvcc_at, hvcc_size = find(data, ipco_at + 8, ipco_at + ipco_size, "hvcC")
    p = hvcc_at + 8 + 23
    for _ in range(data[hvcc_at + 8 + 22]):
        kind, count = data[p] & 0x3F, struct.unpack(">H", data[p + 1:p + 3])[0]
        p += 3
        for _ in range(count):
            length = struct.unpack(">H", data[p:p + 2])[0]
            if kind == 33:
                payload = rewrite_sps(data[p + 4:p + 2 + length], sub_layers, profiles, levels)
                nal = data[p + 2:p + 4] + payload
                delta = len(nal) - length
                data[p:p + 2 + length] = struct.pack(">H", len(nal)) + nal
                for at in (hvcc_at, ipco_at, iprp_at, meta_at):
                    size = struct.unpack(">I", data[at:at + 4])[0]
                    data[at:at + 4] = struct.pack(">I", size + delta)
                shift_item_data(data, meta_at, meta_size + delta, delta)
                return bytes(data)
            p += 2 + length
    raise SystemExit("no sequence parameter set")


def make(outdir):
    outdir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="hevc-fixtures-") as tmp:
        work = pathlib.Path(tmp)
        Image.radial_gradient("L").resize((WIDTH, HEIGHT)).convert("RGB").save(work / "g.png")
        subprocess.run(["heif-enc", "-q", "80", str(work / "g.png"), "-o", str(work / "g.heic")],
                       check=True, stdout=subprocess.DEVNULL)
        plain = (work / "g.heic").read_bytes()
        for sub_layers in range(1, 8):
            for profiles, levels in ((0, 0), (1, 0), (0, 1), (1, 1)):
                if sub_layers == 1 and (profiles or levels):
                    continue
                name = f"sublayers_{sub_layers - 1}_{profiles}{levels}"
                heic = outdir / f"{name}.heic"
                heic.write_bytes(with_sps(plain, sub_layers, profiles, levels))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    make(pathlib.Path(sys.argv[1]))
