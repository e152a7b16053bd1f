"""The Windows packages as a user gets them: CPack makes the zip and the NSIS
installer from the build; the zip holds k58.exe, how to run it and the
licence; k58.exe carries its version record and manifest; the installer,
run silently in the test prefix, puts k58.exe into Program Files with one
Start-menu entry, an uninstaller and its installed size, and the
uninstaller, run silently, takes all of it away again.

Needs K58_BUILD_DIR (the Windows build), K58_VERSION and K58_CPACK."""

import os
import pathlib
import shutil
import subprocess
import tempfile
import time
import unittest
import zipfile

import winekit

BUILD = pathlib.Path(os.environ.get("K58_BUILD_DIR", winekit.HERE.parents[1] / "build-windows"))
VERSION = os.environ.get("K58_VERSION", "1.0.0")
CPACK = os.environ.get("K58_CPACK", "cpack")
NAME = f"k58-{VERSION}-win64"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\K-58"


def without_stamps(exe):
    """A program file with its header's time stamp and checksum blanked:
    CPack strips the program once for each package, a second apart."""
    pe = int.from_bytes(exe[0x3C:0x40], "little")
    for at in (pe + 8, pe + 24 + 64):
        exe = exe[:at] + bytes(4) + exe[at + 4:]
    return exe


def version_string(exe, key):
    """A value of the program's version record: the UTF-16 key, padding to a
    4-byte boundary, then the UTF-16 value."""
    at = exe.find(key.encode("utf-16-le") + b"\0\0")
    if at < 0:
        return None
    at += 2 * len(key) + 2
    at += -at % 4
    end = at
    while exe[end:end + 2] != b"\0\0":
        end += 2
    return exe[at:end].decode("utf-16-le")


def registry_value(key, name):
    """A value under a registry key as reg query prints it, or None."""
    ran = winekit.wine("reg", "query", key, "/v", name, capture_output=True, text=True,
                       timeout=60)
    words = ran.stdout.split()
    return words[-1] if ran.returncode == 0 and name in words else None


def registry_has(key):
    return winekit.wine("reg", "query", key, stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL, timeout=60).returncode == 0


class PackagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = pathlib.Path(tempfile.mkdtemp(prefix="k58-win-packages-"))
        made = subprocess.run([CPACK, "-B", str(cls.out)], cwd=BUILD, capture_output=True,
                              text=True, timeout=240)
        if made.returncode != 0:
            raise RuntimeError(f"cpack failed:\n{made.stdout}\n{made.stderr}")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, ignore_errors=True)

    def test_zip_holds_the_program_how_to_run_it_and_the_licence(self):
        with zipfile.ZipFile(self.out / f"{NAME}.zip") as package:
            self.assertEqual(sorted(package.namelist()),
                             [f"{NAME}/LICENSE.txt", f"{NAME}/README.txt", f"{NAME}/k58.exe"])
            exe = package.read(f"{NAME}/k58.exe")
            readme = package.read(f"{NAME}/README.txt").decode("ascii")
        # A 64-bit Windows program without its debugging information.
        pe = int.from_bytes(exe[0x3C:0x40], "little")
        self.assertEqual(exe[:2], b"MZ")
        self.assertEqual(exe[pe:pe + 6], b"PE\0\0\x64\x86")
        self.assertNotIn(b".debug_info", exe)
        # What Explorer shows of it, and the manifest: run as the user who
        # started it, versioned as the program.
        self.assertEqual(version_string(exe, "CompanyName"), "The K-58 developers")
        self.assertEqual(version_string(exe, "LegalCopyright"),
                         "Copyright (c) 2026 The K-58 developers")
        self.assertEqual(version_string(exe, "InternalName"), "k58")
        self.assertEqual(version_string(exe, "FileVersion"), VERSION)
        manifest = exe[exe.find(b"<assembly"):exe.find(b"</assembly>")].decode("utf-8")
        self.assertIn('<requestedExecutionLevel level="asInvoker" uiAccess="false"/>', manifest)
        self.assertIn(f'name="K58.Simulator" version="{VERSION}.0"', manifest)
        self.assertIn("k58.exe", readme)
        self.assertIn(VERSION, readme)
        self.assertIn("\r\n", readme, "a Windows text file")

    def test_installer_installs_and_uninstalls_silently(self):
        setup = self.out / f"{NAME}-setup.exe"
        drive = winekit.drive_c()
        folder = drive / "Program Files" / "K-58"
        menu = drive / "ProgramData" / "Microsoft" / "Windows" / "Start Menu" / "Programs" / "K-58"
        self.assertFalse(folder.exists(), "installed before the installer ran")

        ran = winekit.wine(setup, "/S", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=120)
        self.assertEqual(ran.returncode, 0)
        self.assertEqual(sorted(p.name for p in folder.iterdir()),
                         ["LICENSE.txt", "README.txt", "Uninstall.exe", "k58.exe"])
        with zipfile.ZipFile(self.out / f"{NAME}.zip") as package:
            self.assertEqual(without_stamps((folder / "k58.exe").read_bytes()),
                             without_stamps(package.read(f"{NAME}/k58.exe")))
        # One Start-menu entry, the program's: the uninstaller is reached
        # through the installed programs' list.
        self.assertEqual(sorted(p.name for p in menu.iterdir()), ["K-58.lnk"])
        # A shell link keeps its target's path, in Unicode or ANSI.
        link = (menu / "K-58.lnk").read_bytes()

        def in_link(text):
            return text.encode("ascii") in link or text.encode("utf-16-le") in link

        self.assertTrue(in_link("\\K-58\\k58.exe"), "the Start-menu entry is not k58.exe")
        # Wine's links keep the path tidied; the installer's script shows it.
        script = next(self.out.glob("_CPack_Packages/*/NSIS/project.nsi")).read_text()
        self.assertIn('\\K-58.lnk" "$INSTDIR\\k58.exe"', script)
        self.assertTrue(registry_has(UNINSTALL_KEY), "not listed among installed programs")
        # The installed size shown in the list, in KiB: that of the files.
        estimated = registry_value(UNINSTALL_KEY, "EstimatedSize")
        self.assertIsNotNone(estimated, "no EstimatedSize")
        files = sum(p.stat().st_size for p in folder.iterdir() if p.name != "Uninstall.exe")
        self.assertLessEqual(abs(int(estimated, 0) - files / 1024), 4)

        # The uninstaller copies itself away, starts the copy and returns at
        # once; the copy removes the files.
        ran = winekit.wine(folder / "Uninstall.exe", "/S", stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=120)
        self.assertEqual(ran.returncode, 0)
        deadline = time.time() + 60
        while (folder.exists() or menu.exists()) and time.time() < deadline:
            time.sleep(0.2)
        self.assertFalse(folder.exists(), "the installation folder is left")
        self.assertFalse(menu.exists(), "the Start-menu folder is left")
        self.assertFalse(registry_has(UNINSTALL_KEY), "still listed among installed programs")


if __name__ == "__main__":
    unittest.main()
