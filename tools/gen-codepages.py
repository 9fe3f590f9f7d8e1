#!/usr/bin/env python3
"""Writes the code-page mapping data of the charset converter:
  src/codec/SingleByteData.cpp  256-unit decode tables of the single-byte code pages
  src/codec/MultiByteData.cpp   the multi-byte tables in their stored form

The mappings come from the standard tables installed on this machine, for each code page the source
that carries the vendor's table: Python's codecs (generated from the Microsoft, Apple and ISO tables),
Perl's Encode (Apple's Mac tables, Microsoft's 936), glibc iconv (IBM EBCDIC pages, ISO 646 variants)
and ICU's uconv (IBM-Thai). Not needed by the build. Run from the repository root:
  tools/gen-codepages.py
"""
import base64
import bz2
import ctypes
import ctypes.util
import json
import os
import struct
import subprocess
import sys

# Single-byte code pages: code page -> (source, name in that source).
SINGLE_BYTE = {
    37: ("py", "cp037"), 437: ("py", "cp437"), 500: ("py", "cp500"), 708: ("glibc", "ASMO-708"),
    720: ("py", "cp720"), 737: ("py", "cp737"), 775: ("py", "cp775"), 850: ("py", "cp850"),
    852: ("py", "cp852"), 855: ("py", "cp855"), 857: ("py", "cp857"), 858: ("py", "cp858"),
    860: ("py", "cp860"), 861: ("py", "cp861"), 862: ("py", "cp862"), 863: ("py", "cp863"),
    864: ("py", "cp864"), 865: ("py", "cp865"), 866: ("py", "cp866"), 869: ("py", "cp869"),
    870: ("glibc", "IBM870"), 874: ("py", "cp874"), 875: ("py", "cp875"), 1026: ("py", "cp1026"),
    1047: ("glibc", "IBM1047"), 1140: ("py", "cp1140"),
    1250: ("py", "cp1250"), 1251: ("py", "cp1251"), 1252: ("py", "cp1252"), 1253: ("py", "cp1253"),
    1254: ("py", "cp1254"), 1255: ("py", "cp1255"), 1256: ("py", "cp1256"), 1257: ("py", "cp1257"),
    1258: ("py", "cp1258"),
    10000: ("py", "mac_roman"), 10004: ("py", "mac_arabic"), 10005: ("perl", "MacHebrew"),
    10006: ("py", "mac_greek"), 10007: ("py", "mac_cyrillic"), 10010: ("py", "mac_romanian"),
    10017: ("glibc", "MAC-UK"), 10021: ("perl", "MacThai"), 10029: ("py", "mac_latin2"),
    10079: ("py", "mac_iceland"), 10081: ("py", "mac_turkish"), 10082: ("py", "mac_croatian"),
    20105: ("glibc", "ISO_646.IRV:1991"), 20106: ("glibc", "DIN_66003"), 20107: ("glibc", "SEN_850200_B"),
    20108: ("glibc", "NS_4551-1"), 20127: ("py", "ascii"), 20261: ("glibc", "T.61-8BIT"),
    20269: ("glibc", "ISO_6937"), 20273: ("py", "cp273"), 20277: ("glibc", "IBM277"),
    20278: ("glibc", "IBM278"), 20280: ("glibc", "IBM280"), 20284: ("glibc", "IBM284"),
    20285: ("glibc", "IBM285"), 20290: ("glibc", "IBM290"), 20297: ("glibc", "IBM297"),
    20420: ("glibc", "IBM420"), 20423: ("glibc", "IBM423"), 20424: ("py", "cp424"),
    20838: ("icu", "ibm-838"), 20866: ("py", "koi8_r"), 20871: ("glibc", "IBM871"),
    20880: ("glibc", "IBM880"), 20905: ("glibc", "IBM905"), 20924: ("latin9-ebcdic", "IBM1047"),
    21025: ("glibc", "IBM1025"), 21866: ("py", "koi8_u"),
    28591: ("py", "latin_1"), 28592: ("py", "iso8859_2"), 28593: ("py", "iso8859_3"),
    28594: ("py", "iso8859_4"), 28595: ("py", "iso8859_5"), 28596: ("py", "iso8859_6"),
    28597: ("py", "iso8859_7"), 28598: ("py", "iso8859_8"), 28599: ("py", "iso8859_9"),
    28603: ("py", "iso8859_13"), 28605: ("py", "iso8859_15"), 38598: ("py", "iso8859_8"),
}
for _cp in range(1141, 1150):
    SINGLE_BYTE[_cp] = ("glibc", "IBM%d" % _cp)

# Multi-byte code pages: code page -> (source, name, three-byte lead bytes).
MULTI_BYTE = {
    932: ("py", "cp932", []), 936: ("perl", "cp936", []), 949: ("py", "cp949", []),
    950: ("py", "cp950", []), 1361: ("py", "johab", []), 10001: ("perl", "MacJapanese", []),
    51932: ("py", "euc_jp", [0x8F]), 51936: ("py", "gb2312", []), 51949: ("py", "euc_kr", []),
}

CONTAINER_MAGIC = 0xB394A7E1


# ---- sources ---------------------------------------------------------------------------------------

def one_unit(s):
    """The single BMP unit a decoded text consists of, or None."""
    if s is None or len(s) != 1 or ord(s) > 0xFFFF:
        return None
    return ord(s)


def py_decode(name, seq):
    try:
        return bytes(seq).decode(name)
    except UnicodeDecodeError:
        return None


def py_encode(name, ch):
    try:
        return ch.encode(name)
    except UnicodeEncodeError:
        return None


class Glibc:
    def __init__(self):
        libc = ctypes.CDLL(ctypes.util.find_library("c"))
        self.open = libc.iconv_open
        self.open.restype = ctypes.c_void_p
        self.open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        self.conv = libc.iconv
        self.conv.restype = ctypes.c_size_t
        self.conv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                              ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
        self.close = libc.iconv_close
        self.close.argtypes = [ctypes.c_void_p]

    def decode(self, name, seq):
        cd = self.open(b"UTF-16LE", name.encode())
        if cd in (None, ctypes.c_void_p(-1).value):
            raise SystemExit("iconv has no " + name)
        try:
            inb = ctypes.create_string_buffer(bytes(seq), len(seq))
            outb = ctypes.create_string_buffer(64)
            ip = ctypes.c_char_p(ctypes.addressof(inb))
            il = ctypes.c_size_t(len(seq))
            op = ctypes.c_char_p(ctypes.addressof(outb))
            ol = ctypes.c_size_t(64)
            r = self.conv(cd, ctypes.byref(ip), ctypes.byref(il), ctypes.byref(op), ctypes.byref(ol))
            if r == ctypes.c_size_t(-1).value or il.value != 0:
                return None
            return outb.raw[:64 - ol.value].decode("utf-16le")
        finally:
            self.close(cd)


def perl_table(name, multi, lead3):
    """Decode pairs and the encode map of a Perl Encode table, as JSON from one perl run."""
    script = r'''
use strict; use Encode; use JSON::PP;
my ($name, $multi) = @ARGV;
my (%dec, %enc);
sub dec1 { my $b = shift; my $s = eval { Encode::decode($name, $b, Encode::FB_CROAK) };
           return (defined $s && length($s) == 1 && ord($s) <= 0xFFFF) ? ord($s) : undef; }
for my $b1 (0..255) {
    my $u = dec1(chr($b1));
    if (defined $u) { $dec{$b1} = $u; next; }
    next unless $multi;
    for my $b2 (0..255) { my $v = dec1(chr($b1).chr($b2)); $dec{$b1 * 256 + $b2} = $v if defined $v; }
}
for my $u (0..0xFFFF) {
    next if $u >= 0xD800 && $u <= 0xDFFF;
    my $b = eval { Encode::encode($name, chr($u), Encode::FB_CROAK) };
    next unless defined $b && length($b) > 0;
    my $code = 0; $code = $code * 256 + ord($_) for split //, $b;
    $enc{$u} = $code;
}
print encode_json({dec => \%dec, enc => \%enc});
'''
    out = subprocess.run(["perl", "-e", script, name, "1" if multi else "0"], check=True,
                         capture_output=True).stdout
    data = json.loads(out)
    dec = {int(k): v for k, v in data["dec"].items()}
    enc = {int(k): v for k, v in data["enc"].items()}
    return dec, enc


def icu_decode(name, seq):
    r = subprocess.run(["uconv", "-f", name, "-t", "utf-16le", "--callback", "stop"], input=bytes(seq),
                       capture_output=True)
    if r.returncode != 0 or not r.stdout:
        return None
    return r.stdout.decode("utf-16le")


# ---- single-byte tables ----------------------------------------------------------------------------

def single_byte_table(cp, glibc):
    src, name = SINGLE_BYTE[cp]
    if src == "py":
        units = [one_unit(py_decode(name, [b])) for b in range(256)]
    elif src == "glibc":
        units = [one_unit(glibc.decode(name, [b])) for b in range(256)]
    elif src == "icu":
        units = [one_unit(icu_decode(name, [b])) for b in range(256)]
    elif src == "perl":
        dec, _ = perl_table(name, False, [])
        units = [dec.get(b) for b in range(256)]
        # Apple's tables give the ASCII bytes two directional readings, which Encode leaves out; the
        # Mac encodings are ASCII below 0x80.
        units = [b if (b < 0x80 and u is None) else u for b, u in enumerate(units)]
    elif src == "latin9-ebcdic":
        # IBM 924 is IBM 1047 with the Latin-1 characters that Latin-9 replaced swapped for the new ones.
        swap = {0xA4: 0x20AC, 0xA6: 0x0160, 0xA8: 0x0161, 0xB4: 0x017D, 0xB8: 0x017E, 0xBC: 0x0152,
                0xBD: 0x0153, 0xBE: 0x0178}
        base = [one_unit(glibc.decode(name, [b])) for b in range(256)]
        units = [swap.get(u, u) for u in base]
    else:
        raise ValueError(src)
    table = [u if u is not None else 0 for u in units]
    table[0] = 0
    return table


# ---- multi-byte tables -----------------------------------------------------------------------------

def multi_byte_maps(cp):
    """(decode {code: unit}, encode {unit: code}) of a multi-byte page."""
    src, name, lead3 = MULTI_BYTE[cp]
    if src == "perl":
        return perl_table(name, True, lead3)
    dec = {}
    for b1 in range(256):
        u = one_unit(py_decode(name, [b1]))
        if u is not None:
            dec[b1] = u
            continue
        for b2 in range(256):
            v = one_unit(py_decode(name, [b1, b2]))
            if v is not None:
                dec[b1 * 256 + b2] = v
        if b1 in lead3:
            for b2 in range(0xA1, 0xFF):
                for b3 in range(0xA1, 0xFF):
                    v = one_unit(py_decode(name, [b1, b2, b3]))
                    if v is not None:
                        dec[(b1 << 16) | (b2 << 8) | b3] = v
    enc = {}
    for u in range(0x10000):
        if 0xD800 <= u <= 0xDFFF:
            continue
        b = py_encode(name, chr(u))
        if b:
            enc[u] = int.from_bytes(b, "big")
    return dec, enc


def varint(v):
    out = bytearray()
    while True:
        b = v & 0x7F
        v >>= 7
        if v:
            out.append(b | 0x80)
        else:
            out.append(b)
            return bytes(out)


def zigzag(v):
    return (v << 1) if v >= 0 else ((-v << 1) - 1)


def table_bytes(dec, enc):
    # Only mappings that come back: one-way "best fit" encodings (U+00AA -> "a") would lose text silently.
    enc = {u: c for u, c in enc.items() if dec.get(c) == u}
    ascii_self = all(dec.get(b) == b for b in range(1, 0x80)) and all(enc.get(u) == u for u in range(1, 0x80))
    pairs = sorted((c, u) for c, u in dec.items() if c != 0 and not (ascii_self and c < 0x80))
    # The loader's encode map: the first (lowest) code of a unit; overrides where the vendor differs.
    inverse = {}
    for c, u in pairs:
        inverse.setdefault(u, c)
    if ascii_self:
        for u in range(0x80):
            inverse[u] = u
    inverse[0] = 0
    overrides = []
    for u in sorted(set(inverse) | set(enc)):
        if u == 0 or (ascii_self and u < 0x80):
            continue
        want = enc.get(u, 0)
        if inverse.get(u, 0) != want:
            overrides.append((u, want))
    out = bytearray(b"a" if ascii_self else b"-")
    out += b"d"
    out += varint(len(pairs))
    pc = pu = 0
    for c, u in pairs:
        out += varint(zigzag(c - pc)) + varint(zigzag(u - pu))
        pc, pu = c, u
    out += varint(len(overrides))
    pc = pu = 0
    for u, c in overrides:
        out += varint(zigzag(u - pu)) + varint(zigzag(c - pc))
        pc, pu = c, u
    return bytes(out), len(pairs), len(overrides)


def stored_form(raw):
    packed = bz2.compress(raw, compresslevel=3)
    container = struct.pack("<II", CONTAINER_MAGIC, len(raw)) + packed
    return "c" + base64.b64encode(container).decode("ascii")


# ---- output ----------------------------------------------------------------------------------------

HEADER = ("// Generated by tools/gen-codepages.py from the standard mappings; do not edit.\n"
          "// %s\n"
          "// clang-format off\n"
          "#include \"codec/CodePageData.h\"\n\nnamespace codepage_data {\n")


def write_single_byte(path, glibc):
    out = [HEADER % "Decode tables of the single-byte code pages: 256 UTF-16 units each, 0 = unmapped.",
           "const SingleBytePage kSingleBytePages[] = {\n"]
    for cp in sorted(SINGLE_BYTE):
        t = single_byte_table(cp, glibc)
        out.append("    {%d, {  // %s %s\n" % (cp, SINGLE_BYTE[cp][0], SINGLE_BYTE[cp][1]))
        for i in range(0, 256, 16):
            out.append("        " + ",".join("0x%04X" % v for v in t[i:i + 16]) + ",\n")
        out.append("    }},\n")
    out.append("};\nconst int kSingleBytePageCount = sizeof(kSingleBytePages) / sizeof(kSingleBytePages[0]);\n")
    out.append("} // namespace codepage_data\n")
    with open(path, "w") as f:
        f.write("".join(out))


def write_multi_byte(path):
    out = [HEADER % "The multi-byte tables in their stored form: \"c\", then Base64 of the bzip2 container.",
           "const MultiBytePage kMultiBytePages[] = {\n"]
    for cp in sorted(MULTI_BYTE):
        dec, enc = multi_byte_maps(cp)
        raw, npairs, nover = table_bytes(dec, enc)
        text = stored_form(raw)
        print("%5d: %d pairs, %d encode overrides, %d table bytes, %d stored" % (cp, npairs, nover, len(raw),
                                                                             len(text)), file=sys.stderr)
        out.append("    {%d,  // %s %s\n" % (cp, MULTI_BYTE[cp][0], MULTI_BYTE[cp][1]))
        for i in range(0, len(text), 100):
            out.append("     \"%s\"\n" % text[i:i + 100])
        out.append("    },\n")
    out.append("};\nconst int kMultiBytePageCount = sizeof(kMultiBytePages) / sizeof(kMultiBytePages[0]);\n")
    out.append("} // namespace codepage_data\n")
    with open(path, "w") as f:
        f.write("".join(out))


if __name__ == "__main__":
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    glibc = Glibc()
    write_single_byte(os.path.join(root, "src/codec/SingleByteData.cpp"), glibc)
    if "--single-only" not in sys.argv:
        write_multi_byte(os.path.join(root, "src/codec/MultiByteData.cpp"))
