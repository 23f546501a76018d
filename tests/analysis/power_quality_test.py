#!/usr/bin/python3
"""The derived quantities of zx840-cli export --json against numpy's FFT.

Test files in the program's own format hold random waveforms and a lagging,
a leading and a distorted load whose results are known in closed form.
Usage: power_quality_test.py ZX840_CLI
"""

import json
import math
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

ORDERS = np.arange(1, 51)
NAMES = ["DisplacementPF", "PhaseAngle", "DistortionFactor", "IthdR", "UthdR",
         "KFactor", "ApparentPower", "ReactivePower"]


def test_file(r, u, i):
    """Mark, the nine readings, zero spectra, the samples interleaved."""
    text = lambda t: bytes([len(t)]) + t.encode()
    out = text("ZX840EN") + struct.pack("<i", 1) + b"".join(map(text, "T2O6IM!"))
    out += struct.pack("<9f", r[0], r[1], 0.5, r[2], 1.4, 1.4, 50, 0, 0) + bytes(400)
    return out + struct.pack("<512i", *np.ravel([u, i], order="F").astype(int))


def expected(r, u, i):
    u = np.fft.rfft(u)[ORDERS]
    i = np.fft.rfft(i)[ORDERS]
    phase = math.degrees(np.angle(u[0] * np.conj(i[0])))
    ip, up = np.abs(i) ** 2, np.abs(u) ** 2
    s = float(np.float32(r[0])) * float(np.float32(r[1]))
    p = float(np.float32(r[2]))
    return dict(zip(NAMES, [
        math.cos(math.radians(phase)), phase, math.sqrt(ip[0] / ip.sum()),
        100 * math.sqrt(ip[1:].sum() / ip.sum()), 100 * math.sqrt(up[1:].sum() / up.sum()),
        (ORDERS ** 2 * ip).sum() / ip.sum(), s, math.copysign(math.sqrt(s * s - p * p), phase)]))


def wave(parts):
    """Sum of amplitude * sin(order * theta + degrees), whole counts."""
    theta = 2 * np.pi * np.arange(256) / 256
    return np.rint(sum(a * np.sin(k * theta + math.radians(d)) for k, a, d in parts))


def cases(rng):
    u = wave([(1, 12000, 0)])
    plain = (230.0, 2.0, 400.0)  # Urms, Irms, Power
    yield "lagging", plain, u, wave([(1, 9000, -30)]), {
        "PhaseAngle": 30, "DisplacementPF": math.cos(math.radians(30)), "IthdR": 0, "KFactor": 1}
    yield "leading", plain, u, wave([(1, 9000, 45)]), {
        "PhaseAngle": -45, "DisplacementPF": math.cos(math.radians(45)), "DistortionFactor": 1}
    yield "distorted", plain, u, wave([(1, 10000, 0), (3, 3000, 0), (5, 2000, 0)]), {
        "PhaseAngle": 0, "DistortionFactor": 1 / math.sqrt(1.13),
        "IthdR": 100 * math.sqrt(0.13 / 1.13), "KFactor": (1 + 9 * 0.09 + 25 * 0.04) / 1.13}
    for n in range(40):
        noise = lambda: rng.integers(-40, 41, 256)
        urms, irms = rng.uniform(50, 400), rng.uniform(0.01, 60)
        yield (f"random {n}", (urms, irms, urms * irms * rng.uniform(-1, 1)),
               wave([(k, rng.uniform(0, 3000 / k), rng.uniform(-180, 180)) for k in range(1, 12)])
               + noise(),
               wave([(k, rng.uniform(0, 5000 / k), rng.uniform(-180, 180)) for k in range(1, 40)])
               + noise(), {})


def main():
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        want = {}
        for n, (name, readings, u, i, closed) in enumerate(cases(np.random.default_rng(840))):
            path = os.path.realpath(os.path.join(folder, f"t{n:03}.ZX8"))
            with open(path, "wb") as f:
                f.write(test_file(readings, u, i))
            want[path] = (name, expected(readings, u, i), closed)
        run = subprocess.run([sys.argv[1], "export", "--json", "-", folder],
                             capture_output=True, text=True, check=True)
        lines = run.stdout.splitlines()
        if len(lines) != len(want):
            failures.append(f"{len(lines)} exported of {len(want)}")
        for got in map(json.loads, lines):
            name, numpy, closed = want[got["Source"]]
            # Relative error below 1e-6 (an angle of 1e-15 near 0 within 1e-9).
            failures += [f"{name}: {key} {got[key]}, numpy {numpy[key]}" for key in NAMES
                         if not abs(got[key] - numpy[key]) <= 1e-6 * abs(numpy[key]) + 1e-9]
            # Whole counts: a sine of 9000 counts has 0.003 % of distortion.
            failures += [f"{name}: {key} {got[key]}, closed form {value}"
                         for key, value in closed.items()
                         if abs(got[key] - value) > 5e-3 * max(abs(value), 1)]
            if name in ("lagging", "leading") and (got["ReactivePower"] > 0) != (name == "lagging"):
                failures.append(f"{name}: reactive power {got['ReactivePower']}")
    print("\n".join(failures) or f"{len(want)} tests agree with numpy")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
