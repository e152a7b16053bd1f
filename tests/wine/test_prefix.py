"""The test run's Wine prefix is set up as the Wine tests rely on: the X11
driver unmanaged, Wine's fonts installed, no debug output."""

import pathlib
import unittest

import winekit


class PrefixTest(unittest.TestCase):
    def test_x11_driver_is_unmanaged(self):
        out = winekit.wine("reg", "query", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertRegex(out.stdout, r"Managed\s+REG_SZ\s+N\b")

    def test_wine_fonts_are_installed(self):
        fonts = winekit.drive_c() / "windows" / "Fonts"
        wanted = sorted(p.name for p in pathlib.Path("/usr/share/wine/fonts").iterdir())
        self.assertTrue(wanted)
        missing = [name for name in wanted if not (fonts / name).is_file()]
        self.assertEqual(missing, [])

    def test_wine_says_nothing_on_stderr(self):
        out = winekit.wine("cmd", "/c", "echo", "k58", capture_output=True, text=True, timeout=60)
        self.assertEqual(out.returncode, 0)
        self.assertEqual(out.stdout.strip(), "k58")
        self.assertEqual(out.stderr, "")


if __name__ == "__main__":
    unittest.main()
