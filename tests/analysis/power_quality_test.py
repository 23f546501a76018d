#!/usr/bin/python3
"""The derived quantities of zx840-cli export --json against numpy.

Writes test files in the program's own format (random waveforms, and a
lagging, a leading and a distorted load with results known in closed form),
exports them as JSON and computes every derived quantity again with numpy's
FFT from the same samples and readings.

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

N = 256
ORDERS = np.arange(1, 51)
NAMES = ["DisplacementPF", "PhaseAngle", "DistortionFactor", "IthdR", "UthdR",
         "KFactor", "ApparentPower", "ReactivePower"]


def archive_string(text):
    data = text.encode()
    return bytes([len(data)]) + data


def test_file(readings, uwave, iwave):
    """A test file as the program saves one; spectra left at zero."""
    out = archive_string("ZX840EN") + struct.pack("<i", 1)
    out += b"".join(archive_string(t) for t in ["T", "25", "65", "O", "26-01-01", "I", "M"])
    out += struct.pack("<9f", readings["Urms"], readings["Irms"], readings["PF"],
                       readings["Power"], 1.4, 1.4, 50.0, 0.0, 0.0)
    out += b"\0" * (2 * 50 * 4)
    for u, i in zip(uwave, iwave):
        out += struct.pack("<ii", int(u), int(i))
    return out


def expected(readings, uwave, iwave):
    f32 = lambda x: float(np.float32(x))
    u = np.fft.rfft(np.asarray(uwave, dtype=float))[ORDERS]
    i = np.fft.rfft(np.asarray(iwave, dtype=float))[ORDERS]
    phase = math.degrees(np.angle(u[0] * np.conj(i[0])))
    ip = np.abs(i) ** 2
    up = np.abs(u) ** 2
    s = f32(readings["Urms"]) * f32(readings["Irms"])
    p = f32(readings["Power"])
    q = math.sqrt(max(0.0, s * s - p * p))
    return {
        "DisplacementPF": math.cos(math.radians(phase)),
        "PhaseAngle": phase,
        "DistortionFactor": math.sqrt(ip[0] / ip.sum()),
        "IthdR": 100 * math.sqrt(ip[1:].sum() / ip.sum()),
        "UthdR": 100 * math.sqrt(up[1:].sum() / up.sum()),
        "KFactor": float((ORDERS ** 2 * ip).sum() / ip.sum()),
        "ApparentPower": s,
        "ReactivePower": math.copysign(q, phase),
    }


def wave(parts):
    """Sum of amplitude * sin(order * theta + degrees), whole counts."""
    theta = 2 * np.pi * np.arange(N) / N
    return np.rint(sum(a * np.sin(k * theta + math.radians(d)) for k, a, d in parts))


def cases(rng):
    plain = {"Urms": 230.0, "Irms": 2.0, "PF": 0.9, "Power": 400.0}
    voltage = wave([(1, 12000, 0)])
    # name, readings, samples, closed form of what the samples give
    yield ("lagging", plain, voltage, wave([(1, 9000, -30)]),
           {"PhaseAngle": 30, "DisplacementPF": math.cos(math.radians(30)),
            "DistortionFactor": 1, "IthdR": 0, "KFactor": 1})
    yield ("leading", plain, voltage, wave([(1, 9000, 45)]),
           {"PhaseAngle": -45, "DisplacementPF": math.cos(math.radians(45)),
            "DistortionFactor": 1, "IthdR": 0, "KFactor": 1})
    yield ("distorted", plain, voltage, wave([(1, 10000, 0), (3, 3000, 0), (5, 2000, 0)]),
           {"PhaseAngle": 0, "DistortionFactor": 1 / math.sqrt(1.13),
            "IthdR": 100 * math.sqrt(0.13 / 1.13), "KFactor": (1 + 9 * 0.09 + 25 * 0.04) / 1.13})
    for n in range(40):
        parts_u = [(k, rng.uniform(0, 3000 / k), rng.uniform(-180, 180)) for k in range(1, 12)]
        parts_i = [(k, rng.uniform(0, 5000 / k), rng.uniform(-180, 180)) for k in range(1, 40)]
        noise = lambda: rng.integers(-40, 41, N)
        urms = float(rng.uniform(50, 400))
        irms = float(rng.uniform(0.01, 60))
        power = float(urms * irms * rng.uniform(-1, 1))
        readings = {"Urms": urms, "Irms": irms, "PF": 0.5, "Power": power}
        yield (f"random {n}", readings, wave(parts_u) + noise(), wave(parts_i) + noise(), {})


def close(got, want):
    """Relative error below 1e-6; near zero (an angle of 1e-15) within 1e-9."""
    return got is not None and abs(got - want) <= 1e-6 * abs(want) + 1e-9


def main():
    cli = sys.argv[1]
    rng = np.random.default_rng(840)
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        names = {}
        for index, (name, readings, u, i, closed) in enumerate(cases(rng)):
            path = os.path.join(folder, f"t{index:03}.ZX8")
            with open(path, "wb") as f:
                f.write(test_file(readings, u, i))
            names[os.path.realpath(path)] = (name, expected(readings, u, i), closed)
        run = subprocess.run([cli, "export", "--json", "-", folder],
                             capture_output=True, text=True, check=True)
        lines = run.stdout.splitlines()
        if len(lines) != len(names):
            failures.append(f"{len(lines)} exported of {len(names)}")
        for line in lines:
            got = json.loads(line)
            name, want, closed = names[got["Source"]]
            for key in NAMES:
                if not close(got[key], want[key]):
                    failures.append(f"{name}: {key} {got[key]}, numpy {want[key]}")
            for key, value in closed.items():
                # The samples are whole counts: a sine of 9000 counts has a
                # few thousandths of a percent of distortion.
                if abs(got[key] - value) > 5e-3 * max(abs(value), 1):
                    failures.append(f"{name}: {key} {got[key]}, closed form {value}")
            if name == "lagging" and not got["ReactivePower"] > 0:
                failures.append("lagging: reactive power not positive")
            if name == "leading" and not got["ReactivePower"] < 0:
                failures.append("leading: reactive power not negative")
    print("\n".join(failures) or f"{len(names)} tests agree with numpy")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
