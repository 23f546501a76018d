#!/usr/bin/python3
"""A real VISA client (PyVISA with its pure-Python backend) drives
`zx840-cli serve` against the simulated meter: identity, a measurement
equal to the result the same exchange kept, waveforms and spectra as
binary blocks equal bit for bit, a plan set and a FAIL read back, the error
queue after five kinds of bad command, and two clients measuring at once
without their answers ever mixing.

usage: pyvisa_test.py ZX840-CLI ZX840-METER-SIM
"""
import json
import os
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time

import pyvisa

CLI, SIM = sys.argv[1], sys.argv[2]
TIMEOUT_S = 120  # every wait of this test ends by itself


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def open_client(rm, port):
    inst = rm.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET",
                            read_termination="\n", write_termination="\n")
    inst.timeout = TIMEOUT_S * 1000
    return inst


def kept(env, db, before=None):
    """The newest kept result after `before`: results are kept on a thread of
    their own, so the answer to a measurement may come before the store has it."""
    deadline = time.monotonic() + TIMEOUT_S
    while True:
        run = subprocess.run([CLI, "history", "--db", db, "--full", "--limit", "1"], env=env,
                             capture_output=True, text=True, timeout=TIMEOUT_S, check=True)
        results = json.loads(run.stdout)
        if results and (before is None or results[0]["Id"] != before["Id"]):
            return results[0]
        check(time.monotonic() < deadline, "a measurement kept in time")
        time.sleep(0.05)


def f32(values):
    return struct.pack(f"<{len(values)}f", *values)


def scenario(rm, port, env, db):
    inst = open_client(rm, port)
    check(inst.query("*IDN?").startswith("Orvalisto,ZX840,0,"), "identity")

    # A measurement is the result the same exchange kept, digit for digit.
    inst.write('MARK:TYPE "PSU-60";NUMB 41')
    values = inst.query("MEAS:ALL?").split(",")
    result = kept(env, db)
    check(result["Type"] == "PSU-60" and result["Number"] == 41, f"product: {result}")
    names = ["Urms", "Irms", "PF", "Freq", "Power", "Ucf", "Icf"]
    for name, text in zip(names, values):
        check(f32([float(text)]) == f32([result[name]]), f"{name}: {text} != {result[name]}")

    # Waveforms and spectra as little-endian float32 blocks, bit for bit.
    inst.write("FORM REAL,32")
    for query, key in [("FETC:ARR:VOLT?", "UWave"), ("FETC:ARR:CURR?", "IWave"),
                       ("FETC:ARR:VOLT:HARM?", "USpec"), ("FETC:ARR:CURR:HARM?", "ISpec")]:
        block = inst.query_binary_values(query, datatype="f", is_big_endian=False)
        check(len(block) == len(result[key]), f"{query}: {len(block)} values")
        check(f32(block) == f32(result[key]), f"{query} differs from {key}")
    inst.write("FORM ASC")

    # A plan of the plan folder judges; a tight one fails on Power.
    inst.write('CALC:LIM:PLAN "Tight"')
    check(inst.query("CALC:LIM:PLAN?") == '"Tight"', "plan set")
    inst.query("READ:POW?")
    check(inst.query("CALC:LIM:FAIL?") == "1", "a FAIL read back")
    check('"Power"' in inst.query("CALC:LIM:CHEC?"), "the failing check named")
    check(kept(env, db, result)["Verdict"]["Pass"] is False, "the FAIL kept")

    # Five kinds of bad command, in the error queue in order.
    for bad in ["MEAS:FOO?", "*ESE", "*RST 5", "SYST:COMM:SER:BAUD 1234", "MARK:TYPE PSU"]:
        inst.write(bad)
    codes = [inst.query("SYST:ERR?").split(",")[0] for _ in range(6)]
    check(codes == ["-113", "-109", "-108", "-222", "-104", "0"], f"error queue: {codes}")
    inst.close()

    # Two clients at once: each gets its own answers, in order, whole.
    answers = {}

    def measure(name, query, count):
        client = open_client(rm, port)
        answers[name] = [client.query(query) for _ in range(count)]
        client.close()

    threads = [threading.Thread(target=measure, args=("waves", "READ:ARR:VOLT?", 4)),
               threading.Thread(target=measure, args=("volts", "READ:VOLT?", 4))]
    for t in threads:
        t.start()
    for t in threads:
        t.join(TIMEOUT_S)
    check(all(len(a.split(",")) == 256 for a in answers["waves"]), "waves whole")
    check(all(len(a.split(",")) == 1 for a in answers["volts"]), "volts alone")


def main():
    work = tempfile.mkdtemp(prefix="zx840-pyvisa-")
    env = dict(os.environ, HOME=work, XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_CONFIG_HOME=os.path.join(work, "config"))
    plans = os.path.join(work, "data", "Orvalisto", "plans")
    os.makedirs(plans)
    with open(os.path.join(plans, "Tight.zx8plan"), "w") as plan:
        plan.write('{"Power":{"max":0.001}}')
    db = "sqlite:" + os.path.join(work, "results.sqlite")
    sim = subprocess.Popen([SIM, "--load", "rectifier"], stdout=subprocess.PIPE, text=True)
    serve = None
    try:
        env["ZX840_COM1"] = sim.stdout.readline().strip()
        serve = subprocess.Popen([CLI, "serve", "--listen", "127.0.0.1:0", "--db", db,
                                  "--station", "line-1"], env=env, stdout=subprocess.PIPE,
                                 text=True)
        line = serve.stdout.readline()
        check(line.startswith("Listening on 127.0.0.1:"), f"serve said: {line!r}")
        port = int(line.rsplit(":", 1)[1])
        scenario(pyvisa.ResourceManager("@py"), port, env, db)
        serve.send_signal(signal.SIGTERM)
        check(serve.wait(TIMEOUT_S) == 0, "serve ends with 0 on SIGTERM")
        check(kept(env, db)["Station"] == "line-1", "the station named")
    finally:
        for process in (serve, sim):
            if process and process.poll() is None:
                process.kill()
                process.wait()
    print("pyvisa_test: passed")


if __name__ == "__main__":
    main()
