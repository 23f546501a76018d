#!/usr/bin/env python3
"""Writes the seed corpus of zx840_fuzz_files into corpus/ beside this script.

Test file: signature, int32 Number, seven strings (Type, Temperature,
Humidity, Operator, Testday, Inspector, Manufacturer), nine float32
readings, 50 pairs of float32 (USpec, ISpec), 256 pairs of int32 (UWave,
IWave), all little-endian. Settings file: int32 Number, strings Type,
Temperature, Humidity, Operator, ComPort, int32 BaudRate, strings Inspector,
Manufacturer.
"""
import pathlib
import struct


def length(n):
    """The length prefix of a string of n units, in its shortest form."""
    if n < 255:
        return bytes([n])
    if n < 0xFFFE:
        return b"\xff" + struct.pack("<H", n)
    return b"\xff\xff\xff" + struct.pack("<I", n)


def text(raw):
    """A string of raw bytes (UTF-8 or Windows-1252)."""
    return length(len(raw)) + raw


def wide(s):
    """A string of UTF-16LE code units, in the FF FE form."""
    units = s.encode("utf-16-le")
    return b"\xff\xfe" + length(len(units) // 2) + units


def int32(v):
    return struct.pack("<i", v)


def test_file(strings, number=1, readings=(0.0,) * 9, spectra=None, wave=None):
    """strings: the seven encoded strings, in file order."""
    out = text(b"ZX840EN") + int32(number) + b"".join(strings)
    out += struct.pack("<9f", *readings)
    spectra = spectra or [(0.0, 0.0)] * 50
    wave = wave or [(0, 0)] * 256
    out += b"".join(struct.pack("<ff", u, i) for u, i in spectra)
    out += b"".join(struct.pack("<ii", u, i) for u, i in wave)
    return out


def minimal_strings():
    return [text(b""), text(b"25"), text(b"65"), text(b""), text(b"26-12-07"), text(b""), text(b"")]


def main():
    minimal = test_file(minimal_strings())
    assert len(minimal) == 2515

    long_strings = minimal_strings()
    long_strings[0] = text(b"T" * 300)  # FF + 16-bit length
    long_strings[3] = text(b"O" * 254)  # longest one-byte length
    long_strings[6] = text(b"M" * 255)  # shortest FF + 16-bit length

    utf16 = minimal_strings()
    utf16[3] = wide("Jos\u00e9 \u20ac \U0001f50c")  # with a surrogate pair
    utf16[6] = b"\xff\xfe\x02" + b"\x00\xd8A\x00"  # an unpaired surrogate

    cp1252 = minimal_strings()
    cp1252[3] = text("M\u00fcller \u20ac".encode("cp1252"))
    cp1252[6] = text(b"Fa\xe7on \x80\x81\x9f\xff")

    # Lengths in longer forms than needed, the readings with real values.
    forms = minimal_strings()
    forms[0] = b"\xff\xff\xff" + struct.pack("<I", 3) + b"abc"
    forms[3] = b"\xff" + struct.pack("<H", 2) + b"op"
    forms[5] = b"\xff\xfe\xff" + struct.pack("<H", 1) + b"x\x00"
    readings = (230.1, 0.52, 0.98, 117.3, 1.41, 1.43, 50.0, 12.5, 40.25)
    spectra = [(1000.0 / (k + 1), 500.0 / (k + 1)) for k in range(50)]
    wave = [(int(1000 * ((n % 64) - 32)), -int(20 * n)) for n in range(256)]
    forms_file = test_file(forms, number=-7, readings=readings, spectra=spectra, wave=wave)

    # Type announces 0xFFFFFFFF bytes; the rest of a valid file follows.
    impossible = text(b"ZX840EN") + int32(1) + b"\xff\xff\xff" + struct.pack("<I", 0xFFFFFFFF)
    impossible += minimal[13:]

    settings = bytes.fromhex("01000000 00 023235 023635 00 04434f4d31 80250000 00 00")
    assert len(settings) == 23

    files = {
        "test_minimal.zx8": minimal,
        "test_long_strings.zx8": test_file(long_strings),
        "test_utf16.zx8": test_file(utf16),
        "test_cp1252.zx8": test_file(cp1252),
        "test_length_forms.zx8": forms_file,
        "test_impossible_length.zx8": impossible,
        "test_cut_1.zx8": minimal[:1],
        "test_cut_12.zx8": minimal[:12],
        "test_cut_2514.zx8": minimal[:2514],
        "settings_example.ini": settings,
        "settings_cut.ini": settings[:15],  # ends inside ComPort
    }
    corpus = pathlib.Path(__file__).resolve().parent / "corpus"
    corpus.mkdir(exist_ok=True)
    for name, data in files.items():
        (corpus / name).write_bytes(data)


if __name__ == "__main__":
    main()
