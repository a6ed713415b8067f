#!/usr/bin/python3
"""Builds the sparse package (.msix) on Linux, and names the publisher a certificate gives.

  msix.py publisher CERTIFICATE          prints the certificate subject as a package's
                                         Publisher must spell it
  msix.py pack OUT.msix MANIFEST [NAME=FILE]...
                                         writes a package of AppxManifest.xml (from MANIFEST)
                                         and each FILE under its package NAME (Assets/Logo.png)

The package is a ZIP laid out as the platform's own packer writes one: every entry with a
Zip64 data descriptor and Zip64 central-directory fields, payload files first, then
AppxManifest.xml, AppxBlockMap.xml and [Content_Types].xml. Deflated files are compressed
one 64 KiB block at a time with a full flush after each, so every block inflates on its
own and the block map can give its compressed size. Signing (osslsigncode) adds
AppxSignature.p7x later.
"""
import base64
import hashlib
import os
import struct
import sys
import time
import zlib
from xml.sax.saxutils import escape, quoteattr

BLOCK_SIZE = 64 * 1024
BLOCKMAP_NAMESPACE = "http://schemas.microsoft.com/appx/2010/blockmap"
SHA256_URI = "http://www.w3.org/2001/04/xmlenc#sha256"
CONTENT_TYPES_NAMESPACE = "http://schemas.openxmlformats.org/package/2006/content-types"
MANIFEST = "AppxManifest.xml"
BLOCKMAP = "AppxBlockMap.xml"
CONTENT_TYPES = "[Content_Types].xml"
# Names the packer writes itself or signing adds: never payload.
FOOTPRINT = {MANIFEST.lower(), BLOCKMAP.lower(), CONTENT_TYPES.lower(), "appxsignature.p7x",
             "appxmetadata/codeintegrity.cat"}

# Content types by extension, and whether the platform's packer deflates them (formats that
# are compressed already are stored).
CONTENT_TYPES_BY_EXTENSION = {
    "png": ("image/png", False),
    "jpg": ("image/jpeg", False),
    "jpeg": ("image/jpeg", False),
    "gif": ("image/gif", False),
    "bmp": ("image/bmp", True),
    "ico": ("image/vnd.microsoft.icon", True),
    "exe": ("application/x-msdownload", True),
    "dll": ("application/x-msdownload", True),
    "xml": ("application/vnd.ms-appx.manifest+xml", True),
    "txt": ("text/plain", True),
}
BLOCKMAP_TYPE = "application/vnd.ms-appx.blockmap+xml"

# X.500 key names in the form Windows writes a certificate's subject (CertNameToStr with
# CERT_X500_NAME_STR): stateOrProvinceName is "S", not "ST".
X500_KEYS = {
    "2.5.4.3": "CN", "2.5.4.7": "L", "2.5.4.10": "O", "2.5.4.11": "OU",
    "1.2.840.113549.1.9.1": "E", "2.5.4.6": "C", "2.5.4.8": "S", "2.5.4.9": "STREET",
    "2.5.4.12": "T", "2.5.4.42": "G", "2.5.4.43": "I", "2.5.4.4": "SN",
    "0.9.2342.19200300.100.1.25": "DC", "2.5.4.5": "SERIALNUMBER", "2.5.4.13": "Description",
    "2.5.4.17": "PostalCode", "2.5.4.18": "POBox", "2.5.4.20": "Phone",
    "2.5.4.24": "X21Address", "2.5.4.46": "dnQualifier",
}
NEEDS_QUOTES = set(',+="<>#;\n')


class PackageError(Exception):
    pass


def quote_rdn_value(value):
    """A value as CertNameToStr writes it: in double quotes (inner ones doubled) when it is
    empty, has spaces at either end or holds one of , + = " newline < > # ;"""
    if value == "" or value != value.strip() or any(c in NEEDS_QUOTES for c in value):
        return '"' + value.replace('"', '""') + '"'
    return value


def publisher_from_rdns(rdns):
    """The Publisher string from a subject's RDNs, given in certificate (DER) order as lists of
    (dotted OID, text) pairs: the last RDN first, ", " between them."""
    parts = []
    for rdn in reversed(rdns):
        if len(rdn) != 1:
            # "A + B" is how Windows writes such an RDN, and a package Publisher cannot hold it.
            raise PackageError("the subject has a multi-valued RDN, which a Publisher cannot name")
        oid, value = rdn[0]
        key = X500_KEYS.get(oid, "OID." + oid)
        parts.append(key + "=" + quote_rdn_value(value))
    if not parts:
        raise PackageError("the certificate has an empty subject")
    return ", ".join(parts)


def load_certificate(path):
    from cryptography import x509
    with open(path, "rb") as f:
        data = f.read()
    if b"-----BEGIN" in data:
        return x509.load_pem_x509_certificate(data)
    return x509.load_der_x509_certificate(data)


def publisher_from_certificate(path):
    subject = load_certificate(path).subject
    return publisher_from_rdns([[(a.oid.dotted_string, a.value) for a in rdn] for rdn in subject.rdns])


def content_type(name):
    extension = name.rsplit(".", 1)[-1].lower() if "." in name.rsplit("/", 1)[-1] else ""
    if extension not in CONTENT_TYPES_BY_EXTENSION:
        raise PackageError("no content type known for " + name)
    return extension, CONTENT_TYPES_BY_EXTENSION[extension]


def dos_time(timestamp):
    t = time.gmtime(max(timestamp, 315532800))  # the format starts in 1980
    return ((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2),
            ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday)


def compress_blocks(data):
    """Raw deflate of `data`, one stream, flushed fully after every 64 KiB block. Returns the
    stream and each block's compressed length (the stream's 2-byte end follows the last)."""
    compressor = zlib.compressobj(zlib.Z_DEFAULT_COMPRESSION, zlib.DEFLATED, -15)
    out, sizes = bytearray(), []
    for start in range(0, len(data), BLOCK_SIZE):
        chunk = compressor.compress(data[start:start + BLOCK_SIZE]) + compressor.flush(zlib.Z_FULL_FLUSH)
        sizes.append(len(chunk))
        out += chunk
    out += compressor.flush(zlib.Z_FINISH)
    return bytes(out), sizes


class Writer:
    def __init__(self, stream, timestamp):
        self.stream = stream
        self.entries = []
        self.offset = 0
        self.time, self.date = dos_time(timestamp)

    def add(self, name, data, deflate):
        """Writes one entry; returns (local header size, compressed block sizes or None)."""
        encoded = name.encode("ascii")
        header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 45, 0x0008, 8 if deflate else 0,
                             self.time, self.date, 0, 0, 0, len(encoded), 0) + encoded
        body, sizes = compress_blocks(data) if deflate else (data, None)
        crc = zlib.crc32(data) & 0xFFFFFFFF
        descriptor = struct.pack("<IIQQ", 0x08074B50, crc, len(body), len(data))
        self.entries.append((encoded, deflate, crc, len(body), len(data), self.offset))
        self.stream.write(header + body + descriptor)
        self.offset += len(header) + len(body) + len(descriptor)
        return len(header), sizes

    def close(self):
        start = self.offset
        directory = bytearray()
        for encoded, deflate, crc, packed, size, offset in self.entries:
            extra = struct.pack("<HHQQQ", 0x0001, 24, size, packed, offset)
            directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 45, 45, 0x0008,
                                     8 if deflate else 0, self.time, self.date, crc,
                                     0xFFFFFFFF, 0xFFFFFFFF, len(encoded), len(extra), 0, 0, 0, 0,
                                     0xFFFFFFFF) + encoded + extra
        count = len(self.entries)
        zip64_end = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count,
                                len(directory), start)
        locator = struct.pack("<IIQI", 0x07064B50, 0, start + len(directory), 1)
        end = struct.pack("<IHHHHIIH", 0x06054B50, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                          0xFFFFFFFF, 0xFFFFFFFF, 0)
        self.stream.write(bytes(directory) + zip64_end + locator + end)


def block_map(files):
    """AppxBlockMap.xml for [(name, data, local header size, compressed sizes or None)]."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<BlockMap xmlns=%s HashMethod=%s>' % (quoteattr(BLOCKMAP_NAMESPACE), quoteattr(SHA256_URI))]
    for name, data, lfh_size, sizes in files:
        # The block map names files with backslashes, as the manifest does.
        lines.append('<File Name=%s Size="%d" LfhSize="%d">' % (quoteattr(name.replace("/", "\\")),
                                                                 len(data), lfh_size))
        for index, start in enumerate(range(0, len(data), BLOCK_SIZE)):
            digest = base64.b64encode(hashlib.sha256(data[start:start + BLOCK_SIZE]).digest()).decode()
            size = ' Size="%d"' % sizes[index] if sizes is not None else ""
            lines.append('<Block Hash="%s"%s/>' % (digest, size))
        lines.append("</File>")
    lines.append("</BlockMap>")
    return ("\n".join(lines) + "\n").encode("utf-8")


def content_types(names):
    defaults = {}
    for name in names:
        extension, (kind, _) = content_type(name)
        defaults.setdefault(extension, kind)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<Types xmlns=%s>' % quoteattr(CONTENT_TYPES_NAMESPACE)]
    for extension, kind in defaults.items():
        lines.append('<Default Extension=%s ContentType=%s/>' % (quoteattr(extension), quoteattr(kind)))
    lines.append('<Override PartName="/%s" ContentType="%s"/>' % (escape(BLOCKMAP), BLOCKMAP_TYPE))
    lines.append("</Types>")
    return ("\n".join(lines) + "\n").encode("utf-8")


def check_name(name):
    if (not name or name.startswith("/") or "\\" in name or ".." in name.split("/")
            or any(not (c.isascii() and (c.isalnum() or c in "._-/")) for c in name)):
        # Part names are kept to what needs no percent-encoding in the ZIP.
        raise PackageError("unsupported package file name: %r" % name)
    if name.lower() in FOOTPRINT:
        raise PackageError("%s is written by the packer or the signer" % name)


def pack(output, manifest, payload, timestamp=None):
    """Writes the package: `manifest` (bytes) and `payload`, a list of (name, bytes)."""
    seen = set()
    for name, _ in payload:
        check_name(name)
        if name.lower() in seen:
            raise PackageError("%s is given twice" % name)
        seen.add(name.lower())
    if timestamp is None:
        timestamp = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    files = list(payload) + [(MANIFEST, manifest)]
    with open(output, "wb") as stream:
        writer = Writer(stream, timestamp)
        listed = []
        for name, data in files:
            deflate = content_type(name)[1][1]
            lfh_size, sizes = writer.add(name, data, deflate)
            listed.append((name, data, lfh_size, sizes))
        writer.add(BLOCKMAP, block_map(listed), True)
        writer.add(CONTENT_TYPES, content_types([name for name, _ in files]), True)
        writer.close()


def main(argv):
    if len(argv) == 3 and argv[1] == "publisher":
        print(publisher_from_certificate(argv[2]))
        return 0
    if len(argv) >= 4 and argv[1] == "pack":
        payload = []
        for item in argv[4:]:
            name, sep, path = item.partition("=")
            if not sep:
                raise PackageError("expected NAME=FILE, got " + item)
            with open(path, "rb") as f:
                payload.append((name, f.read()))
        with open(argv[3], "rb") as f:
            manifest = f.read()
        pack(argv[2], manifest, payload)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (PackageError, OSError, ValueError) as error:
        sys.stderr.write("msix.py: %s\n" % error)
        sys.exit(1)
