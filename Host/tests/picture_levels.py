#!/usr/bin/python3
# picture_levels.py A.png B.png: the largest and the mean difference of two
# 8-bit PNGs of one size, in levels of 255, channel by channel.
import struct, sys, zlib
def pixels(path):
    data = open(path, "rb").read()[8:]
    idat, pos = b"", 0
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR": w, h, depth, ctype = struct.unpack(">IIBB", body[:10])
        if kind == b"IDAT": idat += body
        pos += 12 + n
    bpp = {0: 1, 2: 3, 4: 2, 6: 4}[ctype] * depth // 8
    raw, out, prev = zlib.decompress(idat), [], bytearray(w * bpp)
    stride = w * bpp
    for y in range(h):
        f, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if f == 1: row[i] = (row[i] + a) & 255
            elif f == 2: row[i] = (row[i] + b) & 255
            elif f == 3: row[i] = (row[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        out.append(row)
        prev = row
    return [v for r in out for v in r]
a, b = pixels(sys.argv[1]), pixels(sys.argv[2])
d = [abs(x - y) for x, y in zip(a, b)]
print(max(d), sum(d) / len(d))
