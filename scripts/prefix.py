"""What the scripts know of a Wine prefix: its kind, where its Windows paths lie on this machine, and which
file names Wine has builtin DLLs of.

    prefix.py builtins PREFIX RELEASE_FOLDER    prints "LIST:DESTINATION" for each entry of the release's lists
                                                (LIST xp or w7) whose destination's file name is one of Wine's
                                                builtin DLLs; DESTINATION as a 32-bit program of the prefix
                                                names it
"""
import os
import pathlib
import re
import shutil
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from filelist import LIST_NAME, destination, read_list  # noqa: E402  (the scripts' one reader of file lists)

# Wine writes this into the DOS header of each of its builtin DLLs, right after the header, and into the
# copies of them it puts into a prefix.
BUILTIN_MARK = b"Wine builtin DLL"
DOS_HEADER_SIZE = 0x40


def is_wow64(prefix):
    """Whether the prefix is a 64-bit one, where 32-bit programs see a registry view of their own."""
    return (pathlib.Path(prefix) / "drive_c" / "windows" / "syswow64").is_dir()


def shared_folder(prefix):
    """The shared System folder a 32-bit program of the prefix sees."""
    files = "Program Files (x86)" if is_wow64(prefix) else "Program Files"
    return f"C:\\{files}\\Common Files\\System"


def host_path(prefix, windows_path):
    """Where a Windows path of the prefix lies on this machine; Windows names match without regard to case."""
    drive, _, rest = windows_path.partition(":\\")
    path = pathlib.Path(prefix) / "dosdevices" / (drive.lower() + ":")
    for part in (p for p in rest.split("\\") if p):
        match = [child for child in path.iterdir() if child.name.lower() == part.lower()] if path.is_dir() else []
        path = match[0] if match else path / part
    return path


def builtin_folders():
    """The folders where Wine's 32-bit loader finds its builtin DLLs: those of WINEDLLPATH, and the loader's
    own, which it names relative to itself (the path of its ntdll.so). Where that cannot be read, the usual
    places of the distributions are taken."""
    folders = [pathlib.Path(p) for p in os.environ.get("WINEDLLPATH", "").split(":") if p]
    loader = pathlib.Path("/usr/lib/wine/wine")
    if not loader.is_file():
        found = shutil.which("wine")
        loader = pathlib.Path(found).resolve() if found else loader
    try:
        relative = re.findall(rb"([\x21-\x7e]*)/i386-unix/ntdll\.so", loader.read_bytes())
    except OSError:
        relative = []
    folders += [(loader.parent / r.decode()).resolve() for r in relative if r and r[:1] in b"./"]
    if not any(f.is_dir() for f in folders):
        folders += [pathlib.Path(p) for p in ("/usr/lib/i386-linux-gnu/wine", "/usr/lib32/wine", "/usr/lib/wine",
                                              "/usr/local/lib/wine", "/opt/wine-stable/lib/wine")]
    return [f / sub for f in folders for sub in ("i386-windows", "") if (f / sub).is_dir()]


def carries_builtin_mark(path):
    try:
        with open(path, "rb") as file:
            return file.read(DOS_HEADER_SIZE + len(BUILTIN_MARK))[DOS_HEADER_SIZE:] == BUILTIN_MARK
    except OSError:
        return False


def builtin_entries(prefix, release):
    """"LIST:DESTINATION" for each entry of the release's lists whose destination's file name Wine has as a
    builtin DLL: a file of that name among its builtin DLLs, or Wine's own copy of one at the destination."""
    names = {child.name.lower() for folder in builtin_folders() for child in folder.iterdir()}
    entries = []
    for folder in ("xp", "w7"):
        for _, value in read_list(pathlib.Path(release) / folder / LIST_NAME):
            target = destination(value, shared_folder(prefix))
            name = target.rpartition("\\")[2]
            if name.lower() in names or carries_builtin_mark(host_path(prefix, target)):
                entries.append(f"{folder}:{target}")
    return entries


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "builtins":
        print("\n".join(builtin_entries(sys.argv[2], sys.argv[3])))
    else:
        sys.exit("usage: prefix.py builtins PREFIX RELEASE_FOLDER")
