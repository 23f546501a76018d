#!/usr/bin/python3
"""`zx840-cli web` end to end, on a store the simulated meter filled through
`zx840-cli acquire`: every API endpoint and filter against what `history`
and `stats` say, the 400s and 401s, 64 connections at once, and the pages
in headless Chromium (Selenium): the Line page's counts and Pareto chart,
a result kept during the test appearing without a reload, the waveform's
points, the .ZX8 download byte for byte, a hostile Type shown as text.

usage: web_test.py ZX840-CLI ZX840-METER-SIM sqlite|postgresql [SCREENSHOT-DIR]
PostgreSQL takes the throwaway server of the store tests (ZX840_TEST_PG_DIR).
"""
import concurrent.futures
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

CLI, SIM, BACKEND = sys.argv[1], sys.argv[2], sys.argv[3]
SHOTS = sys.argv[4] if len(sys.argv) > 4 else None
TIMEOUT_S = 120  # every wait of this test ends by itself
TOKEN = "line-token-0123456789"
HOSTILE = "<script>alert(1)</script>"


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def run(env, *args, ok=(0,)):
    done = subprocess.run([CLI, *args], env=env, capture_output=True, timeout=TIMEOUT_S)
    check(done.returncode in ok, f"{args}: {done.returncode} {done.stderr}")
    return done.stdout


def acquire(env, db, station, type_, count, plan):
    run(env, "acquire", "--db", db, "--station", station, "--type", type_, "--number", "7",
        "--step-number", "--count", str(count), "--plan", plan, "--quiet", ok=(0, 7))


def get(base, path, token=TOKEN, raw=False):
    request = urllib.request.Request(base + path)
    if token:
        request.add_header("Authorization", "Bearer " + token)
    try:
        with urllib.request.urlopen(request, timeout=TIMEOUT_S) as response:
            body = response.read()
            return response.status, body if raw else body.decode()
    except urllib.error.HTTPError as error:
        return error.code, error.read().decode()


def get_json(base, path):
    status, body = get(base, path)
    check(status == 200, f"{path}: {status} {body}")
    return json.loads(body)


def postgres_store(work):
    folder = os.environ["ZX840_TEST_PG_DIR"]
    with open(os.path.join(folder, "url")) as f:
        url = f.read().strip()
    name = f"zx840_web_{os.getpid()}"
    subprocess.run(["psql", url, "-q", "-c", f"CREATE DATABASE {name}"], check=True,
                   timeout=TIMEOUT_S, capture_output=True)
    return url.rsplit("/", 1)[0] + "/" + name, lambda: subprocess.run(
        ["psql", url, "-q", "-c", f"DROP DATABASE IF EXISTS {name} WITH (FORCE)"],
        timeout=TIMEOUT_S, capture_output=True)


def api(base, env, db):
    history = json.loads(run(env, "history", "--db", db))
    check(len(history) == 6, f"six results kept: {len(history)}")
    # Without a token nothing but 401; a wrong one the same.
    for path in ["/", "/api/results", "/metrics", "/result/" + history[0]["Id"], "/static/web.js"]:
        check(get(base, path, token=None)[0] == 401, f"{path} without a token")
        check(get(base, path, token="wrong-token-000")[0] == 401, f"{path} with a wrong token")
    # Every filter, as history takes it.
    for query, options in [("", []), ("type=PSU-60", ["--type", "PSU-60"]),
                           ("number=7-8", ["--number", "7-8"]), ("number=9", ["--number", "9"]),
                           ("verdict=FAIL", ["--verdict", "FAIL"]),
                           ("verdict=PASS", ["--verdict", "PASS"]),
                           ("station=line-2", ["--station", "line-2"]),
                           ("since=2000-01-01&until=2999-01-01", ["--since", "2000-01-01"]),
                           ("until=2000-01-01", ["--until", "2000-01-01"])]:
        expected = json.loads(run(env, "history", "--db", db, *options))
        got = get_json(base, "/api/results?" + query)
        check(got["Results"] == expected and got["Next"] is None, f"/api/results?{query}")
    # Pages by cursor: the whole list, in order, two at a time.
    rows, cursor = [], ""
    for _ in range(10):
        page = get_json(base, "/api/results?limit=2" + (f"&cursor={cursor}" if cursor else ""))
        rows += page["Results"]
        cursor = page["Next"]
        if cursor is None:
            break
    check(rows == history, "pages by cursor")
    one = history[-1]["Id"]
    full = json.loads(run(env, "history", "--db", db, "--id", one, "--full"))[0]
    check(get_json(base, "/api/results/" + one) == full, "one result as history --full")
    stats = json.loads(run(env, "stats", "--db", db, "--type", "PSU-60"))
    check(get_json(base, "/api/stats?type=PSU-60") == stats, "stats as the stats command")
    by_station = get_json(base, "/api/yield?by=station")
    check([(r["Station"], r["Count"], r["Passed"], r["Failed"]) for r in by_station] ==
          [("line-1", 4, 3, 0), ("line-2", 2, 0, 2)], f"yield by station: {by_station}")
    by_type = get_json(base, "/api/yield?by=type&period=7d")
    check({r["Type"]: r["Count"] for r in by_type} == {"PSU-60": 5, HOSTILE: 1}, "by type")
    check(sum(r["Count"] for r in get_json(base, "/api/yield?by=hour")) == 6, "by hour")
    metrics = get(base, "/metrics")[1]
    for line in ['zx840_results_total{station="line-2",type="PSU-60"} 2',
                 'zx840_failures_total{station="line-2",type="PSU-60"} 2', "zx840_store_up 1",
                 '# TYPE zx840_last_result_timestamp_seconds gauge']:
        check(line in metrics, f"metrics: {line}")
    # Hostile input: each refused with its reason, as JSON.
    for path in ["/api/results?bogus=1", "/api/results?since=2026-02-30",
                 "/api/results?limit=0", "/api/results?limit=99999999999999999999999",
                 "/api/results?verdict=maybe", "/api/results?number=5-1",
                 "/api/results?cursor=1.zz", "/api/results?type=a&type=b",
                 "/api/stats", "/api/yield?by=week", "/api/yield", "/metrics?x=1",
                 "/api/results?period=2d", "/type/x?n=1"]:
        status, body = get(base, path)
        check(status == 400 and "Error" in json.loads(body) if path.startswith(("/api", "/metrics"))
              else status == 400, f"{path}: {status} {body}")
    check(get(base, "/api/results/0000")[0] == 404, "no such result")
    check(get(base, "/" + "x" * 5000)[0] == 414, "a path too long")
    crowded = {f"X-Header-{i}": "x" for i in range(70)}
    crowded["Authorization"] = "Bearer " + TOKEN
    posted = urllib.request.Request(base + "/api/results", data=b"x",
                                    headers={"Authorization": "Bearer " + TOKEN})
    for request, status in [(urllib.request.Request(base + "/api/results", headers=crowded), 431),
                            (posted, 405)]:
        try:
            urllib.request.urlopen(request, timeout=TIMEOUT_S)
            check(False, f"{request.full_url} answered")
        except urllib.error.HTTPError as error:
            check(error.code == status, f"{status}: {error.code}")
    # 64 connections at once: each answered, none dropped.
    with concurrent.futures.ThreadPoolExecutor(64) as pool:
        statuses = list(pool.map(lambda _: get(base, "/api/yield?by=type")[0], range(64)))
    check(statuses == [200] * 64, f"64 at once: {statuses}")
    return history


def bounds(env, db, token_file):
    """Another address than the loopback needs --allow and a token; one
    connection more than --max-clients is answered 503 and closed."""
    for options in [[], ["--allow", "10.0.0.0/8"], ["--token-file", token_file]]:
        done = subprocess.run([CLI, "web", "--db", db, "--listen", "0.0.0.0:0", *options],
                              env=env, capture_output=True, text=True, timeout=TIMEOUT_S)
        check(done.returncode == 1 and "needs --allow and --token-file" in done.stderr,
              f"{options}: {done.returncode} {done.stderr}")
    web = subprocess.Popen([CLI, "web", "--db", db, "--listen", "127.0.0.1:0",
                            "--max-clients", "2"], env=env, stdout=subprocess.PIPE, text=True)
    try:
        port = int(web.stdout.readline().rsplit(":", 1)[1].rstrip("/\n"))
        held = [socket.create_connection(("127.0.0.1", port), TIMEOUT_S) for _ in range(2)]
        for connection in held:  # each answered, and kept open
            connection.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n")
            check(connection.recv(12) == b"HTTP/1.1 200", "a client within the bound")
        status, _ = get(f"http://127.0.0.1:{port}", "/metrics", token=None)
        check(status == 503, f"one more: {status}")
        for connection in held:
            connection.close()
    finally:
        web.send_signal(signal.SIGTERM)
        web.wait(TIMEOUT_S)


def browser(base, env, db, history, sim_env):
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.support.ui import WebDriverWait

    options = webdriver.ChromeOptions()
    for argument in ["--headless", "--no-sandbox", "--disable-gpu", "--window-size=1280,1400",
                     "--disable-dev-shm-usage"]:
        options.add_argument(argument)
    service = Service(executable_path="/usr/bin/chromedriver")
    driver = webdriver.Chrome(options=options, service=service)
    # The live part of the Line page is replaced as it refreshes: an element
    # found just before may be gone when read, and is looked up again.
    wait = WebDriverWait(driver, TIMEOUT_S,
                         ignored_exceptions=[StaleElementReferenceException])

    def text(element_id):
        return wait.until(lambda d: [d.find_element(By.ID, element_id).text])[0]

    try:
        driver.get(base + "/login")
        driver.find_element(By.NAME, "token").send_keys(TOKEN)
        driver.find_element(By.CSS_SELECTOR, "form button").click()
        wait.until(lambda d: d.find_elements(By.ID, "count"))
        check(text("count") == "6", "Line: results")
        check(text("passed") == "3", "Line: PASS")
        check(text("failed") == "2", "Line: FAIL")
        check(text("yield") == "60.0", "Line: yield")
        painted = ("const c = document.getElementById('pareto');"
                   "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
                   "for (let i = 3; i < d.length; i += 4) { if (d[i] > 0) return true; }"
                   "return false;")
        wait.until(lambda d: d.execute_script(painted))
        check(HOSTILE in text("last"), "a hostile Type as text")
        check(not driver.find_elements(By.XPATH, "//script[not(@src)]"), "no inline script")
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "web-line.png"))
        # A result kept now appears without a reload.
        driver.execute_script("window.stayed = true;")
        acquire(sim_env, db, "line-1", "PSU-60", 1, os.path.join(env["HOME"], "loose.zx8plan"))
        wait.until(lambda d: d.find_element(By.ID, "count").text == "7")
        check(driver.execute_script("return window.stayed === true;"), "no reload")

        one = history[1]  # a FAIL of line-2, its verdict on the page
        driver.get(base + "/result/" + one["Id"])
        trace = driver.find_elements(By.CSS_SELECTOR, "#waveform svg polyline")
        points = [p.get_attribute("points").split() for p in trace]
        longest = max(points, key=len)
        # Two periods of the record's 256 samples, from x = 0: 2 * 256 + 1 points.
        check(len(longest) == 513 and longest[1:257] != [] and
              [p.split(",")[1] for p in longest[1:257]] ==
              [p.split(",")[1] for p in longest[257:513]], f"waveform points {len(longest)}")
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "web-result.png"))
        href = driver.find_element(By.ID, "zx8").get_attribute("href")
        status, body = get("", href, raw=True)
        saved = run(env, "history", "--db", db, "--id", one["Id"], "--save", "-")
        check(status == 200 and body == saved, ".ZX8 byte for byte")
        status, body = get("", href.rsplit("/", 1)[0] + "/report.pdf", raw=True)
        check(status == 200 and body.startswith(b"%PDF-") and b"/Type /Page" in body, "the report")

        driver.get(base + "/type/" + urllib.parse.quote(HOSTILE, safe=""))
        check(driver.find_element(By.TAG_NAME, "h1").text == "Type " + HOSTILE, "Type as text")
        driver.get(base + "/type/PSU-60?reading=Power&n=50")
        wait.until(lambda d: d.execute_script(painted.replace("pareto", "individuals")))
        if SHOTS:
            driver.save_screenshot(os.path.join(SHOTS, "web-type.png"))
        driver.get(base + "/search?verdict=FAIL")
        check(len(driver.find_elements(By.CSS_SELECTOR, "#found tbody tr")) == 2, "search")
    finally:
        driver.quit()


def main():
    work = tempfile.mkdtemp(prefix="zx840-web-")
    env = dict(os.environ, HOME=work, XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_CONFIG_HOME=os.path.join(work, "config"))
    for name, text in [("tight", '{"Power":{"max":0.001}}'), ("loose", '{"Power":{"max":1e9}}')]:
        with open(os.path.join(work, name + ".zx8plan"), "w") as plan:
            plan.write(text)
    token_file = os.path.join(work, "token")
    with open(token_file, "w") as f:
        f.write(TOKEN + "\n")
    drop = None
    if BACKEND == "postgresql":
        db, drop = postgres_store(work)
    else:
        db = "sqlite:" + os.path.join(work, "results.sqlite")
    sim = subprocess.Popen([SIM, "--load", "rectifier"], stdout=subprocess.PIPE, text=True)
    web = None
    try:
        env["ZX840_COM1"] = sim.stdout.readline().strip()
        acquire(env, db, "line-1", "PSU-60", 3, os.path.join(work, "loose.zx8plan"))
        acquire(env, db, "line-2", "PSU-60", 2, os.path.join(work, "tight.zx8plan"))
        run(env, "acquire", "--db", db, "--station", "line-1", "--type", HOSTILE, "--quiet")
        web = subprocess.Popen([CLI, "web", "--db", db, "--listen", "127.0.0.1:0",
                                "--token-file", token_file], env=env, stdout=subprocess.PIPE,
                               text=True)
        line = web.stdout.readline()
        check(line.startswith("Listening on http://127.0.0.1:"), f"listening: {line}")
        base = line.split()[-1].rstrip("/")
        history = api(base, env, db)
        bounds(env, db, token_file)
        browser(base, env, db, history, env)
        web.send_signal(signal.SIGTERM)
        check(web.wait(TIMEOUT_S) == 0, "ends cleanly on SIGTERM")
    finally:
        for process in (web, sim):
            if process and process.poll() is None:
                process.kill()
                process.wait()
        if drop:
            drop()
    print(f"web_test ({BACKEND}): passed")


if __name__ == "__main__":
    main()
