#!/usr/bin/env python3
"""The workspace in a real browser (headless Chromium driven by Selenium).

browser_test.py TABVORA ARTIFACTS DATA: opens a CSV, scrolls to its last row, sorts, filters,
edits a cell, saves and reads the file back with `tabvora query`; runs two SQL console tabs;
switches the theme; saves on an XLSX and sees the refusal. Keeps a screenshot in ARTIFACTS.
Exits 77 (skipped) when Chromium, its driver or Selenium is missing.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.support.ui import WebDriverWait, Select
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import StaleElementReferenceException
except ImportError:
    print("skipped: python3-selenium is not installed")
    sys.exit(77)

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
if not CHROMIUM or not DRIVER:
    print("skipped: chromium or chromium-driver is not installed")
    sys.exit(77)

TABVORA, ARTIFACTS, DATA = sys.argv[1], sys.argv[2], sys.argv[3]
ROWS = 1200


def serve(path):
    """tabvora open PATH --no-browser, and the address it prints first."""
    process = subprocess.Popen([TABVORA, "open", str(path), "--no-browser"], stdout=subprocess.PIPE, text=True)
    url = process.stdout.readline().strip()
    assert url.startswith("http://127.0.0.1:") and "token=" in url, url
    return process, url


def stop(process):
    process.send_signal(signal.SIGTERM)
    assert process.wait(timeout=20) == 0


def by_testid(driver, name, many=False):
    selector = f'[data-testid="{name}"]'
    return driver.find_elements(By.CSS_SELECTOR, selector) if many else driver.find_element(By.CSS_SELECTOR, selector)


def main():
    folder = tempfile.mkdtemp(prefix="tabvora-browser-")
    os.makedirs(ARTIFACTS, exist_ok=True)
    csv = os.path.join(folder, "people.csv")
    with open(csv, "w") as out:
        out.write("id,name,score\n")
        for i in range(1, ROWS + 1):
            out.write(f"{i},name{i},{(i * 37) % 1000}\n")

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     f"--user-data-dir={folder}/profile", "--window-size=1280,800"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    # The grid redraws its rows as pages arrive: an element found a moment ago may be gone.
    wait = WebDriverWait(driver, 30, ignored_exceptions=(StaleElementReferenceException,))
    server, url = serve(csv)
    try:
        driver.get(url)
        wait.until(lambda d: len(by_testid(d, "grid-row", True)) > 5)
        # The first rows come at once; the whole file's count once it is loaded.
        wait.until(lambda d: "1,200 rows" in by_testid(d, "table-list").text)
        wait.until(lambda d: not by_testid(d, "progress").is_displayed() and "1,200 rows" in d.find_element(By.ID, "footer").text)

        # The last row, by scrolling.
        driver.execute_script("const g = document.getElementById('grid'); g.scrollTop = g.scrollHeight;")
        wait.until(lambda d: any(r.text.startswith(f"{ROWS}\n") for r in by_testid(d, "grid-row", True)))

        # Sort by score, descending: two clicks.
        header = [h for h in by_testid(driver, "column-header", True) if h.get_attribute("data-name") == "score"][0]
        header.click()
        wait.until(lambda d: by_testid(d, "column-header", True)[2].get_attribute("aria-sort") == "ascending")
        by_testid(driver, "column-header", True)[2].click()
        wait.until(lambda d: by_testid(d, "column-header", True)[2].get_attribute("aria-sort") == "descending")
        wait.until(lambda d: by_testid(d, "grid-cell", True)[2].text == "999")

        # Quick search, then an edit of the one row it keeps.
        by_testid(driver, "search").send_keys("name1111")
        wait.until(lambda d: len(by_testid(d, "grid-row", True)) == 1)
        cell = by_testid(driver, "grid-cell", True)[1]
        ActionChains(driver).double_click(cell).perform()
        editor = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, '[data-testid="grid-cell"] input'))
        editor.send_keys(Keys.CONTROL, "a")
        editor.send_keys("renamed", Keys.ENTER)
        wait.until(lambda d: by_testid(d, "unsaved").is_displayed())
        by_testid(driver, "save").click()
        wait.until(lambda d: by_testid(d, "message").text == "Saved.")
        answer = subprocess.run([TABVORA, "query", csv, "SELECT name FROM people WHERE id = 1111"],
                                capture_output=True, text=True, check=True).stdout
        assert answer == "name\nrenamed\n", answer

        # The SQL console with two tabs.
        driver.find_element(By.CSS_SELECTOR, '[data-mode="SQL Console"]').click()
        editor = by_testid(driver, "sql-editor")
        editor.clear()
        editor.send_keys("SELECT count(*) AS n FROM people", Keys.CONTROL, Keys.ENTER)
        wait.until(lambda d: "1200" in by_testid(d, "sql-result").text)
        by_testid(driver, "sql-new-tab").click()
        editor.clear()
        editor.send_keys("SELECT max(score) AS top FROM people")
        by_testid(driver, "sql-run").click()
        wait.until(lambda d: "999" in by_testid(d, "sql-result").text)
        by_testid(driver, "sql-tab", True)[0].click()
        wait.until(lambda d: "1200" in by_testid(d, "sql-result").text)
        # A statement that would run for ages, cancelled.
        editor.clear()
        editor.send_keys("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4e9) SELECT count(*) FROM n")
        by_testid(driver, "sql-run").click()
        wait.until(lambda d: by_testid(d, "sql-cancel").is_displayed())
        by_testid(driver, "sql-cancel").click()
        wait.until(lambda d: "cancelled" in by_testid(d, "sql-result").text)

        # The theme, remembered.
        Select(by_testid(driver, "theme")).select_by_visible_text("Dark")
        driver.refresh()
        wait.until(lambda d: d.execute_script("return document.documentElement.dataset.theme") == "Dark")
        wait.until(lambda d: len(by_testid(d, "grid-row", True)) > 5)
        driver.save_screenshot(os.path.join(ARTIFACTS, "workspace.png"))
    finally:
        stop(server)

    workbook = os.path.join(folder, "book.xlsx")
    shutil.copy(os.path.join(DATA, "spreadsheet", "libreoffice.xlsx"), workbook)
    before = open(workbook, "rb").read()
    server, url = serve(workbook)
    try:
        driver.get(url)
        wait.until(lambda d: len(by_testid(d, "grid-row", True)) > 0)
        driver.find_element(By.ID, "insert-row").click()
        wait.until(lambda d: by_testid(d, "unsaved").is_displayed())
        by_testid(driver, "save").click()
        wait.until(lambda d: by_testid(d, "message").text not in ("", "Saved."))
        assert open(workbook, "rb").read() == before
    finally:
        stop(server)
        driver.quit()
        shutil.rmtree(folder, ignore_errors=True)
    print("browser test passed")


if __name__ == "__main__":
    started = time.monotonic()
    main()
    print(f"{time.monotonic() - started:.1f} s")
