#!/usr/bin/python3
"""Tests of scripts/msix.py: the package's ZIP layout and block map read back independently
(Python's zipfile, a fresh inflate and SHA-256 of every block), the content types, the
publisher text from certificates, and signing and verifying with osslsigncode."""
import base64
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import msix  # noqa: E402

BM = "{http://schemas.microsoft.com/appx/2010/blockmap}"
CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"
MANIFEST = b'<?xml version="1.0" encoding="utf-8"?><Package/>\n'


def local_header_size(package, info):
    with open(package, "rb") as f:
        f.seek(info.header_offset)
        fixed = f.read(30)
    signature, name_length, extra_length = struct.unpack("<I22xHH", fixed)
    assert signature == 0x04034B50
    return 30 + name_length + extra_length


class PackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp()
        rng = random.Random(23)
        # Compressible text over three blocks and a partial fourth, random bytes that do not
        # compress (stored as a PNG would be), and an empty file.
        cls.payload = [
            ("Assets/Square150x150Logo.png", bytes(rng.getrandbits(8) for _ in range(70000))),
            ("notes.txt", b"".join(b"line %06d of the notes\n" % i for i in range(9000))),
            ("Assets/empty.png", b""),
        ]
        cls.package = os.path.join(cls.tmp, "t.msix")
        msix.pack(cls.package, MANIFEST, cls.payload, timestamp=1700000000)
        cls.zip = zipfile.ZipFile(cls.package)

    @classmethod
    def tearDownClass(cls):
        cls.zip.close()
        shutil.rmtree(cls.tmp)

    def test_zip_reads_back_every_file_in_the_platform_order(self):
        self.assertIsNone(self.zip.testzip())
        names = [i.filename for i in self.zip.infolist()]
        self.assertEqual(names, [n for n, _ in self.payload] +
                         ["AppxManifest.xml", "AppxBlockMap.xml", "[Content_Types].xml"])
        for name, data in self.payload:
            self.assertEqual(self.zip.read(name), data, name)
        self.assertEqual(self.zip.read("AppxManifest.xml"), MANIFEST)
        methods = {i.filename: i.compress_type for i in self.zip.infolist()}
        self.assertEqual(methods["Assets/Square150x150Logo.png"], zipfile.ZIP_STORED)
        self.assertEqual(methods["notes.txt"], zipfile.ZIP_DEFLATED)
        with open(self.package, "rb") as f:
            data = f.read()
        self.assertNotEqual(data.rfind(b"PK\x06\x06"), -1, "Zip64 end of central directory")
        self.assertNotEqual(data.rfind(b"PK\x06\x07"), -1, "Zip64 locator")

    def test_block_map_lists_each_payload_file_and_the_manifest_with_true_hashes(self):
        root = ET.fromstring(self.zip.read("AppxBlockMap.xml"))
        self.assertEqual(root.tag, BM + "BlockMap")
        self.assertEqual(root.get("HashMethod"), "http://www.w3.org/2001/04/xmlenc#sha256")
        files = root.findall(BM + "File")
        self.assertEqual([f.get("Name") for f in files],
                         [n.replace("/", "\\") for n, _ in self.payload] + ["AppxManifest.xml"])
        for element in files:
            name = element.get("Name").replace("\\", "/")
            info = self.zip.getinfo(name)
            data = self.zip.read(name)
            self.assertEqual(int(element.get("Size")), len(data), name)
            self.assertEqual(int(element.get("LfhSize")), local_header_size(self.package, info), name)
            blocks = element.findall(BM + "Block")
            self.assertEqual(len(blocks), (len(data) + 65535) // 65536, name)
            for index, block in enumerate(blocks):
                chunk = data[index * 65536:(index + 1) * 65536]
                self.assertEqual(base64.b64decode(block.get("Hash")), hashlib.sha256(chunk).digest(),
                                 "%s block %d" % (name, index))
            if info.compress_type == zipfile.ZIP_STORED:
                self.assertTrue(all(b.get("Size") is None for b in blocks), name)
                continue
            # Each compressed block inflates alone to its 64 KiB; the stream's end follows.
            with open(self.package, "rb") as f:
                f.seek(info.header_offset + local_header_size(self.package, info))
                stream = f.read(info.compress_size)
            sizes = [int(b.get("Size")) for b in blocks]
            self.assertEqual(sum(sizes) + 2, info.compress_size, name)
            start = 0
            for index, size in enumerate(sizes):
                inflated = zlib.decompressobj(-15).decompress(stream[start:start + size])
                self.assertEqual(inflated, data[index * 65536:(index + 1) * 65536], "%s block %d" % (name, index))
                start += size

    def test_content_types_cover_every_file_and_mark_the_block_map(self):
        root = ET.fromstring(self.zip.read("[Content_Types].xml"))
        defaults = {d.get("Extension"): d.get("ContentType") for d in root.findall(CT + "Default")}
        self.assertEqual(defaults, {"png": "image/png", "txt": "text/plain",
                                    "xml": "application/vnd.ms-appx.manifest+xml"})
        overrides = {o.get("PartName"): o.get("ContentType") for o in root.findall(CT + "Override")}
        self.assertEqual(overrides, {"/AppxBlockMap.xml": "application/vnd.ms-appx.blockmap+xml"})

    def test_names_the_packer_or_signer_owns_or_cannot_spell_are_refused(self):
        out = os.path.join(self.tmp, "bad.msix")
        for name in ("AppxManifest.xml", "appxblockmap.xml", "AppxSignature.p7x", "/abs.png",
                     "a\\b.png", "../up.png", "space name.png", "caf\u00e9.png", "x.unknown"):
            with self.assertRaises(msix.PackageError, msg=name):
                msix.pack(out, MANIFEST, [(name, b"x")])
        with self.assertRaises(msix.PackageError):
            msix.pack(out, MANIFEST, [("a.png", b"1"), ("A.PNG", b"2")])


class PublisherTest(unittest.TestCase):
    CN, O, L, S, C = "2.5.4.3", "2.5.4.10", "2.5.4.7", "2.5.4.8", "2.5.4.6"

    def test_last_rdn_first_with_windows_key_names(self):
        rdns = [[(self.C, "US")], [(self.S, "Washington")], [(self.L, "Redmond")],
                [(self.O, "Wrenfly")], [(self.CN, "Wrenfly Framewise")]]
        self.assertEqual(msix.publisher_from_rdns(rdns),
                         "CN=Wrenfly Framewise, O=Wrenfly, L=Redmond, S=Washington, C=US")
        self.assertEqual(msix.publisher_from_rdns([[("1.2.3.4", "x")], [("1.2.840.113549.1.9.1", "a@b.example")]]),
                         "E=a@b.example, OID.1.2.3.4=x")

    def test_values_are_quoted_as_windows_quotes_them(self):
        cases = {
            "Wrenfly, Inc.": '"Wrenfly, Inc."',
            'The "Best" Co': '"The ""Best"" Co"',
            " padded": '" padded"',
            "a+b": '"a+b"', "a=b": '"a=b"', "#1": '"#1"', "a;b": '"a;b"', "<x>": '"<x>"',
            "": '""',
            "O'Brien & Sons": "O'Brien & Sons",
        }
        for value, written in cases.items():
            self.assertEqual(msix.publisher_from_rdns([[(self.CN, value)]]), "CN=" + written, value)

    def test_a_multi_valued_rdn_is_refused(self):
        with self.assertRaises(msix.PackageError):
            msix.publisher_from_rdns([[(self.CN, "a"), (self.O, "b")]])

    @unittest.skipUnless(shutil.which("openssl"), "openssl not installed")
    def test_from_a_certificate_made_by_openssl(self):
        with tempfile.TemporaryDirectory() as tmp:
            cert = os.path.join(tmp, "c.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                            "-keyout", os.path.join(tmp, "k.pem"), "-out", cert,
                            "-subj", "/C=DE/ST=Hessen/O=Wrenfly\\, GmbH/CN=Wrenfly Framewise"],
                           check=True, capture_output=True)
            self.assertEqual(msix.publisher_from_certificate(cert),
                             'CN=Wrenfly Framewise, O="Wrenfly, GmbH", S=Hessen, C=DE')


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"), "osslsigncode or openssl missing")
class SignTest(unittest.TestCase):
    def test_osslsigncode_signs_and_verifies_the_package(self):
        with tempfile.TemporaryDirectory() as tmp:
            key, cert, pfx = (os.path.join(tmp, n) for n in ("k.pem", "c.pem", "c.pfx"))
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                            "-keyout", key, "-out", cert, "-subj", "/CN=Framewise Test",
                            "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
            subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx,
                            "-passout", "pass:x"], check=True, capture_output=True)
            unsigned, signed = os.path.join(tmp, "u.msix"), os.path.join(tmp, "s.msix")
            msix.pack(unsigned, MANIFEST, [("Assets/Logo.png", os.urandom(100000)),
                                           ("notes.txt", b"notes\n" * 30000)])
            subprocess.run(["osslsigncode", "sign", "-pkcs12", pfx, "-pass", "x", "-in", unsigned,
                            "-out", signed], check=True, capture_output=True)
            verify = subprocess.run(["osslsigncode", "verify", "-in", signed, "-CAfile", cert],
                                    capture_output=True, text=True)
            self.assertEqual(verify.returncode, 0, verify.stdout + verify.stderr)
            self.assertIn("Signature verification: ok", verify.stdout)
            with zipfile.ZipFile(signed) as z:
                self.assertIn("AppxSignature.p7x", z.namelist())
                self.assertIsNone(z.testzip())


if __name__ == "__main__":
    unittest.main()
