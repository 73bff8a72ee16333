#!/usr/bin/python3
"""Drives Debian's chromium through the station's web view, as a guard would: a wrong password, a
login, four live tiles that change, a camera without the right, one camera alone, its snapshot
downloaded, the phone layout, the logout. Prints one JSON object with what it saw; screenshots go
to the folder given.

usage: web_browser.py URL LOGIN PASSWORD REFUSED_CAMERA SHOTS_DIR DOWNLOAD_DIR LATENCY_SECONDS
"""
import json
import os
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

url, login, password, refused, shots, downloads, seconds = sys.argv[1:8]
refused, seconds = int(refused), float(seconds)
os.makedirs(shots, exist_ok=True)
seen = {}

options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for arg in ("--headless=new", "--no-sandbox", "--window-size=1280,900", "--ignore-certificate-errors",
            "--user-data-dir=" + tempfile.mkdtemp(prefix="kel-chromium-"), "--lang=pl"):
    options.add_argument(arg)
options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                          "download.prompt_for_download": False})
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
wait = WebDriverWait(driver, 30)


def shot(name):
    driver.save_screenshot(os.path.join(shots, name + ".png"))


try:
    driver.get(url + "/")
    wait.until(lambda d: d.current_url.endswith("/login"))
    seen["redirected_to_login"] = True
    driver.find_element(By.ID, "user").send_keys(login)
    driver.find_element(By.ID, "password").send_keys("zle-haslo")
    driver.find_element(By.ID, "enter").click()
    wait.until(lambda d: d.find_element(By.ID, "error").text != "")
    seen["wrong_password"] = driver.find_element(By.ID, "error").text
    shot("web-login")
    time.sleep(0.5)  # the wait after a refused login

    driver.find_element(By.ID, "password").clear()
    driver.find_element(By.ID, "password").send_keys(password)
    driver.find_element(By.ID, "enter").click()
    wait.until(lambda d: d.current_url.rstrip("/") == url)
    driver.execute_script("localStorage.setItem('kel-layout', '4')")
    driver.find_element(By.CSS_SELECTOR, "#layouts button[data-layout='4']").click()
    # Every tile has had pictures, and they keep coming.
    wait.until(lambda d: d.execute_script(
        "const f = window.kelFrames; return [...document.querySelectorAll('#grid .tile')]"
        ".every(t => (f[t.dataset.camera] || 0) >= 3)"))
    before = driver.execute_script("return Object.assign({}, window.kelFrames)")
    time.sleep(2)
    after = driver.execute_script("return Object.assign({}, window.kelFrames)")
    seen["tiles"] = driver.execute_script(
        "return [...document.querySelectorAll('#grid .tile')].map(t => Number(t.dataset.camera))")
    seen["tiles_changing"] = [n for n in seen["tiles"] if after.get(str(n), 0) > before.get(str(n), 0)]
    seen["names"] = [e.text for e in driver.find_elements(By.CSS_SELECTOR, "#grid .tile .name")]
    seen["key_footer"] = driver.find_element(By.ID, "key").text
    shot("web-live")

    # A camera without the right: the page says so and the station refuses its picture.
    driver.get(url + "/#kamera/%d" % refused)
    wait.until(lambda d: "Brak uprawnień" in d.find_element(By.ID, "message").text)
    seen["refused_text"] = driver.find_element(By.ID, "message").text
    seen["refused_snapshot"] = driver.execute_script(
        "return (await fetch('/api/snapshot?camera=%d')).status" % refused)

    # One camera alone, its snapshot downloaded.
    driver.get(url + "/")
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#grid .tile"))
    first = seen["tiles"][0]
    driver.find_element(By.CSS_SELECTOR, "#grid .tile[data-camera='%d']" % first).click()
    wait.until(lambda d: (d.execute_script("return window.kelFrames[%d] || 0" % first) or 0) >= 3)
    seen["single"] = driver.find_element(By.ID, "single-name").text
    shot("web-camera")
    driver.find_element(By.ID, "snapshot").click()
    end = time.time() + 20
    while time.time() < end:
        done = [f for f in os.listdir(downloads) if f.endswith(".jpg")]
        if done:
            break
        time.sleep(0.2)
    seen["downloads"] = sorted(f for f in os.listdir(downloads) if f.endswith(".jpg"))

    # The time pictures take from capture to the screen, over the layout of four.
    driver.get(url + "/#")
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#grid .tile"))
    time.sleep(seconds)
    seen["latency"] = driver.execute_script("return window.kelLatency()")

    # Yesterday's recordings: the day's time line, a click on it, pictures played from there.
    driver.get(url + "/#nagrania")
    wait.until(lambda d: d.execute_script("return !!window.kelDay && window.kelDay.stretches.length > 0"))
    seen["stretches"] = driver.execute_script("return window.kelDay.stretches.length")
    driver.execute_script(
        "const t = document.getElementById('timeline'), r = t.getBoundingClientRect();"
        "const s = window.kelDay.stretches[0];"
        "t.dispatchEvent(new MouseEvent('click', {clientX: r.left + s[0] / 86400000 * r.width,"
        " clientY: r.top + 20, bubbles: true}));")
    wait.until(lambda d: d.execute_script("return window.kelPlayed") >= 5)
    seen["played_from"] = driver.execute_script(
        "const s = window.kelDay.stretches[0]; return [window.kelDay.dayMs + s[0], window.kelDay.dayMs + s[1]]")
    seen["played_at"] = driver.execute_script("return window.kelPlayedAt")
    seen["played_in_stretch"] = driver.execute_script(
        "const s = window.kelDay.stretches[0], d = window.kelDay.dayMs;"
        "const at = Date.parse(window.kelPlayedAt.replace(' ', 'T') + 'Z') + 25569 * 86400000;"
        "return at >= d + s[0] - 1000 && at <= d + s[1] + 1000")
    shot("web-recorded")
    # The stretch as evidence: from a second before it to a second after.
    driver.execute_script(
        "const s = window.kelDay.stretches[0];"
        "setTime('rec-from', s[0] - 1000); setTime('rec-to', s[1] + 1000); updateDownload();")
    driver.find_element(By.ID, "rec-download").click()
    end = time.time() + 60
    while time.time() < end and not [f for f in os.listdir(downloads) if f.endswith(".zip")]:
        time.sleep(0.2)
    seen["evidence"] = sorted(f for f in os.listdir(downloads) if f.endswith(".zip"))
    driver.find_element(By.ID, "rec-back").click()

    driver.set_window_size(390, 844)
    time.sleep(1)
    seen["phone_columns"] = driver.execute_script(
        "return getComputedStyle(document.getElementById('grid')).gridTemplateColumns.split(' ').length")
    shot("web-phone")

    driver.set_window_size(1280, 900)
    driver.find_element(By.ID, "logout").click()
    wait.until(lambda d: d.current_url.endswith("/login"))
    seen["after_logout"] = driver.execute_script("return (await fetch('/api/state')).status")
    seen["console_errors"] = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"
                              and "Failed to load resource" not in e["message"]]
except Exception as error:  # reported to the test with what was seen so far
    seen["error"] = repr(error)
    shot("web-failure")
finally:
    driver.quit()
print(json.dumps(seen))
