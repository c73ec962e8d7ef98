#!/usr/bin/python3
"""The alpha of every layer of the corpus with --as-shown, computed independently with psd-tools.

    as_shown_alpha.py PEELBOX_CLI [CORPUS_PSD_FOLDER]   compare every written PNG, print one line per document
    as_shown_alpha.py --data OUT.json [FOLDER]           write what psd-tools says of each shaped layer

Not a build dependency: run by hand with Debian's python3-psd-tools, numpy and Pillow.
Within a pixel of a vector mask's path psd-tools widens the shape, so those pixels are left out.
"""
import glob, json, logging, os, struct, subprocess, sys, tempfile, warnings, zlib
import numpy as np
from PIL import Image
from psd_tools import PSDImage
from psd_tools.composite.vector import draw_vector_mask
from psd_tools.constants import Tag

warnings.filterwarnings('ignore')
logging.disable(logging.CRITICAL)


def plane(layer, cid, rect):
    """Channel cid of the layer at rect (left, top, right, bottom), 0..1, or None."""
    w, h = rect[2] - rect[0], rect[3] - rect[1]
    psd = layer._psd
    for info, data in zip(layer._record.channel_info, layer._channels):
        if info.id == cid and w > 0 and h > 0 and len(data.data) > 0:
            raw = data.get_data(w, h, psd.depth, psd.version)
            dtype, scale = {8: ('>u1', 255.), 16: ('>u2', 65535.), 32: ('>f4', 1.)}[psd.depth]
            return np.clip(np.frombuffer(raw, dtype).astype(np.float64)[:w * h].reshape(h, w) / scale, 0, 1)
    return None


def paste(values, rect, shape, outside=0.):
    out = np.full(shape, outside)
    l, t, r, b = rect
    H, W = shape
    if values is None:
        values = np.ones((b - t, r - l))
    y0, y1, x0, x1 = max(t, 0), min(b, H), max(l, 0), min(r, W)
    if y0 < y1 and x0 < x1:
        out[y0:y1, x0:x1] = values[y0 - t:y1 - t, x0 - l:x1 - l]
    return out


def user_mask(layer):
    """(channel, rect, default, disabled, density) of the mask in effect, or None."""
    m, rec = layer._record.mask_data, layer._record
    if m is None:
        return None
    ids = [c.id for c in rec.channel_info]
    p = m.parameters
    density = p.user_mask_density if p is not None and p.user_mask_density is not None else 255
    if m.real_flags is not None:
        rect = (m.real_left, m.real_top, m.real_right, m.real_bottom)
        return (-3, rect, m.real_background_color, m.real_flags.mask_disabled, density) if -3 in ids else None
    if (m.flags.user_mask_from_render and layer.has_vector_mask()) or -2 not in ids:
        return None
    return -2, (m.left, m.top, m.right, m.bottom), m.background_color, m.flags.mask_disabled, density


def masks(layer, shape):
    """The product of the layer's enabled masks, and the pixels near a vector path."""
    factor, near = np.ones(shape), np.zeros(shape, bool)
    um = user_mask(layer)
    if um is not None and not um[3]:
        cid, rect, default, _, density = um
        m = paste(plane(layer, cid, rect), rect, shape, default / 255.) if rect[2] > rect[0] and rect[3] > rect[1] \
            else np.full(shape, default / 255.)
        factor *= 1 - density / 255. * (1 - m)
    if layer.has_vector_mask() and not layer.vector_mask.disabled:
        # Photoshop's own rendering, kept in -2, when there is one: psd-tools fills every subpath of a
        # compound shape, holes and all.
        m = layer._record.mask_data
        rendered = m is not None and m.flags.user_mask_from_render and m.real_flags is None
        rect = (m.left, m.top, m.right, m.bottom) if rendered else None
        v = paste(plane(layer, -2, rect), rect, shape, m.background_color / 255.) if rendered and \
            plane(layer, -2, rect) is not None else draw_vector_mask(layer)[:, :, 0].astype(np.float64)
        if layer.vector_mask.inverted:
            v = 1 - v
        p = m.parameters if m is not None else None
        d = p.vector_mask_density if p is not None and p.vector_mask_density is not None else 255
        factor *= 1 - d / 255. * (1 - v)
        near |= near_path(layer, shape)
    return factor, near


def near_path(layer, shape):
    """The pixels within one pixel of the path: points every quarter pixel along each curve."""
    H, W = shape
    near = np.zeros(shape, bool)
    for subpath in layer.vector_mask.paths:
        knots = list(subpath)
        for k in range(len(knots) if len(knots) > 1 else 0):
            a, b = knots[k], knots[(k + 1) % len(knots)]
            straight = k + 1 == len(knots) and not subpath.is_closed()
            points = [(p[1] * W, p[0] * H) for p in (a.anchor, a.anchor if straight else a.leaving,
                                                     b.anchor if straight else b.preceding, b.anchor)]
            span = sum(np.hypot(points[i + 1][0] - points[i][0], points[i + 1][1] - points[i][1]) for i in range(3))
            t = np.linspace(0, 1, int(span * 4) + 2)[:, None]
            (x0, y0), (x1, y1), (x2, y2), (x3, y3) = points
            xs = (1 - t) ** 3 * x0 + 3 * (1 - t) ** 2 * t * x1 + 3 * (1 - t) * t ** 2 * x2 + t ** 3 * x3
            ys = (1 - t) ** 3 * y0 + 3 * (1 - t) ** 2 * t * y1 + 3 * (1 - t) * t ** 2 * y2 + t ** 3 * y3
            for dy in (-1, 0, 1):
                for dx in (-1, 0, 1):
                    px, py = np.floor(xs).astype(int) + dx, np.floor(ys).astype(int) + dy
                    keep = (px >= 0) & (px < W) & (py >= 0) & (py < H)
                    near[py[keep], px[keep]] = True
    return near


def rect_of(layer):
    r = layer._record
    return r.left, r.top, r.right, r.bottom


def base_of(layer):
    """The layer it is clipped to, 'none' when it shows unclipped."""
    if not layer._record.clipping:
        return 'none'
    siblings = list(layer._parent._layers)
    for below in reversed(siblings[:siblings.index(layer)]):
        if not below._record.clipping:
            return 'none' if below.is_group() else below
    return 'none'


def expected(layer, shape):
    """The alpha as shown, the pixels near a path, whether factors multiply, the base if hidden."""
    fill = layer.tagged_blocks.get_data(Tag.BLEND_FILL_OPACITY, 255) if layer.tagged_blocks else 255
    alpha = paste(plane(layer, -1, rect_of(layer)), rect_of(layer), shape)
    factor, near = masks(layer, shape)
    alpha *= factor * layer.opacity / 255. * fill / 255.
    shaped = not np.all(factor == 1) or layer.opacity < 255 or fill < 255
    group = layer._parent
    while group.kind != 'psdimage':
        f, n = masks(group, shape)
        alpha *= f * group.opacity / 255.
        near |= n
        shaped |= not np.all(f == 1) or group.opacity < 255
        group = group._parent
    base = base_of(layer)
    if base != 'none':
        f, n = masks(base, shape)
        alpha *= paste(plane(base, -1, rect_of(base)), rect_of(base), shape) * f * base.opacity / 255.
        near |= n
        shaped = True
    return alpha, near, shaped, base != 'none' and not base.visible


def records_of(psd):
    return [record for record, _ in psd._record._iter_layers()]


def rip(cli, document, out, extent):
    run = subprocess.run([cli, '-q', '--json', '--formats', 'png', '--as-shown', '--extent', extent, document, out],
                         capture_output=True, text=True)
    return json.loads(run.stdout)


def png_alpha(path):
    """The alpha samples of a PNG, or None without alpha. Pillow reads 16-bit RGBA as 8 bits: those are
    decoded here."""
    with open(path, 'rb') as f:
        blob = f.read()
    width, height, depth, colour = struct.unpack('>IIBB', blob[16:26])
    if colour not in (4, 6):
        return None
    if depth == 8:
        return np.array(Image.open(path))[:, :, -1].astype(np.int64)
    at, packed = 8, b''
    while at < len(blob):
        length, kind = struct.unpack('>I4s', blob[at:at + 8])
        packed += blob[at + 8:at + 8 + length] if kind == b'IDAT' else b''
        at += 12 + length
    raw, bpp = zlib.decompress(packed), (2 if colour == 4 else 4) * 2
    stride, rows, prior = width * bpp, [], bytearray(width * bpp)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - bpp] if i >= bpp else 0
            b, c = prior[i], prior[i - bpp] if i >= bpp else 0
            p = a + b - c
            pred = [0, a, b, (a + b) // 2, a if abs(p - a) <= min(abs(p - b), abs(p - c)) else
                    b if abs(p - b) <= abs(p - c) else c][kind]
            row[i] = (row[i] + pred) & 255
        rows.append(bytes(row))
        prior = row
    samples = np.frombuffer(b''.join(rows), '>u2').reshape(height, width, bpp // 2)
    return samples[:, :, -1].astype(np.int64)


def compare(cli, document):
    psd = PSDImage.open(document)
    shape = (psd.height, psd.width)
    layers = {id(l._record): l for l in psd.descendants()}
    records = records_of(psd)
    checked = worst = near_total = 0
    with tempfile.TemporaryDirectory() as out:
        report = rip(cli, document, out, 'canvas')
        trimmed = {f['layer_index']: f['image'] for f in rip(cli, document, out + '/t', 'trim')['files']}
        for entry in report['files']:
            if entry['layer_index'] is None:
                continue
            layer = layers[id(records[entry['layer_index']])]
            alpha, near, shaped, hidden_base = expected(layer, shape)
            ours = png_alpha(entry['path'])
            top = 65535 if psd.depth != 8 else 255
            ours = np.full(shape, top) if ours is None else ours
            want = np.rint(alpha * top)
            diff = np.abs(ours - want)[~near]
            allowed = (257 if top == 65535 else 1) if shaped else 0
            worst = max(worst, int(diff.max() // (257 if top == 65535 else 1)) if diff.size else 0)
            if hidden_base or (diff > allowed).any():
                print('  MISMATCH', entry['layer_index'], repr(layer.name), int(diff.max()), int((diff > allowed).sum()))
            ys, xs = np.nonzero(ours)
            box = {'left': int(xs.min()), 'top': int(ys.min()), 'width': int(xs.max() - xs.min() + 1),
                   'height': int(ys.max() - ys.min() + 1)} if ys.size else None
            if trimmed.get(entry['layer_index']) != box:
                print('  TRIM', entry['layer_index'], repr(layer.name), trimmed.get(entry['layer_index']), box)
            checked += 1
            near_total += int(near.sum())
    return checked, worst, near_total


def data(folder):
    """What psd-tools says of each layer that something shapes, and of each vector mask."""
    found = {}
    for document in sorted(glob.glob(os.path.join(folder, '*'))):
        try:
            psd = PSDImage.open(document)
        except Exception:
            continue
        records = records_of(psd)
        index = {id(r): i for i, r in enumerate(records)}
        entries = []
        for layer in psd.descendants():
            at = index[id(layer._record)]
            fill = layer.tagged_blocks.get_data(Tag.BLEND_FILL_OPACITY, 255) if layer.tagged_blocks else 255
            groups, group = [], layer._parent
            while group.kind != 'psdimage':
                groups.insert(0, index[id(group._record)])
                group = group._parent
            base = base_of(layer)
            um = user_mask(layer)
            entry = {'record': at, 'mask_channel': um[0] if um else None, 'fill': fill, 'groups': groups,
                     'base': None if base == 'none' else index[id(base._record)], 'effects': layer.has_effects()}
            if layer.has_vector_mask():
                v = draw_vector_mask(layer)[:, :, 0]
                ys, xs = np.nonzero(v)
                if ys.size:
                    entry['vector_box'] = [int(xs.min()), int(ys.min()), int(xs.max()) + 1, int(ys.max()) + 1]
            # What is not said is none: no mask, full fill, no groups, no base, no effects.
            defaults = {'mask_channel': None, 'fill': 255, 'groups': [], 'base': None, 'effects': False}
            entry = {k: v for k, v in entry.items() if k not in defaults or v != defaults[k]}
            if len(entry) > 1:
                entries.append(entry)
        if entries:
            found[os.path.basename(document)] = entries
    return found


if __name__ == '__main__':
    if sys.argv[1] == '--data':
        folder = sys.argv[3] if len(sys.argv) > 3 else '../shared/corpus/psd'
        with open(sys.argv[2], 'w') as out:
            json.dump(data(folder), out, separators=(',', ':'))
            out.write('\n')
        sys.exit(0)
    folder = sys.argv[2] if len(sys.argv) > 2 else '../shared/corpus/psd'
    for document in sorted(glob.glob(os.path.join(folder, '*'))):
        try:
            PSDImage.open(document)
        except Exception as error:
            print(os.path.basename(document), 'not read by psd-tools:', error)
            continue
        checked, worst, near = compare(os.path.abspath(sys.argv[1]), document)
        print('%s: %d PNGs, largest difference %d, %d pixels near a path left out' %
              (os.path.basename(document), checked, worst, near))
