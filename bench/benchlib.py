"""Helpers shared by the bench scripts: statistics, the machine's description, and
a private delayed link between two network namespaces.

Run with /usr/bin/python3 (Debian's, which has pyftpdlib)."""

import os
import platform
import socket
import statistics
import subprocess
import time


def median(values):
    return statistics.median(values)


def machine():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    return "%d CPUs (nproc), %s, Linux %s" % (os.cpu_count(), model, platform.release())


def run(*cmd, **kwargs):
    return subprocess.run(cmd, check=True, **kwargs)


class DelayedLink:
    """Two fresh network namespaces, CLIENT and SERVER, joined by a TUN link whose
    packets wait one_way_ms in each direction. Only 10.199.0.2 (client) and
    10.199.0.1 (server) exist on it, and the namespaces have no other way out.
    Use as a context manager; everything is torn down on exit."""

    CLIENT_ADDRESS = "10.199.0.2"
    SERVER_ADDRESS = "10.199.0.1"

    def __init__(self, delaylink_program, one_way_ms):
        tag = "%d" % os.getpid()
        self.client = "vellumet-bench-c-" + tag
        self.server = "vellumet-bench-s-" + tag
        self.program = delaylink_program
        self.one_way_ms = one_way_ms
        self.forwarder = None

    def __enter__(self):
        try:
            self._set_up()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _set_up(self):
        for ns in (self.client, self.server):
            run("ip", "netns", "add", ns)
            self.exec_in(ns, "ip", "link", "set", "lo", "up")
            # Nothing learnt on one connection is carried over to the next.
            for setting in ("net.ipv4.tcp_no_metrics_save=1",
                            "net.ipv6.conf.all.disable_ipv6=1"):
                self.exec_in(ns, "sysctl", "-q", "-w", setting)
        self.forwarder = subprocess.Popen(
            [self.program, self.client, self.server, "vbtun", str(self.one_way_ms)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if self.forwarder.stdout.readline().strip() != "READY":
            raise RuntimeError("delay link did not start: " + self.forwarder.stderr.read())
        for ns, mine, peer in ((self.client, self.CLIENT_ADDRESS, self.SERVER_ADDRESS),
                               (self.server, self.SERVER_ADDRESS, self.CLIENT_ADDRESS)):
            self.exec_in(ns, "ip", "addr", "add", mine, "peer", peer, "dev", "vbtun")
            self.exec_in(ns, "ip", "link", "set", "vbtun", "up")
            # The floor's slow-start model is CUBIC's (and Reno's): 10 segments, doubling
            # each round trip. A namespace may not change its default congestion control
            # here, but a route may name one.
            self.exec_in(ns, "ip", "route", "replace", peer + "/32", "dev", "vbtun", "src", mine,
                         "congctl", "cubic")

    def __exit__(self, *exc):
        if self.forwarder is not None:
            self.forwarder.terminate()
            self.forwarder.wait()
            self.forwarder = None
        for ns in (self.client, self.server):
            subprocess.run(["ip", "netns", "del", ns], stderr=subprocess.DEVNULL)
        return False

    @staticmethod
    def exec_in(ns, *cmd, **kwargs):
        return run("ip", "netns", "exec", ns, *cmd, **kwargs)

    @staticmethod
    def command_in(ns, *cmd):
        return ["ip", "netns", "exec", ns, *cmd]

    def measured_rtt_ms(self, port, samples=9):
        """Median TCP handshake time from the client to a listening server port."""
        probe = ("import socket,time,statistics\n"
                 "t=[]\n"
                 "for _ in range(%d):\n"
                 "  s=socket.socket(); a=time.monotonic(); s.connect(('%s',%d)); t.append(time.monotonic()-a); s.close(); time.sleep(0.02)\n"
                 "print(statistics.median(t)*1000)\n") % (samples, self.SERVER_ADDRESS, port)
        out = subprocess.run(self.command_in(self.client, "/usr/bin/python3", "-c", probe),
                             check=True, capture_output=True, text=True).stdout
        return float(out.strip())


class Xvfb:
    """A private X server on a display it picks itself; a context manager."""

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait()
        return False


class SessionBus:
    """A private D-Bus session bus, as a desktop session has one; a context manager.
    Without one, a Qt program on an X display has libdbus autolaunch a bus, which here
    took 3 s of every start."""

    def __enter__(self):
        self.process = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.process.stdout.readline().strip()
        if not self.address:
            raise RuntimeError("dbus-daemon did not start")
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait()
        return False
