#!/usr/bin/python3
"""How fast `umbrix look` shows a change, measured in a real browser (headless chromium).

Usage: look_latency.py [UMBRIX]   (default: build/release/bin/umbrix)

On the demo scene at 1920x1080, occlusion on, 2 threads: the time from a control's change on the
page to the new picture drawn, median of 30 changes at Matrix 5 and at Matrix 16 at fit, and at
Matrix 5 at 1:1 (with the render's own time beside it); a storm of 100 changes in 2 s, and how long after the last one its picture
shows, how many pictures it drew during the storm and their longest gap; the server's resident
memory over 500 changes.
"""
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

UMBRIX = sys.argv[1] if len(sys.argv) > 1 else "build/release/bin/umbrix"

# Changes Amount on the page as its number field does, and resolves with the milliseconds until
# the picture of that change is drawn.
CHANGE = """
const [value, done] = arguments;
const field = document.querySelector('.control[data-id="Amount"] .number');
const before = Number(document.body.dataset.latest);
const start = performance.now();
field.value = String(value);
field.dispatchEvent(new Event('change'));
(function wait() {
  const b = document.body.dataset;
  if (Number(b.latest) > before && b.shown === b.latest) done(performance.now() - start);
  else requestAnimationFrame(wait);
})();
"""

STORM = """
const [count, spacing, done] = arguments;
const field = document.querySelector('.control[data-id="Amount"] .number');
let sent = 0, last = 0;
// Every picture drawn during the storm: a drag should show some, not only the last.
const drawn = [performance.now()];
const seen = new MutationObserver(() => drawn.push(performance.now()));
seen.observe(document.body, { attributes: true, attributeFilter: ["data-shown"] });
const timer = setInterval(() => {
  field.value = String(0.001 + sent * 0.0001);
  field.dispatchEvent(new Event('change'));
  if (++sent === count) {
    clearInterval(timer);
    last = performance.now();
    (function wait() {
      const b = document.body.dataset;
      const row = document.querySelector('.control[data-id="Amount"]');
      if (changesIdle() && b.shown === b.latest && Number(row.dataset.value) === 0.001 + (count - 1) * 0.0001)
      {
        seen.disconnect();
        const during = drawn.filter((t) => t <= last);
        const gaps = during.slice(1).map((t, k) => t - during[k]).concat([last - during[during.length - 1]]);
        done([performance.now() - last, during.length - 1, Math.max(...gaps)]);
      }
      else requestAnimationFrame(wait);
    })();
  }
}, spacing);
function changesIdle() { return !document.querySelector('#picture.stale'); }
"""


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))


def browser(work):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1440,860", f"--user-data-dir={work}/chromium"]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(120)
    return driver


def set_control(driver, control, value):
    driver.execute_async_script("""
const [id, value, done] = arguments;
fetchWithToken('api/control', {method: 'POST', headers: {'Content-Type': 'application/json'},
  body: JSON.stringify({id, value})}).then(() => done());""", control, value)


def one_to_one(driver):
    """Shows the picture at 1:1, and waits until the part shown has come at full resolution."""
    driver.execute_async_script("""
const done = arguments[0];
setScale(false);
(function wait() {
  const part = (document.body.dataset.part || "").split(",").map(Number);
  if (part.length < 6 || (part[2] === part[4] && part[3] === part[5])) done(); else setTimeout(wait, 20);
})();""")


def latencies(driver, count):
    """Medians of the change to its picture, of the render alone, and of what each change cost
    beyond its own render (less noisy than the difference of the first two)."""
    times, renders = [], []
    for k in range(count):
        times.append(driver.execute_async_script(CHANGE, 0.002 + 0.0005 * k))
        renders.append(float(re.search(r"rendered in ([\d.]+) ms", driver.find_element("id", "time").text).group(1)))
    beyond = [t - r for t, r in zip(times, renders)]
    return statistics.median(times), statistics.median(renders), statistics.median(beyond)


def main():
    work = tempfile.mkdtemp(prefix="umbrix-look-bench-")
    subprocess.run([UMBRIX, "demo", "-o", work, "--size", "1920x1080", "--quiet"], check=True)
    look = subprocess.Popen([UMBRIX, "look", f"{work}/demo.exr", "--threads", "2", "--set", "UseSSAO=1",
                             "--set", "Matrix=5"], stdout=subprocess.PIPE, text=True)
    url = re.search(r"http://\S+", look.stdout.readline()).group(0)
    driver = browser(work)
    try:
        driver.get(url)
        driver.execute_async_script("""
const done = arguments[0];
(function wait() { const b = document.body.dataset;
  if (b.ready && b.latest && b.shown === b.latest) done(); else setTimeout(wait, 20); })();""")
        for matrix in (5, 16):
            set_control(driver, "Matrix", matrix)
            latencies(driver, 3)  # warm up
            median, render, beyond = latencies(driver, 30)
            print(f"Matrix {matrix}: change to picture median {median:.0f} ms; render median {render:.0f} ms; "
                  f"beyond its render {beyond:.0f} ms")
        set_control(driver, "Matrix", 5)
        one_to_one(driver)
        latencies(driver, 3)
        median, render, beyond = latencies(driver, 30)
        print(f"Matrix 5 at 1:1: change to picture median {median:.0f} ms; render median {render:.0f} ms; "
              f"beyond its render {beyond:.0f} ms")
        driver.execute_script("setScale(true)")
        latencies(driver, 3)
        after, pictures, gap = driver.execute_async_script(STORM, 100, 20)
        _, render, _ = latencies(driver, 5)
        print(f"storm of 100 changes in 2 s: last values shown {after:.0f} ms after the last change "
              f"(render {render:.0f} ms); {pictures} pictures drawn during it, at most {gap:.0f} ms apart")
        memory = [rss_kib(look.pid)]
        for block in range(5):
            for k in range(100):
                driver.execute_async_script(CHANGE, 0.001 + 0.00001 * (block * 100 + k))
            memory.append(rss_kib(look.pid))
        print("server resident memory every 100 changes (MiB): " +
              " ".join(f"{m / 1024:.0f}" for m in memory))
    finally:
        driver.quit()
        look.send_signal(signal.SIGTERM)
        look.wait()


main()
