"""Programs of the identity end-to-end tests: each mode is one way a program
may try to pass as another, or to slow the daemon, and prints one JSON line
with what it saw.

  tcp HOST PORT [--chroot DIR]      connect, read the greeting line (and say how
                                    long both took)
  udp HOST PORT                     one datagram, wait for the echo
  dns HOST PORT                     one query for www.target.test, wait for the answer
  hold HOST PORT COUNT [--chroot DIR]  COUNT connections left open for a minute
  fork-tcp HOST PORT PROGRAM...     make a socket, fork: the parent executes
                                    PROGRAM (the socket inherited), the child
                                    connects and reads the greeting
  sockets COUNT                     hold COUNT UDP sockets for two minutes
  flood HOST PORT SECONDS RATE      RATE connections a second, each in flight
                                    between processes when the daemon looks
"""
import array
import json
import os
import resource
import signal
import socket
import sys
import time


def report(**values):
    print(json.dumps(values), flush=True)


def enter(arguments):
    if "--chroot" in arguments:
        at = arguments.index("--chroot")
        os.chroot(arguments[at + 1])
        os.chdir("/")
        del arguments[at:at + 2]


def greeting(connection):
    connection.settimeout(1.5)
    received = b""
    try:
        while b"\n" not in received:
            chunk = connection.recv(256)
            if not chunk:
                break
            received += chunk
        return received.split(b"\n")[0].decode(), ""
    except OSError as error:
        return received.decode(errors="replace"), type(error).__name__


def tcp(host, port):
    started = time.monotonic()
    connection = socket.socket()
    connection.settimeout(3)
    connection.connect((host, int(port)))
    text, error = greeting(connection)
    report(greeting=text, error=error, milliseconds=round((time.monotonic() - started) * 1000))


def exchange(host, port, payload):
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sender.settimeout(1.5)
    sender.sendto(payload, (host, int(port)))
    try:
        sender.recvfrom(2048)
        report(reply=True)
    except OSError:
        report(reply=False)


def dns_query():
    name = b"".join(bytes([len(label)]) + label for label in b"www.target.test".split(b".")) + b"\0"
    return b"\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00" + name + b"\x00\x01\x00\x01"


def raise_descriptor_limit():
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    return hard


def hold(host, port, count):
    raise_descriptor_limit()
    connections = []
    for _ in range(int(count)):
        connection = socket.socket()
        connection.setblocking(False)
        try:
            connection.connect((host, int(port)))
        except BlockingIOError:
            pass
        connections.append(connection)
    report(connected=len(connections))
    time.sleep(60)


def fork_tcp(host, port, program):
    connection = socket.socket()
    connection.set_inheritable(True)
    if os.fork() == 0:
        time.sleep(0.5)
        connection.connect((host, int(port)))
        text, error = greeting(connection)
        report(greeting=text, error=error)
        os._exit(0)
    os.execv(program[0], program)


def sockets(count):
    limit = raise_descriptor_limit()
    held = [socket.socket(socket.AF_INET, socket.SOCK_DGRAM) for _ in range(min(int(count), limit - 16))]
    report(holding=len(held))
    time.sleep(120)


def flood(host, port, seconds, rate):
    """Connections no process holds when the daemon looks: each socket is
    sent over a Unix socket pair and closed here, and taken back out of
    flight only after the next 200 (as many as the pair's buffer holds)."""
    raise_descriptor_limit()
    sender, receiver = socket.socketpair(socket.AF_UNIX, socket.SOCK_STREAM)
    started = time.monotonic()
    made = 0
    in_flight = 0

    def stop(*_):
        report(connections=made, seconds=round(time.monotonic() - started, 1))
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    while time.monotonic() < started + float(seconds):
        try:
            connection = socket.create_connection((host, int(port)), timeout=1)
            sender.sendmsg([b"x"], [(socket.SOL_SOCKET, socket.SCM_RIGHTS, array.array("i", [connection.fileno()]))])
            connection.close()
            made += 1
            in_flight += 1
        except OSError:
            pass
        while in_flight > 200:
            for fd in socket.recv_fds(receiver, 1, 1)[1]:
                os.close(fd)
            in_flight -= 1
        time.sleep(max(0.0, started + made / float(rate) - time.monotonic()))
    stop()


def main(arguments):
    enter(arguments)
    mode, rest = arguments[0], arguments[1:]
    if mode == "tcp":
        tcp(*rest)
    elif mode == "udp":
        exchange(rest[0], rest[1], b"ping")
    elif mode == "dns":
        exchange(rest[0], rest[1], dns_query())
    elif mode == "hold":
        hold(*rest)
    elif mode == "fork-tcp":
        fork_tcp(rest[0], rest[1], rest[2:])
    elif mode == "sockets":
        sockets(*rest)
    elif mode == "flood":
        flood(*rest)
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main(sys.argv[1:])
