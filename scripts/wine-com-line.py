#!/usr/bin/env python3
"""The serial line of the Windows serial tests, kept while the tests run.

Wine's COM12 (the port under test) and COM13 (the controller's end, which a test writes to) are
linked in the prefix's dosdevices to the slaves of two pseudo-terminals; what is written to
COM13 is passed on to COM12. A test ends the line by closing COM13, as when an adapter is
pulled out: the port's terminal is hung up, and a new pair is made in its place, so that every
test gets a fresh line. COM14 leads to a plain file, a port that opens but is no serial device.

Usage: wine-com-line.py start | stop. Uses WINEPREFIX as wine does.
"""

import errno
import os
import select
import signal
import sys
import time
import tty
from pathlib import Path

PREFIX = Path(os.environ.get("WINEPREFIX") or Path.home() / ".wine")
LINE = PREFIX / "telmira-com-line"
LINKS = {"port": PREFIX / "dosdevices" / "com12", "controller": PREFIX / "dosdevices" / "com13"}
# COM14 leads to a plain file: a port that opens but is no serial device.
NOT_A_PORT = ("not-a-port", PREFIX / "dosdevices" / "com14")
PID = LINE / "relay.pid"


def raw_pair():
    master, slave = os.openpty()
    tty.setraw(slave)
    hold_as_controlling_terminal(os.ttyname(slave))
    return master, slave, os.ttyname(slave)


def hold_as_controlling_terminal(path):
    """Gives the terminal a session of its own, which ends when the terminal is hung up.

    Wine's server leads a session without a terminal and opens a port's terminal as its
    controlling one; a line that ends would then send it SIGHUP. A terminal that controls
    another session is not taken.
    """
    ready_read, ready_write = os.pipe()
    if os.fork():
        os.close(ready_write)
        os.read(ready_read, 1)
        os.close(ready_read)
        return
    os.closerange(0, ready_write)
    os.closerange(ready_write + 1, os.sysconf("SC_OPEN_MAX"))
    signal.signal(signal.SIGTERM, signal.SIG_DFL)
    signal.signal(signal.SIGHUP, signal.SIG_DFL)
    os.setsid()
    os.close(os.open(path, os.O_RDWR))
    os.write(ready_write, b"!")
    os.close(ready_write)
    while True:
        signal.pause()


def relink(name, target):
    link = LINE / name
    fresh = LINE / (name + ".new")
    fresh.unlink(missing_ok=True)
    fresh.symlink_to(target)
    fresh.replace(link)


def serve_one_line():
    port_master, port_slave, port_path = raw_pair()
    controller_master, controller_slave, controller_path = raw_pair()
    # The relay keeps the port's slave open, so that the port may close and open again on the
    # same line; the controller's slave it closes, so that the controller closing is seen.
    os.close(controller_slave)
    relink("port", port_path)
    relink("controller", controller_path)
    opened = False
    try:
        while True:
            ready, _, _ = select.select([controller_master], [], [], 0.01)
            if not ready:
                opened = True
                continue
            try:
                data = os.read(controller_master, 65536)
            except OSError as e:
                if e.errno != errno.EIO:
                    raise
                data = b""
            if not data:
                # No slave open: before the test opened it, wait; after, the line ends.
                if opened:
                    return
                time.sleep(0.01)
                continue
            opened = True
            view = memoryview(data)
            while view:
                view = view[os.write(port_master, view):]
    finally:
        for name in LINKS:
            (LINE / name).unlink(missing_ok=True)
        os.close(controller_master)
        os.close(port_master)
        os.close(port_slave)


def start():
    stop()
    LINE.mkdir(parents=True, exist_ok=True)
    (LINE / NOT_A_PORT[0]).write_text("no serial device\n")
    for name, link in [*LINKS.items(), NOT_A_PORT]:
        link.parent.mkdir(parents=True, exist_ok=True)
        link.unlink(missing_ok=True)
        link.symlink_to(LINE / name)
    relay = os.fork()
    if relay:
        PID.write_text(str(relay))
        return
    os.setsid()
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    signal.signal(signal.SIGCHLD, signal.SIG_IGN)  # the terminals' sessions end by themselves
    while True:
        serve_one_line()


def running(pid):
    """Whether pid is alive: an ended relay may wait a while for its parent's parent to reap it."""
    try:
        return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def stop():
    if PID.exists():
        relay = int(PID.read_text())
        try:
            os.kill(relay, signal.SIGTERM)
            # The relay hangs its terminals up and removes its links as it goes.
            deadline = time.monotonic() + 5
            while time.monotonic() < deadline and running(relay):
                time.sleep(0.01)
        except ProcessLookupError:
            pass
    for link in [*LINKS.values(), NOT_A_PORT[1]]:
        link.unlink(missing_ok=True)
    if LINE.exists():
        for entry in LINE.iterdir():
            entry.unlink(missing_ok=True)
        LINE.rmdir()


if __name__ == "__main__":
    actions = {"start": start, "stop": stop}
    if len(sys.argv) != 2 or sys.argv[1] not in actions:
        sys.exit("usage: wine-com-line.py start|stop")
    actions[sys.argv[1]]()
