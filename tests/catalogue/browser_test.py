#!/usr/bin/python3
"""Drives a catalogue page in headless Chromium: search, sort, filters, the tree, the keyboard and
the fragment (a reload keeps the view); that no name's markup or script ever runs; that the page
asks for nothing but itself and breaks no rule of its Content-Security-Policy.

    tests/catalogue/browser_test.py                    # a page made of tests/catalogue/hostile.json
    tests/catalogue/browser_test.py --page PAGE.html   # any catalogue page, say one the program wrote
    tests/catalogue/browser_test.py --data DATA.json   # a page made of that data
    tests/catalogue/browser_test.py --program quaverly-list --folder tests/data
        # the program's catalogue of that folder, and of a tree of hostile names it makes
"""
import argparse
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--window-size=1400,900"]
HOSTILE_NAME = "03 </script><img src=x onerror=alert(1)>.mp3"

failures = []


def check(condition, what):
    print(("ok      " if condition else "FAILED  ") + what)
    if not condition:
        failures.append(what)


def make_page(data, directory):
    page = directory / "page.html"
    subprocess.run(["cmake", f"-DDATA={data}", f"-DPAGE={page}", "-P",
                    str(ROOT / "res/catalogue/embed_catalogue.cmake")], check=True)
    return page


def start_browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in FLAGS + ["--user-data-dir=" + str(profile)]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class Page:
    def __init__(self, driver):
        self.d = driver

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def wait_ready(self):
        deadline = time.time() + 120
        while not self.js("return document.documentElement.dataset.ready === '1'"):
            if time.time() > deadline:
                raise RuntimeError("the page showed no rows")
            time.sleep(0.05)
        self.settle()

    def settle(self):
        self.d.execute_async_script(
            "const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(done));")

    def status(self):
        return self.js("return document.getElementById('status').textContent")

    def in_view(self):
        return int(self.status().split(" of ")[0].replace(",", ""))

    def column(self, column_id):
        """The texts of a column in the rows drawn, in row order."""
        return self.js("""
            const cols = [...document.querySelectorAll('#table .head [data-column]')].map(c => c.dataset.column);
            const at = cols.indexOf(arguments[0]);
            if (at < 0) return null;
            return [...document.querySelectorAll('#table .body .row')]
                .sort((a, b) => a.dataset.row - b.dataset.row)
                .map(r => r.children[at].textContent);""", column_id)

    def set_input(self, element_id, value):
        self.js("""const e = document.getElementById(arguments[0]); e.value = arguments[1];
                   e.dispatchEvent(new Event(e.tagName === 'SELECT' ? 'change' : 'input'));""",
                element_id, value)
        self.settle()

    def sort_by(self, column_id):
        self.d.find_element(By.CSS_SELECTOR, f"#table .head [data-column='{column_id}']").click()
        self.settle()


def check_nothing_ran(driver, page, what):
    """No alert opened and no element was made of `what`."""
    try:
        driver.switch_to.alert
        check(False, f"no alert opens on {what}")
    except NoAlertPresentException:
        check(True, f"no alert opens on {what}")
    check(page.js("return document.querySelectorAll('img, iframe, object, embed').length") == 0,
          f"no element made from {what}")


def numbers(texts):
    return [float(t) for t in texts if t != ""]


def run(page_path, markup_name=HOSTILE_NAME):
    profile = pathlib.Path(tempfile.mkdtemp(prefix="catalogue-test-"))
    driver = start_browser(profile)
    url = page_path.resolve().as_uri()
    try:
        driver.get(url)
        p = Page(driver)
        p.wait_ready()
        total = p.in_view()
        check(total > 0, f"the page shows its files ({p.status()})")

        # Names are text: nothing of them runs or becomes an element.
        check_nothing_ran(driver, p, "a name")
        check(p.js("return document.scripts.length") == 1, "only the page's own script is in the document")
        names = p.js("return [...document.querySelectorAll('#table .body .row .cell:first-child')].map(c => c.textContent)")
        if any("onerror" in n for n in names):
            check(markup_name in names, "a name with markup in it is shown as it is")
        if p.js("return !!document.querySelector('#table .mark')"):
            check(any("\u27e8U+202E\u27e9" in n for n in names), "a right-to-left override is shown as a marker")

        # Sorting: click a header, again to reverse; absent values stay last.
        p.sort_by("bitrate")
        up = numbers(p.column("bitrate"))
        check(up == sorted(up), "sorted by bitrate")
        p.sort_by("bitrate")
        down = numbers(p.column("bitrate"))
        check(down == sorted(down, reverse=True), "sorted by bitrate, reversed")
        check("reversed" in p.status(), "the status says the order")

        # Search: a word of a name shown finds that name, and the view narrows.
        name = p.column("name")[0]
        word = max(name.rsplit(".", 1)[0].split(), key=len)
        p.set_input("search", word.upper())
        check(0 < p.in_view() <= total and name in p.column("name"), f"search for {word!r}")
        p.set_input("search", "no such text anywhere \u2603")
        check(p.in_view() == 0 and p.js("return !document.getElementById('empty').hidden"), "a search that finds nothing")
        p.set_input("search", "")
        check(p.in_view() == total, "an empty search shows all again")

        # Filters.
        p.set_input("below", "160")
        rates = numbers(p.column("bitrate"))
        check(all(0 < r < 160 for r in rates), "bitrate below 160")
        p.set_input("below", "")
        p.set_input("mode", "VBR")
        check(all(m.startswith("VBR") for m in p.column("mode")), "mode VBR")
        p.set_input("mode", "")
        p.set_input("health", "any")
        findings = p.in_view()
        check(p.js("return [...document.querySelectorAll('#table .body .row')].every(r => r.classList.contains('finding'))"),
              f"health: any finding ({findings} files)")
        p.set_input("health", "")
        p.js("document.getElementById('nocover').click()")
        p.settle()
        check(p.in_view() <= total, "no cover")
        p.js("document.getElementById('nocover').click()")
        p.settle()

        # The tree: a folder chosen shows its files and those below it only.
        rows = p.js("return document.querySelectorAll('#tree .row').length")
        if rows > 1:
            second = driver.find_element(By.CSS_SELECTOR, "#tree .row[data-row='1'] .name")
            label = second.text
            second.click()
            p.settle()
            path = p.js("return document.querySelector('#tree .row.selected').title.split('\\n')[0]")
            folders = p.column("folder")
            check(p.in_view() <= total and all(f == path or f.startswith(path + "/") or f.startswith(path + "\\")
                                                 for f in folders), f"the folder {label!r} shows its files")
            trail = p.js("return [...document.querySelectorAll('#folder-info .crumb')].pop().textContent")
            check(trail == label, "the trail names the folder")
            # Keyboard: to the top with the arrow keys, Enter chooses it.
            tree = driver.find_element(By.ID, "tree")
            tree.send_keys(Keys.ARROW_UP, Keys.ENTER)
            p.settle()
            check(p.in_view() == total, "up and Enter in the tree choose the top")
            tree.send_keys(Keys.ARROW_DOWN, Keys.ENTER)
            p.settle()

        # The fragment: a reload opens the same view.
        p.set_input("search", word)
        p.sort_by("size")
        before = (p.status(), p.column("name"), driver.execute_script("return location.hash"))
        driver.refresh()
        p.wait_ready()
        after = (p.status(), p.column("name"), driver.execute_script("return location.hash"))
        check(before == after and p.js("return document.getElementById('search').value") == word,
              "a reload keeps the view " + after[2][:80])
        driver.execute_script("location.hash = 'q=' + encodeURIComponent(arguments[0])", "\u202e</script>")
        p.settle()
        check(p.js("return document.getElementById('search').value") == "\u202e</script>", "a changed fragment is followed")

        # Keys: "/" goes to the search; down in the table moves the row chosen.
        driver.execute_script("location.hash = ''")
        p.settle()
        driver.find_element(By.TAG_NAME, "body").send_keys("/")
        check(p.js("return document.activeElement.id") == "search", "/ goes to the search")
        table = driver.find_element(By.ID, "table")
        table.send_keys(Keys.ARROW_DOWN, Keys.ARROW_DOWN)
        p.settle()
        check(p.js("return document.querySelector('#table .row.selected').dataset.row") == "1"
              and p.js("return !document.getElementById('details').hidden"), "down keys choose a row, its facts shown")

        # Nothing but the page itself was asked for; no rule of the policy was broken.
        urls = set()
        for entry in driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            # The browser's own pages (the new tab first) ask for theirs; only the page's count.
            if message["method"] == "Network.requestWillBeSent" and \
                    message["params"].get("documentURL", "").split("#")[0] == url:
                urls.add(message["params"]["request"]["url"].split("#")[0])
        check(urls == {url}, "no request but the page: " + ", ".join(sorted(urls - {url})))
        console = driver.get_log("browser")
        check(not [e for e in console if "Content Security Policy" in e["message"] or e["level"] == "SEVERE"],
              "no error and no policy violation in the console: " + "; ".join(e["message"] for e in console))
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


# Hostile names in a tree, each with what the page must show of it: "</script>" is the folder
# "<" and a file in it, since a name holds no "/".
HOSTILE_TREE = [
    (b"<", b"script><img src=x onerror=alert(1)>.mp3", "script><img src=x onerror=alert(1)>.mp3"),
    (b"", b"<!-- open.mp3", "<!-- open.mp3"),
    (b"", "line\u2028break.mp3".encode(), "line\u27e8U+2028\u27e9break.mp3"),
    (b"", "song\u202eexe.mp3".encode(), "song\u27e8U+202E\u27e9exe.mp3"),
    (b"", b"bad \xff byte.mp3", "bad \ufffd byte.mp3"),
    (b"", b"&amp; \"quoted\".mp3", "&amp; \"quoted\".mp3"),
    # Two folders whose names are the same text, U+FFFD, and other bytes.
    (b"\x80", b"one.mp3", "one.mp3"),
    (b"\x81", b"two.mp3", "two.mp3"),
]


def program_pages(program, folder, work):
    """The program's catalogues of `folder` and of a tree of HOSTILE_TREE, the second with the
    links each name must have."""
    pages = []
    tree = work / "hostile"
    song = (folder / "vbr_xing_44100.mp3").read_bytes()
    for where, name, _ in HOSTILE_TREE:
        directory = bytes(tree) + b"/" + where
        pathlib.Path(directory.decode("utf-8", "surrogateescape")).mkdir(parents=True, exist_ok=True)
        with open(directory + b"/" + name, "wb") as out:
            out.write(song)
    # A link back up the tree: a folder the walk does not list, and says so.
    (tree / "loop").symlink_to(".")
    for listed, page, status in ((folder, work / "data.html", 0), (tree, work / "hostile.html", 1)):
        run_ = subprocess.run([str(program), "-f", "catalogue", "-o", str(page), str(listed)],
                              capture_output=True)
        check(run_.returncode == status, f"the program's catalogue of {listed.name} "
                                         + run_.stderr.decode(errors="replace"))
        pages.append(page)
    return pages


def check_hostile_names(page_path):
    """Each hostile name shown as it is, as text, with a link to its bytes."""
    profile = pathlib.Path(tempfile.mkdtemp(prefix="catalogue-test-"))
    driver = start_browser(profile)
    try:
        driver.get(page_path.resolve().as_uri())
        p = Page(driver)
        p.wait_ready()
        shown = p.js("""return [...document.querySelectorAll('#table .body .row .cell:first-child')]
                        .map(c => [c.textContent, (c.querySelector('a') || {}).href || null])""")
        names = {text: href for text, href in shown}
        for where, name, text in HOSTILE_TREE:
            href = names.get(text)
            check(href is not None and urllib.parse.unquote_to_bytes(href).endswith(
                b"/hostile/" + b"/".join(part for part in (where, name) if part)),
                f"{text!r} shown as it is, linked to its bytes ({href})")
        check_nothing_ran(driver, p, "a hostile name")
        check(p.js("return !document.getElementById('incomplete').hidden && "
                   "document.getElementById('incomplete-list').textContent.startsWith('loop: ')"),
              "the page says which folder could not be read")
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--page", type=pathlib.Path, help="a catalogue page to test")
    parser.add_argument("--data", type=pathlib.Path, default=HERE / "hostile.json",
                        help="data to make the page of, without --page")
    parser.add_argument("--program", type=pathlib.Path, help="quaverly-list, to make the pages")
    parser.add_argument("--folder", type=pathlib.Path, default=ROOT / "tests/data",
                        help="the folder the program lists, with --program")
    args = parser.parse_args()
    work = pathlib.Path(tempfile.mkdtemp(prefix="catalogue-page-"))
    try:
        if args.program:
            data_page, hostile_page = program_pages(args.program.resolve(), args.folder.resolve(), work)
            run(data_page)
            run(hostile_page, HOSTILE_TREE[0][2])
            check_hostile_names(hostile_page)
        run(args.page or make_page(args.data.resolve(), work))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
