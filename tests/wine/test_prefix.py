"""The test run's Wine prefix is set up as the Wine tests rely on: the X11
driver unmanaged, Wine's fonts installed, font replacements, sound through
PulseAudio, no debug output."""

import pathlib
import subprocess
import unittest

import winekit


class PrefixTest(unittest.TestCase):
    def test_registry_holds_the_settings_the_tests_rely_on(self):
        # The X11 driver unmanaged, the fonts the program names replaced by
        # their metric twins, sound through PulseAudio only.
        for key, name, value in ((r"HKCU\Software\Wine\X11 Driver", "Managed", "N"),
                                 (r"HKCU\Software\Wine\Fonts\Replacements", "Times New Roman",
                                  "Liberation Serif"),
                                 (r"HKCU\Software\Wine\Fonts\Replacements", "Arial",
                                  "Liberation Sans"),
                                 (r"HKCU\Software\Wine\Drivers", "Audio", "pulse")):
            # Wine's console programs start a second too late when their
            # error output is a pipe.
            out = winekit.wine("reg", "query", key, "/v", name, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True, timeout=60)
            self.assertEqual(out.returncode, 0, f"{key} {name}")
            self.assertRegex(out.stdout, rf"(?m)^\s*{name}\s+REG_SZ\s+{value}\s*$", key)

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
