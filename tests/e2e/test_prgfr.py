#!/usr/bin/env python3
"""End-to-end tests of the updater: the real prgfr in a real terminal (a
private tmux server, tmuxlib.py) against a real loopback FTP server
(tests/ftpserver.py), serving the stand-in unpacker and installer of tools/
in the layout of tools/make_demo_content.py.

Every case runs in a fresh folder of its own: program/ holds the updater
under the name the case gives it and receives what the installer installs,
tmp/ is the temporary folder, HOME and the settings live there too.

Where a case must see how the updater ran the unpacker and the installer,
the server offers small shell scripts under their names that write to a log
and call the real stand-ins (the POSIX updater runs any *.exe it is given).
A Win32 program cannot run a shell script: under Wine the real stand-ins
write the same log themselves (TORMEX_STANDIN_LOG, TORMEX_FRISSIT_SECONDS).

Every package the server offers comes with its manifest, signed with the
test key by the maker's tool (SIGN, update_sign), unless a case says
otherwise.

Usage: test_prgfr.py PRGFR UNZIP FRISSIT SIGN
"""
import os
import re
import shlex
import shutil
import resource
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

from tmuxlib import WINE, WINE_LOADER, TerminalTestCase, host_path, not_under_wine

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
import make_demo_content as content  # noqa: E402

FTP_SERVER = os.path.join(HERE, "..", "ftpserver.py")
PRGFR = UNZIP = FRISSIT = SIGN = None  # set from the command line
KEYS = os.path.join(HERE, "..", "keys")
TEST_KEY = os.path.join(KEYS, "update_current.pem")
STRANGERS_KEY = os.path.join(KEYS, "update_stranger.pem")  # built into no program
STALL_SECONDS = 2

QUESTION = "Program-frissítő letöltése"
MISSING_PACKAGE = "Nincs /letolt/ugy/MINTA/pszla.zip!"
COPY_FAILED = "A másolás nem sikerült!"
NO_CONNECTION = "Nincs kapcsolat!"
NOT_ALL_THERE = "Nincs mind:szlamind.zip unzip.exe frissit.exe"
NO_ROOM = "Nincs elég szabad hely a lemezen a letöltéshez!"
MISSING_MANIFEST = "Nincs /letolt/ugy/MINTA/pszla.man!"
UNSIGNED = "A frissítés leírása (pszla.man) hiányzik vagy nincs aláírva!"
PACKAGE_DIFFERS = "A letöltött pszla.zip nem egyezik az aláírt leírással!"
UNZIP_DIFFERS = "A letöltött unzip.exe nem egyezik az aláírt leírással!"
OLDER = "A szerveren régebbi kiadás (4) van, mint a már elfogadott (5)!"
EXPIRED = "A frissítés leírása lejárt: 2020-01-01"
MESSAGES = (MISSING_PACKAGE, COPY_FAILED, NO_CONNECTION, NOT_ALL_THERE, NO_ROOM, MISSING_MANIFEST,
            UNSIGNED, PACKAGE_DIFFERS, UNZIP_DIFFERS, OLDER, EXPIRED)
# The updater's exit codes (README.md).
NO_CONNECTION_CODE, NOT_ON_SERVER_CODE, TRANSFER_FAILED_CODE, NO_ROOM_CODE = 20, 21, 22, 23
INCOMPLETE_CODE = 26
UNSIGNED_CODE, DIFFERS_CODE, OLDER_CODE, EXPIRED_CODE = 29, 30, 31, 32
NO_CONSOLE_CODE = 1
WORK_FOLDER_LOCK = "prgfr.lck"
README = os.path.join(HERE, "..", "..", "README.md")


def readme_exit_codes():
    """The exit codes that README.md's table of the updater lists."""
    with open(README, encoding="utf-8") as f:
        return {int(m.group(1)) for m in re.finditer(r"^\s*\| (\d+) \|", f.read(), re.M)}


def zip_claiming(size):
    """A small zip archive whose one deflated member claims size bytes."""
    name, data = b"big.bin", b"x" * 10
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    packed = packer.compress(data) + packer.flush()
    crc = zlib.crc32(data)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0, crc, len(packed), size,
                        len(name), 0) + name + packed
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0, crc, len(packed),
                          size, len(name), 0, 0, 0, 0, 0, 0) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), len(local), 0)
    return local + central + end


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class FtpServer:
    """tests/ftpserver.py on a free port of 127.0.0.1, serving a folder."""

    def __init__(self, root, log, stall_after=None, breaking=None):
        command = ["/usr/bin/python3", FTP_SERVER, "--root", root, "--lifetime", "300"]
        if stall_after is not None:
            command += ["--stall-after", str(stall_after)]
        if breaking:
            command += ["--breaking", breaking]
        with open(log, "ab") as errors:
            self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=errors,
                                            text=True)
        self.port = int(self.process.stdout.readline())

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


class UpdaterInTerminal(TerminalTestCase):
    def setUp(self):
        self.root = self.scratch("tormex-ftp-root-")
        self.addCleanup(lambda: os.path.exists(self.root + ".log") and os.remove(self.root + ".log"))
        self.new_case()

    def scratch(self, prefix):
        folder = tempfile.mkdtemp(prefix=prefix)
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        return folder

    def new_case(self):
        """A fresh folder for one run of the updater."""
        self.case = self.scratch("tormex-prgfr-")
        self.program = os.path.join(self.case, "program")
        self.temp = os.path.join(self.case, "tmp")
        self.work = os.path.join(self.temp, "$TEMPRGR")
        self.log = os.path.join(self.case, "log")
        self.standin_env = {}
        os.makedirs(self.program)
        os.makedirs(self.temp)

    # ---- The server ---------------------------------------------------------

    def serve(self, folders=content.FOLDERS, leave_out=(), unzip=None, frissit=None,
              stall_after=None, serial=1, expires=None, key=TEST_KEY, breaking=None):
        """Starts a server with the packages of the folders and their
        manifests; unzip and frissit replace the stand-ins (unzip.exe on the
        server's root, frissit.exe in the packages)."""
        self.publish(folders, leave_out, unzip, frissit, serial, expires, key)
        server = FtpServer(self.root, self.root + ".log", stall_after, breaking)
        self.addCleanup(server.stop)
        return f"127.0.0.1:{server.port}"

    def publish(self, folders=content.FOLDERS, leave_out=(), unzip=None, frissit=None, serial=1,
                expires=None, key=TEST_KEY):
        """Puts the packages of the folders and their signed manifests on the
        server's root (replacing what is there)."""
        write(os.path.join(self.root, "letolt", "unzip.exe"), unzip or read(UNZIP))
        for folder in folders:
            write(self.served(folder, "pszla.zip"),
                  content.package(folder, read(UNZIP), frissit or read(FRISSIT), leave_out))
            content.sign(SIGN, key, self.root, folder, serial=serial, expires=expires)

    def served(self, folder, name):
        """The path of a file the server offers in a folder ("" the root)."""
        return os.path.join(self.root, "letolt", *folder.split("/"), name) if folder else \
            os.path.join(self.root, "letolt", name)

    def script(self, *lines):
        """A shell script that logs what it does (self.log)."""
        return "#!/bin/sh\n" + "\n".join(lines).replace("LOG", shlex.quote(self.log)) + "\n"

    def recording_unzip(self):
        if WINE:
            self.standin_env["TORMEX_STANDIN_LOG"] = self.log
            return None
        return self.script('printf "%s|%s\\n" "$(pwd)" "$*" >> LOG',
                           f"exec {shlex.quote(UNZIP)} \"$@\"")

    def slow_frissit(self):
        """Logs its start, takes a second, installs, logs its end."""
        if WINE:
            self.standin_env.update(TORMEX_STANDIN_LOG=self.log, TORMEX_FRISSIT_SECONDS="1")
            return None
        return self.script("echo frissit start >> LOG", "sleep 1", shlex.quote(FRISSIT),
                           "status=$?", "echo frissit end >> LOG", "exit $status")

    def logged(self):
        try:
            with open(self.log, encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    # ---- The program ----------------------------------------------------------

    def start(self, server, name="prgfrMINTA", link=False, stall_seconds=None, file_limit=None):
        """Starts the updater as program/<name> (a copy, or a link to prgfr),
        with a file-size limit (512-byte blocks, POSIX only) when given."""
        path = os.path.join(self.program, name + (".exe" if WINE else ""))
        if link:
            os.symlink(PRGFR, path)
        else:
            shutil.copy(PRGFR, path)
        env = {
            "HOME": self.case, "TMPDIR": self.temp,
            "XDG_CONFIG_HOME": os.path.join(self.case, "config"),
            "TORMEX_MACHINE_REGISTRY": os.path.join(self.case, "machine"),
            "TORMEX_FTP_SERVER": server, "TORMEX_INSTALL_FOLDER": self.program,
        }
        if stall_seconds:
            env["TORMEX_FTP_STALL_SECONDS"] = str(stall_seconds)
        env.update(self.standin_env)
        limit = ("sh", "-c", f'ulimit -f {file_limit} && exec "$@"', "sh") if file_limit else ()
        self.start_program(*limit, path, env=env)
        self.wait_anywhere(QUESTION)

    def answer_igen(self):
        self.tmux.keys("I")

    def run_through_messages(self, code=0, deadline_seconds=30):
        """Answers every message box with Enter until the program ends with
        code; returns the messages in the order they were seen (a message
        shown twice in a row counts once)."""
        seen = []
        deadline = time.monotonic() + deadline_seconds
        while self.exit_status() is None:
            if time.monotonic() > deadline:
                self.fail("the program did not end; screen:\n" + "\n".join(self.tmux.rows()))
            screen = "\n".join(self.tmux.rows())
            for message in MESSAGES:
                if message in screen and (not seen or seen[-1] != message):
                    seen.append(message)
            if re.search(r"Tovább\s*▄", screen):
                self.tmux.keys("Enter")
                time.sleep(0.4)
            time.sleep(0.05)
        self.assertEqual(self.exit_status(), code)
        return seen

    def installed_from(self):
        """The server folder of the package the installer installed."""
        return read(os.path.join(self.program, "forras.txt")).decode().strip()

    def work_files(self):
        """The files of $TEMPRGR, but the lock file that every run holds
        (it stays there)."""
        names = os.listdir(self.work) if os.path.isdir(self.work) else []
        return sorted(name for name in names if name != WORK_FOLDER_LOCK)

    # ---- The cases ------------------------------------------------------------

    def test_nem_and_esc_end_at_once_without_a_folder(self):
        server = self.serve()
        for key in ("N", "Escape"):
            with self.subTest(key=key):
                self.new_case()
                self.start(server)
                self.tmux.keys(key)
                self.assertEqual(self.wait_exit(), 0)
                self.assertEqual(os.listdir(self.temp), [])

    def test_igen_unpacks_checks_installs_and_waits_for_the_installer(self):
        server = self.serve(unzip=self.recording_unzip(), frissit=self.slow_frissit())
        self.start(server)
        self.answer_igen()
        self.assertEqual(self.run_through_messages(), [])
        # The installer had ended before the updater did.
        self.assertEqual(self.logged(), [f"{host_path(self.work)}|-qo pszla.zip", "frissit start", "frissit end"])
        self.assertEqual(self.installed_from(), "ugy/MINTA")
        self.assertIn("verzio.txt", read(os.path.join(self.program, "frissit.txt")).decode())
        self.assertEqual(self.work_files(), ["frissit.exe", "szlamind.zip", "unzip.exe"])

    def test_a_missing_package_is_told_twice_then_the_files_are_missing(self):
        server = self.serve()
        os.remove(self.served(content.CUSTOMER_FOLDER, "pszla.zip"))  # its manifest stays
        self.start(server)
        self.answer_igen()
        self.assertEqual(self.run_through_messages(NOT_ON_SERVER_CODE),
                         [MISSING_PACKAGE, COPY_FAILED, NOT_ALL_THERE])
        self.assertFalse(os.path.exists(os.path.join(self.program, "frissit.txt")))

    def test_no_server_is_no_connection(self):
        self.start(f"127.0.0.1:{closed_port()}")
        self.answer_igen()
        self.assertEqual(self.run_through_messages(NO_CONNECTION_CODE), [NO_CONNECTION, NOT_ALL_THERE])
        self.assertEqual(self.work_files(), [])

    def test_a_package_without_the_installer_is_told_and_removed(self):
        server = self.serve(leave_out=("frissit.exe",))
        self.start(server)
        self.answer_igen()
        self.assertEqual(self.run_through_messages(INCOMPLETE_CODE), [NOT_ALL_THERE])
        self.assertEqual(self.work_files(), ["szlamind.zip", "unzip.exe"])

    def test_stale_files_are_removed_so_no_old_installer_runs(self):
        old_installer = self.script("echo old installer >> LOG")
        old_package = content.package(content.CUSTOMER_FOLDER, read(UNZIP), old_installer.encode())
        write(os.path.join(self.work, "UNZIP.EXE"), self.script("echo old unzip >> LOG"))
        write(os.path.join(self.work, "szlamind.zip"), content.full_set("old"))
        write(os.path.join(self.work, "frissit.exe"), old_installer)
        write(os.path.join(self.work, "pszla.zip"), old_package)
        server = self.serve()
        os.remove(self.served(content.CUSTOMER_FOLDER, "pszla.zip"))  # no package for MINTA
        self.start(server)
        self.answer_igen()
        self.assertEqual(self.run_through_messages(NOT_ON_SERVER_CODE),
                         [MISSING_PACKAGE, COPY_FAILED, NOT_ALL_THERE])
        self.assertEqual(self.logged(), [])
        self.assertEqual(self.work_files(), ["unzip.exe"])
        self.assertEqual(read(os.path.join(self.work, "unzip.exe")), read(UNZIP))

    def test_the_program_name_picks_the_server_folder(self):
        server = self.serve()
        cases = (("prgfrMINTA (2)", "ugy/MINTA"), ("prgfrMINTA[1]", "ugy/MINTA"),
                 ("prgfr MINTA", "szla22"), ("abcde", "szla22"))
        for name, folder in cases:
            with self.subTest(name=name):
                self.new_case()
                self.start(server, name=name, link=True)
                self.answer_igen()
                self.assertEqual(self.run_through_messages(), [])
                self.assertEqual(self.installed_from(), folder)

    def test_a_stalled_server_ends_in_the_message_within_the_bound(self):
        server = self.serve(stall_after=1000)
        self.start(server, stall_seconds=STALL_SECONDS)
        self.answer_igen()
        started = time.monotonic()
        self.wait_anywhere(COPY_FAILED)
        self.assertLess(time.monotonic() - started, STALL_SECONDS + 5)
        self.assertEqual(self.run_through_messages(TRANSFER_FAILED_CODE), [COPY_FAILED, NOT_ALL_THERE])
        left = self.work_files()
        if WINE:
            # Wine's FTP client cannot be woken from a stalled transfer: the
            # abandoned worker keeps its temporary file until the program
            # ends, and the next run's clearing step removes it.
            print("under Wine: a stalled download's ftp*.tmp stays until the next run", file=sys.stderr)
            left = [name for name in left if not re.fullmatch(r"ftp[0-9a-f]+\.tmp", name, re.I)]
        self.assertEqual(left, [])  # no partial download under a name

    def run_refused(self, server, code, messages):
        """Runs the updater against server to its refusal: the messages and
        the code given, nothing unpacked or run, nothing left but the lock."""
        self.start(server)
        self.answer_igen()
        self.assertEqual(self.run_through_messages(code), messages)
        self.assertEqual(self.logged(), [])  # the recording unpacker never ran
        self.assertFalse(os.path.exists(os.path.join(self.program, "frissit.txt")))
        self.assertEqual(self.work_files(), [])

    def test_what_the_maker_did_not_sign_is_refused_and_nothing_runs(self):
        customer = content.CUSTOMER_FOLDER
        manifest = lambda: self.served(customer, "pszla.man")  # noqa: E731

        def flip_byte(path, at=None):
            data = bytearray(read(path))
            data[len(data) // 2 if at is None else at] ^= 1
            write(path, bytes(data))

        cases = (
            ("a changed byte in the manifest", lambda: flip_byte(manifest(), 30), UNSIGNED_CODE,
             [UNSIGNED]),
            ("a changed byte in the package", lambda: flip_byte(self.served(customer, "pszla.zip")),
             DIFFERS_CODE, [PACKAGE_DIFFERS]),
            ("a changed byte in unzip.exe", lambda: flip_byte(self.served("", "unzip.exe")),
             DIFFERS_CODE, [UNZIP_DIFFERS]),
            ("another folder's manifest",
             lambda: shutil.copy(self.served(content.DEFAULT_FOLDER, "pszla.man"), manifest()),
             UNSIGNED_CODE, [UNSIGNED]),
            ("an unknown key", lambda: self.publish(key=STRANGERS_KEY), UNSIGNED_CODE, [UNSIGNED]),
            ("no manifest", lambda: os.remove(manifest()), UNSIGNED_CODE,
             [MISSING_MANIFEST, COPY_FAILED, UNSIGNED]),
            ("a manifest over 64 KiB", lambda: write(manifest(), read(manifest()) + b"#" * 65536),
             UNSIGNED_CODE, [UNSIGNED]),
            ("an expired manifest", lambda: self.publish(expires="2020-01-01"), EXPIRED_CODE,
             [EXPIRED]),
        )
        for name, spoil, code, messages in cases:
            with self.subTest(name):
                self.new_case()
                server = self.serve(unzip=self.recording_unzip())
                spoil()
                self.run_refused(server, code, messages)

    def test_a_broken_transfer_goes_on_and_installs_the_genuine_package(self):
        # The first download of each file ends halfway; the server keeps
        # REST, ignores it, or sent a changed first half.
        for breaking in ("resume", "norest", "changed"):
            with self.subTest(breaking=breaking):
                self.new_case()
                server = self.serve(breaking=breaking)
                self.start(server)
                self.answer_igen()
                self.assertEqual(self.run_through_messages(), [])
                self.assertEqual(self.installed_from(), "ugy/MINTA")
                self.assertEqual(self.work_files(), ["frissit.exe", "szlamind.zip", "unzip.exe"])

    def test_an_older_release_than_the_one_accepted_is_refused(self):
        server = self.serve(serial=5)
        self.start(server)
        self.answer_igen()
        self.assertEqual(self.run_through_messages(), [])
        self.assertEqual(self.installed_from(), "ugy/MINTA")
        os.remove(os.path.join(self.program, "frissit.txt"))
        self.publish(serial=4, unzip=self.recording_unzip())
        self.run_refused(server, OLDER_CODE, [OLDER])

    @not_under_wine("a file-size limit (ulimit -f) is a POSIX process limit")
    def test_a_file_size_limit_is_a_full_disk_and_leaves_nothing(self):
        server = self.serve()
        self.start(server, file_limit=64)  # 32 KiB: less than either file
        self.answer_igen()
        self.assertEqual(self.run_through_messages(NO_ROOM_CODE),
                         [NO_ROOM, COPY_FAILED, NO_ROOM, COPY_FAILED, NOT_ALL_THERE])
        self.assertEqual(self.work_files(), [])  # no ".pszla.zip.XXXXXX" either


class WithoutTerminal(unittest.TestCase):
    """The updater and its stand-ins run as plain processes."""

    @not_under_wine("a Windows program under Wine always gets a console")
    def test_no_terminal_ends_with_a_listed_code(self):
        case = tempfile.mkdtemp(prefix="tormex-prgfr-")
        self.addCleanup(shutil.rmtree, case, ignore_errors=True)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": case, "TMPDIR": case,
               "XDG_CONFIG_HOME": os.path.join(case, "config")}
        for term in (None, "xterm-256color"):  # TERM unset; a TERM but no terminal
            with self.subTest(term=term):
                run_env = dict(env, **({"TERM": term} if term else {}))
                done = subprocess.run([PRGFR], stdin=subprocess.DEVNULL, capture_output=True,
                                      env=run_env, cwd=case, timeout=20)
                self.assertEqual(done.returncode, NO_CONSOLE_CODE, done.stderr)
                self.assertIn(done.returncode, readme_exit_codes())
                self.assertTrue(done.stderr.strip())  # the reason
                self.assertFalse(os.path.exists(os.path.join(case, "$TEMPRGR")))

    def test_the_unpacker_checks_member_sizes_before_taking_memory(self):
        case = tempfile.mkdtemp(prefix="tormex-unzip-")
        self.addCleanup(shutil.rmtree, case, ignore_errors=True)
        archive = zip_claiming(0xFFFFFFFF)  # 4 GiB from about 120 bytes
        self.assertLess(len(archive), 128)
        write(os.path.join(case, "pszla.zip"), archive)

        def little_memory():  # far less than the claim
            resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))

        command = [WINE_LOADER, UNZIP] if WINE else [UNZIP]
        started = time.monotonic()
        done = subprocess.run(command + ["-qo", "pszla.zip"], capture_output=True, cwd=case,
                              timeout=60, preexec_fn=None if WINE else little_memory)
        self.assertLess(time.monotonic() - started, 30)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("big.bin", done.stderr.decode("utf-8", "replace"))
        self.assertFalse(os.path.exists(os.path.join(case, "big.bin")))


def main():
    global PRGFR, UNZIP, FRISSIT, SIGN
    if len(sys.argv) < 5:
        sys.exit("usage: test_prgfr.py PRGFR UNZIP FRISSIT SIGN")
    PRGFR, UNZIP, FRISSIT, SIGN = (os.path.abspath(sys.argv.pop(1)) for _ in range(4))
    if not shutil.which("tmux"):
        unittest.skip("tmux is not installed")(UpdaterInTerminal)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
