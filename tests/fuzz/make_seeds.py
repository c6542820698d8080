#!/usr/bin/env python3
# Writes the seed corpus of every fuzz harness into corpus/<name>/: well-formed inputs of each
# reader, their damaged forms, and inputs like the ones that once crashed a reader. Run it again
# after changing a seed here; the files it writes are kept in the repository.
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def put(name, seed, data):
    folder = os.path.join(HERE, "corpus", name)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, seed), "wb") as f:
        f.write(data)


def u16(text):
    return text.encode("utf-16-le")


# ---- images ----

def info_header(size, w, h, bpp, compression=0, clr_used=0, masks=None):
    head = struct.pack("<IiiHHIIiiII", size, w, h, 1, bpp, compression, 0, 0, 0, clr_used, 0)
    if size >= 52 and masks:
        head += struct.pack("<III", *masks)
    return head.ljust(size, b"\0")


def bmp(dib_header, palette, bits):
    off = 14 + len(dib_header) + len(palette)
    return struct.pack("<HIHHI", 0x4D42, off + len(bits), 0, 0, off) + dib_header + palette + bits


def ico(image, w=1, h=1, bpp=32, cursor=False):
    head = struct.pack("<HHH", 0, 2 if cursor else 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 0, 0, 1, bpp, len(image), 22)
    return head + entry + image


masks = (0x00FF0000, 0x0000FF00, 0x000000FF)
pixel32 = b"\x10\x20\x30\x40"
images = {
    "bmp24": bmp(info_header(40, 2, 2, 24), b"", b"\xff\0\0\0\xff\0\0\0" + b"\0\0\xff\xff\xff\xff\0\0"),
    "bmp8": bmp(info_header(40, 3, 1, 8, clr_used=2), b"\0\0\0\0\0\xff\xff\0", b"\1\0\1\0"),
    "bmp1_topdown": bmp(info_header(40, 8, -2, 1), b"\0\0\0\0\xff\xff\xff\0", b"\xaa\0\0\0\x55\0\0\0"),
    "bmp_core8": bmp(struct.pack("<IHHHH", 12, 1, 1, 1, 8), b"\x40\x40\x40" * 256, b"\0\0\0\0"),
    "bmp_core24": bmp(struct.pack("<IHHHH", 12, 1, 1, 1, 24), b"", b"\x10\x20\x30\0"),
    "bmp_info_bitfields": bmp(info_header(40, 1, 1, 32, 3) + struct.pack("<III", *masks), b"", pixel32),
    "bmp_v2_bitfields": bmp(info_header(52, 1, 1, 32, 3, masks=masks), b"", pixel32),
    "bmp_v3": bmp(info_header(56, 1, 1, 32, 3, masks=masks), b"", pixel32),
    "bmp_v4": bmp(info_header(108, 1, 1, 32, 3, masks=masks), b"", pixel32),
    "bmp_v5": bmp(info_header(124, 1, 1, 16, 3, masks=(0xF800, 0x07E0, 0x001F)), b"", b"\x1f\xf8\0\0"),
    # The masks of a header of 41 to 51 bytes lie partly past it: once read past the image's end.
    "crash_bitfields_header44": bmp(info_header(44, 1, 1, 32, 3), b"", b""),
    "crash_bitfields_header51": info_header(51, 1, 1, 16, 3),
    "crash_ico_header44": ico(info_header(44, 1, 2, 32, 3)),
    "bmp_clrused_huge": bmp(info_header(40, 1, 1, 8, clr_used=0xFFFFFFFF), b"", b"\0\0\0\0"),
    "bmp_offbits_past_end": struct.pack("<HIHHI", 0x4D42, 0, 0, 0, 0x7FFFFFF0) + info_header(40, 1, 1, 24),
    "bmp_huge": bmp(info_header(40, 0x7FFFFFFF, 0x7FFFFFFF, 24), b"", b"\0" * 16),
    "ico32": ico(info_header(40, 1, 2, 32) + pixel32 + b"\0\0\0\0"),
    "ico_two": struct.pack("<HHH", 0, 1, 2) + struct.pack("<BBBBHHII", 1, 1, 0, 0, 1, 32, 48, 38) +
               struct.pack("<BBBBHHII", 2, 2, 0, 0, 1, 32, 0xFFFF, 0xFFFFFF00) +
               info_header(40, 1, 2, 32) + pixel32 + b"\0\0\0\0",
    "cur": ico(info_header(40, 1, 2, 32) + pixel32 + b"\0\0\0\0", cursor=True),
    "dib_only": info_header(40, 1, 1, 24) + b"\1\2\3\0",
}
for k, v in images.items():
    put("image", k, v)

# ---- resource sections and version blocks ----

def section(resources):
    out = bytearray(b"KIPORSRC" + struct.pack("<II", 1, len(resources)))
    entries_at = len(out)
    out += b"\0" * (24 * len(resources))

    def id_field(i):
        if isinstance(i, int):
            return i
        at = len(out)
        out.extend(struct.pack("<H", len(i)) + u16(i))
        return at | 0x80000000

    for n, (t, name, lang, data) in enumerate(resources):
        e = entries_at + n * 24
        struct.pack_into("<IIH", out, e, id_field(t), id_field(name), lang)
    for n, (t, name, lang, data) in enumerate(resources):
        while len(out) % 8:
            out.append(0)
        e = entries_at + n * 24
        struct.pack_into("<II", out, e + 12, len(out), len(data))
        out += data
    while len(out) % 8:
        out.append(0)
    return bytes(out)


def node(key, value, children=b"", text=False):
    body = u16(key) + b"\0\0"
    head = 6 + len(body)
    pad = (4 - head % 4) % 4
    v = (u16(value) + b"\0\0") if text else value
    vlen = len(value) + 1 if text else len(value)
    after = head + pad + len(v)
    pad2 = (4 - after % 4) % 4 if children else 0
    total = after + pad2 + len(children)
    return struct.pack("<HHH", total, vlen, 1 if text else 0) + body + b"\0" * pad + v + b"\0" * pad2 + children


def pad4(b):
    return b + b"\0" * ((4 - len(b) % 4) % 4)


fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x10002, 0x30004, 0x10002, 0x30004, 0x3F, 0, 0x40004, 1, 0, 0, 0)
strings = pad4(node("FileVersion", "1.2.3.4", text=True)) + node("ProductName", "Kipo", text=True)
sfi = node("StringFileInfo", b"", node("040904B0", b"", strings))
vfi = node("VarFileInfo", b"", node("Translation", struct.pack("<HH", 0x409, 1200)))
version = node("VS_VERSION_INFO", fixed, pad4(sfi) + vfi)

string_block = b"".join(struct.pack("<H", len(t)) + u16(t) for t in ["", "Hello", "World"] + [""] * 13)
icon_image = info_header(40, 16, 32, 32) + b"\x20\x40\x60\xff" * 256 + b"\0" * 64
group = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHIH", 16, 16, 0, 0, 1, 32, len(icon_image), 1)

put("resource", "section_all", b"\0" + section([
    (16, 1, 0x0409, version),
    (6, 1, 0x0409, string_block),
    (3, 1, 0, icon_image),
    (14, 1, 0, group),
    (2, 2, 0, info_header(40, 1, 1, 24) + b"\1\2\3\0"),
]))
# An icon group named by a text that starts with "#" but is no number: once ended the process.
put("resource", "crash_group_named_hash_text", b"\0" + section([(3, 1, 0, icon_image), (14, "#ABC", 0, group)]))
put("resource", "section_group_named_hash_number", b"\0" + section([(3, 1, 0, icon_image), (14, "#1", 0, group)]))
put("resource", "section_count_too_large", b"\0" + b"KIPORSRC" + struct.pack("<II", 1, 0xFFFFFFF))
put("resource", "section_name_offset_past_end", b"\0" + b"KIPORSRC" + struct.pack("<II", 1, 1) +
    struct.pack("<IIHHII", 0x80FFFFF0, 1, 0, 0, 40, 0) + b"\0" * 4)
put("resource", "version_block", b"\1" + version)
put("resource", "version_block_cut", b"\1" + version[:60])
put("resource", "version_child_too_long", b"\1" + struct.pack("<HHH", 200, 0, 0) + version[6:100])
put("resource", "string_block", b"\2" + string_block)
put("resource", "string_block_cut", b"\2" + struct.pack("<H", 500) + u16("short"))
put("resource", "icon_image", b"\3" + icon_image)
put("resource", "icon_image_header44", b"\3" + info_header(44, 16, 32, 32, 3))

# ---- key dump ----

def dstr(text):
    return struct.pack("<I", len(u16(text))) + u16(text)


def key(path, values=b"", children=b""):
    return u16("{") + dstr(path) + values + children + u16("}")


def value(name, vtype, data):
    return u16("[") + dstr(name) + struct.pack("<II", len(data), vtype) + data + u16("]")


prefs = "HKEY_CURRENT_USER\\Software\\Brackwater\\Kipo\\Prefs"
dump = struct.pack("<I", 100) + key(prefs, value("prefsVersion", 4, struct.pack("<I", 100)) +
                                    value("name", 1, u16("Robin\0")),
                                    key(prefs + "\\System Profiles", value("", 1, b"")))
put("key_dump", "dump", dump)
put("key_dump", "dump_cut_on_record", dump[:-2])
put("key_dump", "dump_cut_in_value", dump[:40])
put("key_dump", "dump_outside_prefs", struct.pack("<I", 100) + key("HKEY_CURRENT_USER\\Software\\Run", value("x", 1, u16("y"))))
put("key_dump", "dump_size_too_large", struct.pack("<I", 100) + u16("{") + struct.pack("<I", 0xFFFFFFFE))
put("key_dump", "dump_odd_string", struct.pack("<I", 100) + u16("{") + struct.pack("<I", 3) + b"abc")
put("key_dump", "dump_nested_deep", struct.pack("<I", 100) + (u16("{") + dstr(prefs + "\\a")) * 600)
put("key_dump", "dump_version_101", struct.pack("<I", 101) + dump[4:])
put("key_dump", "dump_nul_in_key", struct.pack("<I", 100) + key(prefs + "\\a\0b"))

# ---- the legacy profile file ----

def wide(text):
    return b"\xff\xfe\xff" + bytes([len(text)]) + u16(text)


def narrow(text):
    return bytes([len(text)]) + text.encode("latin-1")


put("profiles", "v100_two", struct.pack("<II", 100, 2) + struct.pack("<I", 0xCAFE) + wide("ALPHA") +
    struct.pack("<I", 0) + b"\1" + wide("My PC") + struct.pack("<I", 0x12345678) + narrow("OFFICE") +
    struct.pack("<I", 2) + b"\0" + narrow("Work"))
put("profiles", "v99", struct.pack("<II", 99, 1) + struct.pack("<I", 1) + wide("ALPHA") + b"\0" + wide("Old PC"))
put("profiles", "count_huge", struct.pack("<II", 100, 0xFFFFFFFF))
put("profiles", "string_long_count", struct.pack("<II", 100, 1) + struct.pack("<I", 1) + b"\xff\xfe\xff\xff\xff\xff" +
    struct.pack("<I", 0x7FFFFFFF))
put("profiles", "string_ff_64bit", struct.pack("<II", 100, 1) + struct.pack("<I", 1) + b"\xff\xff\xff\xff\xff\xff\xff" +
    struct.pack("<I", 0xFFFFFFFF))
put("profiles", "version_only", struct.pack("<I", 100))

# ---- the customization file ----

sample = open(os.path.join(HERE, "seed_customization.xml"), "rb").read()
put("customization", "sample", sample)
put("customization", "images_with_dots", sample.replace(b'LogoFile="logo.bmp"', b'LogoFile="..\\..\\..\\x.bmp"'))
put("customization", "cut", sample[: len(sample) // 2])
put("customization", "utf16", b"\xff\xfe" + sample.decode("utf-8").replace('"UTF-8"', '"UTF-16"').encode("utf-16-le"))
put("customization", "entities", b'<?xml version="1.0"?><!DOCTYPE a [<!ENTITY e "xxxxxxxxxx">]><Kipo>&e;&e;</Kipo>')
put("customization", "empty_root", b"<Kipo/>")

# ---- device information text ----

def block(i, tags):
    return "<otidevice%d>%s</otidevice%d>" % (i, tags, i)


put("device_info", "two_blocks", (block(0, "<otivid>0EA0</otivid><otipid>2469</otipid><otisn>AAA</otisn>"
                                         "<otiallcapa>1000</otiallcapa><otisecurity>0</otisecurity><otidrive>E</otidrive>")
                                  + block(2, "<otisn>CCC</otisn><otipwhint>cwBlAGMAcgBlAHQA</otipwhint>")).encode())
put("device_info", "unclosed", b"<otidevice0><otisn>AAA")
put("device_info", "nested", block(1, block(1, "<otisn><otisn>x</otisn></otisn>")).encode())
put("device_info", "last_block", block(1023, "<otiallcapa>99999999999999999999</otiallcapa>").encode())
put("device_info", "bad_hint", block(0, "<otipwhint>not*base64=</otipwhint>").encode())

# ---- registry export files ----

reg = ("Windows Registry Editor Version 5.00\r\n\r\n"
       "[HKEY_CURRENT_USER\\Software\\Fuzz]\r\n"
       "@=\"default\"\r\n\"text\"=\"a \\\"quoted\\\" \\\\ value\"\r\n\"n\"=dword:0000002a\r\n"
       "\"bin\"=hex:01,02,03\r\n\"multi\"=hex(7):61,00,00,00,00,00\r\n\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
       "\"long\"=hex:01,02,\\\r\n  03,04\r\n\r\n"
       "[-HKEY_CURRENT_USER\\Software\\Fuzz\\Gone]\r\n\r\n"
       "[HKEY_CURRENT_USER\\Software\\Fuzz\\Sub]\r\n\"x\"=-\r\n")
put("reg_file", "utf16", b"\xff\xfe" + u16(reg))
put("reg_file", "ansi", ("REGEDIT4\r\n\r\n" + reg.split("\r\n", 2)[2]).encode("latin-1"))
put("reg_file", "bad_hex", b"\xff\xfe" + u16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Fuzz]\r\n\"b\"=hex:zz\r\n"))
put("reg_file", "dword_overflow", b"\xff\xfe" + u16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Fuzz]\r\n\"d\"=dword:1ffffffff\r\n"))
put("reg_file", "unclosed_section", b"\xff\xfe" + u16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\r\n"))
put("reg_file", "odd_utf16", b"\xff\xfe" + u16("Windows Registry Editor Version 5.00\r\n")[:-1])

# ---- shortcut files ----

def lnk(fields, show=1, icon=0, hotkey=0, version=1, flags=0):
    out = b"KIPOLNK\x1a" + struct.pack("<HHiiHH", version, flags, show, icon, hotkey, 0)
    for f in fields:
        out += struct.pack("<I", len(f)) + u16(f)
    return out


put("shortcut", "program", lnk(["C:\\WINDOWS\\notepad.exe", "/a", "C:\\", "Notes", "C:\\WINDOWS\\notepad.exe"]))
put("shortcut", "folder", lnk(["C:\\WINDOWS", "", "", "", ""]))
put("shortcut", "unc", lnk(["\\\\server\\share\\file.txt", "", "", "", ""]))
put("shortcut", "count_too_large", b"KIPOLNK\x1a" + struct.pack("<HHiiHH", 1, 0, 1, 0, 0, 0) + struct.pack("<I", 0x7FFF))
put("shortcut", "count_huge", b"KIPOLNK\x1a" + struct.pack("<HHiiHH", 1, 0, 1, 0, 0, 0) + struct.pack("<I", 0xFFFFFFFF))
put("shortcut", "cut", lnk(["C:\\x.txt", "", "", "", ""])[:-3])
put("shortcut", "long_target", lnk(["C:\\" + "a" * 400, "", "", "", ""]))

# ---- Base64 ----

for name, text in {"plain": b"aGVsbG8gd29ybGQ=", "padding_inside": b"aGV=sbG8=", "bad_chars": b"a*b?c",
                   "short": b"a", "field_plain": b"cwBlAGMAcgBlAHQA", "long": b"QUFB" * 200,
                   "utf16_text": u16("aGVsbG8=")}.items():
    put("base64", name, text)

# ---- folder archives (.tar) ----

def tar(entries, count=None):
    header_size = 4 + 528 * len(entries)
    out = struct.pack("<I", len(entries) if count is None else count)
    offset, data = header_size, b""
    for path, content in entries:
        out += struct.pack("<QQ", offset, len(content)) + u16(path)[:510].ljust(512, b"\0")
        offset += len(content)
        data += content
    return out + data


put("file_tar", "empty", tar([]))
put("file_tar", "two_files", tar([("C:\\Cookies\\a.txt", b"alpha"), ("C:\\Cookies\\sub\\b.txt", b"bravo" * 2000)]))
put("file_tar", "same_name", tar([("C:\\x\\n.txt", b"1"), ("C:\\y\\n.txt", b"2")]))
put("file_tar", "bad_names", tar([("C:\\x\\..", b"1"), ("C:\\x\\a:b", b"2"), ("", b"3"), ("..\\..\\up.txt", b"4")]))
put("file_tar", "count_past_end", tar([("C:\\a.txt", b"a")], count=40))
put("file_tar", "count_huge", tar([("C:\\a.txt", b"a")], count=0xFFFFFFFF))
put("file_tar", "cut", tar([("C:\\a.txt", b"abcdef")])[:-2])
put("file_tar", "unterminated", struct.pack("<IQQ", 1, 532, 1) + b"n\0" * 256 + b"z")
put("file_tar", "wrapping_size", struct.pack("<IQQ", 1, 532, 0xFFFFFFFFFFFFFFF0) + u16("C:\\a.txt").ljust(512, b"\0") + b"z")

# The typed-address list: UTF-16LE strings, each followed by a 16-bit zero.
put("typed_urls", "empty", b"")
put("typed_urls", "two", u16("http://www.example.org/a") + b"\0\0" + u16("https://shop.example.net:8443/cart?x=1") + b"\0\0")
put("typed_urls", "unterminated", u16("http://a/") + b"\0\0" + u16("http://cut"))
put("typed_urls", "odd_length", u16("http://a/") + b"\0\0" + b"h")
put("typed_urls", "empty_strings", b"\0\0" * 8)
put("typed_urls", "many", (u16("http://x/") + b"\0\0") * 1200)
put("typed_urls", "surrogates", "http://\U0001F600/\u00e9".encode("utf-16-le") + b"\0\0" + b"\x00\xd8\0\0")

# ---- snapshots (.snap) ----

def cstr(text, narrow=False):
    # The class library's archive string: 8-bit with a byte length, or the Unicode marker first.
    if narrow:
        raw = text.encode("latin-1")
        prefix = b""
    else:
        raw = u16(text)
        prefix = b"\xff\xfe\xff"
    n = len(text)
    if n < 0xFF:
        return prefix + bytes([n]) + raw
    if n < 0xFFFE:
        return prefix + b"\xff" + struct.pack("<H", n) + raw
    return prefix + b"\xff\xff\xff" + struct.pack("<I", n) + raw


def snap(records, version=101, count=None, narrow=False):
    out = struct.pack("<II", version, len(records) if count is None else count)
    for host, rel, time, state, link, hidden in records:
        out += cstr(host, narrow) + cstr(rel, narrow) + struct.pack("<II", time, state) + cstr(link, narrow)
        if version > 100:
            out += struct.pack("<I", hidden)
    return out


two = [("C:\\Data\\a.txt", "a.txt", 1300000000, 0, "", 0),
       ("C:\\Data\\Sub\\Long name " + "x" * 300 + ".doc", "Sub\\b.doc", 1300000002, 1, "", 1)]
put("sync_snapshot", "empty", snap([]))
put("sync_snapshot", "two_records", snap(two))
put("sync_snapshot", "version_100", snap(two, version=100))
put("sync_snapshot", "version_102", snap(two, version=102))
put("sync_snapshot", "narrow_strings", snap(two, narrow=True))
put("sync_snapshot", "same_host_path", snap([two[0], two[0]]))
put("sync_snapshot", "shortcut", snap([("C:\\Data\\l.lnk", "l.lnk", 1, 0, "C:\\t.txt", 0)]))
put("sync_snapshot", "count_past_end", snap(two, count=3))
put("sync_snapshot", "count_huge", snap(two, count=0xFFFFFFFF))
put("sync_snapshot", "cut", snap(two)[:-5])
put("sync_snapshot", "string_past_end", struct.pack("<II", 101, 1) + b"\xff\xfe\xff\xff\xff\xff\xff\xff\xff\x7f")
put("sync_snapshot", "header_only", struct.pack("<I", 101))
# ---- the file snap-in's preference records ----

files = prefs + "\\Synchronized Computers\\ALPHA\\Files"


def file_record(i, path, types=380, extra=b""):
    return key(files + "\\FileSyncPref%d" % i,
               value("filePath", 1, u16(path + "\0")) + value("fileTypes", 3, struct.pack("<Q", types)) +
               value("includeFileTypes", 1, u16("true\0")) + value("recursive", 1, u16("false\0")) +
               value("synchronize", 1, u16("true\0")) + value("includeRecentFiles", 1, u16("true\0")) +
               value("daysOld", 4, struct.pack("<I", 30)) + extra)


def file_prefs(count_value, records):
    return struct.pack("<I", 100) + key(prefs, b"", key(files, value("synchronize", 1, u16("true\0")) + count_value,
                                                        b"".join(records)))


two = [file_record(0, "Desktop", 695), file_record(1, "Favorites", 932)]
put("file_prefs", "two_records", file_prefs(value("numFileSyncPrefs", 4, struct.pack("<I", 2)), two))
put("file_prefs", "count_huge", file_prefs(value("numFileSyncPrefs", 4, struct.pack("<I", 0xFFFFFFFF)), two))
put("file_prefs", "count_as_text", file_prefs(value("numFileSyncPrefs", 1, u16("2\0")), two))
put("file_prefs", "no_count", file_prefs(b"", two))
put("file_prefs", "types_short", file_prefs(value("numFileSyncPrefs", 4, struct.pack("<I", 1)),
                                            [key(files + "\\FileSyncPref0", value("fileTypes", 3, b"\x8e\x01"))]))
put("file_prefs", "types_unknown", file_prefs(value("numFileSyncPrefs", 4, struct.pack("<I", 1)),
                                              [file_record(0, "C:\\Data", 0xFFFFFFFFFFFFFFFF)]))
put("file_prefs", "path_as_number", file_prefs(value("numFileSyncPrefs", 4, struct.pack("<I", 1)),
                                               [key(files + "\\FileSyncPref0", value("filePath", 4, b"\1\0\0\0"))]))
# ---- Outlook snapshot files ----

def ustr(text):
    data = u16(text)
    return b"\xff\xfe\xff" + bytes([len(text)]) + data


def snap_folder(name, fid, parent="", counterpart=""):
    return b"".join(ustr(s) for s in [name, "AB01", "5C", "5D", "CC", fid, "", parent, "", counterpart, ""])


def snap_map(folders, version=100, count=None):
    return struct.pack("<II", version, len(folders) if count is None else count) + b"".join(
        snap_folder(n, i) for n, i in folders)


def snap_bytes(b):
    return struct.pack("<I", len(b)) + b


def snap_entry(eid, tid, state=0, parent=True):
    head = struct.pack("<I", state) + ustr("Inbox") + ustr("Hello") + struct.pack("<II", 0x01D00000, 0x12345678)
    keys = b"".join(snap_bytes(b) for b in [eid, b"sk", b"src", b"chg"])
    return head + (snap_folder("Inbox", "F1") if parent else b"") + keys + snap_bytes(tid) + snap_folder("Inbox", "T1")


snap_maps = snap_map([("Inbox", "T1")]) + snap_map([("Drafts", "E0"), ("Inbox", "F1")])
snap_root = struct.pack("<I", 103) + snap_folder("Top", "R0")
snap_two = snap_root + snap_maps + struct.pack("<I", 2) + snap_entry(b"Z" * 16, b"t1") + snap_entry(b"A" * 17, b"t2") + \
    struct.pack("<I", 16)
put("outlook_snapshot", "two_entries", snap_two)
put("outlook_snapshot", "empty_version_101", struct.pack("<I", 101))
put("outlook_snapshot", "version_102", struct.pack("<I", 102) + snap_maps + struct.pack("<I", 1) +
    snap_entry(b"id-1", b"t1") + struct.pack("<I", 16))
put("outlook_snapshot", "no_root_record", struct.pack("<I", 103) + snap_maps + struct.pack("<I", 0) +
    struct.pack("<I", 16))
put("outlook_snapshot", "no_parent_record", snap_root + snap_maps + struct.pack("<I", 1) +
    snap_entry(b"id-1", b"t1", parent=False) + struct.pack("<I", 16))
put("outlook_snapshot", "states_kept", snap_root + snap_maps + struct.pack("<I", 2) +
    snap_entry(b"id-1", b"t1", state=12) + snap_entry(b"id-2", b"t1", state=3) + struct.pack("<I", 16))
put("outlook_snapshot", "count_beyond_entries", snap_root + snap_maps + struct.pack("<I", 50) +
    snap_entry(b"id-1", b"t1") + struct.pack("<I", 16))
put("outlook_snapshot", "cut", snap_two[:-9])
put("outlook_snapshot", "folder_count_huge", snap_root + snap_map([], count=0xFFFFFFFF))
put("outlook_snapshot", "bytes_count_huge", snap_root + snap_maps + struct.pack("<I", 1) + struct.pack("<I", 0) +
    ustr("") + ustr("") + struct.pack("<II", 0, 0) + snap_folder("", "") + struct.pack("<I", 0xFFFFFFF0))
put("outlook_snapshot", "newer_version", struct.pack("<I", 104) + snap_maps)
put("outlook_snapshot", "newer_map_version", snap_root + snap_map([], version=101) + snap_maps)
put("outlook_snapshot", "string_length_huge", snap_root + struct.pack("<II", 100, 1) +
    b"\xff\xfe\xff\xff\xff\xff\xff\xff\xff\xff\x7f")


# ---- account stores ----

def acct(name, vtype, data):
    return struct.pack("<BBH", name, vtype, len(data)) + data


# Names: account values by table row (the Outlook 2000 table first: 0 "Account Name", 9 "POP3
# Server"; the Outlook 2002/2003 table from 27), then the store roots' values from 65 on.
SZ, BIN, DW = 0, 1, 2
V10 = 27  # first row of the Outlook 2002/2003 table
root_list, root_next, root_counter, root_default, root_sicily, root_prompt = range(65, 71)
put("account_store", "pop3_v9", acct(0, SZ, u16("Home\0")) + acct(9, SZ, u16("pop.example\0")) +
    acct(root_sicily, DW, struct.pack("<I", 3)) + acct(root_default, SZ, u16("00000001\0")))
put("account_store", "pop3_v10", acct(V10 + 2, SZ, u16("{ED475411-B0D6-11D2-8C3B-00104B2A6676}\0")) +
    acct(V10 + 0, BIN, u16("Home\0")) + acct(root_list, BIN, struct.pack("<III", 1, 5, 7)) +
    acct(root_next, DW, struct.pack("<I", 9)))
put("account_store", "list_odd_size", acct(root_list, BIN, b"\1\0\0\0\2\0"))
put("account_store", "list_empty", acct(root_list, BIN, b""))
put("account_store", "counter_wrong_type", acct(root_counter, BIN, b"\xff\xff\xff\xff\xff") +
    acct(root_next, SZ, u16("9\0")))
put("account_store", "counter_at_end", acct(root_counter, DW, struct.pack("<I", 0xFFFFFFFF)) +
    acct(root_next, DW, struct.pack("<I", 0xFFFFFFFF)))
put("account_store", "text_without_nul", acct(V10 + 0, BIN, b"H\0o\0m") + acct(0, SZ, b"Ho"))
put("account_store", "number_as_text", acct(V10 + 6, SZ, u16("1\0")) + acct(6, BIN, b"\1"))
put("account_store", "password_as_dword", acct(9 - 1, DW, struct.pack("<I", 1)) + acct(V10 + 9, DW, b"\0\0\0\0"))
put("account_store", "cut_record", acct(0, SZ, u16("Home\0"))[:-3] + b"\x07\x01\xff\xff")
# ---- update server's version file ----
# First byte even: the rest is the body of a plain 200 reply; odd: the rest is the whole reply.

def body(b):
    return b"\0" + b


def raw(b):
    return b"\1" + b


put("update_reply", "version", body(b"2 1 0 117\r\n"))
put("update_reply", "version_tabs", body(b"3\t0\t0\t1"))
put("update_reply", "all_zero", body(b"0 0 0 0"))
put("update_reply", "three_numbers", body(b"2 1 0"))
put("update_reply", "number_too_large", body(b"2 65536 0 1"))
put("update_reply", "numbers_run_together", body(b"2 1 0117"[:5] + b"x0 1"))
put("update_reply", "html_error_page", body(b"<html><body>Not here</body></html>"))
put("update_reply", "long_digits", body(b"1" * 5000))
put("update_reply", "not_found", raw(b"HTTP/1.1 404 Not Found\r\nContent-Length: 7\r\n\r\n1 2 3 4"))
put("update_reply", "chunked", raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n1 2 \r\n3\r\n3 4\r\n0\r\n\r\n"))
put("update_reply", "cut_short", raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n1 2 3 4"))
put("update_reply", "redirect", raw(b"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\nContent-Length: 0\r\n\r\n"))

# ---- MAPI store rows ----
# Records of [object][tag][length][value]; objects: 0 store, 1 root, 2 Inbox, 3 message,
# 4 attachment, 5 recipient.

def row(obj, ptype, pid, value):
    return struct.pack("<BIH", obj, (pid << 16) | ptype, len(value)) + value


def mv(values):
    return struct.pack("<I", len(values)) + b"".join(struct.pack("<I", len(v)) + v for v in values)


PT_I2, PT_LONG, PT_R4, PT_DOUBLE, PT_CURRENCY, PT_APPTIME, PT_ERROR, PT_BOOLEAN = 2, 3, 4, 5, 6, 7, 10, 11
PT_I8, PT_STRING8, PT_UNICODE, PT_SYSTIME, PT_CLSID, PT_BINARY = 20, 30, 31, 64, 72, 258
PT_MV_LONG, PT_MV_STRING8, PT_MV_BINARY = 0x1003, 0x101E, 0x1102

put("mapi_store", "every_type", b"".join([
    row(3, PT_I2, 0x0017, struct.pack("<h", 1)),
    row(3, PT_LONG, 0x0E07, struct.pack("<I", 9)),
    row(3, PT_R4, 0x6601, struct.pack("<f", 1.5)),
    row(3, PT_DOUBLE, 0x6602, struct.pack("<d", 2.25)),
    row(3, PT_CURRENCY, 0x6603, struct.pack("<q", 10000)),
    row(3, PT_APPTIME, 0x6604, struct.pack("<d", 39000.5)),
    row(3, PT_ERROR, 0x6605, struct.pack("<I", 0x8004010F)),
    row(3, PT_BOOLEAN, 0x0E1B, struct.pack("<H", 1)),
    row(3, PT_I8, 0x6606, struct.pack("<q", -2)),
    row(3, PT_STRING8, 0x0037, b"Budget\0"),
    row(3, PT_UNICODE, 0x0C1A, "Zoë".encode("utf-16-le") + b"\0\0"),
    row(3, PT_SYSTIME, 0x0039, struct.pack("<Q", 0x01D00000_12345678)),
    row(3, PT_CLSID, 0x6607, bytes(range(16))),
    row(3, PT_BINARY, 0x0FFF, b"\0\1\2"),
    row(3, PT_MV_LONG, 0x6608, mv([struct.pack("<I", 1), struct.pack("<I", 2)])),
    row(3, PT_MV_STRING8, 0x800A, mv([b"red\0", b"green\0"])),
    row(3, PT_MV_BINARY, 0x6609, mv([b"", b"ab"])),
]))
put("mapi_store", "folder_and_store", row(2, PT_UNICODE, 0x3001, "Post".encode("utf-16-le") + b"\0\0") +
    row(0, PT_STRING8, 0x3001, b"Mailbox\0") + row(1, PT_LONG, 0x3602, struct.pack("<I", 3)))
put("mapi_store", "attachment_and_recipient", row(4, PT_BINARY, 0x3701, b"x" * 300) +
    row(5, PT_UNICODE, 0x3003, "a@b.example".encode("utf-16-le") + b"\0\0"))
put("mapi_store", "long_wrong_size", row(3, PT_LONG, 0x0E07, b"\1\2\3"))
put("mapi_store", "unicode_odd_length", row(3, PT_UNICODE, 0x0037, b"a\0b"))
put("mapi_store", "unicode_no_nul", row(3, PT_UNICODE, 0x0037, "ab".encode("utf-16-le")))
put("mapi_store", "mv_count_huge", row(3, PT_MV_BINARY, 0x6609, struct.pack("<I", 0xFFFFFFFF) + b"\0" * 8))
put("mapi_store", "mv_length_huge", row(3, PT_MV_STRING8, 0x800A, struct.pack("<II", 1, 0xFFFFFFF0) + b"abc"))
put("mapi_store", "mv_long_wrong_size", row(3, PT_MV_LONG, 0x6608, mv([b"\1\2"])))
put("mapi_store", "mv_trailing_bytes", row(3, PT_MV_BINARY, 0x6609, mv([b"ab"]) + b"zz"))
put("mapi_store", "unknown_type", row(3, 0x0D, 0x6610, b"\0" * 4))
put("mapi_store", "derived_tag_stored", row(3, PT_BINARY, 0x0FFF, b"not mine") + row(3, PT_BINARY, 0x65E0, b"sk"))
put("mapi_store", "display_name_damaged", row(2, PT_UNICODE, 0x3001, b"\0"))
put("mapi_store", "string8_no_nul", row(3, PT_STRING8, 0x0037, b"\xe9t\xe9"))

# ---- web pages for the browser control ----

put("html", "page", b"<html><head><title> Kipo  news </title></head><body><h1>Hello</h1><p>One <b>two</b>\n"
    b"three</p><ul><li><a href='http://a.example/?x=1&amp;y=2'> first  link</a></li><li>plain</li></ul>"
    b"<script>document.write('x')</script><style>p{}</style><table><tr><td>a</td><td>b</td></tr></table>"
    b"</body></html>")
put("html", "title_outside_head", b"<body><title>late</title>text<br>more</body>")
put("html", "unclosed", b"<html><body><div><p>open<a href=x>link<div>deeper")
put("html", "entities", b"<p>&lt;&#x41;&#65;&unknown;&#xFFFFFFFF;&#0;</p>")
put("html", "comments_cdata", b"<!-- c --><![CDATA[x]]><?php echo ?><!DOCTYPE html><p>after</p>")
put("html", "nested_deep", b"<div>" * 2000 + b"x")
put("html", "encoding_meta", b"<meta charset='shift_jis'><title>\x83\x65\x83\x58\x83\x67</title>")
put("html", "utf16_bom", b"\xff\xfe" + "<p>wide</p>".encode("utf-16-le"))
put("html", "nul_bytes", b"<p>a\0b</p><a href='\0'>\0</a>")
put("html", "anchor_no_href", b"<a name=top>top</a><a href=''></a>")
put("html", "blank_lines", b"<p> \t\r\n </p><p>\f</p><br><br>")

# A server that sends the version file's request back to itself: the check gives up after the
# redirect limit. (A long run of such inputs once used up the harness's threads: each connection's
# worker was kept until the end.)
put("update_reply", "redirect_to_itself", raw(b"HTTP/1.1 302 Found\r\nLocation: /kipo/update.txt\r\nContent-Length: 0\r\n\r\n"))
put("update_reply", "redirect_relative_odd", raw(b"HTTP/1.1 302 Found\r\nLocation: time_-Llngth4 ,0\r/063.0.ansfer-Encoding:/*0\ngth: 0\r\n\n\r\n"))
