#!/usr/bin/python3
"""The web page in Debian's headless Chromium: the canvas against dorvanta-render, keys and the
address, Back, a damaged link, opening a .dat, downloading the PNG and the SVG, the console.

DORVANTA_RENDER names dorvanta-render, DORVANTA_WEB_DIR the built page. With DORVANTA_SCREENSHOTS
set to a folder, screenshots at 1200 x 900 and at 390 x 844 (device scale 3) are left there, and
DORVANTA_TIMINGS=1 prints the page's measured times."""
import base64
import os
import pathlib
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

RENDER = os.environ["DORVANTA_RENDER"]
RANDOM_COLOURS = os.environ["DORVANTA_RANDOM_COLOURS"]
WEB_DIR = os.environ["DORVANTA_WEB_DIR"]
SERVE = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "serve-web"


def bmp_rows_as_rgb(path, width, height):
    """Top-down RGB bytes of a 24-bit BMP file."""
    data = pathlib.Path(path).read_bytes()
    offset = int.from_bytes(data[10:14], "little")
    stride = (width * 3 + 3) // 4 * 4
    out = bytearray()
    for y in range(height - 1, -1, -1):
        row = data[offset + y * stride: offset + y * stride + width * 3]
        for x in range(0, width * 3, 3):
            out += bytes((row[x + 2], row[x + 1], row[x]))
    return bytes(out)


def dat_of_address(url):
    packed = url.split("#f=", 1)[1].split("&", 1)[0]
    return zlib.decompress(base64.urlsafe_b64decode(packed + "=" * (-len(packed) % 4)), -15)


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = pathlib.Path(cls.tmp.name)
        cls.server = subprocess.Popen([sys.executable, str(SERVE), WEB_DIR, "0"], stdout=subprocess.PIPE, text=True)
        cls.addClassCleanup(cls.server.wait)
        cls.addClassCleanup(cls.server.terminate)
        cls.addClassCleanup(cls.tmp.cleanup)
        cls.url = cls.server.stdout.readline().split(": ", 1)[1].strip()
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     f"--user-data-dir={cls.dir / 'profile'}", "--window-size=1200,900"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.addClassCleanup(cls.driver.quit)
        cls.downloads = cls.dir / "downloads"
        cls.downloads.mkdir()
        cls.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": str(cls.downloads)})
        cls.size(1200, 900, 1)

    @classmethod
    def size(cls, width, height, scale, mobile=False):
        cls.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": width, "height": height, "deviceScaleFactor": scale, "mobile": mobile})

    def painted(self):
        return int(self.driver.execute_script("return Number(document.body.dataset.painted ?? 0)"))

    def wait_for_painting(self, after, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            if self.painted() > after and self.driver.execute_script("return window.dorvanta && !document.hidden"):
                time.sleep(0.05)
                return
            time.sleep(0.02)
        self.fail(f"no new picture within {timeout} s")

    def canvas_rgb(self):
        data = self.driver.execute_script("""
            const c = document.getElementById('figure');
            // Read through a copy made for reading, so that the page's own canvas stays as it is.
            const copy = new OffscreenCanvas(c.width, c.height);
            const context = copy.getContext('2d', { willReadFrequently: true });
            context.drawImage(c, 0, 0);
            const rgba = context.getImageData(0, 0, c.width, c.height).data;
            const rgb = new Uint8Array(c.width * c.height * 3);
            for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) { rgb[j] = rgba[i]; rgb[j + 1] = rgba[i + 1]; rgb[j + 2] = rgba[i + 2]; }
            let s = ''; for (let i = 0; i < rgb.length; i += 8192) s += String.fromCharCode(...rgb.subarray(i, i + 8192));
            return [c.width, c.height, btoa(s)];""")
        return data[0], data[1], base64.b64decode(data[2])

    def native_rgb(self, dat, width, height, name="native"):
        path = self.dir / f"{name}.dat"
        path.write_bytes(dat)
        bmp = self.dir / f"{name}.bmp"
        subprocess.run([RENDER, "--quiet", str(path), "-o", str(bmp), "--size", f"{width}x{height}"], check=True)
        return bmp_rows_as_rgb(bmp, width, height)

    def assert_canvas_is_native(self):
        width, height, rgb = self.canvas_rgb()
        dat = dat_of_address(self.driver.current_url)
        self.assertEqual(rgb, self.native_rgb(dat, width, height), "canvas differs from dorvanta-render")
        return width, height, dat

    def press(self, *keys):
        before = self.painted()
        self.driver.find_element(By.ID, "figure").send_keys(*keys)
        self.wait_for_painting(before)

    def console_problems(self):
        return [entry for entry in self.driver.get_log("browser") if entry["level"] in ("SEVERE", "WARNING")]

    def download(self, kind, suffix):
        for old in self.downloads.iterdir():
            old.unlink()
        self.driver.find_element(By.CSS_SELECTOR, "#downloads summary").click()
        self.driver.find_element(By.CSS_SELECTOR, f'[data-download="{kind}"]').click()
        end = time.time() + 20
        while time.time() < end:
            done = [p for p in self.downloads.iterdir() if p.name.endswith(suffix)]
            if done and done[0].stat().st_size > 0:
                time.sleep(0.2)
                return done[0]
            time.sleep(0.05)
        self.fail(f"no {suffix} downloaded")

    def test_page(self):
        d = self.driver
        d.get(self.url + "?seed=1234")
        self.wait_for_painting(0)
        # The default figure at the window's device pixels, as dorvanta-render paints it.
        width, height, first_dat = self.assert_canvas_is_native()
        self.assertEqual((width, height), (1200, 900))
        first_url = d.current_url

        # Keys: Un up by one and by ten, zoom out; the address follows, each picture exact.
        self.press(Keys.ARROW_RIGHT)
        _, _, right_dat = self.assert_canvas_is_native()
        time.sleep(0.7)  # a new step of the history
        self.press(Keys.CONTROL, Keys.ARROW_UP)
        self.press(Keys.PAGE_UP)
        _, _, dat = self.assert_canvas_is_native()
        self.assertNotEqual(d.current_url, first_url)
        self.assertIn(b"\r\n", dat)
        # A digit paints that order alone; Tab shows the centre rectangles without painting.
        self.press("3")
        _, _, order_dat = self.assert_canvas_is_native()
        d.find_element(By.ID, "figure").send_keys(Keys.TAB)
        time.sleep(0.3)
        self.assertEqual(d.execute_script("return window.dorvanta.state().mode"), 0)
        d.find_element(By.ID, "figure").send_keys(Keys.ESCAPE)

        # Back steps through the exploration (keys close together make one step) to the first
        # figure, each picture exact; Forward goes the other way.
        seen = [first_dat, right_dat, dat, order_dat]
        index = len(seen) - 1
        for _ in range(len(seen)):
            before = self.painted()
            d.back()
            self.wait_for_painting(before)
            now = dat_of_address(d.current_url)
            self.assertIn(now, seen[:index])
            index = seen.index(now)
            self.assert_canvas_is_native()
            if index == 0:
                break
        self.assertEqual(index, 0)
        before = self.painted()
        d.forward()
        self.wait_for_painting(before)
        self.assertIn(dat_of_address(d.current_url), seen[1:])

        # Q: the desktop's random colouring from the page's seeded generator, a step of the
        # history of its own; Back returns to the figure before it.
        uncoloured = dat_of_address(d.current_url)
        shown = self.canvas_rgb()
        time.sleep(0.7)
        self.press("Q")
        _, _, coloured = self.assert_canvas_is_native()
        self.assertNotEqual(self.canvas_rgb(), shown)
        (self.dir / "uncoloured.dat").write_bytes(uncoloured)
        subprocess.run([RANDOM_COLOURS, "1234", "1", str(self.dir / "uncoloured.dat"), str(self.dir / "coloured.dat")], check=True)
        self.assertEqual(coloured, (self.dir / "coloured.dat").read_bytes())
        before = self.painted()
        d.back()
        self.wait_for_painting(before)
        self.assertEqual(dat_of_address(d.current_url), uncoloured)
        self.assertEqual(self.canvas_rgb(), shown)

        # A damaged link: a message, and the figure stays.
        shown = self.canvas_rgb()
        d.execute_script("location.hash = '#f=' + 'Zm9v'.repeat(3)")
        time.sleep(0.5)
        message = d.find_element(By.ID, "message")
        self.assertTrue(message.is_displayed())
        self.assertIn("link", message.text)
        self.assertEqual(self.canvas_rgb(), shown)
        d.find_element(By.ID, "message-close").click()

        # Opening a .dat through the file input paints its figure at the window's size.
        opened = self.dir / "opened.dat"
        core_dat = self.dir / "made.dat"
        subprocess.run([RENDER, "--quiet", "-o", str(self.dir / "x.bmp"), "--save-dat", str(core_dat)], check=True)
        text = core_dat.read_bytes().replace(b"Comment", b"Comment", 1)
        opened.write_bytes(text.replace(b"\r\n", b"\r\n", 1))
        before = self.painted()
        d.find_element(By.ID, "open-file").send_keys(str(opened))
        self.wait_for_painting(before)
        self.assert_canvas_is_native()

        # A file that is no figure: a clear message, the figure stays.
        junk = self.dir / "junk.png"
        junk.write_bytes(b"\x89PNG\r\n\x1a\n" + b"\0" * 40)
        shown = self.canvas_rgb()
        d.find_element(By.ID, "open-file").send_keys(str(junk))
        time.sleep(0.5)
        self.assertTrue(d.find_element(By.ID, "message").is_displayed())
        self.assertEqual(self.canvas_rgb(), shown)
        d.find_element(By.ID, "message-close").click()

        # The PNG download opens in dorvanta-render as its figure, with the canvas's pixels.
        self.press(Keys.ARROW_DOWN)
        width, height, dat = self.assert_canvas_is_native()
        png = self.download("png", ".png")
        repainted = self.dir / "repainted.bmp"
        subprocess.run([RENDER, "--quiet", str(png), "-o", str(repainted), "--save-dat", str(self.dir / "png.dat")], check=True)
        self.assertEqual((self.dir / "png.dat").read_bytes(), dat)
        self.assertEqual(bmp_rows_as_rgb(repainted, width, height), self.canvas_rgb()[2])
        if subprocess.run(["which", "pngcheck"], capture_output=True).returncode == 0:
            subprocess.run(["pngcheck", "-q", str(png)], check=True)

        # The SVG download is the text dorvanta-render writes for the figure.
        svg = self.download("svg", ".svg")
        native_svg = self.dir / "native.svg"
        (self.dir / "svg.dat").write_bytes(dat)
        subprocess.run([RENDER, "--quiet", str(self.dir / "svg.dat"), "-o", str(native_svg), "--size", f"{width}x{height}"], check=True)
        self.assertEqual(svg.read_bytes(), native_svg.read_bytes())

        if os.environ.get("DORVANTA_TIMINGS"):
            self.report_timings()
        self.assertEqual(self.console_problems(), [])

    def report_timings(self):
        d = self.driver
        d.get(self.url.rstrip("/") + "/")
        d.refresh()
        self.wait_for_painting(0)
        for _ in range(30):
            self.press(Keys.ARROW_RIGHT)
        t = d.execute_script("return window.dorvanta.timings")
        median = lambda values: sorted(values)[len(values) // 2]
        print(f"first picture {t['firstPicture']:.0f} ms (core ready {t['coreReady']:.0f} ms); key to picture median "
              f"{median(t['keyToPicture']):.0f} ms (max {max(t['keyToPicture']):.0f}); 1200x900 in the worker: painting "
              f"median {median(t['paintOnlyMs'][10:]):.1f} ms, with its copies {median(t['paintMs'][10:]):.0f} ms", file=sys.stderr)

    def test_screenshots(self):
        folder = os.environ.get("DORVANTA_SCREENSHOTS")
        if not folder:
            self.skipTest("DORVANTA_SCREENSHOTS not set")
        d = self.driver
        for name, (width, height, scale, mobile) in {"page-1200x900": (1200, 900, 1, False),
                                                     "page-390x844": (390, 844, 3, True)}.items():
            self.size(width, height, scale, mobile)
            d.get(self.url)
            d.refresh()
            self.wait_for_painting(0)
            d.save_screenshot(str(pathlib.Path(folder) / f"{name}.png"))
            d.find_element(By.ID, "settings-button").click()
            time.sleep(0.3)
            d.save_screenshot(str(pathlib.Path(folder) / f"{name}-settings.png"))
            d.find_element(By.ID, "colours-button").click()
            time.sleep(0.3)
            d.save_screenshot(str(pathlib.Path(folder) / f"{name}-colours.png"))
        self.size(1200, 900, 1)
        self.assertEqual(self.console_problems(), [])


if __name__ == "__main__":
    unittest.main()
