#!/usr/bin/python3
"""umbrix look driven in a real browser (headless chromium), as a user would.

Usage: browser_test.py UMBRIX WORKDIR
Leaves WORKDIR/look.png, a picture of the page.
"""
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile

import OpenImageIO as oiio
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

UMBRIX, WORK = sys.argv[1], sys.argv[2]
WAIT = 60  # seconds: a loaded machine is slow, a broken page never gets there


def run(*args):
    done = subprocess.run([UMBRIX, *args], capture_output=True, text=True)
    assert done.returncode == 0, f"umbrix {' '.join(args)}: {done.stderr}"
    return done.stdout


def bits(value):
    return "%08x" % struct.unpack("<I", struct.pack("<f", value))[0]


def pixel(path, x, y):
    image = oiio.ImageBuf(path)
    assert not image.has_error, image.geterror()
    return image.getpixel(x, y)


def float_bits(path):
    return oiio.ImageBuf(path).get_pixels(oiio.FLOAT).tobytes()


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1440,860",
                 f"--user-data-dir={tempfile.mkdtemp(dir=WORK, prefix='chromium-')}"]:
        options.add_argument(flag)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def settled(driver, frame=None):
    """Waits until the picture on screen is the one of the controls on screen (and of `frame`)."""
    WebDriverWait(driver, WAIT).until(lambda d: d.execute_script(
        "const b = document.body.dataset; return b.ready && b.latest && b.shown === b.latest;") and
        (frame is None or d.find_element(By.ID, "frame-label").text == frame))


def row(driver, control_id):
    return driver.find_element(By.CSS_SELECTOR, f'.control[data-id="{control_id}"]')


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    run("demo", "-o", WORK, "--size", "640x360", "--quiet")
    scene = os.path.join(WORK, "demo.exr")
    for frame in (1, 3):
        shutil.copy(scene, os.path.join(WORK, f"shot.{frame:04d}.exr"))
    with open(os.path.join(WORK, "shot.0002.exr"), "wb") as junk:
        junk.write(b"v/1\x01 not an image")
    first = os.path.join(WORK, "shot.0001.exr")
    saved = os.path.join(WORK, "look.json")

    look = subprocess.Popen([UMBRIX, "look", os.path.join(WORK, "shot.####.exr"), "--frames", "1-3",
                             "--save-settings", saved, "--threads", "2"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    driver = None
    try:
        line = look.stdout.readline().rstrip("\n")
        match = re.fullmatch(r"umbrix: look at (http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{32})", line)
        assert match, f"printed {line!r}"
        driver = browser()
        driver.get(match.group(1))
        settled(driver)

        # The demo's frames keep the look they were rendered with: the page starts from it, and
        # goes back to the tool's defaults on request.
        started = driver.find_element(By.ID, "started")
        assert started.is_displayed() and "the look stored in shot.0001.exr" in started.text, started.text
        driver.find_element(By.ID, "to-defaults").click()
        WebDriverWait(driver, WAIT).until(lambda d: not started.is_displayed())
        settled(driver)

        # Every control the tool declares, with its default.
        for control in json.loads(run("controls", "--json")):
            shown = row(driver, control["id"])
            kind = control["kind"]
            if kind == "button":
                assert shown.find_element(By.CSS_SELECTOR, ".press").text == control["name"]
                continue
            assert shown.find_element(By.TAG_NAME, "label").text == control["name"]
            default = control["default"]
            if kind == "checkbox":
                assert shown.find_element(By.CSS_SELECTOR, ".check").is_selected() == (default != 0)
            elif kind == "combo":
                menu = shown.find_element(By.CSS_SELECTOR, ".combo")
                assert menu.get_attribute("value") == str(int(default))
                assert [o.text for o in menu.find_elements(By.TAG_NAME, "option")] == control["entries"]
            else:
                number = float(shown.find_element(By.CSS_SELECTOR, ".number").get_attribute("value"))
                assert number == default, (control["id"], number, default)

        # A look: occlusion on, Matrix moved on its slider, Amount typed.
        row(driver, "UseSSAO").find_element(By.CSS_SELECTOR, ".check").click()
        slider = row(driver, "Matrix").find_element(By.CSS_SELECTOR, ".slider")
        slider.click()
        slider.send_keys(Keys.HOME, *[Keys.ARROW_RIGHT] * 8)
        amount = row(driver, "Amount").find_element(By.CSS_SELECTOR, ".number")
        amount.clear()
        amount.send_keys("0.015", Keys.ENTER)
        WebDriverWait(driver, WAIT).until(
            lambda d: row(d, "Matrix").get_attribute("data-value") == "8" and
            row(d, "Amount").get_attribute("data-value") == "0.015")
        settled(driver)

        # Exposure, gamma and zoom change only what is drawn: the probe still reads the floats, under
        # the cursor at any zoom.
        canvas = driver.find_element(By.ID, "picture")
        driver.execute_script("""for (const [id, value] of [["exposure", "2"], ["gamma", "1.8"]]) {
          const field = document.getElementById(id); field.value = value;
          field.dispatchEvent(new Event("input")); }
          document.activeElement.blur();""")
        zoom = lambda: float(driver.execute_script("return document.body.dataset.zoom"))
        fit = zoom()
        ActionChains(driver).send_keys("+").perform()
        assert zoom() == min(16, 2 * fit), (zoom(), fit)
        ActionChains(driver).scroll_from_origin(ScrollOrigin.from_element(canvas, 5, 5), 0, -100).perform()
        WebDriverWait(driver, WAIT).until(lambda d: zoom() > 2 * fit)

        # The probe reads what `umbrix render` writes there, to the bit: zoomed in, then at fit in a
        # window too small for the picture, which then comes at the size shown, in device pixels.
        rendered = os.path.join(WORK, "set.exr")
        run("render", first, "-o", rendered, "--quiet", "--ch", "R,G,B,A,Z", "--set", "UseSSAO=1",
            "--set", "Matrix=8", "--set", "Amount=0.015")
        for fitted in (False, True):
            if fitted:
                ActionChains(driver).send_keys("f").perform()
                assert "chosen" in driver.find_element(By.ID, "fit").get_attribute("class")
                driver.set_window_size(900, 600)
                WebDriverWait(driver, WAIT).until(lambda d: d.execute_script("""
                  const canvas = document.getElementById("picture");
                  const shown = canvas.getBoundingClientRect(), device = window.devicePixelRatio;
                  return document.body.dataset.part.startsWith("0,0,640,360,") && canvas.width < 640 &&
                    Math.abs(shown.width * device - canvas.width) < 1 &&
                    Math.abs(shown.height * device - canvas.height) < 1;"""))
            driver.execute_script("delete document.getElementById('probe').dataset.aBits")
            ActionChains(driver).move_to_element_with_offset(canvas, 37, -21).perform()
            probed = WebDriverWait(driver, WAIT).until(lambda d: d.execute_script(
                "const p = document.getElementById('probe').dataset; return p.aBits && Object.assign({}, p);"))
            values = pixel(rendered, int(probed["x"]), int(probed["y"]))
            for k, name in enumerate(["r", "g", "b", "a", "depth"]):
                assert probed[f"{name}Bits"] == bits(values[k]), (fitted, name)
        driver.set_window_size(1440, 860)

        # Save, then render with the file: the same bits as the page's values.
        driver.find_element(By.ID, "save").click()
        line = WebDriverWait(driver, WAIT).until(lambda d: d.find_element(By.ID, "render-line")).text
        assert line.endswith("--settings " + saved) and "--frames 1-3" in line, line
        again = os.path.join(WORK, "saved.exr")
        run("render", first, "-o", again, "--quiet", "--ch", "R,G,B,A,Z", "--settings", saved)
        assert float_bits(again) == float_bits(rendered)

        # The token travels in a header: the browser keeps no cookie that other ports would get.
        assert driver.get_cookies() == [], driver.get_cookies()

        # Two tabs: B's change comes to A with A's next change, and A's picture is of its values.
        page = match.group(1)
        first_tab = driver.current_window_handle
        driver.switch_to.new_window("tab")
        driver.get(page)
        settled(driver)
        second_tab = driver.current_window_handle
        for tab, control, value in [(first_tab, "Matrix", "7"), (second_tab, "Matrix", "16"),
                                    (first_tab, "Amount", "0.01")]:
            driver.switch_to.window(tab)
            field = row(driver, control).find_element(By.CSS_SELECTOR, ".number")
            field.clear()
            field.send_keys(value, Keys.ENTER)
            WebDriverWait(driver, WAIT).until(lambda d: row(d, control).get_attribute("data-value") == value)
        settled(driver)
        assert row(driver, "Matrix").get_attribute("data-value") == "16"
        shown = driver.execute_script("return document.body.dataset.shown")
        driver.switch_to.window(second_tab)
        WebDriverWait(driver, WAIT).until(lambda d: d.execute_script(
            "return document.body.dataset.shown") == shown)
        assert row(driver, "Amount").get_attribute("data-value") == "0.01"
        assert not driver.find_element(By.ID, "picture").get_attribute("class")
        driver.close()
        driver.switch_to.window(first_tab)

        # A long render shows its progress and stops on Cancel; Render takes it up again.
        field = row(driver, "Matrix").find_element(By.CSS_SELECTOR, ".number")
        field.clear()
        field.send_keys("200", Keys.ENTER)
        progress = driver.find_element(By.ID, "progress")
        WebDriverWait(driver, WAIT).until(lambda d: progress.get_attribute("data-state") == "running")
        assert re.fullmatch(r"rendering: \d+ of 720 rows, \d+\.\d s",
                            driver.find_element(By.ID, "progress-text").text)
        driver.find_element(By.ID, "cancel").click()
        WebDriverWait(driver, WAIT).until(lambda d: progress.get_attribute("data-state") == "cancelled")
        assert "stale" in driver.find_element(By.ID, "picture").get_attribute("class")
        field.clear()
        field.send_keys("8", Keys.ENTER)
        amount = row(driver, "Amount").find_element(By.CSS_SELECTOR, ".number")
        amount.clear()
        amount.send_keys("0.015", Keys.ENTER)
        settled(driver)
        assert not progress.is_displayed()

        # Undo and redo a change; keep a look in slot A and compare it with the controls' look.
        driver.find_element(By.ID, "keep").click()
        field = row(driver, "Matrix").find_element(By.CSS_SELECTOR, ".number")
        field.clear()
        field.send_keys("9", Keys.ENTER)
        WebDriverWait(driver, WAIT).until(lambda d: row(d, "Matrix").get_attribute("data-value") == "9")
        settled(driver)
        assert re.search(r"Matrix +A +8 +B +9 +≠", driver.find_element(By.ID, "compare-values").text)
        driver.execute_script("document.activeElement.blur()")
        ActionChains(driver).send_keys(" ").perform()
        assert driver.execute_script("return document.body.dataset.showing") == "A"
        ActionChains(driver).send_keys(" ").perform()
        for keys, value in [(["z"], "8"), (["y"], "9")]:
            ActionChains(driver).key_down(Keys.CONTROL).send_keys(*keys).key_up(Keys.CONTROL).perform()
            WebDriverWait(driver, WAIT).until(lambda d: row(d, "Matrix").get_attribute("data-value") == value)
        settled(driver)
        assert len(driver.find_elements(By.CSS_SELECTOR, "#keys li")) >= 10

        # Each channel alone, by name.
        Select(driver.find_element(By.ID, "view")).select_by_value("channel:A")
        WebDriverWait(driver, WAIT).until(
            lambda d: d.execute_script("return document.body.dataset.view") == "channel:A")

        # The About button shows the tool's box.
        row(driver, "About").find_element(By.CSS_SELECTOR, ".press").click()
        dialog = driver.find_element(By.ID, "about")
        WebDriverWait(driver, WAIT).until(lambda d: dialog.get_attribute("open") is not None)
        assert driver.find_element(By.ID, "about-caption").text == "About this filter"
        assert driver.find_element(By.ID, "about-text").text.startswith("Umbrix 1.00")
        driver.find_element(By.ID, "about-ok").click()

        # Frames: one that cannot be read says why; the next one shows again.
        frame = driver.find_element(By.ID, "frame")
        frame.send_keys(Keys.ARROW_RIGHT)
        settled(driver, "2")
        error = driver.find_element(By.ID, "frame-error")
        assert error.is_displayed() and "shot.0002.exr" in error.text, error.text
        frame.send_keys(Keys.ARROW_RIGHT)
        settled(driver, "3")
        assert not error.is_displayed() and canvas.is_displayed()
        driver.execute_script("document.activeElement.blur()")
        ActionChains(driver).send_keys("[").perform()
        settled(driver, "2")
        ActionChains(driver).send_keys("]").perform()
        settled(driver, "3")

        Select(driver.find_element(By.ID, "view")).select_by_value("occlusion")
        WebDriverWait(driver, WAIT).until(
            lambda d: d.execute_script("return document.body.dataset.view") == "occlusion")
        driver.execute_script("document.activeElement.blur()")
        ActionChains(driver).send_keys("0").perform()
        driver.save_screenshot(os.path.join(WORK, "look.png"))
    finally:
        if driver:
            driver.quit()
        look.send_signal(signal.SIGTERM)
        _, errors = look.communicate(timeout=WAIT)
    assert look.returncode == 0, f"umbrix look ended with {look.returncode}: {errors}"
    print("look in a browser: passed")


main()
