#!/usr/bin/python3
"""The web page in Debian's headless Chromium: the canvas against dorvanta-render, keys and the
address, Back, a damaged link, opening a .dat, touch, the colour panel's wheel and drag,
downloading the PNG, the SVG and the plotter SVG, the console.

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
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
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

    def gesture(self, *frames):
        """One touch gesture through Chromium's touch emulation: the fingers' points per frame,
        from the touch start to the last move; all fingers leave together."""
        d = self.driver
        d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": True, "maxTouchPoints": 5})
        for n, points in enumerate(frames):
            d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchMove" if n else "touchStart", "touchPoints": [
                {"x": x, "y": y, "id": i} for i, (x, y) in enumerate(points)]})
        d.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})
        d.execute_cdp_cmd("Emulation.setTouchEmulationEnabled", {"enabled": False})

    def state(self):
        return self.driver.execute_script("return window.dorvanta.state()")

    def acted(self, action):
        """Runs an action of the page and waits for the picture it paints."""
        before = self.painted()
        action()
        self.wait_for_painting(before)

    def test_page(self):
        d = self.driver
        d.get(self.url + "?seed=1234")
        self.wait_for_painting(0)
        # The default figure at the window's device pixels, as dorvanta-render paints it.
        width, height, first_dat = self.assert_canvas_is_native()
        self.assertEqual((width, height), (1200, 900))
        first_url = d.current_url

        # Keys, each picture exact: Un up by one and by ten, zoom out, a digit paints that order
        # alone and Alt+Page Down (Ctrl+Page Down on the desktop) the next lower order alone.
        seen = [first_dat]
        for keys, pause, fields in [((Keys.ARROW_RIGHT,), 0.7, {}), ((Keys.CONTROL, Keys.ARROW_UP), 0, {}),
                                    ((Keys.PAGE_UP,), 0, {}), (("3",), 0, {"currentOrder": 3}),
                                    ((Keys.ALT, Keys.PAGE_DOWN), 0, {"currentOrder": 2})]:
            self.press(*keys)
            seen.append(self.assert_canvas_is_native()[2])
            self.assertEqual({name: self.state()["fields"][name] for name in fields}, fields, keys)
            time.sleep(pause)  # a new step of the history
        self.assertNotEqual(d.current_url, first_url)
        self.assertIn(b"\r\n", seen[-1])
        self.assertTrue(self.state()["onlyOne"])
        # Tab shows the centre rectangles without painting.
        d.find_element(By.ID, "figure").send_keys(Keys.TAB)
        time.sleep(0.3)
        self.assertEqual(self.state()["mode"], 0)
        d.find_element(By.ID, "figure").send_keys(Keys.ESCAPE)

        # Back steps through the exploration (keys close together make one step) to the first
        # figure, each picture exact; Forward goes the other way.
        index = len(seen) - 1
        while index > 0:
            self.acted(d.back)
            now = dat_of_address(d.current_url)
            self.assertIn(now, seen[:index])
            index = seen.index(now)
            self.assert_canvas_is_native()
        self.acted(d.forward)
        self.assertIn(dat_of_address(d.current_url), seen[1:])
        # A copied link opens the same figure: the page opened afresh at this address.
        linked = dat_of_address(d.current_url)
        d.refresh()
        self.wait_for_painting(0)
        self.assertEqual(self.assert_canvas_is_native()[2], linked)

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
        self.acted(d.back)
        self.assertEqual(dat_of_address(d.current_url), uncoloured)
        self.assertEqual(self.canvas_rgb(), shown)

        # Bad input (a damaged link, a file that is no figure): a clear message, the figure stays.
        junk = self.dir / "junk.png"
        junk.write_bytes(b"\x89PNG\r\n\x1a\n" + b"\0" * 40)
        for damage, said in [(lambda: d.execute_script("location.hash = '#f=' + 'Zm9v'.repeat(3)"), "link"),
                             (lambda: d.find_element(By.ID, "open-file").send_keys(str(junk)), "junk.png")]:
            shown = self.canvas_rgb()
            damage()
            time.sleep(0.5)
            message = d.find_element(By.ID, "message")
            self.assertTrue(message.is_displayed())
            self.assertIn(said, message.text)
            self.assertEqual(self.canvas_rgb(), shown)
            d.find_element(By.ID, "message-close").click()

        # Opening a .dat through the file input paints its figure at the window's size.
        opened = self.dir / "opened.dat"
        subprocess.run([RENDER, "--quiet", "-o", str(self.dir / "x.bmp"), "--save-dat", str(opened)], check=True)
        self.acted(lambda: d.find_element(By.ID, "open-file").send_keys(str(opened)))
        self.assert_canvas_is_native()

        # Touch on a tablet: one finger pans (the centre moves against the finger), two fingers
        # drawn apart to twice their distance around the middle zoom in one step there.
        for frames, moved in [([[(600, 450)], [(650, 450)], [(700, 500)]], lambda a, b: b["centreX"] < a["centreX"] and b["centreY"] > a["centreY"]),
                              ([[(550, 450), (650, 450)], [(525, 450), (675, 450)], [(500, 450), (700, 450)]],
                               lambda a, b: b["magnExp"] == a["magnExp"] + 1 and (b["centreX"], b["centreY"]) == (a["centreX"], a["centreY"]))]:
            before = self.state()["fields"]
            self.acted(lambda: self.gesture(*frames))
            self.assertTrue(moved(before, self.state()["fields"]), frames)
            self.assert_canvas_is_native()

        # The colour panel as the desktop's colour page: the wheel over the left third of a
        # swatch adds 10 to its red, over a transparency slider 0.1; a swatch dragged onto another
        # copies its colour. Each change paints.
        d.find_element(By.ID, "colours-button").click()
        swatch = lambda entry: d.find_element(By.CSS_SELECTOR, f'#colours [data-entry="{entry}"]')
        slider = d.find_element(By.CSS_SELECTOR, f'#colours [data-order="0"][data-field="14"]')
        colours = self.state()["colours"]
        for act, check in [
                (lambda: ActionChains(d).scroll_from_origin(ScrollOrigin.from_element(swatch(3), -8, 0), 0, -100).perform(),
                 lambda s: s["colours"][3] == colours[3] + min(10, 255 - (colours[3] & 255))),
                (lambda: ActionChains(d).scroll_from_origin(ScrollOrigin.from_element(slider), 0, -100).perform(),
                 lambda s: s["orders"][0]["transparency"] == 0.6),
                (lambda: ActionChains(d).drag_and_drop(swatch(3), swatch(4)).perform(),
                 lambda s: s["colours"][4] == s["colours"][3] != colours[4])]:
            self.acted(act)
            self.assertTrue(check(self.state()))
        d.find_element(By.ID, "colours-button").click()
        _, _, dat = self.assert_canvas_is_native()

        # Downloads: the PNG opens in dorvanta-render as its figure with the canvas's pixels; the
        # SVG and the plotter SVG are the texts dorvanta-render writes for the figure.
        (self.dir / "shown.dat").write_bytes(dat)
        png = self.download("png", ".png")
        repainted = self.dir / "repainted.bmp"
        subprocess.run([RENDER, "--quiet", str(png), "-o", str(repainted), "--save-dat", str(self.dir / "png.dat")], check=True)
        self.assertEqual((self.dir / "png.dat").read_bytes(), dat)
        self.assertEqual(bmp_rows_as_rgb(repainted, width, height), self.canvas_rgb()[2])
        if subprocess.run(["which", "pngcheck"], capture_output=True).returncode == 0:
            subprocess.run(["pngcheck", "-q", str(png)], check=True)
        for kind, suffix, args in [("svg", ".svg", []), ("plotter", "-plotter.svg", ["--plotter"])]:
            native = self.dir / f"native{suffix}"
            subprocess.run([RENDER, "--quiet", str(self.dir / "shown.dat"), "-o", str(native), "--size", f"{width}x{height}", *args], check=True)
            self.assertEqual(self.download(kind, suffix).read_bytes(), native.read_bytes(), kind)

        if os.environ.get("DORVANTA_TIMINGS"):
            self.report_timings()
        self.assertEqual(self.console_problems(), [])

    def report_timings(self):
        """The page's own times: the first picture, key to picture, and the default figure at
        1200 x 900 from the request to the picture on the canvas (Right and Left in turn: every
        Left paints the default figure again)."""
        d = self.driver
        d.get(self.url.rstrip("/") + "/")
        d.refresh()
        self.wait_for_painting(0)
        for key in [Keys.ARROW_RIGHT, Keys.ARROW_LEFT] * 20:
            self.press(key)
        t = d.execute_script("return window.dorvanta.timings")
        median = lambda values: sorted(values)[len(values) // 2]
        default = t["pictures"][2::2][4:]
        self.assertTrue(all((p["width"], p["height"]) == (1200, 900) for p in default))
        print(f"first picture {t['firstPicture']:.0f} ms (core ready {t['coreReady']:.0f} ms); key to picture median "
              f"{median(t['keyToPicture']):.0f} ms (max {max(t['keyToPicture']):.0f}); default figure 1200x900 from request "
              f"to canvas median {median([p['ms'] for p in default]):.1f} ms (painting {median([p['paintMs'] for p in default]):.1f}, "
              f"copy {median([p['copyMs'] for p in default]):.1f})", file=sys.stderr)

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
