#!/usr/bin/python3
"""A loopback FTP server for the tests, the demo and the benchmark.

Needs Debian's python3-pyftpdlib, so run it with /usr/bin/python3. Every
listener is on 127.0.0.1; the user is "tormex" with the password "vedikolu",
with full rights on the root folder.

One server, in the foreground, until killed:
    ftpserver.py --root DIR [--port N] [--stall-after BYTES] [--breaking KIND] [--lifetime SECONDS]
  Prints the port it listens on (useful with --port 0, the default: a free
  port) as one line on standard output once it accepts connections. With
  --stall-after, every download sends that many bytes and then stalls: the
  data connection stays open and silent. With --breaking, the first download
  of each file ends halfway (as breakport, norestport or changedport below:
  resume, norest, changed).

The test fixture (CTest starts and stops it around a test binary):
    ftpserver.py --start STATEFILE [--wine-drive-d]   starts the servers
    ftpserver.py --stop STATEFILE                     stops them, cleans up
  --start returns once the servers accept connections and STATEFILE holds
  key=value lines:
    root        a fresh, empty root folder shared by the servers below
    port        a normal server
    stallport   a server whose downloads stall after 1000 bytes
    trickleport a server whose downloads send one byte a second (for ever, but for
                a rest of a few bytes after REST)
                (but the manifests, *.man, which it sends as they are)
    hugeport    a server that announces every file as 1 PiB and sends 64 MiB of zeros
                (but the manifests, *.man, which it serves as they are)
    endlesslistport  a server whose listings never end (downloads as normal)
    resetlistport    a server that resets the data connection of every listing
    breakport   a server whose first download of each file ends halfway (REST is kept)
    norestport  the same, but it agrees to REST and ignores it, sending from the start
    changedport the same as breakport, but the half it sends first is changed (a file
                that changed between attempts)
    refuseport  a server that refuses the login (530 to the password)
    silentport  a listener that accepts connections and never says anything
    httpport    a listener that answers every connection as a web server
    closedport  a port on which nothing listens
    drived      a fresh, empty folder for the tests' drive D:
    pid         the background process
  With --wine-drive-d, drive D: of the Wine prefix $WINEPREFIX is that
  folder while the servers run (Wine maps drives by the links in the
  prefix's "dosdevices" folder). The background process ends by itself after
  an hour in any case.
"""
import argparse
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

USER, PASSWORD = "tormex", "vedikolu"
FIXTURE_STALL_BYTES = 1000
FIXTURE_LIFETIME = 3600
TRICKLE_SECONDS = 1.0
HUGE_SIZE = 1 << 50


LISTINGS = ("NLST", "LIST", "MLSD")


class EndlessListing:
    """A producer of listing lines, in the LIST form (which NLST clients
    take as names too), for ever."""

    def __init__(self):
        self.serial = 0

    def more(self):
        lines = []
        for _ in range(1000):
            self.serial += 1
            lines.append("-rw-r--r--   1 tormex   tormex         1 Jan 01  2024 f%09d.txt\r\n"
                         % self.serial)
        return "".join(lines).encode()


def make_server(root, port, stall_after=None, trickle=False, huge=False, listing=None,
                breaking=None, refuse_login=False):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.filesystems import AbstractedFS
    from pyftpdlib.handlers import DTPHandler, FileProducer, FTPHandler
    from pyftpdlib.servers import FTPServer

    authorizer = DummyAuthorizer()
    # A server that refuses the login knows the user under another password.
    authorizer.add_user(USER, PASSWORD + "-not" if refuse_login else PASSWORD, root, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "test server ready"
    Handler.auth_failed_timeout = 0  # a refused login is answered at once, within the tests' stall limit
    if stall_after is not None:
        class StallingDTP(DTPHandler):
            timeout = 0  # never give up on the silent client

            stalled = False

            def push_with_producer(self, producer):
                if not isinstance(producer, FileProducer):  # a listing
                    return super().push_with_producer(producer)
                self.stalled = True
                data = b""
                while len(data) < stall_after:
                    chunk = producer.more()
                    if not chunk:
                        break
                    data += chunk
                self.push(data[:stall_after])  # and nothing more, ever

            def close_when_done(self):
                if not self.stalled:  # a download never ends
                    super().close_when_done()

        Handler.dtp_handler = StallingDTP
        Handler.use_sendfile = False
    if trickle:
        class TricklingDTP(DTPHandler):
            timeout = 0
            data = None

            def push_with_producer(self, producer):
                # Listings and manifests come as they are.
                if not isinstance(producer, FileProducer) or producer.file.name.endswith(".man"):
                    return super().push_with_producer(producer)
                self.data = producer.more()
                self.ioloop.call_later(TRICKLE_SECONDS, self.trickle, _errback=self.close)

            def trickle(self):
                if self.connected and self.data:
                    self.push(self.data[:1])
                    self.data = self.data[1:]
                    self.ioloop.call_later(TRICKLE_SECONDS, self.trickle, _errback=self.close)
                elif self.connected:  # all of it sent (a short rest after REST)
                    DTPHandler.close_when_done(self)

            def close_when_done(self):
                if self.data is None:  # a download never ends
                    super().close_when_done()

        Handler.dtp_handler = TricklingDTP
        Handler.use_sendfile = False
    if huge:
        class Zeros:  # 64 MiB of them: enough to tell, too few to fill a disk
            def __init__(self, name):
                self.name, self.closed, self.left = name, False, 64 << 20

            def read(self, size=65536):
                size = min(size, self.left)
                self.left -= size
                return bytes(size)

            def seek(self, *_):
                pass

            def close(self):
                self.closed = True

        def honest(path):
            return path.endswith(".man")

        class HugeFS(AbstractedFS):
            def open(self, filename, mode):
                if "r" in mode and not honest(filename):
                    return Zeros(filename)
                return super().open(filename, mode)

            def getsize(self, path):
                return os.path.getsize(path) if honest(path) else HUGE_SIZE

            def stat(self, path):
                st = os.stat(path)
                if not os.path.isfile(path) or honest(path):
                    return st
                return os.stat_result((st.st_mode, st.st_ino, st.st_dev, st.st_nlink, st.st_uid,
                                       st.st_gid, HUGE_SIZE, st.st_atime, st.st_mtime, st.st_ctime))

            lstat = stat

        Handler.abstracted_fs = HugeFS
        Handler.use_sendfile = False
    if breaking:
        first_came = set()  # the files (path, inode, time) whose first download came

        class BreakingDTP(DTPHandler):
            """The first download of each file sends half of it (each byte
            changed when breaking is "changed") and ends there; later ones
            come as asked. Manifests come as they are."""

            def push_with_producer(self, producer):
                if not isinstance(producer, FileProducer) or producer.file.name.endswith(".man"):
                    return super().push_with_producer(producer)
                st = os.fstat(producer.file.fileno())
                key = (producer.file.name, st.st_ino, st.st_mtime_ns)
                if key in first_came:
                    return super().push_with_producer(producer)
                first_came.add(key)
                data = producer.file.read()
                half = data[:len(data) // 2]
                if breaking == "changed":
                    half = bytes(b ^ 0x55 for b in half)
                self.push(half)
                self.close_when_done()

        Handler.dtp_handler = BreakingDTP
        Handler.use_sendfile = False
        if breaking == "norest":
            def ftp_REST(self, line):  # agreed to, and ignored
                self.respond("350 Restarting at position %s." % line)

            Handler.ftp_REST = ftp_REST
    if listing:
        class ListingDTP(DTPHandler):
            """Downloads as normal; every listing either never ends or has
            its data connection reset."""
            timeout = 0

            def push(self, data):  # NLST hands its whole listing here
                self.listing()

            def push_with_producer(self, producer):
                if isinstance(producer, FileProducer):
                    return super().push_with_producer(producer)
                self.listing()

            def listing(self):
                if listing == "endless":
                    super().push_with_producer(EndlessListing())
                else:
                    self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                    self.close()

        Handler.dtp_handler = ListingDTP
        Handler.use_sendfile = False
    server = FTPServer(("127.0.0.1", port), Handler)
    server.max_cons = 64
    return server


def end_after(seconds):
    timer = threading.Timer(seconds, lambda: os._exit(0))
    timer.daemon = True
    timer.start()


def quiet_logging():
    import logging
    logger = logging.getLogger("pyftpdlib")
    logger.addHandler(logging.StreamHandler())  # so the server adds none of its own
    logger.setLevel(logging.ERROR)


def serve_one(args):
    quiet_logging()
    server = make_server(args.root, args.port, args.stall_after, breaking=args.breaking)
    if args.lifetime:
        end_after(args.lifetime)
    print(server.address[1], flush=True)
    server.serve_forever(handle_exit=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def serve_fixture(state_file):
    quiet_logging()
    root = tempfile.mkdtemp(prefix="tormex-ftp-")
    normal = make_server(root, 0)
    stalling = make_server(root, 0, FIXTURE_STALL_BYTES)
    trickling = make_server(root, 0, trickle=True)
    huge = make_server(root, 0, huge=True)
    endless_listing = make_server(root, 0, listing="endless")
    reset_listing = make_server(root, 0, listing="reset")
    breaking = {kind: make_server(root, 0, breaking=kind) for kind in ("resume", "norest", "changed")}
    refusing = make_server(root, 0, refuse_login=True)
    silent = socket.socket()
    silent.bind(("127.0.0.1", 0))
    silent.listen(16)  # the kernel completes connections; nobody answers
    http = answer_as_web_server()
    drive_d = tempfile.mkdtemp(prefix="tormex-drive-d-")
    state = {
        "root": root,
        "port": normal.address[1],
        "stallport": stalling.address[1],
        "trickleport": trickling.address[1],
        "hugeport": huge.address[1],
        "endlesslistport": endless_listing.address[1],
        "resetlistport": reset_listing.address[1],
        "breakport": breaking["resume"].address[1],
        "norestport": breaking["norest"].address[1],
        "changedport": breaking["changed"].address[1],
        "refuseport": refusing.address[1],
        "silentport": silent.getsockname()[1],
        "httpport": http,
        "closedport": free_port(),
        "drived": drive_d,
        "pid": os.getpid(),
    }
    end_after(FIXTURE_LIFETIME)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    with open(state_file + ".tmp", "w") as f:
        f.write("".join(f"{k}={v}\n" for k, v in state.items()))
    os.replace(state_file + ".tmp", state_file)
    normal.serve_forever()  # the FTP servers share the one I/O loop


def answer_as_web_server():
    """A listener whose every connection gets a web server's answer and is
    closed; its port."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)

    def serve():
        while True:
            connection, _ = listener.accept()
            with connection:
                connection.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")

    threading.Thread(target=serve, daemon=True).start()
    return listener.getsockname()[1]


def read_state(state_file):
    with open(state_file) as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)


def wine_drive_link():
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        raise SystemExit("--wine-drive-d needs WINEPREFIX")
    return os.path.join(prefix, "dosdevices", "d:")


def start(state_file, wine_drive_d):
    stop(state_file)
    subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "--serve-fixture", state_file],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        close_fds=True, start_new_session=True)
    deadline = time.time() + 20
    while time.time() < deadline:
        if os.path.exists(state_file):
            if wine_drive_d:
                link = wine_drive_link()
                if os.path.islink(link):
                    os.remove(link)
                os.symlink(read_state(state_file)["drived"], link)
                with open(state_file, "a") as f:
                    f.write(f"winelink={link}\n")
            print(open(state_file).read(), end="")
            return 0
        time.sleep(0.05)
    print("the FTP servers did not start", file=sys.stderr)
    return 1


def stop(state_file):
    if not os.path.exists(state_file):
        return 0
    state = read_state(state_file)
    try:
        os.kill(int(state["pid"]), signal.SIGTERM)
    except (KeyError, ValueError, ProcessLookupError):
        pass
    for key, prefix in (("root", "tormex-ftp-"), ("drived", "tormex-drive-d-")):
        folder = state.get(key, "")
        if os.path.basename(folder).startswith(prefix):
            shutil.rmtree(folder, ignore_errors=True)
    link = state.get("winelink", "")
    if link and os.path.islink(link) and os.readlink(link) == state.get("drived"):
        os.remove(link)
    os.remove(state_file)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stall-after", type=int)
    parser.add_argument("--breaking", choices=("resume", "norest", "changed"))
    parser.add_argument("--lifetime", type=float)
    parser.add_argument("--start", metavar="STATEFILE")
    parser.add_argument("--stop", metavar="STATEFILE")
    parser.add_argument("--wine-drive-d", action="store_true")
    parser.add_argument("--serve-fixture", metavar="STATEFILE", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.start:
        return start(os.path.abspath(args.start), args.wine_drive_d)
    if args.stop:
        return stop(os.path.abspath(args.stop))
    if args.serve_fixture:
        return serve_fixture(args.serve_fixture)
    if not args.root:
        parser.error("--root is required")
    serve_one(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
