"""scripts/package: accepts a sound package, refuses each broken variant with a message that names the problem."""
import pathlib
import subprocess
import sys
import tempfile
import unittest
import zipfile

PACKAGE = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "package"
SOUND = "[文件列表]\r\na.dll=路径\\ado\\a.dll\r\nsub\\b.dll=D:\\x\\b.dll\r\n"


class PackageTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.folder.name)
        (self.root / "components" / "sub").mkdir(parents=True)
        (self.root / "components" / "a.dll").write_bytes(b"A")
        (self.root / "components" / "sub" / "b.dll").write_bytes(b"B")
        (self.root / "MdacRepair.exe").write_bytes(b"MZ")
        (self.root / "MdacCheck.exe").write_bytes(b"MZ check")

    def tearDown(self):
        self.folder.cleanup()

    def run_package(self, xp_bytes, w7_bytes=None):
        (self.root / "xp.ini").write_bytes(xp_bytes)
        (self.root / "w7.ini").write_bytes(w7_bytes if w7_bytes is not None else SOUND.encode("gbk"))
        return subprocess.run(
            [sys.executable, str(PACKAGE), "--program", str(self.root / "MdacRepair.exe"),
             "--check", str(self.root / "MdacCheck.exe"),
             "--components", str(self.root / "components"), "--xp", str(self.root / "xp.ini"),
             "--w7", str(self.root / "w7.ini"), "--out", str(self.root / "out")],
            capture_output=True, text=True)

    def test_sound_package_is_laid_out_and_zipped(self):
        result = self.run_package(SOUND.encode("gbk"))
        self.assertEqual(result.returncode, 0, result.stderr)
        release = self.root / "out" / "MdacRepair"
        self.assertEqual((release / "MdacRepair.exe").read_bytes(), b"MZ")
        self.assertEqual((release / "MdacCheck.exe").read_bytes(), b"MZ check")
        for version in ("xp", "w7"):
            self.assertEqual((release / version / "文件列表.ini").read_bytes(), SOUND.encode("gbk"))
            self.assertEqual((release / version / "a.dll").read_bytes(), b"A")
            self.assertEqual((release / version / "sub" / "b.dll").read_bytes(), b"B")
        with zipfile.ZipFile(self.root / "out" / "MdacRepair.zip") as zipped:
            self.assertIn("MdacRepair/MdacCheck.exe", zipped.namelist())

    def test_broken_lists_are_refused_with_their_problem(self):
        cases = [
            ("not code page 936", b"[\xff\xfe]\r\n", "not readable in code page 936"),
            ("UTF-16 list", "\ufeff" .encode("utf-16-le") + SOUND.encode("utf-16-le"), "not readable in code page 936"),
            ("no section", "[其他]\r\na.dll=路径\\a.dll\r\n".encode("gbk"), "lacks the section [文件列表]"),
            ("missing file", "[文件列表]\r\nnone.dll=路径\\ado\\none.dll\r\n".encode("gbk"), "'none.dll', which is not in"),
            ("climbing out", "[文件列表]\r\n..\\MdacRepair.exe=路径\\x.exe\r\n".encode("gbk"), "which is not in"),
            ("empty destination", "[文件列表]\r\na.dll=\r\n".encode("gbk"), "'a.dll' an empty destination"),
            ("relative destination", "[文件列表]\r\na.dll=ado\\a.dll\r\n".encode("gbk"),
             "uses neither 路径 nor a drive path"),
            ("empty section", "[文件列表]\r\n".encode("gbk"), "names no component"),
        ]
        for name, xp, message in cases:
            with self.subTest(name):
                result = self.run_package(xp)
                self.assertEqual(result.returncode, 1, name)
                self.assertIn(message, result.stderr)
                self.assertIn("xp:", result.stderr)
                self.assertFalse((self.root / "out").exists(), "a refused package must not be written")

    def test_every_problem_of_both_lists_is_named(self):
        broken = "[文件列表]\r\nnone.dll=\r\n".encode("gbk")
        result = self.run_package(broken, broken)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.count("which is not in"), 2, result.stderr)
        self.assertEqual(result.stderr.count("an empty destination"), 2, result.stderr)
        self.assertIn("refused (4 problems)", result.stderr)


if __name__ == "__main__":
    unittest.main()
