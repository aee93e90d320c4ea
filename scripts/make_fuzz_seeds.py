#!/usr/bin/env python3
"""Writes small seed files for the decoder fuzz targets: raster formats
through ImageMagick and the image libraries' own encoders, metafiles built
record by record."""
import os
import struct
import subprocess
import sys

out = sys.argv[1]


def path(target, name):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    return os.path.join(out, target, name)


def magick(target, name, *args, prefix=""):
    try:
        subprocess.run(["convert", *args, prefix + path(target, name)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.CalledProcessError):
        pass


src = ["-size", "19x7", "gradient:red-blue"]
magick("bmp", "24.bmp", *src, prefix="BMP3:")
magick("bmp", "8.bmp", *src, "-colors", "16", "-type", "palette", prefix="BMP3:")
magick("bmp", "rle.bmp", *src, "-colors", "16", "-type", "palette", "-compress", "RLE",
       "BMP3:" + path("bmp", "rle.bmp"))
magick("bmp", "1.bmp", *src, "-monochrome", prefix="BMP3:")
magick("bmp", "v5.bmp", *src, "-alpha", "on", prefix="BMP:")
magick("bmp", "os2.bmp", *src, prefix="BMP2:")
magick("icon", "a.ico", "-size", "16x16", "gradient:red-blue", "-alpha", "on", path("icon", "a.ico"))
magick("icon", "b.ico", "-size", "32x32", "gradient:green-white", "-colors", "16", path("icon", "b.ico"))
magick("jpeg", "a.jpg", *src, path("jpeg", "a.jpg"))
magick("jpeg", "p.jpg", *src, "-interlace", "JPEG", path("jpeg", "p.jpg"))
magick("jpeg", "g.jpg", *src, "-colorspace", "gray", path("jpeg", "g.jpg"))
magick("jpeg", "c.jpg", *src, "-colorspace", "cmyk", path("jpeg", "c.jpg"))
magick("png", "a.png", *src, "-alpha", "on", path("png", "a.png"))
magick("png", "p.png", *src, "-colors", "8", prefix="PNG8:")
magick("png", "i.png", *src, "-interlace", "PNG", prefix="PNG48:")
magick("gif", "a.gif", *src, path("gif", "a.gif"))
magick("gif", "i.gif", *src, "-interlace", "GIF", "-transparent", "red", path("gif", "i.gif"))


def wmf_record(function, *words):
    body = b"".join(struct.pack("<h" if isinstance(w, int) and w < 0 else "<H", w & 0xFFFF) if isinstance(w, int) else w
                    for w in words)
    return struct.pack("<IH", 3 + len(body) // 2, function) + body


def wmf(records, bbox=(0, 0, 100, 50), inch=96):
    body = b"".join(records) + struct.pack("<IH", 3, 0)
    header = struct.pack("<HHHIHIH", 1, 9, 0x300, (18 + len(body)) // 2, 8, 20, 0)
    placeable = struct.pack("<IHhhhhHIH", 0x9AC6CDD7, 0, *bbox, inch, 0, 0)
    return placeable + header + body


def colorref(r, g, b):
    return struct.pack("<I", r | (g << 8) | (b << 16))


wmf_records = [
    wmf_record(0x020B, 0, 0), wmf_record(0x020C, 50, 100),
    wmf_record(0x02FC, struct.pack("<H", 0) + colorref(255, 0, 0) + struct.pack("<H", 0)),
    wmf_record(0x012D, 0),
    wmf_record(0x02FA, struct.pack("<Hhh", 0, 2, 0) + colorref(0, 0, 255)),
    wmf_record(0x012D, 1),
    wmf_record(0x041B, 40, 60, 10, 10),
    wmf_record(0x0418, 45, 95, 5, 50),
    wmf_record(0x0324, 3, 0, 0, 20, 0, 10, 20),
    wmf_record(0x0214, 0, 0), wmf_record(0x0213, 50, 100),
    wmf_record(0x0521, 2, b"Hi", 30, 5),
]
with open(path("metafile", "a.wmf"), "wb") as f:
    f.write(wmf(wmf_records))


def emf_record(kind, body):
    return struct.pack("<II", kind, 8 + len(body)) + body


def emf(records, frame=(0, 0, 2646, 1323)):
    body = b"".join(records) + emf_record(14, struct.pack("<III", 0, 16, 20))
    header_len = 88
    total = header_len + len(body)
    header = struct.pack("<II", 1, header_len) + struct.pack("<iiii", 0, 0, 99, 49) + struct.pack("<iiii", *frame)
    header += struct.pack("<IIIIHHIII", 0x464D4520, 0x10000, total, len(records) + 2, 4, 0, 0, 0, 0)
    header += struct.pack("<iiii", 1024, 768, 270, 203)
    return header + body


emf_records = [
    emf_record(39, struct.pack("<IIII", 1, 0, 0x00FF00, 0)),
    emf_record(37, struct.pack("<I", 1)),
    emf_record(43, struct.pack("<iiii", 10, 10, 60, 40)),
    emf_record(42, struct.pack("<iiii", 50, 5, 95, 45)),
    emf_record(86, struct.pack("<iiiiI", 0, 0, 20, 20, 3) + struct.pack("<hhhhhh", 0, 0, 20, 0, 10, 20)),
]
with open(path("metafile", "a.emf"), "wb") as f:
    f.write(emf(emf_records))

os.makedirs(os.path.join(out, "olebitmap"), exist_ok=True)
for target in ("gif", "jpeg", "bmp", "icon", "metafile"):
    d = os.path.join(out, target)
    if os.path.isdir(d):
        for name in os.listdir(d):
            with open(os.path.join(d, name), "rb") as src_file, \
                    open(os.path.join(out, "olebitmap", target + "-" + name), "wb") as dst:
                dst.write(src_file.read())


def tool(target, name, *command):
    """Runs an encoder whose last argument is the output file name."""
    try:
        subprocess.run([*command, path(target, name)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.CalledProcessError):
        pass


# Plug-in targets.
small = ["-size", "13x9", "gradient:yellow-blue"]
magick("spi_pnm", "a.ppm", *small, path("spi_pnm", "a.ppm"))
magick("spi_pnm", "a.pgm", *small, "-colorspace", "gray", path("spi_pnm", "a.pgm"))
magick("spi_pnm", "a.pbm", *small, "-monochrome", path("spi_pnm", "a.pbm"))
magick("spi_pnm", "a.pam", *small, "-alpha", "on", path("spi_pnm", "a.pam"))
magick("spi_tga", "a.tga", *small, path("spi_tga", "a.tga"))
magick("spi_tga", "rle.tga", *small, "-compress", "RLE", path("spi_tga", "rle.tga"))
magick("spi_tga", "alpha.tga", *small, "-alpha", "on", path("spi_tga", "alpha.tga"))
magick("spi_pcx", "a.pcx", *small, path("spi_pcx", "a.pcx"))
magick("spi_pcx", "p.pcx", *small, "-colors", "16", "-type", "palette", path("spi_pcx", "p.pcx"))
magick("spi_tiff", "a.tif", *small, "-compress", "LZW", path("spi_tiff", "a.tif"))
magick("spi_tiff", "g4.tif", *small, "-monochrome", "-compress", "Group4", path("spi_tiff", "g4.tif"))
magick("spi_tiff", "j.tif", *small, "-compress", "JPEG", path("spi_tiff", "j.tif"))
magick("spi_tiff", "c.tif", *small, "-colorspace", "CMYK", "-depth", "16", path("spi_tiff", "c.tif"))
png = path("png", "seed-source.png")
magick("png", "seed-source.png", *small, "-alpha", "on", png)
tool("spi_webp", "lossy.webp", "cwebp", "-quiet", png, "-o")
tool("spi_webp", "lossless.webp", "cwebp", "-quiet", "-lossless", png, "-o")
tool("spi_avif", "a.avif", "avifenc", "-s", "10", png)
tool("spi_heif", "a.heic", "heif-enc", png, "-o")
tool("spi_jxl", "a.jxl", "cjxl", "--quiet", png)
tool("spi_jxl", "lossless.jxl", "cjxl", "--quiet", "-d", "0", png)

# The orientation reader takes every kind of picture file.
for target in ("jpeg", "spi_tiff", "spi_webp", "spi_avif", "spi_heif", "spi_jxl"):
    d = os.path.join(out, target)
    if os.path.isdir(d):
        os.makedirs(os.path.join(out, "orientation"), exist_ok=True)
        for name in os.listdir(d):
            with open(os.path.join(d, name), "rb") as src_file, \
                    open(os.path.join(out, "orientation", target + "-" + name), "wb") as dst:
                dst.write(src_file.read())
